// image2d: turns radiographs (DICOM, PNG, TIFF) into display-ready images with the
// library's display road, and writes a synthetic radiograph for trying it out.
#include "Batch.h"
#include "CtCommands.h"
#include "ImageIO.h"
#include "Info.h"
#include "Phantom.h"
#include "Settings.h"

#include "image2d/version.h"

#include <QCommandLineParser>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QJsonDocument>
#include <QSaveFile>
#include <QSet>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

constexpr int exitFailure = 1; // some image could not be processed
constexpr int exitUsage = 2;   // the command line is wrong

void printError(const QString& message)
{
    std::fprintf(stderr, "image2d: error: %s\n", qUtf8Printable(message));
}

int usageError(const QString& message, const QString& command)
{
    printError(message);
    std::fprintf(stderr, "Try 'image2d %s--help'.\n", command.isEmpty() ? "" : qUtf8Printable(command + QLatin1Char(' ')));
    return exitUsage;
}

const QStringList imageSuffixes = {QStringLiteral("dcm"), QStringLiteral("dicom"), QStringLiteral("png"),
                                   QStringLiteral("tif"), QStringLiteral("tiff")};

// The images of a folder: known suffixes, and suffix-less files that are DICOM.
QStringList imagesInFolder(const QString& folder)
{
    QStringList files;
    const QDir dir(folder);
    for (const QFileInfo& info : dir.entryInfoList(QDir::Files | QDir::Readable, QDir::Name))
    {
        const QString suffix = info.suffix().toLower();
        if (imageSuffixes.contains(suffix) || (suffix.isEmpty() && tool::looksLikeDicom(info.filePath())))
            files << info.filePath();
    }
    return files;
}

// Qt's own chatter (platform plugins, runtime paths) is not for the user; the library's
// warnings are, on one line each.
void messageHandler(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if (type == QtFatalMsg)
    {
        std::fprintf(stderr, "image2d: fatal: %s\n", qUtf8Printable(message));
        std::abort();
    }
    if (type == QtDebugMsg || type == QtInfoMsg)
        return;
    if (context.category && std::strcmp(context.category, "default") != 0)
        return;
    if (message.startsWith(QLatin1String("QStandardPaths")))
        return;
    std::fprintf(stderr, "image2d: warning: %s\n", qUtf8Printable(message));
}

bool parseOrReport(QCommandLineParser& parser, const QStringList& arguments, const QString& command, int& status)
{
    if (!parser.parse(arguments))
    {
        status = usageError(parser.errorText(), command);
        return false;
    }
    if (parser.isSet(QStringLiteral("help")))
    {
        std::printf("%s", qUtf8Printable(parser.helpText()));
        status = 0;
        return false;
    }
    return true;
}

bool mediaOption(const QCommandLineParser& parser, tool::Media& media, QString& error)
{
    if (!parser.isSet(QStringLiteral("media")))
        return true;
    if (tool::parseMedia(parser.value(QStringLiteral("media")), media))
        return true;
    error = QStringLiteral("unknown media \"%1\" (use %2)")
                .arg(parser.value(QStringLiteral("media")), tool::mediaNames().join(QStringLiteral(", ")));
    return false;
}

QCommandLineOption mediaOptionSpec()
{
    return QCommandLineOption(QStringLiteral("media"),
                              QStringLiteral("Kind of radiograph: %1 (default intraoral).").arg(tool::mediaNames().join(QStringLiteral(", "))),
                              QStringLiteral("media"));
}

