#include "Reference.h"
#include "image2d/filtering/LocalStatistics.h"
#include "image2d/toolbox/Image2DOperations.h"
#include "support/ImageCompare.h"
#include "support/TestImages.h"
#include "support/WarningCapture.h"

#include <gtest/gtest.h>

using namespace image2d;
using namespace testing_support;

namespace {

const std::vector<Image2D::DataType> kTypes = {Image2D::UNSIGNED_SHORT, Image2D::SHORT, Image2D::UNSIGNED_CHAR,
                                               Image2D::BINARY, Image2D::FLOAT};

// Full-range values, plus a narrow range so that windows hold many equal values.
Image2D randomOf(Image2D::DataType type, int w, int h, std::uint32_t seed, bool narrow = false)
{
    if (narrow)
        return randomImage(w, h, type, seed, type == Image2D::SHORT ? -3 : 0, type == Image2D::BINARY ? 1 : 5);
    switch (type)
    {
    case Image2D::UNSIGNED_SHORT: return randomImage(w, h, type, seed, 0, 65535);
    case Image2D::SHORT: return randomImage(w, h, type, seed, -32768, 32767);
    case Image2D::UNSIGNED_CHAR: return randomImage(w, h, type, seed, 0, 255);
    case Image2D::BINARY: return randomImage(w, h, type, seed, 0, 1);
    default: return randomImage(w, h, type, seed, -5000, 5000);
    }
}

struct Size
{
    int w, h;
};
const std::vector<Size> kSizes = {{1, 1}, {1, 9}, {8, 1}, {2, 3}, {11, 7}, {33, 20}};

template <typename Check>
void forEachCase(Check check)
{
    std::uint32_t seed = 11;
    for (Image2D::DataType type : kTypes)
        for (const Size& size : kSizes)
            for (bool narrow : {false, true})
                for (int radius = 0; radius <= 5; ++radius)
                {
                    SCOPED_TRACE(testing::Message() << "type " << type << " size " << size.w << "x" << size.h
                                                    << " radius " << radius << (narrow ? " narrow" : ""));
                    Image2D image = randomOf(type, size.w, size.h, ++seed, narrow);
                    check(image, radius);
                }
}

} // namespace

// ---- AreaAverage ----------------------------------------------------------------------

TEST(AreaAverage, MatchesBruteForceMeansOfClippedWindows)
{
    forEachCase([](Image2D& image, int radius) {
        const std::shared_ptr<Image2D> result = AreaAverage::executeAreaAverage(&image, radius);
        ASSERT_TRUE(result);
        const Image2D expected = reference::areaAverage(image, radius);
        if (image.getDataType() == Image2D::FLOAT)
            EXPECT_TRUE(imagesNear(expected, *result, 1e-3));
        else
            EXPECT_TRUE(imagesEqual(expected, *result));
    });
}

TEST(AreaAverage, FloatMeansOfIntegersEqualThoseOfTheFloatCopy)
{
    std::uint32_t seed = 970;
    for (Image2D::DataType type : {Image2D::UNSIGNED_SHORT, Image2D::SHORT, Image2D::UNSIGNED_CHAR, Image2D::BINARY})
        for (int radius : {0, 2, 5})
        {
            const Image2D image = randomOf(type, 150, 23, ++seed);
            EXPECT_TRUE(imagesEqual(*areaAverage(Image2DOperations::convertDataType(image, Image2D::FLOAT), radius),
                                    *areaAverageAsFloat(image, radius)))
                << "type " << type << " radius " << radius;
        }
}

TEST(AreaAverage, EdgeWindowsShrinkAndIntegersRoundHalfAway)
{
    const Image2D row = makeImage(3, 1, Image2D::UNSIGNED_SHORT, {0, 0, 9});
    EXPECT_EQ(pixels(*AreaAverage::executeAreaAverage(&row, 1)), (std::vector<double>{0, 3, 5}));
    const Image2D asFloat = makeImage(3, 1, Image2D::FLOAT, {0, 0, 9});
    EXPECT_EQ(pixels(*AreaAverage::executeAreaAverage(&asFloat, 1)), (std::vector<double>{0, 3, 4.5}));
    const Image2D negative = makeImage(3, 1, Image2D::SHORT, {-4, -5, -6});
    EXPECT_EQ(pixels(*AreaAverage::executeAreaAverage(&negative, 1)), (std::vector<double>{-5, -5, -6}));
}

