#include "Reference.h"
#include "image2d/filtering/Convolution.h"
#include "support/ImageCompare.h"
#include "support/TestImages.h"
#include "support/WarningCapture.h"

#include <gtest/gtest.h>

#include <random>

using namespace image2d;
using namespace testing_support;

namespace {

const std::vector<Image2D::DataType> kAllTypes = {Image2D::UNSIGNED_SHORT, Image2D::SHORT, Image2D::UNSIGNED_CHAR,
                                                  Image2D::BINARY,         Image2D::FLOAT, Image2D::INT};


// INT sums beyond 32 bits are stored by a rule of their own, which the reference leaves out.
Image2D randomPixels(Image2D::DataType type, int w, int h, std::uint32_t seed)
{
    return type == Image2D::INT ? randomImage(w, h, type, seed, -100000, 100000) : randomOfType(type, w, h, seed);
}

std::vector<float> randomValues(int count, std::uint32_t seed)
{
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> dist(-1.5f, 1.5f);
    std::vector<float> values(count);
    for (float& v : values)
        v = dist(rng);
    return values;
}

struct Size
{
    int w, h;
};
const std::vector<Size> kSizes = {{1, 1}, {1, 6}, {7, 1}, {3, 2}, {9, 7}, {40, 13}};

} // namespace

TEST(Filter, MatchesBruteForceForEveryTypeSizeAndKernel)
{
    std::uint32_t seed = 1;
    for (Image2D::DataType type : kAllTypes)
        for (const Size& size : kSizes)
            for (int side : {1, 2, 3, 4, 5, 7})
            {
                SCOPED_TRACE(testing::Message() << "type " << type << " size " << size.w << "x" << size.h << " side "
                                                << side);
                const Image2D image = randomPixels(type, size.w, size.h, ++seed);
                Kernel kernel(randomValues(side * side, seed));
                const std::shared_ptr<Image2D> result = Filter::executeFilter(image, &kernel);
                ASSERT_TRUE(result);
                EXPECT_TRUE(imagesEqual(reference::filter(image, kernel.getValues(), side), *result));
            }
}

TEST(Filter, StoresByTruncationKeepingTheLowBits)
{
    const Image2D ones = makeImage(2, 2, Image2D::UNSIGNED_CHAR, {1, 1, 1, 1});
    auto single = [&](float weight, const Image2D& image) {
        Kernel kernel({weight});
        return pixelAt(*Filter::executeFilter(image, &kernel), 0, 0);
    };
    EXPECT_EQ(single(99.999f, ones), 99);
    EXPECT_EQ(single(-1.0f, ones), 255);
    EXPECT_EQ(single(256.0f, ones), 0);
    EXPECT_EQ(single(-1.5f, makeImage(1, 1, Image2D::SHORT, {1})), -1);
    EXPECT_EQ(single(70000.0f, makeImage(1, 1, Image2D::UNSIGNED_SHORT, {1})), 70000 - 65536);
    // BINARY: any non-zero low byte is 1, a multiple of 256 is 0.
    EXPECT_EQ(single(3.0f, makeImage(1, 1, Image2D::BINARY, {1})), 1);
    EXPECT_EQ(single(256.0f, makeImage(1, 1, Image2D::BINARY, {1})), 0);
}

TEST(SeparableFilter, MatchesBruteForceForEveryInputAndOutputType)
{
    std::uint32_t seed = 100;
    for (Image2D::DataType in : kAllTypes)
        for (Image2D::DataType out : kAllTypes)
            for (const Size& size : kSizes)
                for (int taps : {1, 2, 3, 5, 8, 9})
                {
                    SCOPED_TRACE(testing::Message() << "in " << in << " out " << out << " size " << size.w << "x"
                                                    << size.h << " taps " << taps);
                    auto image = std::make_shared<Image2D>(randomPixels(in, size.w, size.h, ++seed));
                    SeparableKernel kernel(randomValues(taps, seed));
                    const std::shared_ptr<Image2D> result = SeparableFilter::executeSeparableFilter(image, &kernel, out);
                    ASSERT_TRUE(result);
                    EXPECT_TRUE(imagesEqual(reference::separable(*image, kernel.getValues(), out), *result));
                }
}

