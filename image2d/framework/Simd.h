#pragma once

// One way to build the 256-bit vector variant of a hot loop: the loop is written once as
// an always-inline kernel and runVectorized() instantiates it twice, for the baseline
// instruction set and for AVX2, choosing at run time. Both variants run the same
// operations in the same order per pixel (no fused multiply-add), so results are identical.

#include <utility>

#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
#define IMAGE2D_WIDE_TARGET __attribute__((target("avx2")))
#define IMAGE2D_HAS_WIDE_TARGET 1
#else
#define IMAGE2D_WIDE_TARGET
#define IMAGE2D_HAS_WIDE_TARGET 0
#endif
/// Marks a kernel (function or lambda) to be inlined into each variant that calls it.
#define IMAGE2D_INLINE_LOOP inline __attribute__((always_inline))
#define IMAGE2D_INLINE_LAMBDA __attribute__((always_inline))

namespace image2d::simd {

/// Whether the 256-bit vector variants may run on this CPU.
inline bool useWideVectors()
{
#if IMAGE2D_HAS_WIDE_TARGET
    static const bool wide = __builtin_cpu_supports("avx2");
    return wide;
#else
    return false;
#endif
}

namespace detail {
template <typename Kernel, typename... Args>
IMAGE2D_WIDE_TARGET void runWide(const Kernel& kernel, Args&&... args)
{
    kernel(std::forward<Args>(args)...);
}
template <typename Kernel, typename... Args>
void runBaseline(const Kernel& kernel, Args&&... args)
{
    kernel(std::forward<Args>(args)...);
}
} // namespace detail

/// Runs kernel(args...) compiled for AVX2 when the CPU has it, else for the baseline.
/// The kernel must be a lambda marked IMAGE2D_INLINE_LAMBDA whose callees are
/// IMAGE2D_INLINE_LOOP, so that its whole body is compiled into each variant.
template <typename Kernel, typename... Args>
void runVectorized(const Kernel& kernel, Args&&... args)
{
    if (useWideVectors())
        detail::runWide(kernel, std::forward<Args>(args)...);
    else
        detail::runBaseline(kernel, std::forward<Args>(args)...);
}

/// Runs wide(args...) when the CPU has AVX2, else baseline(args...): for a loop whose vector
/// code is spelled out with intrinsics, which a baseline build cannot compile. `wide` is a
/// function or lambda marked IMAGE2D_WIDE_TARGET; both must compute the same values.
template <typename Wide, typename Baseline, typename... Args>
void runEither(const Wide& wide, const Baseline& baseline, Args&&... args)
{
    if (useWideVectors())
        wide(std::forward<Args>(args)...);
    else
        baseline(std::forward<Args>(args)...);
}

} // namespace image2d::simd
