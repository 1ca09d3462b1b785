#pragma once

#include "platform/pixeldata/Image2D.h"

#include <QImage>
#include <QString>

namespace tool {

/// Side-by-side picture: the input as stored (its value range stretched linearly) on the
/// left, the display image on the right at the same height, and a caption line below.
QImage makeComparison(const Image2D& before, const QImage& after, const QString& caption);

} // namespace tool
