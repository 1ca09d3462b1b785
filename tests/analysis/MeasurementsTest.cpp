#include "image2d/analysis/Measurements.h"

#include "image2d/filtering/Convolution.h"
#include "image2d/filtering/Kernels.h"
#include "image2d/framework/Core.h"
#include "support/TestImages.h"
#include "support/WarningCapture.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <tuple>

using namespace image2d;
using namespace testing_support;

TEST(Sharpness, VarianceOfTheGradientMagnitude)
{
    // Values from an independent model of the estimate.
    EXPECT_DOUBLE_EQ(sharpnessEstimate(makeImage(3, 3, Image2D::UNSIGNED_CHAR, {0, 0, 255, 0, 0, 255, 0, 0, 255})),
                     231200.0);
    EXPECT_DOUBLE_EQ(sharpnessEstimate(makeImage(3, 3, Image2D::UNSIGNED_CHAR, {0, 0, 0, 0, 100, 0, 0, 0, 0})),
                     3640.7817293977673);
    EXPECT_DOUBLE_EQ(sharpnessEstimate(makeImage(4, 4, Image2D::UNSIGNED_CHAR, {0, 255, 0, 255, 255, 0, 255, 0, 0, 255,
                                                                                0, 255, 255, 0, 255, 0})),
                     97537.5);
    EXPECT_EQ(sharpnessEstimate(Image2D(9, 7, Image2D::UNSIGNED_CHAR)), 0.0);
    EXPECT_EQ(Sharpness::calculateSharpness(nullptr), 0.0);
    EXPECT_EQ(sharpnessEstimate(randomImage(2, 5, Image2D::UNSIGNED_CHAR, 1, 0, 255)), 0.0);
    EXPECT_EQ(sharpnessEstimate(randomImage(9, 9, Image2D::BINARY, 1, 0, 1)), 0.0);
}

TEST(Sharpness, IgnoresMirroringAndFallsAsTheImageIsBlurred)
{
    const auto image = std::make_shared<Image2D>(randomImage(48, 40, Image2D::UNSIGNED_CHAR, 3, 0, 255));
    Image2D mirrored(48, 40, Image2D::UNSIGNED_CHAR);
    for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 48; ++x)
            mirrored.getData<std::uint8_t>()[y * 48 + x] = image->getConstData<std::uint8_t>()[y * 48 + 47 - x];
    double previous = sharpnessEstimate(*image);
    // The same magnitudes in another order: equal up to the rounding of the running sums.
    EXPECT_NEAR(sharpnessEstimate(mirrored), previous, 1e-12 * previous);
    for (float sigma : {0.7f, 1.5f, 3.0f})
    {
        SeparableGaussian kernel(static_cast<int>(std::ceil(3 * sigma)), sigma);
        const double blurred =
            sharpnessEstimate(*SeparableFilter::executeSeparableFilter(image, &kernel, Image2D::UNSIGNED_CHAR));
        EXPECT_LT(blurred, previous) << sigma;
        previous = blurred;
    }
}

TEST(Sharpness, AlgorithmKeepsTheEstimateAndRejectsSmallImages)
{
    Sharpness algorithm;
    const auto image = std::make_shared<Image2D>(makeImage(3, 3, Image2D::UNSIGNED_CHAR, {0, 0, 0, 0, 100, 0, 0, 0, 0}));
    algorithm.setSharedInput(Sharpness::INPUT_IMAGE, image);
    EXPECT_TRUE(algorithm.execute(neverCancelled()));
    EXPECT_DOUBLE_EQ(algorithm.getSharpnessEstimate(), 3640.7817293977673);
    EXPECT_EQ(algorithm.getSharedOutput(Sharpness::OUTPUT_IMAGE), image);
    WarningCapture warnings;
    algorithm.setSharedInput(Sharpness::INPUT_IMAGE, std::make_shared<Image2D>(2, 5, Image2D::UNSIGNED_CHAR));
    EXPECT_FALSE(algorithm.execute(neverCancelled()));
    algorithm.setSharedInput(Sharpness::INPUT_IMAGE, nullptr);
    EXPECT_FALSE(algorithm.execute(neverCancelled()));
    EXPECT_EQ(warnings.messages(), (QStringList{"image2d::Sharpness : invalid input:  \"inputImage\"",
                                                "image2d::Sharpness : missing input:  \"inputImage\""}));
}

