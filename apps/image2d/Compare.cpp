#include "Compare.h"

#include "DisplayConversion.h"

#include <QFont>
#include <QFontMetrics>
#include <QPainter>

#include <algorithm>
#include <cmath>
#include <vector>

namespace tool {

namespace {

// The stored values stretched from their minimum to their maximum: what a viewer
// without level/window shows.
QImage linearView(const Image2D& image)
{
    const auto range = image.getValueRange();
    const double lo = range.getMin(), hi = range.getMax();
    QImage out(image.getWidth(), image.getHeight(), QImage::Format_Grayscale8);
    if (out.isNull())
        return out;
    const double scale = hi > lo ? 255.0 / (hi - lo) : 0.0;
    std::vector<double> row(std::size_t(std::max(1, image.getWidth())));
    for (int y = 0; y < image.getHeight(); ++y)
    {
        rowAsDouble(image, y, row.data());
        uchar* line = out.scanLine(y);
        for (int x = 0; x < image.getWidth(); ++x)
            line[x] = uchar(std::clamp(std::lround((row[std::size_t(x)] - lo) * scale), 0L, 255L));
    }
    return out;
}

// The largest pixel size up to `wanted` at which `text` fits `width`; 0 when not even the
// smallest readable size fits.
int fittingFontPixels(const QString& text, int width, int wanted)
{
    for (int pixels = wanted; pixels >= 7; --pixels)
    {
        QFont font;
        font.setPixelSize(pixels);
        if (QFontMetrics(font).horizontalAdvance(text) + pixels <= width)
            return pixels;
    }
    return 0;
}

} // namespace

QImage sideBySide(const QImage& leftPicture, const QStringList& leftLabels, const QImage& right,
                  const QString& rightLabel, const QString& caption)
{
    if (leftPicture.isNull() || right.isNull() || leftLabels.isEmpty())
        return {};
    QImage left = leftPicture;
    if (left.height() != right.height())
        left = left.scaledToHeight(right.height(), Qt::SmoothTransformation);
    const int gap = std::max(4, right.height() / 100);
    const int width = left.width() + gap + right.width();
    // Text grows with the picture and shrinks to fit a small one; the caption wraps onto
    // as many lines as it needs below the pictures.
    const int wanted = std::clamp(right.height() / 36, 12, 48);
    QString leftLabel;
    int labelPixels = 0;
    for (const QString& text : leftLabels)
        if ((labelPixels = fittingFontPixels(text, left.width(), wanted)) > 0)
        {
            leftLabel = text;
            break;
        }
    labelPixels = std::min(labelPixels, fittingFontPixels(rightLabel, right.width(), wanted));
    const int captionPixels = std::clamp(std::min(wanted, width / 24), 9, 48);
    QFont captionFont;
    captionFont.setPixelSize(captionPixels);
    const int margin = captionPixels / 2;
    const QRect textArea(margin, 0, std::max(1, width - 2 * margin), 100000);
    const int captionHeight =
        QFontMetrics(captionFont).boundingRect(textArea, Qt::TextWordWrap, caption).height() + 2 * margin;
    QImage canvas(width, right.height() + captionHeight, QImage::Format_RGB32);
    if (canvas.isNull())
        return {};
    canvas.fill(Qt::black);
    {
        QPainter painter(&canvas);
        painter.drawImage(0, 0, left);
        painter.drawImage(left.width() + gap, 0, right);
        painter.setPen(Qt::white);
        if (labelPixels > 0)
        {
            QFont font;
            font.setPixelSize(labelPixels);
            painter.setFont(font);
            const int inset = labelPixels / 2;
            // Labels on a dark box so that they read on bright image corners too.
            auto label = [&](int x, const QString& text) {
                const QRect box = painter.fontMetrics().boundingRect(text).adjusted(-inset / 2, -inset / 4, inset / 2, inset / 4);
                const QRect placed = box.translated(x + inset - box.left(), inset - box.top());
                painter.fillRect(placed, QColor(0, 0, 0, 160));
                painter.drawText(placed, Qt::AlignCenter, text);
            };
            label(0, leftLabel);
            label(left.width() + gap, rightLabel);
        }
        painter.setFont(captionFont);
        painter.drawText(QRect(margin, right.height() + margin, textArea.width(), captionHeight - 2 * margin),
                         Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap, caption);
    }
    return canvas;
}

QImage makeComparison(const Image2D& before, const QImage& after, const QString& caption)
{
    if (!before.isValid() || after.isNull())
        return {};
    const QImage left = linearView(before);
    if (left.isNull())
        return {};
    const QImage canvas = sideBySide(left, {QStringLiteral("before (stored values, min-max)"), QStringLiteral("before")},
                                     after.convertToFormat(QImage::Format_Grayscale8), QStringLiteral("after"), caption);
    return canvas.isNull() ? canvas : canvas.convertToFormat(QImage::Format_Grayscale8);
}

} // namespace tool
