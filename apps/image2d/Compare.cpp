#include "Compare.h"

#include "ImageIO.h"

#include <QFont>
#include <QPainter>

#include <algorithm>
#include <cmath>

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
    for (int y = 0; y < image.getHeight(); ++y)
    {
        uchar* line = out.scanLine(y);
        const std::size_t row = std::size_t(y) * std::size_t(image.getWidth());
        for (int x = 0; x < image.getWidth(); ++x)
        {
            double v = 0;
            switch (image.getDataType())
            {
            case Image2D::UNSIGNED_SHORT: v = image.getConstData<std::uint16_t>()[row + x]; break;
            case Image2D::SHORT: v = image.getConstData<std::int16_t>()[row + x]; break;
            case Image2D::UNSIGNED_CHAR: v = image.getConstData<std::uint8_t>()[row + x]; break;
            case Image2D::FLOAT: v = image.getConstData<float>()[row + x]; break;
            default: break;
            }
            line[x] = uchar(std::clamp(std::lround((v - lo) * scale), 0L, 255L));
        }
    }
    return out;
}

} // namespace

QImage makeComparison(const Image2D& before, const QImage& after, const QString& caption)
{
    if (!before.isValid() || after.isNull())
        return {};
    const QImage right = after.convertToFormat(QImage::Format_Grayscale8);
    QImage left = linearView(before);
    if (left.isNull())
        return {};
    if (left.height() != right.height())
        left = left.scaledToHeight(right.height(), Qt::SmoothTransformation);
    const int gap = std::max(4, right.height() / 100);
    const int fontPixels = std::clamp(right.height() / 36, 12, 48);
    const int captionHeight = fontPixels * 2;
    QImage canvas(left.width() + gap + right.width(), right.height() + captionHeight, QImage::Format_RGB32);
    if (canvas.isNull())
        return {};
    canvas.fill(Qt::black);
    {
        QPainter painter(&canvas);
        painter.drawImage(0, 0, left);
        painter.drawImage(left.width() + gap, 0, right);
        QFont font;
        font.setPixelSize(fontPixels);
        painter.setFont(font);
        painter.setPen(Qt::white);
        const int margin = fontPixels / 2;
        // Labels on a dark box so that they read on bright image corners too.
        auto label = [&](int x, const QString& text) {
            const QRect box = painter.fontMetrics().boundingRect(text).adjusted(-margin / 2, -margin / 4, margin / 2, margin / 4);
            const QRect placed = box.translated(x + margin - box.left(), margin - box.top());
            painter.fillRect(placed, QColor(0, 0, 0, 160));
            painter.drawText(placed, Qt::AlignCenter, text);
        };
        label(0, QStringLiteral("before (stored values, min-max)"));
        label(left.width() + gap, QStringLiteral("after"));
        const QRect captionRect(margin, right.height(), canvas.width() - 2 * margin, captionHeight);
        painter.drawText(captionRect, Qt::AlignVCenter | Qt::AlignLeft,
                         painter.fontMetrics().elidedText(caption, Qt::ElideRight, captionRect.width()));
    }
    return canvas.convertToFormat(QImage::Format_Grayscale8);
}

} // namespace tool
