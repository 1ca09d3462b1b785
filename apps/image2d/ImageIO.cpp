#include "ImageIO.h"

#include <QCoreApplication>
#include <QDataStream>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QImageWriter>
#include <QProcess>
#include <QSaveFile>

#include <gdcmAttribute.h>
#include <gdcmImageReader.h>
#include <gdcmImageWriter.h>
#include <gdcmMediaStorage.h>
#include <gdcmTrace.h>
#include <gdcmTransferSyntax.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <limits>
#include <mutex>
#include <new>
#include <sstream>
#include <vector>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

namespace tool {

namespace {

// GDCM reports through global streams, so DICOM decoding runs one file at a time. Its
// messages are caught instead of printed: one clear error line is what the user gets,
// and a warning about incomplete pixel data is how a truncated file shows (the reader
// pads the missing bytes with zeros).
std::mutex gdcmMutex;

class GdcmSession
{
public:
    GdcmSession() : m_lock(gdcmMutex)
    {
        m_sink.str({});
        gdcm::Trace::SetDebug(false);
        gdcm::Trace::SetWarningStream(m_sink);
        gdcm::Trace::SetErrorStream(m_sink);
        gdcm::Trace::SetWarning(true);
        gdcm::Trace::SetError(true);
        // Some codecs print straight to std::cerr.
        m_oldCerr = std::cerr.rdbuf(m_sink.rdbuf());
    }
    ~GdcmSession()
    {
        std::cerr.rdbuf(m_oldCerr);
        gdcm::Trace::SetWarning(false);
        gdcm::Trace::SetError(false);
    }
    bool reported(const char* text) const { return m_sink.str().find(text) != std::string::npos; }

private:
    std::lock_guard<std::mutex> m_lock;
    static inline std::ostringstream m_sink;
    std::streambuf* m_oldCerr = nullptr;
};

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

// GDCM aborts (an assertion, even in release builds) when a file ends inside or right
// after its meta header, so the meta group is walked here first. The group is always
// explicit VR little endian. Files without the "DICM" preamble pass unchecked.
bool metaHeaderComplete(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const qint64 size = file.size();
    if (size < 132)
        return true;
    file.seek(128);
    if (file.read(4) != "DICM")
        return true;
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
                return false;
            at += 12 + qsizetype(u32(at + 8));
        }
        else
            at += 8 + u16(at + 6);
    }
    // The data set must start after the meta group.
    return 132 + qint64(at) + 8 <= size;
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

// Images above this many bytes of decoded pixel data are refused rather than allocated:
// a damaged header can claim any size.
constexpr std::uint64_t maxPixelBytes = std::uint64_t(2) << 30;

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

bool readDicom(const QString& path, LoadedImage& out, QString& error)
{
    if (!metaHeaderComplete(path))
    {
        error = QStringLiteral("not a readable DICOM image (the file ends inside its header)");
        return false;
    }
    const GdcmSession session;
    const QByteArray fileName = QFile::encodeName(path);
    SafeImageReader reader;
    reader.SetFileName(fileName.constData());
    if (!reader.Read())
    {
        error = QStringLiteral("not a readable DICOM image (damaged, truncated or without pixel data)");
        return false;
    }
    const gdcm::Image& dicom = reader.GetImage();
    const gdcm::DataSet& ds = reader.GetFile().GetDataSet();
    const gdcm::TransferSyntax syntax = reader.GetFile().GetHeader().GetDataSetTransferSyntax();
    out.format = QStringLiteral("DICOM, %1").arg(syntaxName(syntax));

    const gdcm::PixelFormat& pf = dicom.GetPixelFormat();
    const gdcm::PhotometricInterpretation& pi = dicom.GetPhotometricInterpretation();
    const char* piName = gdcm::PhotometricInterpretation::GetPIString(pi);
    out.photometric = QString::fromLatin1(piName ? piName : "").trimmed();
    if (pf.GetSamplesPerPixel() != 1 || (pi != gdcm::PhotometricInterpretation::MONOCHROME1 &&
                                         pi != gdcm::PhotometricInterpretation::MONOCHROME2))
    {
        error = QStringLiteral("colour DICOM images are not supported (photometric interpretation %1)")
                    .arg(out.photometric.isEmpty() ? QStringLiteral("unknown") : out.photometric);
        return false;
    }
    const int bitsAllocated = pf.GetBitsAllocated();
    if (bitsAllocated != 8 && bitsAllocated != 16 && bitsAllocated != 32)
    {
        error = QStringLiteral("%1 bits allocated per pixel are not supported").arg(bitsAllocated);
        return false;
    }
    const bool isSigned = pf.GetPixelRepresentation() == 1;
    int bitsStored = pf.GetBitsStored();
    if (bitsStored <= 0 || bitsStored > bitsAllocated)
        bitsStored = bitsAllocated;
    int highBit = pf.GetHighBit();
    if (highBit < bitsStored - 1 || highBit >= bitsAllocated)
        highBit = bitsStored - 1;

    const unsigned dimensions = dicom.GetNumberOfDimensions();
    const std::uint64_t columns = dicom.GetDimension(0);
    const std::uint64_t rows = dicom.GetDimension(1);
    const std::uint64_t frames = dimensions > 2 ? std::max(1u, dicom.GetDimension(2)) : 1;
    const std::uint64_t bytesPerPixel = std::uint64_t(bitsAllocated / 8);
    if (columns == 0 || rows == 0 || columns > 65535 || rows > 65535)
    {
        error = QStringLiteral("invalid image size %1 x %2").arg(columns).arg(rows);
        return false;
    }
    const std::uint64_t frameBytes = columns * rows * bytesPerPixel;
    const std::uint64_t length = dicom.GetBufferLength();
    if (length < frameBytes || length > maxPixelBytes)
    {
        error = QStringLiteral("pixel data size %1 bytes does not fit %2 x %3 x %4 frame(s) of %5 bits")
                    .arg(length).arg(columns).arg(rows).arg(frames).arg(bitsAllocated);
        return false;
    }
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
    if (!dicom.GetBuffer(buffer.data()))
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

    QVector3D pixelSize(1, 1, 1);
    if (auto s = spacing(ds, gdcm::Tag(0x0028, 0x0030)))
        pixelSize = *s, out.pixelSizeKnown = true;
    else if (auto s = spacing(ds, gdcm::Tag(0x0018, 0x1164)))
        pixelSize = *s, out.pixelSizeKnown = true;

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

    out.displayInverted = pi == gdcm::PhotometricInterpretation::MONOCHROME1;
    out.fileLevel = firstDecimal(ds, gdcm::Tag(0x0028, 0x1050));
    out.fileWindow = firstDecimal(ds, gdcm::Tag(0x0028, 0x1051));
    if (!out.fileWindow || !(*out.fileWindow > 0))
        out.fileLevel.reset(), out.fileWindow.reset();
    return true;
}

bool isGray(const QImage& image)
{
    for (int y = 0; y < image.height(); ++y)
    {
        if (image.depth() == 64)
        {
            const auto* line = reinterpret_cast<const QRgba64*>(image.constScanLine(y));
            for (int x = 0; x < image.width(); ++x)
                if (line[x].red() != line[x].green() || line[x].red() != line[x].blue())
                    return false;
        }
        else
        {
            const auto* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
            for (int x = 0; x < image.width(); ++x)
                if (qRed(line[x]) != qGreen(line[x]) || qRed(line[x]) != qBlue(line[x]))
                    return false;
        }
    }
    return true;
}

bool readQtImage(const QString& path, const QByteArray& format, LoadedImage& out, QString& error)
{
    QImageReader reader(path, format);
    reader.setAutoTransform(false);
    QImage image;
    if (!reader.read(&image) || image.isNull())
    {
        error = QStringLiteral("cannot read the %1 image: %2").arg(QString::fromLatin1(format.toUpper()), reader.errorString());
        return false;
    }
    out.format = QString::fromLatin1(format.toUpper());
    const bool deep = image.depth() > 32 || image.format() == QImage::Format_Grayscale16;
    if (image.format() != QImage::Format_Grayscale8 && image.format() != QImage::Format_Grayscale16)
    {
        // Gray pictures are often stored as colour or palette images; take them as gray.
        image = image.convertToFormat(deep ? QImage::Format_RGBA64 : QImage::Format_RGB32);
        if (!isGray(image))
            out.notes << QStringLiteral("colour image: converted to gray");
        image = image.convertToFormat(deep ? QImage::Format_Grayscale16 : QImage::Format_Grayscale8);
    }
    const bool sixteen = image.format() == QImage::Format_Grayscale16;
    QVector3D pixelSize(1, 1, 1);
    // Files without a resolution read back Qt's screen default (72 or 96 dpi); a radiograph
    // has pixels well below 0.25 mm, so only a finer resolution is taken as real.
    if (image.dotsPerMeterX() > 4000 && image.dotsPerMeterY() > 4000)
    {
        pixelSize = QVector3D(1000.0f / image.dotsPerMeterX(), 1000.0f / image.dotsPerMeterY(), 1.0f);
        out.pixelSizeKnown = true;
    }
    out.image = Image2D(image.width(), image.height(), sixteen ? Image2D::UNSIGNED_SHORT : Image2D::UNSIGNED_CHAR, pixelSize);
    if (!out.image.isValid())
    {
        error = QStringLiteral("not enough memory for a %1 x %2 image").arg(image.width()).arg(image.height());
        return false;
    }
    const std::size_t rowBytes = std::size_t(image.width()) * (sixteen ? 2 : 1);
    unsigned char* dst = out.image.getData<unsigned char>();
    for (int y = 0; y < image.height(); ++y)
        std::memcpy(dst + rowBytes * std::size_t(y), image.constScanLine(y), rowBytes);
    out.image.editFinished();
    out.bitsStored = sixteen ? 16 : 8;
    return true;
}

QImage newGray(const Image2D& image, QImage::Format format)
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

QString suffixOf(const QString& path)
{
    return QFileInfo(path).suffix().toLower();
}

bool commitBytes(const QString& path, const QByteArray& bytes, QString& error)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit())
    {
        error = QStringLiteral("cannot write: %1").arg(file.errorString());
        file.cancelWriting();
        return false;
    }
    return true;
}

