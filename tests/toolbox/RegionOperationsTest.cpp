#include "image2d/toolbox/Image2DOperations.h"
#include "support/ComponentReference.h"
#include "support/ImageCompare.h"
#include "support/TestImages.h"
#include "support/WarningCapture.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using image2d::Image2DOperations;
using namespace testing_support;

namespace {

const Image2D::DataType kTypes[] = {Image2D::UNSIGNED_SHORT, Image2D::SHORT, Image2D::UNSIGNED_CHAR,
                                    Image2D::BINARY,         Image2D::FLOAT, Image2D::INT};

// label() is tested with the other labellings, in tests/analysis.

// Holes are the zero pixels with no 8-connected path of zero pixels to the border.
TEST(FillImage, FillsExactlyTheEnclosedZeros)
{
    for (const MaskShape& c : maskShapes())
        for (Image2D::DataType type : {Image2D::BINARY, Image2D::SHORT})
        {
            const std::vector<std::uint8_t> mask = randomMask(c.width, c.height, c.density, c.width * 31 + c.height);
            // The zeros in a frame of zeros: the outside is the frame's component, number 1.
            std::vector<std::uint8_t> framed((c.width + 2) * (c.height + 2), 1);
            for (int i = 0; i < c.width * c.height; ++i)
                framed[(i / c.width + 1) * (c.width + 2) + i % c.width + 1] = !mask[i];
            const ReferenceLabels background = floodFillLabels(framed, c.width + 2, c.height + 2, false);
            std::vector<double> expected;
            for (int i = 0; i < c.width * c.height; ++i)
                expected.push_back(background.labels[(i / c.width + 1) * (c.width + 2) + i % c.width + 1] != 1);
            // SHORT pixels of -1 are set pixels too: only 0 counts as background.
            Image2D image = maskImage(mask, c.width, c.height, type);
            if (type == Image2D::SHORT)
                for (std::size_t i = 0; i < mask.size(); ++i)
                    image.getData<std::int16_t>()[i] = static_cast<std::int16_t>(-mask[i]);
            ASSERT_TRUE(Image2DOperations::fillImage(&image));
            EXPECT_EQ(image.getDataType(), Image2D::BINARY);
            EXPECT_EQ(pixels(image), expected) << c.name;
        }
    // A ring whose corner gap lets the inside reach the outside diagonally stays open.
    Image2D ring = maskFromRows({".......", ".#####.", ".#...#.", ".#...#.", ".#...#.", ".####..", "......."});
    ASSERT_TRUE(Image2DOperations::fillImage(&ring));
    EXPECT_EQ(rowsOf(ring)[3], ".#...#.");
}

TEST(KeepLargestPart, KeepsTheFirstOfTheLargestComponents)
{
    for (const MaskShape& c : maskShapes())
    {
        Image2D source = maskImage(randomMask(c.width, c.height, c.density, 77), c.width, c.height);
        source.setPixelSize(QVector3D(0.1f, 0.2f, 1.0f));
        const ReferenceLabels parts = floodFillLabels(positiveMask(source), c.width, c.height, false);
        std::vector<int> sizes(parts.count + 1, 0);
        for (std::uint32_t l : parts.labels)
            ++sizes[l];
        const auto best = std::max_element(sizes.begin() + 1, sizes.end()) - sizes.begin();
        Image2D target(1, 1, Image2D::INT);
        ASSERT_EQ(Image2DOperations::keepLargestPart(&source, &target), parts.count > 0) << c.name;
        if (parts.count == 0)
            continue;
        std::vector<double> expected;
        for (std::uint32_t l : parts.labels)
            expected.push_back(l == static_cast<std::uint32_t>(best));
        EXPECT_EQ(pixels(target), expected) << c.name;
        EXPECT_EQ(target.getPixelSize(), source.getPixelSize());
    }
    Image2D grey(3, 3, Image2D::UNSIGNED_CHAR), target(1, 1, Image2D::INT);
    EXPECT_FALSE(Image2DOperations::keepLargestPart(&grey, &target));
    EXPECT_EQ(target.getDataType(), Image2D::INT);
}

TEST(MaskOperations, CompareInvertThresholdAndLogicalAnd)
{
    for (Image2D::DataType type : kTypes)
    {
        Image2D a = randomImage(9, 7, type, 3, 0, 1), b(a);
        EXPECT_TRUE(Image2DOperations::compare(&a, &b)) << type;
        // invert: 1 exactly where the value was 0, pixel size kept.
        a.setPixelSize(QVector3D(2, 3, 1));
        const std::vector<double> before = pixels(a);
        ASSERT_TRUE(Image2DOperations::invert(&a));
        EXPECT_EQ(a.getDataType(), Image2D::BINARY);
        EXPECT_EQ(a.getPixelSize(), QVector3D(2, 3, 1));
        for (std::size_t i = 0; i < before.size(); ++i)
            ASSERT_EQ(pixels(a)[i], before[i] == 0 ? 1 : 0);
    }
    Image2D nan = makeImage(1, 1, Image2D::FLOAT, {std::nan("")}), binary = makeImage(1, 1, Image2D::BINARY, {1});
    Image2D grey = makeImage(1, 1, Image2D::UNSIGNED_CHAR, {1}), wide(2, 1, Image2D::BINARY);
    EXPECT_FALSE(Image2DOperations::compare(&nan, &nan));
    EXPECT_FALSE(Image2DOperations::compare(&binary, &grey)); // different types
    EXPECT_FALSE(Image2DOperations::compare(&binary, &wide));

    // threshold: strict bounds, cast to the element type first.
    Image2D bytes = makeImage(6, 1, Image2D::UNSIGNED_CHAR, {0, 10, 43, 44, 45, 200}), target(1, 1, Image2D::INT);
    bytes.setPixelSize(QVector3D(0.5f, 0.5f, 1));
    ASSERT_TRUE(Image2DOperations::threshold(&bytes, &target, 10, 300)); // 300 is 44 in 8 bits
    EXPECT_EQ(pixels(target), (std::vector<double>{0, 0, 1, 0, 0, 0}));
    EXPECT_EQ(target.getPixelSize(), bytes.getPixelSize());
    Image2D shorts = makeImage(3, 1, Image2D::SHORT, {-30000, -25537, 5});
    ASSERT_TRUE(Image2DOperations::threshold(&shorts, &target, 40000, 6)); // 40000 is -25536
    EXPECT_EQ(pixels(target), (std::vector<double>{0, 0, 1}));
    Image2D floats = makeImage(3, 1, Image2D::FLOAT, {0.5f, 1.5f, 2.0f});
    ASSERT_TRUE(Image2DOperations::threshold(&floats, &target, 1, 2));
    EXPECT_EQ(pixels(target), (std::vector<double>{0, 1, 0}));
    ASSERT_TRUE(Image2DOperations::threshold(&floats, &target, 1, 1));
    EXPECT_EQ(pixels(target), (std::vector<double>{0, 0, 0}));

    // logicalAnd: only pixels of exactly 1 in both.
    Image2D left = makeImage(4, 1, Image2D::BINARY, {1, 1, 2, 0}), right = makeImage(4, 1, Image2D::BINARY, {1, 0, 1, 1});
    ASSERT_TRUE(Image2DOperations::logicalAnd(&left, &right));
    EXPECT_EQ(pixels(left), (std::vector<double>{1, 0, 0, 0}));
    EXPECT_FALSE(Image2DOperations::logicalAnd(&left, &wide));
    EXPECT_FALSE(Image2DOperations::logicalAnd(&left, &grey));
}

TEST(Regions, BoundingBoxAndTransitions)
{
    Image2D image(8, 10, Image2D::SHORT);
    image.getData<std::int16_t>()[3 * 8 + 5] = 9;
    image.getData<std::int16_t>()[6 * 8 + 2] = 4;
    int min[2] = {-1, -1}, max[2] = {-1, -1};
    Image2DOperations::getBoundingBox(&image, min, max);
    EXPECT_EQ((std::vector<int>{min[0], min[1], max[0], max[1]}), (std::vector<int>{2, 3, 5, 6}));
    Image2DOperations::getBoundingBox(&image, 9, min, max); // nothing above 9
    EXPECT_EQ((std::vector<int>{min[0], min[1], max[0], max[1]}), (std::vector<int>{7, 9, 0, 0}));
    Image2D invalid;
    Image2DOperations::getBoundingBox(&invalid, min, max);
    EXPECT_EQ(min[0], 7);

    // Column 1 goes from below 0.5 to above at row 7; column 0 never changes.
    Image2D column(2, 10, Image2D::FLOAT);
    for (int y = 7; y < 10; ++y)
        column.getData<float>()[y * 2 + 1] = 1.0f;
    column.setPixelSize(QVector3D(0.1f, 0.2f, 1));
    QList<std::pair<int, int>> changes{{9, 9}};
    Image2DOperations::detectTransition(&column, &changes, 0.5f, true);
    Image2DOperations::detectTransition(&column, &changes, 0.5f, false);
    EXPECT_EQ(changes, (QList<std::pair<int, int>>{{9, 9}, {1, 7}, {1, 6}}));
    for (bool fromTop : {true, false})
    {
        const QPolygonF boundary = Image2DOperations::detectTransitionPoly(&column, 0.5f, fromTop);
        ASSERT_EQ(boundary.size(), 1);
        EXPECT_NEAR(boundary[0].x(), 0.1, 1e-6);
        EXPECT_NEAR(boundary[0].y(), 6.5 * 0.2, 1e-6); // between rows 6 and 7, in mm
    }
}

TEST(Regions, UnsupportedTypesWarn)
{
    Image2D rgba(3, 2, Image2D::RGBA), ushort(3, 2, Image2D::UNSIGNED_SHORT), target;
    int min[2], max[2];
    QList<std::pair<int, int>> changes;
    WarningCapture warnings;
    Image2DOperations::getBoundingBox(&rgba, min, max);
    EXPECT_EQ((std::vector<int>{min[0], min[1], max[0], max[1]}), (std::vector<int>{0, 0, 2, 1}));
    Image2DOperations::detectTransition(&ushort, &changes, 1, true);
    Image2DOperations::detectTransition(&rgba, &changes, 1, true);
    EXPECT_FALSE(Image2DOperations::compare(&rgba, &rgba));
    EXPECT_FALSE(Image2DOperations::invert(&rgba));
    EXPECT_FALSE(Image2DOperations::threshold(&rgba, &target, 0, 1));
    EXPECT_FALSE(Image2DOperations::fillImage(&rgba));
    EXPECT_EQ(Image2DOperations::label(&rgba), 0);
    EXPECT_TRUE(Image2DOperations::getOverlayQImage(&rgba, 1, Qt::red, false).isNull());
    EXPECT_EQ(warnings.messages(),
              QStringList({"Image2D: getBoundingBox() Not implemented for current data type",
                           "Image2D: detectTransition() Not implemented for current data type",
                           "Image2DOperations::detectTransition() Not implemented for current data type",
                           "Image2DOperations::compare() Not implemented for current data type",
                           "Image2DOperations::invert() Not implemented for current data type",
                           "Image2DOperations::threshold Not implemented for current data type",
                           "Image2DOperations::invert() Not implemented for current data type",
                           "Image2D: label() Not implemented for current data type",
                           "Image2DOperations::getOverlayQImage() Not implemented for current data type"}));
    EXPECT_EQ(rgba.getDataType(), Image2D::RGBA);
}

TEST(Overlays, LevelWindowRampIsFlippedAndThresholdsAreNot)
{
    // Level 100, window 100: 50 is below the window, 75 a quarter in, 151 above it.
    Image2D image = makeImage(4, 2, Image2D::SHORT, {50, 75, 151, 100, 0, 0, 0, 0});
    const QImage ramp = Image2DOperations::getOverlayQImage(&image, 100, 100, 0, QColor(10, 20, 30));
    ASSERT_EQ(ramp.format(), QImage::Format_ARGB32);
    EXPECT_EQ(ramp.pixel(0, 1), qRgba(10, 20, 30, 0));
    EXPECT_EQ(ramp.pixel(1, 1), qRgba(10, 20, 30, 63));
    EXPECT_EQ(ramp.pixel(2, 1), qRgba(10, 20, 30, 255));
    EXPECT_EQ(ramp.pixel(3, 1), qRgba(10, 20, 30, 127));
    EXPECT_EQ(qAlpha(Image2DOperations::getOverlayQImage(&image, 100, 100, 80, Qt::red).pixel(1, 1)), 0);

    const QColor halfRed(255, 0, 0, 128);
    const QImage above = Image2DOperations::getOverlayQImage(&image, 75, halfRed, false);
    const QImage below = Image2DOperations::getOverlayQImage(&image, 75, halfRed, true);
    EXPECT_EQ(above.pixel(1, 0), halfRed.rgba());
    EXPECT_EQ(above.pixel(0, 0), 0u);
    EXPECT_EQ(below.pixel(0, 0), halfRed.rgba());
    EXPECT_EQ(below.pixel(0, 1), halfRed.rgba()); // row 1 stays row 1

    // FLOAT: the threshold overlay at the level, the window 65280 as the colour green.
    Image2D floats = makeImage(2, 1, Image2D::FLOAT, {1.0f, 3.0f});
    const QImage handed = Image2DOperations::getOverlayQImage(&floats, 2, 65280, 0, Qt::red);
    EXPECT_EQ(handed.pixel(0, 0), 0u);
    EXPECT_EQ(handed.pixel(1, 0), 0xFF00FF00u);
    EXPECT_EQ(Image2DOperations::getOverlayQImage(&floats, 2, 65280, 1, Qt::red).pixel(0, 0), 0xFF00FF00u);
    Image2D invalid;
    EXPECT_TRUE(Image2DOperations::getOverlayQImage(&invalid, 1, 1, 0, Qt::red).isNull());
}

struct CsvCase
{
    const char* name;
    Image2D::DataType type;
    const char* text;
    std::vector<double> expected; // 2 x 2
};

using CsvLoading = ::testing::TestWithParam<CsvCase>;

TEST_P(CsvLoading, ReadsValuesAcrossLines)
{
    const CsvCase& c = GetParam();
    QTemporaryDir dir;
    QFile file(dir.filePath("image.csv"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(c.text);
    file.close();
    std::unique_ptr<Image2D> image(Image2DOperations::createImage2DFromCSV(file.fileName(), 2, 2, c.type));
    ASSERT_TRUE(image);
    EXPECT_EQ(image->getDataType(), c.type);
    EXPECT_EQ(image->getPixelSize(), QVector3D(1, 1, 1));
    EXPECT_EQ(pixels(*image), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Toolbox, CsvLoading,
    ::testing::Values(CsvCase{"emptyPartsSkipped", Image2D::UNSIGNED_SHORT, "1,2,,3\n", {1, 2, 3, 0}},
                      CsvCase{"binaryClamped", Image2D::BINARY, "5,-3\r\n0.7,1\r\n", {1, 0, 0, 1}},
                      CsvCase{"lowOrderBits", Image2D::UNSIGNED_CHAR, "300,-1,2.9,x", {44, 255, 2, 0}},
                      CsvCase{"shortTruncates", Image2D::SHORT, "-2.7\n40000\n", {-2, -25536, 0, 0}},
                      CsvCase{"intExtraIgnored", Image2D::INT, "7,8,9,10,11,12", {7, 8, 9, 10}},
                      CsvCase{"float", Image2D::FLOAT, "2.5,-0.25\n1e3", {2.5, -0.25, 1000, 0}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(CsvLoading, MissingFileAndUnsupportedTypeWarn)
{
    WarningCapture warnings;
    EXPECT_EQ(Image2DOperations::createImage2DFromCSV(QDir::temp().filePath("no/such.csv"), 2, 2, Image2D::INT),
              nullptr);
    EXPECT_EQ(Image2DOperations::createImage2DFromCSV("unused.csv", 2, 2, Image2D::RGBA), nullptr);
    EXPECT_EQ(warnings.messages(),
              QStringList({"Image2DHelper : failed to open CSV file:  \"No such file or directory\"",
                           "Image2DOperations::createImage2DFromCSV is not supported for the given data type:  4"}));
}

} // namespace
