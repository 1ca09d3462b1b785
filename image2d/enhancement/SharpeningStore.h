#pragma once

// Storing a sharpened value back into a pixel type: clamp to the type's range, then
// truncate or round. Shared by the unsharp-masking filters and Navrel (not installed).

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <type_traits>

namespace image2d::sharpening {

/// Clamping range of a sharpened value. BINARY shares the 8-bit range 0..255.
template <typename T>
struct ValueRange
{
    static constexpr double lower = static_cast<double>(std::numeric_limits<T>::lowest());
    static constexpr double upper = static_cast<double>(std::numeric_limits<T>::max());
};

/// Clamps v to T's range. For integer types a NaN goes to the lower bound (it has no
/// integer value); FLOAT keeps a NaN, as it would any other value inside the range.
template <typename T, typename Real>
inline Real clampToType(Real v)
{
    constexpr Real lower = static_cast<Real>(ValueRange<T>::lower);
    constexpr Real upper = static_cast<Real>(ValueRange<T>::upper);
    if constexpr (std::is_floating_point_v<T>)
        return v < lower ? lower : (v > upper ? upper : v);
    else
        return std::min(std::max(lower, v), upper); // max(lower, NaN) is lower
}

/// Clamp, then truncate toward zero (integer types) or store as is (FLOAT).
template <typename T, typename Real>
inline T storeTruncated(Real v)
{
    return static_cast<T>(clampToType<T>(v));
}

/// Clamp, then round half away from zero (integer types) or narrow to float (FLOAT).
template <typename T>
inline T storeRounded(double v)
{
    const double clamped = clampToType<T>(v);
    if constexpr (std::is_floating_point_v<T>)
        return static_cast<T>(clamped);
    else
        return static_cast<T>(clamped + std::copysign(0.5, clamped)); // then truncated toward zero
}

} // namespace image2d::sharpening
