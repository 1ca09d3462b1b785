#include "image2d/enhancement/UnsharpMasking.h"
#include "image2d/filtering/LocalStatistics.h"
#include "support/ImageCompare.h"
#include "support/TestImages.h"
#include "support/WarningCapture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>
#include <vector>

using namespace image2d;
using namespace testing_support;

namespace {

/// The pixels of the clipped (2r + 1)^2 window around (x, y).
template <typename Visit>
void forWindow(const Image2D& image, int x, int y, int r, Visit visit)
{
    for (int yy = std::max(0, y - r); yy <= std::min(image.getHeight() - 1, y + r); ++yy)
        for (int xx = std::max(0, x - r); xx <= std::min(image.getWidth() - 1, x + r); ++xx)
            visit(pixelAt(image, xx, yy));
}

/// Window mean (shrinking window) in double, narrowed to float.
std::vector<double> floatMean(const Image2D& image, int r)
{
    std::vector<double> out;
    for (int y = 0; y < image.getHeight(); ++y)
        for (int x = 0; x < image.getWidth(); ++x)
        {
            double sum = 0.0;
            int count = 0;
            forWindow(image, x, y, r, [&](double v) {
                sum += v;
                ++count;
            });
            out.push_back(static_cast<float>(sum / count));
        }
    return out;
}

std::vector<double> windowExtreme(const Image2D& image, int r, bool maximum)
{
    std::vector<double> out;
    for (int y = 0; y < image.getHeight(); ++y)
        for (int x = 0; x < image.getWidth(); ++x)
        {
            double extreme = maximum ? -1e300 : 1e300;
            forWindow(image, x, y, r, [&](double v) { extreme = maximum ? std::max(extreme, v) : std::min(extreme, v); });
            out.push_back(extreme);
        }
    return out;
}

double roundToType(double v, Image2D::DataType type)
{
    v = std::clamp(v, typeLowest(type), typeHighest(type));
    return type == Image2D::FLOAT ? static_cast<double>(static_cast<float>(v)) : std::round(v);
}

/// The constrained blend as written out: u = alpha(MAX - MIN) (I - A) + I, k = u held in
/// [MIN, MAX], x = t k + (1 - t) u, clamped and rounded.
Image2D referenceConstrained(const Image2D& input, int radius, int minMaxRadius, double t,
                             const std::function<double(double)>& alpha)
{
    const std::vector<double> in = pixels(input);
    const std::vector<double> mean = floatMean(input, radius);
    const std::vector<double> low = windowExtreme(input, minMaxRadius, false);
    const std::vector<double> high = windowExtreme(input, minMaxRadius, true);
    std::vector<double> out(in.size());
    for (std::size_t i = 0; i < in.size(); ++i)
    {
        const double u = alpha(high[i] - low[i]) * (in[i] - mean[i]) + in[i];
        const double k = std::min(std::max(u, low[i]), high[i]);
        out[i] = roundToType(t * k + (1.0 - t) * u, input.getDataType());
    }
    return makeImage(input.getWidth(), input.getHeight(), input.getDataType(), out);
}

Image2D runConstrained(Image2D image, int radius, int minMaxRadius, float f, float t)
{
    const auto out = ConstrainedUnsharpMasking::executeConstrainedUnsharpMasking(&image, radius, minMaxRadius, f, t);
    return out ? *out : Image2D();
}

Image2D runLocalAlpha(Image2D image, int radius, int minMaxRadius, float f, float t, double s, double c)
{
    const auto out = LocalAlphaConstrainedUnsharpMasking::executeLocalAlphaConstrainedUnsharpMasking(
        &image, radius, minMaxRadius, f, t, s, c);
    return out ? *out : Image2D();
}

// ---------------------------------------------------------------------------------------
// Worked examples

TEST(Sharpen, AddsTheDifferenceToTheMean)
{
    // Radius 1 on a row: the middle pixel's mean is (80 + 100 + 90) / 3 = 90, the edges
    // average two pixels: 90 and 95.
    Image2D image = makeImage(3, 1, Image2D::UNSIGNED_SHORT, {80, 100, 90});
    const auto out = Sharpen::executeSharpen(&image, 1, 1.0f);
    ASSERT_TRUE(out);
    EXPECT_TRUE(imagesEqual(makeImage(3, 1, Image2D::UNSIGNED_SHORT, {70, 110, 85}), *out));
}

TEST(Sharpen, FloatResultsAreClampedToTheFloatRange)
{
    // Means 5 and 5: (0 - 5) * 1e38 and (10 - 5) * 1e38 overflow to infinity.
    Image2D image = makeImage(3, 1, Image2D::FLOAT, {0.0, 10.0, 5.0});
    const auto out = Sharpen::executeSharpen(&image, 1, 1e38f);
    ASSERT_TRUE(out);
    EXPECT_EQ(pixelAt(*out, 0, 0), -static_cast<double>(std::numeric_limits<float>::max()));
    EXPECT_EQ(pixelAt(*out, 1, 0), static_cast<double>(std::numeric_limits<float>::max()));
}

TEST(Sharpen, TruncatesWhereTheConstrainedFilterRounds)
{
    // Means 91, 91 and 86.5 (87 once rounded into the integer mean of Sharpen). With f = 1.1:
    // 100 + 9.9 = 109.9 and 82 - 9.9 = 72.1; the last pixel gives 91 + 4 * 1.1 = 95.4 for
    // Sharpen and 91 + 4.5 * 1.1 = 95.95 for the float mean of the constrained filter.
    Image2D image = makeImage(3, 1, Image2D::UNSIGNED_SHORT, {100, 82, 91});
    const auto sharpened = Sharpen::executeSharpen(&image, 1, 1.1f);
    ASSERT_TRUE(sharpened);
    EXPECT_TRUE(imagesEqual(makeImage(3, 1, Image2D::UNSIGNED_SHORT, {109, 72, 95}), *sharpened));

    EXPECT_TRUE(
        imagesEqual(makeImage(3, 1, Image2D::UNSIGNED_SHORT, {110, 72, 96}), runConstrained(image, 1, 1, 1.1f, 0.0f)));
}

TEST(ConstrainedUnsharpMasking, FullyConstrainedStaysInTheLocalRange)
{
    // Row 0 50 100 with radius 1 everywhere. Unconstrained, the middle pixel would become
    // 50 + 2 * (50 - 50) = 50 and the left one 0 + 2 * (0 - 25) = -50 -> held at MIN 0;
    // the right one 100 + 2 * (100 - 75) = 150 -> held at MAX 100.
    Image2D image = makeImage(3, 1, Image2D::SHORT, {0, 50, 100});
    EXPECT_TRUE(imagesEqual(makeImage(3, 1, Image2D::SHORT, {0, 50, 100}), runConstrained(image, 1, 1, 2.0f, 1.0f)));
    EXPECT_TRUE(imagesEqual(makeImage(3, 1, Image2D::SHORT, {-50, 50, 150}), runConstrained(image, 1, 1, 2.0f, 0.0f)));
    // Half way: (0.5 * -50 + 0.5 * 0) = -25 and (0.5 * 150 + 0.5 * 100) = 125.
    EXPECT_TRUE(imagesEqual(makeImage(3, 1, Image2D::SHORT, {-25, 50, 125}), runConstrained(image, 1, 1, 2.0f, 0.5f)));
}

TEST(ConstrainedUnsharpMasking, RoundsHalfAwayFromZero)
{
    // Means -2.5, -2 and -1.5 with f = 1 and min/max radius 0: -3.5 -> -4, -2, -0.5 -> -1.
    Image2D image = makeImage(3, 1, Image2D::SHORT, {-3, -2, -1});
    EXPECT_TRUE(imagesEqual(makeImage(3, 1, Image2D::SHORT, {-4, -2, -1}), runConstrained(image, 1, 0, 1.0f, 0.0f)));
}

TEST(LocalAlphaConstrainedUnsharpMasking, StrengthFollowsTheLocalContrast)
{
    // Row 0 60 100, min/max radius 1: contrasts 60, 100, 40. With c = 75 and a steep slope
    // the ends get strength 0 (unchanged) and the middle f; mean radius 1, t = 0.
    Image2D image = makeImage(3, 1, Image2D::SHORT, {0, 60, 100});
    // Middle: mean 160 / 3 = 53.33, u = 60 + 2 * 6.667 = 73.33 -> 73.
    EXPECT_TRUE(imagesEqual(makeImage(3, 1, Image2D::SHORT, {0, 73, 100}), runLocalAlpha(image, 1, 1, 2.0f, 0.0f, 50.0, 75.0)));
}

// ---------------------------------------------------------------------------------------
// Properties against plain references, for every supported type

using UnsharpMaskingTyped = ::testing::TestWithParam<Image2D::DataType>;

TEST_P(UnsharpMaskingTyped, SharpenMatchesTheFormulaOnTheAreaAverage)
{
    const Image2D::DataType type = GetParam();
    Image2D image = radiographRange(type, 31, 19, 12);
    const float f = 1.7f;
    const auto mean = image2d::AreaAverage::executeAreaAverage(&image, 3);
    ASSERT_TRUE(mean);
    std::vector<double> expected;
    for (int y = 0; y < image.getHeight(); ++y)
        for (int x = 0; x < image.getWidth(); ++x)
        {
            const float i = static_cast<float>(pixelAt(image, x, y));
            const float a = static_cast<float>(pixelAt(*mean, x, y));
            const double v = std::clamp(static_cast<double>((i - a) * f + i), typeLowest(type), typeHighest(type));
            expected.push_back(type == Image2D::FLOAT ? v : std::trunc(v));
        }
    const auto out = Sharpen::executeSharpen(&image, 3, f);
    ASSERT_TRUE(out);
    EXPECT_TRUE(imagesEqual(makeImage(image.getWidth(), image.getHeight(), type, expected), *out));
}

TEST_P(UnsharpMaskingTyped, ConstrainedMatchesTheReferenceForEveryWeight)
{
    const Image2D::DataType type = GetParam();
    const Image2D image = radiographRange(type, 29, 21, 13);
    const float f = 1.5f;
    for (float t : {0.0f, 0.3f, 1.0f})
    {
        const Image2D expected = referenceConstrained(image, 2, 1, t, [&](double) { return static_cast<double>(f); });
        EXPECT_TRUE(imagesEqual(expected, runConstrained(image, 2, 1, f, t))) << "t = " << t;
    }
}

TEST_P(UnsharpMaskingTyped, LocalAlphaMatchesTheReference)
{
    const Image2D::DataType type = GetParam();
    const Image2D image = radiographRange(type, 27, 22, 15);
    const double f = 2.5f;
    // A gentle curve, the display road's steep one (its exponential reaches 0 after about
    // twenty contrasts) and a falling one (reaching infinity).
    for (const auto& [s, c] : {std::pair{0.05, 40.0}, std::pair{35.0, 0.0714}, std::pair{-0.5, 30.0}})
    {
        const Image2D expected = referenceConstrained(image, 2, 2, 0.25f, [&](double contrast) {
            return f / (1.0 + std::exp(-s * (contrast - c)));
        });
        EXPECT_TRUE(imagesEqual(expected, runLocalAlpha(image, 2, 2, 2.5f, 0.25f, s, c))) << "slope " << s;
    }
}

INSTANTIATE_TEST_SUITE_P(SupportedTypes, UnsharpMaskingTyped,
                         ::testing::Values(Image2D::UNSIGNED_SHORT, Image2D::SHORT, Image2D::UNSIGNED_CHAR,
                                           Image2D::BINARY, Image2D::FLOAT));

TEST(LocalAlphaConstrainedUnsharpMasking, MissingSlopeAndCenterReadAsZero)
{
    const Image2D image = radiographRange(Image2D::UNSIGNED_SHORT, 12, 9, 18);
    LocalAlphaConstrainedUnsharpMasking algorithm;
    algorithm.setInput(LocalAlphaConstrainedUnsharpMasking::INPUT_IMAGE, &image);
    algorithm.setUniformValue(LocalAlphaConstrainedUnsharpMasking::KERNEL_RADIUS, 1);
    algorithm.setUniformValue(LocalAlphaConstrainedUnsharpMasking::MIN_MAX_KERNEL_RADIUS, 1);
    algorithm.setUniformValue(LocalAlphaConstrainedUnsharpMasking::SHARPNESS_FACTOR, 2.0);
    algorithm.setUniformValue(LocalAlphaConstrainedUnsharpMasking::INTERPOLATION, 0.5);
    ASSERT_TRUE(algorithm.execute(image2d::neverCancelled()));
    const auto out = algorithm.getSharedOutput(LocalAlphaConstrainedUnsharpMasking::OUTPUT_IMAGE);
    ASSERT_TRUE(out);
    EXPECT_TRUE(imagesEqual(runConstrained(image, 1, 1, 1.0f, 0.5f), *out));
}

TEST(UnsharpMasking, NonFiniteFactorsStayInsideTheIntegerRange)
{
    // NaN converts to an integer for Qt, so it passes validation; it must not reach an
    // integer cast. Clamping sends it to the lower bound.
    Image2D image = radiographRange(Image2D::UNSIGNED_CHAR, 6, 5, 19);
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const auto sharpened = Sharpen::executeSharpen(&image, 1, nan);
    ASSERT_TRUE(sharpened);
    const Image2D constrained = runConstrained(image, 1, 1, std::numeric_limits<float>::infinity(), 0.5f);
    ASSERT_TRUE(constrained.isValid());
    for (double v : pixels(*sharpened))
        EXPECT_EQ(v, 0.0);
}

TEST(UnsharpMasking, OnePixelImagesKeepTheirValue)
{
    for (Image2D::DataType type : {Image2D::UNSIGNED_SHORT, Image2D::FLOAT})
    {
        Image2D single = makeImage(1, 1, type, {7});
        const auto sharpened = Sharpen::executeSharpen(&single, 3, 2.0f);
        ASSERT_TRUE(sharpened);
        EXPECT_TRUE(imagesEqual(single, *sharpened));
        EXPECT_TRUE(imagesEqual(single, runConstrained(single, 3, 3, 2.0f, 0.5f)));
        EXPECT_TRUE(imagesEqual(single, runLocalAlpha(single, 3, 3, 2.0f, 0.5f, 1.0, 0.0)));
    }
}

} // namespace

