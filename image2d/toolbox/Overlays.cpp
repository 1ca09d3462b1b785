#include "image2d/toolbox/Image2DOperations.h"

#include "image2d/framework/Core.h"
#include "image2d/framework/Dispatch.h"
#include "image2d/framework/Log.h"
#include "image2d/framework/PixelStore.h"

namespace image2d {

namespace {

constexpr const char* kOverlayNotImplemented = "Image2DOperations::getOverlayQImage() Not implemented for current data type";

// Writes pixel(value) for every pixel of `image` into a new ARGB32 overlay; source row y goes
// to overlay row y, or height - 1 - y when `flip`. A null image when it cannot be allocated.
template <typename T, typename Pixel>
QImage drawOverlay(const Image2D& image, bool flip, Pixel&& pixel)
{
    const int width = image.getWidth(), height = image.getHeight();
    QImage overlay(width, height, QImage::Format_ARGB32);
    if (overlay.isNull())
        return overlay;
    for (int y = 0; y < height; ++y)
    {
        const T* row = image.getConstData<T>() + pixelIndex(0, y, width);
        auto* line = reinterpret_cast<QRgb*>(overlay.scanLine(flip ? height - 1 - y : y));
        for (int x = 0; x < width; ++x)
            line[x] = pixel(static_cast<float>(row[x]));
    }
    return overlay;
}

} // namespace

QImage Image2DOperations::getOverlayQImage(const Image2D* image, float level, float window, float minimum,
                                           QColor colour)
{
    if (!image)
        return QImage();
    // FLOAT images take the threshold overlay: the window, truncated, is the colour.
    if (image->getDataType() == Image2D::FLOAT)
        return getOverlayQImage(image, level, QColor(static_cast<QRgb>(store::truncateToInt32OrMin(window))),
                                minimum != 0.0f);
    return dispatchDataType(
        PixelTypes<Image2D::UNSIGNED_SHORT, Image2D::SHORT, Image2D::UNSIGNED_CHAR, Image2D::BINARY, Image2D::INT>{},
        image->getDataType(),
        [&](auto tag) {
            using T = typename decltype(tag)::type;
            if (!image->isValid())
                return QImage();
            const float low = level - window / 2, high = level + window / 2;
            const QRgb rgb = colour.rgb() & RGB_MASK;
            return drawOverlay<T>(*image, true, [&](float v) {
                if (v < low || v < minimum)
                    return rgb;
                if (v > high)
                    return rgb | 0xFF000000u;
                // A zero window at the level itself gives NaN: transparent.
                const float alpha = (v - low) / window * 255;
                return rgb | (static_cast<QRgb>(alpha > 0 ? (alpha < 255 ? alpha : 255) : 0) << 24);
            });
        },
        [] { warning(kOverlayNotImplemented); });
}

QImage Image2DOperations::getOverlayQImage(const Image2D* image, float threshold, QColor colour, bool below)
{
    if (!image)
        return QImage();
    return dispatchDataType(
        AllPixelTypes{}, image->getDataType(),
        [&](auto tag) {
            using T = typename decltype(tag)::type;
            if (!image->isValid())
                return QImage();
            const QRgb shown = colour.rgba();
            return drawOverlay<T>(*image, false, [&](float v) {
                return (below ? v < threshold : v >= threshold) ? shown : QRgb(0);
            });
        },
        [] { warning(kOverlayNotImplemented); });
}

} // namespace image2d
