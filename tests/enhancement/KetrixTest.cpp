#include "image2d/enhancement/Ketrix.h"

#include "image2d/framework/Core.h"
#include "support/ImageCompare.h"
#include "support/TestImages.h"
#include "support/WarningCapture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <vector>

using namespace image2d;
using namespace image2d::ketrix_detail;
using namespace testing_support;

namespace {

const Scale k16 = scaleFor(Ketrix::IMAGE_16_BIT);

// The worked example: 100 x 100 pixels, 5000 at 10000, 4940 at 30000, 60 at 60000.
Image2D workedExample()
{
    Image2D image(100, 100, Image2D::UNSIGNED_SHORT);
    std::uint16_t* p = image.getData<std::uint16_t>();
    std::fill(p, p + 5000, 10000);
    std::fill(p + 5000, p + 9940, 30000);
    std::fill(p + 9940, p + 10000, 60000);
    return image;
}

Histogram binsOf(const Image2D& image, std::uint64_t& counted, const Scale& scale = k16)
{
    Histogram bins;
    counted = countBins(image.getConstData<std::uint16_t>(), nullptr, image.getNumPixels(), scale, bins);
    return bins;
}

bool rising(const Table& t)
{
    return std::is_sorted(t.begin(), t.end());
}

} // namespace

TEST(KetrixStages, WorkedExample)
{
    std::uint64_t counted = 0;
    const Histogram bins = binsOf(workedExample(), counted);
    EXPECT_EQ(counted, 10000u);
    EXPECT_EQ(std::accumulate(bins.begin(), bins.end(), std::uint64_t(0)), 10000u);
    EXPECT_EQ(bins[78], 5000u);
    EXPECT_EQ(bins[234], 4940u);
    EXPECT_EQ(bins[468], 60u);
    const Cuts cuts = findCuts(bins, counted, k16);
    EXPECT_EQ(cuts.low, 9984);
    EXPECT_EQ(cuts.high, 59904);
    const Table stretch = stretchTable(cuts.high, k16);
    EXPECT_EQ(stretch[10000], 10940);
    EXPECT_EQ(stretch[30000], 32820);
    EXPECT_EQ(stretch[59904], 65535);
    EXPECT_EQ(stretch[60000], 65535);
    EXPECT_TRUE(rising(stretch));
    const Analysis a = analyseHistogram(bins, cuts.high, k16);
    EXPECT_EQ(a.base, 0);
    EXPECT_EQ(a.top, 57856);
    EXPECT_EQ(a.mass, 9940u);
    EXPECT_EQ(a.median, 9984);
    EXPECT_EQ(a.spread, 128);
    EXPECT_EQ(a.med, 10922);
    EXPECT_EQ(a.spreadOut, 140);
    EXPECT_EQ(a.points.xa, 10782);
    EXPECT_EQ(a.points.ya, 7117);
    EXPECT_EQ(a.points.xc, 32220);
    EXPECT_EQ(a.points.yc, 65029);
    // The curve (both quadratic pieces are too steep and drawn through y), from a model of it.
    const Table curve = toneCurve(a.points, k16);
    const std::vector<std::pair<int, int>> expected = {{0, 0},         {1000, 902},   {5000, 4805},   {10000, 10655},
                                                       {16141, 21595}, {20000, 32018}, {26861, 50553}, {30000, 54077},
                                                       {40000, 58816}, {60000, 64335}, {65535, 65535}};
    for (const auto& [x, k] : expected)
        EXPECT_EQ(curve[x], k) << x;
    EXPECT_TRUE(rising(curve));
    const std::shared_ptr<Image2D> result = Ketrix::executeKetrix(Ketrix::IMAGE_16_BIT, workedExample(), nullptr, 1.0);
    ASSERT_TRUE(result);
    EXPECT_EQ(result->getConstData<std::uint16_t>()[0], 11943);
    EXPECT_EQ(result->getConstData<std::uint16_t>()[5000], 55774);
    EXPECT_EQ(result->getConstData<std::uint16_t>()[9999], 65535);
}

