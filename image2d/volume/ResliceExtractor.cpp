#include "image2d/volume/ResliceExtractor.h"

#include "image2d/enhancement/AutoLevelWindow3D.h"
#include "image2d/framework/Core.h"
#include "platform/volume/VoxenImage3DReslicer.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace image2d {

namespace {

// Most samples along one projection ray; beyond it a slab would take hours, not seconds.
constexpr float kMaxSteps = 65536.0f;

using Triple = math::Vec3;

Triple tripleAt(const float* array, int index)
{
    const float* p = array + 3 * static_cast<std::size_t>(index);
    return {p[0], p[1], p[2]};
}

void storeTriple(float* array, int index, const Triple& v)
{
    float* p = array + 3 * static_cast<std::size_t>(index);
    p[0] = v.x;
    p[1] = v.y;
    p[2] = v.z;
}

Triple times(const Triple& a, const Triple& b)
{
    return {a.x * b.x, a.y * b.y, a.z * b.z};
}

Triple dividedBy(const Triple& a, const Triple& b)
{
    return {a.x / b.x, a.y / b.y, a.z / b.z};
}

Triple cross(const Triple& a, const Triple& b)
{
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}

// An array of `count` triples, or empty for no elements or no memory.
std::unique_ptr<float[]> triples(int count)
{
    return count > 0 ? tryAllocateArray<float>(3 * static_cast<std::size_t>(count)) : nullptr;
}

} // namespace

ResliceExtractor::ResliceExtractor(Reslice* reslice) : m_reslice(reslice)
{
}

ResliceExtractor::~ResliceExtractor() = default;

void ResliceExtractor::calculateSamplePoints(ResliceSamplePoints& out, const QList<QVector3D>& points,
                                             const math::Vec3& voxelSize, int width, int height,
                                             const QMatrix4x4& matrix)
{
    const QMatrix4x4 a = matrix.inverted();
    const bool identity = a.isIdentity();
    // The row vector (x, y, z, 1) times A, then into voxel units.
    auto map = [&](const QVector3D& p) {
        Triple m(p.x(), p.y(), p.z());
        if (!identity)
            m = {a(0, 0) * p.x() + a(1, 0) * p.y() + a(2, 0) * p.z() + a(3, 0),
                 a(0, 1) * p.x() + a(1, 1) * p.y() + a(2, 1) * p.z() + a(3, 1),
                 a(0, 2) * p.x() + a(1, 2) * p.y() + a(2, 2) * p.z() + a(3, 2)};
        return dividedBy(m, voxelSize);
    };

    const int n = static_cast<int>(points.size() / 2);
    const Triple origin = n > 0 ? map(points[1]) : Triple();
    out.origin[0] = origin.x;
    out.origin[1] = origin.y;
    out.origin[2] = origin.z;
    out.normals.reset();

    out.columns = triples(width);
    out.columnCount = out.columns ? width : 0;
    if (n >= 2)
    {
        std::vector<Triple> d(static_cast<std::size_t>(n));
        for (int i = 0; i < n; ++i)
            d[i] = map(points[2 * i + 1]) - origin;
        const float step = static_cast<float>(n - 1) / static_cast<float>(out.columnCount);
        float t = step * 0.5f;
        for (int k = 0; k < out.columnCount; ++k, t += step)
        {
            const int i = std::min(static_cast<int>(t), n - 2);
            const float f = t - static_cast<float>(i);
            storeTriple(out.columns.get(), k, d[i] * (1.0f - f) + d[i + 1] * f);
        }
    }
    else
        std::fill_n(out.columns.get(), 3 * static_cast<std::size_t>(out.columnCount), 0.0f);

    out.rows = triples(height);
    out.rowCount = out.rows ? height : 0;
    const Triple sweep = n > 0 ? map(points[0]) - origin : Triple();
    for (int k = 0; k < out.rowCount; ++k)
    {
        const auto u = static_cast<float>((k + 0.5) / out.rowCount);
        storeTriple(out.rows.get(), k, sweep * u);
    }
}

