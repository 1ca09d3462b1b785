#include "image2d/enhancement/AutoContrast.h"
#include "platform/documentmodel/MediaAutoContrastSettings.h"
#include "platform/maths/Operations.h"
#include "support/TestImages.h"
#include "support/WarningCapture.h"

#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <random>

using image2d::AutoContrast;
using namespace testing_support;

namespace {

struct Result
{
    bool ok;
    float minimum, maximum, center, range;
};

Result run(const Image2D& image, QVariant lower, QVariant upper, QVariant lowBins = QVariant())
{
    AutoContrast algorithm;
    algorithm.setInput(AutoContrast::INPUT_IMAGE, &image);
    algorithm.setUniformValue(AutoContrast::LOWER_FRACTION, lower);
    algorithm.setUniformValue(AutoContrast::UPPER_FRACTION, upper);
    if (lowBins.isValid())
        algorithm.setUniformValue(AutoContrast::LOW_BINS_TO_DISCARD, lowBins);
    const bool ok = algorithm.execute(image2d::neverCancelled());
    return {ok, algorithm.getUniformValue(AutoContrast::WINDOW_MINIMUM).toFloat(),
            algorithm.getUniformValue(AutoContrast::WINDOW_MAXIMUM).toFloat(),
            algorithm.getUniformValue(AutoContrast::WINDOW_CENTER).toFloat(),
            algorithm.getUniformValue(AutoContrast::WINDOW_RANGE).toFloat()};
}

// Plain reference: an ordered map of value counts, walked value by value.
std::pair<float, float> referenceWindow(const Image2D& image, float lower, float upper, bool discardLowest)
{
    std::map<long, long long> counts;
    for (double v : testing_support::pixels(image))
        ++counts[static_cast<long>(v)];
    const long first = counts.begin()->first, last = counts.rbegin()->first;
    long long total = static_cast<long long>(image.getNumPixels());
    long start = first;
    if (discardLowest)
    {
        total -= counts[first];
        ++start;
        if (start > last)
            return {0.0f, 0.0f};
    }
    const auto a = static_cast<long long>(static_cast<float>(total) * lower);
    const auto b = static_cast<long long>(static_cast<float>(total) * upper);
    long long sum = 0;
    long low = start, high = last + 1;
    for (long v = start; v <= last; ++v)
    {
        sum += counts.count(v) ? counts[v] : 0;
        if (sum < a)
            low = v + 1;
        if (sum >= b)
        {
            high = v;
            break;
        }
    }
    return {static_cast<float>(low), static_cast<float>(high)};
}

} // namespace

TEST(AutoContrast, EveryByteValueHundredTimes)
{
    std::vector<double> values;
    for (int repeat = 0; repeat < 100; ++repeat)
        for (int v = 0; v < 256; ++v)
            values.push_back(v);
    const Image2D image = makeImage(256, 100, Image2D::UNSIGNED_CHAR, values);
    const Result r = run(image, 0.25f, 0.75f);
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.minimum, 63.0f);
    EXPECT_EQ(r.maximum, 191.0f);
    EXPECT_EQ(r.center, 127.0f);
    EXPECT_EQ(r.range, 128.0f);
}

TEST(AutoContrast, ConstantImageHasZeroWindow)
{
    const Image2D image = makeImage(3, 2, Image2D::SHORT, {-700, -700, -700, -700, -700, -700});
    const Result r = run(image, 0.1f, 0.9f);
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.minimum, -700.0f);
    EXPECT_EQ(r.maximum, -700.0f);
    EXPECT_EQ(r.range, 0.0f);
}

TEST(AutoContrast, LowBinsToDiscardIsOnlyAFlag)
{
    // A heavy background at 0 that the discarded bin removes from the count.
    std::vector<double> values(50, 0.0);
    for (int v = 1; v <= 50; ++v)
        values.push_back(v);
    const Image2D image = makeImage(10, 10, Image2D::UNSIGNED_SHORT, values);
    const Result none = run(image, 0.1f, 0.9f);
    const Result one = run(image, 0.1f, 0.9f, 1);
    const Result five = run(image, 0.1f, 0.9f, 5);
    const Result zero = run(image, 0.1f, 0.9f, 0);
    ASSERT_TRUE(none.ok && one.ok && five.ok && zero.ok);
    EXPECT_EQ(none.minimum, 0.0f);
    EXPECT_EQ(none.maximum, 40.0f);
    EXPECT_EQ(one.minimum, 5.0f);  // 50 pixels left: a = 5, the fifth value is the first with S >= 5
    EXPECT_EQ(one.maximum, 45.0f); // b = 45
    EXPECT_EQ(five.minimum, one.minimum);
    EXPECT_EQ(five.maximum, one.maximum);
    EXPECT_EQ(zero.minimum, none.minimum);
    EXPECT_EQ(zero.maximum, none.maximum);
}

