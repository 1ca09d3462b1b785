#include "image2d/volume/GeneratedCeph.h"
#include "support/TestImages.h"
#include "support/TestVolumes.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

using namespace testing_support;

namespace {

std::vector<double> voxels(const VoxenImage3D& volume)
{
    std::vector<double> all;
    const math::Ivec3 n = volume.imageSize();
    for (int z = 0; z < n.z; ++z)
        for (int y = 0; y < n.y; ++y)
            for (int x = 0; x < n.x; ++x)
                all.push_back(voxelAt(volume, x, y, z));
    return all;
}

} // namespace

// At 4 mm voxels the smoothing radius round(2 * 0.125) is 0, so the unsharp masking leaves
// every voxel as it is and the values follow the floor, clamp and boosts alone:
// -5 -> -1000; 499 stays; 501 -> 2002 -> 3503; 1000 -> 3000 -> 5000; 6000 -> 13000 -> 20000;
// 20000 -> 11000 (clamp) -> 23000 -> 35000. Normalised: (v + 1000) / 36000.
TEST(GeneratedCeph, FloorsClampsAndBoostsThenNormalises)
{
    const std::vector<double> values{-5, 499, 501, 1000, 6000, 20000};
    const VoxenImage3D volume = makeVolume({3, 2, 1}, image::DataType::SHORT,
                                           [&](int x, int y, int) { return values[y * 3 + x]; },
                                           QVector3D(4, 4, 4));
    const VoxenImage3D before(volume);
    const auto prepared = ceph::createPreprocessedImageForGeneratedCeph(volume, {});
    ASSERT_TRUE(prepared);
    EXPECT_EQ(prepared->dataType(), image::DataType::FLOAT);
    const std::vector<double> raw{-1000, 499, 3503, 5000, 20000, 35000};
    const std::vector<double> actual = voxels(*prepared);
    for (std::size_t i = 0; i < raw.size(); ++i)
        EXPECT_NEAR(actual[i], (raw[i] + 1000) / 36000, 1e-7) << "input " << values[i];
    EXPECT_EQ(std::memcmp(before.dataPtr(), volume.dataPtr(), 12), 0);
}

TEST(GeneratedCeph, ParametersMoveEveryThreshold)
{
    ceph::GenerateCephParameters p;
    p.lowValue = 0;
    p.lowThreshold = 100;
    p.firstBoostThreshold = 200; // clamp [0, 1600]; v > 200 -> 2v, then > 1000 -> 1.5 times that
    p.secondBoostThreshold = 1000;
    const std::vector<double> values{50, 150, 300, 600, 5000};
    const VoxenImage3D volume = makeVolume({5, 1, 1}, image::DataType::INT,
                                           [&](int x, int, int) { return values[x]; }, QVector3D(4, 4, 4));
    const auto prepared = ceph::createPreprocessedImageForGeneratedCeph(volume, p);
    ASSERT_TRUE(prepared);
    const std::vector<double> raw{0, 150, 600, 1800, 4800};
    const std::vector<double> actual = voxels(*prepared);
    for (std::size_t i = 0; i < raw.size(); ++i)
        EXPECT_NEAR(actual[i], raw[i] / 4800, 1e-7) << "input " << values[i];
}

// The unsharp masking reaches round(2 * 0.5 / voxel size) voxels along each axis: 4 at
// 0.25 mm, 3 at 0.3 mm, none at 4 mm (2 mm would give round(0.5) = 1). Around an impulse, voxels inside that reach differ
// from the untouched background; the next one out does not.
TEST(GeneratedCeph, SharpeningReachesTwoSigmaOfHalfAMillimetre)
{
    const int c = 6;
    const VoxenImage3D volume = makeVolume({13, 13, 13}, image::DataType::SHORT,
                                           [&](int x, int y, int z) { return x == c && y == c && z == c ? 400 : 0; },
                                           QVector3D(0.25f, 0.3f, 4.0f));
    const auto prepared = ceph::createPreprocessedImageForGeneratedCeph(volume, {});
    ASSERT_TRUE(prepared);
    const double background = voxelAt(*prepared, 0, 0, 0);
    EXPECT_GT(background, 0.0); // the ring around the impulse is lower still
    EXPECT_NE(voxelAt(*prepared, c + 4, c, c), background);
    EXPECT_EQ(voxelAt(*prepared, c + 5, c, c), background);
    EXPECT_NE(voxelAt(*prepared, c, c - 3, c), background);
    EXPECT_EQ(voxelAt(*prepared, c, c - 4, c), background);
    EXPECT_EQ(voxelAt(*prepared, c, c, c + 1), background);
    EXPECT_EQ(voxelAt(*prepared, c, c, c), 1.0);
}

TEST(GeneratedCeph, AConstantResultIsLeftUnnormalised)
{
    const VoxenImage3D volume = makeVolume({4, 4, 4}, image::DataType::SHORT, [](int, int, int) { return -5; },
                                           QVector3D(0.5f, 0.5f, 0.5f));
    const auto prepared = ceph::createPreprocessedImageForGeneratedCeph(volume, {});
    ASSERT_TRUE(prepared);
    EXPECT_EQ(prepared->getValueRange(), math::Range<float>(-1000, -1000));
    EXPECT_FALSE(ceph::createPreprocessedImageForGeneratedCeph(VoxenImage3D(), {}));
}

struct ToneCase
{
    const char* name;
    std::vector<double> pixels;
    float low, high;
    std::vector<double> expected;
};

using CephToneCurve = testing::TestWithParam<ToneCase>;

TEST_P(CephToneCurve, MapsThePixels)
{
    const ToneCase& c = GetParam();
    Image2D image = testing_support::makeImage(static_cast<int>(c.pixels.size()), 1, Image2D::FLOAT, c.pixels);
    ceph::postProcessGeneratedCeph(image, math::Range<float>(c.low, c.high));
    const std::vector<double> actual = testing_support::pixels(image);
    for (std::size_t i = 0; i < c.expected.size(); ++i)
        EXPECT_NEAR(actual[i], c.expected[i], 1e-5) << "pixel " << i;
}

// 0.5 -> (0.495 * 0.9045226) + 0.1 = 0.5477387; 0.002 -> 0.04; 1 -> 1.
INSTANTIATE_TEST_SUITE_P(
    GeneratedCeph, CephToneCurve,
    testing::Values(ToneCase{"UnitRange", {0.5, 0.002, 1.0, 0.0}, 0, 1, {0.5477387, 0.04, 1.0, 0.0}},
                    ToneCase{"DividedByTheMaximum", {1.0, 0.004, 2.0}, 0, 1, {0.5477387, 0.04, 1.0}},
                    ToneCase{"MappedOntoTheRange", {0.5, 1.0, 0.0}, 100, 200, {154.77387, 200.0, 100.0}},
                    ToneCase{"ZeroMaximumIsNotDivided", {0.0, -0.001}, 0, 10, {0.0, -0.2}}),
    [](const testing::TestParamInfo<ToneCase>& info) { return std::string(info.param.name); });

TEST(GeneratedCeph, ToneCurveLeavesOtherPixelTypes)
{
    Image2D image = testing_support::makeImage(2, 1, Image2D::SHORT, {3, 7});
    ceph::postProcessGeneratedCeph(image, math::Range<float>(0, 1));
    EXPECT_EQ(testing_support::pixels(image), (std::vector<double>{3, 7}));
}
