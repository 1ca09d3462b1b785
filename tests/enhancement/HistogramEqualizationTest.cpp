#include "image2d/enhancement/HistogramEqualization.h"

#include "platform/pixeldata/PixelTypes.h"
#include "support/ImageCompare.h"
#include "support/TestImages.h"
#include "support/WarningCapture.h"

#include <gtest/gtest.h>
#include <tbb/task_arena.h>
#include <tbb/task_scheduler_observer.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

using image2d::HistogramEqualization;
using namespace testing_support;

namespace {

// Plain equalization following the described steps one by one: every tile histogram is
// built by adding 1.0f per pixel, every pixel locates its tiles and weights from scratch.
struct ReferenceAxis
{
    long long r, n, last;
    std::vector<long long> centre;
};

ReferenceAxis referenceAxis(long long length, long long r, long long s)
{
    ReferenceAxis a{r, 0, 0, {}};
    const long long tile = 2 * r + 1;
    a.n = length <= tile ? 1 : (length - tile - 1 + 2 * s) / s;
    a.last = (length > tile && a.n != 1) ? length - r - 1 : r;
    for (long long i = 0; i < a.n; ++i)
        a.centre.push_back(std::min(i * s + r, a.last));
    return a;
}

// Tile indices and the weight of the second tile for position p.
void locate(const ReferenceAxis& a, long long p, int& first, int& second, float& w)
{
    if (p <= a.centre[0])
    {
        first = second = 0;
        w = 0.0f;
        return;
    }
    if (p > a.centre[a.n - 1])
    {
        first = second = static_cast<int>(a.n - 1);
        w = 0.0f;
        return;
    }
    int k = 1;
    while (!(a.centre[k - 1] < p && p <= a.centre[k]))
        ++k;
    const float increment = 1.0f / static_cast<float>(a.centre[k] - a.centre[k - 1]);
    w = increment;
    for (long long q = a.centre[k - 1] + 1; q < p; ++q)
        w += increment;
    first = k - 1;
    second = k;
}

int referenceBin(Image2D::DataType type, double v)
{
    switch (type)
    {
    case Image2D::UNSIGNED_CHAR:
    case Image2D::BINARY: return static_cast<int>(v);
    case Image2D::UNSIGNED_SHORT: return static_cast<int>(static_cast<float>(v) / 65535.0f * 511.0f);
    case Image2D::SHORT: return static_cast<int>((static_cast<float>(v) + 32768.0f) / 65535.0f * 511.0f);
    default:
    {
        const float t = static_cast<float>(v) * 511.0f;
        if (std::isnan(t) || t < 0.0f)
            return 0;
        return t > 511.0f ? 511 : static_cast<int>(t);
    }
    }
}

double referenceOutput(Image2D::DataType type, float c)
{
    c = std::clamp(c, 0.0f, 1.0f);
    switch (type)
    {
    case Image2D::UNSIGNED_CHAR:
    case Image2D::BINARY: return static_cast<std::uint8_t>(static_cast<int>(c * 255.0f));
    case Image2D::UNSIGNED_SHORT: return static_cast<std::uint16_t>(static_cast<int>(c * 65535.0f));
    case Image2D::SHORT: return static_cast<std::int16_t>(static_cast<int>(c * 65535.0f - 32768.0f));
    default: return c;
    }
}

Image2D referenceHieq(const Image2D& input, float balance, float relativeRadius, float overlap)
{
    const int width = input.getWidth(), height = input.getHeight();
    const Image2D::DataType type = input.getDataType();
    const int bins = (type == Image2D::UNSIGNED_CHAR || type == Image2D::BINARY) ? 256 : 512;
    const long long r = std::max(1LL, static_cast<long long>(static_cast<float>(width) * relativeRadius));
    const long long s = static_cast<long long>(2.0f * (1.0f - overlap) * static_cast<float>(r) + 1.0f);
    const ReferenceAxis ax = referenceAxis(width, r, s), ay = referenceAxis(height, r, s);
    const std::vector<double> values = pixels(input);
    const float factor = static_cast<float>(0.5 * std::pow(static_cast<double>(balance), 5.0));

    std::vector<std::vector<float>> tiles(ay.n * ax.n, std::vector<float>(bins, 0.0f));
    for (long long i = 0; i < ay.n; ++i)
        for (long long j = 0; j < ax.n; ++j)
        {
            std::vector<float>& h = tiles[i * ax.n + j];
            for (long long y = ay.centre[i] - r; y <= std::min<long long>(ay.centre[i] + r, height - 1); ++y)
                for (long long x = ax.centre[j] - r; x <= std::min<long long>(ax.centre[j] + r, width - 1); ++x)
                    h[referenceBin(type, values[y * width + x])] += 1.0f;
            float total = 0.0f;
            for (float b : h)
                total += b;
            const float mean = total / static_cast<float>(bins);
            const float limit = mean + (total - mean) * factor;
            float excess = 0.0f;
            for (float& b : h)
                if (b > limit)
                {
                    excess += b - limit;
                    b = limit;
                }
            for (float& b : h)
                b += excess / static_cast<float>(bins);
            h[0] = std::min(h[0], 1.0f);
            h[bins - 1] = std::min(h[bins - 1], 1.0f);
            for (int b = 1; b < bins; ++b)
                h[b] += h[b - 1];
            const float sum = h[bins - 1];
            for (float& b : h)
                b /= sum;
        }

    Image2D output(width, height, type);
    std::vector<double> result(values.size());
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
        {
            int i0, i1, j0, j1;
            float wy, wx;
            locate(ay, y, i0, i1, wy);
            locate(ax, x, j0, j1, wx);
            const int b = referenceBin(type, values[static_cast<std::size_t>(y) * width + x]);
            auto across = [&](int i) {
                const float a = tiles[i * ax.n + j0][b];
                return j0 == j1 ? a : a * (1.0f - wx) + tiles[i * ax.n + j1][b] * wx;
            };
            const float c = i0 == i1 ? across(i0) : across(i0) * (1.0f - wy) + across(i1) * wy;
            result[static_cast<std::size_t>(y) * width + x] = referenceOutput(type, c);
        }
    return makeImage(width, height, type, result);
}

std::shared_ptr<Image2D> runHieq(std::shared_ptr<Image2D> input, float balance, float radius, float overlap,
                                 const std::atomic<bool>& cancel = image2d::neverCancelled())
{
    HistogramEqualization algorithm;
    algorithm.setSharedInput(HistogramEqualization::INPUT_IMAGE, input);
    algorithm.setUniformValue(HistogramEqualization::BALANCE, balance);
    algorithm.setUniformValue(HistogramEqualization::KERNEL_RELATIVE_RADIUS, radius);
    algorithm.setUniformValue(HistogramEqualization::KERNEL_OVERLAP, overlap);
    EXPECT_TRUE(algorithm.execute(cancel));
    return algorithm.getSharedOutput(HistogramEqualization::OUTPUT_IMAGE);
}

struct HieqCase
{
    Image2D::DataType type;
    int width, height;
    float balance, radius, overlap;
};

void PrintTo(const HieqCase& c, std::ostream* os)
{
    *os << "type " << c.type << ", " << c.width << " x " << c.height << ", balance " << c.balance << ", radius "
        << c.radius << ", overlap " << c.overlap;
}

using HieqMatchesReference = ::testing::TestWithParam<HieqCase>;

} // namespace

