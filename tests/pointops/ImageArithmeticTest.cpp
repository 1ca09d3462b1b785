#include "image2d/pointops/ImageArithmetic.h"

#include "PointopsTestHelpers.h"
#include "support/ImageCompare.h"
#include "support/TestImages.h"
#include "support/WarningCapture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

using namespace image2d;
using namespace pointops_test;
using namespace testing_support;

namespace {

const double kNaN = std::numeric_limits<double>::quiet_NaN();

const Image2D::DataType kAllTypes[] = {Image2D::UNSIGNED_SHORT, Image2D::SHORT, Image2D::UNSIGNED_CHAR,
                                       Image2D::BINARY,         Image2D::FLOAT, Image2D::INT};

} // namespace

// ---- Threshold --------------------------------------------------------------------------

struct ThresholdCase
{
    const char* name;
    friend void PrintTo(const ThresholdCase& c, std::ostream* os) { *os << c.name; }
    Image2D::DataType type;
    double threshold;
    const char* op;
    std::vector<double> input;
    std::vector<double> expected;
};

using ThresholdValues = ::testing::TestWithParam<ThresholdCase>;

TEST_P(ThresholdValues, GivesABinaryImage)
{
    const ThresholdCase& c = GetParam();
    const auto input = row(c.type, c.input);
    Threshold algorithm;
    algorithm.setSharedInput(Threshold::INPUT_IMAGE, input);
    algorithm.setUniformValue(Threshold::THRESHOLD_VALUE, c.threshold);
    algorithm.setUniformValue(Threshold::THRESHOLD_OPERATOR, QString::fromLatin1(c.op));
    const auto result = run(algorithm);
    ASSERT_TRUE(result.ok);
    EXPECT_TRUE(result.warnings.isEmpty());
    ASSERT_TRUE(result.output);
    EXPECT_TRUE(imagesEqual(*row(Image2D::BINARY, c.expected), *result.output));
}

