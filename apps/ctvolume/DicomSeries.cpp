#include "DicomSeries.h"

#include "DicomStructure.h"
#include "SafeImageReader.h"

#include "image2d/framework/Parallel.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <gdcmAttribute.h>
#include <gdcmIPPSorter.h>
#include <gdcmWriter.h>
#include <gdcmScanner.h>
#include <gdcmTrace.h>
#include <gdcmUIDGenerator.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <map>
#include <mutex>
#include <exception>
#include <new>
#include <sstream>
#include <string>
#include <vector>

namespace ctvolume {

namespace {

const gdcm::Tag kSeriesUid(0x0020, 0x000e), kRows(0x0028, 0x0010), kColumns(0x0028, 0x0011),
    kPosition(0x0020, 0x0032), kOrientation(0x0020, 0x0037), kPixelSpacing(0x0028, 0x0030),
    kFrames(0x0028, 0x0008), kThickness(0x0018, 0x0050), kSpacingBetween(0x0018, 0x0088),
    kDescription(0x0008, 0x103e), kIntercept(0x0028, 0x1052), kSlope(0x0028, 0x1053),
    kBitsAllocated(0x0028, 0x0100);

// A slice of more decoded pixel data than this is refused before anything is allocated: a
// damaged header can claim any size (a CT slice is a few MiB).
constexpr std::uint64_t maxSliceBytes = std::uint64_t(256) << 20;

// GDCM reports through global streams; the reader speaks for itself through `error`.
class QuietGdcm
{
public:
    QuietGdcm()
    {
        gdcm::Trace::SetDebug(false);
        gdcm::Trace::SetWarning(false);
        gdcm::Trace::SetError(false);
    }
};

QString text(const char* value)
{
    return value ? QString::fromLatin1(value).trimmed() : QString();
}

// The numbers of a multi-valued decimal string ("0.4\0.4").
std::vector<double> numbers(const char* value)
{
    std::vector<double> result;
    for (const QString& part : text(value).split(QLatin1Char('\\'), Qt::SkipEmptyParts))
    {
        bool ok = false;
        const double v = part.trimmed().toDouble(&ok);
        if (!ok || !std::isfinite(v))
            return {};
        result.push_back(v);
    }
    return result;
}

double number(const char* value, double fallback)
{
    const std::vector<double> v = numbers(value);
    return v.empty() ? fallback : v.front();
}

bool sameNumbers(const std::vector<double>& a, const std::vector<double>& b, double tolerance)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (std::abs(a[i] - b[i]) > tolerance)
            return false;
    return true;
}

// Stored values of one decoded slice into Hounsfield units; counts the clipped ones.
template <typename Stored>
void toHounsfield(const char* buffer, std::size_t count, double slope, double intercept, std::int16_t* out,
                  std::atomic<std::size_t>& clipped)
{
    std::size_t clips = 0;
    for (std::size_t i = 0; i < count; ++i)
    {
        Stored v;
        std::memcpy(&v, buffer + i * sizeof(Stored), sizeof(Stored));
        const double hu = static_cast<double>(v) * slope + intercept;
        const double rounded = hu < 0.0 ? std::ceil(hu - 0.5) : std::floor(hu + 0.5);
        const double limited = std::clamp(rounded, -32768.0, 32767.0);
        clips += limited != rounded;
        out[i] = static_cast<std::int16_t>(limited);
    }
    clipped += clips;
}

// Decodes one file into one slice; false with a reason.
bool readSlice(const std::string& file, int columns, int rows, double slope, double intercept, std::int16_t* out,
               std::atomic<std::size_t>& clipped, QString& error)
{
    SafeImageReader reader;
    reader.SetFileName(file.c_str());
    if (!reader.Read())
    {
        error = QStringLiteral("not a readable DICOM image");
        return false;
    }
    const gdcm::Image& image = reader.GetImage();
    const gdcm::PixelFormat format = image.GetPixelFormat();
    if (image.GetDimension(0) != unsigned(columns) || image.GetDimension(1) != unsigned(rows) ||
        (image.GetNumberOfDimensions() > 2 && image.GetDimension(2) > 1))
    {
        error = QStringLiteral("its pixel data is not one %1 x %2 image").arg(columns).arg(rows);
        return false;
    }
    if (format.GetSamplesPerPixel() != 1)
    {
        error = QStringLiteral("not a grayscale image");
        return false;
    }
    std::vector<char> buffer;
    try
    {
        buffer.resize(image.GetBufferLength());
    }
    catch (const std::bad_alloc&)
    {
        error = QStringLiteral("no memory for its pixel data");
        return false;
    }
    if (buffer.empty() || !image.GetBuffer(buffer.data()))
    {
        error = QStringLiteral("its pixel data cannot be decoded");
        return false;
    }
    const std::size_t count = static_cast<std::size_t>(columns) * rows;
    reader.keepStoredBits(buffer.data(), buffer.size(), format.GetPixelRepresentation() == 1);
    auto convert = [&](auto stored) {
        using Stored = decltype(stored);
        if (buffer.size() < count * sizeof(Stored))
            return false;
        toHounsfield<Stored>(buffer.data(), count, slope, intercept, out, clipped);
        return true;
    };
    bool ok = false;
    switch (format.GetScalarType())
    {
    case gdcm::PixelFormat::UINT8: ok = convert(std::uint8_t{}); break;
    case gdcm::PixelFormat::INT8: ok = convert(std::int8_t{}); break;
    case gdcm::PixelFormat::UINT12:
    case gdcm::PixelFormat::UINT16: ok = convert(std::uint16_t{}); break;
    case gdcm::PixelFormat::INT12:
    case gdcm::PixelFormat::INT16: ok = convert(std::int16_t{}); break;
    case gdcm::PixelFormat::UINT32: ok = convert(std::uint32_t{}); break;
    case gdcm::PixelFormat::INT32: ok = convert(std::int32_t{}); break;
    case gdcm::PixelFormat::FLOAT32: ok = convert(float{}); break;
    case gdcm::PixelFormat::FLOAT64: ok = convert(double{}); break;
    default: break;
    }
    if (!ok)
        error = QStringLiteral("pixels of %1 bits are not read").arg(format.GetBitsAllocated());
    return ok;
}

// The shortest decimal text that reads back as the same float (so 0.4f is written "0.4").
std::string shortest(double value)
{
    for (int digits = 6; digits < 17; ++digits)
    {
        const std::string text = QString::number(value, 'g', digits).toStdString();
        if (static_cast<float>(QString::fromStdString(text).toDouble()) == static_cast<float>(value))
            return text;
    }
    return QString::number(value, 'g', 17).toStdString();
}

bool readCtSeriesUnguarded(const QString& folder, CtSeries& out, QString& error)
{
    const QDir dir(folder);
    if (!QFileInfo(folder).isDir())
    {
        error = QStringLiteral("not a folder");
        return false;
    }
    const QFileInfoList entries = dir.entryInfoList(QDir::Files | QDir::Readable, QDir::Name);
    if (entries.isEmpty())
    {
        error = QStringLiteral("the folder holds no files");
        return false;
    }
    // GDCM only sees files whose structure holds together: a DICOM file cut short or broken
    // is the series' error, anything that is not DICOM is passed over.
    std::vector<std::string> files;
    std::map<std::string, DicomStructure> structures;
    for (const QFileInfo& info : entries)
    {
        const DicomStructure structure = checkDicomFile(info.absoluteFilePath());
        if (structure.verdict == DicomStructure::Damaged)
        {
            error = QStringLiteral("%1: a damaged DICOM file (%2)").arg(info.fileName(), structure.problem);
            return false;
        }
        if (structure.verdict == DicomStructure::Sound)
        {
            files.push_back(QFile::encodeName(info.absoluteFilePath()).toStdString());
            structures[files.back()] = structure;
        }
    }
    if (files.empty())
    {
        error = QStringLiteral("the folder holds no DICOM images");
        return false;
    }
    const QuietGdcm quiet;
    gdcm::Scanner scanner;
    for (const gdcm::Tag& tag : {kSeriesUid, kRows, kColumns, kPosition, kOrientation, kPixelSpacing, kFrames,
                                 kThickness, kSpacingBetween, kDescription, kIntercept, kSlope, kBitsAllocated})
        scanner.AddTag(tag);
    scanner.Scan(files);

    // Series by UID; only files that hold an image.
    std::map<std::string, std::vector<std::string>> series;
    for (const std::string& file : files)
        if (scanner.IsKey(file.c_str()) && scanner.GetValue(file.c_str(), kRows) &&
            !text(scanner.GetValue(file.c_str(), kSeriesUid)).isEmpty())
            series[text(scanner.GetValue(file.c_str(), kSeriesUid)).toStdString()].push_back(file);
    if (series.empty())
    {
        error = QStringLiteral("the folder holds no DICOM images");
        return false;
    }
    auto largest = std::max_element(series.begin(), series.end(),
                                    [](const auto& a, const auto& b) { return a.second.size() < b.second.size(); });
    std::vector<std::string> slices = largest->second;
    CtSeries result;
    result.seriesUid = QString::fromStdString(largest->first);
    if (series.size() > 1)
        result.notes << QStringLiteral("%1 other series in the folder skipped").arg(series.size() - 1);

    // One size, orientation and pixel spacing; single-frame files with a position.
    const char* first = slices.front().c_str();
    const int columns = static_cast<int>(number(scanner.GetValue(first, kColumns), 0));
    const int rows = static_cast<int>(number(scanner.GetValue(first, kRows), 0));
    const std::vector<double> orientation = numbers(scanner.GetValue(first, kOrientation));
    const std::vector<double> pixelSpacing = numbers(scanner.GetValue(first, kPixelSpacing));
    for (const std::string& file : slices)
    {
        const char* f = file.c_str();
        const int c = static_cast<int>(number(scanner.GetValue(f, kColumns), 0));
        const int r = static_cast<int>(number(scanner.GetValue(f, kRows), 0));
        if (c != columns || r != rows)
        {
            error = QStringLiteral("slices of different sizes (%1 x %2 and %3 x %4)").arg(columns).arg(rows).arg(c).arg(r);
            return false;
        }
        if (number(scanner.GetValue(f, kFrames), 1) > 1)
        {
            error = QStringLiteral("multi-frame files are not read as a series");
            return false;
        }
        if (numbers(scanner.GetValue(f, kPosition)).size() != 3 || orientation.size() != 6)
        {
            error = QStringLiteral("slices without image position or orientation");
            return false;
        }
        if (!sameNumbers(numbers(scanner.GetValue(f, kOrientation)), orientation, 1e-4))
        {
            error = QStringLiteral("slices of different orientations");
            return false;
        }
        if (!sameNumbers(numbers(scanner.GetValue(f, kPixelSpacing)), pixelSpacing, 1e-4))
        {
            error = QStringLiteral("slices of different pixel spacing");
            return false;
        }
    }
    if (columns <= 0 || rows <= 0)
    {
        error = QStringLiteral("slices without a size");
        return false;
    }
    // Uncompressed pixel data must be in the files: GDCM would read a cut slice padded with
    // zeros, and a damaged header could claim gigabytes.
    for (const std::string& file : slices)
    {
        const std::uint64_t bytes = std::uint64_t(columns) * std::uint64_t(rows) *
                                    std::uint64_t((std::clamp(int(number(scanner.GetValue(file.c_str(), kBitsAllocated), 16)), 1, 64) + 7) / 8);
        const DicomStructure& structure = structures[file];
        const QString name = QFileInfo(QFile::decodeName(file.c_str())).fileName();
        if (bytes > maxSliceBytes)
        {
            error = QStringLiteral("%1: slices of %2 x %3 pixels are too large").arg(name).arg(columns).arg(rows);
            return false;
        }
        if (!structure.encapsulated && structure.pixelBytes >= 0 && std::uint64_t(structure.pixelBytes) < bytes)
        {
            error = QStringLiteral("%1: the pixel data is cut short (%2 of %3 bytes)").arg(name).arg(structure.pixelBytes).arg(bytes);
            return false;
        }
    }
    if (slices.size() > 1)
    {
        gdcm::IPPSorter sorter;
        sorter.SetComputeZSpacing(false);
        sorter.SetDirectionCosinesTolerance(1e-4);
        if (!sorter.Sort(slices))
        {
            error = QStringLiteral("the slices cannot be ordered by position (two at one place?)");
            return false;
        }
        slices = sorter.GetFilenames();
    }

    // Even spacing along the normal: a gap means a missing slice.
    const double normal[3] = {orientation[1] * orientation[5] - orientation[2] * orientation[4],
                              orientation[2] * orientation[3] - orientation[0] * orientation[5],
                              orientation[0] * orientation[4] - orientation[1] * orientation[3]};
    std::vector<double> positions;
    for (const std::string& file : slices)
    {
        const std::vector<double> p = numbers(scanner.GetValue(file.c_str(), kPosition));
        positions.push_back(p[0] * normal[0] + p[1] * normal[1] + p[2] * normal[2]);
    }
    double zSpacing = number(scanner.GetValue(first, kSpacingBetween), number(scanner.GetValue(first, kThickness), 1.0));
    if (slices.size() > 1)
    {
        std::vector<double> steps;
        for (std::size_t i = 1; i < positions.size(); ++i)
            steps.push_back(positions[i] - positions[i - 1]);
        std::vector<double> sorted = steps;
        std::nth_element(sorted.begin(), sorted.begin() + sorted.size() / 2, sorted.end());
        zSpacing = sorted[sorted.size() / 2];
        for (std::size_t i = 0; i < steps.size(); ++i)
            if (!(zSpacing > 0.0) || std::abs(steps[i] - zSpacing) > std::max(0.01, 0.01 * zSpacing))
            {
                error = QStringLiteral("uneven slice spacing: %1 mm between slices %2 and %3, %4 mm elsewhere "
                                       "(a slice missing?)")
                            .arg(steps[i], 0, 'g', 4).arg(i + 1).arg(i + 2).arg(zSpacing, 0, 'g', 4);
                return false;
            }
    }
    const double rowSpacing = pixelSpacing.size() == 2 ? pixelSpacing[0] : 1.0;
    const double columnSpacing = pixelSpacing.size() == 2 ? pixelSpacing[1] : 1.0;
    if (pixelSpacing.size() != 2)
        result.notes << QStringLiteral("no pixel spacing: 1 mm assumed");

    const int count = static_cast<int>(slices.size());
    const std::size_t sliceVoxels = static_cast<std::size_t>(columns) * rows;
    std::atomic<std::size_t> clipped{0};
    std::mutex errorMutex;
    int failedSlice = -1;
    QString sliceError;
    auto read = [&](int k, std::int16_t* out) {
        const char* f = slices[k].c_str();
        QString reason;
        if (readSlice(slices[k], columns, rows, number(scanner.GetValue(f, kSlope), 1.0),
                      number(scanner.GetValue(f, kIntercept), 0.0), out, clipped, reason))
            return;
        std::lock_guard<std::mutex> lock(errorMutex);
        if (failedSlice < 0 || k < failedSlice)
            failedSlice = k, sliceError = reason;
    };
    auto failed = [&] {
        if (failedSlice < 0)
            return false;
        error = QStringLiteral("slice %1 (%2): %3")
                    .arg(failedSlice + 1)
                    .arg(QFileInfo(QFile::decodeName(slices[failedSlice].c_str())).fileName(), sliceError);
        result.volume = VoxenImage3D();
        return true;
    };
    // The first slice alone, before the volume is allocated: it sets up GDCM's shared
    // dictionaries, and a compressed slice whose header claims more than its data holds
    // fails here. The rest in parallel.
    {
        std::vector<std::int16_t> first;
        try
        {
            first.resize(sliceVoxels);
        }
        catch (const std::bad_alloc&)
        {
            error = QStringLiteral("no memory for a slice of %1 x %2 pixels").arg(columns).arg(rows);
            return false;
        }
        read(0, first.data());
        if (failed())
            return false;
        result.volume = VoxenImage3D(math::Ivec3(columns, rows, count),
                                     QVector3D(float(columnSpacing), float(rowSpacing), float(zSpacing)),
                                     image::DataType::SHORT);
        if (!result.volume.isValid())
        {
            error = QStringLiteral("no memory for %1 x %2 x %3 voxels").arg(columns).arg(rows).arg(count);
            return false;
        }
        std::copy(first.begin(), first.end(), result.volume.data<std::int16_t>());
    }
    std::int16_t* voxels = result.volume.data<std::int16_t>();
    image2d::parallelFor(1, count, [&](int firstSlice, int lastSlice) {
        for (int k = firstSlice; k < lastSlice; ++k)
            read(k, voxels + static_cast<std::size_t>(k) * sliceVoxels);
    });
    if (failed())
        return false;
    result.volume.editFinished();
    if (clipped > 0)
        result.notes << QStringLiteral("%1 values outside the 16-bit range clipped").arg(clipped.load());
    const std::vector<double> origin = numbers(scanner.GetValue(slices.front().c_str(), kPosition));
    result.origin = QVector3D(float(origin[0]), float(origin[1]), float(origin[2]));
    result.description = text(scanner.GetValue(slices.front().c_str(), kDescription));
    result.files = count;
    out = std::move(result);
    return true;
}

} // namespace

