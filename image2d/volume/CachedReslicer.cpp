#include "image2d/volume/CachedReslicer.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace image2d {

namespace {

// max(trunc(length / s), 2), kept to what an image can be (NaN and infinities included).
int sideFor(float length, float s)
{
    const float pixels = std::trunc(length / s);
    if (std::isnan(pixels))
        return 2;
    return static_cast<int>(std::clamp(pixels, 2.0f, static_cast<float>(ResliceExtractor::kMaxSide)));
}

} // namespace

CachedReslicer::CachedReslicer(std::shared_ptr<Image2DCache> cache) : m_cache(std::move(cache))
{
}

CachedReslicer::~CachedReslicer() = default;

void CachedReslicer::calculateTextureSize(const QList<QVector3D>& points, math::Vec3 spacing, int* size,
                                          float* pixelSize)
{
    if (!size)
        return;
    const float s = std::min({spacing.x, spacing.y, spacing.z}) * 0.5f;
    const qsizetype n = points.size();
    float length = 0.0f;
    for (qsizetype i = 2; i <= n - 2; i += 2)
        length += (points[i] - points[i - 2]).length();
    const float height = n >= 2 ? (points[1] - points[0]).length() : 0.0f;
    size[0] = sideFor(length, s);
    size[1] = sideFor(height, s);
    if (pixelSize)
    {
        pixelSize[0] = length / static_cast<float>(size[0]);
        pixelSize[1] = height / static_cast<float>(size[1]);
    }
}

std::unique_ptr<Image2D> CachedReslicer::getResliceImageCPU(VoxenImage3D* volume, Reslice* reslice)
{
    if (!volume || !reslice)
        return nullptr;
    const QVector3D voxel = volume->voxelSize();
    const float quality = reslice->getQualityFactor();
    const math::Vec3 spacing(voxel.x() / quality, voxel.y() / quality, voxel.z() / quality);
    int size[2] = {1, 1};
    float pixelSize[2] = {0.0f, 0.0f};
    calculateTextureSize(reslice->getReslicePoints(), spacing, size, pixelSize);
    ResliceExtractor extractor(reslice);
    std::unique_ptr<Image2D> image(extractor.extractResliceImage(
        volume, QSize(size[0], size[1]), reslice->getTotalResampleTransformation().transposed()));
    image->setPixelSize(QVector3D(pixelSize[0], pixelSize[1], 0.0f));
    return image;
}

QSharedPointer<Image2D> CachedReslicer::getResliceImageCPU(VoxenImage3D* volume, Reslice* reslice,
                                                           const QString& key)
{
    QSharedPointer<Image2D> image = m_cache.getImage(key);
    if (image || !volume)
        return image;
    std::unique_ptr<Image2D> computed = getResliceImageCPU(volume, reslice);
    if (!computed)
        return image;
    image = QSharedPointer<Image2D>(computed.release());
    m_cache.setImage(image, key);
    return image;
}

} // namespace image2d