TEST(AutoContrast, DiscardingTheOnlyBinGivesZeroWindow)
{
    const Image2D image = makeImage(2, 2, Image2D::UNSIGNED_SHORT, {900, 900, 900, 900});
    const Result r = run(image, 0.0f, 1.0f, 1);
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.minimum, 0.0f);
    EXPECT_EQ(r.maximum, 0.0f);
}

TEST(AutoContrast, MatchesPlainReferenceOnRandomImages)
{
    std::mt19937 rng(7);
    std::uniform_real_distribution<float> fraction(0.0f, 1.0f);
    const std::tuple<Image2D::DataType, double, double> types[] = {
        {Image2D::UNSIGNED_SHORT, 0, 65535}, {Image2D::UNSIGNED_SHORT, 1000, 1300}, {Image2D::SHORT, -32768, 32767},
        {Image2D::SHORT, -50, 40},           {Image2D::UNSIGNED_CHAR, 0, 255},      {Image2D::UNSIGNED_CHAR, 17, 30}};
    std::uint32_t seed = 1;
    for (const auto& [type, lo, hi] : types)
        for (int trial = 0; trial < 6; ++trial)
        {
            const Image2D image = randomImage(37, 29, type, seed++, lo, hi);
            float lower = fraction(rng), upper = fraction(rng);
            if (lower > upper)
                std::swap(lower, upper);
            if (trial == 0)
                lower = 0.0f, upper = 1.0f;
            const bool discard = trial % 2 == 1;
            SCOPED_TRACE(testing::Message() << "type " << type << " trial " << trial);
            const Result r = run(image, lower, upper, discard ? 1 : 0);
            ASSERT_TRUE(r.ok);
            const auto [minimum, maximum] = referenceWindow(image, lower, upper, discard);
            EXPECT_EQ(r.minimum, minimum);
            EXPECT_EQ(r.maximum, maximum);
            EXPECT_EQ(r.center, (minimum + maximum) * 0.5f);
            EXPECT_EQ(r.range, maximum - minimum);
        }
}

// Numeric text converts; the rejected fractions are in the catalogue's table of own checks.
TEST(AutoContrast, FractionsMayBeNumericText)
{
    WarningCapture warnings;
    EXPECT_TRUE(run(makeImage(2, 1, Image2D::UNSIGNED_SHORT, {1, 2}), "0.25", "0.75").ok);
    EXPECT_TRUE(warnings.messages().isEmpty());
}

TEST(ComputeAutoContrast, SixteenBitResultsAreRoundedToFifty)
{
    // Values 1000..1999, once each: the intraoral window 0.5 %..99.5 % is [1004, 1994].
    std::vector<double> values;
    for (int v = 1000; v < 2000; ++v)
        values.push_back(v);
    for (const Image2D::DataType type : {Image2D::UNSIGNED_SHORT, Image2D::SHORT})
    {
        const Image2D image = makeImage(100, 10, type, values);
        const Result r = run(image, MediaAutoContrastSettings::getLowerFraction(MediaType::IntraoralSensor),
                             MediaAutoContrastSettings::getUpperFraction(MediaType::IntraoralSensor));
        ASSERT_TRUE(r.ok);
        EXPECT_EQ(r.minimum, 1004.0f);
        EXPECT_EQ(r.maximum, 1994.0f);
        // center 1499 -> 1500, range 990 -> 1000
        EXPECT_EQ(dataObjectFunctions::computeAutoContrast(image, MediaType::IntraoralSensor),
                  data::LevelWindow(1500, 1000));
    }
}

TEST(ComputeAutoContrast, EightBitResultsAreNotRounded)
{
    std::vector<double> values;
    for (int v = 0; v < 200; ++v)
        values.push_back(v);
    const Image2D image = makeImage(20, 10, Image2D::UNSIGNED_CHAR, values);
    // Unknown media: 1 %..99 % of 200 pixels: a = 2, b = 198 -> [1, 197], level 99, window 196.
    EXPECT_EQ(dataObjectFunctions::computeAutoContrast(image, MediaType::Unknown), data::LevelWindow(99, 196));
    // Photographs use the full range: [0, 9] gives the centre 4.5, rounded away from zero.
    const Image2D small = makeImage(10, 1, Image2D::UNSIGNED_CHAR, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9});
    EXPECT_EQ(dataObjectFunctions::computeAutoContrast(small, MediaType::Photograph), data::LevelWindow(5, 9));
}

