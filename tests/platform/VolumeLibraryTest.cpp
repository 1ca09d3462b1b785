#include "image2d/filtering/Kernels.h"
#include "platform/volume/VoxenImage3DConvertor.h"
#include "platform/volume/VoxenImage3DReslicer.h"
#include "platform/volume/VoxenImageBinaryTools.h"
#include "platform/volume/VoxenImageGaussianSmooth.h"
#include "support/TestImages.h"
#include "support/TestVolumes.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <vector>

using namespace testing_support;

namespace {

using Point = std::array<double, 3>;

// Sample points of a reslice: origin, one offset per column and per row, one normal per column.
struct Geometry
{
    std::vector<float> origin, columns, rows, normals;
    int width() const { return static_cast<int>(columns.size() / 3); }
    int height() const { return static_cast<int>(rows.size() / 3); }
    Point point(int x, int y, double t = 0.0) const
    {
        Point p;
        for (int a = 0; a < 3; ++a)
            p[a] = origin[a] + columns[3 * x + a] + rows[3 * y + a] + t * normals[3 * x + a];
        return p;
    }
};

// The probe volume read without the reslicer: its analytic value inside, its minimum (0) outside.
double probeAt(const math::Ivec3& size, const Point& p)
{
    for (int a = 0; a < 3; ++a)
        if (p[a] < 0.0 || p[a] > size[a] - 1)
            return 0.0;
    return probeValue(p[0], p[1], p[2]);
}

} // namespace

TEST(VoxenImage3DReslicer, EverySamplerReadsTheProbeVolumeBackAtItsSamplePoints)
{
    const math::Ivec3 size{16, 12, 10};
    const VoxenImage3D volume = testing_support::probeVolume(size);
    const double top = probeValue(15, 11, 9);
    Geometry g;
    g.origin = {1.5f, 2.25f, 3.0f};
    for (int x = 0; x < 6; ++x)
        g.columns.insert(g.columns.end(), {0.5f * x, 0.25f * x, 0.125f * x});
    // Columns outside on the low x side and exactly on the last voxel plane.
    g.columns.insert(g.columns.end(), {-2.0f, 0.0f, 0.0f, 13.5f, 0.0f, 0.0f, 1.0f, 0.0f, 6.5f});
    for (int y = 0; y < 4; ++y)
        g.rows.insert(g.rows.end(), {0.25f * y, 0.5f * y, 0.75f * y});
    for (int x = 0; x < g.width(); ++x)
        g.normals.insert(g.normals.end(), {0.25f * (x % 3), -0.5f, 0.5f});
    const int steps = 4;

    Image2D plain, ceph, xray;
    VoxenImage3DReslicer::loadInterpolatedNormalizedReslice(&volume, g.origin.data(), g.columns.data(), g.rows.data(),
                                                            g.width(), g.height(), plain);
    VoxenImage3DReslicer::loadCephNormalizedReslice(&volume, g.origin.data(), g.columns.data(), g.rows.data(),
                                                    g.width(), g.height(), g.normals.data(), steps, ceph);
    VoxenImage3DReslicer::loadXRayNormalizedReslice(&volume, g.origin.data(), g.columns.data(), g.rows.data(),
                                                    g.width(), g.height(), g.normals.data(), steps,
                                                    math::Range<float>(0.0f, static_cast<float>(top)), xray);
    for (const Image2D* image : {&plain, &ceph, &xray})
    {
        ASSERT_EQ(image->getDataType(), Image2D::FLOAT);
        ASSERT_EQ(image->getSize(), QSize(g.width(), g.height()));
    }
    for (int y = 0; y < g.height(); ++y)
        for (int x = 0; x < g.width(); ++x)
        {
            double cephSum = 0.0, xraySum = 0.0;
            for (int k = 0; k < steps; ++k)
            {
                cephSum += probeAt(size, g.point(x, y, k)) / top;
                xraySum += probeAt(size, g.point(x, y, k - (steps - 1) / 2.0)) / top;
            }
            SCOPED_TRACE(testing::Message() << "pixel " << x << ", " << y);
            EXPECT_NEAR(pixelAt(plain, x, y), probeAt(size, g.point(x, y)) / top, 1e-6);
            EXPECT_NEAR(pixelAt(ceph, x, y), cephSum / steps, 1e-6);
            EXPECT_NEAR(pixelAt(xray, x, y), xraySum / steps, 1e-6);
        }
    EXPECT_EQ(pixelAt(plain, 6, 0), 0.0);
    EXPECT_NEAR(pixelAt(plain, 7, 0), probeValue(15, 2.25, 3) / top, 1e-6);
}

