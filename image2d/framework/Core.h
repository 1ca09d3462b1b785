#pragma once

// What the typed core functions share: the image type, typed dispatch, the store rules,
// a cancellation flag that is never set, and small checks on images.

#include "image2d/framework/Dispatch.h"
#include "image2d/framework/PixelStore.h"
#include "platform/pixeldata/Image2D.h"

#include <atomic>
#include <cstddef>
#include <memory>
#include <new>

namespace image2d {

/// A cancellation flag that is never set: the default of the core functions that poll one.
inline const std::atomic<bool>& neverCancelled()
{
    static const std::atomic<bool> flag{false};
    return flag;
}

/// Element index of pixel (x, y) in a packed row-major buffer of the given width.
inline std::size_t pixelIndex(int x, int y, int width)
{
    return static_cast<std::size_t>(y) * static_cast<std::size_t>(width) + static_cast<std::size_t>(x);
}

/// An uninitialised array for intermediate results that are fully written before they are
/// read, or an empty pointer when there is no memory for it.
template <typename T>
std::unique_ptr<T[]> tryAllocateArray(std::size_t count)
{
    return std::unique_ptr<T[]>(new (std::nothrow) T[count]);
}

/// Whether the image holds pixels that an algorithm can read.
inline bool hasPixels(const Image2D& image)
{
    return image.isValid() && image.getNumPixels() > 0;
}
inline bool hasPixels(const std::shared_ptr<Image2D>& image)
{
    return image && hasPixels(*image);
}

/// Whether `image` is a result of `like`'s size and the given type (a sub-step's output
/// that a composite may go on with).
inline bool usable(const std::shared_ptr<Image2D>& image, const Image2D& like, Image2D::DataType type)
{
    return image && image->isValid() && image->getSize() == like.getSize() && image->getDataType() == type;
}

/// A new result image of `like`'s size and pixel size with the given type, or an empty
/// pointer when it cannot be allocated.
inline std::shared_ptr<Image2D> newImageLike(const Image2D& like, Image2D::DataType type)
{
    auto image = std::make_shared<Image2D>(like.getSize(), type, like.getPixelSize());
    if (!image->isValid())
        return nullptr;
    return image;
}
inline std::shared_ptr<Image2D> newImageLike(const Image2D& like)
{
    return newImageLike(like, like.getDataType());
}

/// As newImageLike, but the pixels are left unset: only for results whose every pixel is
/// written before the image is handed on (no clearing pass, no fresh pages per call).
inline std::shared_ptr<Image2D> newUnfilledImageLike(const Image2D& like, Image2D::DataType type,
                                                     const QVector3D& pixelSize)
{
    auto image = std::make_shared<Image2D>(like.getSize(), type, pixelSize, false);
    if (!image->isValid())
        return nullptr;
    return image;
}
inline std::shared_ptr<Image2D> newUnfilledImageLike(const Image2D& like, Image2D::DataType type)
{
    return newUnfilledImageLike(like, type, like.getPixelSize());
}
inline std::shared_ptr<Image2D> newUnfilledImageLike(const Image2D& like)
{
    return newUnfilledImageLike(like, like.getDataType(), like.getPixelSize());
}

/// A pointer to the caller's image that does not own it, for handing an image that is only
/// read to an interface that takes shared pointers; it must not outlive `image`.
inline std::shared_ptr<Image2D> borrowImage(const Image2D& image)
{
    return std::shared_ptr<Image2D>(std::shared_ptr<Image2D>(), const_cast<Image2D*>(&image));
}

} // namespace image2d
