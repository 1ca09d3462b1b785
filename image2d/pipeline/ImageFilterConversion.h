#pragma once

#include "image2d/pipeline/FilterSet.h"
#include "platform/documentmodel/ImageFilter.h"
#include "platform/maths/Range.h"
#include "platform/utility/Optional.h"

#include <QSize>
#include <QString>
#include <QTransform>
#include <QVector3D>

namespace conversions {

/// Filter set for the host's display filters: one filter per visible, active element, with
/// kernel sizes scaled to the image (its size, its pixel size in mm and the display size it
/// is shown at). A null filter gives an empty set; a bad element is skipped with a warning.
image2d::FilterSet toFilterSet(const dataobject::ImageFilter* filter, const QSize& imageSize,
                               const QVector3D& pixelSize, const QSize& displaySize);

} // namespace conversions

namespace image2d {

/// Cache key of an image filtered with the given settings: the base key, the level/window
/// of `valueRange` when given, the transform and each visible, active filter element.
QString generateHashForFilteredImage(const QString& baseKey, dataobject::ImageFilter* filter,
                                     const QTransform& transform, utility::Optional<math::Range<float>> valueRange);

} // namespace image2d
