#include "platform/maths/Operations.h"
#include "platform/task/Calculation.h"
#include "platform/task/ThreadProgress.h"

#include <gtest/gtest.h>

#include <limits>
#include <tuple>

using RoundToNumber = ::testing::TestWithParam<std::tuple<int, unsigned, int>>;

TEST_P(RoundToNumber, RoundsToTheNearestMultipleWithTiesAwayFromZero)
{
    const auto [value, step, expected] = GetParam();
    EXPECT_EQ(math::Operations::roundToNumber(value, step), expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RoundToNumber,
    ::testing::Values(std::make_tuple(2024, 50u, 2000), std::make_tuple(2025, 50u, 2050),
                      std::make_tuple(2026, 50u, 2050), std::make_tuple(-2025, 50u, -2050),
                      std::make_tuple(-2024, 50u, -2000), std::make_tuple(0, 50u, 0), std::make_tuple(7, 5u, 5),
                      std::make_tuple(8, 5u, 10), std::make_tuple(123, 0u, 123), std::make_tuple(24, 1u, 24),
                      // The nearest multiple would overflow: the one below stands in.
                      std::make_tuple(std::numeric_limits<int>::max(), 1000u, 2147483000)));

namespace {
class Probe : public Calculation
{
public:
    void run() { reportProgress(1.5f); setSuccess(true); }
};
} // namespace

TEST(Calculation, ReportsClampedProgressToItsSinkAndKeepsTheSuccessFlag)
{
    float seen = -1.0f;
    ThreadProgress progress([&](float f) { seen = f; });
    Probe probe;
    EXPECT_FALSE(probe.wasSuccessful());
    probe.setProgress(&progress);
    probe.run();
    EXPECT_EQ(seen, 1.0f);
    EXPECT_EQ(progress.getProgress(), 1.0f);
    EXPECT_TRUE(probe.wasSuccessful());
}