struct SlabCase
{
    const char* name;
    bool xray;
    float centreZ, normalZ;
    int steps;
    float opacityMin, opacityMax;
    double expected;
};

using SlabProjection = testing::TestWithParam<SlabCase>;

// 1000 in slices 4..7, 0 elsewhere: the projections' means are counted by hand.
TEST_P(SlabProjection, GivesTheMeanOverItsSamples)
{
    const SlabCase& c = GetParam();
    const VoxenImage3D slab = makeVolume({4, 4, 16}, image::DataType::FLOAT,
                                         [](int, int, int z) { return z >= 4 && z <= 7 ? 1000.0 : 0.0; });
    const float origin[3] = {1.0f, 2.0f, c.centreZ}, column[3] = {0, 0, 0}, row[3] = {0, 0, 0};
    const float normal[3] = {0.0f, 0.0f, c.normalZ};
    Image2D image(1, 1, Image2D::FLOAT);
    if (c.xray)
        VoxenImage3DReslicer::loadXRayNormalizedReslice(&slab, origin, column, row, 1, 1, normal, c.steps,
                                                        math::Range<float>(c.opacityMin, c.opacityMax), image);
    else
        VoxenImage3DReslicer::loadCephNormalizedReslice(&slab, origin, column, row, 1, 1, normal, c.steps, image);
    EXPECT_NEAR(pixelAt(image, 0, 0), c.expected, 1e-7);
}

INSTANTIATE_TEST_SUITE_P(
    VoxenImage3DReslicer, SlabProjection,
    testing::Values(SlabCase{"CephForwardFromTheFace", false, 0.0f, 1.0f, 8, 0, 0, 0.5},
                    SlabCase{"CephBackwardSeesOnlyAir", false, 0.0f, -1.0f, 8, 0, 0, 0.0},
                    SlabCase{"CephLongStep", false, 0.0f, 2.0f, 4, 0, 0, 0.5},
                    SlabCase{"CephOneStepAtLeast", false, 5.0f, 1.0f, 0, 0, 0, 1.0},
                    SlabCase{"XRayCentredHalfOpacity", true, 5.5f, 1.0f, 8, 0, 2000, 0.25},
                    SlabCase{"XRayCentredSaturated", true, 5.5f, 1.0f, 8, 0, 500, 0.5},
                    SlabCase{"XRayBetweenVoxels", true, 5.0f, 1.0f, 8, 0, 2000, 0.25},
                    SlabCase{"XRayBetweenVoxelsSaturated", true, 5.0f, 1.0f, 8, 0, 500, 0.625},
                    SlabCase{"XRayEmptyOpacityIsAStep", true, 5.0f, 1.0f, 8, 500, 500, 0.375},
                    SlabCase{"XRayOutsideReadsTheMinimum", true, -3.0f, 0.0f, 3, -100, 100, 0.5}),
    [](const testing::TestParamInfo<SlabCase>& info) { return std::string(info.param.name); });

TEST(VoxenImage3DReslicer, LoadsAnAxialSliceWithTheVoxelSize)
{
    const VoxenImage3D volume = makeVolume({3, 2, 4}, image::DataType::BINARY,
                                           [](int x, int y, int z) { return (x + y + z) % 2; },
                                           QVector3D(0.3f, 0.4f, 0.5f));
    Image2D slice;
    VoxenImage3DReslicer::loadAxialSlice2D(&volume, 2, &slice);
    EXPECT_EQ(slice.getDataType(), Image2D::BINARY);
    EXPECT_EQ(slice.getPixelSize(), QVector3D(0.3f, 0.4f, 0.5f));
    EXPECT_EQ(testing_support::pixels(slice), (std::vector<double>{0, 1, 0, 1, 0, 1}));
    VoxenImage3DReslicer::loadAxialSlice2D(&volume, 4, &slice); // out of range: unchanged
    EXPECT_EQ(slice.getSize(), QSize(3, 2));
}