constexpr quint32 decodeMagic = 0x49324444; // "I2DD"

QByteArray serialize(bool ok, const LoadedImage& in, const QString& error)
{
    QByteArray bytes;
    QDataStream stream(&bytes, QIODevice::WriteOnly);
    stream.setVersion(QDataStream::Qt_6_0);
    stream << decodeMagic << ok << error;
    if (!ok)
        return bytes;
    const Image2D& image = in.image;
    stream << in.format << in.photometric << in.displayInverted << qint32(in.bitsStored) << in.slope << in.intercept
           << in.pixelSizeKnown << in.fileLevel.has_value() << in.fileLevel.value_or(0.0) << in.fileWindow.has_value()
           << in.fileWindow.value_or(0.0) << in.notes << qint32(image.getDataType()) << qint32(image.getWidth())
           << qint32(image.getHeight()) << image.getPixelSize()
           << QByteArray::fromRawData(image.getConstData<char>(), qsizetype(image.getByteCount()));
    return bytes;
}

bool deserialize(const QByteArray& bytes, LoadedImage& out, QString& error)
{
    QDataStream stream(bytes);
    stream.setVersion(QDataStream::Qt_6_0);
    quint32 magic = 0;
    bool ok = false;
    stream >> magic >> ok >> error;
    if (magic != decodeMagic || stream.status() != QDataStream::Ok)
    {
        error = QStringLiteral("the DICOM decoder gave no result");
        return false;
    }
    if (!ok)
        return false;
    qint32 bitsStored = 0, type = 0, width = 0, height = 0;
    bool hasLevel = false, hasWindow = false;
    double level = 0, window = 0;
    QVector3D pixelSize;
    QByteArray pixels;
    stream >> out.format >> out.photometric >> out.displayInverted >> bitsStored >> out.slope >> out.intercept >>
        out.pixelSizeKnown >> hasLevel >> level >> hasWindow >> window >> out.notes >> type >> width >> height >>
        pixelSize >> pixels;
    out.bitsStored = bitsStored;
    if (hasLevel)
        out.fileLevel = level;
    if (hasWindow)
        out.fileWindow = window;
    out.image = Image2D(width, height, Image2D::DataType(type), pixelSize);
    if (stream.status() != QDataStream::Ok || !out.image.isValid() || qsizetype(out.image.getByteCount()) != pixels.size())
    {
        error = QStringLiteral("the DICOM decoder gave an incomplete result");
        out = LoadedImage{};
        return false;
    }
    std::memcpy(out.image.getData<char>(), pixels.constData(), std::size_t(pixels.size()));
    out.image.editFinished();
    return true;
}

