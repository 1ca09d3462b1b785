#pragma once

#include "platform/pixeldata/VoxenImage3D.h"

#include <memory>

/// Element-type conversion of volumes (the volume library's convertor).
class VoxenImage3DConvertor
{
public:
    /// A new volume of `volume`'s size and voxel size with element type `type`. With
    /// `copyValues` non-zero every voxel is converted: to FLOAT exactly (INT beyond 2^24 to the
    /// nearest float), to an integer type rounded half away from zero and clamped to the type
    /// (NaN to its lowest value), to BINARY 1 from 0.5 up; with 0 the new volume is left zero-filled. Empty for an
    /// invalid volume, element type 4 or a volume that cannot be allocated.
    static std::unique_ptr<VoxenImage3D> convertToCopy(const VoxenImage3D& volume, image::DataType type,
                                                       int copyValues);
};
