#pragma once

#include "platform/pixeldata/Image2D.h"

#include <QImage>
#include <QString>

namespace tool {

/// Side-by-side picture: the input as stored (its value range stretched linearly) on the
/// left, the display image on the right at the same height, labels sized to fit them, and
/// the caption below, wrapped onto as many lines as it needs.
QImage makeComparison(const Image2D& before, const QImage& after, const QString& caption);

} // namespace tool
