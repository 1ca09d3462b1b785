#include "image2d/toolbox/Geometry.h"
#include "support/ImageCompare.h"
#include "support/TestImages.h"
#include "support/WarningCapture.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <vector>

using namespace image2d;
using namespace testing_support;

namespace {

const Image2D::DataType kTypes[] = {Image2D::UNSIGNED_SHORT, Image2D::SHORT, Image2D::UNSIGNED_CHAR,
                                    Image2D::BINARY,         Image2D::FLOAT, Image2D::INT};

/// The pixels of a sub-rectangle, copied element by element.
Image2D subImage(const Image2D& input, int x0, int y0, int width, int height)
{
    Image2D output(width, height, input.getDataType(), input.getPixelSize());
    const int size = input.getDataTypeSize();
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            std::memcpy(output.getData() + (std::size_t(y) * width + x) * size,
                        input.getConstData() + (std::size_t(y0 + y) * input.getWidth() + x0 + x) * size, size);
    return output;
}

bool sameBytes(const Image2D& a, const Image2D& b)
{
    return a.getSize() == b.getSize() && a.getDataType() == b.getDataType() &&
           std::memcmp(a.getConstData(), b.getConstData(), a.getByteCount()) == 0;
}

} // namespace

// --- Crop -------------------------------------------------------------------------------

TEST(Crop, MarginOfOneKeepsTheInteriorOfEveryType)
{
    WarningCapture warnings;
    std::uint32_t seed = 1;
    for (Image2D::DataType type :
         {Image2D::UNSIGNED_SHORT, Image2D::SHORT, Image2D::UNSIGNED_CHAR, Image2D::BINARY, Image2D::FLOAT, Image2D::INT,
          Image2D::RGBA})
    {
        SCOPED_TRACE(type);
        Image2D input = randomOfType(type, 10, 8, seed++);
        const Image2D original = input;
        const std::shared_ptr<Image2D> result = Crop::executeCrop(input, 1);
        ASSERT_TRUE(result);
        EXPECT_TRUE(sameBytes(subImage(input, 1, 1, 8, 6), *result));
        EXPECT_TRUE(sameBytes(original, input));
    }
    EXPECT_TRUE(warnings.messages().isEmpty());
}

TEST(Crop, OverloadsDescribeTheSameRectangle)
{
    const Image2D input = randomOfType(Image2D::SHORT, 10, 8, 3);
    const Image2D expected = subImage(input, 2, 1, 4, 3); // columns 2..5, rows 1..3
    EXPECT_TRUE(imagesEqual(expected, *Crop::executeCrop(input, QPoint(2, 1), QPoint(5, 3))));
    EXPECT_TRUE(imagesEqual(expected, *Crop::executeCrop(input, QRect(2, 1, 4, 3))));
    // Margins: right 10 - 5 - 1 = 4, bottom 8 - 3 - 1 = 4.
    EXPECT_TRUE(imagesEqual(expected, *Crop::executeCrop(input, 2, 1, 4, 4)));
    // The whole image is a valid rectangle too.
    EXPECT_TRUE(imagesEqual(input, *Crop::executeCrop(input, 0)));
}

TEST(Crop, HugeMarginsAreRejectedWithoutOverflow)
{
    WarningCapture warnings;
    const Image2D input = randomOfType(Image2D::SHORT, 10, 8, 6);
    // Margins that overflow the corner arithmetic, or leave nothing.
    EXPECT_FALSE(Crop::executeCrop(input, 0, 0, std::numeric_limits<int>::min(), 0));
    EXPECT_FALSE(Crop::executeCrop(input, 4));
    EXPECT_EQ(warnings.messages(),
              (QStringList{"image2d::Crop : invalid input:  \"bottomRight\"",
                           "image2d::Crop : invalid input:  \"top-left has to be smaller than and not equal to "
                           "bottom-right\""}));
}

// --- Border -----------------------------------------------------------------------------

namespace {

std::shared_ptr<Image2D> runBorder(const Image2D& input, QVariant sizeX, QVariant sizeY, QVariant value)
{
    Border border;
    border.setInput(Border::INPUT_IMAGE, &input);
    if (sizeX.isValid())
        border.setUniformValue(Border::BORDER_SIZE_X, sizeX);
    if (sizeY.isValid())
        border.setUniformValue(Border::BORDER_SIZE_Y, sizeY);
    if (value.isValid())
        border.setUniformValue(Border::INSERTED_VALUE, value);
    border.execute(image2d::neverCancelled());
    return border.getSharedOutput(Border::OUTPUT_IMAGE);
}

/// Every pixel inside the frame gets `value`, the others keep theirs.
Image2D referenceBorder(const Image2D& input, int bx, int by, double value)
{
    const int w = input.getWidth();
    const int h = input.getHeight();
    std::vector<double> values;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            values.push_back(x < bx || x >= w - bx || y < by || y >= h - by ? value : pixelAt(input, x, y));
    Image2D output = makeImage(w, h, input.getDataType(), values);
    output.setPixelSize(input.getPixelSize());
    return output;
}

double insertedFor(Image2D::DataType type)
{
    switch (type)
    {
    case Image2D::BINARY: return 1;
    case Image2D::FLOAT: return -2.5;
    case Image2D::SHORT: return -300;
    case Image2D::INT: return -2000000000;
    default: return 77;
    }
}

} // namespace

