#include "DisplayConversion.h"

#include "platform/pixeldata/PixelTypes.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

namespace tool {

double pixelAsDouble(const Image2D& image, std::size_t index)
{
    double value = 0.0;
    pixeldata::visitDataType(image.getDataType(), [&](auto tag) {
        using T = typename decltype(tag)::type;
        value = static_cast<double>(image.getConstData<T>()[index]);
    });
    return value;
}

void rowAsDouble(const Image2D& image, int y, double* out)
{
    const int w = image.getWidth();
    const std::size_t first = std::size_t(y) * std::size_t(w);
    if (!pixeldata::visitDataType(image.getDataType(), [&](auto tag) {
            using T = typename decltype(tag)::type;
            const T* row = image.getConstData<T>() + first;
            for (int x = 0; x < w; ++x)
                out[x] = static_cast<double>(row[x]);
        }))
        std::fill(out, out + w, 0.0);
}

QImage newGrayImage(const Image2D& image, QImage::Format format)
{
    QImage result(image.getWidth(), image.getHeight(), format);
    if (result.isNull())
        return result;
    const QVector3D ps = image.getPixelSize();
    if (ps.x() > 0 && ps.y() > 0 && ps.x() < 0.25f && ps.y() < 0.25f)
    {
        result.setDotsPerMeterX(int(std::lround(1000.0 / ps.x())));
        result.setDotsPerMeterY(int(std::lround(1000.0 / ps.y())));
    }
    return result;
}

QImage toDisplayImage(const Image2D& display, int depth)
{
    if (!display.isValid())
        return {};
    const int w = display.getWidth(), h = display.getHeight();
    QImage result = newGrayImage(display, depth == 16 ? QImage::Format_Grayscale16 : QImage::Format_Grayscale8);
    if (result.isNull())
        return {};
    const Image2D::DataType type = display.getDataType();
    // Level/window leaves FLOAT images in 0..1 and integer images across their whole type.
    const double lo = type == Image2D::FLOAT ? 0.0 : display.getMinFloatValue();
    const double hi = type == Image2D::FLOAT ? 1.0 : display.getMaxFloatValue();
    const double scale = hi > lo ? 65535.0 / (hi - lo) : 0.0;
    auto to16 = [&](double v) -> unsigned {
        if (!(v > lo))
            return 0;
        return unsigned(std::min(65535.0, std::floor((v - lo) * scale + 0.5)));
    };
    std::vector<double> row(std::size_t(std::max(w, 1)));
    for (int y = 0; y < h; ++y)
    {
        rowAsDouble(display, y, row.data());
        if (depth == 16)
        {
            auto* line = reinterpret_cast<std::uint16_t*>(result.scanLine(y));
            for (int x = 0; x < w; ++x)
                line[x] = std::uint16_t(to16(row[std::size_t(x)]));
        }
        else
        {
            uchar* line = result.scanLine(y);
            // Rounded 16-to-8-bit division; exact for 8-bit sources and symmetric under inversion.
            for (int x = 0; x < w; ++x)
                line[x] = uchar((to16(row[std::size_t(x)]) + 128) / 257);
        }
    }
    return result;
}

QImage toRawImage(const Image2D& image)
{
    const Image2D::DataType type = image.getDataType();
    if (!image.isValid() || (type != Image2D::UNSIGNED_CHAR && type != Image2D::UNSIGNED_SHORT))
        return {};
    QImage result = newGrayImage(image, type == Image2D::UNSIGNED_CHAR ? QImage::Format_Grayscale8 : QImage::Format_Grayscale16);
    if (result.isNull())
        return result;
    const std::size_t rowBytes = std::size_t(image.getWidth()) * std::size_t(image.getDataTypeSize());
    for (int y = 0; y < image.getHeight(); ++y)
        std::memcpy(result.scanLine(y), image.getConstData<unsigned char>() + rowBytes * std::size_t(y), rowBytes);
    return result;
}

} // namespace tool
