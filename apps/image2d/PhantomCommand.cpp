#include "CommandLine.h"
#include "Commands.h"
#include "CtCommands.h"
#include "Dicom.h"
#include "DisplayConversion.h"
#include "Phantom.h"
#include "RasterIO.h"

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
    parser.addOptions({output, mediaOptionSpec()});
    int status = 0;
    if (!parseOrReport(parser, arguments, command, status,
                       QStringLiteral("Examples:\n  image2d phantom -o phantom.dcm\n  image2d phantom --media ceph -o ceph.png\n")))
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
    const Image2D image = makePhantom(phantomLayoutFor(media));
    const bool ok = QFileInfo(path).suffix().toLower() == QLatin1String("dcm") ? writeDicom(image, 12, path, error)
                                                                             : writeImage(toRawImage(image), path, error);
    if (!ok)
    {
        printError(QStringLiteral("%1: %2").arg(path, error));
        return exitFailure;
    }
    return 0;
}

} // namespace tool
