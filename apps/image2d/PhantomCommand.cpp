#include "CommandLine.h"
#include "Commands.h"
#include "CtCommands.h"
#include "Dicom.h"
#include "DisplayConversion.h"
#include "Phantom.h"
#include "RasterIO.h"

#include <QDir>
#include <QFileInfo>

namespace tool {

int runPhantomCommand(const QStringList& arguments)
{
    const QString command = QStringLiteral("phantom");
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Writes the built-in synthetic radiograph as stored data: 12-bit values, brighter\n"
        "is denser, in a 16-bit PNG or TIFF, or an uncompressed DICOM file (.dcm).\n"
        "--media ct writes a synthetic dental CT as a DICOM series into the folder -o."));
    parser.addHelpOption();
    const QCommandLineOption output({QStringLiteral("o"), QStringLiteral("output")},
                                    QStringLiteral("Output file, .png, .tif or .dcm (default phantom-MEDIA.png)."), QStringLiteral("path"));
    const QCommandLineOption masks(QStringLiteral("masks"),
                                   QStringLiteral("Also write the ground-truth masks into this folder: teeth.png (one label per "
                                                  "tooth), pulp.png and bone.png (255 where present), 8-bit."),
                                   QStringLiteral("folder"));
    const QCommandLineOption exposure(QStringLiteral("exposure"),
                                      QStringLiteral("Dose: under (a bright image), normal (default), over (burnt dark), or a dose "
                                                     "relative to normal."),
                                      QStringLiteral("level"));
    const QCommandLineOption blur(QStringLiteral("blur"), QStringLiteral("Detector unsharpness: a Gaussian of SIGMA pixels (0 to 50)."),
                                  QStringLiteral("sigma"));
    parser.addOptions({output, mediaOptionSpec(), masks, exposure, blur});
    int status = 0;
    if (!parseOrReport(parser, arguments, command, status,
                       QStringLiteral("Examples:\n  image2d phantom -o phantom.dcm\n  image2d phantom --media ceph -o ceph.png --masks ceph-masks\n"
                                      "  image2d phantom --exposure under --blur 2 -o soft-and-light.png\n")))
        return status;
    if (!parser.positionalArguments().isEmpty())
        return usageError(QStringLiteral("phantom takes no INPUT"), command);
    if (parser.value(QStringLiteral("media")) == QLatin1String("ct"))
        return parser.isSet(output) ? writeCtPhantomSeries(parser.value(output))
                                    : usageError(QStringLiteral("phantom --media ct needs a folder: -o FOLDER"), command);
    Media media = Media::Intraoral;
    QString error;
    if (!mediaOption(parser, media, error))
        return usageError(error, command);
    const QString path = parser.isSet(output) ? parser.value(output) : QStringLiteral("phantom-%1.png").arg(mediaName(media));
    if (!isWritableSuffix(path))
        return usageError(QStringLiteral("output %1: use a .png, .tif, .tiff or .dcm file").arg(path), command);
    if (parser.isSet(masks) && !QDir().mkpath(parser.value(masks)))
        return usageError(QStringLiteral("cannot create the folder %1").arg(parser.value(masks)), command);
    PhantomAcquisition acquisition;
    if (parser.isSet(exposure))
    {
        const QString level = parser.value(exposure);
        bool number = false;
        acquisition.dose = level == QLatin1String("under")    ? underExposure
                           : level == QLatin1String("over")   ? overExposure
                           : level == QLatin1String("normal") ? 1.0
                                                              : level.toDouble(&number);
        if (!(acquisition.dose > 0.0 && acquisition.dose <= 100.0))
            return usageError(QStringLiteral("invalid exposure \"%1\": use under, normal, over or a relative dose "
                                             "above 0 and at most 100").arg(level), command);
    }
    if (parser.isSet(blur))
    {
        bool ok = false;
        acquisition.blur = parser.value(blur).toDouble(&ok);
        if (!ok || !(acquisition.blur >= 0.0 && acquisition.blur <= 50.0))
            return usageError(QStringLiteral("invalid blur \"%1\": expected a sigma from 0 to 50").arg(parser.value(blur)), command);
    }
    const PhantomWithMasks phantom = makePhantomWithMasks(phantomLayoutFor(media), acquisition);
    if (!phantom.image.isValid())
    {
        printError(QStringLiteral("%1: not enough memory for the phantom").arg(path));
        return exitFailure;
    }
    const bool ok = QFileInfo(path).suffix().toLower() == QLatin1String("dcm") ? writeDicom(phantom.image, 12, path, error)
                                                                             : writeImage(toRawImage(phantom.image), path, error);
    if (!ok)
    {
        printError(QStringLiteral("%1: %2").arg(path, error));
        return exitFailure;
    }
    if (parser.isSet(masks))
    {
        const QDir folder(parser.value(masks));
        const std::pair<const char*, const Image2D*> files[] = {
            {"teeth.png", &phantom.teeth}, {"pulp.png", &phantom.pulp}, {"bone.png", &phantom.bone}};
        for (const auto& [name, mask] : files)
        {
            const QString file = folder.filePath(QLatin1String(name));
            if (!writeImage(toRawImage(*mask), file, error))
            {
                printError(QStringLiteral("%1: %2").arg(file, error));
                return exitFailure;
            }
        }
    }
    return 0;
}

} // namespace tool