TEST(KetrixStages, GammaTable)
{
    const Table g = gammaTable(2.0, k16);
    EXPECT_EQ(g[32767], 19194); // 1 - (1 - 0.5)^(1/2) = 0.293
    EXPECT_EQ(g[0], 0);
    EXPECT_EQ(g[65535], 65535);
    EXPECT_TRUE(rising(g));
}

TEST(KetrixStages, ToneCurvesRiseOrFallThroughTheirEnds)
{
    const Scale k12 = scaleFor(Ketrix::IMAGE_12_BIT);
    for (const ControlPoints p : {ControlPoints{0, 0, 3390, 3390}, ControlPoints{900, 300, 2000, 4000},
                                  ControlPoints{3000, 100, 3500, 4095}, ControlPoints{100, 3000, 4000, 4095}})
    {
        const Table k = toneCurve(p, k12);
        EXPECT_TRUE(rising(k));
        EXPECT_EQ(k[0], 0);
        EXPECT_EQ(k[4095], 4095);
    }
    // A falling curve (which the analysis never asks for) is the rising one through the
    // mirrored points turned upside down.
    const Table falling = toneCurve(ControlPoints{1000, 3000, 3000, 500}, k12);
    const Table mirrored = toneCurve(ControlPoints{1000, 1095, 3000, 3595}, k12);
    for (int x = 0; x <= 4095; ++x)
        ASSERT_EQ(falling[x], 4095 - mirrored[x]) << x;
    EXPECT_TRUE(std::is_sorted(falling.rbegin(), falling.rend()));
    EXPECT_EQ(falling[4095], 0);
    // A piece whose control point lies outside its span stays inside the table's range.
    Table piece(4096, 7);
    quadraticPiece(piece, 100, 100, 200, 4000, 5000, -300, true, 4095);
    EXPECT_TRUE(std::all_of(piece.begin(), piece.end(), [](int v) { return v <= 4095; }));
    EXPECT_EQ(piece[200], 4000);
}

TEST(Ketrix, EnhancesInPlaceAndKeepsTheOrderOfValues)
{
    for (const auto& [type, gamma] : {std::pair{Ketrix::IMAGE_12_BIT, 1.0}, {Ketrix::IMAGE_16_BIT, 1.0},
                                      {Ketrix::IMAGE_12_BIT, 2.0}, {Ketrix::IMAGE_16_BIT, 0.6}})
    {
        const int maximum = scaleFor(type).maximum;
        const auto image = std::make_shared<Image2D>(randomImage(64, 48, Image2D::UNSIGNED_SHORT, 7, 200, maximum * 0.7));
        const Image2D before = *image;
        Ketrix algorithm;
        algorithm.setSharedInput(Ketrix::INPUT_IMAGE, image);
        algorithm.setUniformValue(Ketrix::INPUT_TYPE, static_cast<int>(type));
        algorithm.setUniformValue(Ketrix::GAMMA, gamma);
        ASSERT_TRUE(algorithm.execute(neverCancelled()));
        EXPECT_EQ(algorithm.getSharedOutput(Ketrix::OUTPUT_IMAGE), image);
        // A monotone table: brighter in, never darker out; everything within [0, M].
        std::vector<std::pair<int, int>> pairs;
        for (std::size_t i = 0; i < image->getNumPixels(); ++i)
            pairs.emplace_back(before.getConstData<std::uint16_t>()[i], image->getConstData<std::uint16_t>()[i]);
        std::sort(pairs.begin(), pairs.end());
        for (std::size_t i = 1; i < pairs.size(); ++i)
            EXPECT_LE(pairs[i - 1].second, pairs[i].second);
        EXPECT_LE(pairs.back().second, maximum);
        EXPECT_GT(pairs.back().second, pairs.front().second);
    }
}

