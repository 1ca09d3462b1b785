#include "image2d/toolbox/QImageHelpers.h"

#include "image2d/framework/Log.h"
#include "image2d/framework/PixelStore.h"
#include "platform/foundation/ColorUtil.h"

#include <QColor>

#include <algorithm>
#include <array>
#include <climits>
#include <cstdint>
#include <cstring>
#include <type_traits>

namespace qimage {

namespace {

float contrastFactor(int contrast)
{
    return (static_cast<float>(contrast) + 255.0f) * 259.0f / ((259.0f - static_cast<float>(contrast)) * 255.0f);
}

// The channel rule depends on the channel value only: one table per call.
std::array<std::uint8_t, 256> channelTable(float factor, int brightness)
{
    std::array<std::uint8_t, 256> table{};
    for (int v = 0; v < 256; ++v)
    {
        const std::int64_t scaled =
            image2d::store::truncateToInt32Saturating(static_cast<float>(v - 128) * factor + 128.0f);
        table[v] = static_cast<std::uint8_t>(std::clamp<std::int64_t>(scaled + brightness, 0, 255));
    }
    return table;
}

// Rows of `rowBytes` packed bytes copied into a new image of the format (own, aligned rows).
QImage copyRows(const unsigned char* data, int width, int height, std::size_t rowBytes, QImage::Format format)
{
    QImage image(width, height, format);
    if (image.isNull())
        return image;
    for (int y = 0; y < height; ++y)
        std::memcpy(image.scanLine(y), data + rowBytes * static_cast<std::size_t>(y), rowBytes);
    return image;
}

std::size_t packedRowBytes(unsigned int width, QImage::Format format)
{
    return static_cast<std::size_t>(QImage::toPixelFormat(format).bitsPerPixel() / 8) * width;
}

bool fitsInt(unsigned int width, unsigned int height)
{
    return width <= INT_MAX && height <= INT_MAX;
}

void releaseShared(void* info)
{
    delete static_cast<std::shared_ptr<unsigned char[]>*>(info);
}

void releaseOwned(void* info)
{
    delete[] static_cast<unsigned char*>(info);
}

void releaseArray(void* info)
{
    delete static_cast<QByteArray*>(info);
}

// An image on `pixels` that calls release(info) when it is destroyed; Qt does not call it
// when it refuses the size or format, so then it is called here.
template <typename Pixels>
QImage wrap(Pixels* pixels, unsigned int width, unsigned int height, QImage::Format format,
            QImageCleanupFunction release, void* info)
{
    QImage image(pixels, static_cast<int>(width), static_cast<int>(height), format, release, info);
    if (image.isNull())
        release(info);
    return image;
}

// Both buffer overloads: the rows copied, or an image on the buffer that keeps it (a copy
// of the shared pointer, or the owned buffer itself).
template <typename Owner>
QImage bufferImage(Owner data, unsigned int width, unsigned int height, bool rowsAligned, QImage::Format format)
{
    if (!data || !fitsInt(width, height))
        return QImage();
    const std::size_t rowBytes = packedRowBytes(width, format);
    if (!rowsAligned && rowBytes % 4 != 0)
        return copyRows(data.get(), static_cast<int>(width), static_cast<int>(height), rowBytes, format);
    unsigned char* pixels = data.get();
    if constexpr (std::is_same_v<Owner, std::shared_ptr<unsigned char[]>>)
        return wrap(pixels, width, height, format, releaseShared, new Owner(std::move(data)));
    else
        return wrap(data.release(), width, height, format, releaseOwned, pixels);
}

} // namespace

QImage BrightnessContrast::execute(const QImage& image, int brightness, int contrast)
{
    QImage result = image;
    const float factor = contrastFactor(contrast);
    switch (result.format())
    {
    case QImage::Format_RGB32:
    case QImage::Format_ARGB32: execute32BitOptimized(result, factor, brightness); break;
    case QImage::Format_Indexed8: executeIndexed8BitOptimized(result, factor, brightness); break;
    default: executeGeneric(result, factor, brightness); break;
    }
    return result;
}

QList<unsigned int> BrightnessContrast::executeOnVertexColors(const QList<unsigned int>& colours, int brightness,
                                                              int contrast)
{
    const std::array<std::uint8_t, 256> table = channelTable(contrastFactor(contrast), brightness);
    QList<unsigned int> result = colours;
    for (unsigned int& packed : result)
    {
        QColor colour = ColorUtil::toQColor(packed);
        colour.setRgb(table[colour.red()], table[colour.green()], table[colour.blue()], colour.alpha());
        packed = ColorUtil::toAABBGGRR(colour, true);
    }
    return result;
}

void BrightnessContrast::execute32BitOptimized(QImage& image, float factor, int brightness)
{
    const std::array<std::uint8_t, 256> table = channelTable(factor, brightness);
    // Little-endian 32-bit pixels are blue, green, red, alpha (or padding) in memory; the rows
    // of 32-bit formats have no padding.
    std::uint8_t* bytes = image.bits();
    const std::size_t count = static_cast<std::size_t>(image.width()) * static_cast<std::size_t>(image.height());
    for (std::size_t i = 0; i < count; ++i, bytes += 4)
    {
        bytes[0] = table[bytes[0]];
        bytes[1] = table[bytes[1]];
        bytes[2] = table[bytes[2]];
    }
}

void BrightnessContrast::executeIndexed8BitOptimized(QImage& image, float factor, int brightness)
{
    const QList<QRgb> colours = image.colorTable();
    if (colours.isEmpty())
    {
        image2d::warning("void __cdecl qimage::BrightnessContrast::executeIndexed8BitOptimized(class QImage &,float,int)",
                         "Indexed image without color table cannot be processed");
        return executeGeneric(image, factor, brightness);
    }
    const std::array<std::uint8_t, 256> table = channelTable(factor, brightness);
    for (int i = 0; i < colours.size(); ++i)
        image.setColor(i, qRgba(table[qRed(colours[i])], table[qGreen(colours[i])], table[qBlue(colours[i])], 255));
}

void BrightnessContrast::executeGeneric(QImage& image, float factor, int brightness)
{
    // Qt cannot write a colour into a 1-bit or indexed pixel (it would warn once per pixel and
    // change nothing), so such images stay as they are.
    const QImage::Format format = image.format();
    if (format == QImage::Format_Mono || format == QImage::Format_MonoLSB || format == QImage::Format_Indexed8 ||
        image.isNull())
        return;
    const std::array<std::uint8_t, 256> table = channelTable(factor, brightness);
    // Pixels are independent: rows in memory order.
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
        {
            const QColor colour = image.pixelColor(x, y);
            image.setPixelColor(x, y, QColor::fromRgb(table[colour.red()], table[colour.green()], table[colour.blue()], 255));
        }
}

QImage toQImage(std::shared_ptr<unsigned char[]> data, unsigned int width, unsigned int height, bool rowsAligned,
                QImage::Format format)
{
    return bufferImage(std::move(data), width, height, rowsAligned, format);
}

QImage toQImage(std::unique_ptr<unsigned char[]> data, unsigned int width, unsigned int height, bool rowsAligned,
                QImage::Format format)
{
    return bufferImage(std::move(data), width, height, rowsAligned, format);
}

QImage toQImage(QByteArray data, unsigned int width, unsigned int height, QImage::Format format)
{
    if (!fitsInt(width, height))
        return QImage();
    const std::size_t rowBytes = packedRowBytes(width, format);
    const std::size_t aligned = ((rowBytes + 3) & ~std::size_t(3)) * height;
    const auto size = static_cast<std::size_t>(data.size());
    if (size != aligned && size != rowBytes * height)
        return QImage();
    if (size != aligned && rowBytes % 4 != 0)
        return copyRows(reinterpret_cast<const unsigned char*>(data.constData()), static_cast<int>(width),
                        static_cast<int>(height), rowBytes, format);
    auto* held = new QByteArray(std::move(data));
    return wrap(reinterpret_cast<const uchar*>(held->constData()), width, height, format, releaseArray, held);
}

QImage removeWhiteBorder(const QImage& image)
{
    const int width = image.width(), height = image.height();
    int left = width, top = height, right = -1, bottom = -1;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            if (image.pixel(x, y) != 0xFFFFFFFFu)
            {
                left = std::min(left, x);
                right = std::max(right, x);
                top = std::min(top, y);
                bottom = std::max(bottom, y);
            }
    if (right < 0)
        left = 0, top = 0, right = width - 1, bottom = height - 1;
    return image.copy(left, top, right + 1 - left, bottom + 1 - top);
}

} // namespace qimage