TEST(SeparableFilter, OutputTypeParameterAndKeepValue)
{
    auto image = std::make_shared<Image2D>(randomImage(8, 8, Image2D::UNSIGNED_SHORT, 3, 0, 4000));
    SeparableGaussian kernel(2, 1.0f);
    EXPECT_EQ(SeparableFilter::executeSeparableFilter(image, &kernel, Image2D::FLOAT)->getDataType(), Image2D::FLOAT);
    EXPECT_EQ(SeparableFilter::executeSeparableFilter(image, &kernel, Image2D::RGBA)->getDataType(),
              Image2D::UNSIGNED_SHORT);
    // Without the parameter the input's type is kept as well.
    SeparableFilter filter(&kernel);
    filter.setSharedInput(SeparableFilter::INPUT_IMAGE, image);
    const std::atomic<bool> cancel{false};
    ASSERT_TRUE(filter.execute(cancel));
    EXPECT_EQ(filter.getSharedOutput(SeparableFilter::OUTPUT_IMAGE)->getDataType(), Image2D::UNSIGNED_SHORT);
}

TEST(SeparableFilter, EmptyKernelGivesZeros)
{
    auto image = std::make_shared<Image2D>(randomImage(7, 5, Image2D::SHORT, 6, -100, 100));
    SeparableGaussian empty(-1, 1.0f);
    Kernel emptySquare({});
    EXPECT_TRUE(imagesEqual(Image2D(7, 5, Image2D::FLOAT),
                            *SeparableFilter::executeSeparableFilter(image, &empty, Image2D::FLOAT)));
    EXPECT_TRUE(imagesEqual(Image2D(7, 5, Image2D::SHORT), *Filter::executeFilter(*image, &emptySquare)));
}

TEST(SeparableFilter, ImageShorterThanTheKernelUsesTheClampedRowsOnly)
{
    auto image = std::make_shared<Image2D>(randomImage(6, 1, Image2D::FLOAT, 4, 0, 100));
    SeparableGaussian kernel(2, 1.0f);
    const std::shared_ptr<Image2D> result = SeparableFilter::executeSeparableFilter(image, &kernel, Image2D::FLOAT);
    EXPECT_TRUE(imagesEqual(reference::separable(*image, kernel.getValues(), Image2D::FLOAT), *result));
}

TEST(Convolution, RejectsAMissingKernelAndAnUnsupportedOutputType)
{
    WarningCapture warnings;
    auto image = std::make_shared<Image2D>(makeImage(2, 2, Image2D::FLOAT, {1, 2, 3, 4}));
    Filter noKernel(nullptr);
    noKernel.setSharedInput(Filter::INPUT_IMAGE, image);
    EXPECT_FALSE(noKernel.execute(std::atomic<bool>{false}));
    SeparableFilter noSeparableKernel(nullptr);
    noSeparableKernel.setSharedInput(SeparableFilter::INPUT_IMAGE, image);
    EXPECT_FALSE(noSeparableKernel.execute(std::atomic<bool>{false}));

    SeparableGaussian kernel(1, 1.0f);
    SeparableFilter badOutput(&kernel);
    badOutput.setSharedInput(SeparableFilter::INPUT_IMAGE, image);
    badOutput.setUniformValue(SeparableFilter::OUTPUT_DATATYPE, 4);
    EXPECT_FALSE(badOutput.execute(std::atomic<bool>{false}));
    EXPECT_FALSE(badOutput.getSharedOutput(SeparableFilter::OUTPUT_IMAGE));
    EXPECT_EQ(warnings.messages(),
              (QStringList{"image2d::Filter : convolution kernel is not set.",
                           "image2d::SeparableFilter : convolution kernel is not set.",
                           "image2d::SeparableFilter : SeparableFilter algorithm not supported for output data type:  4"}));
}
