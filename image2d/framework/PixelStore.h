#pragma once

// The rules by which computed values are stored into pixel types. Every algorithm names
// the rule it stores with in its header; each rule is defined here once, with a result
// for every input (NaN, infinities, values beyond the type's range), where a plain cast
// would be undefined.

#include <cmath>
#include <cstdint>
#include <limits>
#include <type_traits>

namespace image2d::store {

/// Unsigned integer of the same width as T: copying loops move bits, not values.
template <typename T>
using SameWidthUnsigned = std::conditional_t<sizeof(T) == 1, std::uint8_t,
                                             std::conditional_t<sizeof(T) == 2, std::uint16_t, std::uint32_t>>;

/// Truncation toward zero to a signed 32-bit integer; NaN, infinities and values outside
/// the 32-bit range give INT_MIN, as the x86 conversion instruction does.
inline std::int32_t truncateToInt32OrMin(float value)
{
    return (value > -2147483904.0f && value < 2147483648.0f) ? static_cast<std::int32_t>(value)
                                                             : std::numeric_limits<std::int32_t>::min();
}

/// Truncation toward zero to a signed 32-bit integer; NaN gives 0 and the rest saturates.
inline std::int32_t truncateToInt32Saturating(float value)
{
    if (value >= 2147483648.0f)
        return std::numeric_limits<std::int32_t>::max();
    if (value >= -2147483648.0f)
        return static_cast<std::int32_t>(value);
    return std::isnan(value) ? 0 : std::numeric_limits<std::int32_t>::min();
}

/// "Wrap": the convolution rule. Floats unchanged; integers truncated toward zero to 32
/// bits (truncateToInt32OrMin) and reduced to the destination's low-order bits, with no
/// rounding and no saturation.
template <typename U>
inline U truncateWrap(float value)
{
    if constexpr (std::is_floating_point_v<U>)
        return value;
    else
        return static_cast<U>(truncateToInt32OrMin(value));
}

/// "Round to 32 bits": rounding half away from zero to a signed 32-bit integer; NaN,
/// infinities and values outside the 32-bit range as truncateToInt32Saturating. (Any float
/// with a fraction is below 2^23 in magnitude, so the correction step cannot overflow.)
inline std::int32_t roundHalfAwayToInt32(float value)
{
    if (!(value > -2147483648.0f && value < 2147483648.0f))
        return truncateToInt32Saturating(value);
    const std::int32_t truncated = static_cast<std::int32_t>(value);
    const float rest = value - static_cast<float>(truncated);
    return truncated + static_cast<std::int32_t>(rest >= 0.5f) - static_cast<std::int32_t>(rest <= -0.5f);
}

/// "Cast": the element cast of the data-type conversions. Integer to integer keeps the
/// low-order bits, integer to float rounds to nearest, float to integer truncates to 32
/// bits first (truncateToInt32Saturating) and then keeps the low-order bits.
template <typename To, typename From>
inline To castElement(From value)
{
    if constexpr (std::is_floating_point_v<From> && !std::is_floating_point_v<To>)
        return static_cast<To>(truncateToInt32Saturating(static_cast<float>(value)));
    else
        return static_cast<To>(value);
}

/// x limited to [lo, hi]; NaN gives lo, because every comparison with NaN is false.
template <typename F>
inline F clampNanToLow(F x, F lo, F hi)
{
    return x > lo ? (x < hi ? x : hi) : lo;
}

/// "Saturate": truncation toward zero into the integer type T, saturating beyond T's
/// range; NaN gives 0.
template <typename T, typename F>
inline T saturateTruncate(F x)
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

/// Value range of a pixel type for clamping; BINARY shares the 8-bit range 0..255.
template <typename T>
struct TypeRange
{
    static constexpr double lower = static_cast<double>(std::numeric_limits<T>::lowest());
    static constexpr double upper = static_cast<double>(std::numeric_limits<T>::max());
};

/// v limited to T's range. For integer types NaN goes to the lower bound (it has no
/// integer value); for FLOAT a NaN stays NaN, as any value inside the range would.
template <typename T, typename Real>
inline Real clampToType(Real v)
{
    constexpr Real lower = static_cast<Real>(TypeRange<T>::lower);
    constexpr Real upper = static_cast<Real>(TypeRange<T>::upper);
    if constexpr (std::is_floating_point_v<T>)
        return v < lower ? lower : (v > upper ? upper : v);
    else
        return v > lower ? (v < upper ? v : upper) : lower; // NaN fails "v > lower"
}

/// "Clamp and truncate": clampToType, then truncation toward zero (FLOAT: stored as is).
template <typename T, typename Real>
inline T clampTruncate(Real v)
{
    return static_cast<T>(clampToType<T>(v));
}

/// "Clamp and round": clampToType, then rounding half away from zero (FLOAT: narrowed).
template <typename T>
inline T clampRoundHalfAway(double v)
{
    const double clamped = clampToType<T>(v);
    if constexpr (std::is_floating_point_v<T>)
        return static_cast<T>(clamped);
    else
        return static_cast<T>(clamped + std::copysign(0.5, clamped)); // then truncated toward zero
}

/// "Unit to type": a fraction limited to [0, 1] (NaN gives 0) spread over an integer type's
/// range, 0 to the lowest and 1 to the highest value, computed in float and truncated toward
/// zero; FLOAT keeps the limited fraction. BINARY shares the 8-bit range.
template <typename T>
inline T unitToType(float fraction)
{
    const float c = clampNanToLow(fraction, 0.0f, 1.0f);
    if constexpr (std::is_floating_point_v<T>)
        return c;
    else
    {
        constexpr float lower = static_cast<float>(std::numeric_limits<T>::lowest());
        constexpr float span = static_cast<float>(std::numeric_limits<T>::max()) - lower;
        return static_cast<T>(static_cast<std::int32_t>(c * span + lower));
    }
}

/// "Wrap from 64 bits": truncation toward zero to a signed 64-bit integer, then the low-order
/// bits of an integer T; NaN and magnitudes of 9e18 and more give 0. FLOAT is narrowed.
template <typename T>
inline T truncateWrap64(double value)
{
    if constexpr (std::is_floating_point_v<T>)
        return static_cast<T>(value);
    else
        return static_cast<T>(std::fabs(value) < 9.0e18 ? static_cast<std::int64_t>(value) : 0);
}

/// "Round": rounding half away from zero of a value known to lie inside T's range (a
/// mean of T values); floats are narrowed. The fraction of a double is exact, so ties
/// are decided exactly.
template <typename T>
inline T roundHalfAway(double value)
{
    if constexpr (std::is_floating_point_v<T>)
        return static_cast<T>(value);
    else
    {
        const auto whole = static_cast<std::int64_t>(value);
        const double fraction = value - static_cast<double>(whole);
        return static_cast<T>(whole + (fraction >= 0.5) - (fraction <= -0.5));
    }
}

} // namespace image2d::store