TEST(AreaAverage, RadiusLargerThanTheImageShrinksToFit)
{
    // A 4-pixel row with radius 10 uses radius 1.
    const Image2D row = makeImage(4, 1, Image2D::FLOAT, {4, 8, 0, 12});
    EXPECT_EQ(pixels(*AreaAverage::executeAreaAverage(&row, 10)), (std::vector<double>{6, 4, double(float(20.0 / 3.0)), 6}));
}

// ---- SubSummedAreaTable ---------------------------------------------------------------

TEST(SubSummedAreaTable, MatchesBruteForceWindowSums)
{
    forEachCase([](Image2D& image, int radius) {
        for (float r : {float(radius), radius + 0.5f, radius + 0.25f})
        {
            const std::shared_ptr<Image2D> result = SubSummedAreaTable::executeSAT(&image, r);
            ASSERT_TRUE(result);
            const Image2D expected = reference::windowSum(image, r);
            if (image.getDataType() == Image2D::FLOAT)
                EXPECT_TRUE(imagesNear(expected, *result, 0.05)) << "radius " << r;
            else
                EXPECT_TRUE(imagesEqual(expected, *result)) << "radius " << r;
        }
    });
}

TEST(SubSummedAreaTable, AllOnesGivesCornerEdgeAndInteriorCounts)
{
    Image2D ones = makeImage(4, 4, Image2D::UNSIGNED_CHAR, std::vector<double>(16, 1));
    const std::shared_ptr<Image2D> result = SubSummedAreaTable::executeSAT(&ones, 1.0f);
    ASSERT_EQ(result->getDataType(), Image2D::INT);
    EXPECT_EQ(pixels(*result), (std::vector<double>{4, 6, 6, 4, 6, 9, 9, 6, 6, 9, 9, 6, 4, 6, 6, 4}));
}

TEST(SubSummedAreaTable, HalfPixelRadiusTruncatesTowardZero)
{
    // x = 0: x0 = trunc(-1.5) = -1, x1 = 0 (column 0); x = 1: x0 = trunc(-0.5) = 0, x1 = 1
    // (column 1 only); x = 2: x0 = 0, x1 = 2 (columns 1 and 2).
    Image2D row = makeImage(3, 1, Image2D::FLOAT, {1, 10, 100});
    EXPECT_EQ(pixels(*SubSummedAreaTable::executeSAT(&row, 0.5f)), (std::vector<double>{1, 10, 110}));
}

TEST(SubSummedAreaTable, IntegerSumsKeepTheirLow32Bits)
{
    Image2D big = makeImage(3, 3, Image2D::UNSIGNED_SHORT, std::vector<double>(9, 65535));
    EXPECT_EQ(pixelAt(*SubSummedAreaTable::executeSAT(&big, 1.0f), 1, 1), 9 * 65535);
    // 40000 * 65535 = 2621400000 is past 2^31: its low 32 bits read as -1673567296.
    Image2D huge = makeImage(200, 200, Image2D::UNSIGNED_SHORT, std::vector<double>(40000, 65535));
    EXPECT_EQ(pixelAt(*SubSummedAreaTable::executeSAT(&huge, 200.0f), 199, 199), -1673567296);
}

// ---- RecursiveMinMax ------------------------------------------------------------------

TEST(RecursiveMinMax, MatchesBruteForceMinimaAndMaxima)
{
    forEachCase([](Image2D& image, int radius) {
        for (int r : {radius, radius + 10})
        {
            const auto result = RecursiveMinMax::calculateRecursiveMinMax(image, r);
            ASSERT_TRUE(result.hasValue());
            EXPECT_TRUE(imagesEqual(reference::extreme(image, r, false), *result->first)) << "radius " << r;
            EXPECT_TRUE(imagesEqual(reference::extreme(image, r, true), *result->second)) << "radius " << r;
        }
    });
}

