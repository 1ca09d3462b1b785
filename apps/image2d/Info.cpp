#include "Info.h"

#include "CommandLine.h"
#include "Commands.h"
#include "CtCommands.h"
#include "Dicom.h"
#include "DisplayConversion.h"
#include "EnhanceJob.h"
#include "ImageIO.h"
#include "OutputPlan.h"
#include "Phantom.h"
#include "Report.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

namespace tool {

int runInfo(const QString& path, Media media, bool json)
{
    LoadedImage loaded;
    QString error;
    const bool ok = path.isEmpty() ? loadPhantom(media, loaded, error) : readImage(path, loaded, error);
    if (!ok)
    {
        printError(QStringLiteral("%1: %2").arg(path.isEmpty() ? QStringLiteral("phantom") : path, error));
        return exitFailure;
    }
    const Image2D& image = loaded.image;
    const auto range = image.getValueRange();
    const std::size_t n = image.getNumPixels();
    // Percentiles of the stored values: where the exposure sits in the detector's range.
    std::vector<double> sorted(n);
    for (int y = 0; y < image.getHeight(); ++y)
        rowAsDouble(image, y, sorted.data() + std::size_t(y) * std::size_t(image.getWidth()));
    double sum = 0;
    std::size_t atMin = 0, atMax = 0;
    for (const double v : sorted)
    {
        sum += v;
        atMin += v <= range.getMin();
        atMax += v >= range.getMax();
    }
    const double mean = n ? sum / double(n) : 0.0;
    auto percentile = [&](double p) {
        if (sorted.empty())
            return 0.0;
        const std::size_t k = std::min(sorted.size() - 1, std::size_t(p * double(sorted.size() - 1) + 0.5));
        std::nth_element(sorted.begin(), sorted.begin() + std::ptrdiff_t(k), sorted.end());
        return sorted[k];
    };
    const double p01 = percentile(0.01), p50 = percentile(0.5), p99 = percentile(0.99);
    const auto automatic = automaticLevelWindow(image, media, loaded.padding);
    const auto gamma = automatic ? automaticGamma(image, automatic->first, automatic->second) : std::nullopt;
    const auto padding = std::count(loaded.padding.cbegin(), loaded.padding.cend(), '\1');

    // Every key is always there; what the image does not have is null.
    auto optionalNumber = [](const auto& value) { return value ? QJsonValue(double(*value)) : QJsonValue(QJsonValue::Null); };
    QJsonObject o;
    o[QStringLiteral("file")] = path.isEmpty() ? QStringLiteral("phantom") : path;
    o[QStringLiteral("format")] = loaded.format;
    o[QStringLiteral("width")] = image.getWidth();
    o[QStringLiteral("height")] = image.getHeight();
    o[QStringLiteral("pixelType")] = image.getDataTypeString();
    o[QStringLiteral("bitsStored")] = loaded.bitsStored;
    o[QStringLiteral("pixelSizeKnown")] = loaded.pixelSizeKnown;
    o[QStringLiteral("pixelSize")] =
        QJsonArray{shortestDouble(image.getPixelSize().x()), shortestDouble(image.getPixelSize().y())};
    o[QStringLiteral("photometric")] = loaded.photometric.isEmpty() ? QJsonValue(QJsonValue::Null) : QJsonValue(loaded.photometric);
    o[QStringLiteral("shownInverted")] = loaded.displayInverted;
    o[QStringLiteral("rescaleSlope")] = loaded.slope;
    o[QStringLiteral("rescaleIntercept")] = loaded.intercept;
    o[QStringLiteral("minimum")] = shortestDouble(range.getMin());
    o[QStringLiteral("maximum")] = shortestDouble(range.getMax());
    o[QStringLiteral("mean")] = mean;
    o[QStringLiteral("percentile1")] = p01;
    o[QStringLiteral("median")] = p50;
    o[QStringLiteral("percentile99")] = p99;
    o[QStringLiteral("fractionAtMinimum")] = n ? double(atMin) / double(n) : 0.0;
    o[QStringLiteral("fractionAtMaximum")] = n ? double(atMax) / double(n) : 0.0;
    o[QStringLiteral("paddingPixels")] = double(padding);
    o[QStringLiteral("media")] = mediaName(media);
    o[QStringLiteral("autoLevel")] = automatic ? QJsonValue(automatic->first) : QJsonValue(QJsonValue::Null);
    o[QStringLiteral("autoWindow")] = automatic ? QJsonValue(automatic->second) : QJsonValue(QJsonValue::Null);
    o[QStringLiteral("autoGamma")] = gamma ? QJsonValue(shortestDouble(*gamma)) : QJsonValue(QJsonValue::Null);
    o[QStringLiteral("fileLevel")] = optionalNumber(loaded.fileLevel);
    o[QStringLiteral("fileWindow")] = optionalNumber(loaded.fileWindow);
    o[QStringLiteral("notes")] = QJsonArray::fromStringList(loaded.notes);
    // Exposure class, sharpness and the collimated field's values.
    const Measurement measured = measure(image, loaded.bitsStored, loaded.padding);
    const QJsonObject measuredJson = measurementJson(measured);
    for (auto it = measuredJson.begin(); it != measuredJson.end(); ++it)
        o[it.key()] = it.value();

    if (json)
    {
        std::printf("%s\n", QJsonDocument(o).toJson(QJsonDocument::Indented).constData());
        return 0;
    }
    auto line = [](const char* key, const QString& value) { std::printf("%-22s %s\n", key, qUtf8Printable(value)); };
    line("file:", o[QStringLiteral("file")].toString());
    line("format:", loaded.format);
    line("size:", QStringLiteral("%1 x %2 pixels").arg(image.getWidth()).arg(image.getHeight()));
    line("pixel type:", QStringLiteral("%1, %2 bits stored").arg(image.getDataTypeString()).arg(loaded.bitsStored));
    line("pixel size:", loaded.pixelSizeKnown
                            ? QStringLiteral("%1 x %2 mm").arg(image.getPixelSize().x()).arg(image.getPixelSize().y())
                            : QStringLiteral("unknown"));
    if (!loaded.photometric.isEmpty())
        line("photometric:", loaded.photometric + (loaded.displayInverted ? QStringLiteral(" (shown inverted)") : QString()));
    if (loaded.slope != 1.0 || loaded.intercept != 0.0)
        line("rescale:", QStringLiteral("slope %1, intercept %2").arg(loaded.slope).arg(loaded.intercept));
    line("value range:", QStringLiteral("%1 .. %2, mean %3").arg(range.getMin()).arg(range.getMax()).arg(mean, 0, 'f', 1));
    line("percentiles:", QStringLiteral("1 % below %1, median %2, 99 % below %3").arg(p01).arg(p50).arg(p99));
    line("clipped pixels:", QStringLiteral("%1 % at the minimum, %2 % at the maximum")
                                .arg(100.0 * o[QStringLiteral("fractionAtMinimum")].toDouble(), 0, 'f', 2)
                                .arg(100.0 * o[QStringLiteral("fractionAtMaximum")].toDouble(), 0, 'f', 2));
    if (padding > 0)
        line("padding:", QStringLiteral("%1 pixels, left out of the automatic window").arg(padding));
    line("auto level/window:", automatic ? QStringLiteral("level %1, window %2 (%3)")
                                               .arg(automatic->first).arg(automatic->second).arg(mediaName(media))
                                         : QStringLiteral("not available for this image"));
    if (loaded.fileWindow)
        line("window in file:", QStringLiteral("level %1, window %2").arg(*loaded.fileLevel).arg(*loaded.fileWindow));
    for (const auto& [label, text] : measurementFacts(measured))
        line(qUtf8Printable(label), text);
    for (const QString& note : loaded.notes)
        line("note:", note);
    return 0;
}

int runInfoCommand(const QStringList& arguments)
{
    const QString command = QStringLiteral("info");
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Prints size, pixel type, pixel size, value range and display facts of INPUT\n"
                                                    "(the built-in phantom when INPUT is left out), with its exposure class (dark, balanced,\n"
                                                    "bright), sharpness and the values inside the collimated field. Several INPUTs, a folder\n"
                                                    "of PNG or TIFF images, or --csv give the report, one row per image. A folder of\n"
                                                    "DICOM files holding a CT series (or --media ct without INPUT) gives the volume's\n"
                                                    "facts and its CT window."));
    parser.addHelpOption();
    parser.addPositionalArgument(QStringLiteral("INPUT"), QStringLiteral("DICOM, PNG or TIFF files, or folders of them."),
                                 QStringLiteral("[INPUT...]"));
    const QCommandLineOption json(QStringLiteral("json"), QStringLiteral("Print one JSON object (every key present; null where "
                                                                         "the image has no such value); for the report, an array of them."));
    const QCommandLineOption csv(QStringLiteral("csv"),
                                 QStringLiteral("Write the exposure and sharpness report of the inputs, one row per "
                                                "image, to FILE (- for stdout)."),
                                 QStringLiteral("file"));
    parser.addOptions({mediaOptionSpec(), json, csv});
    int status = 0;
    if (!parseOrReport(parser, arguments, command, status,
                       QStringLiteral("Examples:\n  image2d info IMG0001.dcm\n  image2d info scan.png --media panoramic --json\n"
                                      "  image2d info today/ --csv report.csv\n")))
        return status;
    // Several images, --csv, or a folder of PNG or TIFF images: the report, one row per image.
    // (A folder of DICOM files alone is read as a CT series.)
    const QStringList inputs = parser.positionalArguments();
    const auto holdsRasterImages = [](const QString& path) {
        const QStringList images = QFileInfo(path).isDir() ? imagesInFolder(path, false) : QStringList{};
        return std::any_of(images.begin(), images.end(), [](const QString& image) { return !looksLikeDicom(image); });
    };
    if (parser.isSet(csv) || inputs.size() > 1 || (inputs.size() == 1 && holdsRasterImages(inputs[0])))
        return inputs.isEmpty() ? usageError(QStringLiteral("--csv needs INPUT files or folders"), command)
                                : runReport(inputs, parser.value(csv), parser.isSet(json));
    const QString ctInput = parser.positionalArguments().value(0);
    if (parser.positionalArguments().size() <= 1 &&
        (parser.value(QStringLiteral("media")) == QLatin1String("ct") || QFileInfo(ctInput).isDir()))
        return runCtInfo(ctInput, parser.isSet(json));
    Media media = Media::Intraoral;
    QString error;
    if (!mediaOption(parser, media, error))
        return usageError(error, command);
    return runInfo(parser.positionalArguments().value(0), media, parser.isSet(json));
}

} // namespace tool
