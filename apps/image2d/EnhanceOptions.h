#pragma once

#include "Batch.h"
#include "Settings.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QString>
#include <QStringList>

namespace tool {

/// Everything an `enhance` command line asks for, checked.
struct EnhanceRequest
{
    EnhanceSettings settings;
    BatchOptions batch;
    QStringList inputs;    ///< files and folders as given; none: the phantom
    bool recursive = false; ///< folders include their subfolders
    QString output;        ///< -o as given; empty: next to each input
    QString suffix = QStringLiteral("png"); ///< "png" or "tiff", for outputs the tool names
    QString saveSettings;  ///< --save-settings file, or empty
};

/// The options of `enhance`, declared once: the parser is given them here and the
/// parsing below reads them back by these objects.
struct EnhanceOptions
{
    EnhanceOptions();
    void addTo(QCommandLineParser& parser) const;
    /// Only the options that shape the display image, for commands that make their image
    /// another way: depth, compression, settings, preset, media, level, window, modality, the
    /// filters, resize, rotate, mirror and quiet (read by the command).
    void addDisplayTo(QCommandLineParser& parser) const;

    QCommandLineOption output, format, depth, compression, settings, saveSettings, preset, media, level, window,
        windowFromFile, modality, gamma, invert, sharpen, equalize, denoise, resize, rotate, mirror, compare, recursive,
        jobs, quiet, acquisition;
};

/// Description, filter order, settings file format and examples for `enhance --help`.
QString enhanceDescription();
QString enhanceEpilog();

/// Reads a parsed command line into a request; false with a one-line reason (a usage error).
bool parseEnhanceOptions(const QCommandLineParser& parser, const EnhanceOptions& options, EnhanceRequest& request,
                         QString& error);

/// Reads the options of addDisplayTo() into `settings` (on top of what it holds) and the PNG
/// compression, with the same checks and messages as `enhance`; false with a one-line reason.
bool parseDisplayOptions(const QCommandLineParser& parser, const EnhanceOptions& options, EnhanceSettings& settings,
                         PngCompression& compression, QString& error);

} // namespace tool
