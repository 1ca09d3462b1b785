#include "Reference.h"
#include "image2d/filtering/Convolution.h"
#include "image2d/filtering/Smoothing.h"
#include "support/ImageCompare.h"
#include "support/TestImages.h"
#include "support/WarningCapture.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using namespace image2d;
using namespace testing_support;

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

// ---- DifferenceOfGaussians ------------------------------------------------------------------

namespace {

std::shared_ptr<Image2D> dog(std::shared_ptr<Image2D> image, QVariant s1, QVariant s2, QVariant radius, QVariant scale,
                             bool* ok = nullptr)
{
    DifferenceOfGaussians algorithm;
    algorithm.setSharedInput(DifferenceOfGaussians::INPUT_IMAGE, std::move(image));
    const std::pair<const QString*, QVariant> parameters[] = {{&DifferenceOfGaussians::FIRST_SIGMA, s1},
                                                              {&DifferenceOfGaussians::SECOND_SIGMA, s2},
                                                              {&DifferenceOfGaussians::RADIUS, radius},
                                                              {&DifferenceOfGaussians::SCALE, scale}};
    for (const auto& [key, value] : parameters)
        if (value.isValid())
            algorithm.setUniformValue(*key, value);
    const std::atomic<bool> cancel{false};
    const bool success = algorithm.execute(cancel);
    if (ok)
        *ok = success;
    return algorithm.getSharedOutput(DifferenceOfGaussians::OUTPUT_IMAGE);
}

/// Both blurs into float, each scaled with the float clamp of the scaling step, subtracted,
/// then rounded half away from zero and saturated to SHORT, all written out per pixel.
Image2D referenceDog(const Image2D& in, float s1, float s2, int radius, float scale)
{
    const Image2D g1 = reference::separable(in, SeparableGaussian(radius, s1).getValues(), Image2D::FLOAT);
    const Image2D g2 = reference::separable(in, SeparableGaussian(radius, s2).getValues(), Image2D::FLOAT);
    const float limit = std::numeric_limits<float>::max();
    auto scaled = [&](float v) {
        const float product = v * scale;
        return std::isnan(product) ? -limit : std::clamp(product, -limit, limit);
    };
    Image2D out(in.getSize(), Image2D::SHORT, in.getPixelSize());
    const float* a = g1.getConstData<float>();
    const float* b = g2.getConstData<float>();
    std::int16_t* o = out.getData<std::int16_t>();
    for (std::size_t i = 0; i < in.getNumPixels(); ++i)
    {
        const double d = static_cast<double>(scaled(a[i]) - scaled(b[i]));
        const double rounded = d < 0 ? -std::floor(-d + 0.5) : std::floor(d + 0.5);
        o[i] = static_cast<std::int16_t>(std::clamp(rounded, -32768.0, 32767.0));
    }
    return out;
}

struct DogCase
{
    const char* name;
    Image2D::DataType type;
    double lo, hi;
    float s1, s2;
    int radius;
    float scale;
};

void PrintTo(const DogCase& c, std::ostream* os)
{
    *os << c.name;
}

using DogReference = ::testing::TestWithParam<DogCase>;

} // namespace

TEST_P(DogReference, MatchesThePlainComputation)
{
    const DogCase& c = GetParam();
    auto image = std::make_shared<Image2D>(randomImage(17, 13, c.type, 11, c.lo, c.hi));
    bool ok = false;
    const std::shared_ptr<Image2D> result = dog(image, c.s1, c.s2, c.radius, c.scale, &ok);
    ASSERT_TRUE(ok);
    ASSERT_TRUE(result);
    EXPECT_EQ(result->getDataType(), Image2D::SHORT);
    EXPECT_TRUE(imagesEqual(referenceDog(*image, c.s1, c.s2, c.radius, c.scale), *result));
}

INSTANTIATE_TEST_SUITE_P(
    DifferenceOfGaussians, DogReference,
    ::testing::Values(DogCase{"UnsignedShort", Image2D::UNSIGNED_SHORT, 0, 4095, 1.0f, 2.5f, 4, 1.0f},
                      DogCase{"Short", Image2D::SHORT, -2000, 2000, 0.7f, 1.6f, 3, 2.0f},
                      DogCase{"UnsignedChar", Image2D::UNSIGNED_CHAR, 0, 255, 2.0f, 0.5f, 2, 10.0f},
                      DogCase{"Float", Image2D::FLOAT, -50, 50, 0.8f, 1.9f, 5, 3.3f},
                      DogCase{"Int", Image2D::INT, -100000, 100000, 1.1f, 3.0f, 6, 0.25f},
                      DogCase{"Binary", Image2D::BINARY, 0, 1, 0.6f, 1.4f, 2, 1000.0f},
                      // Sigma 0 is the identity kernel: the first image is the input itself.
                      DogCase{"ZeroFirstSigma", Image2D::UNSIGNED_SHORT, 0, 1000, 0.0f, 1.3f, 3, 1.5f},
                      DogCase{"NegativeScale", Image2D::SHORT, -3000, 3000, 1.2f, 0.4f, 3, -1.7f},
                      // Differences far outside SHORT saturate at both ends.
                      DogCase{"Saturating", Image2D::UNSIGNED_SHORT, 0, 65535, 0.3f, 4.0f, 8, 40.0f},
                      // A kernel far wider than the image reads the replicated edges.
                      DogCase{"RadiusBeyondTheImage", Image2D::FLOAT, 0, 1, 1.0f, 30.0f, 40, 500.0f}),
    [](const ::testing::TestParamInfo<DogCase>& info) { return std::string(info.param.name); });

TEST(DifferenceOfGaussians, ZeroSigmasAndTinyImagesAreValid)
{
    WarningCapture warnings;
    auto pixel = std::make_shared<Image2D>(makeImage(1, 1, Image2D::SHORT, {-7}));
    const std::shared_ptr<Image2D> result = DifferenceOfGaussians::executeDOG(pixel, 0.0f, 0.0f, 1, 5.0f);
    ASSERT_TRUE(result);
    EXPECT_EQ(pixels(*result), std::vector<double>{0.0});
    EXPECT_TRUE(warnings.messages().isEmpty());
}