// Rows wider than the column blocks and the vector paths, images taller than the row groups
// and column tiles, for every type: the three filters against their references.
TEST(LocalStatistics, WideImagesAgreeWithTheReferences)
{
    std::uint32_t seed = 900;
    for (Image2D::DataType type : kTypes)
        for (int radius : {0, 1, 3, 15})
        {
            SCOPED_TRACE(testing::Message() << "type " << type << " radius " << radius);
            Image2D image = randomOf(type, 300, 141, ++seed);
            const auto minMax = RecursiveMinMax::calculateRecursiveMinMax(image, radius);
            ASSERT_TRUE(minMax.hasValue());
            EXPECT_TRUE(imagesEqual(reference::extreme(image, radius, false), *minMax->first));
            EXPECT_TRUE(imagesEqual(reference::extreme(image, radius, true), *minMax->second));
            const std::shared_ptr<Image2D> mean = AreaAverage::executeAreaAverage(&image, radius);
            EXPECT_TRUE(type == Image2D::FLOAT ? imagesNear(reference::areaAverage(image, radius), *mean, 1e-3)
                                               : imagesEqual(reference::areaAverage(image, radius), *mean));
            EXPECT_TRUE(radius > 3 ||
                        imagesEqual(reference::median(image, radius), *Median::executeMedian(&image, radius)));
        }
}

// A one-pixel-wide image used to be padded by its full height in every row (and a one-row
// image swept through as many lines), pixels x radius: these sizes ran for minutes. A radius
// past both ends of each axis gives the whole image's extreme.
TEST(RecursiveMinMax, ThinImagesTakeTheWholeLineAtAnyRadius)
{
    for (Image2D::DataType type : kTypes)
        for (const Size& size : {Size{1, 200003}, Size{200003, 1}, Size{2, 3001}})
        {
            SCOPED_TRACE(testing::Message() << "type " << type << " size " << size.w << "x" << size.h);
            Image2D image = randomOf(type, size.w, size.h, 77, false);
            for (int radius : {1 << 20, std::max(size.w, size.h) - 1})
            {
                const auto result = RecursiveMinMax::calculateRecursiveMinMax(image, radius);
                ASSERT_TRUE(result.hasValue());
                const std::vector<double> values = pixels(image);
                const auto [lo, hi] = std::minmax_element(values.begin(), values.end());
                EXPECT_EQ(pixels(*result->first), std::vector<double>(values.size(), *lo)) << radius;
                EXPECT_EQ(pixels(*result->second), std::vector<double>(values.size(), *hi)) << radius;
            }
        }
}

TEST(RecursiveMinMax, NegativeValuesSurviveTheBorder)
{
    const Image2D negative = makeImage(3, 2, Image2D::SHORT, {-5, -7, -9, -6, -8, -10});
    const auto result = RecursiveMinMax::calculateRecursiveMinMax(std::make_shared<Image2D>(negative), 1);
    EXPECT_EQ(pixels(*result->second), (std::vector<double>{-5, -5, -7, -5, -5, -7}));
    EXPECT_EQ(pixels(*result->first), (std::vector<double>{-8, -10, -10, -8, -10, -10}));
}

// ---- Median ---------------------------------------------------------------------------

TEST(Median, MatchesTheSortedReplicatedWindowForEveryTypeAndRadius)
{
    forEachCase([](Image2D& image, int radius) {
        const std::shared_ptr<Image2D> result = Median::executeMedian(&image, radius);
        ASSERT_TRUE(result);
        EXPECT_TRUE(imagesEqual(reference::median(image, radius), *result));
    });
}