// GDCM stops the whole process (assertions compiled into release builds) on some
// damaged files, so DICOM files are decoded by a child process of this same program:
// a crash there is one error line here. Without an application (library use, tests)
// the file is read in this process.
bool readDicomIsolated(const QString& path, LoadedImage& out, QString& error)
{
    if (!QCoreApplication::instance() || qEnvironmentVariableIsSet("IMAGE2D_DICOM_IN_PROCESS"))
        return readDicom(path, out, error);
    QProcess child;
    child.setProgram(QCoreApplication::applicationFilePath());
    child.setArguments({QString::fromLatin1(decodeDicomCommand), path});
    child.setProcessChannelMode(QProcess::SeparateChannels);
    child.setStandardErrorFile(QProcess::nullDevice());
    child.start(QIODevice::ReadOnly);
    if (!child.waitForStarted())
        return readDicom(path, out, error);
    QByteArray bytes;
    while (child.state() != QProcess::NotRunning)
    {
        child.waitForReadyRead(-1);
        bytes += child.readAllStandardOutput();
    }
    bytes += child.readAllStandardOutput();
    if (child.exitStatus() != QProcess::NormalExit || (child.exitCode() != 0 && child.exitCode() != 1))
    {
        error = QStringLiteral("damaged DICOM file (the decoder stopped on it)");
        return false;
    }
    return deserialize(bytes, out, error);
}

} // namespace

