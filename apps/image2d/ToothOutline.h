#pragma once

// Outlining one tooth for `image2d segment`, and the ridge images it can add; shared with
// the tool's tests and the benchmarks.

#include "ImageIO.h"
#include "Settings.h"

#include "platform/pixeldata/Image2D.h"

#include <QImage>
#include <QPoint>
#include <QPointF>
#include <QRect>
#include <QString>
#include <QStringList>

namespace tool {

/// The window the outline is searched in, centred on the origin (mm): room for a molar's crown
/// and roots. Smaller windows keep the search on one tooth; the crown is what it finds.
constexpr double outlineWindowWidthMm = 16.0;
constexpr double outlineWindowHeightMm = 26.0;

/// A tooth outline in radiograph coordinates.
struct ToothOutline
{
    Image2D mask;   ///< BINARY, the radiograph's size: 1 inside the outline
    QRect window;   ///< the part of the radiograph searched
    QPointF origin; ///< centre of the last outline pass
    int passes = 0;
    double widthMm = 0.0, heightMm = 0.0, areaMm2 = 0.0; ///< extent and area of the inside
};

/// The radiograph as displayed (the enhance road with the media's defaults: automatic
/// level/window, no filters), 8 bits: what the outline is searched in and drawn over.
bool displayForOutline(const LoadedImage& loaded, Media media, Image2D& display, QString& error);

/// Outlines the tooth around `origin` (pixels) of an 8-bit display image with the library's
/// tooth segmentation and edge threshold `threshold`, on the window around the origin. False
/// with a one-line reason when the origin lies outside the image or no outline is found.
bool outlineTooth(const Image2D& display, QPoint origin, int threshold, ToothOutline& out, QString& error);

/// Where outlining tooth `label` of a phantom's teeth mask starts: on the tooth's axis, a
/// quarter of its height below its top, inside the crown. (-1, -1) when the label is absent.
QPoint phantomToothOrigin(const Image2D& teeth, int label);
/// The first tooth of a phantom's teeth mask that lies wholly inside the image (a tooth cut
/// by the image's side is passed over); 0 when there is none.
int firstWholeTooth(const Image2D& teeth);

/// The display image in colour with the outline drawn over it: the inside lightly tinted, the
/// rim in yellow, the origin marked, and a caption with the outline's size.
QImage drawOutline(const Image2D& display, const ToothOutline& outline, QPoint origin);

/// The ridge and feature images of the radiograph (its smoothed values as heights) written into
/// `folder` as 8-bit PNGs; `written` lists the files. False with a reason on failure.
bool writeRidgeImages(const Image2D& radiograph, const QString& folder, QStringList& written, QString& error);

} // namespace tool
