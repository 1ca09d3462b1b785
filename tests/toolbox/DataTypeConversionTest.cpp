#include "image2d/toolbox/Image2DOperations.h"
#include "support/ImageCompare.h"
#include "support/TestImages.h"
#include "support/WarningCapture.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <ostream>
#include <vector>

using namespace image2d;
using namespace testing_support;

namespace {

const Image2D::DataType kTypes[] = {Image2D::UNSIGNED_SHORT, Image2D::SHORT, Image2D::UNSIGNED_CHAR,
                                    Image2D::BINARY,         Image2D::FLOAT, Image2D::INT};

const char* const kNotImplemented = "Not implemented for current data type";

bool isSigned(Image2D::DataType type)
{
    return type == Image2D::SHORT || type == Image2D::INT;
}

/// Two's-complement wrap of an integer into the destination type's width.
double wrapInto(std::int64_t value, Image2D::DataType type)
{
    const int bits = Image2D::dataTypeSize(type) * 8;
    const std::uint64_t modulus = std::uint64_t(1) << bits;
    const std::uint64_t low = static_cast<std::uint64_t>(value) & (modulus - 1);
    if (isSigned(type) && low >= modulus / 2)
        return static_cast<double>(static_cast<std::int64_t>(low) - static_cast<std::int64_t>(modulus));
    return static_cast<double>(low);
}

/// The plain language cast, written out: truncation for float sources (values inside the
/// 32-bit range), low-order bits for integers, nearest float for float destinations.
double referenceCast(double value, Image2D::DataType from, Image2D::DataType to)
{
    if (to == Image2D::FLOAT)
        return static_cast<double>(static_cast<float>(value));
    const double whole = from == Image2D::FLOAT ? std::trunc(value) : value;
    return wrapInto(static_cast<std::int64_t>(whole), to);
}

} // namespace

// Every source type into every destination type, against the written-out cast.
TEST(ConvertDataType, EveryPairOfTypesCastsElementWise)
{
    WarningCapture warnings;
    std::uint32_t seed = 1;
    for (Image2D::DataType from : kTypes)
    {
        for (Image2D::DataType to : kTypes)
        {
            SCOPED_TRACE(testing::Message() << "from " << from << " to " << to);
            Image2D input = randomOfType(from, 7, 5, seed++, -70000.0, 70000.0);
            input.setPixelSize(QVector3D(0.1f, 0.2f, 0.3f));
            const Image2D original = input;
            std::vector<double> expected;
            for (double v : pixels(input))
                expected.push_back(referenceCast(v, from, to));

            const Image2D result = Image2DOperations::convertDataType(input, to);
            EXPECT_TRUE(imagesEqual(makeImage(7, 5, to, expected), result));
            EXPECT_EQ(result.getPixelSize(), QVector3D(1, 1, 1));
            EXPECT_TRUE(imagesEqual(original, input));
            EXPECT_EQ(input.getPixelSize(), QVector3D(0.1f, 0.2f, 0.3f));
        }
    }
    EXPECT_TRUE(warnings.messages().isEmpty()) << warnings.messages().join("\n").toStdString();
}

struct CastCase
{
    Image2D::DataType from;
    double value;
    Image2D::DataType to;
    double expected;
};

void PrintTo(const CastCase& c, std::ostream* os)
{
    *os << Image2D::dataTypeString(c.from).toStdString() << " " << c.value << " to "
        << Image2D::dataTypeString(c.to).toStdString();
}

using ConvertDataTypeCases = testing::TestWithParam<CastCase>;

