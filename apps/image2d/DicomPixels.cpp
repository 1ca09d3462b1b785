#include "DicomPixels.h"

#include "RasterIO.h"

#include <QImage>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

namespace tool::dicom_pixels {

namespace {

template <typename Raw>
void readSamples(const char* buffer, std::size_t count, std::vector<std::int64_t>& values)
{
    values.resize(count);
    for (std::size_t i = 0; i < count; ++i)
    {
        Raw v;
        std::memcpy(&v, buffer + i * sizeof(Raw), sizeof(Raw));
        values[i] = static_cast<std::int64_t>(v);
    }
}

template <typename T>
void fillIntegers(Image2D& image, const std::vector<std::int64_t>& values)
{
    T* out = image.getData<T>();
    for (std::size_t i = 0; i < values.size(); ++i)
        out[i] = static_cast<T>(values[i]);
    image.editFinished();
}

// One sample of a colour buffer as 16 bits.
std::uint16_t sample16(const char* buffer, std::size_t index, int bytes)
{
    switch (bytes)
    {
    case 1: return std::uint16_t(std::uint8_t(buffer[index]) * 257);
    case 2:
    {
        std::uint16_t v;
        std::memcpy(&v, buffer + 2 * index, 2);
        return v;
    }
    default:
    {
        std::uint32_t v;
        std::memcpy(&v, buffer + 4 * index, 4);
        return std::uint16_t(v >> 16);
    }
    }
}

// The first frame of a colour image as an RGB picture. YBR data (full range) is turned to
// RGB first; the JPEG 2000 colour transforms are already undone by the decoder.
QImage colourPicture(const char* buffer, int width, int height, int bytes, bool planar, bool ybr)
{
    const bool deep = bytes > 1;
    QImage picture(width, height, deep ? QImage::Format_RGBX64 : QImage::Format_RGB32);
    if (picture.isNull())
        return picture;
    const std::size_t plane = std::size_t(width) * std::size_t(height);
    const double half = deep ? 32768.0 : 128.0, top = deep ? 65535.0 : 255.0;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
        {
            const std::size_t p = std::size_t(y) * std::size_t(width) + std::size_t(x);
            auto channel = [&](int c) {
                const double v = sample16(buffer, planar ? c * plane + p : 3 * p + std::size_t(c), bytes);
                return deep ? v : v / 257.0;
            };
            double r = channel(0), g = channel(1), b = channel(2);
            if (ybr)
            {
                const double luma = r, cb = g - half, cr = b - half;
                r = luma + 1.402 * cr;
                g = luma - 0.344136 * cb - 0.714136 * cr;
                b = luma + 1.772 * cb;
            }
            auto clamp = [&](double v) { return std::clamp(std::lround(v), 0L, long(top)); };
            if (deep)
                reinterpret_cast<QRgba64*>(picture.scanLine(y))[x] =
                    QRgba64::fromRgba64(quint16(clamp(r)), quint16(clamp(g)), quint16(clamp(b)), 65535);
            else
                reinterpret_cast<QRgb*>(picture.scanLine(y))[x] = qRgb(int(clamp(r)), int(clamp(g)), int(clamp(b)));
        }
    return picture;
}

} // namespace

bool isColour(gdcm::PhotometricInterpretation::PIType pi)
{
    using PI = gdcm::PhotometricInterpretation;
    return pi == PI::RGB || pi == PI::YBR_FULL || pi == PI::YBR_FULL_422 || pi == PI::PALETTE_COLOR ||
           pi == PI::YBR_RCT || pi == PI::YBR_ICT;
}

bool readColour(const gdcm::Image& dicom, const char* buffer, const QVector3D& pixelSize, LoadedImage& out, QString& error)
{
    const gdcm::PixelFormat& pf = dicom.GetPixelFormat();
    const int width = int(dicom.GetDimension(0)), height = int(dicom.GetDimension(1));
    using PI = gdcm::PhotometricInterpretation;
    const PI::PIType pi = dicom.GetPhotometricInterpretation();
    const QImage picture = colourPicture(buffer, width, height, pf.GetBitsAllocated() / 8, dicom.GetPlanarConfiguration() == 1,
                                         pi == PI::YBR_FULL || pi == PI::YBR_FULL_422);
    if (picture.isNull())
    {
        error = QStringLiteral("not enough memory for a %1 x %2 image").arg(width).arg(height);
        return false;
    }
    const QImage gray = toGray(picture, out.notes);
    const bool sixteen = gray.format() == QImage::Format_Grayscale16;
    out.image = Image2D(width, height, sixteen ? Image2D::UNSIGNED_SHORT : Image2D::UNSIGNED_CHAR, pixelSize);
    if (!out.image.isValid() || gray.isNull())
    {
        error = QStringLiteral("not enough memory for a %1 x %2 image").arg(width).arg(height);
        return false;
    }
    const std::size_t rowBytes = std::size_t(width) * (sixteen ? 2 : 1);
    for (int y = 0; y < height; ++y)
        std::memcpy(out.image.getData<unsigned char>() + rowBytes * std::size_t(y), gray.constScanLine(y), rowBytes);
    out.image.editFinished();
    out.bitsStored = sixteen ? 16 : 8;
    return true;
}

std::vector<std::int64_t> storedValues(const char* buffer, std::size_t count, int bitsAllocated, int bitsStored,
                                       int highBit, bool isSigned)
{
    std::vector<std::int64_t> values;
    switch (bitsAllocated)
    {
    case 8: isSigned ? readSamples<std::int8_t>(buffer, count, values)
                     : readSamples<std::uint8_t>(buffer, count, values); break;
    case 16: isSigned ? readSamples<std::int16_t>(buffer, count, values)
                      : readSamples<std::uint16_t>(buffer, count, values); break;
    default: isSigned ? readSamples<std::int32_t>(buffer, count, values)
                      : readSamples<std::uint32_t>(buffer, count, values); break;
    }
    const int shift = highBit + 1 - bitsStored;
    const std::uint64_t fieldMask = bitsStored >= 64 ? ~std::uint64_t(0) : (std::uint64_t(1) << bitsStored) - 1;
    const std::uint64_t allocatedMask = (std::uint64_t(1) << bitsAllocated) - 1;
    for (auto& v : values)
    {
        std::uint64_t bits = (static_cast<std::uint64_t>(v) & allocatedMask) >> shift & fieldMask;
        if (isSigned && (bits >> (bitsStored - 1)) & 1)
            v = static_cast<std::int64_t>(bits) - (std::int64_t(1) << bitsStored);
        else
            v = static_cast<std::int64_t>(bits);
    }
    return values;
}

bool rescaledImage(std::vector<std::int64_t>& values, int width, int height, bool isSigned, int bitsAllocated,
                   const QVector3D& pixelSize, LoadedImage& out, QString& error)
{
    const bool rescaled = out.slope != 1.0 || out.intercept != 0.0;
    const bool integral = out.slope == std::round(out.slope) && out.intercept == std::round(out.intercept) &&
                          std::abs(out.slope) < 1e9 && std::abs(out.intercept) < 1e9;

    const std::size_t count = values.size();
    if (rescaled && !integral)
    {
        out.image = Image2D(width, height, Image2D::FLOAT, pixelSize);
        if (!out.image.isValid())
        {
            error = QStringLiteral("not enough memory for a %1 x %2 image").arg(width).arg(height);
            return false;
        }
        float* p = out.image.getData<float>();
        for (std::size_t i = 0; i < count; ++i)
            p[i] = static_cast<float>(double(values[i]) * out.slope + out.intercept);
        out.image.editFinished();
        out.notes << QStringLiteral("fractional rescale slope/intercept: pixel values kept as float");
    }
    else
    {
        std::int64_t lo = std::numeric_limits<std::int64_t>::max(), hi = std::numeric_limits<std::int64_t>::min();
        for (auto& v : values)
        {
            v = v * static_cast<std::int64_t>(out.slope) + static_cast<std::int64_t>(out.intercept);
            lo = std::min(lo, v);
            hi = std::max(hi, v);
        }
        Image2D::DataType type = isSigned ? Image2D::SHORT : bitsAllocated == 8 ? Image2D::UNSIGNED_CHAR
                                                                                : Image2D::UNSIGNED_SHORT;
        auto fits = [&](Image2D::DataType t) {
            switch (t)
            {
            case Image2D::UNSIGNED_CHAR: return lo >= 0 && hi <= 255;
            case Image2D::UNSIGNED_SHORT: return lo >= 0 && hi <= 65535;
            case Image2D::SHORT: return lo >= -32768 && hi <= 32767;
            default: return false;
            }
        };
        if (!fits(type))
            type = fits(Image2D::UNSIGNED_SHORT) ? Image2D::UNSIGNED_SHORT
                   : fits(Image2D::SHORT)        ? Image2D::SHORT
                                                 : Image2D::FLOAT;
        out.image = Image2D(width, height, type, pixelSize);
        if (!out.image.isValid())
        {
            error = QStringLiteral("not enough memory for a %1 x %2 image").arg(width).arg(height);
            return false;
        }
        switch (type)
        {
        case Image2D::UNSIGNED_CHAR: fillIntegers<std::uint8_t>(out.image, values); break;
        case Image2D::UNSIGNED_SHORT: fillIntegers<std::uint16_t>(out.image, values); break;
        case Image2D::SHORT: fillIntegers<std::int16_t>(out.image, values); break;
        default:
        {
            float* p = out.image.getData<float>();
            for (std::size_t i = 0; i < count; ++i)
                p[i] = static_cast<float>(values[i]);
            out.image.editFinished();
            out.notes << QStringLiteral("values beyond 16 bits: pixel values kept as float");
        }
        }
    }
    return true;
}

} // namespace tool::dicom_pixels
