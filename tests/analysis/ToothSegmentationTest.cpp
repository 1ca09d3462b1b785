#include "image2d/analysis/ToothSegmentation.h"
#include "image2d/pointops/IntensityMapping.h"
#include "support/TestImages.h"
#include "support/WarningCapture.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <random>
#include <vector>

using namespace image2d;
using namespace testing_support;

namespace {

constexpr int kPenalty[4] = {0, 1, 3, 7};

// An image of `type` that is 0 but for `value` at the given pixels.
Image2D withPixels(int width, int height, std::initializer_list<QPoint> points, Image2D::DataType type = Image2D::BINARY,
                   double value = 1)
{
    std::vector<double> values(static_cast<std::size_t>(width) * height, 0.0);
    for (const QPoint& p : points)
        values[static_cast<std::size_t>(p.y()) * width + p.x()] = value;
    return makeImage(width, height, type, values);
}

// ToPolarCost on `image` with threshold 1, costs 20 and 2, and `key` set to `value`.
std::shared_ptr<Image2D> runToPolarCost(std::shared_ptr<Image2D> image, const QString& key, const QVariant& value)
{
    ToPolarCost algorithm;
    algorithm.setSharedInput(Algorithm::INPUT_IMAGE, std::move(image));
    algorithm.setUniformValue(ToPolarCost::THRESHOLD, 1);
    algorithm.setUniformValue(ToPolarCost::UNDERTHRESHOLD_VALUE, 20);
    algorithm.setUniformValue(ToPolarCost::ABOVETHRESHOLD_VALUE, 2);
    algorithm.setUniformValue(key, value);
    algorithm.execute(neverCancelled());
    return algorithm.getSharedOutput(Algorithm::OUTPUT_IMAGE);
}

// (row, column) of every cell of a polar image that holds `value`.
std::vector<std::pair<int, int>> cellsHolding(const Image2D& polar, double value)
{
    std::vector<std::pair<int, int>> cells;
    for (int r = 0; r < polar.getHeight(); ++r)
        for (int a = 0; a < polar.getWidth(); ++a)
            if (pixelAt(polar, a, r) == value)
                cells.emplace_back(r, a);
    return cells;
}

// One edge pixel at (dx, dy) from the origin (20, 20) lands in cell (row, column).
struct PolarCase
{
    const char* name;
    int dx, dy, row, column;
};
const PolarCase kPolarCases[] = {
    {"below", 0, 10, 10, 0},         {"right", 10, 0, 10, 90},        {"above", 0, -10, 10, 180},
    {"left", -10, 0, 10, 270},       {"belowRight", 10, 10, 14, 45},  {"belowLeft", -10, 10, 14, 315},
    {"aboveRight", 10, -10, 14, 135}, {"aboveLeft", -10, -10, 14, 225}, {"steep", 3, 4, 5, 36},
    {"flatAboveLeft", -4, -3, 5, 233}, {"nextToOrigin", 1, 0, 1, 90},
};

using PolarCell = ::testing::TestWithParam<PolarCase>;

// Left of the origin is column 270 only when the angle is computed in float.
TEST_P(PolarCell, EdgePixelLandsInItsDegreeAndRadius)
{
    const PolarCase& c = GetParam();
    const std::shared_ptr<Image2D> polar =
        toPolarCost(withPixels(41, 41, {QPoint(20 + c.dx, 20 + c.dy)}), 1.0f, 20, 2, 20.0f, 20.0f);
    ASSERT_TRUE(polar);
    EXPECT_EQ(polar->getDataType(), Image2D::UNSIGNED_CHAR);
    EXPECT_EQ(polar->getSize(), QSize(360, 29)); // sqrt(21^2 + 21^2) = 29.7 from (20, 20) to (41, 41)
    EXPECT_EQ(cellsHolding(*polar, 2), (std::vector<std::pair<int, int>>{{c.row, c.column}}));
    EXPECT_EQ(cellsHolding(*polar, 20).size(), 360u * 29 - 1);
}

INSTANTIATE_TEST_SUITE_P(Analysis, PolarCell, ::testing::ValuesIn(kPolarCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(PolarCost, EveryPixelTypeSeesTheSameEdgesAndTheThresholdIsTruncated)
{
    // 2.7 compares as 2 in integer types: the pixel of 2 is an edge, the pixel of 1 is not.
    for (Image2D::DataType type : {Image2D::UNSIGNED_SHORT, Image2D::SHORT, Image2D::UNSIGNED_CHAR, Image2D::INT})
    {
        const std::shared_ptr<Image2D> polar = toPolarCost(withPixels(9, 9, {QPoint(7, 4)}, type, 2), 2.7f, 20, 2);
        ASSERT_TRUE(polar);
        EXPECT_EQ(cellsHolding(*polar, 2), (std::vector<std::pair<int, int>>{{3, 90}})) << type;
    }
    const std::shared_ptr<Image2D> floats = toPolarCost(withPixels(9, 9, {QPoint(7, 4)}, Image2D::FLOAT, 2), 2.7f, 20, 2);
    EXPECT_TRUE(cellsHolding(*floats, 2).empty());
}

TEST(PolarCost, OriginPixelAndPixelsPastTheLastRowHitNoCell)
{
    // 100 x 80 around (50, 40): R = trunc(64.03) = 64, so the corner pixel (0, 0) at 64.03 is dropped.
    const std::shared_ptr<Image2D> polar = toPolarCost(withPixels(100, 80, {QPoint(50, 40), QPoint(0, 0)}), 1, 20, 2);
    ASSERT_TRUE(polar);
    EXPECT_EQ(polar->getHeight(), 64);
    EXPECT_TRUE(cellsHolding(*polar, 2).empty());
    // "min" is narrowed to its low byte: 300 is 44.
    const auto narrowed = runToPolarCost(sharedCopy(withPixels(9, 9, {QPoint(8, 4)})), ToPolarCost::ABOVETHRESHOLD_VALUE, 300);
    ASSERT_TRUE(narrowed);
    EXPECT_EQ(cellsHolding(*narrowed, 44), (std::vector<std::pair<int, int>>{{4, 90}}));
}

// The cost of the cheapest path ending in each row of the last column, by trying every path.
std::vector<long> cheapestByEnumeration(const Image2D& costs)
{
    const int w = costs.getWidth(), h = costs.getHeight();
    std::vector<long> best(static_cast<std::size_t>(h), std::numeric_limits<long>::max());
    std::function<void(int, int, long)> extend = [&](int column, int row, long cost) {
        cost += static_cast<long>(pixelAt(costs, column, row));
        if (column == w - 1)
            best[row] = std::min(best[row], cost);
        else
            for (int next = std::max(0, row - 3); next <= std::min(h - 1, row + 3); ++next)
                extend(column + 1, next, cost + kPenalty[std::abs(next - row)]);
    };
    for (int row = 0; row < h; ++row)
        extend(0, row, 0);
    return best;
}

TEST(CheapestPath, EqualsTheCheapestOfAllPathsAndTheMaskFollowsOne)
{
    for (Image2D::DataType type : {Image2D::UNSIGNED_CHAR, Image2D::SHORT, Image2D::INT})
        for (std::uint32_t seed = 1; seed <= 4; ++seed)
        {
            SCOPED_TRACE(testing::Message() << type << " seed " << seed);
            const Image2D costs = randomImage(6, 7, type, seed, type == Image2D::UNSIGNED_CHAR ? 0 : -9, 12);
            const std::shared_ptr<Image2D> cumulative = CheapestPath::executeCheapestPath(sharedCopy(costs));
            ASSERT_TRUE(cumulative);
            const std::vector<long> enumerated = cheapestByEnumeration(costs);
            for (int y = 0; y < 7; ++y)
                EXPECT_EQ(pixelAt(*cumulative, 5, y), enumerated[y]) << y;
            // The mask is 0 above its path row and 1 from it down, and that path costs the least.
            const std::shared_ptr<Image2D> mask = MaskFromCheapestPath::executeMaskFromCheapestPath(cumulative);
            ASSERT_TRUE(mask);
            long cost = 0;
            for (int x = 0, previous = 0; x < 6; ++x)
            {
                int row = 0;
                while (row < 7 && pixelAt(*mask, x, row) == 0)
                    ++row;
                for (int y = row; y < 7; ++y)
                    EXPECT_EQ(pixelAt(*mask, x, y), 1);
                ASSERT_TRUE(x == 0 || std::abs(row - previous) <= 3);
                cost += static_cast<long>(pixelAt(costs, x, row)) + (x > 0 ? kPenalty[std::abs(row - previous)] : 0);
                previous = row;
            }
            EXPECT_EQ(cost, *std::min_element(enumerated.begin(), enumerated.end()));
        }
}

TEST(CheapestPath, OneColumnMaskStopsAtTheFirstSmallestCost)
{
    const std::shared_ptr<Image2D> column = maskFromCheapestPath(makeImage(1, 5, Image2D::INT, {9, 8, 3, 3, 7}));
    ASSERT_TRUE(column);
    EXPECT_EQ(testing_support::pixels(*column), (std::vector<double>{0, 0, 1, 1, 1}));
}

// The unchecked inner rows equal the recurrence written out plainly, on a larger image.
TEST(CheapestPath, EqualsThePlainRecurrence)
{
    const Image2D costs = randomImage(30, 45, Image2D::UNSIGNED_SHORT, 9, 0, 30);
    const std::shared_ptr<Image2D> cumulative = cheapestPath(costs);
    ASSERT_TRUE(cumulative);
    std::vector<double> expected = testing_support::pixels(costs);
    for (int x = 1; x < 30; ++x)
        for (int y = 0; y < 45; ++y)
        {
            double best = 1e18;
            for (int q = std::max(0, y - 3); q <= std::min(44, y + 3); ++q)
                best = std::min(best, expected[q * 30 + x - 1] + kPenalty[std::abs(q - y)]);
            expected[y * 30 + x] += best;
        }
    EXPECT_EQ(testing_support::pixels(*cumulative), expected);
}

// 1 wherever `in` holds and 0 wherever `out` holds; names the first pixel that is not.
::testing::AssertionResult maskBetween(const Image2D& mask, const std::function<bool(int, int)>& in,
                                       const std::function<bool(int, int)>& out)
{
    for (int y = 0; y < mask.getHeight(); ++y)
        for (int x = 0; x < mask.getWidth(); ++x)
            if ((in(x, y) && pixelAt(mask, x, y) != 1) || (out(x, y) && pixelAt(mask, x, y) != 0))
                return ::testing::AssertionFailure() << "pixel " << x << "," << y << " is " << pixelAt(mask, x, y);
    return ::testing::AssertionSuccess();
}

// The inside of a one-pixel outline found through the polar image around `origin`.
std::shared_ptr<Image2D> insideOfOutline(const Image2D& outline, QPoint origin)
{
    const auto polar = toPolarCost(outline, 1, 20, 2, origin.x(), origin.y());
    const auto path = maskFromCheapestPath(*cheapestPath(*polar));
    return cartesianMaskFromPolarMask(*invert(*path, false), origin.x(), origin.y(), outline.getWidth(),
                                      outline.getHeight());
}

// Ellipses (circles when a = b) drawn one pixel thick, seen from off-centre origins: along
// every ray from the origin, the outline runs at most 1.5 pixels inside the curve (the curve's
// pixels are rounded, their radii truncated to rows) and never outside it.
TEST(PolarOutline, EllipsesAreRecoveredWithinAPixelAndAHalf)
{
    struct Shape
    {
        double cx, cy, a, b;
        QPoint origin;
    };
    for (const Shape& s : {Shape{60, 50, 30, 30, {60, 50}}, Shape{60, 50, 30, 30, {52, 58}},
                           Shape{70, 60, 45, 25, {75, 55}}, Shape{70, 60, 20, 40, {70, 70}}})
    {
        SCOPED_TRACE(testing::Message() << s.a << "x" << s.b << " from " << s.origin.x() << "," << s.origin.y());
        Image2D outline(140, 120, Image2D::BINARY);
        for (int i = 0; i < 4000; ++i)
        {
            const double t = 2 * M_PI * i / 4000;
            outline.getData<std::uint8_t>()[std::lround(s.cy + s.b * std::sin(t)) * 140 + std::lround(s.cx + s.a * std::cos(t))] = 1;
        }
        // How far the pixel lies beyond the curve along the ray from the origin.
        const auto beyond = [&](int x, int y) {
            const double length = std::hypot(x - s.origin.x(), y - s.origin.y());
            const double px = (s.origin.x() - s.cx) / s.a, py = (s.origin.y() - s.cy) / s.b;
            const double qx = (x - s.origin.x()) / length / s.a, qy = (y - s.origin.y()) / length / s.b;
            const double a = qx * qx + qy * qy, b = 2 * (px * qx + py * qy), c = px * px + py * py - 1;
            return length - (-b + std::sqrt(b * b - 4 * a * c)) / (2 * a);
        };
        const std::shared_ptr<Image2D> inside = insideOfOutline(outline, s.origin);
        ASSERT_TRUE(inside);
        const auto atOrigin = [&](int x, int y) { return QPoint(x, y) == s.origin; };
        EXPECT_TRUE(maskBetween(*inside, [&](int x, int y) { return !atOrigin(x, y) && beyond(x, y) < -1.5; },
                                [&](int x, int y) { return atOrigin(x, y) || beyond(x, y) > 0; }));
    }
}

// A bright disc on a dark ground: the outline runs along the inner side of the edge band.
Image2D disc(int width, int height, double cx, double cy, double radius)
{
    std::vector<double> values;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            values.push_back(std::hypot(x - cx, y - cy) <= radius ? 200 : 20);
    return makeImage(width, height, Image2D::UNSIGNED_CHAR, values);
}

// The band-pass edges of a disc's rim fill a band some 6 pixels wide inside it; the outline
// keeps within that band.
TEST(ToothSegmentation, CentredDiscIsOutlinedWithinItsEdgeBandInOnePass)
{
    const Image2D image = disc(120, 100, 60, 50, 30);
    const std::shared_ptr<Image2D> edges = binaryEdge(image, ToothSegmentation::BINEDGE_THRESHOLD_VALUE_SMALL);
    ASSERT_TRUE(edges);
    double inner = 1e9, outer = 0;
    for (int y = 0; y < 100; ++y)
        for (int x = 0; x < 120; ++x)
            if (pixelAt(*edges, x, y) != 0)
            {
                inner = std::min(inner, std::hypot(x - 60, y - 50));
                outer = std::max(outer, std::hypot(x - 60, y - 50));
            }
    ASSERT_GT(inner, 20);
    ASSERT_LE(outer, 30);
    const ToothSegmentationResult result = toothSegmentation(image, ToothSegmentation::BINEDGE_THRESHOLD_VALUE_SMALL);
    ASSERT_TRUE(result);
    EXPECT_EQ(result.passes, 1);
    const auto r = [](int x, int y) { return std::hypot(x - 60, y - 50); };
    EXPECT_TRUE(maskBetween(
        *result.mask, [&](int x, int y) { return r(x, y) > 0 && r(x, y) < inner; },
        [&](int x, int y) { return r(x, y) > outer || r(x, y) == 0; })); // the origin itself stays 0
    // The adapter runs the same.
    const std::shared_ptr<Image2D> adapted = ToothSegmentation::executeToothSegmentation(sharedCopy(image), 30);
    ASSERT_TRUE(adapted);
    EXPECT_EQ(testing_support::pixels(*adapted), testing_support::pixels(*result.mask));
}

TEST(ToothSegmentation, OffCentreDiscIsFollowedByTheOrigin)
{
    const Image2D image = disc(200, 200, 120, 90, 30);
    const ToothSegmentationResult result = toothSegmentation(image, 55);
    ASSERT_TRUE(result);
    EXPECT_GE(result.passes, 2);
    EXPECT_LE(result.passes, 6);
    EXPECT_LT(std::hypot(result.origin.x() - 120, result.origin.y() - 90), std::hypot(100 - 120, 100 - 90));
    long inside = 0, outside = 0;
    for (int y = 0; y < 200; ++y)
        for (int x = 0; x < 200; ++x)
            (std::hypot(x - 120, y - 90) <= 30 ? inside : outside) += static_cast<long>(pixelAt(*result.mask, x, y));
    EXPECT_EQ(outside, 0);
    EXPECT_GT(inside, M_PI * 20 * 20);
}

TEST(ToothSegmentation, FlatImageHasAnOutlineOfZeroPerimeterAndAnEmptyMask)
{
    // 20 is also the value of the frame the edge filter puts around the image: no edge anywhere.
    const ToothSegmentationResult result = toothSegmentation(makeImage(40, 30, Image2D::UNSIGNED_SHORT, std::vector<double>(1200, 20)), 30);
    ASSERT_TRUE(result);
    EXPECT_EQ(result.passes, 1);
    EXPECT_EQ(result.origin, QPointF(20, 15));
    EXPECT_EQ(testing_support::pixels(*result.mask), std::vector<double>(1200, 0));
}

TEST(ToothSegmentation, CancelledRunLeavesTheMaskEmpty)
{
    const std::atomic<bool> cancel{true};
    ToothSegmentation algorithm;
    algorithm.setSharedInput(Algorithm::INPUT_IMAGE, sharedCopy(disc(60, 60, 30, 30, 15)));
    algorithm.setUniformValue(ToothSegmentation::BINEDGE_THRESHOLD_VALUE, 30);
    EXPECT_TRUE(algorithm.execute(cancel));
    const std::shared_ptr<Image2D> mask = algorithm.getSharedOutput(Algorithm::OUTPUT_IMAGE);
    ASSERT_TRUE(mask);
    EXPECT_EQ(testing_support::pixels(*mask), std::vector<double>(3600, 0));
}

// Each bad input gives exactly its warning and no output.
// What the shared catalogue of algorithms does not check: the origin against the image's far
// sides, and images too small to outline.
TEST(ToothSegmentation, BadInputFailsWithItsWarning)
{
    const auto image = sharedCopy(withPixels(20, 20, {}));
    const std::pair<std::function<std::shared_ptr<Image2D>()>, QString> cases[] = {
        {[&] { return runToPolarCost(image, ToPolarCost::ORIGIN_Y, 20.5); }, "image2d::ToPolarCost : invalid input:  \"originY\""},
        // No pass runs from an origin within 4 pixels of the corner.
        {[&] { return toothSegmentation(disc(9, 9, 4, 4, 3), 30, QPointF(2, 3)).mask; },
         "image2d::ToothSegmentation : invalid input:  \"inputImage\""},
        // The edge filter's 4-pixel frame leaves nothing inside an image 8 pixels wide.
        {[&] { return ToothSegmentation::executeToothSegmentation(sharedCopy(disc(8, 30, 4, 15, 3)), 30); },
         "image2d::Border : invalid input:  \"borderSizeX\""},
    };
    for (const auto& [run, message] : cases)
    {
        WarningCapture warnings;
        EXPECT_FALSE(run()) << message.toStdString();
        EXPECT_EQ(warnings.messages(), QStringList{message});
    }
    // The origin may lie on the far side of the image.
    WarningCapture warnings;
    EXPECT_TRUE(runToPolarCost(image, ToPolarCost::ORIGIN_X, 20));
    EXPECT_TRUE(warnings.messages().isEmpty());
}

} // namespace