TEST_P(HieqMatchesReference, BitIdentical)
{
    const HieqCase c = GetParam();
    auto input = std::make_shared<Image2D>(randomOfType(c.type, c.width, c.height, 7u + c.width, 0.0, 1.0));
    const auto output = runHieq(input, c.balance, c.radius, c.overlap);
    ASSERT_TRUE(output);
    EXPECT_TRUE(imagesEqual(referenceHieq(*input, c.balance, c.radius, c.overlap), *output));
}

// Images that fill only part of the bins (12-bit data in 16 bits and other narrow ranges).
TEST(HistogramEqualization, NarrowValueRangesMatchReference)
{
    struct Narrow
    {
        Image2D::DataType type;
        double lo, hi;
    };
    for (const Narrow& n : {Narrow{Image2D::UNSIGNED_SHORT, 0, 4095}, Narrow{Image2D::UNSIGNED_SHORT, 30000, 31000},
                            Narrow{Image2D::SHORT, -500, 1200}, Narrow{Image2D::UNSIGNED_CHAR, 100, 140}})
    {
        auto input = std::make_shared<Image2D>(randomImage(70, 55, n.type, 17, n.lo, n.hi));
        const auto output = runHieq(input, 0.5f, 0.032f * 3, 0.75f);
        ASSERT_TRUE(output);
        EXPECT_TRUE(imagesEqual(referenceHieq(*input, 0.5f, 0.032f * 3, 0.75f), *output)) << n.lo << " " << n.hi;
    }
}

