#include "ToothOutline.h"

#include "DisplayConversion.h"
#include "EnhanceJob.h"
#include "RasterIO.h"

#include "image2d/analysis/Ridges.h"
#include "image2d/analysis/TeethRidges.h"
#include "image2d/analysis/ToothSegmentation.h"
#include "image2d/filtering/Convolution.h"
#include "image2d/filtering/Kernels.h"
#include "image2d/toolbox/Geometry.h"
#include "image2d/toolbox/Image2DOperations.h"

#include <QDir>
#include <QPainter>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <vector>

namespace tool {

namespace {

// Millimetres per pixel along x and y; an implausible pixel size counts as 0.1 mm.
QPointF pixelMm(const Image2D& image)
{
    const auto plausible = [](float v) { return std::isfinite(v) && v > 0.0f && v < 10.0f ? double(v) : 0.1; };
    return QPointF(plausible(image.getPixelSize().x()), plausible(image.getPixelSize().y()));
}

// 1 on the pixels of the mask that touch a pixel outside it (or the image's side).
Image2D rimOf(const Image2D& mask)
{
    const int w = mask.getWidth(), h = mask.getHeight();
    Image2D rim(w, h, Image2D::BINARY, mask.getPixelSize());
    const std::uint8_t* in = mask.getConstData<std::uint8_t>();
    std::uint8_t* out = rim.getData<std::uint8_t>();
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
        {
            const std::size_t i = std::size_t(y) * w + x;
            out[i] = in[i] && (x == 0 || y == 0 || x == w - 1 || y == h - 1 || !in[i - 1] || !in[i + 1] || !in[i - w] ||
                               !in[i + w]);
        }
    return rim;
}

// A FLOAT image as 8-bit gray: 0 and below black, its 99.5th percentile of positive values
// and above white. Binary images: 1 is white.
QImage viewable(const Image2D& image)
{
    QImage gray = newGrayImage(image, QImage::Format_Grayscale8);
    if (gray.isNull())
        return gray;
    std::vector<double> row(std::size_t(image.getWidth()));
    std::vector<double> positive;
    for (int y = 0; y < image.getHeight(); ++y)
    {
        rowAsDouble(image, y, row.data());
        for (double v : row)
            if (v > 0)
                positive.push_back(v);
    }
    double white = 1.0;
    if (image.getDataType() == Image2D::FLOAT && !positive.empty())
    {
        const auto rank = positive.begin() + std::ptrdiff_t(positive.size() * 995 / 1000);
        std::nth_element(positive.begin(), rank, positive.end());
        white = *rank;
    }
    for (int y = 0; y < image.getHeight(); ++y)
    {
        rowAsDouble(image, y, row.data());
        uchar* line = gray.scanLine(y);
        for (int x = 0; x < image.getWidth(); ++x)
            line[x] = row[std::size_t(x)] > 0 ? uchar(std::min(255.0, std::round(row[std::size_t(x)] / white * 255))) : 0;
    }
    return gray;
}

// The mask's pixels (1) in `colour`, transparent elsewhere.
QImage overlay(const Image2D& mask, QColor colour)
{
    return image2d::Image2DOperations::getOverlayQImage(&mask, 1.0f, colour, false);
}

} // namespace

bool displayForOutline(const LoadedImage& loaded, Media media, Image2D& display, QString& error)
{
    EnhanceSettings settings;
    settings.media = media;
    settings.windowFromFile = true;
    EnhanceOutcome outcome;
    const std::atomic<bool> cancel{false};
    if (!runEnhance(loaded, settings, outcome, error, cancel))
        return false;
    const QImage gray = toDisplayImage(outcome.display, 8);
    display = Image2D(gray.width(), gray.height(), Image2D::UNSIGNED_CHAR, loaded.image.getPixelSize());
    if (gray.isNull() || !display.isValid())
    {
        error = QStringLiteral("not enough memory for the display image");
        return false;
    }
    for (int y = 0; y < gray.height(); ++y)
        std::memcpy(display.getData<std::uint8_t>() + std::size_t(y) * gray.width(), gray.constScanLine(y),
                    std::size_t(gray.width()));
    return true;
}

bool outlineTooth(const Image2D& display, QPoint origin, int threshold, ToothOutline& out, QString& error)
{
    out = ToothOutline{};
    const QRect bounds(QPoint(0, 0), display.getSize());
    if (!bounds.contains(origin))
    {
        error = QStringLiteral("the origin %1,%2 lies outside the %3 x %4 image")
                    .arg(origin.x()).arg(origin.y()).arg(bounds.width()).arg(bounds.height());
        return false;
    }
    const QPointF mm = pixelMm(display);
    const QPoint half(qRound(outlineWindowWidthMm / mm.x() / 2), qRound(outlineWindowHeightMm / mm.y() / 2));
    out.window = QRect(origin - half, origin + half).intersected(bounds);
    const std::shared_ptr<Image2D> window = image2d::crop(display, out.window.topLeft(), out.window.bottomRight());
    const image2d::ToothSegmentationResult result =
        window ? image2d::toothSegmentation(*window, threshold, QPointF(origin - out.window.topLeft()))
               : image2d::ToothSegmentationResult{};
    if (!result)
    {
        error = QStringLiteral("no tooth outline found around %1,%2").arg(origin.x()).arg(origin.y());
        return false;
    }
    // The outline search leaves out the pixel it last centred on; inside the outline, it is tooth.
    const int cx = int(result.origin.x()), cy = int(result.origin.y()), w = out.window.width();
    std::uint8_t* found = result.mask->getData<std::uint8_t>();
    if (cx > 0 && cy > 0 && cx < w - 1 && cy < out.window.height() - 1)
    {
        const std::size_t i = std::size_t(cy) * w + cx;
        found[i] = found[i - 1] && found[i + 1] && found[i - w] && found[i + w];
    }
    out.passes = result.passes;
    out.origin = result.origin + QPointF(out.window.topLeft());
    out.mask = Image2D(display.getSize(), Image2D::BINARY, display.getPixelSize());
    QRect inside;
    long count = 0;
    for (int y = 0; y < out.window.height(); ++y)
    {
        const std::uint8_t* from = result.mask->getConstData<std::uint8_t>() + std::size_t(y) * out.window.width();
        std::memcpy(out.mask.getData<std::uint8_t>() + std::size_t(y + out.window.top()) * bounds.width() + out.window.left(),
                    from, std::size_t(out.window.width()));
        for (int x = 0; x < out.window.width(); ++x)
            if (from[x])
            {
                inside |= QRect(out.window.left() + x, out.window.top() + y, 1, 1);
                ++count;
            }
    }
    out.widthMm = inside.width() * mm.x();
    out.heightMm = inside.height() * mm.y();
    out.areaMm2 = count * mm.x() * mm.y();
    return true;
}

QPoint phantomToothOrigin(const Image2D& teeth, int label)
{
    const int w = teeth.getWidth(), h = teeth.getHeight();
    const std::uint8_t* p = teeth.getConstData<std::uint8_t>();
    int top = -1, bottom = -1;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            if (p[std::size_t(y) * w + x] == label)
            {
                top = top < 0 ? y : top;
                bottom = y;
            }
    if (top < 0)
        return QPoint(-1, -1);
    const int y = top + (bottom - top) / 4;
    long sum = 0, count = 0;
    for (int x = 0; x < w; ++x)
        if (p[std::size_t(y) * w + x] == label)
            sum += x, ++count;
    return count ? QPoint(int(sum / count), y) : QPoint(-1, -1);
}

int firstWholeTooth(const Image2D& teeth)
{
    const int w = teeth.getWidth(), h = teeth.getHeight();
    std::vector<int> state(256, 0); // 0 absent, 1 whole, 2 cut by a side
    const std::uint8_t* p = teeth.getConstData<std::uint8_t>();
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
        {
            const int label = p[std::size_t(y) * w + x];
            if (label)
                state[label] = (x == 0 || x == w - 1 || state[label] == 2) ? 2 : 1;
        }
    const auto whole = std::find(state.begin() + 1, state.end(), 1);
    return whole == state.end() ? 0 : int(whole - state.begin());
}

QImage drawOutline(const Image2D& display, const ToothOutline& outline, QPoint origin)
{
    QImage picture = newGrayImage(display, QImage::Format_Grayscale8);
    if (picture.isNull())
        return picture;
    for (int y = 0; y < display.getHeight(); ++y)
        std::memcpy(picture.scanLine(y), display.getConstData<std::uint8_t>() + std::size_t(y) * display.getWidth(),
                    std::size_t(display.getWidth()));
    picture = picture.convertToFormat(QImage::Format_RGB32);
    // A rim some 0.1 mm wide, at least 3 pixels, drawn with the library's disc dilation.
    const int radius = std::clamp(int(std::lround(0.05 / pixelMm(display).x())), 1, 4);
    const std::shared_ptr<Image2D> rim = image2d::filter(rimOf(outline.mask), image2d::Dilation(radius));
    QPainter painter(&picture);
    painter.drawImage(0, 0, overlay(outline.mask, QColor(90, 200, 255, 60)));
    if (rim)
        painter.drawImage(0, 0, overlay(*rim, QColor(255, 214, 0)));
    const int arm = std::max(6, picture.width() / 120);
    painter.setPen(QPen(QColor(255, 80, 60), std::max(2, arm / 4)));
    painter.drawLine(origin - QPoint(arm, 0), origin + QPoint(arm, 0));
    painter.drawLine(origin - QPoint(0, arm), origin + QPoint(0, arm));
    QFont font = painter.font();
    font.setPixelSize(std::max(12, picture.height() / 40));
    painter.setFont(font);
    const QString caption = QStringLiteral("tooth outline %1 x %2 mm, %3 mm\u00b2")
                                .arg(outline.widthMm, 0, 'f', 1)
                                .arg(outline.heightMm, 0, 'f', 1)
                                .arg(outline.areaMm2, 0, 'f', 1);
    const QRect box = painter.fontMetrics().boundingRect(caption).adjusted(-8, -6, 8, 6);
    const QRect placed = box.translated(-box.topLeft() + QPoint(font.pixelSize() / 2, picture.height() - box.height() - font.pixelSize() / 2));
    painter.fillRect(placed, QColor(0, 0, 0, 160));
    painter.setPen(QColor(255, 214, 0));
    painter.drawText(placed, Qt::AlignCenter, caption);
    return picture;
}

bool writeRidgeImages(const Image2D& radiograph, const QString& folder, QStringList& written, QString& error)
{
    if (!QDir().mkpath(folder))
    {
        error = QStringLiteral("cannot create the folder %1").arg(folder);
        return false;
    }
    // Heights: the radiograph smoothed over some 0.1 mm, so that detector noise makes no ridges.
    const float sigma = float(std::clamp(0.1 / pixelMm(radiograph).x(), 1.0, 8.0));
    const std::shared_ptr<Image2D> range = image2d::separableFilter(
        radiograph, image2d::SeparableGaussian(int(std::ceil(3 * sigma)), sigma), Image2D::FLOAT);
    const image2d::RidgeImages ridges = range ? image2d::findRidges(*range) : image2d::RidgeImages{};
    const std::shared_ptr<Image2D> teeth = ridges.ridges ? image2d::teethRidges(*ridges.ridges, 2, 0.3) : nullptr;
    const image2d::FeaturePointImages features =
        teeth ? image2d::featurePointImages(*teeth, *range, 2) : image2d::FeaturePointImages{};
    if (!features)
    {
        error = QStringLiteral("the ridge images could not be made");
        return false;
    }
    const std::pair<const char*, const Image2D*> images[] = {
        {"ridges-and-valleys.png", ridges.ridgesAndValleys.get()},
        {"ridges-negative-curvature.png", ridges.negativeCurvature.get()},
        {"ridges-high.png", ridges.high.get()},
        {"ridges.png", ridges.ridges.get()},
        {"teeth-ridges.png", teeth.get()},
        {"feature-dilated-ridges.png", features.dilatedRidges.get()},
        {"feature-masked-range.png", features.maskedRange.get()},
    };
    for (const auto& [name, image] : images)
    {
        const QString path = QDir(folder).filePath(QLatin1String(name));
        if (!writeImage(viewable(*image), path, error))
        {
            error = QStringLiteral("%1: %2").arg(path, error);
            return false;
        }
        written << path;
    }
    return true;
}

} // namespace tool
