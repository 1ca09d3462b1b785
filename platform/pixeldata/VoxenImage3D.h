#pragma once

#include "platform/maths/Range.h"
#include "platform/maths/Vec3.h"
#include "platform/pixeldata/Conversions.h"

#include <QVector3D>

#include <cstddef>
#include <memory>
#include <mutex>

/// CT volume of the pixel-data library: one packed buffer of voxels, x fastest, then y,
/// then z (voxel (x, y, z) is element (z * rows + y) * columns + x, so each axial slice is
/// one contiguous row-major 2D image), an element type and a voxel size in mm.
///
/// Element types are the codes of Image2D (0, 1, 2, 3, 5, 6); code 4 and unknown codes give
/// an invalid volume, as does a non-positive or unallocatable size (never an exception).
/// Voxels are written through the non-const accessors; call editFinished() once writing is
/// done. The value range is cached: every non-const accessor, setAxialSlice(), editFinished()
/// and every assignment drop the cache, so a range read after editFinished() is never stale.
/// Const reads (the range included) are safe from several threads at once.
class VoxenImage3D
{
public:
    /// An empty, invalid volume.
    VoxenImage3D();
    /// Allocates size.x * size.y * size.z zero-filled voxels.
    VoxenImage3D(const math::Ivec3& size, const QVector3D& voxelSize, image::DataType type);

    VoxenImage3D(const VoxenImage3D& other);
    VoxenImage3D(VoxenImage3D&& other) noexcept;
    VoxenImage3D& operator=(const VoxenImage3D& other);
    VoxenImage3D& operator=(VoxenImage3D&& other) noexcept;
    ~VoxenImage3D();

    /// Columns, rows and axial slices; (0, 0, 0) for an invalid volume.
    math::Ivec3 imageSize() const { return m_size; }
    /// Voxel size in mm (x, y, z).
    QVector3D voxelSize() const { return m_voxelSize; }
    void setVoxelSize(const QVector3D& voxelSize) { m_voxelSize = voxelSize; }
    image::DataType dataType() const { return m_type; }
    /// The 2D pixel type of one axial slice.
    Image2D::DataType sliceDataType() const { return conversions::toImage2DDataType(m_type); }
    /// Bytes per voxel (0 for code 4 and unknown codes).
    int dataTypeSize() const { return elementSize(m_type); }

    /// Whether the volume holds voxels.
    bool isValid() const { return m_data != nullptr; }
    std::size_t getNumVoxels() const;
    /// Voxels of one axial slice (columns * rows).
    std::size_t getSliceVoxels() const;

    /// All voxels, contiguous; the writable accessor drops the cached value range.
    void* dataPtr();
    const void* dataPtr() const { return m_data.get(); }
    template <typename T>
    T* data() { return static_cast<T*>(dataPtr()); }
    template <typename T>
    const T* constData() const { return static_cast<const T*>(dataPtr()); }

    /// First byte of axial slice z, or null for an invalid volume or z outside [0, slices).
    const char* getAxialSlice(int z) const;
    char* getAxialSlice(int z);
    /// Copies one slice of the volume's element type (columns * rows elements) into slice z.
    /// False (volume unchanged) for a null buffer, an invalid volume or z out of range.
    bool setAxialSlice(int z, const char* data);

    /// Lowest and highest voxel (NaN ignored); (0, 0) for an invalid volume.
    math::Range<float> getValueRange() const;

    /// Marks the voxels as written: drops the cached value range.
    void editFinished() { invalidateRange(); }

    /// Bytes per element of a volume type (0 for code 4 and unknown codes).
    static int elementSize(image::DataType type);

private:
    struct FreeDeleter
    {
        void operator()(unsigned char* p) const;
    };
    using Buffer = std::unique_ptr<unsigned char[], FreeDeleter>;

    static Buffer allocate(const math::Ivec3& size, image::DataType type);
    std::size_t sliceBytes() const { return getSliceVoxels() * static_cast<std::size_t>(dataTypeSize()); }
    void invalidateRange();

    math::Ivec3 m_size{0, 0, 0};
    QVector3D m_voxelSize{1, 1, 1};
    image::DataType m_type = image::DataType::SHORT;
    Buffer m_data;

    // Cache of the voxel range; guarded because const readers may share one volume.
    mutable std::mutex m_rangeMutex;
    mutable bool m_rangeValid = false;
    mutable math::Range<float> m_range;
};

namespace math {

/// The maths library's vector of a Qt vector (voxel sizes travel as both).
inline Vec3 toVec3(const QVector3D& v)
{
    return Vec3(v.x(), v.y(), v.z());
}

} // namespace math