INSTANTIATE_TEST_SUITE_P(
    TypesAndGrids, HieqMatchesReference,
    ::testing::Values(HieqCase{Image2D::UNSIGNED_SHORT, 61, 47, 0.5f, 0.1f, 0.75f},
                      HieqCase{Image2D::UNSIGNED_SHORT, 80, 33, 1.0f, 0.05f, 0.0f},
                      HieqCase{Image2D::SHORT, 50, 70, 0.7f, 0.08f, 0.5f},
                      HieqCase{Image2D::UNSIGNED_CHAR, 64, 64, 0.3f, 0.06f, 0.75f},
                      HieqCase{Image2D::BINARY, 40, 31, 1.0f, 0.1f, 0.25f},
                      HieqCase{Image2D::FLOAT, 45, 52, 0.9f, 0.1f, 0.6f},
                      // Step of one pixel: a tile per position up to the last centre.
                      HieqCase{Image2D::UNSIGNED_SHORT, 23, 19, 0.8f, 0.1f, 1.0f},
                      HieqCase{Image2D::UNSIGNED_CHAR, 20, 26, 0.5f, 0.0f, 1.0f},
                      // Radius 0 still means a radius of one pixel.
                      HieqCase{Image2D::FLOAT, 17, 9, 1.0f, 0.0f, 0.0f},
                      // One tile covering the image, and a wide image with one tile row.
                      HieqCase{Image2D::UNSIGNED_SHORT, 9, 7, 0.6f, 0.5f, 0.5f},
                      HieqCase{Image2D::SHORT, 100, 6, 0.6f, 0.05f, 0.5f},
                      // A tall image: the tile radius from the width exceeds nothing vertically.
                      HieqCase{Image2D::UNSIGNED_CHAR, 5, 90, 1.0f, 0.5f, 0.9f},
                      // Degenerate sizes.
                      HieqCase{Image2D::UNSIGNED_CHAR, 1, 1, 1.0f, 0.5f, 0.5f},
                      HieqCase{Image2D::UNSIGNED_SHORT, 1, 40, 1.0f, 0.5f, 0.5f},
                      HieqCase{Image2D::FLOAT, 40, 1, 0.4f, 0.1f, 0.3f}));

TEST(HistogramEqualization, BalanceZeroPublishesTheInputObject)
{
    auto input = std::make_shared<Image2D>(randomOfType(Image2D::UNSIGNED_SHORT, 8, 8, 1, 0.0, 1.0));
    EXPECT_EQ(runHieq(input, 0.0f, 0.1f, 0.5f), input);
}

TEST(HistogramEqualization, SingleTileByHand)
{
    // 2 x 2 fits one 3 x 3 tile. Counts: bin 0: 1, bin 10: 2, bin 255: 1; total 4, mean 1/64,
    // limit 2.0078 (nothing clipped); cumulative 1, 3, 4 of 4.
    auto input = std::make_shared<Image2D>(makeImage(2, 2, Image2D::UNSIGNED_CHAR, {0, 10, 10, 255}));
    const auto output = runHieq(input, 1.0f, 0.5f, 0.5f);
    ASSERT_TRUE(output);
    EXPECT_TRUE(imagesEqual(makeImage(2, 2, Image2D::UNSIGNED_CHAR, {63, 191, 191, 255}), *output));
}

