#pragma once

// Internal helpers of the neighbourhood filters: the float-to-pixel storing rule, line
// buffers and the choice of the vector width at run time. Not a public header.

#include <algorithm>
#include <cstdint>
#include <limits>
#include <type_traits>
#include <vector>

namespace image2d::filtering_detail {

/// Truncates toward zero to a signed 32-bit integer. NaN, infinities and sums outside
/// the 32-bit range give INT_MIN, as the x86 conversion instruction does.
inline std::int32_t truncateToInt32(float value)
{
    return (value > -2147483904.0f && value < 2147483648.0f) ? static_cast<std::int32_t>(value)
                                                             : std::numeric_limits<std::int32_t>::min();
}

/// The convolution storing rule: floats unchanged, integers truncated and reduced to the
/// low-order bits of the destination (no rounding, no saturation).
template <typename U>
inline U storeSum(float sum)
{
    if constexpr (std::is_same_v<U, float>)
        return sum;
    else
        return static_cast<U>(truncateToInt32(sum));
}

/// A buffer that grows to the largest size asked for and is then reused.
template <typename T>
inline T* lineBuffer(std::vector<T>& buffer, std::size_t size)
{
    if (buffer.size() < size)
        buffer.resize(size);
    return buffer.data();
}

/// Whether the 256-bit vector variants of the hot loops may run. They execute the same
/// operations in the same order per pixel (no fused multiply-add), so results are identical.
inline bool useWideVectors()
{
#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
    static const bool wide = __builtin_cpu_supports("avx2");
    return wide;
#else
    return false;
#endif
}

} // namespace image2d::filtering_detail

#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
#define IMAGE2D_WIDE_TARGET __attribute__((target("avx2")))
#define IMAGE2D_HAS_WIDE_TARGET 1
#else
#define IMAGE2D_WIDE_TARGET
#define IMAGE2D_HAS_WIDE_TARGET 0
#endif
#define IMAGE2D_INLINE_LOOP inline __attribute__((always_inline))
