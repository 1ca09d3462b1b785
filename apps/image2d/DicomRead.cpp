// Reading DICOM radiographs with GDCM: header checks before anything is decoded, the first
// frame as integers with rescale applied, colour converted to gray, padding marked.
#include "Dicom.h"

#include "GdcmSession.h"
#include "RasterIO.h"

#include <QFile>
#include <QImage>

#include <gdcmImageApplyLookupTable.h>
#include <gdcmImageReader.h>
#include <gdcmMediaStorage.h>
#include <gdcmTransferSyntax.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <new>
#include <optional>
#include <vector>

namespace tool {

namespace {

// Images above this many bytes of decoded pixel data are refused rather than allocated:
// a damaged header can claim any size.
constexpr std::uint64_t maxPixelBytes = std::uint64_t(2) << 30;

const gdcm::Tag pixelDataTag(0x7fe0, 0x0010);
const gdcm::Tag rowsTag(0x0028, 0x0010);

// GDCM asserts (aborting the process) when a multi-frame storage class lacks Number of
// Frames; such a file gets the value 1 after parsing and before the image is built.
class SafeImageReader : public gdcm::ImageReader
{
protected:
    bool ReadImage(const gdcm::MediaStorage& ms) override
    {
        gdcm::DataSet& ds = GetFile().GetDataSet();
        const gdcm::Tag frames(0x0028, 0x0008);
        if (ms.GetModalityDimension() > 2 && (!ds.FindDataElement(frames) || ds.GetDataElement(frames).IsEmpty()))
        {
            gdcm::DataElement count(frames);
            count.SetVR(gdcm::VR::IS);
            count.SetByteValue("1 ", 2);
            ds.Replace(count);
        }
        return gdcm::ImageReader::ReadImage(ms);
    }
};

const char* const directoryStorage = "1.2.840.10008.1.3.10";

struct MetaHeader
{
    bool complete = true;
    QByteArray mediaStorage; ///< (0002,0002), the kind of object, when the header has it
};

// GDCM aborts (an assertion, even in release builds) when a file ends inside or right
// after its meta header, and on some DICOMDIR files, so the meta group is walked here
// first. The group is always explicit VR little endian. Files without the "DICM"
// preamble pass unchecked.
MetaHeader readMetaHeader(const QString& path)
{
    MetaHeader meta;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {false, {}};
    const qint64 size = file.size();
    if (size < 132)
        return meta;
    file.seek(128);
    if (file.read(4) != "DICM")
        return meta;
    const QByteArray head = file.read(std::min<qint64>(size - 132, 1 << 16));
    auto u16 = [&](qsizetype at) { return quint16(uchar(head[at]) | uchar(head[at + 1]) << 8); };
    auto u32 = [&](qsizetype at) { return quint32(u16(at)) | quint32(u16(at + 2)) << 16; };
    qsizetype at = 0;
    while (at + 8 <= head.size() && u16(at) == 0x0002)
    {
        const QByteArray vr = head.mid(at + 4, 2);
        static const QList<QByteArray> longVRs = {"OB", "OW", "OF", "SQ", "UT", "UN", "OD", "OL", "OV", "UC", "UR", "SV", "UV"};
        if (longVRs.contains(vr))
        {
            if (at + 12 > head.size() || u32(at + 8) == 0xffffffffu)
                return {false, {}};
            at += 12 + qsizetype(u32(at + 8));
        }
        else
        {
            if (u16(at + 2) == 0x0002)
                meta.mediaStorage = head.mid(at + 8, u16(at + 6)).replace('\0', "").trimmed();
            at += 8 + u16(at + 6);
        }
    }
    // The data set must start after the meta group.
    meta.complete = 132 + qint64(at) + 8 <= size;
    return meta;
}

// Friendly names of the transfer syntaxes radiographs come in.
QString syntaxName(const gdcm::TransferSyntax& syntax)
{
    switch (syntax)
    {
    case gdcm::TransferSyntax::ImplicitVRLittleEndian: return QStringLiteral("uncompressed, implicit VR little endian");
    case gdcm::TransferSyntax::ExplicitVRLittleEndian: return QStringLiteral("uncompressed, explicit VR little endian");
    case gdcm::TransferSyntax::ExplicitVRBigEndian: return QStringLiteral("uncompressed, explicit VR big endian");
    case gdcm::TransferSyntax::DeflatedExplicitVRLittleEndian: return QStringLiteral("deflated");
    case gdcm::TransferSyntax::RLELossless: return QStringLiteral("RLE lossless");
    case gdcm::TransferSyntax::JPEGBaselineProcess1: return QStringLiteral("JPEG baseline");
    case gdcm::TransferSyntax::JPEGExtendedProcess2_4: return QStringLiteral("JPEG extended");
    case gdcm::TransferSyntax::JPEGLosslessProcess14:
    case gdcm::TransferSyntax::JPEGLosslessProcess14_1: return QStringLiteral("JPEG lossless");
    case gdcm::TransferSyntax::JPEGLSLossless: return QStringLiteral("JPEG-LS lossless");
    case gdcm::TransferSyntax::JPEGLSNearLossless: return QStringLiteral("JPEG-LS near-lossless");
    case gdcm::TransferSyntax::JPEG2000Lossless: return QStringLiteral("JPEG 2000 lossless");
    case gdcm::TransferSyntax::JPEG2000: return QStringLiteral("JPEG 2000");
    default: break;
    }
    const char* uid = gdcm::TransferSyntax::GetTSString(syntax);
    return QStringLiteral("transfer syntax %1").arg(QString::fromLatin1(uid ? uid : "unknown"));
}

QString elementText(const gdcm::DataSet& ds, const gdcm::Tag& tag)
{
    if (!ds.FindDataElement(tag))
        return {};
    const gdcm::DataElement& element = ds.GetDataElement(tag);
    const gdcm::ByteValue* value = element.GetByteValue();
    if (!value || value->GetLength() == 0)
        return {};
    return QString::fromLatin1(value->GetPointer(), static_cast<int>(value->GetLength())).trimmed();
}

// A US or SS element (GDCM has turned it to little endian) as a 16-bit word.
std::optional<std::uint16_t> elementWord(const gdcm::DataSet& ds, const gdcm::Tag& tag)
{
    if (!ds.FindDataElement(tag))
        return std::nullopt;
    const gdcm::ByteValue* value = ds.GetDataElement(tag).GetByteValue();
    if (!value || value->GetLength() < 2)
        return std::nullopt;
    const auto* bytes = reinterpret_cast<const unsigned char*>(value->GetPointer());
    return std::uint16_t(bytes[0] | bytes[1] << 8);
}

// First value of a multi-valued decimal string ("40\\400" gives 40).
std::optional<double> firstDecimal(const gdcm::DataSet& ds, const gdcm::Tag& tag)
{
    const QString text = elementText(ds, tag);
    if (text.isEmpty())
        return std::nullopt;
    bool ok = false;
    const double value = text.section(QLatin1Char('\\'), 0, 0).trimmed().toDouble(&ok);
    if (!ok || !std::isfinite(value))
        return std::nullopt;
    return value;
}

// Column and row spacing in mm from "row\\column", when both are positive.
std::optional<QVector3D> spacing(const gdcm::DataSet& ds, const gdcm::Tag& tag)
{
    const QStringList parts = elementText(ds, tag).split(QLatin1Char('\\'));
    if (parts.size() < 2)
        return std::nullopt;
    bool okRow = false, okColumn = false;
    const double row = parts[0].trimmed().toDouble(&okRow);
    const double column = parts[1].trimmed().toDouble(&okColumn);
    if (!okRow || !okColumn || !(row > 0) || !(column > 0) || row > 1e3 || column > 1e3)
        return std::nullopt;
    return QVector3D(float(column), float(row), 1.0f);
}

QString directoryReason()
{
    return QStringLiteral("a DICOMDIR (an index of a DICOM folder), not an image");
}

// An object without an image (a DICOMDIR, a structured report, a plan): the reason to
// skip it, or an empty text when the file looks like an image that could not be read.
QString notAnImageReason(const gdcm::File& file)
{
    const gdcm::DataSet& ds = file.GetDataSet();
    gdcm::MediaStorage ms;
    ms.SetFromFile(file);
    if (ms == gdcm::MediaStorage::MediaStorageDirectoryStorage)
        return directoryReason();
    if (ds.IsEmpty() || ds.FindDataElement(pixelDataTag) || ds.FindDataElement(rowsTag))
        return {};
    const char* name = gdcm::MediaStorage::GetMSString(ms);
    const QString kind = name ? QString::fromLatin1(name) : elementText(ds, gdcm::Tag(0x0008, 0x0016));
    return QStringLiteral("a DICOM object without an image (%1)").arg(kind.isEmpty() ? QStringLiteral("unknown kind") : kind);
}

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

bool isColour(gdcm::PhotometricInterpretation::PIType pi)
{
    using PI = gdcm::PhotometricInterpretation;
    return pi == PI::RGB || pi == PI::YBR_FULL || pi == PI::YBR_FULL_422 || pi == PI::PALETTE_COLOR ||
           pi == PI::YBR_RCT || pi == PI::YBR_ICT;
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

// Pixel Padding Value (and Range Limit): stored values that mark pixels outside the
// exposed area. Lossy compression smears the padding value into a cluster of nearby
// values, so for lossy files the padding takes in the whole cluster of values around it
// in the histogram (bins 1/256 of the value range wide), out to the valley where the
// image's own values begin. Returns the mask, or an empty array when the file marks none.
QByteArray paddingMask(const gdcm::DataSet& ds, bool isSigned, bool lossy, const std::vector<std::int64_t>& stored)
{
    const auto value = elementWord(ds, gdcm::Tag(0x0028, 0x0120));
    if (!value || stored.empty())
        return {};
    auto asStored = [&](std::uint16_t word) { return isSigned ? std::int64_t(std::int16_t(word)) : std::int64_t(word); };
    std::int64_t lo = asStored(*value), hi = lo;
    if (const auto limit = elementWord(ds, gdcm::Tag(0x0028, 0x0121)))
    {
        lo = std::min(lo, asStored(*limit));
        hi = std::max(hi, asStored(*limit));
    }
    else if (lossy)
    {
        const auto [minIt, maxIt] = std::minmax_element(stored.begin(), stored.end());
        const std::int64_t first = *minIt, width = std::max<std::int64_t>(1, (*maxIt - first + 1 + 255) / 256);
        if (lo >= first && lo <= *maxIt)
        {
            std::vector<std::size_t> bins(std::size_t((*maxIt - first) / width + 1), 0);
            for (const std::int64_t v : stored)
                ++bins[std::size_t((v - first) / width)];
            // Smoothed over five bins; the cluster ends where the counts climb again
            // (to twice the lowest count met on the way out), at the next data.
            std::vector<double> smooth(bins.size(), 0.0);
            for (std::size_t b = 0; b < bins.size(); ++b)
            {
                const std::size_t from = b < 2 ? 0 : b - 2, to = std::min(bins.size() - 1, b + 2);
                for (std::size_t k = from; k <= to; ++k)
                    smooth[b] += double(bins[k]) / double(to - from + 1);
            }
            const std::size_t centre = std::size_t((lo - first) / width);
            const double floor = std::max(1.0, smooth[centre] / 1000.0);
            auto walk = [&](std::ptrdiff_t step) {
                std::ptrdiff_t b = std::ptrdiff_t(centre);
                double lowest = smooth[centre];
                for (std::ptrdiff_t next = b + step; next >= 0 && next < std::ptrdiff_t(bins.size()); next += step)
                {
                    if (smooth[std::size_t(next)] > 2.0 * std::max(lowest, floor))
                        break;
                    lowest = std::min(lowest, smooth[std::size_t(next)]);
                    b = next;
                }
                return std::size_t(b);
            };
            const std::size_t left = walk(-1), right = walk(1);
            lo = first + std::int64_t(left) * width;
            hi = first + std::int64_t(right + 1) * width - 1;
        }
    }
    QByteArray mask(qsizetype(stored.size()), '\0');
    bool any = false;
    for (std::size_t i = 0; i < stored.size(); ++i)
        if (stored[i] >= lo && stored[i] <= hi)
            mask[qsizetype(i)] = 1, any = true;
    return any ? mask : QByteArray();
}

bool isLossy(const gdcm::TransferSyntax& syntax)
{
    return syntax == gdcm::TransferSyntax::JPEGBaselineProcess1 || syntax == gdcm::TransferSyntax::JPEGExtendedProcess2_4 ||
           syntax == gdcm::TransferSyntax::JPEG2000 || syntax == gdcm::TransferSyntax::JPEGLSNearLossless;
}

} // namespace

bool looksLikeDicom(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray head = file.read(132);
    return head.size() == 132 && head.mid(128, 4) == "DICM";
}

bool readDicom(const QString& path, LoadedImage& out, QString& error, const BeforeDecode& beforeDecode)
{
    const MetaHeader meta = readMetaHeader(path);
    if (!meta.complete)
    {
        error = QStringLiteral("not a readable DICOM image (the file ends inside its header)");
        return false;
    }
    if (meta.mediaStorage == directoryStorage)
    {
        out.notAnImage = true;
        error = directoryReason();
        return false;
    }
    const GdcmSession session;
    const QByteArray fileName = QFile::encodeName(path);
    SafeImageReader reader;
    reader.SetFileName(fileName.constData());
    if (!reader.Read())
    {
        const QString skip = notAnImageReason(reader.GetFile());
        out.notAnImage = !skip.isEmpty();
        error = out.notAnImage ? skip : QStringLiteral("not a readable DICOM image (damaged, truncated or without pixel data)");
        return false;
    }
    const gdcm::Image& image = reader.GetImage();
    const gdcm::DataSet& ds = reader.GetFile().GetDataSet();
    const gdcm::TransferSyntax syntax = reader.GetFile().GetHeader().GetDataSetTransferSyntax();
    out.format = QStringLiteral("DICOM, %1").arg(syntaxName(syntax));

    // Everything that decides whether the image can be shown is checked before decoding.
    using PI = gdcm::PhotometricInterpretation;
    PI::PIType pi = image.GetPhotometricInterpretation();
    const char* piName = PI::GetPIString(pi);
    out.photometric = QString::fromLatin1(piName ? piName : "").trimmed();
    const gdcm::PixelFormat& pf = image.GetPixelFormat();
    const int samples = pf.GetSamplesPerPixel();
    const bool monochrome = samples == 1 && (pi == PI::MONOCHROME1 || pi == PI::MONOCHROME2);
    const bool palette = samples == 1 && pi == PI::PALETTE_COLOR;
    if (!monochrome && !palette && !(samples == 3 && isColour(pi)))
    {
        error = QStringLiteral("photometric interpretation %1 with %2 sample(s) per pixel is not supported")
                    .arg(out.photometric.isEmpty() ? QStringLiteral("unknown") : out.photometric)
                    .arg(samples);
        return false;
    }
    const int bitsAllocated = pf.GetBitsAllocated();
    if (bitsAllocated != 8 && bitsAllocated != 16 && bitsAllocated != 32)
    {
        error = QStringLiteral("%1 bits allocated per pixel are not supported").arg(bitsAllocated);
        return false;
    }
    const std::uint64_t columns = image.GetDimension(0);
    const std::uint64_t rows = image.GetDimension(1);
    const std::uint64_t frames = image.GetNumberOfDimensions() > 2 ? std::max(1u, image.GetDimension(2)) : 1;
    if (columns == 0 || rows == 0 || columns > 65535 || rows > 65535)
    {
        error = QStringLiteral("invalid image size %1 x %2").arg(columns).arg(rows);
        return false;
    }
    const std::uint64_t frameBytes = columns * rows * std::uint64_t(samples) * std::uint64_t(bitsAllocated / 8);
    const std::uint64_t length = image.GetBufferLength();
    if (frameBytes * frames > maxPixelBytes || length > maxPixelBytes)
    {
        error = QStringLiteral("the pixel data is too large (%1 x %2 x %3 frame(s) of %4 bits)")
                    .arg(columns).arg(rows).arg(frames).arg(bitsAllocated * samples);
        return false;
    }
    if (length < frameBytes)
    {
        error = QStringLiteral("pixel data size %1 bytes does not fit %2 x %3 x %4 frame(s) of %5 bits")
                    .arg(length).arg(columns).arg(rows).arg(frames).arg(bitsAllocated * samples);
        return false;
    }
    if (beforeDecode)
        beforeDecode(length);

    QVector3D pixelSize(1, 1, 1);
    if (auto s = spacing(ds, gdcm::Tag(0x0028, 0x0030)))
        pixelSize = *s, out.pixelSizeKnown = true;
    else if (auto s = spacing(ds, gdcm::Tag(0x0018, 0x1164)))
        pixelSize = *s, out.pixelSizeKnown = true;

    std::vector<char> buffer;
    try
    {
        buffer.resize(length);
    }
    catch (const std::bad_alloc&)
    {
        error = QStringLiteral("not enough memory for %1 bytes of pixel data").arg(length);
        return false;
    }
    const gdcm::Image* decoded = &image;
    gdcm::ImageApplyLookupTable lookup;
    if (palette)
    {
        // Palette images become RGB through their lookup table.
        lookup.SetInput(image);
        if (!lookup.Apply())
        {
            error = QStringLiteral("cannot apply the palette of this image");
            return false;
        }
        decoded = &lookup.GetOutput();
        if (decoded->GetBufferLength() > maxPixelBytes || decoded->GetPixelFormat().GetSamplesPerPixel() != 3)
        {
            error = QStringLiteral("cannot apply the palette of this image");
            return false;
        }
        buffer.resize(decoded->GetBufferLength());
    }
    if (!decoded->GetBuffer(buffer.data()))
    {
        error = QStringLiteral("cannot decode the pixel data (%1)").arg(syntaxName(syntax));
        return false;
    }
    if (session.reported("Incomplete Pixel Data") || session.reported("could be corrupted") ||
        session.reported("could not be read"))
    {
        error = QStringLiteral("the pixel data is cut short (truncated file)");
        return false;
    }
    if (frames > 1)
        out.notes << QStringLiteral("multi-frame file (%1 frames): using the first frame").arg(frames);
    if (!monochrome)
    {
        const int decodedBits = decoded->GetPixelFormat().GetBitsAllocated();
        if ((decodedBits != 8 && decodedBits != 16 && decodedBits != 32) ||
            buffer.size() < columns * rows * 3 * std::uint64_t(decodedBits / 8))
        {
            error = QStringLiteral("cannot convert the colour data of this image");
            return false;
        }
        return readColour(*decoded, buffer.data(), pixelSize, out, error);
    }

    const bool isSigned = pf.GetPixelRepresentation() == 1;
    int bitsStored = pf.GetBitsStored();
    if (bitsStored <= 0 || bitsStored > bitsAllocated)
        bitsStored = bitsAllocated;
    int highBit = pf.GetHighBit();
    if (highBit < bitsStored - 1 || highBit >= bitsAllocated)
        highBit = bitsStored - 1;

    // Only the first frame, as integers with the unused high and low bits removed.
    const std::size_t count = std::size_t(columns * rows);
    std::vector<std::int64_t> values;
    switch (bitsAllocated)
    {
    case 8: isSigned ? readSamples<std::int8_t>(buffer.data(), count, values)
                     : readSamples<std::uint8_t>(buffer.data(), count, values); break;
    case 16: isSigned ? readSamples<std::int16_t>(buffer.data(), count, values)
                      : readSamples<std::uint16_t>(buffer.data(), count, values); break;
    default: isSigned ? readSamples<std::int32_t>(buffer.data(), count, values)
                      : readSamples<std::uint32_t>(buffer.data(), count, values); break;
    }
    buffer = {};
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
    out.bitsStored = bitsStored;
    out.padding = paddingMask(ds, isSigned, isLossy(syntax), values);
    if (!out.padding.isEmpty())
        out.notes << QStringLiteral("%1 padding pixels (outside the exposed area): shown black, left out of the automatic window")
                         .arg(std::count(out.padding.cbegin(), out.padding.cend(), '\1'));

    // Read from the elements themselves: GDCM applies them only for some storage classes
    // (not for digital X-ray), while the values always mean the same.
    out.slope = firstDecimal(ds, gdcm::Tag(0x0028, 0x1053)).value_or(1.0);
    out.intercept = firstDecimal(ds, gdcm::Tag(0x0028, 0x1052)).value_or(0.0);
    if (!std::isfinite(out.slope) || out.slope == 0.0 || !std::isfinite(out.intercept))
    {
        out.notes << QStringLiteral("ignoring invalid rescale slope %1 / intercept %2").arg(out.slope).arg(out.intercept);
        out.slope = 1.0;
        out.intercept = 0.0;
    }
    const bool rescaled = out.slope != 1.0 || out.intercept != 0.0;
    const bool integral = out.slope == std::round(out.slope) && out.intercept == std::round(out.intercept) &&
                          std::abs(out.slope) < 1e9 && std::abs(out.intercept) < 1e9;

    const int width = int(columns), height = int(rows);
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

    out.displayInverted = pi == PI::MONOCHROME1;
    out.fileLevel = firstDecimal(ds, gdcm::Tag(0x0028, 0x1050));
    out.fileWindow = firstDecimal(ds, gdcm::Tag(0x0028, 0x1051));
    if (!out.fileWindow || !(*out.fileWindow > 0))
        out.fileLevel.reset(), out.fileWindow.reset();
    return true;
}

} // namespace tool
