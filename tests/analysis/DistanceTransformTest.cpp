#include "image2d/analysis/DistanceTransform.h"
#include "image2d/framework/Core.h"
#include "support/ComponentReference.h"
#include "support/TestImages.h"
#include "support/WarningCapture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

using namespace image2d;
using namespace testing_support;

namespace {

Image2D randomBinary(int width, int height, double density, std::uint32_t seed)
{
    return testing_support::maskImage(testing_support::randomMask(width, height, density, seed), width, height);
}

// The 5-7-11 chamfer metric in closed form, for offsets (dx, dy).
int chamfer(int dx, int dy)
{
    const int a = std::max(std::abs(dx), std::abs(dy)), b = std::min(std::abs(dx), std::abs(dy));
    return a >= 2 * b ? 5 * a + b : 4 * a + 3 * b;
}

struct Shape
{
    int width, height;
};
const Shape kShapes[] = {{1, 1}, {1, 30}, {30, 1}, {2, 2}, {17, 9}, {40, 40}, {70, 33}};

TEST(DistanceTransform, EqualsTheClosedFormOfTheChamferMetric)
{
    std::uint32_t seed = 0;
    for (const Shape& shape : kShapes)
        for (double density : {0.0, 0.01, 0.05, 0.3})
        {
            Image2D input = randomBinary(shape.width, shape.height, density, ++seed);
            const std::shared_ptr<Image2D> map = DistanceTransform::executeDistanceTransform(&input);
            ASSERT_TRUE(map);
            ASSERT_EQ(map->getDataType(), Image2D::SHORT);
            for (int y = 0; y < shape.height; ++y)
                for (int x = 0; x < shape.width; ++x)
                {
                    int expected = kChamferFar;
                    for (int qy = 0; qy < shape.height; ++qy)
                        for (int qx = 0; qx < shape.width; ++qx)
                            if (pixelAt(input, qx, qy) != 0)
                                expected = std::min(expected, chamfer(x - qx, y - qy));
                    ASSERT_EQ(pixelAt(*map, x, y), expected) << shape.width << "x" << shape.height << " at " << x
                                                             << "," << y << " seed " << seed;
                }
        }
}

TEST(DistanceTransform, TheFarValueStopsTheDistancesAlongALongRow)
{
    // 5 x 6544 = 32720 is never accepted over the far value 32717.
    Image2D row(7000, 1, Image2D::BINARY);
    row.getData()[0] = 1;
    const std::shared_ptr<Image2D> far = distanceTransform(row);
    EXPECT_EQ(pixelAt(*far, 6543, 0), 32715);
    EXPECT_EQ(pixelAt(*far, 6544, 0), 32717);
    EXPECT_EQ(pixelAt(*far, 6999, 0), 32717);
}

// Every pixel holds the largest of its own start value and (start value of another pixel -
// chamfer distance), the start value being distance + depth inside the zone and 0 outside.
TEST(GrowChamfer, EqualsTheClosedFormOfTheSpreadAndWrapsPast32767)
{
    std::uint32_t seed = 100;
    for (const Shape& shape : kShapes)
        for (int depth : {0, 7, -20, 50})
        {
            const int w = shape.width, h = shape.height;
            seed += 2;
            Image2D limit = randomBinary(w, h, 0.05, seed), zone = randomBinary(w, h, 0.7, seed + 1);
            const std::vector<double> distances = pixels(*distanceTransform(limit)), inZone = pixels(zone);
            const std::shared_ptr<Image2D> grown = GrowChamfer::executeGrowChamfer(&limit, &zone, depth);
            ASSERT_TRUE(grown);
            for (int p = 0; p < w * h; ++p)
            {
                double expected = -1e9;
                for (int q = 0; q < w * h; ++q)
                    expected = std::max(expected, (inZone[q] ? distances[q] + depth : 0) -
                                                      chamfer(p % w - q % w, p / w - q / w));
                ASSERT_EQ(pixelAt(*grown, p % w, p / w), expected) << w << "x" << h << " depth " << depth;
            }
        }
    // An empty limit (32717 everywhere) deepened by 51 starts at -32768; -32768 - 5 wraps to 32763.
    Image2D empty(3, 1, Image2D::BINARY), whole = makeImage(3, 1, Image2D::BINARY, {1, 1, 1});
    EXPECT_EQ(pixels(*GrowChamfer::executeGrowChamfer(&empty, &whole, 51)), (std::vector<double>{32758, 32763, 32758}));
}

TEST(GrowChamfer, EmptyZoneGivesZeroAndAFullZoneWithoutDepthTheDistances)
{
    Image2D limit = randomBinary(23, 11, 0.05, 3);
    Image2D empty(23, 11, Image2D::BINARY);
    Image2D full = makeImage(23, 11, Image2D::BINARY, std::vector<double>(23 * 11, 1.0));
    EXPECT_EQ(pixels(*GrowChamfer::executeGrowChamfer(&limit, &empty, 30)), std::vector<double>(23 * 11, 0.0));
    EXPECT_EQ(pixels(*GrowChamfer::executeGrowChamfer(&limit, &full, 0)), pixels(*distanceTransform(limit)));
}

// Missing, invalid and non-BINARY inputs are checked with every algorithm class, in tests/framework.
} // namespace
