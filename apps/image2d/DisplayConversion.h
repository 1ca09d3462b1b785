#pragma once

#include "platform/pixeldata/Image2D.h"

#include <QImage>

#include <cstddef>

namespace tool {

/// Pixel `index` (row-major) as a double, whatever the pixel type; 0 for code 4.
double pixelAsDouble(const Image2D& image, std::size_t index);
/// Row `y` as doubles into `out` (getWidth() values): one type switch per row, for loops
/// over whole images.
void rowAsDouble(const Image2D& image, int y, double* out);

/// Gray QImage of a display image: level/window output spans the whole range of its
/// pixel type (0..1 for FLOAT), which is mapped onto 0..255 (depth 8) or 0..65535 (depth 16).
QImage toDisplayImage(const Image2D& display, int depth);

/// Gray QImage holding the pixel values unchanged (UNSIGNED_CHAR as 8-bit, UNSIGNED_SHORT
/// as 16-bit); other types are not stored raw and give a null image.
QImage toRawImage(const Image2D& image);

/// A gray QImage of the image's size, with its resolution taken from the pixel size when
/// that is a plausible radiograph pixel (below 0.25 mm).
QImage newGrayImage(const Image2D& image, QImage::Format format);

} // namespace tool