TEST(MinMaxOfMaskedArea, RangeOfTheMaskedPixels)
{
    const Image2D mask = makeImage(4, 1, Image2D::BINARY, {1, 0, 1, 1});
    const float nan = std::numeric_limits<float>::quiet_NaN();
    using Range = std::pair<float, float>;
    EXPECT_EQ(minMaxOfMaskedArea(makeImage(4, 1, Image2D::FLOAT, {-5, -100, -3, -1}), mask), Range(-5, -1));
    EXPECT_EQ(minMaxOfMaskedArea(makeImage(4, 1, Image2D::FLOAT, {nan, 9, 2, nan}), mask), Range(2, 2));
    EXPECT_EQ(minMaxOfMaskedArea(makeImage(4, 1, Image2D::SHORT, {-7, 500, 3, 0}), mask), Range(-7, 3));
    EXPECT_EQ(minMaxOfMaskedArea(Image2D(4, 1, Image2D::UNSIGNED_SHORT), mask), Range(0, 0));
    const Image2D image = makeImage(4, 1, Image2D::UNSIGNED_SHORT, {10, 20, 30, 40});
    EXPECT_EQ(MinMaxOfMaskedArea::calculateMinMaxOfMaskedArea(image, &mask), Range(10, 40));
    EXPECT_EQ(MinMaxOfMaskedArea::calculateMinMaxOfMaskedArea(image, nullptr), Range(0, 65535));
    const Image2D none(4, 1, Image2D::BINARY);
    EXPECT_FALSE(MinMaxOfMaskedArea::calculateMinMaxOfMaskedArea(image, &none));
    MinMaxOfMaskedArea algorithm;
    algorithm.setInput(MinMaxOfMaskedArea::INPUT_IMAGE, &image);
    algorithm.setInput(MinMaxOfMaskedArea::MASK_IMAGE, &none);
    EXPECT_FALSE(algorithm.execute(neverCancelled()));
    EXPECT_FALSE(algorithm.getUniformValue(MinMaxOfMaskedArea::MIN_VALUE).isValid());
}

TEST(MinMaxOfMaskedArea, MatchesAPlainScanForEveryType)
{
    const Image2D mask = randomImage(67, 29, Image2D::BINARY, 8, 0, 1);
    for (const auto& [type, lo, hi] : {std::tuple{Image2D::UNSIGNED_SHORT, 0.0, 65535.0}, {Image2D::SHORT, -32768.0, 32767.0},
                                       {Image2D::UNSIGNED_CHAR, 0.0, 255.0}, {Image2D::FLOAT, -1e6, 1e6}})
    {
        const Image2D image = randomImage(67, 29, type, 9, lo, hi);
        const std::vector<double> values = testing_support::pixels(image);
        float low = std::numeric_limits<float>::max(), high = -low;
        for (std::size_t i = 0; i < image.getNumPixels(); ++i)
            if (mask.getConstData<std::uint8_t>()[i])
            {
                low = std::min(low, static_cast<float>(values[i]));
                high = std::max(high, static_cast<float>(values[i]));
            }
        EXPECT_EQ(minMaxOfMaskedArea(image, mask), std::make_pair(low, high)) << type;
    }
}

TEST(MinMaxOfMaskedArea, RejectsBadInputWithItsMessages)
{
    const auto image = std::make_shared<Image2D>(4, 4, Image2D::FLOAT);
    const auto mask = std::make_shared<Image2D>(4, 4, Image2D::BINARY);
    const struct
    {
        std::shared_ptr<Image2D> image, mask;
        QString message;
    } cases[] = {
        {nullptr, mask, "image2d::MinMaxOfMaskedArea : missing input:  \"inputImage\""},
        {std::make_shared<Image2D>(), mask, "image2d::MinMaxOfMaskedArea : invalid input:  \"inputImage\""},
        {image, nullptr, "image2d::MinMaxOfMaskedArea : missing input:  \"maskImage\""},
        {image, std::make_shared<Image2D>(4, 4, Image2D::UNSIGNED_CHAR),
         "image2d::MinMaxOfMaskedArea : invalid input:  \"maskImage\""},
        {image, std::make_shared<Image2D>(4, 5, Image2D::BINARY),
         "image2d::MinMaxOfMaskedArea : invalid input: image sizes do not match"},
        {std::make_shared<Image2D>(4, 4, Image2D::INT), mask,
         "image2d::MinMaxOfMaskedArea : algorithm not supported for data type:  6"},
    };
    for (const auto& c : cases)
    {
        WarningCapture warnings;
        MinMaxOfMaskedArea algorithm;
        algorithm.setSharedInput(MinMaxOfMaskedArea::INPUT_IMAGE, c.image);
        algorithm.setSharedInput(MinMaxOfMaskedArea::MASK_IMAGE, c.mask);
        EXPECT_FALSE(algorithm.execute(neverCancelled()));
        EXPECT_EQ(warnings.messages(), QStringList{c.message});
    }
}
