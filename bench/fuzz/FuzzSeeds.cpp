// Writes the starting corpora of the fuzz targets into DIR/<target>/: small images as the
// tool reads and writes them, settings as the tool saves them, CSV text, a three-slice CT
// series and random algorithm inputs. DICOM files from elsewhere (pydicom's) are added by
// seed-corpora.sh.
#include "Dicom.h"
#include "DicomSeries.h"
#include "RasterIO.h"
#include "Settings.h"
#include "support/TestImages.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QJsonDocument>

#include <cstdio>
#include <random>

namespace {

QDir target(const QString& root, const char* name)
{
    QDir dir(root);
    dir.mkpath(QLatin1String(name));
    dir.cd(QLatin1String(name));
    return dir;
}

void put(const QDir& dir, const QString& name, const QByteArray& bytes)
{
    QFile file(dir.filePath(name));
    if (file.open(QIODevice::WriteOnly))
        file.write(bytes);
}

QByteArray fileBytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QImage grayPicture(int width, int height, QImage::Format format)
{
    QImage image(width, height, format);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.setPixelColor(x, y, QColor::fromRgb((x * 37 + y * 11) % 256, (x * 5) % 256, (y * 29) % 256));
    return image;
}

void rasterSeeds(const QDir& dir)
{
    int n = 0;
    for (QImage::Format format : {QImage::Format_Grayscale8, QImage::Format_Grayscale16, QImage::Format_RGB32})
        for (const char* kind : {"png", "tiff"})
        {
            QByteArray bytes;
            QBuffer buffer(&bytes);
            buffer.open(QIODevice::WriteOnly);
            grayPicture(7, 5, format).save(&buffer, kind);
            put(dir, QStringLiteral("seed-%1").arg(n++), QByteArray(1, kind[0] == 't' ? '\1' : '\0') + bytes);
        }
}

void dicomSeeds(const QDir& dir)
{
    int n = 0;
    for (Image2D::DataType type : {Image2D::UNSIGNED_SHORT, Image2D::SHORT, Image2D::UNSIGNED_CHAR})
    {
        const Image2D image = testing_support::randomImage(6, 4, type, 5u, 0.0, 200.0);
        QString error;
        const QString path = dir.filePath(QStringLiteral("seed-%1.dcm").arg(n++));
        if (!tool::writeDicom(image, type == Image2D::UNSIGNED_CHAR ? 8 : 12, path, error))
            std::fprintf(stderr, "%s\n", qPrintable(error));
    }
}

void settingsSeeds(const QDir& dir)
{
    put(dir, QStringLiteral("readme"),
        R"({ "media": "intraoral", "filters": [ {"filter": "gamma", "value": 1.2},
  {"filter": "sharpen", "value": 0.8}, {"filter": "denoise", "value": 1.0} ] })");
    tool::EnhanceSettings settings;
    settings.media = tool::Media::Panoramic;
    settings.level = 2000;
    settings.window = 3000;
    settings.filters = {{tool::FilterKind::Gamma, std::nullopt}, {tool::FilterKind::Invert, std::nullopt},
                        {tool::FilterKind::Equalize, 0.5f}};
    settings.resize = QSize(640, 480);
    settings.rotate = 90;
    settings.mirror = true;
    settings.depth = 16;
    settings.acquisition = 12;
    settings.modality = 2;
    put(dir, QStringLiteral("full"), QJsonDocument(settings.toJson()).toJson());
}

void csvSeeds(const QDir& dir)
{
    put(dir, QStringLiteral("seed-0"), QByteArray("\x03\x02\x00", 3) + "1,2,3\n4,5,6\n");
    put(dir, QStringLiteral("seed-1"), QByteArray("\x02\x02\x05", 3) + "1.5, -2e3,nan\ninf,x,\n");
    put(dir, QStringLiteral("seed-2"), QByteArray("\x04\x01\x03", 3) + "0,1,2,-1\r\n");
}

void seriesSeeds(const QDir& dir, const QString& scratch)
{
    VoxenImage3D volume(math::Ivec3(6, 5, 3), QVector3D(0.5f, 0.5f, 1.0f), image::DataType::SHORT);
    std::int16_t* v = volume.data<std::int16_t>();
    for (int i = 0; i < 6 * 5 * 3; ++i)
        v[i] = static_cast<std::int16_t>(i * 37 - 1000);
    QString error;
    if (!ctvolume::writeCtSeries(volume, scratch, error))
        std::fprintf(stderr, "%s\n", qPrintable(error));
    QByteArray all;
    for (const QString& name : QDir(scratch).entryList(QDir::Files, QDir::Name))
        all += (all.isEmpty() ? QByteArray() : QByteArrayLiteral("\n--slice--\n")) + fileBytes(scratch + '/' + name);
    put(dir, QStringLiteral("three-slices"), all);
}

void algorithmSeeds(const QDir& dir)
{
    std::mt19937 random(7);
    for (int n = 0; n < 64; ++n)
    {
        QByteArray bytes(16 << (n % 7), '\0');
        for (char& c : bytes)
            c = static_cast<char>(random());
        put(dir, QStringLiteral("seed-%1").arg(n), bytes);
    }
}

} // namespace

int main(int argc, char** argv)
{
    QGuiApplication::setAttribute(Qt::AA_Use96Dpi);
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc != 2)
    {
        std::fprintf(stderr, "usage: image2d_fuzz_seeds DIR\n");
        return 2;
    }
    const QString root = QString::fromLocal8Bit(argv[1]);
    rasterSeeds(target(root, "raster"));
    dicomSeeds(target(root, "dicom"));
    settingsSeeds(target(root, "settings"));
    csvSeeds(target(root, "csv"));
    QDir scratch(root + QStringLiteral("/.series"));
    scratch.removeRecursively();
    seriesSeeds(target(root, "ctseries"), scratch.path());
    scratch.removeRecursively();
    algorithmSeeds(target(root, "algorithm"));
    return 0;
}
