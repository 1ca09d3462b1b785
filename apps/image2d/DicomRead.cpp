// Reading DICOM radiographs with GDCM: header checks before anything is decoded, decoding,
// padding marked; the pixel steps (stored integers, rescale, colour to gray) are in
// DicomPixels.cpp.
#include "Dicom.h"

#include "DicomPixels.h"
#include "DicomStructure.h"
#include "GdcmSession.h"
#include "SafeImageReader.h"

#include <QFile>

#include <gdcmImageApplyLookupTable.h>
#include <gdcmImageReader.h>
#include <gdcmMediaStorage.h>
#include <gdcmTransferSyntax.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <new>
#include <optional>
#include <vector>

namespace tool {

namespace {

using dicom_pixels::isColour;
using dicom_pixels::readColour;
using dicom_pixels::rescaledImage;
using dicom_pixels::storedValues;

// Images above this many bytes of decoded pixel data are refused rather than allocated:
// a damaged header can claim any size.
constexpr std::uint64_t maxPixelBytes = std::uint64_t(2) << 30;

const gdcm::Tag pixelDataTag(0x7fe0, 0x0010);
const gdcm::Tag rowsTag(0x0028, 0x0010);

const char* const directoryStorage = "1.2.840.10008.1.3.10";

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
    // GDCM stops the process on a file cut inside an element and on some broken structures.
    const ctvolume::DicomStructure structure = ctvolume::checkDicomFile(path);
    if (structure.verdict != ctvolume::DicomStructure::Sound)
    {
        error = structure.verdict == ctvolume::DicomStructure::Damaged
                    ? QStringLiteral("not a readable DICOM image (%1)").arg(structure.problem)
                    : QStringLiteral("not a readable DICOM image (damaged, truncated or without pixel data)");
        return false;
    }
    if (structure.mediaStorage == directoryStorage)
    {
        out.notAnImage = true;
        error = directoryReason();
        return false;
    }
    const GdcmSession session;
    const QByteArray fileName = QFile::encodeName(path);
    ctvolume::SafeImageReader reader;
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
    // GDCM copies the whole frame out of native pixel data, however short the element is
    // (4:2:2 colour holds two samples a pixel).
    const std::uint64_t nativeBytes = pi == PI::YBR_FULL_422 ? frameBytes * frames / 3 * 2 : frameBytes * frames;
    const bool shortElement = !structure.encapsulated && structure.pixelLength >= 0 &&
                              std::uint64_t(structure.pixelLength) < nativeBytes;
    if (length < frameBytes || shortElement)
    {
        error = QStringLiteral("pixel data size %1 bytes does not fit %2 x %3 x %4 frame(s) of %5 bits")
                    .arg(shortElement ? std::uint64_t(structure.pixelLength) : length)
                    .arg(columns).arg(rows).arg(frames).arg(bitsAllocated * samples);
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
    // Fewer than 8 bits stored of 8 come out of GDCM as whole bytes (see SafeImageReader);
    // colour is display data and is shown as those bytes.
    if (monochrome)
        reader.keepStoredBits(buffer.data(), buffer.size(), pf.GetPixelRepresentation() == 1);
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

    std::vector<std::int64_t> values = storedValues(buffer.data(), std::size_t(columns * rows), bitsAllocated,
                                                    bitsStored, highBit, isSigned);
    buffer = {};
    out.bitsStored = reader.storedBits().bits > 0 ? reader.storedBits().bits : bitsStored;
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
    if (!rescaledImage(values, int(columns), int(rows), isSigned, bitsAllocated, pixelSize, out, error))
        return false;

    out.displayInverted = pi == PI::MONOCHROME1;
    out.fileLevel = firstDecimal(ds, gdcm::Tag(0x0028, 0x1050));
    out.fileWindow = firstDecimal(ds, gdcm::Tag(0x0028, 0x1051));
    if (!out.fileWindow || !(*out.fileWindow > 0))
        out.fileLevel.reset(), out.fileWindow.reset();
    return true;
}

} // namespace tool