bool readCtSeries(const QString& folder, CtSeries& out, QString& error)
{
    // GDCM throws on some files no check before it foresees; its exceptions end here, as a
    // failed read, rather than in the caller.
    try
    {
        return readCtSeriesUnguarded(folder, out, error);
    }
    catch (const std::bad_alloc&)
    {
        error = QStringLiteral("not a readable CT series (out of memory)");
    }
    catch (const std::exception& e)
    {
        error = QStringLiteral("not a readable CT series (%1)").arg(QString::fromLocal8Bit(e.what()));
    }
    catch (...)
    {
        error = QStringLiteral("not a readable CT series (unexpected failure in the decoder)");
    }
    out = CtSeries{};
    return false;
}

bool writeCtSeries(const VoxenImage3D& volume, const QString& folder, QString& error, const QVector3D& origin,
                   const QString& description)
{
    if (!volume.isValid() || volume.dataType() != image::DataType::SHORT)
    {
        error = QStringLiteral("a CT series is written from a 16-bit volume");
        return false;
    }
    if (!QDir().mkpath(folder))
    {
        error = QStringLiteral("cannot create the folder");
        return false;
    }
    const QuietGdcm quiet;
    const math::Ivec3 size = volume.imageSize();
    const QVector3D spacing = volume.voxelSize();
    // Unsigned storage whose intercept reaches the lowest voxel keeps every value.
    const int intercept = std::min(-1024, static_cast<int>(volume.getValueRange().getMin()));
    gdcm::UIDGenerator uids;
    const std::string study = uids.Generate(), seriesUid = uids.Generate();
    const std::string columnSpacing = shortest(spacing.x()), rowSpacing = shortest(spacing.y()),
                      sliceSpacing = shortest(spacing.z());
    const std::size_t sliceVoxels = volume.getSliceVoxels();
    std::vector<std::uint16_t> stored(sliceVoxels);
    for (int k = 0; k < size.z; ++k)
    {
        const auto* slice = reinterpret_cast<const std::int16_t*>(volume.getAxialSlice(k));
        for (std::size_t i = 0; i < sliceVoxels; ++i)
            stored[i] = static_cast<std::uint16_t>(slice[i] - intercept);
        gdcm::Writer writer;
        writer.GetFile().GetHeader().SetDataSetTransferSyntax(gdcm::TransferSyntax::ExplicitVRLittleEndian);
        gdcm::DataSet& ds = writer.GetFile().GetDataSet();
        auto put = [&ds](std::uint16_t group, std::uint16_t element, const gdcm::VR& vr, std::string value) {
            if (value.size() % 2)
                value += vr == gdcm::VR::UI ? '\0' : ' ';
            gdcm::DataElement e(gdcm::Tag(group, element));
            e.SetVR(vr);
            e.SetByteValue(value.data(), static_cast<std::uint32_t>(value.size()));
            ds.Replace(e);
        };
        auto putShort = [&ds](std::uint16_t group, std::uint16_t element, std::uint16_t value) {
            gdcm::DataElement e(gdcm::Tag(group, element));
            e.SetVR(gdcm::VR::US);
            e.SetByteValue(reinterpret_cast<const char*>(&value), 2);
            ds.Replace(e);
        };
        const double z = double(origin.z()) + k * QString::fromStdString(sliceSpacing).toDouble();
        put(0x0008, 0x0016, gdcm::VR::UI, "1.2.840.10008.5.1.4.1.1.2"); // CT Image Storage
        put(0x0008, 0x0018, gdcm::VR::UI, uids.Generate());
        put(0x0008, 0x0060, gdcm::VR::CS, "CT");
        put(0x0008, 0x103e, gdcm::VR::LO, description.toStdString());
        put(0x0010, 0x0010, gdcm::VR::PN, "Phantom^CT");
        put(0x0010, 0x0020, gdcm::VR::LO, "PHANTOM");
        put(0x0018, 0x0050, gdcm::VR::DS, sliceSpacing);
        put(0x0020, 0x000d, gdcm::VR::UI, study);
        put(0x0020, 0x000e, gdcm::VR::UI, seriesUid);
        put(0x0020, 0x0011, gdcm::VR::IS, "1");
        put(0x0020, 0x0013, gdcm::VR::IS, std::to_string(k + 1));
        put(0x0020, 0x0032, gdcm::VR::DS, shortest(origin.x()) + "\\" + shortest(origin.y()) + "\\" + shortest(z));
        put(0x0020, 0x0037, gdcm::VR::DS, "1\\0\\0\\0\\1\\0");
        putShort(0x0028, 0x0002, 1); // samples per pixel
        put(0x0028, 0x0004, gdcm::VR::CS, "MONOCHROME2");
        putShort(0x0028, 0x0010, static_cast<std::uint16_t>(size.y));
        putShort(0x0028, 0x0011, static_cast<std::uint16_t>(size.x));
        put(0x0028, 0x0030, gdcm::VR::DS, rowSpacing + "\\" + columnSpacing);
        putShort(0x0028, 0x0100, 16); // bits allocated
        putShort(0x0028, 0x0101, 16); // bits stored
        putShort(0x0028, 0x0102, 15); // high bit
        putShort(0x0028, 0x0103, 0);  // unsigned
        put(0x0028, 0x1052, gdcm::VR::DS, std::to_string(intercept));
        put(0x0028, 0x1053, gdcm::VR::DS, "1");
        put(0x0028, 0x1054, gdcm::VR::LO, "HU");
        gdcm::DataElement pixels(gdcm::Tag(0x7fe0, 0x0010));
        pixels.SetVR(gdcm::VR::OW);
        pixels.SetByteValue(reinterpret_cast<const char*>(stored.data()),
                            static_cast<std::uint32_t>(stored.size() * sizeof(std::uint16_t)));
        ds.Replace(pixels);

        const QString path = QDir(folder).filePath(QStringLiteral("slice-%1.dcm").arg(k, 4, 10, QLatin1Char('0')));
        const QByteArray name = QFile::encodeName(path);
        writer.SetFileName(name.constData());
        if (!writer.Write())
        {
            error = QStringLiteral("cannot write %1").arg(QFileInfo(path).fileName());
            return false;
        }
    }
    return true;
}

} // namespace ctvolume
