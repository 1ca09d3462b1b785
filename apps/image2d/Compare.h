#pragma once

#include "platform/pixeldata/Image2D.h"

#include <QImage>
#include <QString>
#include <QStringList>

namespace tool {

/// Side-by-side picture: the input as stored (its value range stretched linearly) on the
/// left, the display image on the right at the same height, labels sized to fit them, and
/// the caption below, wrapped onto as many lines as it needs.
QImage makeComparison(const Image2D& before, const QImage& after, const QString& caption);

/// Two pictures side by side at the right one's height (RGB), each labelled in its top left
/// corner (the left one with the first of `leftLabels` that fits), the caption below.
QImage sideBySide(const QImage& left, const QStringList& leftLabels, const QImage& right, const QString& rightLabel,
                  const QString& caption);

} // namespace tool
