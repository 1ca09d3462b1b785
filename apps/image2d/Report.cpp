#include "Report.h"

#include "CommandLine.h"
#include "ImageIO.h"
#include "OutputPlan.h"

#include "image2d/analysis/Exposure.h"
#include "image2d/analysis/Measurements.h"
#include "image2d/enhancement/Ketrix.h"
#include "image2d/framework/Dispatch.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonValue>
#include <QSaveFile>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <vector>

namespace tool {

namespace {

// The range of stored values the detector can give, mapped to 0..255.
std::pair<double, double> detectorRange(const Image2D& image, int bitsStored)
{
    const auto range = image.getValueRange();
    switch (image.getDataType())
    {
    case Image2D::UNSIGNED_CHAR:
    case Image2D::BINARY: return {0.0, image.getDataType() == Image2D::BINARY ? 1.0 : 255.0};
    case Image2D::UNSIGNED_SHORT:
    case Image2D::SHORT:
    {
        // A 16-bit container rarely says how many bits the sensor gave: 12, 14 or 16, the
        // fewest that hold the largest value.
        int bits = bitsStored;
        if (bits <= 0 || bits >= 16)
            bits = range.getMax() < 4096.0f ? 12 : range.getMax() < 16384.0f ? 14 : 16;
        const double low = std::min(0.0, double(range.getMin()));
        return {low, low + std::ldexp(1.0, bits) - 1.0};
    }
    default: return {range.getMin(), std::max(range.getMax(), range.getMin() + 1.0f)};
    }
}

QString exposureName(image2d::Exposure::ExposureType type)
{
    switch (type)
    {
    case image2d::Exposure::DARK: return QStringLiteral("dark");
    case image2d::Exposure::BRIGHT: return QStringLiteral("bright");
    default: return QStringLiteral("balanced");
    }
}

QString csvField(QString text)
{
    if (!text.contains(QLatin1Char(',')) && !text.contains(QLatin1Char('"')) && !text.contains(QLatin1Char('\n')))
        return text;
    return QLatin1Char('"') + text.replace(QLatin1Char('"'), QLatin1String("\"\"")) + QLatin1Char('"');
}

QString number(const std::optional<float>& value)
{
    return value ? QString::number(double(*value), 'g', 9) : QString();
}

} // namespace

Image2D detectorView8(const Image2D& image, int bitsStored)
{
    Image2D view(image.getSize(), Image2D::UNSIGNED_CHAR, image.getPixelSize());
    if (!view.isValid() || !image.isValid())
        return view;
    const auto range = detectorRange(image, bitsStored);
    const double low = range.first, scale = 255.0 / (range.second - low);
    std::uint8_t* out = view.getData<std::uint8_t>();
    image2d::dispatchDataType(image2d::AllPixelTypes{}, image.getDataType(), "", [&](auto tag) {
        using T = typename decltype(tag)::type;
        const T* in = image.getConstData<T>();
        for (std::size_t i = 0; i < image.getNumPixels(); ++i)
        {
            const double v = std::round((double(in[i]) - low) * scale);
            out[i] = static_cast<std::uint8_t>(std::isnan(v) ? 0.0 : std::clamp(v, 0.0, 255.0));
        }
    });
    view.editFinished();
    return view;
}

Image2D collimatedField(const Image2D& view8, const QByteArray& padding)
{
    const int w = view8.getWidth(), h = view8.getHeight();
    const std::size_t n = view8.getNumPixels();
    Image2D field(view8.getSize(), Image2D::BINARY, view8.getPixelSize());
    if (!field.isValid() || n == 0)
        return field;
    const std::uint8_t* v = view8.getConstData<std::uint8_t>();
    std::uint8_t* inside = field.getData<std::uint8_t>();
    const bool padded = static_cast<std::size_t>(padding.size()) == n;
    for (std::size_t i = 0; i < n; ++i)
        inside[i] = padded && padding[qsizetype(i)] ? 0 : 1;

    // Unexposed detector behind the collimator is the brightest plateau, and it reaches the
    // border; a bright border below the top tenth of the range is anatomy, not collimation.
    std::vector<std::size_t> border;
    for (int x = 0; x < w; ++x)
        border.push_back(std::size_t(x)), border.push_back(std::size_t(h - 1) * w + x);
    for (int y = 0; y < h; ++y)
        border.push_back(std::size_t(y) * w), border.push_back(std::size_t(y) * w + w - 1);
    std::vector<int> values;
    for (const std::size_t i : border)
        values.push_back(v[i]);
    std::nth_element(values.begin(), values.begin() + std::ptrdiff_t(values.size() * 99 / 100), values.end());
    const int plateau = values[values.size() * 99 / 100];
    if (plateau >= 230)
    {
        const int threshold = plateau - 10; // 4 % of full scale
        std::vector<std::size_t> stack;
        for (const std::size_t i : border)
            if (v[i] >= threshold && inside[i])
                inside[i] = 0, stack.push_back(i);
        while (!stack.empty())
        {
            const std::size_t i = stack.back();
            stack.pop_back();
            const int x = int(i % std::size_t(w)), y = int(i / std::size_t(w));
            for (const auto& [dx, dy] : {std::pair{1, 0}, {-1, 0}, {0, 1}, {0, -1}})
            {
                if (x + dx < 0 || x + dx >= w || y + dy < 0 || y + dy >= h)
                    continue;
                const std::size_t j = std::size_t(y + dy) * w + (x + dx);
                if (inside[j] && v[j] >= threshold)
                    inside[j] = 0, stack.push_back(j);
            }
        }
    }
    if (std::count(inside, inside + n, 1) < std::ptrdiff_t(n / 10))
        for (std::size_t i = 0; i < n; ++i)
            inside[i] = padded && padding[qsizetype(i)] ? 0 : 1;
    field.editFinished();
    return field;
}

Measurement measure(const Image2D& image, int bitsStored, const QByteArray& padding)
{
    Measurement m;
    const Image2D view = detectorView8(image, bitsStored);
    if (!view.isValid() || view.getNumPixels() == 0)
        return m;
    const Image2D field = collimatedField(view, padding);
    const auto inside = std::count(field.getConstData<std::uint8_t>(), field.getConstData<std::uint8_t>() + field.getNumPixels(), 1);
    m.fieldFraction = double(inside) / double(field.getNumPixels());
    if (const auto type = image2d::classifyExposure(view, field))
        m.exposure = exposureName(*type);
    m.sharpness = image2d::sharpnessEstimate(view);
    if (const auto range = image2d::minMaxOfMaskedArea(image, field))
        m.fieldMinimum = range->first, m.fieldMaximum = range->second;
    return m;
}

QJsonObject measurementJson(const Measurement& m)
{
    const auto optional = [](const std::optional<float>& v) { return v ? QJsonValue(double(*v)) : QJsonValue(); };
    QJsonObject o;
    o[QStringLiteral("exposure")] = m.exposure.isEmpty() ? QJsonValue() : QJsonValue(m.exposure);
    o[QStringLiteral("sharpness")] = m.sharpness;
    o[QStringLiteral("fieldFraction")] = m.fieldFraction;
    o[QStringLiteral("fieldMinimum")] = optional(m.fieldMinimum);
    o[QStringLiteral("fieldMaximum")] = optional(m.fieldMaximum);
    return o;
}

QList<std::pair<QString, QString>> measurementFacts(const Measurement& m)
{
    return {{QStringLiteral("exposure:"), m.exposure.isEmpty() ? QStringLiteral("none") : m.exposure},
            {QStringLiteral("sharpness:"), QString::number(m.sharpness, 'f', 1)},
            {QStringLiteral("collimated field:"), QStringLiteral("%1 % of the image, values %2 .. %3")
                                                      .arg(100.0 * m.fieldFraction, 0, 'f', 1)
                                                      .arg(number(m.fieldMinimum), number(m.fieldMaximum))}};
}

QString reportCsvHeader()
{
    return QStringLiteral("file,width,height,pixelType,exposure,sharpness,fieldFraction,fieldMinimum,fieldMaximum");
}

QString reportCsvRow(const QString& file, const Image2D& image, const Measurement& m)
{
    return QStringList{csvField(file),
                       QString::number(image.getWidth()),
                       QString::number(image.getHeight()),
                       image.getDataTypeString(),
                       m.exposure,
                       QString::number(m.sharpness, 'f', 2),
                       QString::number(m.fieldFraction, 'f', 4),
                       number(m.fieldMinimum),
                       number(m.fieldMaximum)}
        .join(QLatin1Char(','));
}

bool enhanceRawAcquisition(LoadedImage& loaded, int bits, QString& error)
{
    if (loaded.image.getDataType() != Image2D::UNSIGNED_SHORT)
    {
        error = QStringLiteral("raw data must be 16-bit unsigned, not %1").arg(loaded.image.getDataTypeString());
        return false;
    }
    const Image2D field = collimatedField(detectorView8(loaded.image, bits), loaded.padding);
    if (!image2d::enhanceAcquisition(loaded.image, &field, 1.0,
                                     bits == 12 ? image2d::Ketrix::IMAGE_12_BIT : image2d::Ketrix::IMAGE_16_BIT))
    {
        error = QStringLiteral("the image cannot be enhanced");
        return false;
    }
    loaded.bitsStored = bits;
    loaded.fileLevel.reset();
    loaded.fileWindow.reset();
    return true;
}

int runReport(const QStringList& inputs, const QString& csvPath, bool json)
{
    QStringList files;
    for (const QString& input : inputs)
        files << (QFileInfo(input).isDir() ? imagesInFolder(input, false) : QStringList{input});
    QStringList rows{reportCsvHeader()};
    QJsonArray array;
    int failures = 0;
    const bool table = !json && csvPath != QLatin1String("-");
    if (table)
        std::printf("%-40s %-9s %11s %7s  %s\n", "file", "exposure", "sharpness", "field", "field values");
    for (const QString& file : files)
    {
        LoadedImage loaded;
        QString error;
        if (!readImage(file, loaded, error))
        {
            printError(QStringLiteral("%1: %2").arg(file, error));
            ++failures;
            continue;
        }
        const Measurement m = measure(loaded.image, loaded.bitsStored, loaded.padding);
        rows << reportCsvRow(file, loaded.image, m);
        QJsonObject o = measurementJson(m);
        o[QStringLiteral("file")] = file;
        o[QStringLiteral("width")] = loaded.image.getWidth();
        o[QStringLiteral("height")] = loaded.image.getHeight();
        array.append(o);
        if (table)
            std::printf("%-40s %-9s %11.1f %6.1f%%  %s .. %s\n", qUtf8Printable(file),
                        qUtf8Printable(m.exposure.isEmpty() ? QStringLiteral("none") : m.exposure), m.sharpness,
                        100.0 * m.fieldFraction, qUtf8Printable(number(m.fieldMinimum)),
                        qUtf8Printable(number(m.fieldMaximum)));
    }
    const QByteArray csv = (rows.join(QLatin1Char('\n')) + QLatin1Char('\n')).toUtf8();
    if (csvPath == QLatin1String("-"))
        std::fwrite(csv.constData(), 1, std::size_t(csv.size()), stdout);
    else if (!csvPath.isEmpty())
    {
        QSaveFile out(csvPath);
        if (!out.open(QIODevice::WriteOnly) || out.write(csv) != csv.size() || !out.commit())
        {
            printError(QStringLiteral("%1: cannot write: %2").arg(csvPath, out.errorString()));
            return exitFailure;
        }
    }
    if (json)
        std::printf("%s", QJsonDocument(array).toJson(QJsonDocument::Indented).constData());
    return failures > 0 ? exitFailure : 0;
}

} // namespace tool