TEST(Border, MatchesTheFramePredicateForManySizes)
{
    std::uint32_t seed = 40;
    for (Image2D::DataType type : kTypes)
    {
        for (int bx = 1; bx <= 3; ++bx)
        {
            for (int by = 1; by <= 3; ++by)
            {
                for (QSize size : {QSize(7, 7), QSize(2 * bx + 1, 2 * by + 1), QSize(9, 2 * by + 2)})
                {
                    SCOPED_TRACE(testing::Message() << type << " " << bx << " " << by << " " << size.width() << "x"
                                                    << size.height());
                    const Image2D input = randomOfType(type, size.width(), size.height(), seed++);
                    const std::shared_ptr<Image2D> result = runBorder(input, bx, by, insertedFor(type));
                    ASSERT_TRUE(result);
                    EXPECT_TRUE(imagesEqual(referenceBorder(input, bx, by, insertedFor(type)), *result));
                }
            }
        }
    }
}

TEST(Border, ConvertsTheValueToThePixelType)
{
    // Integer types read it with toInt (a double rounds), FLOAT with toFloat.
    const Image2D shorts = makeImage(3, 3, Image2D::SHORT, {});
    EXPECT_EQ(pixelAt(*runBorder(shorts, 1, 1, 2.7), 0, 0), 3);
    EXPECT_EQ(pixelAt(*runBorder(shorts, 1, 1, QStringLiteral("-12")), 0, 0), -12);
    const Image2D floats = makeImage(3, 3, Image2D::FLOAT, {});
    EXPECT_EQ(pixelAt(*runBorder(floats, 1, 1, 0.1), 0, 0), double(0.1f));
}

TEST(Border, AcceptsTheBoundsOfEachType)
{
    WarningCapture warnings;
    EXPECT_TRUE(runBorder(Image2D(3, 3, Image2D::UNSIGNED_SHORT), 1, 1, 65535));
    EXPECT_TRUE(runBorder(Image2D(3, 3, Image2D::SHORT), 1, 1, -32768));
    EXPECT_TRUE(runBorder(Image2D(3, 3, Image2D::UNSIGNED_CHAR), 1, 1, 255));
    EXPECT_TRUE(runBorder(Image2D(3, 3, Image2D::BINARY), 1, 1, 0));
    EXPECT_TRUE(runBorder(Image2D(3, 3, Image2D::FLOAT), 1, 1, -3.4028234663852886e38));
    EXPECT_TRUE(runBorder(Image2D(3, 3, Image2D::INT), 1, 1, std::numeric_limits<int>::min()));
    EXPECT_TRUE(warnings.messages().isEmpty());
}

// --- Mirror -----------------------------------------------------------------------------

TEST(Mirror, ReversesEveryRowOfEveryType)
{
    std::uint32_t seed = 60;
    for (Image2D::DataType type : kTypes)
    {
        for (QSize size : {QSize(5, 3), QSize(4, 2), QSize(1, 3)})
        {
            SCOPED_TRACE(testing::Message() << type << " " << size.width());
            Image2D input = randomOfType(type, size.width(), size.height(), seed++);
            const std::shared_ptr<Image2D> result = Mirror::executeMirror(input);
            ASSERT_TRUE(result);
            std::vector<double> expected;
            for (int y = 0; y < size.height(); ++y)
                for (int x = size.width() - 1; x >= 0; --x)
                    expected.push_back(pixelAt(input, x, y));
            Image2D expectedImage = makeImage(size.width(), size.height(), type, expected);
            EXPECT_TRUE(imagesEqual(expectedImage, *result));
            EXPECT_TRUE(imagesEqual(input, *Mirror::executeMirror(*result))); // twice is the identity
        }
    }
}

// --- Binning ----------------------------------------------------------------------------

