#pragma once

#include "image2d/volume/ResliceExtractor.h"
#include "platform/pixeldata/Image2DCache.h"

#include <QSharedPointer>
#include <QString>

#include <memory>

namespace image2d {

/// Reslice images sized from the reslice geometry, kept in a shared image cache under the
/// caller's keys. Copies share the cache. Runs on the calling thread (the samplers use the
/// TBB worker pool); the cache locks itself, this class does not.
class CachedReslicer
{
public:
    explicit CachedReslicer(std::shared_ptr<Image2DCache> cache);
    virtual ~CachedReslicer();
    CachedReslicer(const CachedReslicer&) = default;
    CachedReslicer& operator=(const CachedReslicer&) = default;

    /// Image size for point pairs at the given sample spacing (mm): with s = half the smallest
    /// spacing, width = trunc(L / s) and height = trunc(H / s), each at least 2 and at most
    /// ResliceExtractor::kMaxSide, where L is the polyline through the first point of every pair
    /// and H = |P[1] - P[0]|. `pixelSize` (may be null) receives L / width and H / height.
    /// Nothing is written when `size` is null.
    static void calculateTextureSize(const QList<QVector3D>& points, math::Vec3 spacing, int* size,
                                     float* pixelSize);

    /// The reslice's image at its quality factor (spacing = voxel size / quality factor), its
    /// points mapped by the inverse of the total resample transformation, with pixel size
    /// (L / width, H / height, 0). Empty for a null volume or reslice.
    static std::unique_ptr<Image2D> getResliceImageCPU(VoxenImage3D* volume, Reslice* reslice);

    /// The image cached under `key`; on a miss, computed as above, stored under `key` and
    /// returned. With a null volume a miss returns null and nothing is computed.
    QSharedPointer<Image2D> getResliceImageCPU(VoxenImage3D* volume, Reslice* reslice, const QString& key);

private:
    Image2DCached m_cache;
};

} // namespace image2d