TEST_P(ConvertDataTypeCases, GivesTheHandComputedValue)
{
    const CastCase c = GetParam();
    const Image2D input = makeImage(1, 1, c.from, {c.value});
    const Image2D result = Image2DOperations::convertDataType(input, c.to);
    ASSERT_EQ(result.getDataType(), c.to);
    EXPECT_EQ(testing_support::pixelAt(result, 0, 0), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Casts, ConvertDataTypeCases,
    testing::Values(CastCase{Image2D::SHORT, -1, Image2D::UNSIGNED_SHORT, 65535},
                    CastCase{Image2D::INT, 300, Image2D::UNSIGNED_CHAR, 44},
                    CastCase{Image2D::INT, 70000, Image2D::UNSIGNED_SHORT, 4464},
                    CastCase{Image2D::INT, 300, Image2D::BINARY, 44}, // not reduced to 0/1
                    CastCase{Image2D::UNSIGNED_SHORT, 65535, Image2D::SHORT, -1},
                    CastCase{Image2D::SHORT, -2, Image2D::INT, -2},            // sign-extended
                    CastCase{Image2D::UNSIGNED_CHAR, 200, Image2D::SHORT, 200}, // zero-extended
                    CastCase{Image2D::FLOAT, 2.9, Image2D::INT, 2},
                    CastCase{Image2D::FLOAT, -2.9, Image2D::INT, -2},
                    CastCase{Image2D::FLOAT, -1.5, Image2D::UNSIGNED_CHAR, 255},
                    CastCase{Image2D::FLOAT, 70000.7, Image2D::UNSIGNED_SHORT, 4464},
                    CastCase{Image2D::INT, 16777217, Image2D::FLOAT, 16777216},
                    CastCase{Image2D::INT, 16777219, Image2D::FLOAT, 16777220}, // ties to even
                    // Float values the language leaves undefined: NaN gives 0, the rest saturate.
                    CastCase{Image2D::FLOAT, std::nan(""), Image2D::INT, 0},
                    CastCase{Image2D::FLOAT, 3e9, Image2D::INT, 2147483647},
                    CastCase{Image2D::FLOAT, -3e9, Image2D::INT, -2147483648.0},
                    CastCase{Image2D::FLOAT, 3e9, Image2D::UNSIGNED_SHORT, 65535},
                    CastCase{Image2D::FLOAT, -INFINITY, Image2D::SHORT, 0}));

TEST(ConvertDataType, UnsupportedDestinationWarnsAndReturnsTheUnfilledImage)
{
    WarningCapture warnings;
    const Image2D input = makeImage(3, 2, Image2D::SHORT, {1, 2, 3, 4, 5, 6});
    const Image2D result = Image2DOperations::convertDataType(input, Image2D::RGBA);
    EXPECT_EQ(result.getSize(), QSize(3, 2));
    EXPECT_EQ(result.getDataType(), Image2D::RGBA);
    EXPECT_EQ(result.getConstData<std::uint32_t>()[5], 0u);
    EXPECT_EQ(warnings.messages(),
              QStringList{QString("class Image2D __cdecl image2d::Image2DOperations::convertDataType(const class Image2D "
                                  "&,enum Image2D::DataType) ") +
                          kNotImplemented});
}

TEST(ConvertDataType, UnsupportedSourceWarnsWithTheHelperSignature)
{
    WarningCapture warnings;
    const Image2D input(2, 2, Image2D::RGBA);
    const Image2D result = Image2DOperations::convertDataType(input, Image2D::SHORT);
    EXPECT_TRUE(result.isValid());
    EXPECT_EQ(warnings.messages(), QStringList{QString("void __cdecl image2d::Image2DOperationsHelper<short>::"
                                                       "convertDataType(const class Image2D &,class Image2D &) ") +
                                               kNotImplemented});
}

TEST(ConvertDataType, InvalidSourceWarnsInvalidInput)
{
    WarningCapture warnings;
    const Image2D result = Image2DOperations::convertDataType(Image2D(), Image2D::UNSIGNED_CHAR);
    EXPECT_FALSE(result.isValid());
    // An empty image reports the default type, UNSIGNED_SHORT.
    EXPECT_EQ(warnings.messages(),
              QStringList{"void __cdecl image2d::Image2DOperationsHelper<unsigned char>::convertDataType<unsigned "
                          "short>(const class Image2D &,class Image2D &) invalid input."});
}

TEST(ConvertDataType, HelperRejectsImagesThatDoNotMatchItsTypesOrSize)
{
    WarningCapture warnings;
    const Image2D source = makeImage(2, 2, Image2D::INT, {1, 2, 3, 4});
    Image2D narrow(2, 2, Image2D::UNSIGNED_CHAR);
    Image2DOperationsHelper<float>::convertDataType<int>(source, narrow); // destination not float-sized
    Image2D small(1, 2, Image2D::FLOAT);
    Image2DOperationsHelper<float>::convertDataType<int>(source, small);
    EXPECT_EQ(pixels(narrow), (std::vector<double>{0, 0, 0, 0}));
    EXPECT_EQ(pixels(small), (std::vector<double>{0, 0}));
    const QString message = "void __cdecl image2d::Image2DOperationsHelper<float>::convertDataType<int>(const class "
                            "Image2D &,class Image2D &) invalid input.";
    EXPECT_EQ(warnings.messages(), (QStringList{message, message}));
}

// --- createFromFloatImage ---------------------------------------------------------------

TEST(CreateFromFloatImage, RoundsHalfAwayFromZeroIntoEveryIntegerType)
{
    WarningCapture warnings;
    const std::vector<double> values{2.9, -2.9, 2.5, -2.5, 0.49999997, -0.5, 0, 1.5};
    const std::vector<double> rounded{3, -3, 3, -3, 0, -1, 0, 2};
    for (Image2D::DataType to : {Image2D::SHORT, Image2D::INT})
    {
        const std::unique_ptr<Image2D> result =
            Image2DOperations::createFromFloatImage(makeImage(8, 1, Image2D::FLOAT, values), to);
        ASSERT_TRUE(result);
        EXPECT_TRUE(imagesEqual(makeImage(8, 1, to, rounded), *result));
        EXPECT_EQ(result->getPixelSize(), QVector3D(1, 1, 1));
    }
    for (Image2D::DataType to : {Image2D::UNSIGNED_SHORT, Image2D::UNSIGNED_CHAR, Image2D::BINARY})
    {
        const Image2D input = makeImage(5, 1, Image2D::FLOAT, {2.9, 2.5, 0.49999997, 0.5, 254.5});
        const std::unique_ptr<Image2D> result = Image2DOperations::createFromFloatImage(input, to);
        EXPECT_TRUE(imagesEqual(makeImage(5, 1, to, {3, 3, 0, 1, 255}), *result));
    }
    // The same pixels through the plain cast truncate instead.
    EXPECT_EQ(pixels(Image2DOperations::convertDataType(makeImage(2, 1, Image2D::FLOAT, {2.9, -2.9}), Image2D::INT)),
              (std::vector<double>{2, -2}));
    EXPECT_TRUE(warnings.messages().isEmpty()) << warnings.messages().join("\n").toStdString();
}

TEST(CreateFromFloatImage, OutOfRangeInputWarnsOnceAndWrapsEveryPixel)
{
    WarningCapture warnings;
    const Image2D input = makeImage(4, 1, Image2D::FLOAT, {-1, 300, 100.4, 255});
    const std::unique_ptr<Image2D> result = Image2DOperations::createFromFloatImage(input, Image2D::UNSIGNED_CHAR);
    EXPECT_TRUE(imagesEqual(makeImage(4, 1, Image2D::UNSIGNED_CHAR, {255, 44, 100, 255}), *result));
    EXPECT_EQ(warnings.messages(),
              QStringList{"void __cdecl image2d::Image2DOperationsHelper<unsigned char>::roundFloatToDestinationType("
                          "const class Image2D &,class Image2D &) Input range out of range of the output type."});
}

struct RangeCase
{
    Image2D::DataType to;
    double low;
    double high;
    bool warns;
};

void PrintTo(const RangeCase& c, std::ostream* os)
{
    *os << "[" << c.low << ", " << c.high << "] to " << Image2D::dataTypeString(c.to).toStdString();
}

using CreateFromFloatRange = testing::TestWithParam<RangeCase>;

TEST_P(CreateFromFloatRange, WarnsOnlyBeyondTheTypeBounds)
{
    const RangeCase c = GetParam();
    WarningCapture warnings;
    Image2DOperations::createFromFloatImage(makeImage(2, 1, Image2D::FLOAT, {c.low, c.high}), c.to);
    EXPECT_EQ(warnings.messages().size(), c.warns ? 1 : 0);
    if (c.warns)
    {
        EXPECT_TRUE(warnings.messages().front().endsWith(") Input range out of range of the output type."));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Bounds, CreateFromFloatRange,
    testing::Values(RangeCase{Image2D::UNSIGNED_CHAR, 0, 255, false}, RangeCase{Image2D::UNSIGNED_CHAR, -0.5, 255, true},
                    RangeCase{Image2D::UNSIGNED_CHAR, 0, 255.5, true}, RangeCase{Image2D::SHORT, -32768, 32767, false},
                    RangeCase{Image2D::SHORT, -32769, 0, true}, RangeCase{Image2D::SHORT, 0, 32768, true},
                    RangeCase{Image2D::UNSIGNED_SHORT, 0, 65535, false},
                    RangeCase{Image2D::UNSIGNED_SHORT, 0, 65536, true},
                    // The upper bound of int is the float nearest to 2^31 - 1, i.e. 2^31 itself.
                    RangeCase{Image2D::INT, -2147483648.0, 2147483648.0, false},
                    RangeCase{Image2D::INT, -2147483904.0, 0, true}, RangeCase{Image2D::INT, 0, 2147483904.0, true}));

TEST(CreateFromFloatImage, NonFloatSourceWarnsAndStaysUnfilled)
{
    WarningCapture warnings;
    const Image2D input = makeImage(2, 3, Image2D::SHORT, {1, 2, 3, 4, 5, 6});
    const std::unique_ptr<Image2D> result = Image2DOperations::createFromFloatImage(input, Image2D::UNSIGNED_SHORT);
    ASSERT_TRUE(result);
    EXPECT_TRUE(imagesEqual(Image2D(2, 3, Image2D::UNSIGNED_SHORT), *result));
    EXPECT_EQ(warnings.messages(),
              QStringList{"void __cdecl image2d::Image2DOperationsHelper<unsigned short>::roundFloatToDestinationType("
                          "const class Image2D &,class Image2D &) invalid input."});
}

TEST(CreateFromFloatImage, ToFloatCopiesTheSourceWhateverItsType)
{
    WarningCapture warnings;
    Image2D input = makeImage(2, 2, Image2D::SHORT, {-1, 2, -3, 4});
    input.setPixelSize(QVector3D(0.5f, 0.25f, 2));
    const std::unique_ptr<Image2D> result = Image2DOperations::createFromFloatImage(input, Image2D::FLOAT);
    ASSERT_TRUE(result);
    EXPECT_TRUE(imagesEqual(input, *result));
    EXPECT_EQ(result->getPixelSize(), QVector3D(0.5f, 0.25f, 2));
    EXPECT_NE(result->getConstData<short>(), input.getConstData<short>());
    EXPECT_TRUE(warnings.messages().isEmpty());
}

TEST(CreateFromFloatImage, UnsupportedDestinationWarnsAndReturnsTheUnfilledImage)
{
    WarningCapture warnings;
    const std::unique_ptr<Image2D> result =
        Image2DOperations::createFromFloatImage(makeImage(2, 1, Image2D::FLOAT, {1.5, 2}), Image2D::RGBA);
    ASSERT_TRUE(result);
    EXPECT_EQ(result->getSize(), QSize(2, 1));
    EXPECT_EQ(result->getDataType(), Image2D::RGBA);
    EXPECT_EQ(result->getConstData<std::uint32_t>()[0], 0u);
    EXPECT_EQ(warnings.messages(),
              QStringList{QString("class std::unique_ptr<class Image2D,struct std::default_delete<class Image2D> > "
                                  "__cdecl image2d::Image2DOperations::createFromFloatImage(const class Image2D &,enum "
                                  "Image2D::DataType) ") +
                          kNotImplemented});
}