void ResliceExtractor::calculateXRaySampleNormals(ResliceSamplePoints& points, float depthStep,
                                                  const math::Vec3& voxelSize, bool flip)
{
    const int count = points.columns ? points.columnCount : 0;
    points.normals = triples(count);
    if (!points.normals)
        return;
    std::fill_n(points.normals.get(), 3 * static_cast<std::size_t>(count), 0.0f);
    if (count < 2 || !points.rows || points.rowCount < 2)
        return;
    const Triple v = times(tripleAt(points.rows.get(), 1) - tripleAt(points.rows.get(), 0), voxelSize);
    for (int k = 0; k + 1 < count; ++k)
    {
        const Triple h =
            times(tripleAt(points.columns.get(), k + 1) - tripleAt(points.columns.get(), k), voxelSize);
        Triple normal = cross(h, v);
        if (flip)
            normal = normal * -1.0f;
        const float length = std::sqrt(normal.x * normal.x + normal.y * normal.y + normal.z * normal.z);
        // Two columns on one point, or columns along the sweep, have no direction to project in.
        if (!(length > 0.0f) || !std::isfinite(length))
            continue;
        storeTriple(points.normals.get(), k, dividedBy(normal * (depthStep / length), voxelSize));
    }
    storeTriple(points.normals.get(), count - 1, tripleAt(points.normals.get(), count - 2));
}

math::Range<float> ResliceExtractor::getOpacityRange(const Reslice* reslice)
{
    CTData* ct = reslice ? reslice->getCTData() : nullptr;
    if (!ct)
        return {};
    utility::Optional<data::LevelWindow> levelWindow = ct->getAutoLevelWindow();
    if (!levelWindow)
    {
        VoxenImage3D* volume = ct->getImageVolume() ? ct->getImageVolume()->getImage() : nullptr;
        if (!volume)
            return {};
        levelWindow = image3d::calculateAutoLevelWindow(volume);
        ct->setAutoLevelWindow(levelWindow);
    }
    const auto level = static_cast<float>(levelWindow->getLevel());
    const auto window = static_cast<float>(levelWindow->getWindow());
    return {level - window * 0.5f, level + window * 0.5f};
}

int ResliceExtractor::getSamplingSteps(float step, float thickness)
{
    const float steps = std::trunc(thickness / step);
    if (std::isnan(steps))
        return 1;
    return static_cast<int>(std::clamp(steps, 1.0f, kMaxSteps));
}

bool ResliceExtractor::isUsingXRay() const
{
    return m_reslice && m_reslice->isType(ResliceType::XRay);
}

bool ResliceExtractor::isUsingCeph() const
{
    return m_reslice && m_reslice->isType(ResliceType::Ceph);
}

void ResliceExtractor::loadBufferWithReslice(ResliceSamplePoints& points, VoxenImage3D* volume, Image2D& image)
{
    const int width = points.columnCount, height = points.rowCount;
    if (isUsingXRay() || isUsingCeph())
    {
        const int steps = getSamplingSteps(m_reslice->getSampleSize().z(), m_reslice->getThickness());
        if (isUsingXRay())
            VoxenImage3DReslicer::loadXRayNormalizedReslice(volume, points.origin, points.columns.get(),
                                                            points.rows.get(), width, height, points.normals.get(),
                                                            steps, getOpacityRange(m_reslice), image);
        else
            VoxenImage3DReslicer::loadCephNormalizedReslice(volume, points.origin, points.columns.get(),
                                                            points.rows.get(), width, height, points.normals.get(),
                                                            steps, image);
    }
    else
        VoxenImage3DReslicer::loadInterpolatedNormalizedReslice(volume, points.origin, points.columns.get(),
                                                                points.rows.get(), width, height, image);
}

Image2D* ResliceExtractor::extractResliceImage(VoxenImage3D* volume, const QSize& size, const QMatrix4x4& matrix)
{
    const bool sized = size.width() >= 1 && size.height() >= 1 && size.width() <= kMaxSide && size.height() <= kMaxSide;
    if (!sized)
        return new Image2D();
    const QVector3D voxelSize = volume ? volume->voxelSize() : QVector3D(1, 1, 1);
    auto* image = new Image2D(size, Image2D::FLOAT, voxelSize);
    if (!image->isValid() || !m_reslice || !volume || !volume->isValid())
        return image;

    ResliceSamplePoints points;
    const math::Vec3 voxel = math::toVec3(voxelSize);
    calculateSamplePoints(points, m_reslice->getReslicePoints(), voxel, size.width(), size.height(), matrix);
    if (points.columnCount != size.width() || points.rowCount != size.height())
        return image; // no memory for the grid: the image stays zero
    if (isUsingXRay() || isUsingCeph())
    {
        const auto* ceph = dynamic_cast<const CephReslice*>(m_reslice);
        const bool flip = ceph && ceph->getPointOfView() == meta::PointOfView::Left;
        calculateXRaySampleNormals(points, m_reslice->getSampleSize().z(), voxel, flip);
        if (!points.normals)
            return image;
    }
    loadBufferWithReslice(points, volume, *image);
    image->editFinished();
    return image;
}

} // namespace image2d
