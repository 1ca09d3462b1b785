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

struct ParameterCase
{
    const char* name;
    QVariant radius, factor, flag;
    QString warning; // empty: valid
    FailureReason::Kind kind;
    const char* key;
};

class ParameterValidation : public ::testing::TestWithParam<ParameterCase>
{
};

TEST_P(ParameterValidation, WarnsOnceAndRecordsTheReason)
{
    const ParameterCase& c = GetParam();
    WarningCapture warnings;
    Probe probe;
    Image2D image(2, 2, Image2D::FLOAT);
    probe.setInput(Probe::INPUT_IMAGE, &image);
    for (auto [key, value] : {std::pair{&RADIUS, c.radius}, {&FACTOR, c.factor}, {&FLAG, c.flag}})
        if (value.isValid())
            probe.setUniformValue(*key, value);
    EXPECT_EQ(probe.execute(neverCancelled()), c.warning.isEmpty());
    EXPECT_EQ(warnings.messages(), c.warning.isEmpty() ? QStringList{} : QStringList{c.warning});
    EXPECT_EQ(probe.lastFailure().kind, c.kind);
    EXPECT_EQ(probe.lastFailure().key, QString(c.key));
}

INSTANTIATE_TEST_SUITE_P(
    Framework, ParameterValidation,
    ::testing::Values(
        ParameterCase{"valid", 3, 1.5f, {}, "", FailureReason::None, ""},
        ParameterCase{"missing", {}, 1.5f, {}, "image2d::Probe : missing input:  \"radius\"", FailureReason::Missing,
                      "radius"},
        ParameterCase{"text", "wide", 1.5f, {}, "image2d::Probe : invalid input:  \"radius\"", FailureReason::Invalid,
                      "radius"},
        ParameterCase{"above", 11, 1.5f, {}, "image2d::Probe : invalid input:  \"radius\"", FailureReason::OutOfRange,
                      "radius"},
        // Checked as an integer: the text "1.5" does not convert, the float 1.5 does.
        ParameterCase{"floatText", 3, "1.5", {}, "image2d::Probe : invalid input:  \"factor\"",
                      FailureReason::Invalid, "factor"},
        ParameterCase{"zero", 3, 0.0f, {}, "image2d::Probe : invalid input:  \"factor\"", FailureReason::OutOfRange,
                      "factor"},
        ParameterCase{"notBool", 3, 1.5f, 1, "image2d::Probe : invalid input:  \"flag\"", FailureReason::Invalid,
                      "flag"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Parameters, OptionalValuesFallBackAndDocsDescribeThem)
{
    Uniforms store;
    EXPECT_FALSE(kFlag(store));
    EXPECT_FALSE(kFlag.required());
    EXPECT_TRUE(kRadius.required());
    store.setUniformValue(FLAG, true);
    EXPECT_TRUE(kFlag(store));
    EXPECT_EQ(kFactor.checkedAs(), ValueKind::Int);
    EXPECT_EQ(kFactor.readAs(), ValueKind::Float);
    store.setUniformValue(FACTOR, 2.75f);
    EXPECT_EQ(kFactor(store), 2.75f);
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
