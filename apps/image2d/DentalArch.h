#pragma once

// The dental arch of a CT volume, as the curve a panoramic reslice follows. Coordinates are
// volume millimetres: voxel (i, j, k) is centred at (i, j, k) times the voxel size, x towards
// the patient's left, y towards the back, z upwards (as the series reader orders slices).

#include "platform/pixeldata/Image2D.h"
#include "platform/pixeldata/VoxenImage3D.h"

#include <QList>
#include <QPointF>
#include <QString>

#include <array>

namespace tool {

/// Densest tissue of a dental CT: teeth (and metal) are at least this dense, cortical bone
/// mostly below it.
inline constexpr float kToothDensity = 1600.0f;

/// Axial maximum-intensity projection over the slices where the teeth are.
struct ToothLevelProjection
{
    Image2D image;          ///< FLOAT, the volume's columns x rows, pixel size = voxel size
    int firstSlice = 0;     ///< slab of the projection, inclusive
    int lastSlice = -1;
    float threshold = 0.0f; ///< density taken as tooth
};

/// The slab of slices where at least half as many voxels reach the tooth density as in the
/// slice that has most of them, and its maximum-intensity projection. The tooth density is
/// kToothDensity, or the value of the densest 0.2 % of the voxels when fewer than 1000 reach
/// it (an uncalibrated scan). Slices run in parallel.
ToothLevelProjection toothLevelProjection(const VoxenImage3D& volume);

/// The parabola y = c[0] + c[1] x + c[2] x^2 (mm) fitted through the tooth pixels of the
/// projection, and the x range of the pixels that follow it.
struct ArchFit
{
    std::array<double, 3> coefficients{};
    double xFirst = 0.0, xLast = 0.0;
    int pixels = 0; ///< points of the band's middle that follow the curve
};

/// Parabola through the middle of the band of tooth pixels (at or above the threshold): one
/// point per degree around the band's centroid, at the mean distance of its pixels in that
/// direction; least squares with the distances taken across the curve (weighted by the slope
/// of the previous fit), refitted five times without the points farther than max(2 mm, 2.5
/// median distances). False (with a reason) for fewer than 50 tooth pixels, fewer than 10
/// points on the curve or a degenerate fit.
bool fitArch(const ToothLevelProjection& projection, ArchFit& fit, QString& error);

/// Points along the fitted parabola every `spacing` mm of arc length, from `margin` mm
/// before its first tooth pixel to `margin` mm after its last (kept inside the volume).
QList<QPointF> archPoints(const ArchFit& fit, const VoxenImage3D& volume, double spacing = 1.0, double margin = 12.0);

/// Reads a JSON list of at least two [x, y] points in volume mm and returns it resampled
/// every `spacing` mm of arc length; false with a one-line reason.
bool readArchFile(const QString& path, QList<QPointF>& points, QString& error, double spacing = 1.0);

/// The polyline resampled every `spacing` mm of arc length (ends kept).
QList<QPointF> resampleByLength(const QList<QPointF>& points, double spacing);

/// Length of a polyline in mm.
double polylineLength(const QList<QPointF>& points);

} // namespace tool
