#include "platform/pixeldata/Image2D.h"

#include "platform/pixeldata/PixelTypes.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>

#include <sys/mman.h>

void Image2D::FreeDeleter::operator()(unsigned char* p) const
{
    if (owned)
        std::free(p);
}

static void* allocateUncleared(std::size_t bytes)
{
    // Large images come as fresh mappings on every call, and faulting them in 4 KiB pages cost
    // more than the filters writing them (48 MB: ~11,700 faults); on 2 MiB pages it is ~24.
    constexpr std::size_t hugePage = std::size_t(2) << 20;
    constexpr std::size_t largeImage = std::size_t(16) << 20;
    if (bytes < largeImage || bytes > std::numeric_limits<std::size_t>::max() - hugePage)
        return std::malloc(bytes);
    const std::size_t rounded = (bytes + hugePage - 1) / hugePage * hugePage;
    void* p = std::aligned_alloc(hugePage, rounded);
    if (p)
        ::madvise(p, rounded, MADV_HUGEPAGE); // advice only: without it, ordinary pages
    return p;
}

Image2D::Buffer Image2D::allocate(int width, int height, DataType type, bool zeroFill)
{
    const int elementSize = dataTypeSize(type);
    if (width <= 0 || height <= 0 || elementSize == 0)
        return Buffer();
    const std::size_t pixels = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
    if (pixels > std::numeric_limits<std::size_t>::max() / static_cast<std::size_t>(elementSize))
        return Buffer();
    const std::size_t bytes = pixels * static_cast<std::size_t>(elementSize);
    // A buffer that is written in full before it is read need not be cleared: malloc may
    // hand back memory of a freed image (no fresh pages to fault in), calloc would clear it.
    if (zeroFill)
        return Buffer(static_cast<unsigned char*>(std::calloc(pixels, static_cast<std::size_t>(elementSize))));
    return Buffer(static_cast<unsigned char*>(allocateUncleared(bytes)));
}

Image2D::Image2D() = default;

Image2D::Image2D(int width, int height, DataType type, const QVector3D& pixelSize, bool initialize)
    : m_type(type), m_pixelSize(pixelSize), m_data(allocate(width, height, type, initialize))
{
    if (m_data)
    {
        m_dimensions[0] = width;
        m_dimensions[1] = height;
    }
}

Image2D::Image2D(const QSize& size, DataType type, const QVector3D& pixelSize, bool initialize)
    : Image2D(size.width(), size.height(), type, pixelSize, initialize)
{
}

Image2D Image2D::wrapExternal(void* data, int width, int height, DataType type, const QVector3D& pixelSize)
{
    Image2D image;
    image.m_pixelSize = pixelSize;
    if (!data || width <= 0 || height <= 0 || dataTypeSize(type) == 0)
        return image;
    image.m_type = type;
    image.m_data = Buffer(static_cast<unsigned char*>(data), FreeDeleter{false});
    image.m_dimensions[0] = width;
    image.m_dimensions[1] = height;
    return image;
}

Image2D::Image2D(const Image2D& other)
    : m_type(other.m_type), m_pixelSize(other.m_pixelSize)
{
    if (other.m_data)
    {
        m_data = allocate(other.getWidth(), other.getHeight(), other.m_type, false);
        if (m_data)
        {
            m_dimensions[0] = other.m_dimensions[0];
            m_dimensions[1] = other.m_dimensions[1];
            std::memcpy(m_data.get(), other.m_data.get(), getByteCount());
        }
    }
}

Image2D::Image2D(Image2D&& other) noexcept
    : m_type(other.m_type), m_pixelSize(other.m_pixelSize), m_data(std::move(other.m_data))
{
    m_dimensions[0] = other.m_dimensions[0];
    m_dimensions[1] = other.m_dimensions[1];
    other.m_dimensions[0] = other.m_dimensions[1] = 0;
    other.invalidateRange();
}

Image2D& Image2D::operator=(const Image2D& other)
{
    if (this != &other)
    {
        Image2D copy(other);
        *this = std::move(copy);
    }
    return *this;
}

