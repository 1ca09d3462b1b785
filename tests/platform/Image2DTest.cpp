#include "platform/pixeldata/Image2D.h"
#include "support/ImageCompare.h"
#include "support/TestImages.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using testing_support::makeImage;

TEST(Image2D, AllocatesZeroFilledPackedBuffer)
{
    Image2D image(3, 2, Image2D::SHORT, QVector3D(0.1f, 0.2f, 1.0f), true);
    ASSERT_TRUE(image.isValid());
    EXPECT_EQ(image.getDimensions()[0], 3);
    EXPECT_EQ(image.getDimensions()[1], 2);
    EXPECT_EQ(image.getByteCount(), 12u);
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(image.getConstData<std::int16_t>()[i], 0);
    EXPECT_EQ(image.getPixelSize(), QVector3D(0.1f, 0.2f, 1.0f));
}

TEST(Image2D, ImpossibleSizesGiveInvalidImagesWithoutThrowing)
{
    EXPECT_FALSE(Image2D(-1, 5, Image2D::FLOAT).isValid());
    EXPECT_FALSE(Image2D(0, 5, Image2D::FLOAT).isValid());
    EXPECT_FALSE(Image2D(5, 5, static_cast<Image2D::DataType>(17)).isValid());
    // 2^31 x 2^31 x 4 bytes cannot be allocated.
    Image2D huge(std::numeric_limits<int>::max(), std::numeric_limits<int>::max(), Image2D::INT);
    EXPECT_FALSE(huge.isValid());
    EXPECT_EQ(huge.getNumPixels(), 0u);
}

TEST(Image2D, MoveLeavesTheSourceEmpty)
{
    Image2D source = makeImage(2, 1, Image2D::FLOAT, {1.5, 2.5});
    Image2D target(std::move(source));
    EXPECT_TRUE(target.isValid());
    EXPECT_FALSE(source.isValid()); // NOLINT(bugprone-use-after-move): moved-from state is specified
    EXPECT_EQ(source.getNumPixels(), 0u);
    EXPECT_EQ(target.getValueRange(), math::Range<float>(1.5f, 2.5f));
}

TEST(Image2D, ValueRangeIsNeverStaleAfterPixelsAreWritten)
{
    Image2D image = makeImage(2, 2, Image2D::SHORT, {-5, 0, 7, 3});
    EXPECT_EQ(image.getValueRange(), math::Range<float>(-5, 7));
    image.getData<std::int16_t>()[3] = 100;
    EXPECT_EQ(image.getValueRange(), math::Range<float>(-5, 100));

    // A pointer taken earlier: editFinished() marks the write.
    std::int16_t* p = image.getData<std::int16_t>();
    EXPECT_EQ(image.getValueRange().getMax(), 100.0f);
    p[0] = -300;
    image.editFinished();
    EXPECT_EQ(image.getValueRange(), math::Range<float>(-300, 100));
    EXPECT_EQ(image.getDataRange(), image.getValueRange());
}

TEST(Image2D, FloatRangeIgnoresNaN)
{
    const float nan = std::numeric_limits<float>::quiet_NaN();
    Image2D image = makeImage(3, 1, Image2D::FLOAT, {nan, 0.25, -2.0});
    EXPECT_EQ(image.getValueRange(), math::Range<float>(-2.0f, 0.25f));
    EXPECT_EQ(image.getMinFloatValue(), -2.0f);
    EXPECT_EQ(image.getMaxFloatValue(), 0.25f);
}

struct BoundsCase
{
    Image2D::DataType type;
    float min;
    float max;
    int bytes;
    const char* name;
};

using Image2DBounds = ::testing::TestWithParam<BoundsCase>;

