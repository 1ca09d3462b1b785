#pragma once

#include "ImageIO.h"

#include <QByteArray>
#include <QImage>
#include <QString>
#include <QStringList>

namespace tool {

/// zlib effort for PNG output: fast (level 1, the default: writing stays a small part of a
/// run) or small (level 9, the smallest files).
enum class PngCompression
{
    Fast,
    Small
};

/// Reads a PNG or TIFF file (`format` "png" or "tiff") as 8- or 16-bit gray values.
bool readRaster(const QString& path, const QByteArray& format, LoadedImage& out, QString& error);

/// Gray copy of a colour or palette picture, the one conversion used for every colour
/// input (PNG, TIFF, DICOM): 8-bit pictures become Grayscale8, deeper ones Grayscale16.
/// Adds the note "colour image: converted to gray" unless every pixel already was gray.
QImage toGray(const QImage& image, QStringList& notes);

/// Writes a PNG or TIFF (chosen by the suffix) through a temporary file that replaces
/// `path` only when complete. False with a one-line reason on failure.
bool writeImage(const QImage& image, const QString& path, QString& error,
                PngCompression compression = PngCompression::Fast);

/// Writes `bytes` through a temporary file that replaces `path` only when complete.
bool commitBytes(const QString& path, const QByteArray& bytes, QString& error);

/// Lower-case suffix of a path ("png", "tif", ...).
QString suffixOf(const QString& path);

} // namespace tool
