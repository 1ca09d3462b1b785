#include "SampleAlgorithm.h"
#include "image2d/framework/Core.h"
#include "support/ImageCompare.h"
#include "support/TestImages.h"
#include "support/WarningCapture.h"

#include <gtest/gtest.h>

using namespace testing_support;

TEST(Algorithm, FailedValidationNeverProcesses)
{
    WarningCapture warnings;
    OffsetAlgorithm algorithm;
    EXPECT_FALSE(algorithm.execute(image2d::neverCancelled()));
    EXPECT_EQ(algorithm.processCalls, 0);
    EXPECT_FALSE(algorithm.wasSuccessful());
    EXPECT_EQ(warnings.messages(), QStringList{"image2d::OffsetAlgorithm : missing input:  \"inputImage\""});

    warnings.clear();
    Image2D image = makeImage(2, 1, Image2D::SHORT, {1, 2});
    algorithm.setInput(OffsetAlgorithm::INPUT_IMAGE, &image);
    algorithm.setUniformValue(OffsetAlgorithm::OFFSET, QStringLiteral("abc"));
    EXPECT_FALSE(algorithm.execute(image2d::neverCancelled()));
    EXPECT_EQ(algorithm.processCalls, 0);
    EXPECT_EQ(warnings.messages(), QStringList{"image2d::OffsetAlgorithm : invalid input:  \"offset\""});
}

TEST(Algorithm, ExecuteFinalisesOutputs)
{
    Image2D image = makeImage(3, 2, Image2D::SHORT, {1, 2, 3, 4, 5, 6});
    OffsetAlgorithm algorithm;
    algorithm.setInput(OffsetAlgorithm::INPUT_IMAGE, &image);
    algorithm.setUniformValue(OffsetAlgorithm::OFFSET, 10);
    ASSERT_TRUE(algorithm.execute(image2d::neverCancelled()));
    EXPECT_TRUE(algorithm.wasSuccessful());
    const auto output = algorithm.getSharedOutput(OffsetAlgorithm::OUTPUT_IMAGE);
    ASSERT_TRUE(output);
    EXPECT_TRUE(testing_support::imagesEqual(makeImage(3, 2, Image2D::SHORT, {11, 12, 13, 14, 15, 16}), *output));
    // editFinished() refreshed the range cached inside process().
    EXPECT_EQ(output->getValueRange(), math::Range<float>(11, 16));
}

TEST(Algorithm, CancelledRunIsNotFinalised)
{
    Image2D image = makeImage(2, 1, Image2D::SHORT, {1, 2});
    std::atomic<bool> cancel{false};
    OffsetAlgorithm algorithm;
    algorithm.setInput(OffsetAlgorithm::INPUT_IMAGE, &image);
    algorithm.setUniformValue(OffsetAlgorithm::OFFSET, 10);
    algorithm.afterProcess = [&] { cancel = true; };
    EXPECT_TRUE(algorithm.execute(cancel));
    const auto output = algorithm.getSharedOutput(OffsetAlgorithm::OUTPUT_IMAGE);
    ASSERT_TRUE(output);
    // No editFinished(): the range cached during process() is still served.
    EXPECT_EQ(output->getValueRange(), math::Range<float>(0, 0));
}

TEST(Algorithm, SetInputCopiesWhileSetSharedInputShares)
{
    Image2D image = makeImage(2, 1, Image2D::SHORT, {1, 2});
    OffsetAlgorithm algorithm;
    algorithm.setInput(OffsetAlgorithm::INPUT_IMAGE, &image);
    image.getData<std::int16_t>()[0] = 50;
    EXPECT_EQ(algorithm.getSharedInput(OffsetAlgorithm::INPUT_IMAGE)->getConstData<std::int16_t>()[0], 1);

    auto shared = std::make_shared<Image2D>(image);
    algorithm.setSharedInput(OffsetAlgorithm::INPUT_IMAGE, shared);
    EXPECT_EQ(algorithm.getSharedInput(OffsetAlgorithm::INPUT_IMAGE), shared);
}

TEST(Algorithm, NullSetInputClearsTheSlotWithAWarning)
{
    Image2D image = makeImage(1, 1, Image2D::SHORT, {1});
    OffsetAlgorithm algorithm;
    algorithm.setInput(OffsetAlgorithm::INPUT_IMAGE, &image);
    WarningCapture warnings;
    algorithm.setInput(OffsetAlgorithm::INPUT_IMAGE, nullptr);
    EXPECT_FALSE(algorithm.getSharedInput(OffsetAlgorithm::INPUT_IMAGE));
    EXPECT_EQ(warnings.messages().size(), 1);
}

TEST(Algorithm, CheckInputImageReportsMissingAndInvalidImages)
{
    WarningCapture warnings;
    OffsetAlgorithm algorithm;
    EXPECT_FALSE(algorithm.checkInputImage(OffsetAlgorithm::INPUT_IMAGE));
    algorithm.setSharedInput(OffsetAlgorithm::INPUT_IMAGE, std::make_shared<Image2D>());
    EXPECT_FALSE(algorithm.checkInputImage(OffsetAlgorithm::INPUT_IMAGE));
    algorithm.setSharedInput(OffsetAlgorithm::INPUT_IMAGE, std::make_shared<Image2D>(1, 1, Image2D::FLOAT));
    EXPECT_TRUE(algorithm.checkInputImage(OffsetAlgorithm::INPUT_IMAGE));
    EXPECT_EQ(warnings.messages(), (QStringList{"missing input image:  \"inputImage\"",
                                                "invalid input image:  \"inputImage\""}));
}

TEST(Algorithm, CopiesShareImagesButNotLaterParameterChanges)
{
    Image2D image = makeImage(1, 1, Image2D::SHORT, {1});
    OffsetAlgorithm original;
    original.setInput(OffsetAlgorithm::INPUT_IMAGE, &image);
    original.setUniformValue(OffsetAlgorithm::OFFSET, 1);
    OffsetAlgorithm copy(original);
    EXPECT_EQ(copy.getSharedInput(OffsetAlgorithm::INPUT_IMAGE), original.getSharedInput(OffsetAlgorithm::INPUT_IMAGE));
    copy.setUniformValue(OffsetAlgorithm::OFFSET, 2);
    EXPECT_EQ(*original.getUniformIntValue(OffsetAlgorithm::OFFSET), 1);
}

TEST(Algorithm, CopyFunctionMakesADeepCopy)
{
    EXPECT_FALSE(image2d::copy(nullptr));
    auto shared = std::make_shared<Image2D>(makeImage(2, 1, Image2D::FLOAT, {1, 2}));
    std::unique_ptr<Image2D> copied = image2d::copy(shared);
    ASSERT_TRUE(copied);
    EXPECT_NE(copied->getConstData<float>(), shared->getConstData<float>());
    EXPECT_TRUE(testing_support::imagesEqual(*shared, *copied));
}

// Large temporaries hand their blocks on to the next call instead of returning them to the
// system: each later call takes the smallest kept block that fits.
TEST(ScratchArray, HandsReleasedBlocksToLaterCalls)
{
    constexpr std::size_t kMiB = std::size_t(1) << 20;
    const void* big = nullptr;
    const void* small = nullptr;
    {
        const image2d::ScratchArray<float> first(8 * kMiB), second(kMiB);
        ASSERT_TRUE(first && second);
        big = first.get();
        small = second.get();
    }
    const image2d::ScratchArray<float> smaller(kMiB / 2), larger(4 * kMiB);
    EXPECT_EQ(smaller.get(), small);
    EXPECT_EQ(larger.get(), big);
}
