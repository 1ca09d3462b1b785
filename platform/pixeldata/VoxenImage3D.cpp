#include "platform/pixeldata/VoxenImage3D.h"

#include "platform/pixeldata/PixelTypes.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <type_traits>

void VoxenImage3D::FreeDeleter::operator()(unsigned char* p) const
{
    std::free(p);
}

int VoxenImage3D::elementSize(image::DataType type)
{
    // Unknown codes map to RGBA, which no volume holds.
    const Image2D::DataType sliceType = conversions::toImage2DDataType(type);
    return sliceType == Image2D::RGBA ? 0 : Image2D::dataTypeSize(sliceType);
}

VoxenImage3D::Buffer VoxenImage3D::allocate(const math::Ivec3& size, image::DataType type)
{
    const int element = elementSize(type);
    if (size.x <= 0 || size.y <= 0 || size.z <= 0 || element == 0)
        return Buffer();
    const auto limit = std::numeric_limits<std::size_t>::max() / static_cast<std::size_t>(element);
    const std::size_t slice = static_cast<std::size_t>(size.x) * static_cast<std::size_t>(size.y);
    if (slice > limit / static_cast<std::size_t>(size.z))
        return Buffer();
    // calloc: zero-filled, and large requests come as lazily zeroed pages at no extra cost.
    return Buffer(static_cast<unsigned char*>(
        std::calloc(slice * static_cast<std::size_t>(size.z), static_cast<std::size_t>(element))));
}

VoxenImage3D::VoxenImage3D() = default;

VoxenImage3D::VoxenImage3D(const math::Ivec3& size, const QVector3D& voxelSize, image::DataType type)
    : m_voxelSize(voxelSize), m_type(type), m_data(allocate(size, type))
{
    if (m_data)
        m_size = size;
}

VoxenImage3D::VoxenImage3D(const VoxenImage3D& other)
    : m_voxelSize(other.m_voxelSize), m_type(other.m_type)
{
    if (other.m_data)
    {
        m_data = allocate(other.m_size, other.m_type);
        if (m_data)
        {
            m_size = other.m_size;
            std::memcpy(m_data.get(), other.m_data.get(), getNumVoxels() * static_cast<std::size_t>(dataTypeSize()));
        }
    }
}

VoxenImage3D::VoxenImage3D(VoxenImage3D&& other) noexcept
    : m_size(other.m_size), m_voxelSize(other.m_voxelSize), m_type(other.m_type), m_data(std::move(other.m_data))
{
    other.m_size = math::Ivec3(0, 0, 0);
    other.invalidateRange();
}

VoxenImage3D& VoxenImage3D::operator=(const VoxenImage3D& other)
{
    if (this != &other)
    {
        VoxenImage3D copy(other);
        *this = std::move(copy);
    }
    return *this;
}

VoxenImage3D& VoxenImage3D::operator=(VoxenImage3D&& other) noexcept
{
    if (this != &other)
    {
        m_size = other.m_size;
        m_voxelSize = other.m_voxelSize;
        m_type = other.m_type;
        m_data = std::move(other.m_data);
        other.m_size = math::Ivec3(0, 0, 0);
        other.invalidateRange();
        invalidateRange();
    }
    return *this;
}

VoxenImage3D::~VoxenImage3D() = default;

std::size_t VoxenImage3D::getSliceVoxels() const
{
    return static_cast<std::size_t>(m_size.x) * static_cast<std::size_t>(m_size.y);
}

std::size_t VoxenImage3D::getNumVoxels() const
{
    return getSliceVoxels() * static_cast<std::size_t>(m_size.z);
}

void* VoxenImage3D::dataPtr()
{
    invalidateRange();
    return m_data.get();
}

const char* VoxenImage3D::getAxialSlice(int z) const
{
    if (!m_data || z < 0 || z >= m_size.z)
        return nullptr;
    return reinterpret_cast<const char*>(m_data.get()) + static_cast<std::size_t>(z) * sliceBytes();
}

char* VoxenImage3D::getAxialSlice(int z)
{
    if (!m_data || z < 0 || z >= m_size.z)
        return nullptr;
    invalidateRange();
    return reinterpret_cast<char*>(m_data.get()) + static_cast<std::size_t>(z) * sliceBytes();
}

bool VoxenImage3D::setAxialSlice(int z, const char* data)
{
    char* slice = getAxialSlice(z);
    if (!slice || !data)
        return false;
    std::memcpy(slice, data, sliceBytes());
    return true;
}

void VoxenImage3D::invalidateRange()
{
    std::lock_guard<std::mutex> lock(m_rangeMutex);
    m_rangeValid = false;
}

math::Range<float> VoxenImage3D::getValueRange() const
{
    std::lock_guard<std::mutex> lock(m_rangeMutex);
    if (m_rangeValid)
        return m_range;
    math::Range<float> range(0.0f, 0.0f);
    if (m_data)
    {
        pixeldata::visitDataType(sliceDataType(), [&](auto tag) {
            using T = typename decltype(tag)::type;
            const T* p = reinterpret_cast<const T*>(m_data.get());
            const std::size_t n = getNumVoxels();
            std::size_t i = 0;
            if constexpr (std::is_floating_point_v<T>)
                while (i < n && std::isnan(p[i]))
                    ++i;
            if (i == n)
                return;
            T lo = p[i], hi = p[i];
            for (; i < n; ++i)
            {
                // NaN fails both comparisons, so it never becomes a bound.
                lo = p[i] < lo ? p[i] : lo;
                hi = p[i] > hi ? p[i] : hi;
            }
            range = math::Range<float>(static_cast<float>(lo), static_cast<float>(hi));
        });
    }
    m_range = range;
    m_rangeValid = true;
    return range;
}
