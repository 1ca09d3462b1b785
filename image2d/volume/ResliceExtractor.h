#pragma once

// Reslices of a CT volume: a curve of points swept along one direction becomes a grid of
// sample points in voxel coordinates, with one projection normal per column for simulated
// X-rays and cephalometric projections, and the volume library fills a FLOAT image from it.

#include "platform/documentmodel/Reslice.h"
#include "platform/maths/Range.h"
#include "platform/maths/Vec3.h"
#include "platform/pixeldata/Image2D.h"
#include "platform/pixeldata/VoxenImage3D.h"

#include <QList>
#include <QMatrix4x4>
#include <QSize>
#include <QVector3D>

#include <memory>

namespace image2d {

/// The sample grid of a reslice, in voxel units (millimetres divided component-wise by the
/// voxel size): pixel (x, y) samples origin + columns[x] + rows[y]. Owns its arrays; each is
/// an xyz triple per element. `normals` (one per column) is set only for projections.
struct ResliceSamplePoints
{
    float origin[3] = {0.0f, 0.0f, 0.0f};
    std::unique_ptr<float[]> columns;
    int columnCount = 0;
    std::unique_ptr<float[]> rows;
    int rowCount = 0;
    std::unique_ptr<float[]> normals;
};

/// Extracts the image of one reslice from a volume. Holds the reslice without owning it.
/// Runs on the calling thread; the volume library's samplers fill the rows in parallel on
/// the TBB worker pool. No messages: every call returns an image.
class ResliceExtractor
{
public:
    explicit ResliceExtractor(Reslice* reslice);
    virtual ~ResliceExtractor();

    /// A new FLOAT image of `size` (pixel size = voxel size), owned by the caller: the plain
    /// section, or for X-ray (type 1) and ceph (type 2) reslices the projection along the
    /// normals over max(trunc(thickness / sample size z), 1) steps; a CephReslice seen from
    /// point of view 0 projects the other way. The reslice points are mapped by `matrix` as
    /// calculateSamplePoints() states. Zero-filled when the reslice or volume is missing; an
    /// invalid image for a size outside [1, kMaxSide] on either axis.
    virtual Image2D* extractResliceImage(VoxenImage3D* volume, const QSize& size, const QMatrix4x4& matrix);

    /// Sample grid of width x height pixels for the point pairs (P[2i], P[2i + 1]): each
    /// point p is mapped as the row vector (x, y, z, 1) times A = matrix.inverted() (skipped
    /// when A is the identity), then divided by the voxel size; q(i) = mapped P[2i + 1],
    /// origin = q(0). Column k sits at t = (k + 1/2)(n - 1) / width (accumulated in float) along
    /// the polyline q, linearly interpolated; row k at (k + 1/2) / height of the sweep mapped
    /// P[0] - origin. With fewer than two pairs every column offset is 0 (and with no pair the
    /// origin and rows too); a non-positive width or height gives no columns or rows.
    static void calculateSamplePoints(ResliceSamplePoints& out, const QList<QVector3D>& points,
                                      const math::Vec3& voxelSize, int width, int height, const QMatrix4x4& matrix);

    /// One projection normal per column, depthStep long in millimetres, in voxel units: the
    /// cross product of the column step (to the next column) and the row step, both in mm,
    /// negated when `flip` is set; the last column repeats the one before. Fewer than two
    /// rows or columns, or a degenerate cross product, give zero normals.
    static void calculateXRaySampleNormals(ResliceSamplePoints& points, float depthStep, const math::Vec3& voxelSize,
                                           bool flip);

    /// The CT window as an opacity range [level - window / 2, level + window / 2]. The CT data's
    /// automatic level/window is computed once (image3d::calculateAutoLevelWindow) and stored
    /// into it; later calls read it back. [0, 0] without CT data or without a volume (nothing
    /// is stored then).
    static math::Range<float> getOpacityRange(const Reslice* reslice);

    Reslice* getReslice() const { return m_reslice; }

    /// Largest image side extractResliceImage() makes (a 1 GB FLOAT image when square).
    static constexpr int kMaxSide = 16384;

private:
    void loadBufferWithReslice(ResliceSamplePoints& points, VoxenImage3D* volume, Image2D& image);
    int getSamplingSteps(float step, float thickness);
    bool isUsingXRay() const;
    bool isUsingCeph() const;

    Reslice* m_reslice;
};

} // namespace image2d
