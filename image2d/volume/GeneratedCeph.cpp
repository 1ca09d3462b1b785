#include "image2d/volume/GeneratedCeph.h"

#include "platform/volume/VoxenImage3DConvertor.h"
#include "platform/volume/VoxenImageGaussianSmooth.h"

#include <algorithm>
#include <atomic>
#include <cmath>

namespace ceph {

GenerateCephParameters::GenerateCephParameters()
    : lowValue(-1000.0f), lowThreshold(0.0f), firstBoostThreshold(500.0f), secondBoostThreshold(2000.0f)
{
}

namespace {

// Half a millimetre in voxels on one axis; 0 (no smoothing) for an unusable voxel size.
float halfMillimetre(float voxelSize)
{
    const float sigma = 0.5f / voxelSize;
    return std::isfinite(sigma) && sigma > 0.0f ? sigma : 0.0f;
}

int radiusFor(float sigma)
{
    // Beyond this radius the kernel would cost more than any volume the host loads.
    constexpr float kMaxRadius = 4096.0f;
    return static_cast<int>(std::min(std::roundf(2.0f * sigma), kMaxRadius));
}

} // namespace

std::unique_ptr<VoxenImage3D> createPreprocessedImageForGeneratedCeph(const VoxenImage3D& volume,
                                                                      const GenerateCephParameters& p)
{
    std::unique_ptr<VoxenImage3D> copy = VoxenImage3DConvertor::convertToCopy(volume, image::DataType::FLOAT, 1);
    if (!copy)
        return nullptr;
    const std::size_t count = copy->getNumVoxels();
    float* v = copy->data<float>();
    for (std::size_t i = 0; i < count; ++i)
        if (v[i] < p.lowThreshold)
            v[i] = p.lowValue;

    const QVector3D voxelSize = copy->voxelSize();
    const QVector3D sigma(halfMillimetre(voxelSize.x()), halfMillimetre(voxelSize.y()), halfMillimetre(voxelSize.z()));
    {
        VoxenImage3D smoothed(copy->imageSize(), voxelSize, image::DataType::FLOAT);
        VoxenImageGaussianSmooth smooth;
        smooth.setInput(copy.get());
        smooth.setOutput(&smoothed);
        smooth.setRadius(math::Ivec3(radiusFor(sigma.x()), radiusFor(sigma.y()), radiusFor(sigma.z())));
        smooth.setStandardDeviation(sigma);
        const std::atomic<bool> cancel{false};
        if (!smooth.execute(cancel))
            return nullptr;
        // Unsharp masking, clamp and both boosts are per voxel, so they share one pass.
        const float* s = smoothed.constData<float>();
        const float upper = p.lowValue + 8.0f * (p.firstBoostThreshold - p.lowValue);
        for (std::size_t i = 0; i < count; ++i)
        {
            float x = v[i] + 2.0f * (v[i] - s[i]);
            x = x > upper ? upper : (x < p.lowValue ? p.lowValue : x);
            if (x > p.firstBoostThreshold)
                x = (x - p.lowValue) * 2.0f + p.lowValue;
            if (x > p.secondBoostThreshold)
                x = (x - p.lowValue) * 1.5f + p.lowValue;
            v[i] = x;
        }
    }
    copy->editFinished();

    const math::Range<float> range = copy->getValueRange();
    const float span = range.getMax() - range.getMin();
    if (span > 0.0f)
    {
        for (std::size_t i = 0; i < count; ++i)
            v[i] = (v[i] - range.getMin()) / span;
        copy->editFinished();
    }
    return copy;
}

void postProcessGeneratedCeph(Image2D& image, const math::Range<float>& range)
{
    if (!image.isValid() || image.getDataType() != Image2D::FLOAT)
        return;
    const std::size_t count = image.getNumPixels();
    const float highest = image.getValueRange().getMax();
    float* v = image.getData<float>();
    if (highest != 0.0f)
    {
        for (std::size_t i = 0; i < count; ++i)
            v[i] /= highest;
        image.editFinished();
    }
    for (std::size_t i = 0; i < count; ++i)
        v[i] = v[i] <= 0.005f ? v[i] * 20.0f : (v[i] - 0.005f) * 0.9045226f + 0.1f;
    image.editFinished();
    const float scale = range.getMax() - range.getMin();
    for (std::size_t i = 0; i < count; ++i)
        v[i] = v[i] * scale + range.getMin();
    image.editFinished();
}

} // namespace ceph
