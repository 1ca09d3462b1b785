#pragma once

namespace math {

/// Numeric helpers of the maths library.
class Operations
{
public:
    /// Rounds value to the nearest multiple of step; a tie goes away from zero.
    /// A step of 0 returns the value unchanged.
    static int roundToNumber(int value, unsigned int step);
};

} // namespace math