TEST(LocalAlphaConstrainedUnsharpMasking, StatisticsWithMinimumAboveMaximumFollowTheFormula)
{
    // Given statistics need not be a window's: with the extremes swapped every contrast is
    // negative and lies outside the strength table. 16-bit, wide enough for the vector loop.
    const int width = 23;
    const Image2D image = radiographRange(Image2D::UNSIGNED_SHORT, width, 3, 21);
    const auto mean = areaAverageAsFloat(image, 1);
    MinMaxImages minMax = recursiveMinMax(image, 1);
    ASSERT_TRUE(mean && minMax);
    const double f = 1.5, s = 0.02, c = -10.0, t = 0.4;
    const auto out = constrainedWithStatistics(image, mean, minMax.maximum, minMax.minimum, 1.5f, 0.4f, true, s, c);
    ASSERT_TRUE(out);
    std::vector<double> expected;
    for (int i = 0; i < width * 3; ++i)
    {
        const double v = image.getConstData<std::uint16_t>()[i];
        const double low = minMax.maximum->getConstData<std::uint16_t>()[i];
        const double high = minMax.minimum->getConstData<std::uint16_t>()[i];
        const double alpha = f / (1.0 + std::exp(-s * (high - low - c)));
        const double u = alpha * (v - static_cast<double>(mean->getConstData<float>()[i])) + v;
        const double x = t * std::max(low, std::min(u, high)) + (1.0 - t) * u;
        expected.push_back(std::trunc(std::clamp(x, 0.0, 65535.0) + 0.5));
    }
    EXPECT_TRUE(imagesEqual(makeImage(width, 3, Image2D::UNSIGNED_SHORT, expected), *out));
}
