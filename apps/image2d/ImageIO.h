#pragma once

#include "platform/pixeldata/Image2D.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>

namespace tool {

/// A radiograph as read from a file, with what the file says about its display.
struct LoadedImage
{
    Image2D image;
    QString format;               ///< "DICOM, JPEG-LS Lossless", "PNG", "TIFF"
    QString photometric;          ///< DICOM photometric interpretation, empty for other files
    bool displayInverted = false; ///< MONOCHROME1: low values are white
    int bitsStored = 0;           ///< significant bits of the stored values
    double slope = 1.0;           ///< DICOM rescale slope, applied to the pixels
    double intercept = 0.0;       ///< DICOM rescale intercept, applied to the pixels
    bool pixelSizeKnown = false;  ///< false: image.getPixelSize() is a guess
    std::optional<double> fileLevel;  ///< DICOM window centre, in pixel values after rescale
    std::optional<double> fileWindow; ///< DICOM window width
    QByteArray padding;           ///< one byte per pixel, 1 where the file marks padding; empty when none
    QStringList notes;            ///< things the user should know (first frame taken, ...)
    bool notAnImage = false;      ///< set on failure: a DICOM object without an image (DICOMDIR, report)
};

/// Reads a DICOM, PNG or TIFF radiograph. On failure returns false and sets `error` to
/// a one-line reason (without the file name). Never throws, whatever the file holds.
/// DICOM goes through readDicomIsolated with `decoder` as the child's program.
bool readImage(const QString& path, LoadedImage& out, QString& error, const QString& decoder = {});

/// Whether `path` names a file type the tool writes ("png", "tif", "tiff", "dcm").
bool isWritableSuffix(const QString& path);

} // namespace tool
