#include "Info.h"

#include "Batch.h"
#include "EnhanceJob.h"
#include "ImageIO.h"
#include "Phantom.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <cmath>
#include <vector>
#include <cstdio>

namespace tool {

namespace {

double pixelValue(const Image2D& image, std::size_t i)
{
    switch (image.getDataType())
    {
    case Image2D::UNSIGNED_SHORT: return image.getConstData<std::uint16_t>()[i];
    case Image2D::SHORT: return image.getConstData<std::int16_t>()[i];
    case Image2D::UNSIGNED_CHAR: return image.getConstData<std::uint8_t>()[i];
    case Image2D::FLOAT: return image.getConstData<float>()[i];
    default: return 0.0;
    }
}

} // namespace

int runInfo(const QString& path, Media media, bool json)
{
    LoadedImage loaded;
    QString error;
    if (path.isEmpty())
    {
        loaded.image = makePhantom(phantomLayoutFor(media));
        loaded.format = QStringLiteral("phantom");
        loaded.bitsStored = 12;
        loaded.pixelSizeKnown = true;
    }
    else if (!readImage(path, loaded, error))
    {
        std::fprintf(stderr, "image2d: error: %s: %s\n", qUtf8Printable(path), qUtf8Printable(error));
        return 1;
    }
    const Image2D& image = loaded.image;
    const auto range = image.getValueRange();
    const std::size_t n = image.getNumPixels();
    double sum = 0;
    std::size_t atMin = 0, atMax = 0;
    for (std::size_t i = 0; i < n; ++i)
    {
        const double v = pixelValue(image, i);
        sum += v;
        atMin += v <= range.getMin();
        atMax += v >= range.getMax();
    }
    const double mean = n ? sum / double(n) : 0.0;
    // Percentiles of the stored values: where the exposure sits in the detector's range.
    std::vector<double> sorted;
    sorted.reserve(n);
    for (std::size_t i = 0; i < n; ++i)
        sorted.push_back(pixelValue(image, i));
    auto percentile = [&](double p) {
        if (sorted.empty())
            return 0.0;
        const std::size_t k = std::min(sorted.size() - 1, std::size_t(p * double(sorted.size() - 1) + 0.5));
        std::nth_element(sorted.begin(), sorted.begin() + std::ptrdiff_t(k), sorted.end());
        return sorted[k];
    };
    const double p01 = percentile(0.01), p50 = percentile(0.5), p99 = percentile(0.99);
    const auto automatic = automaticLevelWindow(image, media);

    QJsonObject o;
    o[QStringLiteral("file")] = path.isEmpty() ? QStringLiteral("phantom") : path;
    o[QStringLiteral("format")] = loaded.format;
    o[QStringLiteral("width")] = image.getWidth();
    o[QStringLiteral("height")] = image.getHeight();
    o[QStringLiteral("pixelType")] = image.getDataTypeString();
    o[QStringLiteral("bitsStored")] = loaded.bitsStored;
    o[QStringLiteral("pixelSizeKnown")] = loaded.pixelSizeKnown;
    o[QStringLiteral("pixelSize")] = QJsonArray{image.getPixelSize().x(), image.getPixelSize().y()};
    if (!loaded.photometric.isEmpty())
        o[QStringLiteral("photometric")] = loaded.photometric;
    o[QStringLiteral("shownInverted")] = loaded.displayInverted;
    o[QStringLiteral("rescaleSlope")] = loaded.slope;
    o[QStringLiteral("rescaleIntercept")] = loaded.intercept;
    o[QStringLiteral("minimum")] = range.getMin();
    o[QStringLiteral("maximum")] = range.getMax();
    o[QStringLiteral("mean")] = mean;
    o[QStringLiteral("percentile1")] = p01;
    o[QStringLiteral("median")] = p50;
    o[QStringLiteral("percentile99")] = p99;
    o[QStringLiteral("fractionAtMinimum")] = n ? double(atMin) / double(n) : 0.0;
    o[QStringLiteral("fractionAtMaximum")] = n ? double(atMax) / double(n) : 0.0;
    o[QStringLiteral("media")] = mediaName(media);
    if (automatic)
    {
        o[QStringLiteral("autoLevel")] = automatic->first;
        o[QStringLiteral("autoWindow")] = automatic->second;
    }
    if (loaded.fileWindow)
    {
        o[QStringLiteral("fileLevel")] = *loaded.fileLevel;
        o[QStringLiteral("fileWindow")] = *loaded.fileWindow;
    }
    o[QStringLiteral("notes")] = QJsonArray::fromStringList(loaded.notes);

    if (json)
    {
        std::printf("%s\n", QJsonDocument(o).toJson(QJsonDocument::Indented).constData());
        return 0;
    }
    auto line = [](const char* key, const QString& value) {
        std::printf("%-22s %s\n", key, qUtf8Printable(value));
    };
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
    line("auto level/window:", automatic ? QStringLiteral("level %1, window %2 (%3)")
                                               .arg(automatic->first).arg(automatic->second).arg(mediaName(media))
                                         : QStringLiteral("not available for this image"));
    if (loaded.fileWindow)
        line("window in file:", QStringLiteral("level %1, window %2").arg(*loaded.fileLevel).arg(*loaded.fileWindow));
    for (const QString& note : loaded.notes)
        line("note:", note);
    return 0;
}

} // namespace tool
