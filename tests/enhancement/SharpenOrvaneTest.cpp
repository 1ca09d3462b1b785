#include "image2d/enhancement/SharpenOrvane.h"
#include "support/ImageCompare.h"
#include "support/TestImages.h"
#include "support/WarningCapture.h"

#include <gtest/gtest.h>

#include <QVariant>

#include <algorithm>
#include <cmath>
#include <vector>

using image2d::SharpenOrvane;
using KernelType = SharpenOrvane::KernelType;
using namespace testing_support;

namespace {

const KernelType kAllKernels[] = {SharpenOrvane::KERNEL_5X5, SharpenOrvane::KERNEL_7X7, SharpenOrvane::KERNEL_9X9,
                                  SharpenOrvane::KERNEL_11X11, SharpenOrvane::KERNEL_7X7_STRONG};

/// Correlation with edge replication, accumulated in float in kernel order; for integer
/// inputs clamped to the input's own range and rounded half away from zero.
Image2D referenceSharpen(const Image2D& image, KernelType type)
{
    const std::vector<float>& w = SharpenOrvane::kernelValues(type);
    const int size = static_cast<int>(std::lround(std::sqrt(static_cast<double>(w.size()))));
    const int r = size / 2;
    const int width = image.getWidth();
    const int height = image.getHeight();
    const std::vector<double> in = pixels(image);
    const double low = *std::min_element(in.begin(), in.end());
    const double high = *std::max_element(in.begin(), in.end());
    std::vector<double> out;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
        {
            float sum = 0.0f;
            for (int i = 0; i < size; ++i)
                for (int j = 0; j < size; ++j)
                {
                    const int yy = std::clamp(y - r + i, 0, height - 1);
                    const int xx = std::clamp(x - r + j, 0, width - 1);
                    sum += static_cast<float>(in[yy * width + xx]) * w[i * size + j];
                }
            if (image.getDataType() == Image2D::FLOAT)
                out.push_back(sum);
            else
                out.push_back(std::round(std::clamp(static_cast<double>(sum), low, high)));
        }
    return makeImage(width, height, image.getDataType(), out);
}

std::shared_ptr<Image2D> runWith(const Image2D& image, const QVariant& kernelType)
{
    SharpenOrvane algorithm;
    algorithm.setInput(SharpenOrvane::INPUT_IMAGE, &image);
    algorithm.setUniformValue(SharpenOrvane::KERNEL_TYPE, kernelType);
    EXPECT_TRUE(algorithm.execute(image2d::neverCancelled()));
    return algorithm.getSharedOutput(SharpenOrvane::OUTPUT_IMAGE);
}

using SharpenOrvaneTyped = ::testing::TestWithParam<Image2D::DataType>;

TEST_P(SharpenOrvaneTyped, MatchesTheReference)
{
    const Image2D::DataType type = GetParam();
    const double high = type == Image2D::BINARY ? 1 : type == Image2D::UNSIGNED_CHAR ? 255 : 3000;
    const double low = type == Image2D::SHORT || type == Image2D::INT || type == Image2D::FLOAT ? -500 : 0;
    Image2D image = randomImage(21, 15, type, 31, low, high);
    for (KernelType kernel : kAllKernels)
    {
        const auto out = SharpenOrvane::executeSharpen(&image, kernel);
        ASSERT_TRUE(out);
        EXPECT_TRUE(imagesEqual(referenceSharpen(image, kernel), *out)) << "kernel " << kernel;
    }
}

INSTANTIATE_TEST_SUITE_P(AllTypes, SharpenOrvaneTyped,
                         ::testing::Values(Image2D::UNSIGNED_SHORT, Image2D::SHORT, Image2D::UNSIGNED_CHAR,
                                           Image2D::BINARY, Image2D::FLOAT, Image2D::INT));

TEST(SharpenOrvane, KernelTypeFromIntegers)
{
    const Image2D image = randomImage(19, 17, Image2D::UNSIGNED_SHORT, 32, 0, 4095);
    const auto strong = SharpenOrvane::executeSharpen(&image, SharpenOrvane::KERNEL_7X7_STRONG);
    const auto nine = SharpenOrvane::executeSharpen(&image, SharpenOrvane::KERNEL_9X9);
    ASSERT_TRUE(strong && nine);
    EXPECT_FALSE(imagesEqual(*strong, *nine));

    const auto fromSeven = runWith(image, QVariant(7));
    const auto fromFour = runWith(image, QVariant(4));
    const auto fromTwo = runWith(image, QVariant(2));
    const auto fromEnum = runWith(image, QVariant::fromValue(SharpenOrvane::KERNEL_9X9));
    ASSERT_TRUE(fromSeven && fromFour && fromTwo && fromEnum);
    EXPECT_TRUE(imagesEqual(*strong, *fromSeven));
    EXPECT_TRUE(imagesEqual(*strong, *fromFour));
    EXPECT_TRUE(imagesEqual(*nine, *fromTwo));
    EXPECT_TRUE(imagesEqual(*nine, *fromEnum));
}

TEST(SharpenOrvane, TinyAndColourImages)
{
    const Image2D single = makeImage(1, 1, Image2D::UNSIGNED_SHORT, {700});
    const auto out = SharpenOrvane::executeSharpen(&single, SharpenOrvane::KERNEL_11X11);
    ASSERT_TRUE(out);
    EXPECT_TRUE(imagesEqual(single, *out));

    // Packed colour has no float conversion: warnings from the conversion, no output.
    WarningCapture warnings;
    const Image2D colour(3, 3, Image2D::RGBA);
    EXPECT_FALSE(SharpenOrvane::executeSharpen(&colour, SharpenOrvane::KERNEL_5X5));
    EXPECT_FALSE(warnings.messages().isEmpty());
}

} // namespace
