#pragma once

// What the typed core functions share: the image type, typed dispatch, the store rules,
// a cancellation flag that is never set, and small checks on images.

#include "image2d/framework/Dispatch.h"
#include "image2d/framework/PixelStore.h"
#include "platform/pixeldata/Image2D.h"

#include <atomic>
#include <cstddef>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <new>
#include <utility>

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

namespace detail {
// Blocks that large temporaries gave back, for the next call to take again: a block above
// the allocator's mmap threshold would otherwise be returned to the system and every call
// would fault its pages in afresh. At most two blocks and 96 MiB are kept.
class ScratchCache
{
public:
    static ScratchCache& instance()
    {
        static ScratchCache cache;
        return cache;
    }
    ~ScratchCache()
    {
        for (Block& block : m_blocks)
            std::free(block.data);
    }
    // A block of at least `bytes` (the smallest kept one that fits), or a new one.
    void* take(std::size_t bytes, std::size_t& capacity)
    {
        {
            const std::lock_guard<std::mutex> lock(m_mutex);
            int best = -1;
            for (int i = 0; i < kBlocks; ++i)
                if (m_blocks[i].data && m_blocks[i].bytes >= bytes &&
                    (best < 0 || m_blocks[i].bytes < m_blocks[best].bytes))
                    best = i;
            if (best >= 0)
            {
                capacity = std::exchange(m_blocks[best].bytes, 0);
                m_total -= capacity;
                return std::exchange(m_blocks[best].data, nullptr);
            }
        }
        capacity = bytes;
        return std::malloc(bytes > 0 ? bytes : 1);
    }
    // Keeps the block in place of a smaller one; over the byte bound the smallest go.
    void give(void* data, std::size_t bytes)
    {
        if (data && bytes <= kMaxBytes)
        {
            const std::lock_guard<std::mutex> lock(m_mutex);
            Block* slot = &m_blocks[0];
            for (Block& block : m_blocks)
                if (!block.data || (slot->data && block.bytes < slot->bytes))
                    slot = &block;
            if (!slot->data || slot->bytes < bytes)
            {
                m_total += bytes - slot->bytes;
                std::swap(data, slot->data);
                slot->bytes = bytes;
            }
            while (m_total > kMaxBytes)
            {
                Block* smallest = nullptr;
                for (Block& block : m_blocks)
                    if (block.data && (!smallest || block.bytes < smallest->bytes))
                        smallest = &block;
                m_total -= smallest->bytes;
                std::free(std::exchange(smallest->data, nullptr));
                smallest->bytes = 0;
            }
        }
        std::free(data);
    }

private:
    static constexpr int kBlocks = 2;
    static constexpr std::size_t kMaxBytes = std::size_t(96) << 20;
    struct Block
    {
        void* data = nullptr;
        std::size_t bytes = 0;
    };
    std::mutex m_mutex;
    Block m_blocks[kBlocks];
    std::size_t m_total = 0;
};
} // namespace detail

/// An uninitialised array of `count` trivial elements for a large temporary that is fully
/// written before it is read, reused between calls through a small bounded cache (no
/// fresh pages per call); returned to the cache when it goes out of scope. False when
/// there is no memory for it.
template <typename T>
class ScratchArray
{
public:
    explicit ScratchArray(std::size_t count)
        : m_data(static_cast<T*>(detail::ScratchCache::instance().take(count * sizeof(T), m_bytes)))
    {
    }
    ~ScratchArray() { detail::ScratchCache::instance().give(m_data, m_bytes); }
    ScratchArray(const ScratchArray&) = delete;
    ScratchArray& operator=(const ScratchArray&) = delete;

    T* get() const { return m_data; }
    explicit operator bool() const { return m_data != nullptr; }

private:
    std::size_t m_bytes = 0;
    T* m_data;
};

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
