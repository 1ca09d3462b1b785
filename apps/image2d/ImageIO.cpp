#include "ImageIO.h"

#include "DecoderChild.h"
#include "Dicom.h"
#include "RasterIO.h"

#include <QFileInfo>
#include <QImageReader>

#include <exception>

namespace tool {

bool readImage(const QString& path, LoadedImage& out, QString& error, const QString& decoder)
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
            return readDicomIsolated(path, out, error, decoder);
        const QByteArray format = QImageReader::imageFormat(path);
        if (format == "png" || format == "tiff")
            return readRaster(path, format, out, error);
        const QString suffix = suffixOf(path);
        // DICOM files written without the preamble have no signature to recognise.
        if (suffix == QLatin1String("dcm") || suffix == QLatin1String("dicom") || suffix.isEmpty())
            return readDicomIsolated(path, out, error, decoder);
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
    const bool notAnImage = out.notAnImage;
    out = LoadedImage{};
    out.notAnImage = notAnImage;
    return false;
}

bool isWritableSuffix(const QString& path)
{
    const QString s = suffixOf(path);
    return s == QLatin1String("png") || s == QLatin1String("tif") || s == QLatin1String("tiff") || s == QLatin1String("dcm");
}

} // namespace tool
