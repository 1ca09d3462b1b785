#include "EnhanceOptions.h"

#include "CommandLine.h"
#include "Presets.h"

#include <QThread>

#include <algorithm>
#include <cmath>

namespace tool {

namespace {

constexpr int maxJobs = 64;

QCommandLineOption option(const char* name, const char* help, const char* value = nullptr)
{
    return value ? QCommandLineOption(QString::fromLatin1(name), QString::fromLatin1(help), QString::fromLatin1(value))
                 : QCommandLineOption(QString::fromLatin1(name), QString::fromLatin1(help));
}

bool readNumber(const QString& text, double& value)
{
    bool ok = false;
    value = text.trimmed().toDouble(&ok);
    return ok && std::isfinite(value);
}

// `fileWindow`: whether the command has --window-from-file.
bool readLevelWindow(const QCommandLineParser& parser, const EnhanceOptions& o, EnhanceSettings& s, bool fileWindow,
                     QString& error)
{
    const bool given = parser.isSet(o.level) || parser.isSet(o.window);
    const bool fromFile = fileWindow && parser.isSet(o.windowFromFile);
    if (given && fromFile)
    {
        error = QStringLiteral("--window-from-file cannot be combined with --level/--window");
        return false;
    }
    if (parser.isSet(o.level) != parser.isSet(o.window))
    {
        error = QStringLiteral("--level and --window go together, for example --level 2000 --window 3000");
        return false;
    }
    if (given)
    {
        double l = 0, w = 0;
        if (!readNumber(parser.value(o.level), l))
        {
            error = QStringLiteral("invalid level \"%1\": expected a number, the window centre in stored pixel values "
                                   "(see 'image2d info FILE' for the value range)")
                        .arg(parser.value(o.level));
            return false;
        }
        if (!readNumber(parser.value(o.window), w) || !(w > 0))
        {
            error = QStringLiteral("invalid window \"%1\": expected a number above 0, the window width in stored pixel values")
                        .arg(parser.value(o.window));
            return false;
        }
        s.level = l;
        s.window = w;
        s.windowFromFile = false;
    }
    if (fromFile)
    {
        if (s.level)
        {
            error = QStringLiteral("--window-from-file cannot be combined with the level/window of the settings file");
            return false;
        }
        s.windowFromFile = true;
    }
    return true;
}

// Filter elements in the order they were given; an element replaces one of its kind.
bool readFilters(const QCommandLineParser& parser, const EnhanceOptions& o, EnhanceSettings& s, QString& error)
{
    const std::pair<const QCommandLineOption*, FilterKind> filterOptions[] = {
        {&o.gamma, FilterKind::Gamma}, {&o.invert, FilterKind::Invert}, {&o.sharpen, FilterKind::Sharpen},
        {&o.equalize, FilterKind::Equalize}, {&o.denoise, FilterKind::Denoise}};
    for (const QString& name : parser.optionNames())
        for (const auto& [filterOption, kind] : filterOptions)
            if (filterOption->names().contains(name))
            {
                FilterElement element;
                if (!parseFilterValue(kind, kind == FilterKind::Invert ? QString() : parser.value(*filterOption), element, error))
                    return false;
                s.setFilter(element);
            }
    return true;
}

bool readGeometry(const QCommandLineParser& parser, const EnhanceOptions& o, EnhanceSettings& s, QString& error)
{
    if (parser.isSet(o.resize) && !parseSize(parser.value(o.resize), s.resize, error))
        return false;
    if (parser.isSet(o.rotate))
    {
        const QString r = parser.value(o.rotate).trimmed();
        if (r != QLatin1String("0") && r != QLatin1String("90") && r != QLatin1String("180") && r != QLatin1String("270"))
        {
            error = QStringLiteral("invalid rotation \"%1\": use 90, 180 or 270 (clockwise)").arg(r);
            return false;
        }
        s.rotate = r.toInt();
    }
    if (parser.isSet(o.mirror))
        s.mirror = true;
    return true;
}

bool readDepth(const QCommandLineParser& parser, const EnhanceOptions& o, EnhanceSettings& s, QString& error)
{
    if (parser.isSet(o.depth))
    {
        const QString d = parser.value(o.depth).trimmed();
        if (d != QLatin1String("8") && d != QLatin1String("16"))
        {
            error = QStringLiteral("invalid depth \"%1\": use 8 or 16").arg(d);
            return false;
        }
        s.depth = d.toInt();
    }
    return true;
}

bool readCompression(const QCommandLineParser& parser, const EnhanceOptions& o, PngCompression& compression,
                     QString& error)
{
    if (parser.isSet(o.compression))
    {
        const QString c = parser.value(o.compression).trimmed().toLower();
        if (c != QLatin1String("fast") && c != QLatin1String("small"))
        {
            error = QStringLiteral("invalid compression \"%1\": use fast or small").arg(c);
            return false;
        }
        compression = c == QLatin1String("small") ? PngCompression::Small : PngCompression::Fast;
    }
    return true;
}

bool readOutputForm(const QCommandLineParser& parser, const EnhanceOptions& o, EnhanceRequest& r, QString& error)
{
    if (!readDepth(parser, o, r.settings, error))
        return false;
    if (parser.isSet(o.format))
    {
        r.suffix = parser.value(o.format).trimmed().toLower();
        if (r.suffix == QLatin1String("tif"))
            r.suffix = QStringLiteral("tiff");
        if (r.suffix != QLatin1String("png") && r.suffix != QLatin1String("tiff"))
        {
            error = QStringLiteral("invalid format \"%1\": use png or tiff").arg(parser.value(o.format));
            return false;
        }
    }
    return readCompression(parser, o, r.batch.compression, error);
}

bool readRun(const QCommandLineParser& parser, const EnhanceOptions& o, EnhanceRequest& r, QString& error)
{
    r.batch.progress = !parser.isSet(o.quiet);
    if (parser.isSet(o.jobs))
    {
        bool ok = false;
        r.batch.jobs = parser.value(o.jobs).trimmed().toInt(&ok);
        if (!ok || r.batch.jobs < 1 || r.batch.jobs > maxJobs)
        {
            error = QStringLiteral("invalid job count \"%1\": use 1 to %2 (default: one per core, %3 here)")
                        .arg(parser.value(o.jobs))
                        .arg(maxJobs)
                        .arg(std::max(1, QThread::idealThreadCount()));
            return false;
        }
    }
    r.batch.compare = parser.value(o.compare);
    if (parser.isSet(o.compare) && !isWritableSuffix(r.batch.compare))
    {
        error = QStringLiteral("--compare %1: use a .png or .tif file").arg(r.batch.compare);
        return false;
    }
    r.recursive = parser.isSet(o.recursive);
    r.output = parser.value(o.output);
    r.saveSettings = parser.value(o.saveSettings);
    r.inputs = parser.positionalArguments();
    return true;
}

// The options that shape the display image, in the order they are checked. `imageFiles`:
// the command reads image files, so --window-from-file and --acquisition apply.
bool readDisplay(const QCommandLineParser& parser, const EnhanceOptions& o, EnhanceSettings& s, bool imageFiles,
                 QString& error)
{
    if (parser.isSet(o.settings) && !loadSettingsFile(parser.value(o.settings), s, error))
        return false;
    if (!mediaOption(parser, s.media, error))
        return false;
    if (parser.isSet(o.modality))
    {
        int code = 0;
        if (!parseModality(parser.value(o.modality), code))
        {
            error = QStringLiteral("unknown modality \"%1\" (use %2)")
                        .arg(parser.value(o.modality), modalityNames().join(QStringLiteral(", ")));
            return false;
        }
        s.modality = code;
    }
    if (!readLevelWindow(parser, o, s, imageFiles, error))
        return false;
    if (parser.isSet(o.preset))
    {
        if (!isPreset(parser.value(o.preset)))
        {
            error = QStringLiteral("unknown preset \"%1\" (use %2)")
                        .arg(parser.value(o.preset), presetNames().join(QStringLiteral(" or ")));
            return false;
        }
        applyPreset(parser.value(o.preset), s);
    }
    if (imageFiles && parser.isSet(o.acquisition))
    {
        const QString bits = parser.value(o.acquisition).trimmed();
        if (bits != QLatin1String("12") && bits != QLatin1String("16"))
        {
            error = QStringLiteral("invalid acquisition \"%1\": use 12 or 16 (bits of the raw data)").arg(bits);
            return false;
        }
        s.acquisition = bits.toInt();
    }
    return readFilters(parser, o, s, error) && readGeometry(parser, o, s, error);
}

} // namespace

EnhanceOptions::EnhanceOptions()
    : output({QStringLiteral("o"), QStringLiteral("output")},
             QStringLiteral("Output file (one input) or folder (several inputs). Default: next to each input as "
                            "NAME_display.png; for the phantom phantom-MEDIA.png."),
             QStringLiteral("path")),
      format(option("format", "png or tiff, for outputs named by the tool (default png).", "type")),
      depth(option("depth", "Bits per pixel of the output: 8 (default) or 16.", "bits")),
      compression(option("compression", "PNG compression: fast (default) or small (slower, smaller files).", "level")),
      settings(option("settings", "JSON settings file (format below); options given beside it override it.", "file")),
      saveSettings(option("save-settings", "Write the settings in effect as JSON to this file.", "file")),
      preset(option("preset", "Filter settings by name: default (gentle equalization, sharpening and denoising chosen "
                              "per media) or none. Filter options beside it override its elements.",
                    "name")),
      media(mediaOptionSpec()),
      level(option("level", "Display level (window centre, in stored pixel values), with --window.", "value")),
      window(option("window", "Display window width (> 0), with --level.", "value")),
      windowFromFile(option("window-from-file", "Use the window stored in a DICOM file; automatic when there is none.")),
      modality(QStringLiteral("modality"),
               QStringLiteral("Display modality for the filters: %1 (default from --media).").arg(modalityNames().join(QStringLiteral(", "))),
               QStringLiteral("name")),
      gamma(option("gamma", "Gamma (> 0 and at most 10), or auto.", "value")),
      invert(option("invert", "Show inverted (black bone).")),
      sharpen(option("sharpen", "Sharpening strength, 0 to 10.", "strength")),
      equalize(option("equalize", "Histogram equalization balance, 0 to 1.", "balance")),
      denoise(option("denoise", "Denoising strength, above 0 and at most 10.", "strength")),
      resize(option("resize", "Resize to WxH (turned to the image's orientation), at most 16384 a side.", "WxH")),
      rotate(option("rotate", "Rotate clockwise by 90, 180 or 270 degrees.", "degrees")),
      mirror(option("mirror", "Mirror left-right.")),
      compare(option("compare", "Also write a side-by-side before/after picture (one input).", "file")),
      recursive({QStringLiteral("r"), QStringLiteral("recursive")}, QStringLiteral("Look for images in subfolders too.")),
      jobs({QStringLiteral("j"), QStringLiteral("jobs")},
           QStringLiteral("Images processed at the same time, 1 to 64 (default: one per core). All of them share one "
                          "pool of threads, one per core."),
           QStringLiteral("n")),
      quiet({QStringLiteral("q"), QStringLiteral("quiet")}, QStringLiteral("No progress lines.")),
      acquisition(option("acquisition", "Raw sensor data of 12 or 16 bits: run the acquisition enhancement (stretch, "
                                        "tone curve) inside the collimated field before the display road.",
                         "bits"))
{
}

void EnhanceOptions::addTo(QCommandLineParser& parser) const
{
    parser.addOptions({output, format, depth, compression, settings, saveSettings, preset, media, level, window,
                       windowFromFile, modality, gamma, invert, sharpen, equalize, denoise, resize, rotate, mirror, compare,
                       recursive, jobs, quiet, acquisition});
}

QString enhanceDescription()
{
    return QStringLiteral(
        "Writes the display-ready image of each INPUT (DICOM, PNG or TIFF files, or folders of them).\n"
        "Without INPUT the built-in phantom is enhanced. Filters run in the library's fixed order:\n"
        "invert, equalize, sharpen, denoise, gamma, whatever order they are given in.");
}

QString enhanceEpilog()
{
    return QStringLiteral(
        "Settings file (--settings, --save-settings): one JSON object; every key is optional.\n"
        "  {\n"
        "    \"media\": \"intraoral\",           intraoral, plate, panoramic or ceph\n"
        "    \"modality\": \"sensor\",           display modality of the filters\n"
        "    \"level\": 2000, \"window\": 3000,  both or neither; \"windowFromFile\": true instead\n"
        "    \"filters\": [                    in any order; each kind once\n"
        "      {\"filter\": \"equalize\", \"value\": 0.2},\n"
        "      {\"filter\": \"sharpen\", \"value\": 0.5},\n"
        "      {\"filter\": \"denoise\", \"value\": 0.6},\n"
        "      {\"filter\": \"gamma\", \"value\": \"auto\"},\n"
        "      {\"filter\": \"invert\"}\n"
        "    ],\n"
        "    \"resize\": \"1920x1080\", \"rotate\": 90, \"mirror\": false, \"depth\": 8,\n"
        "    \"acquisition\": 12                raw sensor data: 12 or 16 bits\n"
        "  }\n"
        "Unknown keys and out-of-range values are errors.\n"
        "\n"
        "Examples:\n"
        "  image2d enhance --preset default -o phantom.png --compare phantom-compare.png\n"
        "  image2d enhance scans/ -r -o shown/ --media panoramic --preset default\n"
        "  image2d enhance IMG0001.dcm -o img.tif --depth 16 --settings clinic.json\n"
        "  image2d enhance bitewing.png --level 2100 --window 2600 --sharpen 0.8 -o bw.png\n"
        "  image2d enhance raw.png --acquisition 12 -o shown.png --compare raw-vs-shown.png\n");
}

void EnhanceOptions::addDisplayTo(QCommandLineParser& parser) const
{
    parser.addOptions({depth, compression, settings, preset, media, level, window, modality, gamma, invert, sharpen, equalize,
                       denoise, resize, rotate, mirror, quiet});
}

bool parseEnhanceOptions(const QCommandLineParser& parser, const EnhanceOptions& o, EnhanceRequest& r, QString& error)
{
    return readDisplay(parser, o, r.settings, true, error) && readOutputForm(parser, o, r, error) &&
           readRun(parser, o, r, error);
}

bool parseDisplayOptions(const QCommandLineParser& parser, const EnhanceOptions& o, EnhanceSettings& s,
                         PngCompression& compression, QString& error)
{
    return readDisplay(parser, o, s, false, error) && readDepth(parser, o, s, error) &&
           readCompression(parser, o, compression, error);
}

} // namespace tool
