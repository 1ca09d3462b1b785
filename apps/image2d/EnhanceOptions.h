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

    QCommandLineOption output, format, depth, compression, settings, saveSettings, preset, media, level, window,
        windowFromFile, modality, gamma, invert, sharpen, equalize, denoise, resize, rotate, mirror, compare, recursive,
        jobs, quiet;
};

/// Description, filter order, settings file format and examples for `enhance --help`.
QString enhanceDescription();
QString enhanceEpilog();

/// Reads a parsed command line into a request; false with a one-line reason (a usage error).
bool parseEnhanceOptions(const QCommandLineParser& parser, const EnhanceOptions& options, EnhanceRequest& request,
                         QString& error);

} // namespace tool
