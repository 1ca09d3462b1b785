#include "image2d/analysis/Exposure.h"

#include "support/TestImages.h"
#include "support/WarningCapture.h"

#include <gtest/gtest.h>

#include <vector>

using namespace image2d;
using testing_support::WarningCapture;

namespace {

struct CountsCase
{
    const char* name;
    std::vector<std::pair<int, std::uint64_t>> counts; // value, count
    Exposure::ExposureType expected;
};

using ExposureRule = ::testing::TestWithParam<CountsCase>;

// Thirteen (or twelve) middle-band values in groups of their own, `each` pixels apiece.
std::vector<std::pair<int, std::uint64_t>> spreadOverMiddle(int values, std::uint64_t each,
                                                             std::vector<std::pair<int, std::uint64_t>> rest)
{
    for (int i = 0; i < values; ++i)
        rest.emplace_back(87 + 6 * i, each);
    return rest;
}

// An image of `top` rows of one value over rows of another, and a mask that leaves out the
// rows the smoothing mixes across the seam.
std::pair<std::shared_ptr<Image2D>, std::shared_ptr<Image2D>> twoBlocks(int top, double upper, double lower)
{
    auto image = std::make_shared<Image2D>(64, 60, Image2D::UNSIGNED_CHAR);
    auto mask = std::make_shared<Image2D>(64, 60, Image2D::BINARY);
    for (int y = 0; y < 60; ++y)
        for (int x = 0; x < 64; ++x)
        {
            image->getData<std::uint8_t>()[y * 64 + x] = static_cast<std::uint8_t>(y < top ? upper : lower);
            mask->getData<std::uint8_t>()[y * 64 + x] = std::abs(y - top) > 5 ? 1 : 0;
        }
    return {image, mask};
}

} // namespace

TEST_P(ExposureRule, DecidesOnTheCounts)
{
    std::array<std::uint64_t, 256> counts{};
    for (const auto& [value, count] : GetParam().counts)
        counts[value] += count;
    EXPECT_EQ(exposureFromCounts(counts), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Analysis, ExposureRule,
    ::testing::Values(CountsCase{"noPixel", {}, Exposure::DARK}, CountsCase{"allLow", {{30, 100}}, Exposure::DARK},
                      CountsCase{"allHigh", {{200, 100}}, Exposure::BRIGHT},
                      CountsCase{"middleWithoutHigh", {{122, 100}}, Exposure::DARK},
                      CountsCase{"middleWithHigh", {{122, 70}, {202, 30}}, Exposure::BALANCED},
                      CountsCase{"highUnderOnePercent", {{122, 995}, {202, 5}}, Exposure::DARK},
                      CountsCase{"highAtOnePercent", {{122, 990}, {202, 10}}, Exposure::BALANCED},
                      CountsCase{"peakBelow76", spreadOverMiddle(13, 5, {{52, 35}}), Exposure::DARK},
                      CountsCase{"peakFrom179", spreadOverMiddle(12, 5, {{182, 40}}), Exposure::BRIGHT},
                      CountsCase{"tieTakesTheLowestGroup", {{72, 30}, {102, 30}, {130, 25}, {200, 10}}, Exposure::DARK},
                      CountsCase{"value255InNoBand", {{255, 1000}, {120, 10}}, Exposure::DARK},
                      CountsCase{"zeroLeftOut", {{0, 1000}, {200, 10}}, Exposure::BRIGHT}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Exposure, ClassifiesSmoothedImagesInsideTheMask)
{
    const auto [dark, darkMask] = twoBlocks(30, 30, 40);
    const auto [bright, brightMask] = twoBlocks(30, 200, 220);
    const auto [balanced, balancedMask] = twoBlocks(40, 120, 200); // 70 % middle, 30 % high
    const auto [flat, flatMask] = twoBlocks(40, 120, 130);         // no high band: dark
    EXPECT_EQ(Exposure::executeExposure(dark, darkMask), Exposure::DARK);
    EXPECT_EQ(Exposure::executeExposure(bright, brightMask), Exposure::BRIGHT);
    EXPECT_EQ(Exposure::executeExposure(balanced, balancedMask), Exposure::BALANCED);
    EXPECT_EQ(Exposure::executeExposure(flat, flatMask), Exposure::DARK);
    // The mask decides: the bright half alone.
    for (int y = 0; y < 47; ++y)
        for (int x = 0; x < 64; ++x)
            balancedMask->getData<std::uint8_t>()[y * 64 + x] = 0;
    EXPECT_EQ(classifyExposure(*balanced, *balancedMask), Exposure::BRIGHT);
    Exposure algorithm;
    algorithm.setSharedInput(Exposure::INPUT_IMAGE, balanced);
    algorithm.setSharedInput(Exposure::MASK_IMAGE, std::make_shared<Image2D>(64, 60, Image2D::BINARY));
    EXPECT_TRUE(algorithm.execute(neverCancelled()));
    EXPECT_EQ(algorithm.getUniformIntValue(Exposure::EXPOSURE_VALUE), Exposure::DARK); // empty mask
    EXPECT_EQ(algorithm.getSharedOutput(Exposure::OUTPUT_IMAGE), balanced);
}

TEST(Exposure, RejectsBadInputWithItsMessages)
{
    const auto image = std::make_shared<Image2D>(8, 8, Image2D::UNSIGNED_CHAR);
    const auto mask = std::make_shared<Image2D>(8, 8, Image2D::BINARY);
    const auto other = std::make_shared<Image2D>(8, 9, Image2D::BINARY);
    const auto wide = std::make_shared<Image2D>(8, 8, Image2D::UNSIGNED_SHORT);
    const auto invalid = std::make_shared<Image2D>();
    const struct
    {
        std::shared_ptr<Image2D> image, mask;
        QString message;
    } cases[] = {
        {nullptr, mask, "image2d::Exposure : missing input:  \"inputImage\""},
        {invalid, mask, "image2d::Exposure : invalid input:  \"inputImage\""},
        {image, nullptr, "image2d::Exposure : missing input:  \"maskImage\""},
        {image, invalid, "image2d::Exposure : invalid input:  \"maskImage\""},
        {image, other, "image2d::Exposure : input and mask image do not have the same size"},
        {wide, mask, "image2d::Exposure : acquisition helper algorithm not supported for data type:  0"},
        {image, std::make_shared<Image2D>(8, 8, Image2D::UNSIGNED_CHAR), "image2d::Mask : mask image is not a binary image."},
    };
    for (const auto& c : cases)
    {
        WarningCapture warnings;
        EXPECT_EQ(Exposure::executeExposure(c.image, c.mask), Exposure::BALANCED);
        EXPECT_EQ(warnings.messages(), QStringList{c.message});
    }
}
