// image2d: turns radiographs (DICOM, PNG, TIFF) into display-ready images with the
// library's display road, and writes a synthetic radiograph for trying it out. Each
// command lives in a file of its own; this file only lists them and dispatches.
#include "CommandLine.h"
#include "Commands.h"
#include "DecoderChild.h"

#include "image2d/version.h"

#include <QGuiApplication>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

const tool::Command commands[] = {
    {"enhance", "[INPUT...] [-o OUTPUT]", "write the display image of each input (the phantom without INPUT)",
     tool::runEnhanceCommand},
    {"info", "[INPUT]", "describe an image: size, pixel type, values, display facts", tool::runInfoCommand},
    {"phantom", "[-o OUTPUT]", "write the built-in synthetic radiograph", tool::runPhantomCommand},
    {"reslice", "SERIES_DIR|--phantom -o OUTPUT", "panoramic section, simulated X-ray or cephalogram of a CT",
     tool::runResliceCommand},
    {"segment", "[INPUT] [--origin X,Y] [-o OUTPUT]", "outline the tooth around a point and draw it over the image",
     tool::runSegmentCommand},
};

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

QString overview()
{
    QString text = QStringLiteral("Usage: image2d COMMAND [options]\n"
                                  "Display-ready dental radiographs from DICOM, PNG and TIFF files.\n\nCommands:\n");
    for (const tool::Command& c : commands)
        text += QStringLiteral("  %1 %2\n      %3\n").arg(QLatin1String(c.name), QLatin1String(c.synopsis), QLatin1String(c.summary));
    text += QStringLiteral("\nOptions:\n  -h, --help     this overview ('image2d COMMAND --help' lists a command's options)\n"
                           "  -v, --version  the version\n\n"
                           "Example:\n  image2d enhance --preset default -o phantom.png --compare phantom-compare.png\n\n");
    return text + tool::exitStatusHelp();
}

} // namespace

int main(int argc, char** argv)
{
    qInstallMessageHandler(messageHandler);
    // The decoder child needs no application: it reads one file and writes to stdout.
    if (argc == 3 && std::strcmp(argv[1], tool::decodeDicomCommand) == 0)
        return tool::decodeDicomToStdout(QString::fromLocal8Bit(argv[2]));
    if (argc == 3 && std::strcmp(argv[1], tool::readCtSeriesCommand) == 0)
        return tool::readCtSeriesToStdout(QString::fromLocal8Bit(argv[2]));

    // A command-line tool never shows a window; the offscreen platform still renders
    // the text of --compare pictures.
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("image2d"));
    QCoreApplication::setApplicationVersion(QStringLiteral(IMAGE2D_VERSION_STRING));

    QStringList arguments = QCoreApplication::arguments();
    const QString name = arguments.value(1);
    for (const tool::Command& c : commands)
        if (name == QLatin1String(c.name))
        {
            arguments.removeAt(1);
            arguments[0] = QStringLiteral("image2d ") + name;
            return c.run(arguments);
        }
    if (name == QLatin1String("--version") || name == QLatin1String("-v"))
    {
        std::printf("image2d %s\n", IMAGE2D_VERSION_STRING);
        return 0;
    }
    if (name == QLatin1String("--help") || name == QLatin1String("-h") || name == QLatin1String("help"))
    {
        std::printf("%s", qUtf8Printable(overview()));
        return 0;
    }
    if (name.isEmpty())
    {
        std::fprintf(stderr, "%s", qUtf8Printable(overview()));
        return tool::exitUsage;
    }
    if (name.startsWith(QLatin1Char('-')))
        return tool::usageError(QStringLiteral("unknown option \"%1\"").arg(name), {});
    return tool::usageError(QStringLiteral("unknown command \"%1\"").arg(name), {});
}