namespace {

// Plain 3D convolution with edge replication, in double.
VoxenImage3D referenceSmooth(const VoxenImage3D& in, const math::Ivec3& radius, const QVector3D& sigma)
{
    const math::Ivec3 n = in.imageSize();
    const auto w = [&](int axis) {
        return image2d::SeparableGaussian(radius[axis], sigma[axis]).getValues();
    };
    const std::vector<float> wx = w(0), wy = w(1), wz = w(2);
    return makeVolume(n, image::DataType::FLOAT, [&](int x, int y, int z) {
        double sum = 0.0;
        for (int k = -radius.z; k <= radius.z; ++k)
            for (int j = -radius.y; j <= radius.y; ++j)
                for (int i = -radius.x; i <= radius.x; ++i)
                    sum += double(wx[i + radius.x]) * wy[j + radius.y] * wz[k + radius.z] *
                           voxelAt(in, std::clamp(x + i, 0, n.x - 1), std::clamp(y + j, 0, n.y - 1),
                                   std::clamp(z + k, 0, n.z - 1));
        return sum;
    });
}

bool smooth(const VoxenImage3D& in, VoxenImage3D& out, const math::Ivec3& radius, const QVector3D& sigma,
            bool cancelled = false)
{
    VoxenImageGaussianSmooth filter;
    filter.setInput(&in);
    filter.setOutput(&out);
    filter.setRadius(radius);
    filter.setStandardDeviation(sigma);
    const std::atomic<bool> cancel{cancelled};
    return filter.execute(cancel);
}

void expectVolumesNear(const VoxenImage3D& expected, const VoxenImage3D& actual, double tolerance)
{
    const math::Ivec3 n = expected.imageSize();
    ASSERT_EQ(actual.imageSize(), n);
    for (int z = 0; z < n.z; ++z)
        for (int y = 0; y < n.y; ++y)
            for (int x = 0; x < n.x; ++x)
                ASSERT_NEAR(voxelAt(actual, x, y, z), voxelAt(expected, x, y, z), tolerance)
                    << "voxel " << x << ", " << y << ", " << z;
}

} // namespace

TEST(VoxenImageGaussianSmooth, AnImpulseBecomesTheOuterProductOfTheThreeKernels)
{
    const math::Ivec3 radius{1, 2, 3};
    const QVector3D sigma(0.8f, 1.0f, 1.5f);
    const VoxenImage3D impulse = makeVolume({9, 9, 9}, image::DataType::FLOAT,
                                            [](int x, int y, int z) { return x == 4 && y == 4 && z == 4; });
    VoxenImage3D out({9, 9, 9}, QVector3D(1, 1, 1), image::DataType::FLOAT);
    ASSERT_TRUE(smooth(impulse, out, radius, sigma));
    const auto wx = image2d::SeparableGaussian(1, 0.8f).getValues();
    const auto wy = image2d::SeparableGaussian(2, 1.0f).getValues();
    const auto wz = image2d::SeparableGaussian(3, 1.5f).getValues();
    const auto weight = [](const std::vector<float>& w, int offset) {
        const int r = static_cast<int>(w.size()) / 2;
        return std::abs(offset) <= r ? double(w[offset + r]) : 0.0;
    };
    expectVolumesNear(makeVolume({9, 9, 9}, image::DataType::FLOAT,
                                 [&](int x, int y, int z) {
                                     return weight(wx, x - 4) * weight(wy, y - 4) * weight(wz, z - 4);
                                 }),
                      out, 1e-7);
}

TEST(VoxenImageGaussianSmooth, ReplicatesTheEdgesLikeAPlainConvolution)
{
    const VoxenImage3D in = testing_support::randomVolume({7, 6, 5}, image::DataType::SHORT, 3, -1000, 1000);
    const math::Ivec3 radius{2, 1, 3};
    const QVector3D sigma(1.0f, 0.7f, 2.0f);
    VoxenImage3D out({7, 6, 5}, QVector3D(1, 1, 1), image::DataType::FLOAT);
    ASSERT_TRUE(smooth(in, out, radius, sigma));
    const VoxenImage3D expected = referenceSmooth(in, radius, sigma);
    expectVolumesNear(expected, out, 1e-3);

    // In place on a FLOAT copy, and into SHORT (rounded half away from zero).
    VoxenImage3D inPlace = makeVolume({7, 6, 5}, image::DataType::FLOAT,
                                      [&](int x, int y, int z) { return voxelAt(in, x, y, z); });
    ASSERT_TRUE(smooth(inPlace, inPlace, radius, sigma));
    expectVolumesNear(expected, inPlace, 1e-3);
    VoxenImage3D rounded({7, 6, 5}, QVector3D(1, 1, 1), image::DataType::SHORT);
    ASSERT_TRUE(smooth(in, rounded, radius, sigma));
    expectVolumesNear(expected, rounded, 0.5 + 1e-3);
}