TEST(Ketrix, ClipsTwelveBitDataAndLeavesNarrowHistogramsAsClipped)
{
    Image2D clipped = randomImage(40, 30, Image2D::UNSIGNED_SHORT, 2, 0, 4095);
    Image2D over = clipped;
    over.getData<std::uint16_t>()[17] = 5000;
    clipped.getData<std::uint16_t>()[17] = 4095;
    EXPECT_TRUE(imagesEqual(*Ketrix::executeKetrix(Ketrix::IMAGE_12_BIT, clipped, nullptr, 1.0),
                            *Ketrix::executeKetrix(Ketrix::IMAGE_12_BIT, over, nullptr, 1.0)));
    Image2D constant(40, 30, Image2D::UNSIGNED_SHORT);
    std::fill_n(constant.getData<std::uint16_t>(), 1200, 5000);
    EXPECT_TRUE(imagesEqual(*Ketrix::executeKetrix(Ketrix::IMAGE_16_BIT, constant, nullptr, 2.0), constant));
    std::fill_n(constant.getData<std::uint16_t>(), 1200, 4095);
    Image2D overflowing = constant;
    overflowing.getData<std::uint16_t>()[0] = 6000;
    EXPECT_TRUE(imagesEqual(*Ketrix::executeKetrix(Ketrix::IMAGE_12_BIT, overflowing, nullptr, 1.0), constant));
    // Under 200 counted pixels the cuts stay at 0.
    const Image2D small = randomImage(10, 10, Image2D::UNSIGNED_SHORT, 3, 0, 65535);
    EXPECT_TRUE(imagesEqual(*Ketrix::executeKetrix(Ketrix::IMAGE_16_BIT, small, nullptr, 1.0), small));
}

TEST(Ketrix, PixelsOutsideTheMaskEndAtTheMaximumAndDoNotCount)
{
    Image2D mask(32, 32, Image2D::BINARY);
    for (int i = 0; i < 32 * 20; ++i)
        mask.getData<std::uint8_t>()[i] = 1;
    const Image2D image = randomImage(32, 32, Image2D::UNSIGNED_SHORT, 4, 100, 3000);
    Image2D changed = image;
    for (int i = 32 * 20; i < 32 * 32; ++i)
        changed.getData<std::uint16_t>()[i] = 4000;
    const auto a = Ketrix::executeKetrix(Ketrix::IMAGE_12_BIT, image, &mask, 1.0);
    const auto b = Ketrix::executeKetrix(Ketrix::IMAGE_12_BIT, changed, &mask, 1.0);
    EXPECT_TRUE(imagesEqual(*a, *b));
    EXPECT_EQ(a->getConstData<std::uint16_t>()[32 * 32 - 1], 4095);
}

TEST(Ketrix, RejectsBadInputWithItsMessages)
{
    const Image2D image(8, 8, Image2D::UNSIGNED_SHORT);
    const struct
    {
        std::shared_ptr<Image2D> image, mask;
        QString message;
    } cases[] = {
        {nullptr, nullptr, "image2d::Ketrix : missing input:  \"inputImage\""},
        {std::make_shared<Image2D>(8, 8, Image2D::UNSIGNED_CHAR), nullptr, "image2d::Ketrix : invalid input:  \"inputImage\""},
        {std::make_shared<Image2D>(image), std::make_shared<Image2D>(8, 8, Image2D::UNSIGNED_CHAR),
         "image2d::Ketrix : invalid input:  \"inputMask\""},
        {std::make_shared<Image2D>(image), std::make_shared<Image2D>(),
         "image2d::Ketrix : invalid input:  \"inputMask\""},
        {std::make_shared<Image2D>(image), std::make_shared<Image2D>(8, 9, Image2D::BINARY),
         "image2d::Ketrix : invalid input: mask size doesn't match input image size"},
    };
    for (const auto& c : cases)
    {
        WarningCapture warnings;
        Ketrix algorithm;
        algorithm.setSharedInput(Ketrix::INPUT_IMAGE, c.image);
        if (c.mask)
            algorithm.setSharedInput(Ketrix::INPUT_MASK, c.mask);
        EXPECT_FALSE(algorithm.execute(neverCancelled()));
        EXPECT_EQ(warnings.messages(), QStringList{c.message});
    }
}
