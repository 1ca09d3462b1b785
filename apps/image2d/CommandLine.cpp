#include "CommandLine.h"

#include <QCoreApplication>

#include <cstdio>

namespace tool {

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

QString exitStatusHelp()
{
    return QStringLiteral("Exit status:\n"
                          "  0  every image done\n"
                          "  1  some input failed (each failure has an \"image2d: error: FILE: reason\" line)\n"
                          "  2  the command line is wrong (nothing was written)\n");
}

bool parseOrReport(QCommandLineParser& parser, const QStringList& arguments, const QString& command, int& status,
                   const QString& epilog)
{
    if (!parser.parse(arguments))
    {
        status = usageError(parser.errorText(), command);
        return false;
    }
    if (parser.isSet(QStringLiteral("help")))
    {
        // Qt names the executable by its path; the user types "image2d COMMAND".
        QString text = parser.helpText();
        const QString executable = QCoreApplication::arguments().value(0);
        const qsizetype lineEnd = text.indexOf(QLatin1Char('\n'));
        QString usage = text.left(lineEnd);
        if (!executable.isEmpty())
            usage.replace(executable, QStringLiteral("image2d ") + command);
        text = usage + text.mid(lineEnd);
        if (!epilog.isEmpty())
            text += QLatin1Char('\n') + epilog;
        text += QLatin1Char('\n') + exitStatusHelp();
        std::printf("%s", qUtf8Printable(text));
        status = 0;
        return false;
    }
    return true;
}

QCommandLineOption mediaOptionSpec()
{
    return QCommandLineOption(QStringLiteral("media"),
                              QStringLiteral("Kind of radiograph: %1 (default intraoral).").arg(mediaNames().join(QStringLiteral(", "))),
                              QStringLiteral("media"));
}

bool mediaOption(const QCommandLineParser& parser, Media& media, QString& error)
{
    if (!parser.isSet(QStringLiteral("media")))
        return true;
    if (parseMedia(parser.value(QStringLiteral("media")), media))
        return true;
    error = QStringLiteral("unknown media \"%1\" (use %2)")
                .arg(parser.value(QStringLiteral("media")), mediaNames().join(QStringLiteral(", ")));
    return false;
}

} // namespace tool