INSTANTIATE_TEST_SUITE_P(
    PixelTypes, ThresholdValues,
    ::testing::Values(
        ThresholdCase{"UnsignedCharGreater", Image2D::UNSIGNED_CHAR, 100, ">", {100, 101, 0, 255}, {0, 1, 0, 1}},
        ThresholdCase{"UnsignedCharLess", Image2D::UNSIGNED_CHAR, 100, "<", {99, 100, 101}, {1, 0, 0}},
        // 2.7 becomes 2 for every integer type.
        ThresholdCase{"UnsignedShortTruncates", Image2D::UNSIGNED_SHORT, 2.7, ">", {2, 3, 65535}, {0, 1, 1}},
        ThresholdCase{"ShortTruncates", Image2D::SHORT, 2.7, "<", {1, 2, 3, -32768}, {1, 0, 0, 1}},
        ThresholdCase{"UnsignedCharTruncates", Image2D::UNSIGNED_CHAR, 2.7, ">", {2, 3}, {0, 1}},
        ThresholdCase{"IntTruncates", Image2D::INT, 2.7, ">", {2, 3, -2147483648.0}, {0, 1, 0}},
        // Toward zero: -2.7 becomes -2, compared signed.
        ThresholdCase{"ShortNegative", Image2D::SHORT, -2.7, ">", {-3, -2, -1, 5}, {0, 0, 1, 1}},
        ThresholdCase{"IntNegativeLess", Image2D::INT, -2.7, "<", {-3, -2}, {1, 0}},
        ThresholdCase{"Binary", Image2D::BINARY, 0.5, ">", {0, 1}, {0, 1}},
        ThresholdCase{"FloatKeepsTheFraction", Image2D::FLOAT, 2.7, ">", {2.69, 2.71, 2}, {0, 1, 0}},
        ThresholdCase{"FloatLess", Image2D::FLOAT, -0.5, "<", {-0.75, -0.5, 0}, {1, 0, 0}},
        // Thresholds beyond the type's range compare as the unconverted value would.
        ThresholdCase{"BelowUnsignedRange", Image2D::UNSIGNED_CHAR, -5, ">", {0, 255}, {1, 1}},
        ThresholdCase{"BelowUnsignedRangeLess", Image2D::UNSIGNED_SHORT, -5, "<", {0, 65535}, {0, 0}},
        ThresholdCase{"AboveUnsignedRange", Image2D::UNSIGNED_CHAR, 300, ">", {0, 255}, {0, 0}},
        ThresholdCase{"AboveShortRangeLess", Image2D::SHORT, 40000, "<", {-32768, 32767}, {1, 1}},
        ThresholdCase{"AboveIntRange", Image2D::INT, 3e9, ">", {2147483647, 0}, {0, 0}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Threshold, MatchesAPlainComparisonOnRandomImages)
{
    for (Image2D::DataType type : kAllTypes)
    {
        const Image2D image = randomOfType(type, 53, 29, 5u + type);
        const std::vector<double> values = pixels(image);
        const auto [lo, hi] = std::minmax_element(values.begin(), values.end());
        for (double t : {*lo + (*hi - *lo) * 0.37, *lo + (*hi - *lo) * 0.5 + 0.5, *lo + 0.9})
        {
            const float value = static_cast<float>(t);
            // Integer types compare against the threshold truncated toward zero.
            const double limit = type == Image2D::FLOAT ? value : std::trunc(static_cast<double>(value));
            std::vector<double> expected;
            for (double v : pixels(image))
                expected.push_back(v > limit ? 1 : 0);
            Image2D copy = image;
            const auto output = Threshold::executeThreshold(&copy, value);
            ASSERT_TRUE(output);
            EXPECT_TRUE(imagesEqual(makeImage(53, 29, Image2D::BINARY, expected), *output))
                << "type " << type << " threshold " << value;
        }
    }
}

// ---- Mask -------------------------------------------------------------------------------

namespace {

pointops_test::RunResult runMask(const std::shared_ptr<Image2D>& input, const std::shared_ptr<Image2D>& mask,
                                 QVariant value, const std::atomic<bool>& cancel)
{
    Mask algorithm;
    if (input)
        algorithm.setSharedInput(Mask::INPUT_IMAGE, input);
    if (mask)
        algorithm.setSharedInput(Mask::MASK_IMAGE, mask);
    if (value.isValid())
        algorithm.setUniformValue(Mask::VALUE_FOR_MASKED_PIXELS, value);
    return run(algorithm, cancel);
}

pointops_test::RunResult runMask(const std::shared_ptr<Image2D>& input, const std::shared_ptr<Image2D>& mask,
                                 QVariant value)
{
        return runMask(input, mask, value, image2d::neverCancelled());
}

} // namespace

struct MaskCase
{
    const char* name;
    friend void PrintTo(const MaskCase& c, std::ostream* os) { *os << c.name; }
    Image2D::DataType type;
    QVariant value;
    std::vector<double> input;
    std::vector<double> expected;
};

using MaskValues = ::testing::TestWithParam<MaskCase>;

// The mask row {1, 0, 1, 0} keeps the first and third pixel.
TEST_P(MaskValues, WritesTheTruncatedValueOutsideTheMask)
{
    const MaskCase& c = GetParam();
    const auto input = row(c.type, c.input);
    const auto result = runMask(input, row(Image2D::BINARY, {1, 0, 1, 0}), c.value);
    ASSERT_TRUE(result.ok);
    EXPECT_TRUE(result.warnings.isEmpty());
    ASSERT_TRUE(result.output);
    EXPECT_NE(result.output, input);
    EXPECT_TRUE(imagesEqual(*row(c.type, c.expected), *result.output));
}

INSTANTIATE_TEST_SUITE_P(
    PixelTypes, MaskValues,
    ::testing::Values(
        MaskCase{"UnsignedChar", Image2D::UNSIGNED_CHAR, 7.9, {10, 20, 30, 40}, {10, 7, 30, 7}},
        MaskCase{"Float", Image2D::FLOAT, 7.9, {0.5, 1.5, 2.5, 3.5}, {0.5, 7, 2.5, 7}},
        MaskCase{"FloatNegative", Image2D::FLOAT, -7.9, {0.5, 1.5, 2.5, 3.5}, {0.5, -7, 2.5, -7}},
        MaskCase{"Short", Image2D::SHORT, -7.9, {-100, 200, 300, 400}, {-100, -7, 300, -7}},
        MaskCase{"UnsignedShort", Image2D::UNSIGNED_SHORT, 1000, {1, 2, 3, 4}, {1, 1000, 3, 1000}},
        MaskCase{"Binary", Image2D::BINARY, 1, {0, 0, 1, 1}, {0, 1, 1, 1}},
        MaskCase{"IntegerValue", Image2D::UNSIGNED_CHAR, 3, {10, 20, 30, 40}, {10, 3, 30, 3}},
        MaskCase{"NumericText", Image2D::SHORT, "12.5", {1, 2, 3, 4}, {1, 12, 3, 12}},
        // Absent, unreadable and NaN values all mask with 0.
        MaskCase{"AbsentValue", Image2D::UNSIGNED_SHORT, QVariant(), {5, 6, 7, 8}, {5, 0, 7, 0}},
        MaskCase{"UnreadableValue", Image2D::FLOAT, "dark", {5, 6, 7, 8}, {5, 0, 7, 0}},
        MaskCase{"NaNValue", Image2D::SHORT, kNaN, {5, 6, 7, 8}, {5, 0, 7, 0}},
        // Values beyond the type's range saturate.
        MaskCase{"AboveUnsignedCharRange", Image2D::UNSIGNED_CHAR, 300, {1, 2, 3, 4}, {1, 255, 3, 255}},
        MaskCase{"BelowUnsignedShortRange", Image2D::UNSIGNED_SHORT, -5, {1, 2, 3, 4}, {1, 0, 3, 0}},
        MaskCase{"AboveShortRange", Image2D::SHORT, 1e9, {1, 2, 3, 4}, {1, 32767, 3, 32767}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Mask, MatchesAPlainSelectionOnRandomImages)
{
    const auto input = std::make_shared<Image2D>(randomImage(31, 23, Image2D::SHORT, 9u, -32768, 32767));
    const auto mask = std::make_shared<Image2D>(randomImage(31, 23, Image2D::BINARY, 10u, 0, 1));
    const auto result = runMask(input, mask, -123.4);
    ASSERT_TRUE(result.ok);
    const std::vector<double> in = pixels(*input), m = pixels(*mask);
    std::vector<double> expected;
    for (std::size_t i = 0; i < in.size(); ++i)
        expected.push_back(m[i] == 0 ? -123 : in[i]);
    EXPECT_TRUE(imagesEqual(makeImage(31, 23, Image2D::SHORT, expected), *result.output));
}

TEST(Mask, CancelledRunPublishesThePartlyMaskedImage)
{
    // The flag is read after each row, so a flag set from the start lets one row through.
    const auto input = shared(2, 3, Image2D::UNSIGNED_CHAR, {1, 2, 3, 4, 5, 6});
    const auto mask = std::make_shared<Image2D>(2, 3, Image2D::BINARY);
    const std::atomic<bool> cancelled{true};
    const auto result = runMask(input, mask, 9, cancelled);
    EXPECT_TRUE(result.ok);
    EXPECT_TRUE(result.warnings.isEmpty());
    ASSERT_TRUE(result.output);
    EXPECT_TRUE(imagesEqual(makeImage(2, 3, Image2D::UNSIGNED_CHAR, {9, 9, 3, 4, 5, 6}), *result.output));
    EXPECT_TRUE(imagesEqual(makeImage(2, 3, Image2D::UNSIGNED_CHAR, {1, 2, 3, 4, 5, 6}), *input));
}

// ---- Multiply ---------------------------------------------------------------------------

struct MultiplyCase
{
    const char* name;
    friend void PrintTo(const MultiplyCase& c, std::ostream* os) { *os << c.name; }
    Image2D::DataType type;
    std::vector<double> a;
    std::vector<double> b;
    std::vector<double> expected;
};

using MultiplyValues = ::testing::TestWithParam<MultiplyCase>;

TEST_P(MultiplyValues, MultipliesPixelwise)
{
    const MultiplyCase& c = GetParam();
    const auto a = row(c.type, c.a);
    const auto b = row(c.type, c.b);
    a->setPixelSize(QVector3D(0.1f, 0.1f, 1.0f));
    b->setPixelSize(QVector3D(0.9f, 0.9f, 1.0f));
    const Image2D aBefore = *a, bBefore = *b;
    Multiply algorithm;
    algorithm.setSharedInput(Multiply::INPUT_A_IMAGE, a);
    algorithm.setSharedInput(Multiply::INPUT_B_IMAGE, b);
    const auto result = run(algorithm);
    ASSERT_TRUE(result.ok);
    ASSERT_TRUE(result.output);
    EXPECT_TRUE(imagesEqual(*row(c.type, c.expected), *result.output));
    EXPECT_EQ(result.output->getPixelSize(), QVector3D(0.1f, 0.1f, 1.0f));
    EXPECT_TRUE(imagesEqual(aBefore, *a));
    EXPECT_TRUE(imagesEqual(bBefore, *b));
}

INSTANTIATE_TEST_SUITE_P(
    PixelTypes, MultiplyValues,
    ::testing::Values(
        // 400 keeps its low 8 bits: 144.
        MultiplyCase{"UnsignedCharWraps", Image2D::UNSIGNED_CHAR, {20, 3, 255}, {20, 5, 255}, {144, 15, 1}},
        // 90000 - 65536 = 24464; 65535 * 65535 = 0xFFFE0001.
        MultiplyCase{"UnsignedShortWraps", Image2D::UNSIGNED_SHORT, {300, 65535, 7}, {300, 65535, 6}, {24464, 1, 42}},
        // 40000 - 65536 = -25536.
        MultiplyCase{"ShortWraps", Image2D::SHORT, {200, -3, -32768}, {200, 4, -1}, {-25536, -12, -32768}},
        MultiplyCase{"Binary", Image2D::BINARY, {0, 1, 1}, {1, 0, 1}, {0, 0, 1}},
        MultiplyCase{"Float", Image2D::FLOAT, {1.5, -2, 1e30}, {-2, -0.25, 1e30}, {-3, 0.5,
                                                                                    std::numeric_limits<double>::infinity()}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Multiply, IntegerProductsKeepTheLowBitsOnRandomImages)
{
    for (Image2D::DataType type : {Image2D::UNSIGNED_SHORT, Image2D::SHORT, Image2D::UNSIGNED_CHAR})
    {
        Image2D a = randomOfType(type, 41, 13, 21u);
        Image2D b = randomOfType(type, 41, 13, 22u);
        const int bits = type == Image2D::UNSIGNED_CHAR ? 8 : 16;
        const std::vector<double> pa = pixels(a), pb = pixels(b);
        std::vector<double> expected;
        for (std::size_t i = 0; i < pa.size(); ++i)
        {
            // Reduce the exact product modulo 2^bits, then read it signed for SHORT.
            const long long modulus = 1LL << bits;
            long long low = static_cast<long long>(pa[i]) * static_cast<long long>(pb[i]) % modulus;
            if (low < 0)
                low += modulus;
            if (type == Image2D::SHORT && low >= modulus / 2)
                low -= modulus;
            expected.push_back(static_cast<double>(low));
        }
        const auto output = Multiply::executeMultiply(&a, &b);
        ASSERT_TRUE(output);
        EXPECT_TRUE(imagesEqual(makeImage(41, 13, type, expected), *output)) << type;
    }
}

// ---- Difference -------------------------------------------------------------------------

struct DifferenceCase
{
    const char* name;
    friend void PrintTo(const DifferenceCase& c, std::ostream* os) { *os << c.name; }
    Image2D::DataType type;
    std::vector<double> a;
    std::vector<double> b;
    std::vector<double> expected;
};

using DifferenceValues = ::testing::TestWithParam<DifferenceCase>;

TEST_P(DifferenceValues, SubtractsTakeDiff)
{
    const DifferenceCase& c = GetParam();
    const auto a = row(c.type, c.a);
    const auto b = row(c.type, c.b);
    a->setPixelSize(QVector3D(0.3f, 0.6f, 1.0f));
    const Image2D aBefore = *a, bBefore = *b;
    const auto output = Difference::executeDifference(a, b);
    ASSERT_TRUE(output);
    EXPECT_NE(output, a);
    EXPECT_TRUE(imagesEqual(*row(c.type, c.expected), *output));
    EXPECT_EQ(output->getPixelSize(), QVector3D(0.3f, 0.6f, 1.0f));
    EXPECT_TRUE(imagesEqual(aBefore, *a));
    EXPECT_TRUE(imagesEqual(bBefore, *b));
}

INSTANTIATE_TEST_SUITE_P(
    PixelTypes, DifferenceValues,
    ::testing::Values(
        DifferenceCase{"UnsignedShortFloorsAtZero", Image2D::UNSIGNED_SHORT, {5, 9, 65535, 7}, {9, 5, 0, 7}, {0, 4, 65535, 0}},
        DifferenceCase{"UnsignedChar", Image2D::UNSIGNED_CHAR, {5, 9, 255}, {9, 5, 1}, {0, 4, 254}},
        DifferenceCase{"Binary", Image2D::BINARY, {0, 1, 1}, {1, 0, 1}, {0, 1, 0}},
        DifferenceCase{"ShortWraps", Image2D::SHORT, {5, -32768, 32767}, {9, 1, -1}, {-4, 32767, -32768}},
        DifferenceCase{"IntWraps", Image2D::INT, {5, -2147483648.0, 2147483647}, {9, 1, -1},
                       {-4, 2147483647, -2147483648.0}},
        DifferenceCase{"Float", Image2D::FLOAT, {1.5, -1}, {2, 0.25}, {-0.5, -1.25}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Difference, SizesThenTypesMustMatch)
{
    const auto a = shared(2, 2, Image2D::SHORT, {1, 2, 3, 4});
    struct Case
    {
        std::shared_ptr<Image2D> a, b;
        QString warning;
    };
    const Case cases[] = {
        // Size before type.
        {a, std::make_shared<Image2D>(2, 3, Image2D::FLOAT), "image2d::Difference : invalid input: image sizes do not match"},
        {a, std::make_shared<Image2D>(1, 2, Image2D::SHORT), "image2d::Difference : invalid input: image sizes do not match"},
        {a, std::make_shared<Image2D>(2, 2, Image2D::UNSIGNED_SHORT),
         "image2d::Difference : invalid input: data types do not match"},
    };
    for (const Case& c : cases)
    {
        testing_support::WarningCapture warnings;
        EXPECT_FALSE(Difference::executeDifference(c.a, c.b));
        EXPECT_EQ(warnings.messages(), QStringList{c.warning});
    }
}

// The threshold is checked before the image, and the operator is one of two texts.
TEST(Threshold, ChecksTheValueBeforeTheImageAndKnowsTwoOperators)
{
    Threshold algorithm;
    algorithm.setUniforms({});
    EXPECT_EQ(run(algorithm).warnings, QStringList{"image2d::Threshold : missing input:  \"thresholdValue\""});
    algorithm.setUniformValue(Threshold::THRESHOLD_VALUE, 5);
    algorithm.setUniformValue(Threshold::THRESHOLD_OPERATOR, ">=");
    EXPECT_EQ(run(algorithm).warnings, QStringList{"image2d::Threshold : invalid operator:  \">=\""});
    EXPECT_EQ(Threshold().getUniformValue(Threshold::THRESHOLD_OPERATOR).toString(), ">");
}
