#include "Reference.h"
#include "image2d/filtering/Convolution.h"
#include "image2d/filtering/Smoothing.h"
#include "support/ImageCompare.h"
#include "support/TestImages.h"
#include "support/WarningCapture.h"

#include <gtest/gtest.h>

using namespace image2d;
using testing_support::imagesEqual;
using testing_support::randomImage;
using testing_support::WarningCapture;

namespace {

std::shared_ptr<Image2D> denoise(std::shared_ptr<Image2D> image, QVariant sigma, QVariant radius, bool* ok = nullptr)
{
    Denoise algorithm;
    algorithm.setSharedInput(Denoise::INPUT_IMAGE, std::move(image));
    if (sigma.isValid())
        algorithm.setUniformValue(Denoise::KERNEL_STD, sigma);
    if (radius.isValid())
        algorithm.setUniformValue(Denoise::KERNEL_RADIUS, radius);
    const std::atomic<bool> cancel{false};
    const bool success = algorithm.execute(cancel);
    if (ok)
        *ok = success;
    return algorithm.getSharedOutput(Denoise::OUTPUT_IMAGE);
}

} // namespace

TEST(Denoise, RadiusFollowsSigmaUpToTheLimit)
{
    auto image = std::make_shared<Image2D>(randomImage(20, 15, Image2D::UNSIGNED_SHORT, 1, 0, 4095));
    // sigma 1.2: ceil(3.6) = 4, a 9-tap kernel; with the limit 2 the radius is 2.
    EXPECT_TRUE(imagesEqual(reference::separable(*image, SeparableGaussian(4, 1.2f).getValues(), Image2D::UNSIGNED_SHORT),
                            *denoise(image, 1.2f, 10)));
    EXPECT_TRUE(imagesEqual(reference::separable(*image, SeparableGaussian(2, 1.2f).getValues(), Image2D::UNSIGNED_SHORT),
                            *denoise(image, 1.2f, 2)));
}

TEST(Denoise, KeepsTheDataType)
{
    for (Image2D::DataType type : {Image2D::UNSIGNED_SHORT, Image2D::SHORT, Image2D::UNSIGNED_CHAR, Image2D::FLOAT})
    {
        auto image = std::make_shared<Image2D>(randomImage(12, 12, type, 2, 0, 100));
        EXPECT_EQ(denoise(image, 0.8f, 3)->getDataType(), type);
    }
}

TEST(Denoise, ZeroSigmaHandsTheInputOnWithoutAWarning)
{
    WarningCapture warnings;
    auto image = std::make_shared<Image2D>(randomImage(5, 5, Image2D::FLOAT, 3, 0, 1));
    bool ok = false;
    EXPECT_EQ(denoise(image, 0.0f, 3, &ok), image);
    EXPECT_TRUE(ok);
    EXPECT_TRUE(warnings.messages().isEmpty());
}

TEST(Denoise, KernelWiderThanTheImageHandsTheInputOn)
{
    WarningCapture warnings;
    auto narrow = std::make_shared<Image2D>(randomImage(8, 20, Image2D::UNSIGNED_SHORT, 4, 0, 4095));
    bool ok = false;
    EXPECT_EQ(denoise(narrow, 1.2f, 10, &ok), narrow);
    EXPECT_TRUE(ok);
    EXPECT_EQ(warnings.messages(), QStringList{"Denoise filter: invalid kernel size or sigma, not applying denoise."});

    warnings.clear();
    auto fits = std::make_shared<Image2D>(randomImage(9, 9, Image2D::UNSIGNED_SHORT, 5, 0, 4095));
    const std::shared_ptr<Image2D> filtered = denoise(fits, 1.2f, 10);
    EXPECT_NE(filtered, fits);
    EXPECT_TRUE(warnings.messages().isEmpty());

    // An enormous sigma takes the radius limit, which then does not fit either.
    EXPECT_EQ(denoise(fits, 1e30f, 1 << 30), fits);
}

TEST(Denoise, ValidationMessagesInOrder)
{
    WarningCapture warnings;
    auto image = std::make_shared<Image2D>(randomImage(5, 5, Image2D::FLOAT, 3, 0, 1));
    EXPECT_FALSE(denoise(nullptr, 1.0f, 2));
    EXPECT_FALSE(denoise(std::make_shared<Image2D>(), 1.0f, 2));
    EXPECT_FALSE(denoise(image, QVariant(), 2));
    EXPECT_FALSE(denoise(image, "soft", 2));
    EXPECT_FALSE(denoise(image, -0.5f, 2));
    EXPECT_FALSE(denoise(image, 1.0f, QVariant()));
    EXPECT_FALSE(denoise(image, 1.0f, "big"));
    EXPECT_FALSE(denoise(image, 1.0f, 0));
    EXPECT_EQ(warnings.messages(), (QStringList{"image2d::Denoise : missing input:  \"inputImage\"",
                                                "image2d::Denoise : invalid input:  \"inputImage\"",
                                                "image2d::Denoise : missing input:  \"kernelStdDenoise\"",
                                                "image2d::Denoise : invalid input:  \"kernelStdDenoise\"",
                                                "image2d::Denoise : value out of range:  \"kernelStdDenoise\"",
                                                "image2d::Denoise : missing input:  \"kernelRadiusDenoise\"",
                                                "image2d::Denoise : invalid input:  \"kernelRadiusDenoise\"",
                                                "image2d::Denoise : value out of range:  \"kernelRadiusDenoise\""}));
}
