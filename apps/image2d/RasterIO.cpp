#include "RasterIO.h"

#include <QFileInfo>
#include <QImageReader>
#include <QImageWriter>
#include <QSaveFile>

#include <cstring>

namespace tool {

namespace {

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

} // namespace

QString suffixOf(const QString& path)
{
    return QFileInfo(path).suffix().toLower();
}

QImage toGray(const QImage& image, QStringList& notes)
{
    if (image.format() == QImage::Format_Grayscale8 || image.format() == QImage::Format_Grayscale16)
        return image;
    // Gray pictures are often stored as colour or palette images; take them as gray.
    const bool deep = image.depth() > 32;
    const QImage colour = image.convertToFormat(deep ? QImage::Format_RGBA64 : QImage::Format_RGB32);
    if (!isGray(colour))
        notes << QStringLiteral("colour image: converted to gray");
    return colour.convertToFormat(deep ? QImage::Format_Grayscale16 : QImage::Format_Grayscale8);
}

bool readRaster(const QString& path, const QByteArray& format, LoadedImage& out, QString& error)
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
    image = toGray(image, out.notes);
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

bool writeImage(const QImage& image, const QString& path, QString& error, PngCompression compression)
{
    const QString suffix = suffixOf(path);
    const QByteArray format = suffix == QLatin1String("png")                                        ? QByteArray("png")
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
    else
        // Qt's PNG writer takes the zlib level from the quality: (100 - quality) * 9 / 91.
        writer.setQuality(compression == PngCompression::Fast ? 85 : 0);
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

} // namespace tool
