#pragma once

// Element casts of the toolbox with defined results for every input (NaN, huge floats).

#include <cmath>
#include <cstdint>
#include <type_traits>

namespace image2d::toolbox_detail {

/// Truncation toward zero to 32 bits. The language leaves NaN and values beyond the
/// range undefined; here NaN gives 0 and the rest saturate.
inline std::int32_t truncateToInt32(float value)
{
    if (value >= 2147483648.0f)
        return INT32_MAX;
    if (value >= -2147483648.0f)
        return static_cast<std::int32_t>(value);
    return std::isnan(value) ? 0 : INT32_MIN;
}

/// The plain element cast of the conversions: integer to integer keeps the low-order
/// bits, integer to float rounds to nearest, float to integer truncates to 32 bits first.
template <typename To, typename From>
inline To castElement(From value)
{
    if constexpr (std::is_floating_point_v<From> && !std::is_floating_point_v<To>)
        return static_cast<To>(truncateToInt32(value));
    else
        return static_cast<To>(value);
}

/// Unsigned integer of the same width as T: the copying loops move bits, not values.
template <typename T>
using SameWidthUnsigned = std::conditional_t<sizeof(T) == 1, std::uint8_t,
                                             std::conditional_t<sizeof(T) == 2, std::uint16_t, std::uint32_t>>;

} // namespace image2d::toolbox_detail