int runEnhanceCommand(const QStringList& arguments)
{
    const QString command = QStringLiteral("enhance");
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Writes the display-ready image of each INPUT (DICOM, PNG or TIFF files, or folders of them).\n"
        "Without INPUT the built-in phantom is enhanced. Filters given as options run in the\n"
        "library's fixed order: invert, equalize, sharpen, denoise, gamma."));
    parser.addHelpOption();
    parser.addPositionalArgument(QStringLiteral("INPUT"), QStringLiteral("Image files or folders."), QStringLiteral("[INPUT...]"));
    const QCommandLineOption output({QStringLiteral("o"), QStringLiteral("output")},
                                    QStringLiteral("Output file (one input) or folder (several inputs). Default: next to each input as NAME_display.png."),
                                    QStringLiteral("path"));
    const QCommandLineOption format(QStringLiteral("format"), QStringLiteral("png or tiff, for outputs named by the tool (default png)."),
                                    QStringLiteral("type"));
    const QCommandLineOption depth(QStringLiteral("depth"), QStringLiteral("Bits per pixel of the output: 8 (default) or 16."),
                                   QStringLiteral("bits"));
    const QCommandLineOption settings(QStringLiteral("settings"), QStringLiteral("JSON settings file; options given beside it override it."),
                                      QStringLiteral("file"));
    const QCommandLineOption saveSettings(QStringLiteral("save-settings"), QStringLiteral("Write the settings in effect as JSON to this file."),
                                          QStringLiteral("file"));
    const QCommandLineOption level(QStringLiteral("level"), QStringLiteral("Display level (window centre), with --window."), QStringLiteral("value"));
    const QCommandLineOption window(QStringLiteral("window"), QStringLiteral("Display window width (> 0), with --level."), QStringLiteral("value"));
    const QCommandLineOption windowFromFile(QStringLiteral("window-from-file"),
                                            QStringLiteral("Use the window stored in a DICOM file; automatic when there is none."));
    const QCommandLineOption modality(QStringLiteral("modality"),
                                      QStringLiteral("Display modality for the filters: %1 (default from --media).")
                                          .arg(tool::modalityNames().join(QStringLiteral(", "))),
                                      QStringLiteral("name"));
    const QCommandLineOption gamma(QStringLiteral("gamma"), QStringLiteral("Gamma (> 0), or auto."), QStringLiteral("value"));
    const QCommandLineOption invert(QStringLiteral("invert"), QStringLiteral("Show inverted (black bone)."));
    const QCommandLineOption sharpen(QStringLiteral("sharpen"), QStringLiteral("Sharpening strength, 0 to 10."), QStringLiteral("strength"));
    const QCommandLineOption equalize(QStringLiteral("equalize"), QStringLiteral("Histogram equalization balance, 0 to 1."), QStringLiteral("balance"));
    const QCommandLineOption denoise(QStringLiteral("denoise"), QStringLiteral("Denoising strength, above 0 and at most 10."), QStringLiteral("strength"));
    const QCommandLineOption resize(QStringLiteral("resize"), QStringLiteral("Resize to WxH (turned to the image's orientation)."), QStringLiteral("WxH"));
    const QCommandLineOption rotate(QStringLiteral("rotate"), QStringLiteral("Rotate clockwise by 90, 180 or 270 degrees."), QStringLiteral("degrees"));
    const QCommandLineOption mirror(QStringLiteral("mirror"), QStringLiteral("Mirror left-right."));
    const QCommandLineOption compare(QStringLiteral("compare"), QStringLiteral("Also write a side-by-side before/after picture (one input)."),
                                     QStringLiteral("file"));
    const QCommandLineOption jobs({QStringLiteral("j"), QStringLiteral("jobs")}, QStringLiteral("Images processed at the same time (default: one per core)."),
                                  QStringLiteral("n"));
    const QCommandLineOption quiet({QStringLiteral("q"), QStringLiteral("quiet")}, QStringLiteral("No progress lines."));
    parser.addOptions({output, format, depth, settings, saveSettings, mediaOptionSpec(), level, window, windowFromFile, modality,
                       gamma, invert, sharpen, equalize, denoise, resize, rotate, mirror, compare, jobs, quiet});
    int status = 0;
    if (!parseOrReport(parser, arguments, command, status))
        return status;

    tool::EnhanceSettings s;
    QString error;
    if (parser.isSet(settings) && !tool::loadSettingsFile(parser.value(settings), s, error))
        return usageError(error, command);
    if (!mediaOption(parser, s.media, error))
        return usageError(error, command);
    if (parser.isSet(modality))
    {
        int code = 0;
        if (!tool::parseModality(parser.value(modality), code))
            return usageError(QStringLiteral("unknown modality \"%1\" (use %2)")
                                  .arg(parser.value(modality), tool::modalityNames().join(QStringLiteral(", "))),
                              command);
        s.modality = code;
    }
    if (parser.isSet(level) != parser.isSet(window))
        return usageError(QStringLiteral("--level and --window go together"), command);
    if (parser.isSet(level))
    {
        bool okLevel = false, okWindow = false;
        const double l = parser.value(level).toDouble(&okLevel), w = parser.value(window).toDouble(&okWindow);
        if (!okLevel || !std::isfinite(l))
            return usageError(QStringLiteral("invalid level \"%1\"").arg(parser.value(level)), command);
        if (!okWindow || !(w > 0) || !std::isfinite(w))
            return usageError(QStringLiteral("invalid window \"%1\": expected a number above 0").arg(parser.value(window)), command);
        s.level = l;
        s.window = w;
    }
    if (parser.isSet(windowFromFile))
        s.windowFromFile = true;
    // Filter elements in the order they were given.
    const QList<std::pair<QString, tool::FilterKind>> filterOptions = {
        {QStringLiteral("gamma"), tool::FilterKind::Gamma},       {QStringLiteral("invert"), tool::FilterKind::Invert},
        {QStringLiteral("sharpen"), tool::FilterKind::Sharpen},   {QStringLiteral("equalize"), tool::FilterKind::Equalize},
        {QStringLiteral("denoise"), tool::FilterKind::Denoise}};
    for (const QString& name : parser.optionNames())
        for (const auto& [option, kind] : filterOptions)
            if (name == option)
            {
                tool::FilterElement element;
                if (!tool::parseFilterValue(kind, kind == tool::FilterKind::Invert ? QString() : parser.value(option), element, error))
                    return usageError(error, command);
                s.setFilter(element);
            }
    if (parser.isSet(resize) && !tool::parseSize(parser.value(resize), s.resize))
        return usageError(QStringLiteral("invalid size \"%1\": expected WxH, for example 800x600").arg(parser.value(resize)), command);
    if (parser.isSet(rotate))
    {
        const QString r = parser.value(rotate);
        if (r != QLatin1String("0") && r != QLatin1String("90") && r != QLatin1String("180") && r != QLatin1String("270"))
            return usageError(QStringLiteral("invalid rotation \"%1\": use 90, 180 or 270").arg(r), command);
        s.rotate = r.toInt();
    }
    if (parser.isSet(mirror))
        s.mirror = true;
    if (parser.isSet(depth))
    {
        const QString d = parser.value(depth);
        if (d != QLatin1String("8") && d != QLatin1String("16"))
            return usageError(QStringLiteral("invalid depth \"%1\": use 8 or 16").arg(d), command);
        s.depth = d.toInt();
    }
    QString suffix = QStringLiteral("png");
    if (parser.isSet(format))
    {
        suffix = parser.value(format).toLower();
        if (suffix == QLatin1String("tif"))
            suffix = QStringLiteral("tiff");
        if (suffix != QLatin1String("png") && suffix != QLatin1String("tiff"))
            return usageError(QStringLiteral("invalid format \"%1\": use png or tiff").arg(parser.value(format)), command);
    }
    tool::BatchOptions options;
    options.progress = !parser.isSet(quiet);
    if (parser.isSet(jobs))
    {
        bool ok = false;
        options.jobs = parser.value(jobs).toInt(&ok);
        if (!ok || options.jobs < 1)
            return usageError(QStringLiteral("invalid job count \"%1\"").arg(parser.value(jobs)), command);
    }
    if (parser.isSet(saveSettings))
    {
        QSaveFile file(parser.value(saveSettings));
        const QByteArray json = QJsonDocument(s.toJson()).toJson(QJsonDocument::Indented);
        if (!file.open(QIODevice::WriteOnly) || file.write(json) != json.size() || !file.commit())
        {
            printError(QStringLiteral("%1: cannot write: %2").arg(parser.value(saveSettings), file.errorString()));
            return exitFailure;
        }
    }

    // Inputs: files as given, folders expanded to their images.
    QStringList inputs;
    for (const QString& argument : parser.positionalArguments())
    {
        if (QFileInfo(argument).isDir())
        {
            const QStringList found = imagesInFolder(argument);
            if (found.isEmpty())
                return usageError(QStringLiteral("%1: the folder holds no DICOM, PNG or TIFF images").arg(argument), command);
            inputs << found;
        }
        else
            inputs << argument;
    }
    const bool phantom = inputs.isEmpty();
    const int count = phantom ? 1 : int(inputs.size());
    const bool severalInputs = count > 1 || (!parser.positionalArguments().isEmpty() && QFileInfo(parser.positionalArguments().first()).isDir());
    if (parser.isSet(compare) && count > 1)
        return usageError(QStringLiteral("--compare needs a single input"), command);
    if (parser.isSet(compare) && !tool::isWritableSuffix(parser.value(compare)))
        return usageError(QStringLiteral("--compare %1: use a .png or .tif file").arg(parser.value(compare)), command);
    options.compare = parser.value(compare);

    std::vector<tool::BatchItem> items;
    const QString out = parser.value(output);
    const bool outputIsFolder = parser.isSet(output) && (severalInputs || QFileInfo(out).isDir() || out.endsWith(QLatin1Char('/')));
    if (outputIsFolder && severalInputs && !QFileInfo(out).isDir() && tool::isWritableSuffix(out))
        return usageError(QStringLiteral("several inputs need a folder for -o, not %1").arg(out), command);
    if (outputIsFolder && !QDir().mkpath(out))
        return usageError(QStringLiteral("cannot create the output folder %1").arg(out), command);
    if (parser.isSet(output) && !outputIsFolder)
    {
        const QString s2 = QFileInfo(out).suffix().toLower();
        if (s2 != QLatin1String("png") && s2 != QLatin1String("tif") && s2 != QLatin1String("tiff"))
            return usageError(QStringLiteral("output %1: use a .png, .tif or .tiff file").arg(out), command);
    }
    QSet<QString> taken;
    QSet<QString> inputPaths;
    for (const QString& input : inputs)
        inputPaths.insert(QFileInfo(input).absoluteFilePath());
    for (int i = 0; i < count; ++i)
    {
        tool::BatchItem item;
        item.input = phantom ? QString() : inputs[i];
        const QString base = phantom ? QStringLiteral("phantom-%1").arg(tool::mediaName(s.media)) : QFileInfo(item.input).completeBaseName();
        QString path;
        if (parser.isSet(output) && !outputIsFolder)
            path = out;
        else
        {
            const QString folder = outputIsFolder ? out : phantom ? QStringLiteral(".") : QFileInfo(item.input).path();
            const QString stem = outputIsFolder ? base : base + QStringLiteral("_display");
            path = QDir(folder).filePath(stem + QLatin1Char('.') + suffix);
            // Two inputs with one name (a.dcm, a.png) must not share an output.
            for (int n = 2; taken.contains(QFileInfo(path).absoluteFilePath()) || inputPaths.contains(QFileInfo(path).absoluteFilePath()); ++n)
                path = QDir(folder).filePath(QStringLiteral("%1-%2.%3").arg(stem).arg(n).arg(suffix));
        }
        if (inputPaths.contains(QFileInfo(path).absoluteFilePath()))
            return usageError(QStringLiteral("output %1 would overwrite an input").arg(path), command);
        taken.insert(QFileInfo(path).absoluteFilePath());
        item.output = path;
        items.push_back(item);
    }
    const int failures = tool::runBatch(items, s, options);
    return failures > 0 ? exitFailure : 0;
}