Image2D& Image2D::operator=(Image2D&& other) noexcept
{
    if (this != &other)
    {
        m_type = other.m_type;
        m_pixelSize = other.m_pixelSize;
        m_data = std::move(other.m_data);
        m_dimensions[0] = other.m_dimensions[0];
        m_dimensions[1] = other.m_dimensions[1];
        other.m_dimensions[0] = other.m_dimensions[1] = 0;
        other.invalidateRange();
        invalidateRange();
    }
    return *this;
}

Image2D::~Image2D() = default;

std::size_t Image2D::getNumPixels() const
{
    return static_cast<std::size_t>(m_dimensions[0]) * static_cast<std::size_t>(m_dimensions[1]);
}

void Image2D::invalidateRange()
{
    std::lock_guard<std::mutex> lock(m_rangeMutex);
    m_rangeValid = false;
}

math::Range<float> Image2D::getValueRange() const
{
    std::lock_guard<std::mutex> lock(m_rangeMutex);
    if (m_rangeValid)
        return m_range;
    math::Range<float> range(0.0f, 0.0f);
    if (m_data)
    {
        pixeldata::visitDataType(m_type, [&](auto tag) {
            using T = typename decltype(tag)::type;
            const T* p = reinterpret_cast<const T*>(m_data.get());
            const std::size_t n = getNumPixels();
            bool any = false;
            T lo{}, hi{};
            for (std::size_t i = 0; i < n; ++i)
            {
                const T v = p[i];
                if constexpr (std::is_floating_point_v<T>)
                    if (std::isnan(v))
                        continue;
                if (!any)
                {
                    lo = hi = v;
                    any = true;
                }
                lo = std::min(lo, v);
                hi = std::max(hi, v);
            }
            range = math::Range<float>(static_cast<float>(lo), static_cast<float>(hi));
        });
    }
    m_range = range;
    m_rangeValid = true;
    return range;
}

float Image2D::getMinFloatValue() const
{
    switch (m_type)
    {
    case UNSIGNED_SHORT:
    case UNSIGNED_CHAR:
    case BINARY:
    case RGBA: return 0.0f;
    case SHORT: return -32768.0f;
    case INT: return static_cast<float>(std::numeric_limits<std::int32_t>::min());
    case FLOAT: return getValueRange().getMin();
    }
    return 0.0f;
}

float Image2D::getMaxFloatValue() const
{
    switch (m_type)
    {
    case UNSIGNED_SHORT: return 65535.0f;
    case SHORT: return 32767.0f;
    case UNSIGNED_CHAR:
    case RGBA: return 255.0f;
    case BINARY: return 1.0f;
    case INT: return static_cast<float>(std::numeric_limits<std::int32_t>::max());
    case FLOAT: return getValueRange().getMax();
    }
    return 0.0f;
}

bool Image2D::loadFromData(const char* data, int width, int height, DataType type)
{
    if (!data)
        return false;
    Buffer buffer = allocate(width, height, type, false);
    if (!buffer)
        return false;
    std::memcpy(buffer.get(), data,
                static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * dataTypeSize(type));
    m_data = std::move(buffer);
    m_dimensions[0] = width;
    m_dimensions[1] = height;
    m_type = type;
    invalidateRange();
    return true;
}

int Image2D::dataTypeSize(DataType type)
{
    switch (type)
    {
    case UNSIGNED_SHORT:
    case SHORT: return 2;
    case UNSIGNED_CHAR:
    case BINARY: return 1;
    case RGBA:
    case FLOAT:
    case INT: return 4;
    }
    return 0;
}

QString Image2D::dataTypeString(DataType type)
{
    switch (type)
    {
    case UNSIGNED_SHORT: return QStringLiteral("UNSIGNED_SHORT");
    case SHORT: return QStringLiteral("SHORT");
    case UNSIGNED_CHAR: return QStringLiteral("UNSIGNED_CHAR");
    case BINARY: return QStringLiteral("BINARY");
    case RGBA: return QStringLiteral("RGBA");
    case FLOAT: return QStringLiteral("FLOAT");
    case INT: return QStringLiteral("INT");
    }
    return QStringLiteral("UNKNOWN(%1)").arg(static_cast<int>(type));
}
