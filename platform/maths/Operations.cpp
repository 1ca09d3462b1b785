#include "platform/maths/Operations.h"

#include <cstdint>
#include <cstdlib>
#include <limits>

namespace math {

int Operations::roundToNumber(int value, unsigned int step)
{
    if (step == 0)
        return value;
    // 64-bit so that neither |value| nor the rounded multiple can overflow mid-way.
    const std::int64_t s = step;
    const std::int64_t magnitude = std::llabs(static_cast<std::int64_t>(value));
    // Rounding the magnitude and restoring the sign sends a tie away from zero.
    const std::int64_t rounded = (magnitude + s / 2) / s * s;
    std::int64_t result = value < 0 ? -rounded : rounded;
    if (result > std::numeric_limits<int>::max())
        result -= s;
    if (result < std::numeric_limits<int>::min())
        result += s;
    return static_cast<int>(result);
}

} // namespace math
