#include "image2d/analysis/Ridges.h"
#include "image2d/analysis/TeethRidges.h"
#include "support/TestImages.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <array>
#include <map>
#include <set>

using namespace image2d;
using namespace testing_support;

namespace {

Image2D field(int width, int height, Image2D::DataType type, const std::function<double(int, int)>& f)
{
    std::vector<double> values;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            values.push_back(f(x, y));
    return makeImage(width, height, type, values);
}

// Gradient fields that depend on x only, 8 x 5, and their direction change per column:
// a unit direction that turns by an angle across the seam between columns 3 and 4 changes by
// 0.5 times the chord on both seam columns (the Sobel weights of one side add up to 0.5).
struct FieldCase
{
    const char* name;
    double leftA, leftB, rightA, rightB;
    double seamChange;
};
const FieldCase kFields[] = {
    {"constant", 3, 4, 3, 4, 0.0},
    {"flip", 1, 0, -1, 0, 1.0},          // chord 2
    {"quarterTurn", 0, 2, 5, 0, 0.5 * std::sqrt(2.0)}, // chord sqrt 2
    {"vanishing", 1, 0, 0, 0, 0.5},      // no gradient: cosine and sine 0, not NaN
};

using GradientField = ::testing::TestWithParam<FieldCase>;

TEST_P(GradientField, DirectionChangesOnlyAtTheSeam)
{
    const FieldCase& c = GetParam();
    for (Image2D::DataType type : {Image2D::SHORT, Image2D::FLOAT})
    {
        GradientOrientationAnalysis algorithm;
        algorithm.setSharedInput(GradientOrientationAnalysis::INPUT_IMAGE1,
                                 sharedCopy(field(8, 5, type, [&](int x, int) { return x < 4 ? c.leftA : c.rightA; })));
        algorithm.setSharedInput(GradientOrientationAnalysis::INPUT_IMAGE2,
                                 sharedCopy(field(8, 5, type, [&](int x, int) { return x < 4 ? c.leftB : c.rightB; })));
        ASSERT_TRUE(algorithm.execute(neverCancelled()));
        const auto change = algorithm.getSharedOutput(GradientOrientationAnalysis::OUTPUT_RIDGES_AND_VALLEYS);
        ASSERT_TRUE(change);
        for (int y = 0; y < 5; ++y)
            for (int x = 0; x < 8; ++x)
                EXPECT_NEAR(pixelAt(*change, x, y), x == 3 || x == 4 ? c.seamChange : 0.0, 1e-6) << x << "," << y;
        // Nothing changes along the columns (up to the rounding of the kernel-order sums).
        for (const QString& key : {GradientOrientationAnalysis::OUTPUT_IMAGE_CX, GradientOrientationAnalysis::OUTPUT_IMAGE_SX})
            for (double v : pixels(*algorithm.getSharedOutput(key)))
                EXPECT_NEAR(v, 0.0, 1e-6);
    }
}

INSTANTIATE_TEST_SUITE_P(Analysis, GradientField, ::testing::ValuesIn(kFields),
                         [](const auto& info) { return std::string(info.param.name); });

// The 8-neighbour Laplacian with replicated edges, summed in kernel order in float.
float laplacian(const Image2D& image, int x, int y)
{
    float sum = 0.0f;
    for (int j = -1; j <= 1; ++j)
        for (int i = -1; i <= 1; ++i)
        {
            const int u = std::clamp(x + i, 0, image.getWidth() - 1), v = std::clamp(y + j, 0, image.getHeight() - 1);
            sum += static_cast<float>(pixelAt(image, u, v)) * (i == 0 && j == 0 ? -8.0f : 1.0f);
        }
    return sum;
}

// Height maps: each step of the ridge images keeps exactly the pixels its test allows.
struct HeightMap
{
    const char* name;
    std::function<double(int, int)> height;
    std::set<int> ridgeColumns; ///< columns that hold ridge pixels in every row (empty: no ridge)
};

using RidgeSteps = ::testing::TestWithParam<HeightMap>;

TEST_P(RidgeSteps, EachStepKeepsWhatItsTestAllows)
{
    const Image2D range = field(41, 31, Image2D::FLOAT, GetParam().height);
    FindRidges algorithm;
    algorithm.setSharedInput(FindRidges::RANGE_IMAGE, sharedCopy(range));
    ASSERT_TRUE(algorithm.execute(neverCancelled()));
    const auto rv = algorithm.getSharedOutput(FindRidges::RIDGES_VALLEYS_IMAGE);
    const auto d1 = algorithm.getSharedOutput(FindRidges::RIDGES_D1_IMAGE);
    const auto d2 = algorithm.getSharedOutput(FindRidges::RIDGES_D2_IMAGE);
    const auto ridges = algorithm.getSharedOutput(FindRidges::RIDGES_IMAGE);
    ASSERT_TRUE(rv && d1 && d2 && ridges);
    const float high = range.getMaxFloatValue() * 0.6333333f;
    float sum = 0.0f;
    int candidates = 0;
    for (double v : pixels(*d2))
        if (v != 0)
            sum += static_cast<float>(v), ++candidates;
    const float strong = candidates ? std::log(4.0f) * (sum / candidates) : 0.0f;
    std::map<int, int> ridgeRows; // column -> rows holding a ridge pixel
    for (int y = 0; y < 31; ++y)
        for (int x = 0; x < 41; ++x)
        {
            const double keptByCurvature = laplacian(range, x, y) < 0 ? pixelAt(*rv, x, y) : 0.0;
            ASSERT_EQ(pixelAt(*d1, x, y), keptByCurvature) << x << "," << y;
            const double keptByHeight = pixelAt(range, x, y) > high ? keptByCurvature : 0.0;
            ASSERT_EQ(pixelAt(*d2, x, y), keptByHeight) << x << "," << y;
            ASSERT_EQ(pixelAt(*ridges, x, y), keptByHeight > strong ? keptByHeight : 0.0) << x << "," << y;
            if (pixelAt(*ridges, x, y) != 0)
                ++ridgeRows[x];
        }
    std::set<int> columns;
    for (const auto& [x, rows] : ridgeRows)
        columns.insert(x);
    EXPECT_EQ(columns, GetParam().ridgeColumns);
    for (const auto& [x, rows] : ridgeRows)
        EXPECT_EQ(rows, 31) << x;
}

const HeightMap kHeightMaps[] = {
    {"gaussianRidgeLine", [](int x, int) { return 100 * std::exp(-(x - 20.0) * (x - 20.0) / 18); }, {20}},
    // x^2 - y^2 has a Laplacian of exactly 0 inside; the replicated left and right edges curve
    // it down, but along them the direction turns evenly, nowhere ln 4 times the mean rate.
    {"saddle", [](int x, int y) { return (x - 20.0) * (x - 20.0) - (y - 15.0) * (y - 15.0); }, {}},
    {"flat", [](int, int) { return 7.0; }, {}},
};

INSTANTIATE_TEST_SUITE_P(Analysis, RidgeSteps, ::testing::ValuesIn(kHeightMaps),
                         [](const auto& info) { return std::string(info.param.name); });

// Ridge structures of a FLOAT ridge image: segments along rows, 0.5 on their pixels.
Image2D segments(std::initializer_list<std::array<int, 3>> rowFromTo)
{
    Image2D image(120, 40, Image2D::FLOAT);
    for (const auto& [row, from, to] : rowFromTo)
        for (int x = from; x <= to; ++x)
            image.getData<float>()[row * 120 + x] = 0.5f;
    return image;
}

// Which of the structures survive: pixels kept per row holding a segment.
std::map<int, int> keptPerRow(const Image2D& image)
{
    std::map<int, int> kept;
    for (int y = 0; y < image.getHeight(); ++y)
        for (int x = 0; x < image.getWidth(); ++x)
            if (pixelAt(image, x, y) != 0)
            {
                EXPECT_EQ(pixelAt(image, x, y), 0.5);
                ++kept[y];
            }
    return kept;
}

TEST(TeethRidges, StructuresAreJudgedByTheirRidgePixelsAfterJoiningCloseRidges)
{
    // Rows 5: 20 + 20 pixels with a one-pixel gap; row 20: 30 pixels; row 30: 100, 60 and 40 pixels.
    const Image2D gap = segments({{5, 0, 19}, {5, 21, 40}, {20, 0, 29}});
    const Image2D three = segments({{30, 0, 99}, {10, 0, 59}, {20, 0, 39}});
    struct Case
    {
        const Image2D* image;
        int radius;
        double part;
        std::map<int, int> kept;
    };
    const Case cases[] = {
        {&gap, 2, 1.0, {{5, 40}}},  // joined: 40 pixels beat 30
        {&gap, 0, 1.0, {{20, 30}}}, // apart: 30 beats 20 and 20
        {&three, 1, 0.5, {{30, 100}, {10, 60}}},
        {&three, 1, 0.0, {{30, 100}, {10, 60}, {20, 40}}},
        {&three, 1, 1.01, {}},
    };
    for (const Case& c : cases)
    {
        TeethRidges algorithm;
        algorithm.setSharedInput(Algorithm::INPUT_IMAGE, sharedCopy(*c.image));
        algorithm.setUniformValue(TeethRidges::DILATION_RADIUS, c.radius);
        algorithm.setUniformValue(TeethRidges::PART_OF_LARGEST_REGION_TO_KEEP, c.part);
        ASSERT_TRUE(algorithm.execute(neverCancelled()));
        EXPECT_EQ(keptPerRow(*algorithm.getSharedOutput(Algorithm::OUTPUT_IMAGE)), c.kept) << c.radius << " " << c.part;
    }
}

TEST(FeaturePointImageProvider, DilatesTheRidgesAndKeepsTheRangeOnThem)
{
    FeaturePointImageProvider algorithm;
    algorithm.setSharedInput(FeaturePointImageProvider::FINAL_RIDGE_INPUT_IMAGE, sharedCopy(segments({{20, 40, 40}})));
    algorithm.setSharedInput(FeaturePointImageProvider::RANGE_IMAGE_INPUT_IMAGE,
                             sharedCopy(field(120, 40, Image2D::FLOAT, [](int x, int y) { return x + 100 * y; })));
    algorithm.setUniformValue(FeaturePointImageProvider::DILATION_RADIUS, QStringLiteral("3"));
    ASSERT_TRUE(algorithm.execute(neverCancelled()));
    const std::vector<double> dilated = pixels(*algorithm.getSharedOutput(FeaturePointImageProvider::DILATED_FINAL_RIDGE_OUTPUT_IMAGE));
    EXPECT_EQ(std::count(dilated.begin(), dilated.end(), 1.0), 29); // the disc of radius 3
    const std::vector<double> masked = pixels(*algorithm.getSharedOutput(FeaturePointImageProvider::MASKED_RANGE_IMAGE_OUTPUT_IMAGE));
    EXPECT_EQ(std::count(masked.begin(), masked.end(), 0.0), 120 * 40 - 1);
    EXPECT_EQ(masked[20 * 120 + 40], 2040);
}

} // namespace
