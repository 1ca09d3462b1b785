#include "image2d/analysis/DistanceTransform.h"
#include "image2d/framework/Core.h"
#include "support/TestImages.h"
#include "support/WarningCapture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <random>

using namespace image2d;
using testing_support::makeImage;
using testing_support::pixelAt;
using testing_support::pixels;
using testing_support::WarningCapture;

namespace {

// The 5-7-11 chamfer metric in closed form, for offsets (dx, dy).
int chamfer(int dx, int dy)
{
    const int a = std::max(std::abs(dx), std::abs(dy)), b = std::min(std::abs(dx), std::abs(dy));
    return a >= 2 * b ? 5 * a + b : 4 * a + 3 * b;
}

Image2D randomBinary(int width, int height, double density, std::uint32_t seed)
{
    std::mt19937 rng(seed);
    std::bernoulli_distribution set(density);
    std::vector<double> values(static_cast<std::size_t>(width) * height);
    for (double& v : values)
        v = set(rng);
    return makeImage(width, height, Image2D::BINARY, values);
}

// Both sweeps pixel by pixel in the documented neighbour order, 16-bit: min of
// (neighbour + weight) for distances, max of (neighbour - weight) for growth.
std::vector<std::int16_t> literalSweeps(std::vector<std::int16_t> map, int width, int height, bool grow)
{
    static const int mask[5][5] = {{0, 11, 0, 11, 0}, {11, 7, 5, 7, 11}, {0, 5, 0, 5, 0}, {11, 7, 5, 7, 11},
                                   {0, 11, 0, 11, 0}};
    auto visit = [&](int x, int y, int dx, int dy) {
        const int weight = mask[dy + 2][dx + 2];
        if (weight == 0 || x + dx < 0 || x + dx >= width || y + dy < 0 || y + dy >= height)
            return;
        const auto neighbour = static_cast<std::uint16_t>(map[static_cast<std::size_t>(y + dy) * width + x + dx]);
        const auto candidate = static_cast<std::int16_t>(grow ? neighbour - weight : neighbour + weight);
        std::int16_t& value = map[static_cast<std::size_t>(y) * width + x];
        if (grow ? value < candidate : candidate < value)
            value = candidate;
    };
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
        {
            for (int dy = -2; dy <= -1; ++dy)
                for (int dx = -2; dx <= 2; ++dx)
                    visit(x, y, dx, dy);
            visit(x, y, -2, 0);
            visit(x, y, -1, 0);
        }
    for (int y = height - 1; y >= 0; --y)
        for (int x = width - 1; x >= 0; --x)
        {
            visit(x, y, 1, 0);
            visit(x, y, 2, 0);
            for (int dy = 1; dy <= 2; ++dy)
                for (int dx = -2; dx <= 2; ++dx)
                    visit(x, y, dx, dy);
        }
    return map;
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
            input.setPixelSize(QVector3D(0.5f, 0.25f, 1.0f));
            const std::shared_ptr<Image2D> map = DistanceTransform::executeDistanceTransform(&input);
            ASSERT_TRUE(map);
            ASSERT_EQ(map->getDataType(), Image2D::SHORT);
            EXPECT_EQ(map->getPixelSize(), input.getPixelSize());
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

TEST(DistanceTransform, StepsOfFiveSevenAndElevenAndTheFarValueAlongALongRow)
{
    Image2D single(7, 7, Image2D::BINARY);
    single.getData()[3 * 7 + 3] = 1;
    const std::shared_ptr<Image2D> map = distanceTransform(single);
    EXPECT_EQ(pixelAt(*map, 4, 3), 5);
    EXPECT_EQ(pixelAt(*map, 4, 4), 7);
    EXPECT_EQ(pixelAt(*map, 5, 4), 11);
    EXPECT_EQ(pixelAt(*map, 5, 3), 10);

    // 5 x 6544 = 32720 is never accepted over the far value 32717.
    Image2D row(7000, 1, Image2D::BINARY);
    row.getData()[0] = 1;
    const std::shared_ptr<Image2D> far = distanceTransform(row);
    EXPECT_EQ(pixelAt(*far, 6543, 0), 32715);
    EXPECT_EQ(pixelAt(*far, 6544, 0), 32717);
    EXPECT_EQ(pixelAt(*far, 6999, 0), 32717);
}

// Growth on random limits and zones, with depths that keep the values small and depths that
// wrap them past 32767, against the literal sweeps.
TEST(GrowChamfer, EqualsTheLiteralSweepsWrapAroundIncluded)
{
    std::uint32_t seed = 100;
    for (const Shape& shape : kShapes)
        for (int depth : {0, 7, -20, 51, 40000, -70000})
        {
            seed += 2;
            const Image2D limit = randomBinary(shape.width, shape.height, seed % 3 == 0 ? 0.0 : 0.05, seed);
            const Image2D zone = randomBinary(shape.width, shape.height, 0.7, seed + 1);
            const std::shared_ptr<Image2D> distances = distanceTransform(limit);
            std::vector<std::int16_t> initial;
            for (std::size_t i = 0; i < limit.getNumPixels(); ++i)
                initial.push_back(zone.getConstData()[i] ? static_cast<std::int16_t>(static_cast<std::uint16_t>(
                                                               distances->getConstData<std::int16_t>()[i] + depth))
                                                         : std::int16_t(0));
            const std::vector<std::int16_t> expected = literalSweeps(initial, shape.width, shape.height, true);
            const std::shared_ptr<Image2D> grown =
                GrowChamfer::executeGrowChamfer(const_cast<Image2D*>(&limit), const_cast<Image2D*>(&zone), depth);
            ASSERT_TRUE(grown);
            ASSERT_TRUE(std::equal(expected.begin(), expected.end(), grown->getConstData<std::int16_t>()))
                << shape.width << "x" << shape.height << " depth " << depth;
        }
}

TEST(GrowChamfer, EmptyZoneGivesZeroAndAFullZoneWithoutDepthTheDistances)
{
    Image2D limit = randomBinary(23, 11, 0.05, 3);
    Image2D empty(23, 11, Image2D::BINARY);
    Image2D full = makeImage(23, 11, Image2D::BINARY, std::vector<double>(23 * 11, 1.0));
    EXPECT_EQ(pixels(*GrowChamfer::executeGrowChamfer(&limit, &empty, 30)), std::vector<double>(23 * 11, 0.0));
    EXPECT_EQ(pixels(*GrowChamfer::executeGrowChamfer(&limit, &full, 0)), pixels(*distanceTransform(limit)));
}

struct BadInputCase
{
    const char* name;
    bool grow;
    Image2D first, second; // the input, or the limit and the zone; a default image is left out
    QString message;
};

class ChamferBadInput : public ::testing::TestWithParam<BadInputCase>
{
};

TEST_P(ChamferBadInput, FailsWithTheWarningAndNoOutput)
{
    const BadInputCase& c = GetParam();
    std::unique_ptr<Algorithm> algorithm;
    if (c.grow)
        algorithm = std::make_unique<GrowChamfer>();
    else
        algorithm = std::make_unique<DistanceTransform>();
    const QString keys[] = {c.grow ? GrowChamfer::LIMIT_IMAGE : Algorithm::INPUT_IMAGE, GrowChamfer::ZONE_IMAGE};
    const Image2D* images[] = {&c.first, &c.second};
    for (int i = 0; i < 2; ++i)
        if (images[i]->getDataType() != Image2D::UNSIGNED_SHORT || images[i]->isValid())
            algorithm->setSharedInput(keys[i], std::make_shared<Image2D>(*images[i]));
    WarningCapture warnings;
    EXPECT_FALSE(algorithm->execute(neverCancelled()));
    EXPECT_EQ(warnings.messages(), QStringList{c.message});
    EXPECT_FALSE(algorithm->getSharedOutput(Algorithm::OUTPUT_IMAGE));
}

const Image2D kBinary(4, 3, Image2D::BINARY);
const Image2D kInvalidBinary(0, 0, Image2D::BINARY);

INSTANTIATE_TEST_SUITE_P(
    Analysis, ChamferBadInput,
    ::testing::Values(
        BadInputCase{"missing", false, Image2D(), Image2D(),
                     "image2d::DistanceTransform : missing input:  \"inputImage\""},
        BadInputCase{"invalid", false, kInvalidBinary, Image2D(),
                     "image2d::DistanceTransform : invalid input:  \"inputImage\""},
        BadInputCase{"notBinary", false, Image2D(4, 3, Image2D::UNSIGNED_CHAR), Image2D(),
                     "image2d::DistanceTransform: input not of type Image2D::DataType::BINARY:  \"inputImage\""},
        BadInputCase{"limitMissing", true, Image2D(), kBinary,
                     "image2d::GrowChamfer : invalid image for input:  \"limitImage\""},
        BadInputCase{"zoneNotBinary", true, kBinary, Image2D(4, 3, Image2D::SHORT),
                     "image2d::GrowChamfer : invalid image for input:  \"zoneImage\""},
        BadInputCase{"zoneOfOtherSize", true, kBinary, Image2D(3, 4, Image2D::BINARY),
                     "image2d::Mask : input image and mask image are not the same size."}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
