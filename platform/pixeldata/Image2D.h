#pragma once

#include "platform/maths/Range.h"

#include <QSize>
#include <QString>
#include <QVector3D>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>

/// Image of the pixel-data library: one packed row-major buffer (pixel (x, y) is
/// element y * width + x, rows without padding), a pixel data type and a pixel size in mm.
///
/// Pixels are written through getData(); call editFinished() once writing is done.
/// The value range is cached: getData() (non-const), editFinished() and every
/// assignment drop the cache, so a range read after editFinished() is never stale.
class Image2D
{
public:
    /// Pixel types; the codes are what every typed dispatch switches on.
    enum DataType : int
    {
        UNSIGNED_SHORT = 0, ///< unsigned 16-bit
        SHORT = 1,          ///< signed 16-bit
        UNSIGNED_CHAR = 2,  ///< unsigned 8-bit
        BINARY = 3,         ///< unsigned 8-bit holding 0 or 1
        RGBA = 4,           ///< packed 8-bit colour; no algorithm supports it
        FLOAT = 5,          ///< 32-bit float
        INT = 6             ///< signed 32-bit
    };

    /// An empty, invalid image.
    Image2D();
    /// Allocates width x height pixels, zero-filled unless `initialize` is false (then the
    /// pixels are undefined until the caller writes every one of them). A negative or
    /// unallocatable size yields an invalid image, never an exception.
    Image2D(int width, int height, DataType type,
            const QVector3D& pixelSize = QVector3D(1, 1, 1), bool initialize = true);
    Image2D(const QSize& size, DataType type,
            const QVector3D& pixelSize = QVector3D(1, 1, 1), bool initialize = true);
    /// An image on a caller's packed buffer of width x height pixels of `type`, without
    /// copying it: the image never frees it, and the caller keeps it alive for the image's
    /// life (or that of an image it is moved into). Copies own their pixels. Invalid for a
    /// null buffer, a non-positive size or an unknown type. For bindings that hand arrays
    /// of another runtime to the algorithms, which only read their inputs.
    static Image2D wrapExternal(void* data, int width, int height, DataType type,
                                const QVector3D& pixelSize = QVector3D(1, 1, 1));

    Image2D(const Image2D& other);
    Image2D(Image2D&& other) noexcept;
    Image2D& operator=(const Image2D& other);
    Image2D& operator=(Image2D&& other) noexcept;
    ~Image2D();

    QSize getSize() const { return QSize(m_dimensions[0], m_dimensions[1]); }
    int getWidth() const { return m_dimensions[0]; }
    int getHeight() const { return m_dimensions[1]; }
    /// Width and height, in that order.
    const int* getDimensions() const { return m_dimensions; }
    std::size_t getNumPixels() const;
    DataType getDataType() const { return m_type; }
    /// Bytes per pixel of the data type (0 for an unknown code).
    int getDataTypeSize() const { return dataTypeSize(m_type); }
    /// Name of the data type, for messages ("UNSIGNED_SHORT", ...).
    QString getDataTypeString() const { return dataTypeString(m_type); }
    std::size_t getByteCount() const { return getNumPixels() * static_cast<std::size_t>(getDataTypeSize()); }

    QVector3D getPixelSize() const { return m_pixelSize; }
    void setPixelSize(const QVector3D& pixelSize) { m_pixelSize = pixelSize; }

    /// Whether the image holds pixel data.
    bool isValid() const { return m_data != nullptr; }
    /// Whether the image frees its pixel buffer (false for wrapExternal() and invalid images).
    bool ownsData() const { return m_data && m_data.get_deleter().owned; }

    /// Writable pixel buffer; drops the cached value range.
    template <typename T = unsigned char>
    T* getData()
    {
        invalidateRange();
        return reinterpret_cast<T*>(m_data.get());
    }
    template <typename T = unsigned char>
    const T* getData() const { return reinterpret_cast<const T*>(m_data.get()); }
    template <typename T = unsigned char>
    const T* getConstData() const { return reinterpret_cast<const T*>(m_data.get()); }

    /// Smallest and largest pixel value (NaN ignored); (0, 0) for an invalid image.
    math::Range<float> getValueRange() const;
    /// Same as getValueRange().
    math::Range<float> getDataRange() const { return getValueRange(); }
    /// Lower value bound: the type's bound for integer types, the pixel minimum for FLOAT.
    float getMinFloatValue() const;
    /// Upper value bound: the type's bound for integer types, the pixel maximum for FLOAT.
    float getMaxFloatValue() const;

    /// Replaces the image by a copy of a raw packed buffer; false (image unchanged)
    /// for a null buffer, a non-positive size, an unknown type or a failed allocation.
    bool loadFromData(const char* data, int width, int height, DataType type);

    /// Marks the pixels as written: drops the cached value range.
    void editFinished() { invalidateRange(); }

    static int dataTypeSize(DataType type);
    static QString dataTypeString(DataType type);

private:
    // Frees what the image allocated; an external buffer (owned false) is left to its owner.
    struct FreeDeleter
    {
        FreeDeleter() : owned(true) {}
        explicit FreeDeleter(bool owns) : owned(owns) {}
        bool owned;
        void operator()(unsigned char* p) const;
    };
    using Buffer = std::unique_ptr<unsigned char[], FreeDeleter>;

    static Buffer allocate(int width, int height, DataType type, bool zeroFill);
    void invalidateRange();

    int m_dimensions[2] = {0, 0};
    DataType m_type = UNSIGNED_SHORT;
    QVector3D m_pixelSize{1, 1, 1};
    Buffer m_data;

    // Cache of the pixel range; guarded because const readers may share one image.
    mutable std::mutex m_rangeMutex;
    mutable bool m_rangeValid = false;
    mutable math::Range<float> m_range;
};