const char* const decodeDicomCommand = "__decode-dicom";

int decodeDicomToStdout(const QString& path)
{
#ifdef _WIN32
    _setmode(_fileno(stdout), _O_BINARY);
#endif
    LoadedImage image;
    QString error;
    bool ok = false;
    try
    {
        ok = readDicom(path, image, error);
    }
    catch (...)
    {
        error = QStringLiteral("cannot read: unexpected failure in the decoder");
    }
    const QByteArray bytes = serialize(ok, image, error);
    std::fwrite(bytes.constData(), 1, std::size_t(bytes.size()), stdout);
    std::fflush(stdout);
    return ok ? 0 : 1;
}

bool looksLikeDicom(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray head = file.read(132);
    return head.size() == 132 && head.mid(128, 4) == "DICM";
}

bool readImage(const QString& path, LoadedImage& out, QString& error)
{
    out = LoadedImage{};
    const QFileInfo info(path);
    if (!info.exists())
    {
        error = QStringLiteral("no such file");
        return false;
    }
    if (info.isDir())
    {
        error = QStringLiteral("is a folder");
        return false;
    }
    if (!info.isReadable())
    {
        error = QStringLiteral("permission denied");
        return false;
    }
    if (info.size() == 0)
    {
        error = QStringLiteral("empty file");
        return false;
    }
    try
    {
        if (looksLikeDicom(path))
            return readDicomIsolated(path, out, error);
        const QByteArray format = QImageReader::imageFormat(path);
        if (format == "png" || format == "tiff")
            return readQtImage(path, format, out, error);
        const QString suffix = suffixOf(path);
        // DICOM files written without the preamble have no signature to recognise.
        if (suffix == QLatin1String("dcm") || suffix == QLatin1String("dicom") || suffix.isEmpty())
            return readDicomIsolated(path, out, error);
        if (suffix == QLatin1String("png") || suffix == QLatin1String("tif") || suffix == QLatin1String("tiff"))
        {
            error = QStringLiteral("not a valid %1 file").arg(suffix.toUpper());
            return false;
        }
        error = format.isEmpty() ? QStringLiteral("unknown file format (expected DICOM, PNG or TIFF)")
                                 : QStringLiteral("unsupported file format %1 (expected DICOM, PNG or TIFF)")
                                       .arg(QString::fromLatin1(format.toUpper()));
        return false;
    }
    catch (const std::exception& e)
    {
        error = QStringLiteral("cannot read: %1").arg(QString::fromLocal8Bit(e.what()));
    }
    catch (...)
    {
        error = QStringLiteral("cannot read: unexpected failure in the decoder");
    }
    out = LoadedImage{};
    return false;
}