TEST_P(Image2DBounds, IntegerTypesReportTheirTypeBoundsNotThePixelRange)
{
    const BoundsCase c = GetParam();
    Image2D image = makeImage(2, 1, c.type, {0, 1});
    EXPECT_EQ(image.getMinFloatValue(), c.min);
    EXPECT_EQ(image.getMaxFloatValue(), c.max);
    EXPECT_EQ(image.getDataTypeSize(), c.bytes);
    EXPECT_EQ(image.getDataTypeString(), QString(c.name));
}

INSTANTIATE_TEST_SUITE_P(
    Types, Image2DBounds,
    ::testing::Values(BoundsCase{Image2D::UNSIGNED_SHORT, 0, 65535, 2, "UNSIGNED_SHORT"},
                      BoundsCase{Image2D::SHORT, -32768, 32767, 2, "SHORT"},
                      BoundsCase{Image2D::UNSIGNED_CHAR, 0, 255, 1, "UNSIGNED_CHAR"},
                      BoundsCase{Image2D::BINARY, 0, 1, 1, "BINARY"},
                      BoundsCase{Image2D::INT, -2147483648.0f, 2147483647.0f, 4, "INT"}));

TEST(Image2D, LoadFromDataCopiesTheBufferAndRejectsBadArguments)
{
    const std::uint8_t raw[6] = {1, 2, 3, 4, 5, 6};
    Image2D image;
    ASSERT_TRUE(image.loadFromData(reinterpret_cast<const char*>(raw), 3, 2, Image2D::UNSIGNED_CHAR));
    EXPECT_EQ(image.getSize(), QSize(3, 2));
    EXPECT_EQ(image.getConstData<std::uint8_t>()[5], 6);
    EXPECT_EQ(image.getValueRange(), math::Range<float>(1, 6));

    EXPECT_FALSE(image.loadFromData(nullptr, 3, 2, Image2D::UNSIGNED_CHAR));
    EXPECT_FALSE(image.loadFromData(reinterpret_cast<const char*>(raw), 0, 2, Image2D::UNSIGNED_CHAR));
    // A failed load leaves the image as it was.
    EXPECT_EQ(image.getSize(), QSize(3, 2));
    EXPECT_EQ(image.getConstData<std::uint8_t>()[0], 1);
}

TEST(Image2D, ExternalBufferIsReadInPlaceAndNeverFreed)
{
    // A stack buffer: freeing it would be caught by the sanitizers.
    std::int16_t pixels[6] = {-1, 2, -3, 4, -5, 6};
    {
        Image2D image = Image2D::wrapExternal(pixels, 3, 2, Image2D::SHORT, QVector3D(0.1f, 0.2f, 1.0f));
        ASSERT_TRUE(image.isValid());
        EXPECT_FALSE(image.ownsData());
        EXPECT_EQ(image.getConstData<std::int16_t>(), pixels);
        EXPECT_EQ(image.getValueRange(), math::Range<float>(-5, 6));
        EXPECT_EQ(image.getPixelSize(), QVector3D(0.1f, 0.2f, 1.0f));

        Image2D copy(image);
        EXPECT_TRUE(copy.ownsData());
        EXPECT_NE(copy.getConstData<std::int16_t>(), pixels);
        EXPECT_TRUE(testing_support::imagesEqual(copy, image));

        Image2D moved(std::move(image));
        EXPECT_FALSE(moved.ownsData());
        EXPECT_EQ(moved.getConstData<std::int16_t>(), pixels);
        Image2D assigned;
        assigned = std::move(moved);
        EXPECT_EQ(assigned.getConstData<std::int16_t>(), pixels);
    }
    EXPECT_EQ(pixels[5], 6);

    EXPECT_FALSE(Image2D::wrapExternal(nullptr, 3, 2, Image2D::SHORT).isValid());
    EXPECT_FALSE(Image2D::wrapExternal(pixels, 0, 2, Image2D::SHORT).isValid());
    EXPECT_FALSE(Image2D::wrapExternal(pixels, 3, 2, static_cast<Image2D::DataType>(17)).isValid());
    EXPECT_TRUE(Image2D(3, 2, Image2D::SHORT).ownsData());
}
