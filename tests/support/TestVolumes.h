#pragma once

#include "platform/pixeldata/VoxenImage3D.h"

#include <cstdint>
#include <functional>

namespace testing_support {

/// A volume of the given type whose voxel (x, y, z) is value(x, y, z) cast to the element type.
VoxenImage3D makeVolume(const math::Ivec3& size, image::DataType type,
                        const std::function<double(int, int, int)>& value,
                        const QVector3D& voxelSize = QVector3D(1, 1, 1));

/// Deterministic uniform random voxels in [lo, hi] (integers for integer types).
VoxenImage3D randomVolume(const math::Ivec3& size, image::DataType type, std::uint32_t seed, double lo, double hi);

/// The linear probe x + 100 y + 10000 z: trilinear sampling reproduces it exactly, so the
/// place of every sample can be read back from its value.
inline double probeValue(double x, double y, double z)
{
    return x + 100.0 * y + 10000.0 * z;
}
/// A FLOAT volume holding probeValue at every voxel.
VoxenImage3D probeVolume(const math::Ivec3& size);

/// Voxel (x, y, z) as double, whatever the type.
double voxelAt(const VoxenImage3D& volume, int x, int y, int z);

} // namespace testing_support
