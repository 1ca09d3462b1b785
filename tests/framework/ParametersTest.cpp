#include "image2d/framework/Algorithm.h"
#include "image2d/framework/Core.h"
#include "image2d/framework/Parameters.h"

#include "support/WarningCapture.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using namespace image2d;
using testing_support::WarningCapture;

namespace {

const QString RADIUS = QStringLiteral("radius");
const QString FACTOR = QStringLiteral("factor");
const QString FLAG = QStringLiteral("flag");

// A float checked as an integer, as some algorithms do; and an optional flag.
const Parameter<int> kRadius{&RADIUS, Bounds::between(0, 10), "radius"};
const Parameter<float> kFactor{&FACTOR, ValueKind::Int, Bounds::above(0), "factor"};
const Parameter<bool> kFlag{&FLAG, false, Bounds::any(), "flag"};
const Parameter<int> kLenient{&RADIUS, 7, Lenient{}, "lenient"};

class Probe : public Algorithm
{
public:
    bool isInputValid() const override
    {
        return requireInputImage("image2d::Probe", INPUT_IMAGE) && kRadius.validate(*this, "image2d::Probe") &&
               kFactor.validate(*this, "image2d::Probe") && kFlag.validate(*this, "image2d::Probe");
    }
    bool process(const std::atomic<bool>&) override { return m_succeed; }
    bool m_succeed = true;
};

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

} // namespace

TEST(Bounds, EndsNaNAndInfinities)
{
    EXPECT_TRUE(Bounds::between(0, 10).contains(0));
    EXPECT_TRUE(Bounds::between(0, 10).contains(10));
    EXPECT_FALSE(Bounds::between(0, 10).contains(10.5));
    EXPECT_FALSE(Bounds::above(0).contains(0));
    EXPECT_TRUE(Bounds::above(0).contains(kInf));
    EXPECT_FALSE(Bounds::finiteAtLeast(0).contains(kInf));
    EXPECT_FALSE(Bounds::any().contains(kNaN));
    EXPECT_TRUE(Bounds::anyIncludingNaN().contains(kNaN));
    EXPECT_TRUE(Bounds::any().contains(-kInf));
    EXPECT_FALSE(Bounds::finiteValue().contains(-kInf));
    EXPECT_EQ(Bounds::between(0, 2047).describe(), "[0, 2047]");
    EXPECT_EQ(Bounds::above(0).describe(), "> 0");
}

// A lenient parameter is never rejected: absent and unconvertible values read as its fallback.
TEST(Parameters, LenientParametersFallBackInsteadOfFailing)
{
    Uniforms store;
    EXPECT_EQ(kLenient.check(store), 0);
    EXPECT_EQ(kLenient(store), 7);
    store.setUniformValue(RADIUS, QStringLiteral("wide"));
    EXPECT_EQ(kLenient.check(store), 0);
    EXPECT_EQ(kLenient(store), 7);
    store.setUniformValue(RADIUS, 3);
    EXPECT_EQ(kLenient(store), 3);
    EXPECT_FALSE(kLenient.validated());
}

// The core functions check their typed arguments against the same bounds and warnings.
TEST(Parameters, AcceptsChecksTypedValuesWithTheDeclaredWarning)
{
    WarningCapture warnings;
    EXPECT_TRUE(kRadius.accepts(10, "image2d::Probe"));
    EXPECT_FALSE(kRadius.accepts(10.5, "image2d::Probe"));
    EXPECT_FALSE(kRadius.accepts(kNaN, "image2d::Probe"));
    EXPECT_EQ(warnings.messages(), QStringList(2, "image2d::Probe : invalid input:  \"radius\""));
}

TEST(FailureReason, ProcessingFailureAndCancellationAreRecorded)
{
    Probe probe;
    EXPECT_FALSE(probe.execute(neverCancelled()));
    EXPECT_EQ(probe.lastFailure().kind, FailureReason::Missing);
    EXPECT_EQ(probe.lastFailure().describe(), "missing input \"inputImage\"");
    Image2D image(2, 2, Image2D::FLOAT);
    probe.setInput(Probe::INPUT_IMAGE, &image);
    probe.setUniformValue(RADIUS, 1);
    probe.setUniformValue(FACTOR, 1);
    probe.m_succeed = false;
    EXPECT_FALSE(probe.execute(neverCancelled()));
    EXPECT_EQ(probe.lastFailure().kind, FailureReason::Failed);
    probe.m_succeed = true;
    const std::atomic<bool> cancel{true};
    EXPECT_TRUE(probe.execute(cancel));
    EXPECT_EQ(probe.lastFailure().kind, FailureReason::Cancelled);
    EXPECT_TRUE(probe.execute(neverCancelled()));
    EXPECT_FALSE(probe.lastFailure());
}