TEST(HistogramEqualization, ExtremeBinsWeighAtMostOne)
{
    // 62 black pixels and two others in one tile: the black bin is capped at 1, so it takes at
    // most a third of the cumulative weight (the other two bins hold at least 1 each).
    std::vector<double> values(64, 0.0);
    values[20] = 100;
    values[41] = 200;
    auto input = std::make_shared<Image2D>(makeImage(8, 8, Image2D::UNSIGNED_CHAR, values));
    const auto output = runHieq(input, 1.0f, 0.5f, 0.0f);
    ASSERT_TRUE(output);
    EXPECT_LE(testing_support::pixelAt(*output, 0, 0), 85.0);
    EXPECT_TRUE(imagesEqual(referenceHieq(*input, 1.0f, 0.5f, 0.0f), *output));
}

TEST(HistogramEqualization, FloatOutputStaysInUnitRangeAndClampsOutliers)
{
    Image2D image = randomOfType(Image2D::FLOAT, 30, 30, 3, 0.0, 1.0);
    float* p = image.getData<float>();
    p[0] = -4.0f;
    p[31] = 7.5f;
    p[100] = std::numeric_limits<float>::quiet_NaN();
    p[200] = std::numeric_limits<float>::infinity();
    image.editFinished();
    auto input = std::make_shared<Image2D>(image);
    const auto output = runHieq(input, 1.0f, 0.1f, 0.8f);
    ASSERT_TRUE(output);
    for (double v : pixels(*output))
    {
        EXPECT_GE(v, 0.0);
        EXPECT_LE(v, 1.0);
    }
    EXPECT_TRUE(imagesEqual(referenceHieq(*input, 1.0f, 0.1f, 0.8f), *output));
}

TEST(HistogramEqualization, ConstantShortImageStaysInRange)
{
    for (double value : {-32768.0, 0.0, 32767.0})
    {
        auto input = std::make_shared<Image2D>(makeImage(12, 10, Image2D::SHORT, std::vector<double>(120, value)));
        const auto output = runHieq(input, 1.0f, 0.2f, 0.5f);
        ASSERT_TRUE(output);
        EXPECT_TRUE(imagesEqual(referenceHieq(*input, 1.0f, 0.2f, 0.5f), *output));
    }
}

TEST(HistogramEqualization, CancelledBeforeStartLeavesOutputUnwritten)
{
    auto input = std::make_shared<Image2D>(randomOfType(Image2D::UNSIGNED_SHORT, 40, 40, 5, 0.0, 1.0));
    std::atomic<bool> cancel{true};
    const auto output = runHieq(input, 1.0f, 0.1f, 0.5f, cancel);
    ASSERT_TRUE(output);
    EXPECT_NE(output, input);
    for (double v : pixels(*output))
        ASSERT_EQ(v, 0.0);
}

// The host calls the equalization expecting it to stay on its thread: no worker of the
// arena it is called in may join (the chunked parallel loop it had let one in).
TEST(HistogramEqualization, RunsOnTheCallingThread)
{
    struct WorkerCount : tbb::task_scheduler_observer
    {
        explicit WorkerCount(tbb::task_arena& arena) : tbb::task_scheduler_observer(arena) { observe(true); }
        ~WorkerCount() override { observe(false); }
        void on_scheduler_entry(bool isWorker) override { workers += isWorker ? 1 : 0; }
        std::atomic<int> workers{0};
    };
    tbb::task_arena arena(2);
    WorkerCount observer(arena);
    auto input = std::make_shared<Image2D>(randomOfType(Image2D::UNSIGNED_SHORT, 800, 600, 7, 0.0, 1.0));
    for (int run = 0; run < 5; ++run)
        arena.execute([&] { ASSERT_TRUE(runHieq(input, 1.0f, 0.1f, 0.5f)); });
    EXPECT_EQ(observer.workers.load(), 0);
}

TEST(HistogramEqualization, IntInputWarnsAndPassesTheInputThrough)
{
    WarningCapture warnings;
    auto input = std::make_shared<Image2D>(makeImage(3, 3, Image2D::INT, {1, 2, 3, 4, 5, 6, 7, 8, 9}));
    EXPECT_EQ(runHieq(input, 1.0f, 0.1f, 0.5f), input);
    EXPECT_EQ(warnings.messages(),
              QStringList{"image2d::HistogramEqualization : histogram equalization algorithm not supported for data "
                          "type:  6"});
}
