#include "image2d/enhancement/Navrel.h"
#include "support/ImageCompare.h"
#include "support/TestImages.h"
#include "support/WarningCapture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

using image2d::Navrel;
using namespace testing_support;

namespace {

struct NavrelSettings
{
    float black;
    float white;
    float radius;
    float factor;
};

Navrel makeNavrel(const Image2D& image, const NavrelSettings& s)
{
    Navrel navrel;
    navrel.setInput(Navrel::INPUT_IMAGE, &image);
    navrel.setUniformValue(Navrel::MEDIAN_RADIUS, 1);
    navrel.setUniformValue(Navrel::BLACK_VALUE, s.black);
    navrel.setUniformValue(Navrel::WHITE_VALUE, s.white);
    navrel.setUniformValue(Navrel::KERNEL_RADIUS, s.radius);
    navrel.setUniformValue(Navrel::SHARPNESS_FACTOR, s.factor);
    return navrel;
}

Image2D runNavrel(const Image2D& image, const NavrelSettings& s)
{
    Navrel navrel = makeNavrel(image, s);
    EXPECT_TRUE(navrel.execute(image2d::neverCancelled()));
    const auto out = navrel.getSharedOutput(Navrel::OUTPUT_IMAGE);
    return out ? *out : Image2D();
}

/// Navrel written out directly: n band pixels and their sum S in the clipped window of
/// integer radius r, v = I + (I n - S) f / (2r + 1)^2, pixels without band neighbours kept.
Image2D referenceNavrel(const Image2D& image, const NavrelSettings& s)
{
    const int r = static_cast<int>(s.radius);
    const double k = static_cast<double>(s.factor) / ((2.0 * r + 1.0) * (2.0 * r + 1.0));
    const Image2D::DataType type = image.getDataType();
    std::vector<double> out;
    for (int y = 0; y < image.getHeight(); ++y)
        for (int x = 0; x < image.getWidth(); ++x)
        {
            int n = 0;
            double sum = 0.0;
            for (int yy = std::max(0, y - r); yy <= std::min(image.getHeight() - 1, y + r); ++yy)
                for (int xx = std::max(0, x - r); xx <= std::min(image.getWidth() - 1, x + r); ++xx)
                {
                    const double v = pixelAt(image, xx, yy);
                    if (v > s.black && v < s.white)
                    {
                        ++n;
                        sum += v;
                    }
                }
            const double value = pixelAt(image, x, y);
            if (n < 1)
            {
                out.push_back(value);
                continue;
            }
            if (type == Image2D::FLOAT)
                sum = static_cast<float>(sum);
            const double v = std::clamp(value + (value * n - sum) * k, typeLowest(type), typeHighest(type));
            out.push_back(type == Image2D::FLOAT ? v : std::round(v));
        }
    return makeImage(image.getWidth(), image.getHeight(), type, out);
}

// ---------------------------------------------------------------------------------------
// Worked examples

TEST(Navrel, BandEdgesAreExcluded)
{
    // Radius 1, f = 1, k = 1/9. The pixels 10 (black) and 200 (white) are outside the band.
    const Image2D image = makeImage(3, 3, Image2D::UNSIGNED_CHAR, {10, 100, 100, //
                                                                   100, 100, 200, //
                                                                   100, 120, 100});
    // Centre: n = 7, S = 720: 100 + (700 - 720) / 9 = 97.78 -> 98.
    // Top left (10, outside the band itself): n = 3, S = 300: 10 + (30 - 300) / 9 = -20 -> 0.
    // Right middle (200): n = 5, S = 520: 200 + (1000 - 520) / 9 = 253.33 -> 253.
    const Image2D out = runNavrel(image, {10.0f, 200.0f, 1.0f, 1.0f});
    ASSERT_TRUE(out.isValid());
    EXPECT_EQ(pixelAt(out, 1, 1), 98.0);
    EXPECT_EQ(pixelAt(out, 0, 0), 0.0);
    EXPECT_EQ(pixelAt(out, 2, 1), 253.0);

    // Black 9 takes the 10 into the band: n = 8, S = 730: 100 + 70 / 9 = 107.78 -> 108.
    EXPECT_EQ(pixelAt(runNavrel(image, {9.0f, 200.0f, 1.0f, 1.0f}), 1, 1), 108.0);
}

// ---------------------------------------------------------------------------------------
// Against the plain reference, for every supported type

using NavrelTyped = ::testing::TestWithParam<Image2D::DataType>;

NavrelSettings settingsFor(Image2D::DataType type, float radius)
{
    switch (type)
    {
    case Image2D::UNSIGNED_SHORT: return {500.0f, 3500.0f, radius, 2.5f};
    case Image2D::SHORT: return {-1500.0f, 1500.0f, radius, 2.5f};
    case Image2D::UNSIGNED_CHAR: return {30.0f, 220.0f, radius, 2.5f};
    case Image2D::BINARY: return {0.0f, 2.0f, radius, 2.5f};
    default: return {0.0f, 300.0f, radius, 2.5f};
    }
}

TEST_P(NavrelTyped, MatchesTheReference)
{
    const Image2D::DataType type = GetParam();
    Image2D image = radiographRange(type, 37, 23, 22, -100.0, 400.0);
    for (float radius : {1.0f, 3.0f})
    {
        const NavrelSettings settings = settingsFor(type, radius);
        const Image2D out = runNavrel(image, settings);
        const Image2D expected = referenceNavrel(image, settings);
        if (type == Image2D::FLOAT)
            EXPECT_TRUE(imagesNear(expected, out, 1e-3)) << "radius " << radius;
        else
            EXPECT_TRUE(imagesEqual(expected, out)) << "radius " << radius;
    }
}

INSTANTIATE_TEST_SUITE_P(SupportedTypes, NavrelTyped,
                         ::testing::Values(Image2D::UNSIGNED_SHORT, Image2D::SHORT, Image2D::UNSIGNED_CHAR,
                                           Image2D::BINARY, Image2D::FLOAT));

// ---------------------------------------------------------------------------------------
// Rejected input and cancellation

TEST(Navrel, CancelledRunReportsSuccessWithoutOutput)
{
    const std::atomic<bool> cancelled{true};
    Navrel navrel = makeNavrel(randomImage(9, 8, Image2D::UNSIGNED_SHORT, 24, 0, 100), {10.0f, 90.0f, 1.0f, 1.0f});
    EXPECT_TRUE(navrel.execute(cancelled));
    EXPECT_FALSE(navrel.getSharedOutput(Navrel::OUTPUT_IMAGE));
}

TEST(Navrel, NonFiniteFactorStaysInsideTheIntegerRange)
{
    const Image2D image = randomImage(8, 8, Image2D::UNSIGNED_CHAR, 25, 0, 255);
    const Image2D out = runNavrel(image, {-1.0f, 300.0f, 1.0f, std::numeric_limits<float>::quiet_NaN()});
    ASSERT_TRUE(out.isValid());
    for (double v : pixels(out))
        EXPECT_EQ(v, 0.0);
}

// ---------------------------------------------------------------------------------------
// Noise factor and the noise-adjusted parameter

TEST(NoiseAdjustedNavrelParameter, WeakensOnlyNoisyImages)
{
    EXPECT_FLOAT_EQ(image2d::calculateNoiseAdjustedNavrelParameter(2.0f, 0.5f), 1.3777778f);
    EXPECT_EQ(image2d::calculateNoiseAdjustedNavrelParameter(2.0f, 0.49f), 2.0f);
    EXPECT_EQ(image2d::calculateNoiseAdjustedNavrelParameter(2.0f, 0.5f), 2.0f * 0.6888889f);
}

/// 50 x 50 zeros with a spike of `strong` at (15, 15), one of `weak` at (35, 35) and one of
/// 255 at (2, 2), inside the 5-pixel margin that is cropped away.
Image2D spikes(double strong, double weak)
{
    Image2D image(50, 50, Image2D::UNSIGNED_CHAR);
    std::uint8_t* p = image.getData<std::uint8_t>();
    p[15 * 50 + 15] = static_cast<std::uint8_t>(strong);
    p[35 * 50 + 35] = static_cast<std::uint8_t>(weak);
    p[2 * 50 + 2] = 255;
    image.editFinished();
    return image;
}

TEST(NoiseFactor, ShareOfStrongLocalRanges)
{
    // Displayed through 0..255 the values stay. Each spike gives a 7 x 7 block of local
    // range: 200 (above 4.5 % of the range 200) and 5 (above 1e-5 of it only): 49 / 98.
    const utility::Optional<float> factor = image2d::calculateNoiseFactor(spikes(200, 5), math::Range<float>(0, 255));
    ASSERT_TRUE(factor.hasValue());
    EXPECT_FLOAT_EQ(*factor, 0.5f);
}

TEST(NoiseFactor, SeenThroughTheDisplayRange)
{
    // Through 0..100 the weak spike becomes 5 * 2.55 -> 12 and the strong one 255:
    // 12 > 0.04501 * 255 = 11.48, so every textured pixel counts as strong.
    const utility::Optional<float> factor = image2d::calculateNoiseFactor(spikes(200, 5), math::Range<float>(0, 100));
    ASSERT_TRUE(factor.hasValue());
    EXPECT_FLOAT_EQ(*factor, 1.0f);
}

TEST(NoiseFactor, ConstantImageHasNone)
{
    WarningCapture warnings;
    Image2D image(40, 30, Image2D::UNSIGNED_SHORT);
    EXPECT_FALSE(image2d::calculateNoiseFactor(image, math::Range<float>(0, 4095)).hasValue());
    EXPECT_TRUE(warnings.messages().isEmpty());
}

TEST(NoiseFactor, RejectsTypesItDoesNotMeasure)
{
    for (Image2D::DataType type : {Image2D::BINARY, Image2D::INT})
    {
        WarningCapture warnings;
        Image2D image(20, 20, type);
        EXPECT_FALSE(image2d::calculateNoiseFactor(image, math::Range<float>(0, 1)).hasValue());
        EXPECT_EQ(warnings.messages(), QStringList{"AutoNavrel::calculateNoiseFactor: invalid input"});
    }
}

TEST(NoiseFactor, TooSmallToCropFailsCleanly)
{
    WarningCapture warnings;
    const Image2D image = makeImage(3, 2, Image2D::UNSIGNED_CHAR, {1, 2, 3, 4, 5, 6});
    EXPECT_FALSE(image2d::calculateNoiseFactor(image, math::Range<float>(0, 255)).hasValue());
    ASSERT_FALSE(warnings.messages().isEmpty());
    EXPECT_EQ(warnings.messages().last(), "AutoNavrel::calculateNoiseFactor: calculation failed");
}

TEST(Navrel, OnePixelImageKeepsItsValue)
{
    // One pixel inside the band: n = 1 and S = I, so v = I.
    const Image2D single = makeImage(1, 1, Image2D::UNSIGNED_SHORT, {7});
    EXPECT_TRUE(imagesEqual(single, runNavrel(single, {0.0f, 100.0f, 5.0f, 2.0f})));
}

} // namespace
