#include "CommandLine.h"
#include "Commands.h"
#include "Phantom.h"
#include "RasterIO.h"
#include "ToothOutline.h"

#include "image2d/analysis/ToothSegmentation.h"

#include <QDir>
#include <QFileInfo>

#include <cstdio>

namespace tool {

namespace {

// "X,Y" in pixels.
bool parsePoint(const QString& text, QPoint& point)
{
    const QStringList parts = text.split(QLatin1Char(','));
    bool okX = false, okY = false;
    if (parts.size() == 2)
        point = QPoint(parts[0].trimmed().toInt(&okX), parts[1].trimmed().toInt(&okY));
    return okX && okY;
}

bool isPictureFile(const QString& path)
{
    const QString suffix = suffixOf(path);
    return suffix == QLatin1String("png") || suffix == QLatin1String("tif") || suffix == QLatin1String("tiff");
}

// The mask as an 8-bit picture: 255 inside the outline.
QImage maskPicture(const Image2D& mask)
{
    QImage picture(mask.getWidth(), mask.getHeight(), QImage::Format_Grayscale8);
    for (int y = 0; !picture.isNull() && y < mask.getHeight(); ++y)
        for (int x = 0; x < mask.getWidth(); ++x)
            picture.scanLine(y)[x] = mask.getConstData<std::uint8_t>()[std::size_t(y) * mask.getWidth() + x] ? 255 : 0;
    return picture;
}

} // namespace

int runSegmentCommand(const QStringList& arguments)
{
    const QString command = QStringLiteral("segment");
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Outlines the tooth around an origin and writes the radiograph as displayed with the\n"
        "outline drawn over it. The outline is the cheapest closed path through the image's\n"
        "edges around the origin, re-centred until it settles; from a point in the crown it\n"
        "follows the crown down to where the tooth meets the bone. Without INPUT the built-in\n"
        "phantom is outlined around its first whole tooth."));
    parser.addHelpOption();
    parser.addPositionalArgument(QStringLiteral("INPUT"), QStringLiteral("A DICOM, PNG or TIFF radiograph."), QStringLiteral("[INPUT]"));
    const QCommandLineOption output({QStringLiteral("o"), QStringLiteral("output")},
                                    QStringLiteral("Overlay picture, .png or .tif (default NAME_outline.png, phantom-outline.png)."),
                                    QStringLiteral("path"));
    const QCommandLineOption origin(QStringLiteral("origin"),
                                    QStringLiteral("A point inside the tooth, in pixels (default: the image's centre)."), QStringLiteral("X,Y"));
    const QCommandLineOption mask(QStringLiteral("mask"), QStringLiteral("Also write the outline's inside as an 8-bit mask (255 inside)."),
                                  QStringLiteral("path"));
    const QCommandLineOption ridges(QStringLiteral("ridges"),
                                    QStringLiteral("Also write the ridge and feature images as 8-bit PNGs into this folder."),
                                    QStringLiteral("folder"));
    const QCommandLineOption threshold(QStringLiteral("threshold"),
                                       QStringLiteral("Edge threshold: %1 (default, more edges) or %2 (fewer); any integer is taken.")
                                           .arg(image2d::ToothSegmentation::BINEDGE_THRESHOLD_VALUE_SMALL)
                                           .arg(image2d::ToothSegmentation::BINEDGE_THRESHOLD_VALUE_LARGE),
                                       QStringLiteral("value"));
    const QCommandLineOption quiet({QStringLiteral("q"), QStringLiteral("quiet")}, QStringLiteral("No progress line."));
    parser.addOptions({output, origin, mask, ridges, threshold, mediaOptionSpec(), quiet});
    int status = 0;
    if (!parseOrReport(parser, arguments, command, status,
                       QStringLiteral("Examples:\n  image2d segment -o outline.png --mask tooth.png\n"
                                      "  image2d segment bitewing.dcm --origin 640,420 --ridges ridges/\n")))
        return status;

    const QStringList inputs = parser.positionalArguments();
    if (inputs.size() > 1)
        return usageError(QStringLiteral("segment takes one INPUT"), command);
    Media media = Media::Intraoral;
    QString error;
    if (!mediaOption(parser, media, error))
        return usageError(error, command);
    QPoint start(-1, -1);
    if (parser.isSet(origin) && !parsePoint(parser.value(origin), start))
        return usageError(QStringLiteral("invalid origin \"%1\": expected X,Y in pixels").arg(parser.value(origin)), command);
    int edgeThreshold = image2d::ToothSegmentation::BINEDGE_THRESHOLD_VALUE_SMALL;
    bool ok = true;
    if (parser.isSet(threshold))
        edgeThreshold = parser.value(threshold).toInt(&ok);
    if (!ok)
        return usageError(QStringLiteral("invalid threshold \"%1\": expected an integer").arg(parser.value(threshold)), command);
    const bool phantom = inputs.isEmpty();
    const QString name = phantom ? QStringLiteral("phantom") : inputs.first();
    const QString overlayPath = parser.isSet(output) ? parser.value(output)
                                : phantom ? QStringLiteral("phantom-outline.png")
                                          : QDir(QFileInfo(name).path()).filePath(QFileInfo(name).completeBaseName() + QStringLiteral("_outline.png"));
    for (const QString& path : {overlayPath, parser.value(mask)})
        if (!path.isEmpty() && !isPictureFile(path))
            return usageError(QStringLiteral("output %1: use a .png, .tif or .tiff file").arg(path), command);

    const auto fail = [&](const QString& reason) {
        std::fprintf(stderr, "image2d: error: %s: %s\n", qUtf8Printable(name), qUtf8Printable(reason));
        return exitFailure;
    };
    LoadedImage loaded;
    if (phantom)
    {
        PhantomWithMasks made = makePhantomWithMasks(phantomLayoutFor(media));
        if (start.x() < 0)
            start = phantomToothOrigin(made.teeth, firstWholeTooth(made.teeth));
        loaded.image = std::move(made.image);
        loaded.bitsStored = 12;
        loaded.pixelSizeKnown = true;
    }
    else if (!readImage(name, loaded, error))
        return fail(error);
    if (start.x() < 0)
        start = QPoint(loaded.image.getWidth() / 2, loaded.image.getHeight() / 2);

    Image2D display;
    ToothOutline outline;
    if (!displayForOutline(loaded, media, display, error) || !outlineTooth(display, start, edgeThreshold, outline, error))
        return fail(error);
    QStringList written{overlayPath};
    if (!writeImage(drawOutline(display, outline, start), overlayPath, error))
        return fail(QStringLiteral("%1: %2").arg(overlayPath, error));
    if (parser.isSet(mask))
    {
        if (!writeImage(maskPicture(outline.mask), parser.value(mask), error))
            return fail(QStringLiteral("%1: %2").arg(parser.value(mask), error));
        written << parser.value(mask);
    }
    if (parser.isSet(ridges) && !writeRidgeImages(loaded.image, parser.value(ridges), written, error))
        return fail(error);
    if (!parser.isSet(quiet))
        std::fprintf(stderr, "image2d: [1/1] %s -> %s (outline %.1f x %.1f mm around %d,%d)\n", qUtf8Printable(name),
                     qUtf8Printable(written.join(QStringLiteral(", "))), outline.widthMm, outline.heightMm, start.x(),
                     start.y());
    return 0;
}

} // namespace tool