int runInfoCommand(const QStringList& arguments)
{
    const QString command = QStringLiteral("info");
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Prints size, pixel type, pixel size, value range and display facts of INPUT\n"
                                                    "(the built-in phantom when INPUT is left out). A folder holding a CT series\n"
                                                    "(or --media ct without INPUT) gives the volume's facts and its CT window."));
    parser.addHelpOption();
    parser.addPositionalArgument(QStringLiteral("INPUT"), QStringLiteral("A DICOM, PNG or TIFF file."), QStringLiteral("[INPUT]"));
    const QCommandLineOption json(QStringLiteral("json"), QStringLiteral("Print one JSON object."));
    parser.addOptions({mediaOptionSpec(), json});
    int status = 0;
    if (!parseOrReport(parser, arguments, command, status))
        return status;
    const QString ctInput = parser.positionalArguments().value(0);
    if (parser.positionalArguments().size() <= 1 &&
        (parser.value(QStringLiteral("media")) == QLatin1String("ct") || QFileInfo(ctInput).isDir()))
        return tool::runCtInfo(ctInput, parser.isSet(json));
    tool::Media media = tool::Media::Intraoral;
    QString error;
    if (!mediaOption(parser, media, error))
        return usageError(error, command);
    if (parser.positionalArguments().size() > 1)
        return usageError(QStringLiteral("info takes one INPUT"), command);
    return tool::runInfo(parser.positionalArguments().value(0), media, parser.isSet(json));
}

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
    if (!parseOrReport(parser, arguments, command, status))
        return status;
    if (!parser.positionalArguments().isEmpty())
        return usageError(QStringLiteral("phantom takes no INPUT"), command);
    if (parser.value(QStringLiteral("media")) == QLatin1String("ct"))
        return parser.isSet(output) ? tool::writeCtPhantomSeries(parser.value(output))
                                    : usageError(QStringLiteral("phantom --media ct needs a folder: -o FOLDER"), command);
    tool::Media media = tool::Media::Intraoral;
    QString error;
    if (!mediaOption(parser, media, error))
        return usageError(error, command);
    const QString path = parser.isSet(output) ? parser.value(output) : QStringLiteral("phantom-%1.png").arg(tool::mediaName(media));
    if (!tool::isWritableSuffix(path))
        return usageError(QStringLiteral("output %1: use a .png, .tif, .tiff or .dcm file").arg(path), command);
    const Image2D image = tool::makePhantom(tool::phantomLayoutFor(media));
    const bool ok = QFileInfo(path).suffix().toLower() == QLatin1String("dcm") ? tool::writeDicom(image, 12, path, error)
                                                                             : tool::writeImage(tool::toRawImage(image), path, error);
    if (!ok)
    {
        printError(QStringLiteral("%1: %2").arg(path, error));
        return exitFailure;
    }
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    // A command-line tool never shows a window; the offscreen platform still renders
    // the text of --compare pictures.
    qInstallMessageHandler(messageHandler);
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("image2d"));
    QCoreApplication::setApplicationVersion(QStringLiteral(IMAGE2D_VERSION_STRING));

    QStringList arguments = QCoreApplication::arguments();
    const QString command = arguments.value(1);
    if (command == QLatin1String(tool::decodeDicomCommand) && arguments.size() == 3)
        return tool::decodeDicomToStdout(arguments[2]);
    if (command == QLatin1String("enhance") || command == QLatin1String("info") || command == QLatin1String("phantom"))
    {
        arguments.removeAt(1);
        arguments[0] = QStringLiteral("image2d ") + command;
        if (command == QLatin1String("enhance"))
            return runEnhanceCommand(arguments);
        if (command == QLatin1String("info"))
            return runInfoCommand(arguments);
        return runPhantomCommand(arguments);
    }

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Display-ready dental radiographs from DICOM, PNG and TIFF files.\n\n"
        "Commands:\n"
        "  enhance [INPUT...] [-o OUTPUT]  write the display image of each input (the phantom without INPUT)\n"
        "  info [INPUT]                    describe an image: size, pixel type, values, display facts\n"
        "  phantom [-o OUTPUT]             write the built-in synthetic radiograph\n\n"
        "'image2d COMMAND --help' lists the options of a command."));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addPositionalArgument(QStringLiteral("command"), QStringLiteral("enhance, info or phantom."));
    if (!parser.parse(arguments))
        return usageError(parser.errorText(), {});
    if (parser.isSet(QStringLiteral("version")))
    {
        std::printf("image2d %s\n", IMAGE2D_VERSION_STRING);
        return 0;
    }
    if (parser.isSet(QStringLiteral("help")))
    {
        std::printf("%s", qUtf8Printable(parser.helpText()));
        return 0;
    }
    if (command.isEmpty())
    {
        std::fprintf(stderr, "%s", qUtf8Printable(parser.helpText()));
        return exitUsage;
    }
    return usageError(QStringLiteral("unknown command \"%1\"").arg(command), {});
}
