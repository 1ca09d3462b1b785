#pragma once

#include "platform/maths/Vec3.h"
#include "platform/pixeldata/VoxenImage3D.h"

#include <QVector3D>

#include <atomic>

/// Separable Gaussian smoothing of a volume (the volume library's filter). Along each axis
/// the weights are the normalised 1D Gaussian of 2r + 1 taps that SeparableGaussian(r, sigma)
/// builds (radius 0 or sigma 0 on an axis leaves that axis as it is); voxels beyond the
/// border repeat the edge voxel. Each sum is taken as the centre voxel plus the weighted
/// differences from it, so a constant region stays exactly constant. Sums run in float and
/// are stored into the output's type
/// (integer types rounded half away from zero and clamped to the type). Slices run in
/// parallel on the TBB worker pool; the output may be the input itself.
class VoxenImageGaussianSmooth
{
public:
    void setInput(const VoxenImage3D* input) { m_input = input; }
    /// A volume of the input's size (any element type but 4) that receives the result.
    void setOutput(VoxenImage3D* output) { m_output = output; }
    void setRadius(const math::Ivec3& radius) { m_radius = radius; }
    /// Standard deviation per axis, in voxels.
    void setStandardDeviation(const QVector3D& sigma) { m_sigma = sigma; }

    /// Smooths the input into the output. False for a missing or invalid volume, volumes of
    /// different sizes, a negative radius, or when there is no memory for the work volume.
    /// Polls `cancel` before each slice (of each block of rows, in the slice pass); a cancelled
    /// run returns false and leaves the output partly written.
    bool execute(const std::atomic<bool>& cancel);

private:
    const VoxenImage3D* m_input = nullptr;
    VoxenImage3D* m_output = nullptr;
    math::Ivec3 m_radius{0, 0, 0};
    QVector3D m_sigma{0, 0, 0};
};
