#include "image2d/analysis/DistanceTransform.h"
#include "image2d/volume/PerSliceOperations.h"
#include "platform/volume/VoxenImage3DReslicer.h"
#include "support/TestImages.h"
#include "support/TestVolumes.h"
#include "support/WarningCapture.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <memory>

using image2d::GrowChamfer;
using namespace testing_support;

namespace {

Image2D sliceOf(VoxenImage3D& volume, int z)
{
    Image2D slice;
    VoxenImage3DReslicer::loadAxialSlice2D(&volume, z, &slice);
    return slice;
}

// Whether slice z of `volume` holds exactly the pixels of `image`.
::testing::AssertionResult sliceEquals(VoxenImage3D& volume, int z, const Image2D& image)
{
    if (!image.isValid() || image.getByteCount() != volume.getSliceVoxels() * volume.dataTypeSize())
        return ::testing::AssertionFailure() << "slice " << z << ": sizes differ";
    if (std::memcmp(volume.getAxialSlice(z), image.getConstData<char>(), image.getByteCount()) != 0)
        return ::testing::AssertionFailure() << "slice " << z << " differs";
    return ::testing::AssertionSuccess();
}

std::unique_ptr<VoxenImage3D> distanceMap(VoxenImage3D* input)
{
    VoxenImagePerSliceDistanceMap map;
    map.setInput(input);
    return std::unique_ptr<VoxenImage3D>(map.execute() ? map.output() : nullptr);
}

std::unique_ptr<VoxenImage3D> grow(VoxenImage3D* limit, VoxenImage3D* zone, int depth)
{
    VoxenImagePerSliceGrowChamfer growth;
    growth.setLimitImage(limit);
    growth.setZoneImage(zone);
    growth.setPenetrationDepth(depth);
    return std::unique_ptr<VoxenImage3D>(growth.execute() ? growth.output() : nullptr);
}

} // namespace

TEST(VoxenImagePerSliceDistanceMap, EverySliceIsThe2DDistanceTransformOfThatSlice)
{
    // Sparse points, about one set voxel in twenty, differently placed in every slice.
    VoxenImage3D input = makeVolume({24, 20, 5}, image::DataType::BINARY,
                                    [](int x, int y, int z) { return (x * 7 + y * 13 + z * 5) % 19 == 0; },
                                    QVector3D(0.3f, 0.3f, 0.5f));
    const auto output = distanceMap(&input);
    ASSERT_TRUE(output);
    EXPECT_EQ(output->dataType(), image::DataType::SHORT);
    EXPECT_EQ(output->voxelSize(), QVector3D(0.3f, 0.3f, 0.5f));
    for (int z = 0; z < 5; ++z)
    {
        Image2D slice = sliceOf(input, z);
        EXPECT_TRUE(sliceEquals(*output, z, *image2d::DistanceTransform::executeDistanceTransform(&slice)));
    }
}

TEST(VoxenImagePerSliceGrowChamfer, EverySliceIsThe2DGrowthAboveZero)
{
    VoxenImage3D limit = makeVolume({30, 25, 4}, image::DataType::BINARY,
                                    [](int x, int y, int z) { return (x + 2 * y + 3 * z) % 23 == 0; });
    VoxenImage3D zone = makeVolume({30, 25, 4}, image::DataType::BINARY,
                                   [](int x, int y, int z) { return x > 4 + z && y < 18; }, QVector3D(2, 2, 2));
    const auto output = grow(&limit, &zone, 12);
    ASSERT_TRUE(output);
    EXPECT_EQ(output->dataType(), image::DataType::BINARY);
    for (int z = 0; z < 4; ++z)
    {
        Image2D limitSlice = sliceOf(limit, z), zoneSlice = sliceOf(zone, z);
        const auto grown = GrowChamfer::executeGrowChamfer(&limitSlice, &zoneSlice, 12);
        std::vector<double> above;
        for (double v : testing_support::pixels(*grown))
            above.push_back(v > 0);
        EXPECT_TRUE(sliceEquals(*output, z, testing_support::makeImage(30, 25, Image2D::BINARY, above)));
    }
}

