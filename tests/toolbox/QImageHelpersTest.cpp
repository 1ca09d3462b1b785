#include "image2d/toolbox/QImageHelpers.h"

#include "platform/foundation/ColorUtil.h"
#include "support/WarningCapture.h"

#include <gtest/gtest.h>

#include <cstring>

using qimage::BrightnessContrast;
using testing_support::WarningCapture;

namespace {

QImage filled(QImage::Format format, QRgb colour, int width = 4, int height = 3)
{
    QImage image(width, height, format);
    image.fill(QColor::fromRgba(colour));
    return image;
}

} // namespace

TEST(BrightnessContrast, ChannelRuleOnEveryPath)
{
    // K = 128: F = 383 * 259 / (131 * 255) = 2.9695; 100 -> trunc(-28 F + 128) = 44, 200 -> 255.
    const QImage argb = BrightnessContrast::execute(filled(QImage::Format_ARGB32, qRgba(100, 128, 200, 77)), 0, 128);
    EXPECT_EQ(argb.pixel(3, 2), qRgba(44, 128, 255, 77));
    const QImage rgb = BrightnessContrast::execute(filled(QImage::Format_RGB32, qRgb(100, 128, 200)), 5, 128);
    EXPECT_EQ(rgb.pixel(0, 0), qRgb(49, 133, 255));
    // K = 0 is the identity factor; only the brightness acts.
    EXPECT_EQ(BrightnessContrast::execute(filled(QImage::Format_RGB32, qRgb(1, 2, 3)), 300, 0).pixel(1, 1),
              qRgb(255, 255, 255));
    EXPECT_EQ(BrightnessContrast::execute(filled(QImage::Format_RGB32, qRgb(250, 251, 252)), -300, 0).pixel(1, 1),
              qRgb(0, 0, 0));
    // Other formats go pixel by pixel; alpha becomes opaque.
    const QImage generic =
        BrightnessContrast::execute(filled(QImage::Format_RGBA8888, qRgba(100, 128, 200, 77)), 0, 128);
    EXPECT_EQ(generic.pixelColor(2, 1), QColor(44, 128, 255, 255));
    const QImage gray = BrightnessContrast::execute(filled(QImage::Format_Grayscale8, qRgb(100, 100, 100)), 0, 128);
    EXPECT_EQ(qGray(gray.pixel(0, 0)), 44);
}

TEST(BrightnessContrast, IndexedImagesChangeTheirColourTableOnly)
{
    QImage indexed(3, 2, QImage::Format_Indexed8);
    indexed.setColorTable({qRgba(100, 0, 0, 10), qRgb(0, 200, 128)});
    indexed.fill(1);
    indexed.setPixel(2, 1, 0);
    const QImage result = BrightnessContrast::execute(indexed, 0, 128);
    EXPECT_EQ(result.colorTable(), (QList<QRgb>{qRgba(44, 0, 0, 255), qRgb(0, 255, 128)}));
    EXPECT_EQ(result.pixelIndex(2, 1), 0);
    EXPECT_EQ(result.pixelIndex(0, 0), 1);

    QImage bare(3, 2, QImage::Format_Indexed8);
    bare.fill(0);
    WarningCapture warnings;
    const QImage unchanged = BrightnessContrast::execute(bare, 10, 10);
    EXPECT_EQ(warnings.messages(), QStringList{"void __cdecl qimage::BrightnessContrast::executeIndexed8BitOptimized"
                                               "(class QImage &,float,int) Indexed image without color table cannot be "
                                               "processed"});
    EXPECT_EQ(unchanged, bare);
}

TEST(BrightnessContrast, VertexColoursKeepTheirAlpha)
{
    EXPECT_EQ(BrightnessContrast::executeOnVertexColors({0x80FF0000u, 0x01020304u}, 0, 0),
              (QList<unsigned int>{0x80FF0000u, 0x01020304u}));
    EXPECT_EQ(BrightnessContrast::executeOnVertexColors({0x80FF0010u}, 10, 0), QList<unsigned int>{0x80FF0A1Au});
    EXPECT_EQ(ColorUtil::toAABBGGRR(QColor(1, 2, 3, 4), false), 0xFF030201u);
}

TEST(RemoveWhiteBorder, CropsToTheNonWhitePixels)
{
    QImage image = filled(QImage::Format_RGB32, qRgb(255, 255, 255), 9, 8);
    EXPECT_EQ(qimage::removeWhiteBorder(image).size(), QSize(9, 8));
    image.setPixel(3, 5, qRgb(0, 0, 0));
    EXPECT_EQ(qimage::removeWhiteBorder(image).size(), QSize(1, 1));
    image.setPixel(6, 2, qRgb(255, 255, 254));
    const QImage cropped = qimage::removeWhiteBorder(image);
    EXPECT_EQ(cropped.size(), QSize(4, 4));
    EXPECT_EQ(cropped.pixel(0, 3), qRgb(0, 0, 0));
}

TEST(ToQImage, CopiesPackedRowsAndWrapsAlignedOnes)
{
    // Three RGB888 pixels per row: 9 packed bytes, 12 in a QImage row.
    const unsigned char packed[18] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18};
    std::shared_ptr<unsigned char[]> shared(new unsigned char[18]);
    std::memcpy(shared.get(), packed, 18);
    const QImage copied = qimage::toQImage(shared, 3, 2, false, QImage::Format_RGB888);
    EXPECT_EQ(shared.use_count(), 1);
    EXPECT_EQ(copied.bytesPerLine(), 12);
    EXPECT_EQ(copied.pixel(0, 1), qRgb(10, 11, 12));
    EXPECT_EQ(copied.pixel(2, 1), qRgb(16, 17, 18));
    {
        const QImage wrapped = qimage::toQImage(shared, 3, 1, true, QImage::Format_RGB888);
        EXPECT_EQ(shared.use_count(), 2);
        EXPECT_EQ(wrapped.constBits(), shared.get());
    }
    EXPECT_EQ(shared.use_count(), 1);
    std::unique_ptr<unsigned char[]> owned(new unsigned char[8]{1, 2, 3, 4, 5, 6, 7, 8});
    EXPECT_EQ(qimage::toQImage(std::move(owned), 2, 1, false, QImage::Format_ARGB32).pixel(1, 0), 0x08070605u);

    const QByteArray bytes(reinterpret_cast<const char*>(packed), 18);
    EXPECT_EQ(qimage::toQImage(bytes, 3, 2, QImage::Format_RGB888).pixel(2, 1), qRgb(16, 17, 18));
    QByteArray aligned(24, '\0');
    aligned[12] = 9;
    EXPECT_EQ(qimage::toQImage(aligned, 3, 2, QImage::Format_RGB888).pixel(0, 1), qRgb(9, 0, 0));
    EXPECT_TRUE(qimage::toQImage(QByteArray(25, '\0'), 3, 2, QImage::Format_RGB888).isNull());
    EXPECT_TRUE(qimage::toQImage(std::shared_ptr<unsigned char[]>(), 3, 2, true, QImage::Format_RGB888).isNull());
}