QImage toDisplayImage(const Image2D& display, int depth)
{
    const int w = display.getWidth(), h = display.getHeight();
    QImage result = newGray(display, depth == 16 ? QImage::Format_Grayscale16 : QImage::Format_Grayscale8);
    if (result.isNull() || !display.isValid())
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
    for (int y = 0; y < h; ++y)
    {
        const std::size_t row = std::size_t(y) * std::size_t(w);
        auto value = [&](int x) -> double {
            switch (type)
            {
            case Image2D::UNSIGNED_SHORT: return display.getConstData<std::uint16_t>()[row + x];
            case Image2D::SHORT: return display.getConstData<std::int16_t>()[row + x];
            case Image2D::UNSIGNED_CHAR:
            case Image2D::BINARY: return display.getConstData<std::uint8_t>()[row + x];
            case Image2D::FLOAT: return display.getConstData<float>()[row + x];
            case Image2D::INT: return display.getConstData<std::int32_t>()[row + x];
            default: return 0.0;
            }
        };
        if (depth == 16)
        {
            auto* line = reinterpret_cast<std::uint16_t*>(result.scanLine(y));
            for (int x = 0; x < w; ++x)
                line[x] = std::uint16_t(to16(value(x)));
        }
        else
        {
            uchar* line = result.scanLine(y);
            // Rounded 16-to-8-bit division; exact for 8-bit sources and symmetric under inversion.
            for (int x = 0; x < w; ++x)
                line[x] = uchar((to16(value(x)) + 128) / 257);
        }
    }
    return result;
}

QImage toRawImage(const Image2D& image)
{
    const Image2D::DataType type = image.getDataType();
    if (!image.isValid() || (type != Image2D::UNSIGNED_CHAR && type != Image2D::UNSIGNED_SHORT))
        return {};
    QImage result = newGray(image, type == Image2D::UNSIGNED_CHAR ? QImage::Format_Grayscale8 : QImage::Format_Grayscale16);
    if (result.isNull())
        return result;
    const std::size_t rowBytes = std::size_t(image.getWidth()) * std::size_t(image.getDataTypeSize());
    for (int y = 0; y < image.getHeight(); ++y)
        std::memcpy(result.scanLine(y), image.getConstData<unsigned char>() + rowBytes * std::size_t(y), rowBytes);
    return result;
}

bool isWritableSuffix(const QString& path)
{
    const QString s = suffixOf(path);
    return s == QLatin1String("png") || s == QLatin1String("tif") || s == QLatin1String("tiff") || s == QLatin1String("dcm");
}

