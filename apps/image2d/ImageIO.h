#pragma once

#include "platform/pixeldata/Image2D.h"

#include <QImage>
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
    QStringList notes;            ///< things the user should know (first frame taken, ...)
};

/// Reads a DICOM, PNG or TIFF radiograph. On failure returns false and sets `error` to
/// a one-line reason (without the file name). Never throws, whatever the file holds.
bool readImage(const QString& path, LoadedImage& out, QString& error);

/// Internal command line of the child process that decodes one DICOM file.
extern const char* const decodeDicomCommand;
/// The child's side: decodes `path` and writes the result to stdout. Returns its exit status.
int decodeDicomToStdout(const QString& path);

/// Whether the file starts like a DICOM file (preamble and "DICM").
bool looksLikeDicom(const QString& path);

/// Gray QImage of a display image: level/window output spans the whole range of its
/// pixel type (0..1 for FLOAT), which is mapped onto 0..255 (depth 8) or 0..65535 (depth 16).
QImage toDisplayImage(const Image2D& display, int depth);

/// Gray QImage holding the pixel values unchanged (UNSIGNED_CHAR as 8-bit, UNSIGNED_SHORT
/// as 16-bit); other types are not stored raw and give a null image.
QImage toRawImage(const Image2D& image);

/// Writes a PNG or TIFF (chosen by the suffix) through a temporary file that replaces
/// `path` only when complete. False with a one-line reason on failure.
bool writeImage(const QImage& image, const QString& path, QString& error);

/// Writes an uncompressed MONOCHROME2 DICOM file of an UNSIGNED_SHORT, SHORT or
/// UNSIGNED_CHAR image, with the pixel spacing, through a temporary file.
bool writeDicom(const Image2D& image, int bitsStored, const QString& path, QString& error);

/// Whether `path` names a file type the tool writes ("png", "tif", "tiff", "dcm").
bool isWritableSuffix(const QString& path);

} // namespace tool
