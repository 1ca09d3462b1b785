#pragma once

// Generated cephalograms: the volume is prepared before the ceph projection and the
// projected image is tone-mapped afterwards.

#include "platform/maths/Range.h"
#include "platform/pixeldata/Image2D.h"
#include "platform/pixeldata/VoxenImage3D.h"

#include <memory>

namespace ceph {

/// Density thresholds of the preprocessing, in the volume's own units (CT numbers).
struct GenerateCephParameters
{
    /// The defaults: -1000, 0, 500, 2000.
    GenerateCephParameters();

    float lowValue;             ///< value of voxels below lowThreshold; lower clamp bound; pivot of both boosts
    float lowThreshold;         ///< voxels below it become lowValue
    float firstBoostThreshold;  ///< voxels above it are boosted by 2; sets the upper clamp bound
    float secondBoostThreshold; ///< voxels above it (after the first boost) are boosted by 1.5
};

/// A FLOAT copy of `volume` prepared for a ceph projection: voxels below lowThreshold set to
/// lowValue; unsharp masking v + 2 (v - s) with s the Gaussian smoothing of half a millimetre
/// (sigma 0.5 / voxel size per axis, radius round(2 sigma), capped at 4096; an axis of
/// non-positive or non-finite voxel size is not smoothed); clamped to [lowValue, lowValue + 8
/// (firstBoostThreshold - lowValue)]; the two boosts (v - lowValue) * 2 + lowValue above
/// firstBoostThreshold, then * 1.5 above secondBoostThreshold; finally (v - min) / (max - min)
/// over its value range, left as it is when the volume is constant. The voxel loops run on the
/// calling thread, the smoothing on the TBB worker pool; the input is not changed. Empty when
/// the volume is invalid or there is no memory for the copies.
std::unique_ptr<VoxenImage3D> createPreprocessedImageForGeneratedCeph(const VoxenImage3D& volume,
                                                                      const GenerateCephParameters& parameters);

/// Tone-maps a projected FLOAT image in place: divided by its highest pixel (skipped when that
/// is 0), then v <= 0.005 ? 20 v : (v - 0.005) * 0.9045226 + 0.1 (the pieces meet at (0.005,
/// 0.1) and 1 stays 1), then mapped onto `range` as v * (max - min) + min. Other pixel types
/// are left unchanged. Runs on the calling thread.
void postProcessGeneratedCeph(Image2D& image, const math::Range<float>& range);

} // namespace ceph