bool writeImage(const QImage& image, const QString& path, QString& error)
{
    const QString suffix = suffixOf(path);
    const QByteArray format = suffix == QLatin1String("png")                                   ? QByteArray("png")
                              : (suffix == QLatin1String("tif") || suffix == QLatin1String("tiff")) ? QByteArray("tiff")
                                                                                              : QByteArray();
    if (format.isEmpty())
    {
        error = QStringLiteral("unsupported output type \"%1\" (use .png, .tif or .tiff)").arg(suffix);
        return false;
    }
    if (image.isNull())
    {
        error = QStringLiteral("no image to write");
        return false;
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
    {
        error = QStringLiteral("cannot write: %1").arg(file.errorString());
        return false;
    }
    QImageWriter writer(&file, format);
    if (format == "tiff")
        writer.setCompression(1); // lossless LZW
    if (!writer.write(image))
    {
        error = QStringLiteral("cannot write: %1").arg(writer.errorString());
        file.cancelWriting();
        return false;
    }
    if (!file.commit())
    {
        error = QStringLiteral("cannot write: %1").arg(file.errorString());
        return false;
    }
    return true;
}

bool writeDicom(const Image2D& image, int bitsStored, const QString& path, QString& error)
{
    const GdcmSession session;
    const Image2D::DataType type = image.getDataType();
    if (!image.isValid() || (type != Image2D::UNSIGNED_SHORT && type != Image2D::SHORT && type != Image2D::UNSIGNED_CHAR))
    {
        error = QStringLiteral("DICOM output needs an 8- or 16-bit integer image");
        return false;
    }
    const int bitsAllocated = type == Image2D::UNSIGNED_CHAR ? 8 : 16;
    bitsStored = std::clamp(bitsStored, 1, bitsAllocated);
    try
    {
        gdcm::ImageWriter writer;
        gdcm::Image& dicom = writer.GetImage();
        dicom.SetNumberOfDimensions(2);
        dicom.SetDimension(0, unsigned(image.getWidth()));
        dicom.SetDimension(1, unsigned(image.getHeight()));
        gdcm::PixelFormat pf(type == Image2D::UNSIGNED_CHAR ? gdcm::PixelFormat::UINT8
                             : type == Image2D::SHORT       ? gdcm::PixelFormat::INT16
                                                            : gdcm::PixelFormat::UINT16);
        pf.SetBitsStored(static_cast<unsigned short>(bitsStored));
        pf.SetHighBit(static_cast<unsigned short>(bitsStored - 1));
        dicom.SetPixelFormat(pf);
        dicom.SetPhotometricInterpretation(gdcm::PhotometricInterpretation::MONOCHROME2);
        dicom.SetSpacing(0, image.getPixelSize().x());
        dicom.SetSpacing(1, image.getPixelSize().y());
        dicom.SetTransferSyntax(gdcm::TransferSyntax::ExplicitVRLittleEndian);
        gdcm::DataElement pixels(gdcm::Tag(0x7fe0, 0x0010));
        pixels.SetByteValue(image.getConstData<char>(), static_cast<std::uint32_t>(image.getByteCount()));
        dicom.SetDataElement(pixels);
        // Written as an element: GDCM keeps the spacing only for some storage classes.
        std::string spacingText = QStringLiteral("%1\\%2").arg(double(image.getPixelSize().y()), 0, 'g', 8)
                                      .arg(double(image.getPixelSize().x()), 0, 'g', 8).toStdString();
        if (spacingText.size() % 2)
            spacingText += ' ';
        gdcm::DataElement spacingElement(gdcm::Tag(0x0028, 0x0030));
        spacingElement.SetVR(gdcm::VR::DS);
        spacingElement.SetByteValue(spacingText.data(), static_cast<std::uint32_t>(spacingText.size()));
        writer.GetFile().GetDataSet().Replace(spacingElement);
        std::ostringstream stream;
        writer.SetStream(stream);
        if (!writer.Write())
        {
            error = QStringLiteral("cannot encode the DICOM file");
            return false;
        }
        const std::string bytes = stream.str();
        return commitBytes(path, QByteArray(bytes.data(), qsizetype(bytes.size())), error);
    }
    catch (const std::exception& e)
    {
        error = QStringLiteral("cannot write DICOM: %1").arg(QString::fromLocal8Bit(e.what()));
    }
    return false;
}

} // namespace tool