TEST(VoxenImageGaussianSmooth, RefusesWhatItCannotSmooth)
{
    const VoxenImage3D in({4, 4, 4}, QVector3D(1, 1, 1), image::DataType::FLOAT);
    VoxenImage3D out({4, 4, 4}, QVector3D(1, 1, 1), image::DataType::FLOAT);
    VoxenImage3D other({4, 4, 3}, QVector3D(1, 1, 1), image::DataType::FLOAT);
    EXPECT_TRUE(smooth(in, out, {1, 1, 1}, QVector3D(1, 1, 1)));
    EXPECT_FALSE(smooth(in, out, {1, 1, 1}, QVector3D(1, 1, 1), true)); // cancelled
    EXPECT_FALSE(smooth(in, other, {1, 1, 1}, QVector3D(1, 1, 1)));
    EXPECT_FALSE(smooth(in, out, {1, -1, 1}, QVector3D(1, 1, 1)));
    EXPECT_FALSE(smooth(VoxenImage3D(), out, {1, 1, 1}, QVector3D(1, 1, 1)));
}

TEST(VoxenImageBinaryTools, ThresholdsAboveOrAtAndBelow)
{
    const VoxenImage3D in = makeVolume({3, 1, 1}, image::DataType::SHORT, [](int x, int, int) { return x * 4 - 5; });
    VoxenImage3D out({3, 1, 1}, QVector3D(1, 1, 1), image::DataType::BINARY);
    VoxenImageBinaryTools tools;
    tools.setInput(&in);
    tools.setOutput(&out);
    ASSERT_TRUE(tools.thresholdFilter(-1, true)); // -5, -1, 3
    EXPECT_EQ((std::array{voxelAt(out, 0, 0, 0), voxelAt(out, 1, 0, 0), voxelAt(out, 2, 0, 0)}),
              (std::array{0.0, 0.0, 1.0}));
    ASSERT_TRUE(tools.thresholdFilter(-1, false));
    EXPECT_EQ((std::array{voxelAt(out, 0, 0, 0), voxelAt(out, 1, 0, 0), voxelAt(out, 2, 0, 0)}),
              (std::array{1.0, 1.0, 0.0}));
    VoxenImage3D notBinary({3, 1, 1}, QVector3D(1, 1, 1), image::DataType::SHORT);
    tools.setOutput(&notBinary);
    EXPECT_FALSE(tools.thresholdFilter(0, true));
}

struct ConversionCase
{
    const char* name;
    image::DataType from, to;
    double value, expected;
};

using VolumeConversion = testing::TestWithParam<ConversionCase>;

TEST_P(VolumeConversion, ConvertsEveryVoxel)
{
    const ConversionCase& c = GetParam();
    const VoxenImage3D in = makeVolume({2, 1, 2}, c.from, [&](int, int, int) { return c.value; },
                                       QVector3D(0.2f, 0.3f, 0.4f));
    const auto out = VoxenImage3DConvertor::convertToCopy(in, c.to, 1);
    ASSERT_TRUE(out && out->isValid());
    EXPECT_EQ(out->dataType(), c.to);
    EXPECT_EQ(out->voxelSize(), in.voxelSize());
    EXPECT_EQ(voxelAt(*out, 1, 0, 1), c.expected);
    EXPECT_EQ(voxelAt(*VoxenImage3DConvertor::convertToCopy(in, c.to, 0), 1, 0, 1), 0.0);
}

const double kNaN = std::numeric_limits<double>::quiet_NaN();
INSTANTIATE_TEST_SUITE_P(
    VoxenImage3DConvertor, VolumeConversion,
    testing::Values(ConversionCase{"ShortToFloat", image::DataType::SHORT, image::DataType::FLOAT, -1000, -1000},
                    ConversionCase{"FloatHalfRoundsAway", image::DataType::FLOAT, image::DataType::SHORT, -2.5, -3},
                    ConversionCase{"FloatSaturates", image::DataType::FLOAT, image::DataType::SHORT, 40000, 32767},
                    ConversionCase{"NaNToLowest", image::DataType::FLOAT, image::DataType::UNSIGNED_SHORT, kNaN, 0},
                    ConversionCase{"ShortToBinary", image::DataType::SHORT, image::DataType::BINARY, 7, 1},
                    ConversionCase{"SameType", image::DataType::INT, image::DataType::INT, -123456, -123456}),
    [](const testing::TestParamInfo<ConversionCase>& info) { return std::string(info.param.name); });