TEST(ComputeAutoContrast, UnsupportedImageGivesZero)
{
    WarningCapture warnings;
    EXPECT_EQ(dataObjectFunctions::computeAutoContrast(makeImage(2, 1, Image2D::FLOAT, {0.5, 1}), MediaType::Panoramic),
              data::LevelWindow(0, 0));
    EXPECT_EQ(dataObjectFunctions::computeAutoContrast(Image2D(), MediaType::Panoramic), data::LevelWindow(0, 0));
}

namespace {

// An image holding `count` pixels of each value, in a single row.
Image2D histogramImage(Image2D::DataType type, std::initializer_list<std::pair<double, int>> counts)
{
    std::vector<double> values;
    for (const auto& [value, count] : counts)
        values.insert(values.end(), static_cast<std::size_t>(count), value);
    return makeImage(static_cast<int>(values.size()), 1, type, values);
}

float expectedGamma(double weightedSum, double pixels, double span)
{
    const float mean = static_cast<float>(weightedSum) / static_cast<float>(pixels) / static_cast<float>(span);
    return std::log(mean) / std::log(0.5f);
}

} // namespace

// The range [0, 255] (or [0, 65535]) makes level/window the identity, so the histograms
// below are those of the given pixels.
TEST(CalculateAutoGamma, MeanOfTheHistogram)
{
    const Image2D image = histogramImage(Image2D::UNSIGNED_CHAR, {{0, 4}, {100, 3}, {200, 2}});
    EXPECT_FLOAT_EQ(image2d::calculateAutoGamma(image, math::Range<float>(0, 255)), expectedGamma(700, 9, 200));
    const Image2D wide = histogramImage(Image2D::UNSIGNED_SHORT, {{0, 4}, {30000, 3}, {65535, 2}});
    EXPECT_FLOAT_EQ(image2d::calculateAutoGamma(wide, math::Range<float>(0, 65535)),
                    expectedGamma(30000.0 * 3 + 65535.0 * 2, 9, 65535));
}

TEST(CalculateAutoGamma, DominantBackgroundPeakIsIgnored)
{
    // 40 > 3 x 10: the peak at 0 is dropped from the count and the mean.
    const Image2D peak = histogramImage(Image2D::UNSIGNED_CHAR, {{0, 40}, {100, 3}, {200, 10}});
    EXPECT_FLOAT_EQ(image2d::calculateAutoGamma(peak, math::Range<float>(0, 255)), expectedGamma(2300, 13, 200));
    // Exactly three times the next bin is kept.
    const Image2D three = histogramImage(Image2D::UNSIGNED_CHAR, {{0, 30}, {100, 3}, {200, 10}});
    EXPECT_FLOAT_EQ(image2d::calculateAutoGamma(three, math::Range<float>(0, 255)), expectedGamma(2300, 43, 200));
    // Dropping a bright peak can leave a mean of 0: no estimate.
    const Image2D bright = histogramImage(Image2D::UNSIGNED_CHAR, {{0, 3}, {200, 40}});
    EXPECT_EQ(image2d::calculateAutoGamma(bright, math::Range<float>(0, 255)), 1.0f);
}

TEST(CalculateAutoGamma, NeutralWhenNothingCanBeEstimated)
{
    // One value only: no second bin.
    EXPECT_EQ(
        image2d::calculateAutoGamma(histogramImage(Image2D::UNSIGNED_SHORT, {{500, 6}}), math::Range<float>(0, 1000)),
        1.0f);
    // FLOAT images have no histogram here.
    EXPECT_EQ(image2d::calculateAutoGamma(makeImage(3, 1, Image2D::FLOAT, {0.1, 0.5, 0.7}), math::Range<float>(0, 1)),
              1.0f);
    // Level/window fails: an empty window, an unsupported type, an invalid image.
    WarningCapture warnings;
    const Image2D image = histogramImage(Image2D::UNSIGNED_CHAR, {{0, 4}, {100, 3}});
    EXPECT_EQ(image2d::calculateAutoGamma(image, math::Range<float>(50, 50)), 1.0f);
    EXPECT_EQ(image2d::calculateAutoGamma(makeImage(2, 1, Image2D::INT, {0, 9}), math::Range<float>(0, 9)), 1.0f);
    EXPECT_EQ(image2d::calculateAutoGamma(Image2D(), math::Range<float>(0, 9)), 1.0f);
    EXPECT_FALSE(warnings.messages().isEmpty());
}
