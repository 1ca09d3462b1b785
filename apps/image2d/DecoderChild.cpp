// The decoder child: GDCM stops the whole process (assertions compiled into release
// builds) on some damaged files and can claim gigabytes for a broken element, so DICOM
// files are decoded by a child process of this same program, with bounded memory, and
// the result comes back as one QDataStream record on its stdout.
#include "DecoderChild.h"

#include "Dicom.h"
#include "DicomSeries.h"

#include <QCoreApplication>
#include <QDataStream>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>

#if defined(__linux__)
#include <sys/resource.h>
#endif
#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

#if defined(__SANITIZE_ADDRESS__)
#define IMAGE2D_UNDER_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define IMAGE2D_UNDER_ASAN 1
#endif
#endif

namespace tool {

namespace {

constexpr quint32 decodeMagic = 0x49324445; // "I2DE"
constexpr std::uint64_t MiB = std::uint64_t(1) << 20;

// Lets the process add at most `budget` bytes of private memory to what it holds now
// (Linux counts heap and anonymous mappings against RLIMIT_DATA). A larger allocation
// fails, which GDCM and the reader turn into a read error. AddressSanitizer reserves its
// shadow memory the same way, so sanitizer builds go without the bound.
void boundMemory(std::uint64_t budget)
{
#if defined(__linux__) && !defined(IMAGE2D_UNDER_ASAN)
    std::uint64_t used = 0;
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmData:"))
            used = line.mid(7).trimmed().split(' ').value(0).toULongLong() * 1024;
    if (used == 0)
        return;
    rlimit limit{};
    if (getrlimit(RLIMIT_DATA, &limit) != 0)
        return;
    rlim_t wanted = rlim_t(used + budget);
    if (limit.rlim_max != RLIM_INFINITY)
        wanted = std::min(wanted, limit.rlim_max);
    limit.rlim_cur = wanted;
    setrlimit(RLIMIT_DATA, &limit);
#else
    (void)budget;
#endif
}

QByteArray serialize(bool ok, const LoadedImage& in, const QString& error)
{
    QByteArray bytes;
    QDataStream stream(&bytes, QIODevice::WriteOnly);
    stream.setVersion(QDataStream::Qt_6_0);
    stream << decodeMagic << ok << error << in.notAnImage;
    if (!ok)
        return bytes;
    const Image2D& image = in.image;
    stream << in.format << in.photometric << in.displayInverted << qint32(in.bitsStored) << in.slope << in.intercept
           << in.pixelSizeKnown << in.fileLevel.has_value() << in.fileLevel.value_or(0.0) << in.fileWindow.has_value()
           << in.fileWindow.value_or(0.0) << in.notes << in.padding << qint32(image.getDataType())
           << qint32(image.getWidth()) << qint32(image.getHeight()) << image.getPixelSize()
           << QByteArray::fromRawData(image.getConstData<char>(), qsizetype(image.getByteCount()));
    return bytes;
}

bool deserialize(const QByteArray& bytes, LoadedImage& out, QString& error)
{
    QDataStream stream(bytes);
    stream.setVersion(QDataStream::Qt_6_0);
    quint32 magic = 0;
    bool ok = false;
    stream >> magic >> ok >> error >> out.notAnImage;
    if (magic != decodeMagic || stream.status() != QDataStream::Ok)
    {
        error = QStringLiteral("the DICOM decoder gave no result");
        out.notAnImage = false;
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
        out.pixelSizeKnown >> hasLevel >> level >> hasWindow >> window >> out.notes >> out.padding >> type >> width >>
        height >> pixelSize >> pixels;
    out.bitsStored = bitsStored;
    if (hasLevel)
        out.fileLevel = level;
    if (hasWindow)
        out.fileWindow = window;
    out.image = Image2D(width, height, Image2D::DataType(type), pixelSize);
    if (stream.status() != QDataStream::Ok || !out.image.isValid() ||
        qsizetype(out.image.getByteCount()) != pixels.size() ||
        (!out.padding.isEmpty() && qsizetype(out.image.getNumPixels()) != out.padding.size()))
    {
        error = QStringLiteral("the DICOM decoder gave an incomplete result");
        out = LoadedImage{};
        return false;
    }
    std::memcpy(out.image.getData<char>(), pixels.constData(), std::size_t(pixels.size()));
    out.image.editFinished();
    return true;
}

enum class ChildEnd
{
    NotStarted,
    Answered, ///< ended normally; its stdout is the answer
    Stopped,  ///< crashed, aborted or killed from outside
    TimedOut  ///< killed here after its time limit
};

// Runs `program command argument`, collecting its stdout in `bytes` (the synchronous
// QProcess API needs no event loop or application: library users and Python threads call
// this too). A child still running after `seconds` is killed.
ChildEnd runChild(const QString& program, const char* command, const QString& argument, qint64 seconds,
                  QByteArray& bytes)
{
    QProcess child;
    child.setProgram(program);
    child.setArguments({QString::fromLatin1(command), argument});
    child.setProcessChannelMode(QProcess::SeparateChannels);
    child.setStandardErrorFile(QProcess::nullDevice());
    child.start(QIODevice::ReadOnly);
    if (!child.waitForStarted())
        return ChildEnd::NotStarted;
    const QDeadlineTimer deadline(std::chrono::seconds{seconds});
    bytes.clear();
    while (child.state() != QProcess::NotRunning)
    {
        if (deadline.hasExpired())
        {
            child.kill();
            child.waitForFinished(-1);
            return ChildEnd::TimedOut;
        }
        child.waitForReadyRead(int(std::min<qint64>(deadline.remainingTime(), 60'000)));
        bytes += child.readAllStandardOutput();
    }
    bytes += child.readAllStandardOutput();
    if (child.exitStatus() != QProcess::NormalExit || (child.exitCode() != 0 && child.exitCode() != 1))
        return ChildEnd::Stopped;
    return ChildEnd::Answered;
}

// The program to run: the one asked for, else this one when it is an application (the tool);
// empty reads in this process, as IMAGE2D_DICOM_IN_PROCESS asks.
QString decoderProgram(const QString& program)
{
    if (qEnvironmentVariableIsSet("IMAGE2D_DICOM_IN_PROCESS"))
        return {};
    if (!program.isEmpty())
        return program;
    return QCoreApplication::instance() ? QCoreApplication::applicationFilePath() : QString();
}

// Seconds a decoder child may take: IMAGE2D_DECODER_SECONDS when set, else ten minutes plus
// two seconds per file read (decoding takes well under a second per file; a child still busy
// after that is stuck, and waiting on it would hang the caller).
qint64 childSeconds(qint64 files)
{
    bool ok = false;
    const qint64 set = qEnvironmentVariableIntValue("IMAGE2D_DECODER_SECONDS", &ok);
    return ok && set > 0 ? set : 600 + 2 * files;
}

QString stoppedReason(ChildEnd end, qint64 seconds)
{
    return end == ChildEnd::TimedOut ? QStringLiteral("the decoder ran past its limit of %1 s on it").arg(seconds)
                                     : QStringLiteral("the decoder stopped on it");
}

} // namespace

const char* const decodeDicomCommand = "__decode-dicom";
const char* const readCtSeriesCommand = "__read-ct-series";

int decodeDicomToStdout(const QString& path)
{
#ifdef _WIN32
    _setmode(_fileno(stdout), _O_BINARY);
#endif
    // Parsing holds about the file's bytes; decoding the pixel data a few times its size.
    boundMemory(2 * std::uint64_t(std::max<qint64>(0, QFileInfo(path).size())) + 256 * MiB);
    LoadedImage image;
    QString error;
    bool ok = false;
    try
    {
        ok = readDicom(path, image, error, [](std::uint64_t decodedBytes) { boundMemory(8 * decodedBytes + 256 * MiB); });
    }
    catch (const std::bad_alloc&)
    {
        error = QStringLiteral("not a readable DICOM image (an element claims more memory than the file can hold)");
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

bool readDicomIsolated(const QString& path, LoadedImage& out, QString& error, const QString& program)
{
    const QString decoder = decoderProgram(program);
    QByteArray bytes;
    const qint64 seconds = childSeconds(1);
    const ChildEnd end = decoder.isEmpty() ? ChildEnd::NotStarted : runChild(decoder, decodeDicomCommand, path, seconds, bytes);
    if (end == ChildEnd::NotStarted)
        return readDicom(path, out, error);
    if (end != ChildEnd::Answered)
    {
        error = QStringLiteral("damaged DICOM file (%1)").arg(stoppedReason(end, seconds));
        return false;
    }
    return deserialize(bytes, out, error);
}

int readCtSeriesToStdout(const QString& folder)
{
    // Scanning holds the headers; the volume is the slices' pixels, which compression may
    // have shrunk in the files.
    std::uint64_t files = 0;
    for (const QFileInfo& file : QDir(folder).entryInfoList(QDir::Files))
        files += std::uint64_t(std::max<qint64>(0, file.size()));
    boundMemory(32 * files + 1024 * MiB);
    ctvolume::CtSeries series;
    QString error;
    bool ok = false;
    try
    {
        ok = ctvolume::readCtSeries(folder, series, error);
    }
    catch (...)
    {
        error = QStringLiteral("not a readable CT series (the decoder ran out of memory or failed)");
    }
    QByteArray bytes;
    QDataStream stream(&bytes, QIODevice::WriteOnly);
    stream.setVersion(QDataStream::Qt_6_0);
    stream << decodeMagic << ok << error;
    if (ok)
    {
        const VoxenImage3D& v = series.volume;
        stream << series.seriesUid << series.description << series.origin << qint32(series.files) << series.notes
               << qint32(v.imageSize().x) << qint32(v.imageSize().y) << qint32(v.imageSize().z) << v.voxelSize()
               << qint32(v.dataType())
               << QByteArray::fromRawData(static_cast<const char*>(v.dataPtr()),
                                          qsizetype(v.getNumVoxels() * std::size_t(v.dataTypeSize())));
    }
    std::fwrite(bytes.constData(), 1, std::size_t(bytes.size()), stdout);
    std::fflush(stdout);
    return ok ? 0 : 1;
}

bool readCtSeriesIsolated(const QString& folder, ctvolume::CtSeries& out, QString& error, const QString& program)
{
    const QString decoder = decoderProgram(program);
    QByteArray bytes;
    const qint64 seconds = childSeconds(qint64(QDir(folder).entryList(QDir::Files).size()));
    const ChildEnd end =
        decoder.isEmpty() ? ChildEnd::NotStarted : runChild(decoder, readCtSeriesCommand, folder, seconds, bytes);
    if (end == ChildEnd::NotStarted)
        return ctvolume::readCtSeries(folder, out, error);
    if (end != ChildEnd::Answered)
    {
        error = QStringLiteral("a damaged DICOM file in the series (%1)").arg(stoppedReason(end, seconds));
        return false;
    }
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
    qint32 files = 0, x = 0, y = 0, z = 0, type = 0;
    QVector3D voxel;
    QByteArray voxels;
    stream >> out.seriesUid >> out.description >> out.origin >> files >> out.notes >> x >> y >> z >> voxel >> type >> voxels;
    out.files = files;
    out.volume = VoxenImage3D(math::Ivec3(x, y, z), voxel, image::DataType(type));
    const VoxenImage3D& v = out.volume;
    if (stream.status() != QDataStream::Ok || !v.isValid() ||
        qsizetype(v.getNumVoxels() * std::size_t(v.dataTypeSize())) != voxels.size())
    {
        error = QStringLiteral("the DICOM decoder gave an incomplete result");
        out = ctvolume::CtSeries{};
        return false;
    }
    std::memcpy(out.volume.dataPtr(), voxels.constData(), std::size_t(voxels.size()));
    return true;
}

} // namespace tool