// Limit: row 0; zone: rows 0..9; depth 10. Inside the zone the value is 5y + 10, so row 9
// holds 55 and the growth below it falls by 5 per row: rows 0..19 stay above 0, row 20 is 0.
TEST(VoxenImagePerSliceGrowChamfer, GrowsPastTheZoneByTheDepthItCarries)
{
    VoxenImage3D limit = makeVolume({30, 40, 3}, image::DataType::BINARY, [](int, int y, int) { return y == 0; });
    VoxenImage3D zone = makeVolume({30, 40, 3}, image::DataType::BINARY, [](int, int y, int) { return y <= 9; });
    const auto output = grow(&limit, &zone, 10);
    ASSERT_TRUE(output);
    for (int z = 0; z < 3; ++z)
        for (int y = 0; y < 40; ++y)
            for (int x : {0, 17, 29})
                ASSERT_EQ(voxelAt(*output, x, y, z), y <= 19 ? 1 : 0) << x << ", " << y << ", " << z;
}

TEST(VoxenImagePerSliceGrowChamfer, SlicesWhose2DGrowthFailsStayEmpty)
{
    testing_support::WarningCapture warnings;
    VoxenImage3D limit = makeVolume({6, 6, 2}, image::DataType::SHORT, [](int, int, int) { return 1; });
    VoxenImage3D zone = makeVolume({6, 6, 2}, image::DataType::BINARY, [](int, int, int) { return 1; });
    const auto output = grow(&limit, &zone, 10);
    ASSERT_TRUE(output);
    EXPECT_EQ(output->getValueRange(), math::Range<float>(0, 0));
    EXPECT_EQ(warnings.messages().size(), 2); // one 2D warning per slice
}

struct PerSliceFailure
{
    const char* name;
    std::function<bool()> run;
    const char* warning;
};

using PerSliceRefusal = testing::TestWithParam<PerSliceFailure>;

TEST_P(PerSliceRefusal, WarnsAndMakesNoOutput)
{
    testing_support::WarningCapture warnings;
    EXPECT_FALSE(GetParam().run());
    EXPECT_EQ(warnings.messages(), QStringList{QString::fromLatin1(GetParam().warning)});
}

VoxenImage3D binary(const math::Ivec3& size)
{
    return VoxenImage3D(size, QVector3D(1, 1, 1), image::DataType::BINARY);
}

INSTANTIATE_TEST_SUITE_P(
    PerSliceOperations, PerSliceRefusal,
    testing::Values(
        PerSliceFailure{"DistanceMapOfShort",
                        [] {
                            VoxenImage3D v({4, 4, 2}, QVector3D(1, 1, 1), image::DataType::SHORT);
                            return distanceMap(&v) != nullptr;
                        },
                        "invalid input image, not BINARY"},
        PerSliceFailure{"DistanceMapWithoutInput", [] { return distanceMap(nullptr) != nullptr; },
                        "invalid input image, not BINARY"},
        PerSliceFailure{"GrowthWithoutZone",
                        [] {
                            VoxenImage3D limit = binary({4, 4, 2});
                            return grow(&limit, nullptr, 5) != nullptr;
                        },
                        "VoxenImagePerSliceGrowChamfer: input not complete or invalid"},
        PerSliceFailure{"GrowthOfAnInvalidLimit",
                        [] {
                            VoxenImage3D limit, zone = binary({4, 4, 2});
                            return grow(&limit, &zone, 5) != nullptr;
                        },
                        "VoxenImagePerSliceGrowChamfer: input not complete or invalid"},
        PerSliceFailure{"GrowthOfDifferentDepths",
                        [] {
                            VoxenImage3D limit = binary({4, 4, 2}), zone = binary({4, 4, 3});
                            return grow(&limit, &zone, 5) != nullptr;
                        },
                        "SoftTissueSegmentation : limit image and zone image do not have equal dimensions."}),
    [](const testing::TestParamInfo<PerSliceFailure>& info) { return std::string(info.param.name); });
