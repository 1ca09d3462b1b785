#pragma once

// Internal to the pixel-wise operations: conversions of computed values into pixel
// types that stay defined for NaN and for values beyond the type's range.

#include <limits>
#include <type_traits>

namespace image2d::pointops_detail {

/// x limited to [lo, hi]; NaN gives lo, because every comparison with NaN is false.
template <typename F>
inline F clampNanToLow(F x, F lo, F hi)
{
    return x > lo ? (x < hi ? x : hi) : lo;
}

/// Truncation toward zero into the integer type T. Within T's range this is the plain
/// conversion; beyond it the value saturates and NaN gives 0, where a cast would be undefined.
template <typename T, typename F>
inline T truncateTo(F x)
{
    static_assert(std::is_integral_v<T> && std::is_floating_point_v<F>);
    // For a 32-bit T the upper bound rounds up to 2^31 in float, so ">=" catches every
    // value the cast could not represent.
    constexpr F lo = static_cast<F>(std::numeric_limits<T>::min());
    constexpr F hi = static_cast<F>(std::numeric_limits<T>::max());
    if (!(x == x))
        return T(0);
    if (x <= lo)
        return std::numeric_limits<T>::min();
    if (x >= hi)
        return std::numeric_limits<T>::max();
    return static_cast<T>(x);
}

/// A double into float range: beyond +-FLT_MAX it saturates, NaN gives 0.
inline float saturateToFloat(double x)
{
    constexpr double limit = static_cast<double>(std::numeric_limits<float>::max());
    if (!(x == x))
        return 0.0f;
    return static_cast<float>(x > limit ? limit : (x < -limit ? -limit : x));
}

} // namespace image2d::pointops_detail