// A window taller than the image added each replicated row separately (2r + 1 per column):
// a 1 x 20011 image at the largest radius ran for minutes. A one-pixel line repeats every
// value of its clamped 1-D window the same odd number of times, so the window's median is
// that 1-D window's median.
TEST(Median, ThinImagesAtTheLargestRadiusTakeTheLineMedian)
{
    for (Image2D::DataType type : {Image2D::UNSIGNED_SHORT, Image2D::SHORT, Image2D::UNSIGNED_CHAR})
        for (const Size& size : {Size{1, 20011}, Size{20011, 1}})
        {
            SCOPED_TRACE(testing::Message() << "type " << type << " size " << size.w << "x" << size.h);
            const Image2D image = randomOf(type, size.w, size.h, 5, false);
            const std::shared_ptr<Image2D> result = median(image, kMaxMedianRadius);
            ASSERT_TRUE(result);
            const std::vector<double> line = pixels(image), got = pixels(*result);
            const int n = static_cast<int>(line.size());
            std::vector<double> window;
            for (int i = 0; i < n; i += 97)
            {
                window.clear();
                for (int j = i - kMaxMedianRadius; j <= i + kMaxMedianRadius; ++j)
                    window.push_back(line[static_cast<std::size_t>(std::clamp(j, 0, n - 1))]);
                std::nth_element(window.begin(), window.begin() + kMaxMedianRadius, window.end());
                ASSERT_EQ(got[static_cast<std::size_t>(i)], window[kMaxMedianRadius]) << "pixel " << i;
            }
        }
}

TEST(Median, CornerPixelCountsFourTimes)
{
    // At (0, 0) the window holds the corner four times, (1, 1) once, the other two
    // neighbours twice each: 10 x 5 against 0 x 4.
    Image2D image = makeImage(3, 3, Image2D::UNSIGNED_CHAR, {10, 0, 0, 0, 10, 0, 0, 0, 0});
    EXPECT_EQ(pixelAt(*Median::executeMedian(&image, 1), 0, 0), 10);
}

TEST(Median, NaNDoesNotBreakTheSelection)
{
    Image2D image = randomImage(9, 9, Image2D::FLOAT, 4, 0, 1);
    image.getData<float>()[40] = std::nanf("");
    for (int radius : {1, 2, 4})
        ASSERT_TRUE(Median::executeMedian(&image, radius));
}

// The two filters that poll the flag: a run cancelled from the start finishes the rows it
// has begun (the median its first one, at either radius; the table none) and clears the
// rest, which the allocator may have handed over full of old values (results are not
// cleared in advance).
TEST(CancelledLocalStatistics, KeepFinishedRowsAndClearTheRest)
{
    auto image = std::make_shared<Image2D>(randomImage(10, 10, Image2D::UNSIGNED_SHORT, 9, 0, 1000));
    Median median1, median2;
    median1.setUniformValue(Median::RADIUS, 1);
    median2.setUniformValue(Median::RADIUS, 2);
    SubSummedAreaTable sums;
    sums.setUniformValue(SubSummedAreaTable::KERNEL_RADIUS, 1.0f);
    struct Case
    {
        Algorithm* algorithm;
        int finishedRows;
        std::size_t resultBytes;
        Image2D expected;
    };
    for (const Case& c : {Case{&median1, 1, 200, reference::median(*image, 1)},
                          Case{&median2, 1, 200, reference::median(*image, 2)}, Case{&sums, 0, 400, Image2D()}})
    {
        c.algorithm->setSharedInput(Algorithm::INPUT_IMAGE, image);
        std::vector<std::uint8_t>(c.resultBytes, 0xab); // stale bytes for the allocator to hand over
        const std::atomic<bool> cancel{true};
        EXPECT_TRUE(c.algorithm->execute(cancel));
        const std::shared_ptr<Image2D> partial = c.algorithm->getSharedOutput(Algorithm::OUTPUT_IMAGE);
        ASSERT_TRUE(partial);
        for (int y = 0; y < 10; ++y)
            for (int x = 0; x < 10; ++x)
                EXPECT_EQ(pixelAt(*partial, x, y), y < c.finishedRows ? pixelAt(c.expected, x, y) : 0.0)
                    << "rows finished " << c.finishedRows << " at " << x << ", " << y;
    }
}

// ---- Shared properties ----------------------------------------------------------------
