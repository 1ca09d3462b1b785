#pragma once

#include "Settings.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QString>
#include <QStringList>

namespace tool {

constexpr int exitFailure = 1; ///< some image could not be processed
constexpr int exitUsage = 2;   ///< the command line is wrong

/// One command of the tool: `image2d NAME ...` runs `run` with the arguments after NAME
/// (argument 0 is "image2d NAME").
struct Command
{
    const char* name;
    const char* synopsis; ///< arguments shown in the overview, e.g. "[INPUT...] [-o OUTPUT]"
    const char* summary;  ///< one line for the overview
    int (*run)(const QStringList& arguments);
};

/// "image2d: error: MESSAGE" on stderr.
void printError(const QString& message);
/// Prints the error and a hint to the command's --help; returns exitUsage.
int usageError(const QString& message, const QString& command);

/// The lines every --help ends with: exit status and where to read more.
QString exitStatusHelp();

/// Parses `arguments`. On a parse error prints it and sets status exitUsage; on --help
/// prints the help (usage line naming "image2d COMMAND", then `epilog`) and sets status 0.
/// Returns true when the command should run.
bool parseOrReport(QCommandLineParser& parser, const QStringList& arguments, const QString& command, int& status,
                   const QString& epilog = {});

/// The --media option shared by the commands.
QCommandLineOption mediaOptionSpec();
/// Reads --media when given; false with the reason for an unknown name.
bool mediaOption(const QCommandLineParser& parser, Media& media, QString& error);

} // namespace tool
