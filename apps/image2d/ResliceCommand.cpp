#include "CommandLine.h"
#include "Commands.h"
#include "CtPhantom.h"
#include "DentalArch.h"
#include "DecoderChild.h"
#include "DicomSeries.h"
#include "DisplayConversion.h"
#include "EnhanceOptions.h"
#include "RasterIO.h"
#include "ResliceJob.h"

#include <QFileInfo>

#include <cmath>
#include <cstdio>

namespace tool {

namespace {

QString resliceDescription()
{
    return QStringLiteral(
        "Writes a 2D image of a dental CT: a panoramic section along the dental arch (the CT values,\n"
        "shown through the CT's automatic window), a simulated panoramic X-ray (the mean opacity through\n"
        "a slab around the arch) or a generated cephalogram (a projection across the whole head, with\n"
        "the volume sharpened and boosted before and tone-mapped after). The arch is found in an axial\n"
        "maximum-intensity projection at the level of the teeth, or read from --arch. The display\n"
        "options are those of 'image2d enhance'; --level/--window are in Hounsfield units for the\n"
        "panoramic section and in 12-bit detector values (0..4095) for the projections.");
}

QString resliceEpilog()
{
    return QStringLiteral(
        "Arch file (--arch): a JSON list of [x, y] points in mm, in the volume's own frame: the centre\n"
        "of the first voxel is (0, 0), x runs along the rows (towards the patient's left), y down the\n"
        "columns (towards the back), for example [[25, 58], [51, 21], [77, 58]]. The curve is followed\n"
        "from the first point to the last, from the bottom of the volume to its top.\n"
        "\n"
        "Examples:\n"
        "  image2d reslice --phantom -o panoramic.png --compare panoramic-compare.png\n"
        "  image2d reslice CT_SERIES/ --type xray --thickness 20 -o xray.png --preset default\n"
        "  image2d reslice CT_SERIES/ --type ceph --view left -o ceph.png --depth 16\n");
}

bool readThickness(const QString& text, float& thickness)
{
    bool ok = false;
    thickness = text.trimmed().toFloat(&ok);
    return ok && std::isfinite(thickness) && thickness > 0.0f && thickness <= 1000.0f;
}

} // namespace

int runResliceCommand(const QStringList& arguments)
{
    const QString command = QStringLiteral("reslice");
    QCommandLineParser parser;
    parser.setApplicationDescription(resliceDescription());
    parser.addHelpOption();
    parser.addPositionalArgument(QStringLiteral("SERIES_DIR"), QStringLiteral("Folder holding one CT series (DICOM files)."),
                                 QStringLiteral("SERIES_DIR|--phantom"));
    const QCommandLineOption phantom(QStringLiteral("phantom"), QStringLiteral("Use the built-in CT phantom."));
    const QCommandLineOption output({QStringLiteral("o"), QStringLiteral("output")},
                                    QStringLiteral("Output file, .png, .tif or .tiff (required)."), QStringLiteral("path"));
    const QCommandLineOption type(QStringLiteral("type"), QStringLiteral("panoramic (default), xray or ceph."),
                                  QStringLiteral("kind"));
    const QCommandLineOption arch(QStringLiteral("arch"),
                                  QStringLiteral("auto (default) or a JSON file of arch points in mm (panoramic, xray)."),
                                  QStringLiteral("auto|file"));
    const QCommandLineOption thickness(QStringLiteral("thickness"),
                                       QStringLiteral("Depth of the projection in mm, up to 1000: xray 16 by default, ceph "
                                                      "the width of the volume."),
                                       QStringLiteral("mm"));
    const QCommandLineOption view(QStringLiteral("view"), QStringLiteral("ceph: the side the head is seen from, right "
                                                                         "(default, face to the right) or left."),
                                  QStringLiteral("side"));
    const QCommandLineOption compare(QStringLiteral("compare"),
                                     QStringLiteral("Also write the axial projection at the teeth, with the curve "
                                                    "drawn, beside the result."),
                                     QStringLiteral("file"));
    parser.addOptions({phantom, output, type, arch, thickness, view, compare});
    const EnhanceOptions display;
    display.addDisplayTo(parser);
    int status = 0;
    if (!parseOrReport(parser, arguments, command, status, resliceEpilog()))
        return status;

    const QStringList positional = parser.positionalArguments();
    if (parser.isSet(phantom) == !positional.isEmpty() || positional.size() > 1)
        return usageError(QStringLiteral("give one CT series folder or --phantom"), command);
    if (!positional.isEmpty() && !QFileInfo(positional.first()).isDir())
        return usageError(QStringLiteral("%1 is not a folder: give the folder of a CT series").arg(positional.first()), command);
    if (!parser.isSet(output))
        return usageError(QStringLiteral("reslice needs an output file: -o OUT.png"), command);
    const QString suffix = suffixOf(parser.value(output));
    if (suffix != QLatin1String("png") && suffix != QLatin1String("tif") && suffix != QLatin1String("tiff"))
        return usageError(QStringLiteral("output %1: use a .png, .tif or .tiff file").arg(parser.value(output)), command);
    if (parser.isSet(compare) && !isWritableSuffix(parser.value(compare)))
        return usageError(QStringLiteral("--compare %1: use a .png or .tif file").arg(parser.value(compare)), command);

    ResliceRequest request;
    if (parser.isSet(type) && !parseResliceKind(parser.value(type), request.kind))
        return usageError(QStringLiteral("unknown type \"%1\" (use panoramic, xray or ceph)").arg(parser.value(type)), command);
    const bool ceph = request.kind == ResliceKind::Ceph;
    if (parser.isSet(arch))
    {
        if (ceph)
            return usageError(QStringLiteral("--arch is for panoramic and xray: a cephalogram goes across the head"), command);
        QString error;
        if (parser.value(arch) != QLatin1String("auto") && !readArchFile(parser.value(arch), request.arch, error))
            return usageError(QStringLiteral("--arch %1: %2").arg(parser.value(arch), error), command);
    }
    if (parser.isSet(thickness))
    {
        float t = 0.0f;
        if (request.kind == ResliceKind::Panoramic)
            return usageError(QStringLiteral("--thickness is for --type xray and ceph: a panoramic section has none"), command);
        if (!readThickness(parser.value(thickness), t))
            return usageError(QStringLiteral("invalid thickness \"%1\": expected mm above 0, at most 1000")
                                  .arg(parser.value(thickness)),
                              command);
        request.thickness = t;
    }
    if (parser.isSet(view))
    {
        const QString side = parser.value(view).trimmed().toLower();
        if (!ceph)
            return usageError(QStringLiteral("--view is for --type ceph"), command);
        if (side != QLatin1String("left") && side != QLatin1String("right"))
            return usageError(QStringLiteral("invalid view \"%1\": use left or right").arg(parser.value(view)), command);
        request.view = side == QLatin1String("left") ? meta::PointOfView::Left : meta::PointOfView::Right;
    }
    request.settings.media = ceph ? Media::Ceph : Media::Panoramic;
    PngCompression compression = PngCompression::Fast;
    QString error;
    if (!parseDisplayOptions(parser, display, request.settings, compression, error))
        return usageError(error, command);
    request.compare = parser.isSet(compare);

    const QString name = parser.isSet(phantom) ? QStringLiteral("phantom") : positional.first();
    const bool quiet = parser.isSet(display.quiet);
    auto progress = [&](const QString& line) {
        if (!quiet)
            std::fprintf(stderr, "image2d: %s: %s\n", qUtf8Printable(name), qUtf8Printable(line));
    };
    auto fail = [&](const QString& reason) {
        printError(QStringLiteral("%1: %2").arg(name, reason));
        return exitFailure;
    };

    auto volume = std::make_shared<VoxenImage3D>();
    if (parser.isSet(phantom))
        *volume = ctphantom::makeCtPhantom();
    else
    {
        ctvolume::CtSeries series;
        if (!readCtSeriesIsolated(positional.first(), series, error))
            return fail(error);
        for (const QString& note : series.notes)
            std::fprintf(stderr, "image2d: note: %s: %s\n", qUtf8Printable(name), qUtf8Printable(note));
        *volume = std::move(series.volume);
    }
    if (!volume->isValid())
        return fail(QStringLiteral("not enough memory for the volume"));
    const math::Ivec3 n = volume->imageSize();
    const QVector3D v = volume->voxelSize();
    progress(QStringLiteral("%1 x %2 x %3 voxels of %4 x %5 x %6 mm")
                 .arg(n.x).arg(n.y).arg(n.z).arg(double(v.x())).arg(double(v.y())).arg(double(v.z())));

    ResliceOutcome outcome;
    if (!runReslice(volume, request, outcome, error, progress))
        return fail(error);
    for (const QString& note : outcome.notes)
        progress(note);
    QImage picture = toDisplayImage(outcome.display, request.settings.depth);
    if (picture.isNull())
        return fail(QStringLiteral("not enough memory for the output picture"));
    // The pixel size of a reslice is known whatever it is: record it.
    const QVector3D pixel = outcome.display.getPixelSize();
    if (pixel.x() > 0 && pixel.y() > 0)
    {
        picture.setDotsPerMeterX(int(std::lround(1000.0 / pixel.x())));
        picture.setDotsPerMeterY(int(std::lround(1000.0 / pixel.y())));
    }
    if (!writeImage(picture, parser.value(output), error, compression))
        return fail(QStringLiteral("%1: %2").arg(parser.value(output), error));
    if (request.compare && !writeImage(outcome.compare, parser.value(compare), error, compression))
        return fail(QStringLiteral("%1: %2").arg(parser.value(compare), error));
    progress(QStringLiteral("-> %1").arg(parser.value(output)));
    return 0;
}

} // namespace tool
