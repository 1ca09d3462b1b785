#include "image2d/analysis/Histograms.h"

#include "support/TestImages.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <map>

using namespace image2d;
using namespace testing_support;

namespace {

// Plain reference: every pixel of the window inside the image, one map update at a time.
std::map<int, unsigned> plainCounts(const Image2D& image, Window w, const Image2D* mask = nullptr)
{
    std::map<int, unsigned> counts;
    for (int y = std::max(0, w.firstRow); y <= std::min(w.lastRow, image.getHeight() - 1); ++y)
        for (int x = std::max(0, w.firstColumn); x <= std::min(w.lastColumn, image.getWidth() - 1); ++x)
            if (!mask || pixelAt(*mask, x, y) != 0)
                ++counts[static_cast<int>(pixelAt(image, x, y))];
    return counts;
}

std::map<int, unsigned> asOrdered(const IntegerHistogramMap& histogram)
{
    return {histogram.begin(), histogram.end()};
}

} // namespace

TEST(IntegerHistogram, CountsTheWindowLikeAPlainCount)
{
    const Image2D image = randomImage(37, 23, Image2D::UNSIGNED_CHAR, 5, 0, 255);
    for (const Window w : {Window(3, 30, 2, 20), Window(), Window(-5, 3, 0, 0), Window(0, 99, 0, 99), Window(5, 4, 0, 9)})
    {
        EXPECT_EQ(asOrdered(IntegerHistogram<unsigned char>::computeHistogram(image, w)), plainCounts(image, w));
        EXPECT_EQ(asOrdered(integerHistogram(image, w)), plainCounts(image, w));
    }
    const Image2D mask = randomImage(37, 23, Image2D::BINARY, 6, 0, 1);
    const auto masked = countByteValues(image, Window(2, 35, 1, 22), &mask);
    std::map<int, unsigned> maskedCounts;
    for (int v = 0; v < 256; ++v)
        if (masked[v])
            maskedCounts[v] = static_cast<unsigned>(masked[v]);
    EXPECT_EQ(maskedCounts, plainCounts(image, Window(2, 35, 1, 22), &mask));
}

TEST(IntegerHistogram, WindowCountsColumnsTwoAndThreeOfRowOne)
{
    const Image2D image = makeImage(5, 2, Image2D::BINARY, {0, 0, 0, 0, 0, 0, 0, 1, 0, 1});
    EXPECT_EQ(asOrdered(IntegerHistogram<unsigned char>::computeHistogram(image, Window(2, 3, 1, 1))),
              (std::map<int, unsigned>{{0, 1}, {1, 1}}));
    EXPECT_TRUE(IntegerHistogram<unsigned char>::computeHistogram(Image2D(4, 4, Image2D::UNSIGNED_SHORT), Window(0, 3, 0, 3))
                    .empty());
}

TEST(FloatedBinnedHistogram, BinsAreKeyedByTheirFirstValue)
{
    const auto histogramOf = [](std::initializer_list<double> values) {
        const Image2D image = makeImage(static_cast<int>(values.size()), 1, Image2D::FLOAT, values);
        return FloatedBinnedHistogram::computeHistogram(image, Window(0, image.getWidth() - 1, 0, 0), 0.0, 255.0);
    };
    // Bin width 255 / 256: 0.1 and 0.2 share bin 0, 1.0 is in bin 1.
    const FloatHistogramMap first = histogramOf({0.1, 0.2, 1.0});
    ASSERT_EQ(first.size(), 2u);
    EXPECT_EQ(first.find(0.15f)->first, 0.1f);
    EXPECT_EQ(first.find(0.15f)->second, 2);
    EXPECT_EQ(histogramOf({0.2, 0.1}).find(0.1f)->first, 0.2f);
    // Values below 0 and above the maximum get bins of their own; NaN is skipped.
    const FloatHistogramMap outside = histogramOf({-0.5, -0.1, 300.0, std::nan(""), 300.5, 0.3});
    EXPECT_EQ(outside.size(), 3u);
    EXPECT_EQ(outside.find(-0.1f)->first, -0.5f);
    EXPECT_EQ(outside.find(-0.1f)->second, 2);
    EXPECT_EQ(outside.find(300.5f)->second, 2);
    EXPECT_TRUE(FloatedBinnedHistogram::computeHistogram(Image2D(2, 2, Image2D::UNSIGNED_CHAR), Window(0, 1, 0, 1), 0, 1)
                    .empty());
}

TEST(FloatedBinnedHistogram, MatchesAPlainMapOfBins)
{
    const Image2D image = randomImage(41, 17, Image2D::FLOAT, 9, -20.0, 1100.0);
    const Window window(1, 39, 2, 16);
    const FloatHistogramMap histogram = floatedBinnedHistogram(image, window, 0.0, 1000.0);
    const FloatHashFunctor hash(0.0f, 1000.0f, 256);
    std::map<std::int64_t, std::pair<float, int>> reference; // bin -> (first value, count)
    for (int y = 2; y <= 16; ++y)
        for (int x = 1; x <= 39; ++x)
        {
            const auto v = static_cast<float>(pixelAt(image, x, y));
            auto [it, inserted] = reference.try_emplace(hash.bin(v), v, 0);
            ++it->second.second;
        }
    ASSERT_EQ(histogram.size(), reference.size());
    for (const auto& [bin, entry] : reference)
    {
        const auto it = histogram.find(entry.first);
        ASSERT_NE(it, histogram.end());
        EXPECT_EQ(it->first, entry.first);
        EXPECT_EQ(it->second, entry.second);
    }
}

TEST(FloatHashFunctor, ExtremeValuesHaveDefinedBins)
{
    const FloatHashFunctor hash(0.0f, 255.0f, 256);
    EXPECT_EQ(hash.bin(std::numeric_limits<float>::quiet_NaN()), 0);
    EXPECT_EQ(hash.bin(std::numeric_limits<float>::infinity()), std::numeric_limits<std::int64_t>::max());
    EXPECT_EQ(hash.bin(-std::numeric_limits<float>::infinity()), std::numeric_limits<std::int64_t>::min());
    EXPECT_EQ(hash.bin(-0.001f), -1);
}
