#include "platform/pixeldata/Conversions.h"
#include "support/TestImages.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using namespace testing_support;

struct ConversionCase
{
    Image2D::DataType from;
    Image2D::DataType to;
    std::vector<double> input;
    std::vector<double> expected;
};

using ConvertToDataType = ::testing::TestWithParam<ConversionCase>;

TEST_P(ConvertToDataType, RoundsHalfAwayFromZeroAndSaturates)
{
    const ConversionCase& c = GetParam();
    Image2D source = makeImage(static_cast<int>(c.input.size()), 1, c.from, c.input);
    source.setPixelSize(QVector3D(0.5f, 0.25f, 1.0f));
    Image2D result = conversions::convertToDataType(source, c.to);
    ASSERT_TRUE(result.isValid());
    EXPECT_EQ(result.getDataType(), c.to);
    EXPECT_EQ(result.getPixelSize(), source.getPixelSize());
    EXPECT_EQ(pixels(result), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ConvertToDataType,
    ::testing::Values(
        ConversionCase{Image2D::FLOAT, Image2D::SHORT, {2.5, -2.5, 2.4, -2.6, 40000, -40000},
                       {3, -3, 2, -3, 32767, -32768}},
        ConversionCase{Image2D::FLOAT, Image2D::UNSIGNED_SHORT, {-0.4, -0.6, 65534.5, 1e9},
                       {0, 0, 65535, 65535}},
        ConversionCase{Image2D::FLOAT, Image2D::UNSIGNED_CHAR, {254.49, 254.5, -1}, {254, 255, 0}},
        ConversionCase{Image2D::FLOAT, Image2D::BINARY, {0.49, 0.5, 7, -3}, {0, 1, 1, 0}},
        ConversionCase{Image2D::FLOAT, Image2D::INT, {1e10, -1e10, -7.5},
                       {2147483647.0, -2147483648.0, -8}},
        ConversionCase{Image2D::INT, Image2D::UNSIGNED_SHORT, {70000, -1, 123}, {65535, 0, 123}},
        ConversionCase{Image2D::SHORT, Image2D::UNSIGNED_CHAR, {-1, 300, 17}, {0, 255, 17}},
        ConversionCase{Image2D::UNSIGNED_SHORT, Image2D::FLOAT, {0, 65535}, {0, 65535}},
        ConversionCase{Image2D::UNSIGNED_SHORT, Image2D::SHORT, {40000, 5}, {32767, 5}}));

TEST(ConvertToDataTypeNaN, BecomesZero)
{
    Image2D source = makeImage(1, 1, Image2D::FLOAT, {std::numeric_limits<double>::quiet_NaN()});
    EXPECT_EQ(pixels(conversions::convertToDataType(source, Image2D::UNSIGNED_SHORT)), std::vector<double>{0});
}

TEST(ConvertToDataTypeRejects, InvalidSourcesAndUnsupportedTypes)
{
    EXPECT_FALSE(conversions::convertToDataType(Image2D(), Image2D::FLOAT).isValid());
    Image2D source = makeImage(1, 1, Image2D::FLOAT, {1});
    EXPECT_FALSE(conversions::convertToDataType(source, Image2D::RGBA).isValid());
    EXPECT_FALSE(conversions::convertToDataType(source, static_cast<Image2D::DataType>(42)).isValid());
}

TEST(ToImage2DDataType, MapsVolumeCodesAndRejectsUnknownOnes)
{
    EXPECT_EQ(conversions::toImage2DDataType(image::DataType::SHORT), Image2D::SHORT);
    EXPECT_EQ(conversions::toImage2DDataType(image::DataType::BINARY), Image2D::BINARY);
    EXPECT_EQ(conversions::toImage2DDataType(image::DataType::FLOAT), Image2D::FLOAT);
    EXPECT_EQ(conversions::toImage2DDataType(static_cast<image::DataType>(99)), Image2D::RGBA);
}
