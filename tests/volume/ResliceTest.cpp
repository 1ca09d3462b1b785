// Reslice extraction and caching: the sample grid, the projection normals and the image
// size against values worked by hand from the geometry; whole extractions read back from a
// linear probe volume (trilinear sampling reproduces it, so every sample's place shows in its
// value) and from slab volumes whose projections have a known mean.
#include "image2d/enhancement/AutoLevelWindow3D.h"
#include "image2d/volume/CachedReslicer.h"
#include "support/TestVolumes.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <vector>

using namespace image2d;
using namespace testing_support;

namespace {

using V = QVector3D;
using Triples = std::vector<V>;

Triples triples(const float* array, int count)
{
    Triples out;
    for (int i = 0; i < count; ++i)
        out.emplace_back(array[3 * i], array[3 * i + 1], array[3 * i + 2]);
    return out;
}

::testing::AssertionResult near(const Triples& actual, const Triples& expected, float tolerance = 1e-5f)
{
    if (actual.size() != expected.size())
        return ::testing::AssertionFailure() << actual.size() << " triples, expected " << expected.size();
    for (std::size_t i = 0; i < actual.size(); ++i)
        if ((actual[i] - expected[i]).length() > tolerance || std::isnan(actual[i].lengthSquared()))
            return ::testing::AssertionFailure() << "triple " << i << " is (" << actual[i].x() << ", " << actual[i].y()
                                                 << ", " << actual[i].z() << "), expected (" << expected[i].x()
                                                 << ", " << expected[i].y() << ", " << expected[i].z() << ")";
    return ::testing::AssertionSuccess();
}

float pixel(const Image2D& image, int x, int y)
{
    return image.getConstData<float>()[y * image.getWidth() + x];
}

QMatrix4x4 rotationAboutZ(float degrees)
{
    QMatrix4x4 m;
    m.rotate(degrees, 0, 0, 1);
    return m;
}

QMatrix4x4 scaledAndShifted()
{
    QMatrix4x4 m; // p -> 2 p + (4, 0, 0)
    m.translate(4, 0, 0);
    m.scale(2);
    return m;
}

// --- calculateSamplePoints -------------------------------------------------------------

struct GridCase
{
    const char* name;
    QList<V> points;
    math::Vec3 voxelSize;
    int width, height;
    QMatrix4x4 matrix;
    V origin;
    Triples columns, rows;
};

// Pairs (sweep end, curve point). Two pairs: step 1/4, so columns sit at t = 1/8, 3/8, ...
// of the way, half a column step inside the first point. Three pairs with width 4: step
// 1/2, t = 0.25 .. 1.75 over the two segments. Voxel sizes divide per axis. The matrix is
// read as a row-vector transform of its inverse, so a transposed T maps by T^-1 and an
// untransposed translation moves nothing.
const GridCase gridCases[] = {
    {"TwoPairsIdentity", {V(0, 10, 0), V(0, 0, 0), V(10, 10, 0), V(10, 0, 0)}, {1, 1, 1}, 4, 2, {}, V(0, 0, 0),
     {V(1.25f, 0, 0), V(3.75f, 0, 0), V(6.25f, 0, 0), V(8.75f, 0, 0)}, {V(0, 2.5f, 0), V(0, 7.5f, 0)}},
    {"ThreePairsCurve", {V(0, 0, 20), V(0, 0, 0), V(10, 0, 20), V(10, 0, 0), V(10, 10, 20), V(10, 10, 0)}, {1, 1, 1},
     4, 4, {}, V(0, 0, 0), {V(2.5f, 0, 0), V(7.5f, 0, 0), V(10, 2.5f, 0), V(10, 7.5f, 0)},
     {V(0, 0, 2.5f), V(0, 0, 7.5f), V(0, 0, 12.5f), V(0, 0, 17.5f)}},
    {"VoxelSizePerAxis", {V(2, 4, 26), V(2, 4, 6), V(12, 4, 26), V(12, 4, 6), V(12, 14, 26), V(12, 14, 6)},
     {0.5f, 0.25f, 2}, 4, 2, {}, V(4, 16, 3), {V(5, 0, 0), V(15, 0, 0), V(20, 10, 0), V(20, 30, 0)},
     {V(0, 0, 2.5f), V(0, 0, 7.5f)}},
    {"TransposedTranslationMapsByItsInverse", {V(5, 10, 0), V(5, 0, 0), V(15, 10, 0), V(15, 0, 0)}, {1, 1, 1}, 2, 1,
     QMatrix4x4(1, 0, 0, 5, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1).transposed(), V(0, 0, 0),
     {V(2.5f, 0, 0), V(7.5f, 0, 0)}, {V(0, 5, 0)}},
    {"UntransposedTranslationMovesNothing", {V(5, 10, 0), V(5, 0, 0), V(15, 10, 0), V(15, 0, 0)}, {1, 1, 1}, 2, 1,
     QMatrix4x4(1, 0, 0, 5, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1), V(5, 0, 0), {V(2.5f, 0, 0), V(7.5f, 0, 0)},
     {V(0, 5, 0)}},
    // T^-1 of a quarter turn about z: (x, y, z) -> (y, -x, z).
    {"TransposedRotation", {V(0, 0, 8), V(2, 0, 0), V(6, 0, 8), V(6, 0, 0)}, {1, 1, 1}, 2, 2,
     rotationAboutZ(90).transposed(), V(0, -2, 0), {V(0, -1, 0), V(0, -3, 0)}, {V(0, 0.5f, 2), V(0, 1.5f, 6)}},
    // T^-1 p = (p - (4, 0, 0)) / 2, then doubled by the 0.5 mm voxels.
    {"TransposedScaleAndShiftWithVoxels", {V(4, 0, 4), V(4, 0, 0), V(12, 0, 4), V(12, 0, 0)}, {0.5f, 0.5f, 0.5f}, 2,
     1, scaledAndShifted().transposed(), V(0, 0, 0), {V(2, 0, 0), V(6, 0, 0)}, {V(0, 0, 2)}},
    {"OnePairHasNoColumnOffsets", {V(3, 3, 10), V(3, 3, 0)}, {1, 1, 1}, 3, 2, {}, V(3, 3, 0),
     {V(0, 0, 0), V(0, 0, 0), V(0, 0, 0)}, {V(0, 0, 2.5f), V(0, 0, 7.5f)}},
    {"NoPointsAllZero", {}, {1, 1, 1}, 2, 1, {}, V(0, 0, 0), {V(0, 0, 0), V(0, 0, 0)}, {V(0, 0, 0)}},
};

using SampleGrid = testing::TestWithParam<GridCase>;

TEST_P(SampleGrid, MatchesTheHandWorkedGrid)
{
    const GridCase& c = GetParam();
    ResliceSamplePoints out;
    ResliceExtractor::calculateSamplePoints(out, c.points, c.voxelSize, c.width, c.height, c.matrix);
    EXPECT_TRUE(near({V(out.origin[0], out.origin[1], out.origin[2])}, {c.origin}));
    EXPECT_TRUE(near(triples(out.columns.get(), out.columnCount), c.columns));
    EXPECT_TRUE(near(triples(out.rows.get(), out.rowCount), c.rows));
    EXPECT_EQ(out.normals, nullptr);
}

INSTANTIATE_TEST_SUITE_P(ResliceExtractor, SampleGrid, testing::ValuesIn(gridCases),
                         [](const auto& info) { return std::string(info.param.name); });

// --- calculateXRaySampleNormals --------------------------------------------------------

struct NormalCase
{
    const char* name;
    QList<V> points;
    math::Vec3 voxelSize;
    int width, height;
    float depthStep;
    bool flip;
    Triples normals; // voxel units
};

// Columns along +x and rows along +y give (x step) x (y step) along +z, depthStep mm long,
// then divided by the voxel size; flipping negates it; the last column repeats the one
// before. Along the curve (1, 1, 0) with rows going down, the normal is (-1, 1, 0) / sqrt 2.
const float r = 0.5f * std::sqrt(0.5f);
const NormalCase normalCases[] = {
    {"AlongZ", {V(0, 4, 0), V(0, 0, 0), V(4, 4, 0), V(4, 0, 0)}, {0.5f, 0.5f, 0.5f}, 3, 2, 0.5f, false,
     {V(0, 0, 1), V(0, 0, 1), V(0, 0, 1)}},
    {"Flipped", {V(0, 4, 0), V(0, 0, 0), V(4, 4, 0), V(4, 0, 0)}, {0.5f, 0.5f, 0.5f}, 3, 2, 0.5f, true,
     {V(0, 0, -1), V(0, 0, -1), V(0, 0, -1)}},
    {"VoxelSizePerAxis", {V(0, 4, 0), V(0, 0, 0), V(4, 4, 0), V(4, 0, 0)}, {0.5f, 0.25f, 0.25f}, 2, 4, 0.5f, false,
     {V(0, 0, 2), V(0, 0, 2)}},
    {"Diagonal", {V(0, 0, -2), V(0, 0, 0), V(4, 4, -2), V(4, 4, 0)}, {1, 1, 1}, 2, 2, 0.5f, false,
     {V(-r, r, 0), V(-r, r, 0)}},
    // The curve turns from +x to +y with rows along +z: the normals turn from -y through the
    // corner's diagonal to +x.
    {"FollowsTheCurve", {V(0, 0, 4), V(0, 0, 0), V(4, 0, 4), V(4, 0, 0), V(4, 4, 4), V(4, 4, 0)}, {1, 1, 1}, 4, 2,
     2.0f, false, {V(0, -2, 0), V(std::sqrt(2.0f), -std::sqrt(2.0f), 0), V(2, 0, 0), V(2, 0, 0)}},
    {"OneRowGivesZero", {V(0, 4, 0), V(0, 0, 0), V(4, 4, 0), V(4, 0, 0)}, {1, 1, 1}, 2, 1, 1.0f, false,
     {V(0, 0, 0), V(0, 0, 0)}},
    {"NoSweepGivesZero", {V(0, 0, 0), V(0, 0, 0), V(4, 0, 0), V(4, 0, 0)}, {1, 1, 1}, 2, 2, 1.0f, false,
     {V(0, 0, 0), V(0, 0, 0)}},
};

using SampleNormals = testing::TestWithParam<NormalCase>;

TEST_P(SampleNormals, HaveTheDepthStepAcrossColumnsAndRows)
{
    const NormalCase& c = GetParam();
    ResliceSamplePoints points;
    ResliceExtractor::calculateSamplePoints(points, c.points, c.voxelSize, c.width, c.height, {});
    ResliceExtractor::calculateXRaySampleNormals(points, c.depthStep, c.voxelSize, c.flip);
    EXPECT_TRUE(near(triples(points.normals.get(), points.columnCount), c.normals));
}

INSTANTIATE_TEST_SUITE_P(ResliceExtractor, SampleNormals, testing::ValuesIn(normalCases),
                         [](const auto& info) { return std::string(info.param.name); });

// --- calculateTextureSize --------------------------------------------------------------

struct SizeCase
{
    const char* name;
    QList<V> points;
    math::Vec3 spacing;
    int width, height;
    float pixelWidth, pixelHeight;
};

// s = half the smallest spacing. The width follows the polyline of the pairs' FIRST points
// (here 40 mm, where the second points span 10 mm), the height |P1 - P0|.
const SizeCase sizeCases[] = {
    {"FirstPointsAndSweep", {V(0, 0, 0), V(0, 0, 20), V(40, 0, 0), V(10, 0, 20)}, {0.5f, 0.5f, 0.5f}, 160, 80, 0.25f,
     0.25f},
    {"SmallestSpacingCounts", {V(0, 0, 0), V(0, 0, 3), V(3, 0, 0), V(3, 0, 3), V(3, 4, 0), V(3, 4, 3)},
     {0.8f, 0.25f, 0.6f}, 56, 24, 0.125f, 0.125f},
    {"NoSweepIsTwoHigh", {V(0, 0, 0), V(0, 0, 0), V(8, 0, 0), V(8, 0, 0)}, {1, 1, 1}, 16, 2, 0.5f, 0.0f},
    {"NoPointsIsTwoByTwo", {}, {1, 1, 1}, 2, 2, 0.0f, 0.0f},
    {"ZeroSpacingStaysBounded", {V(0, 0, 0), V(0, 0, 1), V(1, 0, 0), V(1, 0, 1)}, {0, 1, 1},
     ResliceExtractor::kMaxSide, ResliceExtractor::kMaxSide, 1.0f / ResliceExtractor::kMaxSide,
     1.0f / ResliceExtractor::kMaxSide},
};

using TextureSize = testing::TestWithParam<SizeCase>;

TEST_P(TextureSize, FollowsTheCurveLengthAndSweep)
{
    const SizeCase& c = GetParam();
    int size[2] = {1, 1};
    float pixelSize[2] = {-1, -1};
    CachedReslicer::calculateTextureSize(c.points, c.spacing, size, pixelSize);
    EXPECT_EQ(size[0], c.width);
    EXPECT_EQ(size[1], c.height);
    EXPECT_FLOAT_EQ(pixelSize[0], c.pixelWidth);
    EXPECT_FLOAT_EQ(pixelSize[1], c.pixelHeight);
}

INSTANTIATE_TEST_SUITE_P(CachedReslicer, TextureSize, testing::ValuesIn(sizeCases),
                         [](const auto& info) { return std::string(info.param.name); });

// --- extraction -------------------------------------------------------------------------

// A 16 x 16 x 8 probe volume with 0.5 x 0.25 x 2 mm voxels; its value range is [0, top].
class ProbeExtraction : public testing::Test
{
protected:
    ProbeExtraction() : volume(testing_support::probeVolume({16, 16, 8}))
    {
        volume.setVoxelSize(V(0.5f, 0.25f, 2.0f));
    }
    // The normalised probe at a point given in millimetres.
    double expected(const V& mm) const
    {
        return probeValue(mm.x() / 0.5, mm.y() / 0.25, mm.z() / 2.0) / top;
    }
    VoxenImage3D volume;
    const double top = probeValue(15, 15, 7);
};

// The plain section of a curve of three pairs in mm, through a transformation: every
// pixel holds the probe at the place worked out by hand.
TEST_F(ProbeExtraction, PlainSectionReadsBackEverySamplePlace)
{
    Reslice reslice;
    // Curve (1, 1) -> (5, 1) -> (5, 3) at z = 5, swept down to z = 1; the points are given
    // shifted by +(1, 0.5, 0), and the matrix (transposed, as the cache passes it) undoes it.
    const V shift(1, 0.5f, 0);
    reslice.setReslicePoints({V(1, 1, 1) + shift, V(1, 1, 5) + shift, V(5, 1, 1) + shift, V(5, 1, 5) + shift,
                              V(5, 3, 1) + shift, V(5, 3, 5) + shift});
    QMatrix4x4 move;
    move.translate(shift);
    ResliceExtractor extractor(&reslice);
    const std::unique_ptr<Image2D> image(extractor.extractResliceImage(&volume, QSize(12, 4), move.transposed()));
    ASSERT_TRUE(image && image->isValid());
    EXPECT_EQ(image->getDataType(), Image2D::FLOAT);
    EXPECT_EQ(image->getPixelSize(), volume.voxelSize());
    for (int x = 0; x < 12; ++x)
        for (int y = 0; y < 4; ++y)
        {
            // 6 mm of curve in 12 columns: t = (x + 0.5) / 6 segments, the first 4 mm long.
            const float t = (x + 0.5f) / 6.0f;
            const V onCurve = t < 1 ? V(1 + 4 * t, 1, 5) : V(5, 1 + 2 * (t - 1), 5);
            const V mm = onCurve + V(0, 0, -4) * ((y + 0.5f) / 4);
            EXPECT_NEAR(pixel(*image, x, y), expected(mm), 1e-6) << "pixel " << x << ", " << y;
        }
}

// A ceph projection averages the normalised probe at p + k n for k < steps, which is the
// probe at the ray's middle p + (steps - 1) / 2 n: the steps and the direction show. The
// curtain at z = 3 mm runs along +x with rows along +y, so n = +z, 1 mm (half a voxel) long.
struct CephCase
{
    const char* name;
    meta::PointOfView view;
    float thickness, step;
    float middle; // z of the ray's middle, mm
};

const CephCase cephCases[] = {
    {"RightLooksAlongTheNormal", meta::PointOfView::Right, 10, 1, 3 + 4.5f},
    {"LeftLooksTheOtherWay", meta::PointOfView::Left, 4, 1, 3 - 1.5f},
    {"StepsTruncate", meta::PointOfView::Right, 10, 3, 3 + 3},
    {"AtLeastOneStep", meta::PointOfView::Right, 1, 3, 3},
};

class CephProjection : public ProbeExtraction, public testing::WithParamInterface<CephCase>
{
};

TEST_P(CephProjection, AveragesFromTheCurtainToOneSide)
{
    const CephCase& c = GetParam();
    CephReslice reslice(c.view);
    reslice.setReslicePoints({V(1, 3, 3), V(1, 1, 3), V(6, 3, 3), V(6, 1, 3)});
    reslice.setSampleSize(V(1, 1, c.step));
    reslice.setThickness(c.thickness);
    ResliceExtractor extractor(&reslice);
    const std::unique_ptr<Image2D> image(extractor.extractResliceImage(&volume, QSize(5, 2), {}));
    for (int x = 0; x < 5; ++x)
        for (int y = 0; y < 2; ++y)
            EXPECT_NEAR(pixel(*image, x, y), expected(V(1.5f + x, 1.5f + y, c.middle)), 1e-6) << x << ", " << y;
}

INSTANTIATE_TEST_SUITE_P(ResliceExtractor, CephProjection, testing::ValuesIn(cephCases),
                         [](const auto& info) { return std::string(info.param.name); });

// The X-ray averages clamp((v - lo) / (hi - lo)) over a ray centred on the curtain, with the
// CT data's window as [lo, hi]; inside a linear probe that is the window applied at p.
TEST_F(ProbeExtraction, XRayUsesTheCtWindowAroundTheCurtain)
{
    auto ct = std::make_shared<CTData>();
    ct->setAutoLevelWindow(data::LevelWindow(20000, 40000));
    Reslice reslice(ResliceType::XRay);
    reslice.setCTData(ct);
    reslice.setReslicePoints({V(1, 3, 3), V(1, 1, 3), V(6, 3, 3), V(6, 1, 3)});
    reslice.setThickness(4);
    ResliceExtractor extractor(&reslice);
    const std::unique_ptr<Image2D> image(extractor.extractResliceImage(&volume, QSize(5, 2), {}));
    for (int x = 0; x < 5; ++x)
        for (int y = 0; y < 2; ++y)
            EXPECT_NEAR(pixel(*image, x, y), expected(V(1.5f + x, 1.5f + y, 3)) * top / 40000, 1e-6);
}

// Slabs along z (voxels 12..19 hold `value`, the rest 0) seen through a 16 mm ray of 1 mm
// steps centred on z = 16: samples at 8.5 .. 23.5, seven inside, two on the ramps at 11.5
// and 19.5 (half the slab value each). Mean with window [0, 1000]: (7 a + 2 b) / 16 with a,
// b the windowed inside and ramp values.
struct SlabCase
{
    const char* name;
    float value;
    double mean;
};

const SlabCase slabCases[] = {
    {"InsideTheWindow", 1000, (7 * 1.0 + 2 * 0.5) / 16},
    {"ClampedAboveTheWindow", 2000, (7 * 1.0 + 2 * 1.0) / 16},
    {"HalfTheWindow", 500, (7 * 0.5 + 2 * 0.25) / 16},
};

using SlabXRay = testing::TestWithParam<SlabCase>;

TEST_P(SlabXRay, GivesTheSlabsShareOfTheRay)
{
    const SlabCase& c = GetParam();
    VoxenImage3D slab = makeVolume({8, 8, 32}, image::DataType::FLOAT,
                                   [&](int, int, int z) { return z >= 12 && z <= 19 ? c.value : 0.0; });
    auto ct = std::make_shared<CTData>(std::make_shared<ImageVolume>());
    ct->setAutoLevelWindow(data::LevelWindow(500, 1000));
    Reslice reslice(ResliceType::XRay);
    reslice.setCTData(ct);
    reslice.setReslicePoints({V(1, 6, 16), V(1, 1, 16), V(6, 6, 16), V(6, 1, 16)});
    reslice.setThickness(16);
    const std::unique_ptr<Image2D> image(ResliceExtractor(&reslice).extractResliceImage(&slab, QSize(3, 3), {}));
    for (int i = 0; i < 9; ++i)
        EXPECT_NEAR(image->getConstData<float>()[i], c.mean, 1e-6);
}

INSTANTIATE_TEST_SUITE_P(ResliceExtractor, SlabXRay, testing::ValuesIn(slabCases),
                         [](const auto& info) { return std::string(info.param.name); });

// One pair has no curve to run along: every column samples the one point, rows still sweep.
TEST_F(ProbeExtraction, OnePairRepeatsItsPointAcrossTheColumns)
{
    Reslice reslice;
    reslice.setReslicePoints({V(2, 2, 1), V(2, 2, 5)});
    const std::unique_ptr<Image2D> image(ResliceExtractor(&reslice).extractResliceImage(&volume, QSize(3, 2), {}));
    for (int x = 0; x < 3; ++x)
    {
        EXPECT_NEAR(pixel(*image, x, 0), expected(V(2, 2, 4)), 1e-6);
        EXPECT_NEAR(pixel(*image, x, 1), expected(V(2, 2, 2)), 1e-6);
    }
}

TEST_F(ProbeExtraction, MissingInputsGiveAZeroOrInvalidImage)
{
    Reslice reslice;
    reslice.setReslicePoints({V(2, 2, 1), V(2, 2, 5), V(4, 2, 1), V(4, 2, 5)});
    ResliceExtractor extractor(&reslice);
    const std::unique_ptr<Image2D> noVolume(extractor.extractResliceImage(nullptr, QSize(3, 2), {}));
    ASSERT_TRUE(noVolume->isValid());
    EXPECT_EQ(noVolume->getValueRange(), math::Range<float>(0, 0));
    const std::unique_ptr<Image2D> noReslice(ResliceExtractor(nullptr).extractResliceImage(&volume, QSize(3, 2), {}));
    EXPECT_EQ(noReslice->getValueRange(), math::Range<float>(0, 0));
    for (const QSize size : {QSize(0, 2), QSize(3, -1), QSize(ResliceExtractor::kMaxSide + 1, 2)})
        EXPECT_FALSE(std::unique_ptr<Image2D>(extractor.extractResliceImage(&volume, size, {}))->isValid());
    EXPECT_EQ(CachedReslicer::getResliceImageCPU(nullptr, &reslice), nullptr);
    EXPECT_EQ(CachedReslicer::getResliceImageCPU(&volume, nullptr), nullptr);
}

// --- CachedReslicer ---------------------------------------------------------------------

// A 4 mm curve and 2 mm sweep at 0.5 mm spacing: s = 0.25 mm, 16 x 8 pixels of 0.25 mm;
// quality 2 doubles both sides. The points are given through the total transformation
// (shifted by +1 mm in y), which the image undoes.
TEST_F(ProbeExtraction, ImageIsSizedByTheQualityFactorAndMapsThroughTheTransformation)
{
    for (const float quality : {1.0f, 2.0f})
    {
        Reslice reslice;
        QMatrix4x4 total;
        total.translate(0, 1, 0);
        reslice.setTotalResampleTransformation(total);
        reslice.setQualityFactor(quality);
        reslice.setReslicePoints({V(1, 3, 1), V(1, 3, 3), V(5, 3, 1), V(5, 3, 3)});
        volume.setVoxelSize(V(0.5f, 0.5f, 0.5f));
        const std::unique_ptr<Image2D> image = CachedReslicer::getResliceImageCPU(&volume, &reslice);
        const int w = int(16 * quality), h = int(8 * quality);
        ASSERT_EQ(image->getSize(), QSize(w, h));
        EXPECT_EQ(image->getPixelSize(), V(0.25f / quality, 0.25f / quality, 0));
        const float px = 4.0f / w, py = 2.0f / h;
        for (const auto& [x, y] : {std::pair(0, 0), std::pair(w - 1, h - 1), std::pair(w / 2, 1)})
        {
            const V mm(1 + (x + 0.5f) * px, 2, 3 - (y + 0.5f) * py);
            EXPECT_NEAR(pixel(*image, x, y), probeValue(mm.x() / 0.5, mm.y() / 0.5, mm.z() / 0.5) / top, 1e-6);
        }
    }
}

TEST_F(ProbeExtraction, CacheComputesOnceAndReturnsTheSameImageForTheSameKey)
{
    Reslice reslice;
    reslice.setReslicePoints({V(1, 1, 1), V(1, 1, 5), V(5, 1, 1), V(5, 1, 5)});
    CachedReslicer reslicer(std::make_shared<Image2DCache>());
    const QSharedPointer<Image2D> first = reslicer.getResliceImageCPU(&volume, &reslice, QStringLiteral("a"));
    ASSERT_TRUE(first);
    const float before = pixel(*first, 0, 0);
    // Changing the volume shows whether the second call samples it again.
    volume.data<float>()[0] = -1e6f;
    volume.editFinished();
    CachedReslicer copy = reslicer;
    EXPECT_EQ(copy.getResliceImageCPU(&volume, &reslice, QStringLiteral("a")), first);
    EXPECT_EQ(reslicer.getResliceImageCPU(nullptr, &reslice, QStringLiteral("a")), first);
    EXPECT_EQ(pixel(*first, 0, 0), before);
    EXPECT_FALSE(reslicer.getResliceImageCPU(nullptr, &reslice, QStringLiteral("b")));
    const QSharedPointer<Image2D> other = reslicer.getResliceImageCPU(&volume, &reslice, QStringLiteral("b"));
    ASSERT_TRUE(other);
    EXPECT_NE(other, first);
    EXPECT_NE(pixel(*other, 0, 0), before);
}

// --- getOpacityRange ----------------------------------------------------------------------

TEST(ResliceOpacityRange, ComputesTheCtWindowOnceAndStoresIt)
{
    // Slices of -1000 and 1000 halves with a ramp; whatever the window, it is the one of
    // the volume library's automatic CT window.
    auto volume = std::make_shared<VoxenImage3D>(
        makeVolume({32, 32, 5}, image::DataType::SHORT, [](int x, int y, int z) { return x * 60 + y * 3 - 900 + z; }));
    const data::LevelWindow reference = image3d::calculateAutoLevelWindow(volume.get());
    ASSERT_GT(reference.getWindow(), 0);
    auto imageVolume = std::make_shared<ImageVolume>(volume);
    auto ct = std::make_shared<CTData>(imageVolume);
    Reslice reslice;
    reslice.setCTData(ct);
    const math::Range<float> range = ResliceExtractor::getOpacityRange(&reslice);
    EXPECT_EQ(range, math::Range<float>(reference.getLevel() - reference.getWindow() * 0.5f,
                                        reference.getLevel() + reference.getWindow() * 0.5f));
    ASSERT_TRUE(ct->getAutoLevelWindow());
    EXPECT_EQ(ct->getAutoLevelWindow()->getLevel(), reference.getLevel());
    EXPECT_EQ(ct->getAutoLevelWindow()->getWindow(), reference.getWindow());
    // Once stored, the window is read back: another volume does not change it.
    imageVolume->setImage(std::make_shared<VoxenImage3D>(
        makeVolume({8, 8, 3}, image::DataType::SHORT, [](int x, int, int) { return x * 1000; })));
    EXPECT_EQ(ResliceExtractor::getOpacityRange(&reslice), range);
}

TEST(ResliceOpacityRange, ReadsAStoredWindowAndIsEmptyWithoutData)
{
    auto ct = std::make_shared<CTData>();
    Reslice reslice;
    EXPECT_EQ(ResliceExtractor::getOpacityRange(nullptr), math::Range<float>(0, 0));
    EXPECT_EQ(ResliceExtractor::getOpacityRange(&reslice), math::Range<float>(0, 0));
    reslice.setCTData(ct);
    EXPECT_EQ(ResliceExtractor::getOpacityRange(&reslice), math::Range<float>(0, 0));
    EXPECT_FALSE(ct->getAutoLevelWindow()); // no volume: nothing to store
    ct->setAutoLevelWindow(data::LevelWindow(500, 1000));
    EXPECT_EQ(ResliceExtractor::getOpacityRange(&reslice), math::Range<float>(0, 1000));
}

} // namespace
