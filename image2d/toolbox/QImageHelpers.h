#pragma once

// Helpers on Qt display images: brightness and contrast, raw pixel buffers wrapped as QImage,
// and cropping of a white border. All run on the caller's thread.

#include <QByteArray>
#include <QImage>
#include <QList>

#include <memory>

namespace qimage {

/// Brightness B and contrast K of display images. Every channel (red, green, blue) becomes
/// clamp(trunc((v - 128) * F + 128) + B, 0, 255) with F = (K + 255) * 259 / ((259 - K) * 255)
/// in float; K is meant to lie in (-259, 259). Alpha is kept, except where noted.
class BrightnessContrast
{
public:
    /// An adjusted copy: RGB32 and ARGB32 pixels in place (alpha or padding byte kept), the
    /// colour table of an Indexed8 image (entries made opaque), any other format pixel by pixel
    /// through QColor (alpha becomes 255; formats Qt cannot write colours into stay as they are).
    static QImage execute(const QImage& image, int brightness, int contrast);
    /// Adjusted copies of packed AABBGGRR colours, alpha kept.
    static QList<unsigned int> executeOnVertexColors(const QList<unsigned int>& colours, int brightness, int contrast);

private:
    static void execute32BitOptimized(QImage& image, float factor, int brightness);
    static void executeIndexed8BitOptimized(QImage& image, float factor, int brightness);
    static void executeGeneric(QImage& image, float factor, int brightness);
};

/// A QImage on a packed buffer of `height` rows of (bits per pixel / 8) * width bytes. When
/// the rows are not already 4-byte aligned (`rowsAligned` false) and their length is not a
/// multiple of 4, the rows are copied into a new image and the buffer is released; otherwise
/// the image is built on the buffer itself and keeps it alive until the image is destroyed.
/// Formats below 8 bits per pixel are not supported. A null image for a null buffer or a size
/// beyond int.
QImage toQImage(std::shared_ptr<unsigned char[]> data, unsigned int width, unsigned int height, bool rowsAligned,
                QImage::Format format);
QImage toQImage(std::unique_ptr<unsigned char[]> data, unsigned int width, unsigned int height, bool rowsAligned,
                QImage::Format format);
/// The same on an array that holds either packed rows or 4-byte aligned rows (told by its
/// size); a null image for any other size.
QImage toQImage(QByteArray data, unsigned int width, unsigned int height, QImage::Format format);

/// The smallest rectangle holding every pixel that is not opaque white (0xFFFFFFFF from
/// QImage::pixel), as a copy; the whole image when all of it is white.
QImage removeWhiteBorder(const QImage& image);

} // namespace qimage