TEST(Binning, DropsTheOddColumnAndRowAndDoublesThePixelSize)
{
    Image2D input = makeImage(5, 3, Image2D::UNSIGNED_CHAR, {1, 2, 10, 10, 99, //
                                                             2, 2, 10, 11, 99, //
                                                             99, 99, 99, 99, 99});
    input.setPixelSize(QVector3D(0.1f, 0.2f, 0.3f));
    const std::shared_ptr<Image2D> result = Binning::executeBinning(input);
    ASSERT_TRUE(result);
    // 1 + 2 + 2 + 2 = 7: 7 / 4 = 1.75 rounds up to 2; 41 / 4 = 10.25 gives 10.
    EXPECT_TRUE(imagesEqual(makeImage(2, 1, Image2D::UNSIGNED_CHAR, {2, 10}), *result));
    EXPECT_EQ(result->getPixelSize(), QVector3D(0.2f, 0.4f, 0.3f));
}

struct BinningCase
{
    Image2D::DataType type;
    double a, b, c, d;
    double expected;
};

void PrintTo(const BinningCase& c, std::ostream* os)
{
    *os << Image2D::dataTypeString(c.type).toStdString() << " " << c.a << " " << c.b << " " << c.c << " " << c.d;
}

using BinningBlocks = testing::TestWithParam<BinningCase>;

TEST_P(BinningBlocks, CombineAsTheTypeRequires)
{
    const BinningCase c = GetParam();
    const std::shared_ptr<Image2D> result = Binning::executeBinning(makeImage(2, 2, c.type, {c.a, c.b, c.c, c.d}));
    ASSERT_TRUE(result);
    EXPECT_EQ(pixels(*result), std::vector<double>{c.expected});
}

INSTANTIATE_TEST_SUITE_P(
    Types, BinningBlocks,
    testing::Values(
        // truncate(s * 0.25 + 0.5)
        BinningCase{Image2D::UNSIGNED_CHAR, 1, 2, 2, 2, 2}, BinningCase{Image2D::UNSIGNED_CHAR, 1, 1, 1, 2, 1},
        BinningCase{Image2D::UNSIGNED_CHAR, 1, 1, 2, 2, 2}, BinningCase{Image2D::UNSIGNED_CHAR, 255, 255, 255, 255, 255},
        BinningCase{Image2D::UNSIGNED_SHORT, 65535, 65535, 65535, 65534, 65535},
        BinningCase{Image2D::UNSIGNED_SHORT, 0, 0, 0, 1, 0},
        // s * 0.25 rounded half away from zero
        BinningCase{Image2D::SHORT, -1, -2, -2, -2, -2}, BinningCase{Image2D::SHORT, -1, -1, -2, -2, -2},
        BinningCase{Image2D::SHORT, -1, -1, -1, -2, -1}, BinningCase{Image2D::SHORT, 1, 1, 0, 0, 1},
        BinningCase{Image2D::SHORT, -32768, -32768, -32768, -32768, -32768},
        BinningCase{Image2D::INT, 500000000, 500000000, 500000000, 500000002, 500000001},
        BinningCase{Image2D::INT, -3, -3, 0, 0, -2},
        // The INT sum is a 32-bit int: INT_MAX + 1 wraps to INT_MIN, a quarter of which is kept.
        BinningCase{Image2D::INT, 2147483647, 1, 0, 0, -536870912},
        // BINARY: a block is set only when all four pixels are.
        BinningCase{Image2D::BINARY, 1, 1, 1, 0, 0}, BinningCase{Image2D::BINARY, 1, 1, 1, 1, 1},
        BinningCase{Image2D::BINARY, 0, 1, 1, 1, 0}));

TEST(Binning, MatchesTheRoundingFormulasOnRandomImages)
{
    std::uint32_t seed = 80;
    for (Image2D::DataType type : {Image2D::UNSIGNED_SHORT, Image2D::SHORT, Image2D::UNSIGNED_CHAR, Image2D::INT})
    {
        SCOPED_TRACE(type);
        // INT values small enough that the sum does not wrap.
        const Image2D input = type == Image2D::INT ? randomImage(9, 7, type, seed++, -500000000, 500000000)
                                                   : randomOfType(type, 9, 7, seed++);
        std::vector<double> expected;
        for (int y = 0; y < 3; ++y)
        {
            for (int x = 0; x < 4; ++x)
            {
                const double s = pixelAt(input, 2 * x, 2 * y) + pixelAt(input, 2 * x + 1, 2 * y) +
                                 pixelAt(input, 2 * x, 2 * y + 1) + pixelAt(input, 2 * x + 1, 2 * y + 1);
                const bool unsignedType = type == Image2D::UNSIGNED_SHORT || type == Image2D::UNSIGNED_CHAR;
                expected.push_back(unsignedType ? std::trunc(s * 0.25 + 0.5) : std::round(s * 0.25));
            }
        }
        EXPECT_TRUE(imagesEqual(makeImage(4, 3, type, expected), *Binning::executeBinning(input)));
    }
}
