#include "image2d/enhancement/StarkAdaptiveHistogramEqualization.h"

#include "support/ImageCompare.h"
#include "support/TestImages.h"
#include "support/WarningCapture.h"

#include <gtest/gtest.h>

#include <tbb/task_arena.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <map>
#include <vector>

using image2d::StarkAdaptiveHistogramEqualization;
using namespace testing_support;

namespace {

std::shared_ptr<Image2D> runStark(std::shared_ptr<Image2D> input, double alpha, double beta, QVariant radius)
{
    StarkAdaptiveHistogramEqualization algorithm;
    algorithm.setSharedInput(StarkAdaptiveHistogramEqualization::INPUT_IMAGE, input);
    algorithm.setUniformValue(StarkAdaptiveHistogramEqualization::ALPHA_VALUE, alpha);
    algorithm.setUniformValue(StarkAdaptiveHistogramEqualization::BETA_VALUE, beta);
    algorithm.setUniformValue(StarkAdaptiveHistogramEqualization::RADIUS_VALUE, radius);
    EXPECT_TRUE(algorithm.execute(image2d::neverCancelled()));
    return algorithm.getSharedOutput(StarkAdaptiveHistogramEqualization::OUTPUT_IMAGE);
}

// Straightforward Stark: for every pixel, count the values of its clipped window (bucketed
// like the filter for FLOAT) and sum over them in ascending order with a power per entry
// through the sampled table.
Image2D referenceStark(const Image2D& input, double alpha, double beta, long long r)
{
    const int width = input.getWidth(), height = input.getHeight();
    const bool isFloat = input.getDataType() == Image2D::FLOAT;
    const double lo = input.getMinFloatValue(), hi = input.getMaxFloatValue();
    std::vector<double> table(65537);
    for (int k = 0; k <= 65536; ++k)
    {
        const double d = k * (2.0 / 65535.0) - 1.0;
        const double b = std::fabs(2.0 * d);
        table[k] = (std::pow(b, alpha) - beta * b) * (d > 0 ? 1.0 : d < 0 ? -1.0 : 0.0) * 0.5;
    }
    const float scale = 256.0f / (static_cast<float>(hi) - static_cast<float>(lo) + 1.1920929e-7f);
    auto n = [&](double v) { return (v - lo) / (hi - lo) - 0.5; };
    const std::vector<double> values = pixels(input);
    std::vector<double> result(values.size());
    for (long long y = 0; y < height; ++y)
        for (long long x = 0; x < width; ++x)
        {
            std::map<double, std::pair<double, long long>> entries; // key -> (value, count)
            long long count = 0;
            for (long long yy = std::max(0LL, y - r); yy <= std::min<long long>(height - 1, y + r); ++yy)
                for (long long xx = std::max(0LL, x - r); xx <= std::min<long long>(width - 1, x + r); ++xx)
                {
                    const double v = values[yy * width + xx];
                    const double key = isFloat ? std::floor(static_cast<double>(static_cast<float>(v) * scale)) : v;
                    auto it = entries.emplace(key, std::make_pair(v, 0LL)).first;
                    ++it->second.second;
                    ++count;
                }
            const double np = n(values[y * width + x]);
            double sum = 0.0;
            for (const auto& [key, entry] : entries)
            {
                const double delta = np - n(entry.first);
                const double xi = (delta + 1.0) * 0.5 * 65535.0;
                const int i = static_cast<int>(std::floor(xi));
                const double f = xi - i;
                const double q = table[i] + f * (table[i + 1] - table[i]);
                sum += static_cast<double>(entry.second) * (q + np * beta);
            }
            const double out = (sum / static_cast<double>(count) + 0.5) * (hi - lo) + lo;
            result[y * width + x] = isFloat ? static_cast<double>(static_cast<float>(out))
                                            : static_cast<double>(static_cast<long long>(out));
        }
    return makeImage(width, height, input.getDataType(), result);
}

Image2D randomOf(Image2D::DataType type, int width, int height, std::uint32_t seed)
{
    if (type != Image2D::FLOAT)
        return testing_support::radiographRange(type, width, height, seed);
    // Values on a 1/16 grid of [lo, hi]: one distinct value per bucket, so the entry's
    // representative does not depend on which pixel opened it.
    std::vector<double> v = pixels(randomImage(width, height, Image2D::UNSIGNED_CHAR, seed, 0, 16));
    for (double& x : v)
        x = -3.0 + x * 0.5;
    return makeImage(width, height, Image2D::FLOAT, v);
}

struct StarkCase
{
    Image2D::DataType type;
    int width, height;
    double alpha, beta;
    long long radius;
};

void PrintTo(const StarkCase& c, std::ostream* os)
{
    *os << "type " << c.type << ", " << c.width << " x " << c.height << ", alpha " << c.alpha << ", beta " << c.beta
        << ", radius " << c.radius;
}

using StarkMatchesReference = ::testing::TestWithParam<StarkCase>;

} // namespace

TEST_P(StarkMatchesReference, BitIdentical)
{
    const StarkCase c = GetParam();
    auto input = std::make_shared<Image2D>(randomOf(c.type, c.width, c.height, 13u + c.height));
    const auto output = runStark(input, c.alpha, c.beta, static_cast<unsigned int>(c.radius));
    ASSERT_TRUE(output);
    EXPECT_NE(output, input);
    EXPECT_TRUE(imagesEqual(referenceStark(*input, c.alpha, c.beta, c.radius), *output));
    // One thread takes the rows in long runs, two or four side by side: the same values.
    std::shared_ptr<Image2D> oneThread;
    tbb::task_arena arena(1);
    arena.execute([&] { oneThread = runStark(input, c.alpha, c.beta, static_cast<unsigned int>(c.radius)); });
    ASSERT_TRUE(oneThread);
    EXPECT_TRUE(imagesEqual(*output, *oneThread));
}

INSTANTIATE_TEST_SUITE_P(
    TypesAndWindows, StarkMatchesReference,
    ::testing::Values(StarkCase{Image2D::UNSIGNED_SHORT, 31, 23, 0.5, 0.5, 5},
                      StarkCase{Image2D::UNSIGNED_SHORT, 20, 17, 0.3, 0.8, 2},
                      StarkCase{Image2D::SHORT, 25, 19, 0.7, 0.2, 3},
                      StarkCase{Image2D::UNSIGNED_CHAR, 33, 12, 0.5, 0.5, 4},
                      StarkCase{Image2D::BINARY, 15, 14, 0.4, 0.6, 2},
                      StarkCase{Image2D::FLOAT, 22, 18, 0.6, 0.3, 3},
                      StarkCase{Image2D::UNSIGNED_CHAR, 9, 11, 1.0, 0.0, 1},
                      StarkCase{Image2D::UNSIGNED_SHORT, 12, 9, 0.0, 0.0, 2},
                      // Radius 0 and windows clipped to the whole image.
                      StarkCase{Image2D::UNSIGNED_SHORT, 10, 8, 0.5, 0.5, 0},
                      StarkCase{Image2D::SHORT, 7, 5, 0.5, 0.5, 1000},
                      StarkCase{Image2D::FLOAT, 1, 13, 0.5, 1.0, 4},
                      StarkCase{Image2D::UNSIGNED_CHAR, 1, 1, 0.5, 0.5, 3},
                      StarkCase{Image2D::SHORT, 17, 1, 0.2, 0.9, 2},
                      // Tall enough for the parallel loop to hand out runs of rows, which are
                      // slid two and four side by side.
                      StarkCase{Image2D::UNSIGNED_SHORT, 6, 1024, 0.5, 0.5, 2},
                      StarkCase{Image2D::FLOAT, 5, 800, 0.6, 0.3, 1}));

TEST(StarkAdaptiveHistogramEqualization, BorderWindowsByHand)
{
    // Alpha 0, beta 0: rank in the clipped window, equal values counting half.
    // Windows {10, 20}, {10, 20, 30}, {20, 30}: ranks 1/4, 1/2, 3/4 of 255.
    auto input = std::make_shared<Image2D>(makeImage(3, 1, Image2D::UNSIGNED_CHAR, {10, 20, 30}));
    const auto output = runStark(input, 0.0, 0.0, 1u);
    ASSERT_TRUE(output);
    EXPECT_TRUE(imagesEqual(makeImage(3, 1, Image2D::UNSIGNED_CHAR, {63, 127, 191}), *output));
}

TEST(StarkAdaptiveHistogramEqualization, AlphaOneBetaZeroSubtractsTheLocalMean)
{
    auto input = std::make_shared<Image2D>(randomOf(Image2D::UNSIGNED_SHORT, 24, 19, 4));
    const auto output = runStark(input, 1.0, 0.0, 3u);
    ASSERT_TRUE(output);
    const int w = 24, h = 19;
    std::vector<double> expected;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
        {
            double mean = 0.0;
            int count = 0;
            for (int yy = std::max(0, y - 3); yy <= std::min(h - 1, y + 3); ++yy)
                for (int xx = std::max(0, x - 3); xx <= std::min(w - 1, x + 3); ++xx, ++count)
                    mean += pixelAt(*input, xx, yy) / 65535.0 - 0.5;
            const double np = pixelAt(*input, x, y) / 65535.0 - 0.5;
            expected.push_back(std::floor(65535.0 * (np - mean / count + 0.5)));
        }
    EXPECT_TRUE(imagesNear(makeImage(w, h, Image2D::UNSIGNED_SHORT, expected), *output, 1.0));
}

TEST(StarkAdaptiveHistogramEqualization, RadiusZeroMapsEachPixelByItsOwnValue)
{
    auto input = std::make_shared<Image2D>(randomOf(Image2D::SHORT, 13, 7, 2));
    const double beta = 0.75;
    const auto output = runStark(input, 0.5, beta, 0u);
    ASSERT_TRUE(output);
    std::vector<double> expected;
    for (double v : pixels(*input))
    {
        const double n = (v + 32768.0) / 65535.0 - 0.5;
        expected.push_back(std::trunc(-32768.0 + 65535.0 * (0.5 + beta * n)));
    }
    EXPECT_TRUE(imagesNear(makeImage(13, 7, Image2D::SHORT, expected), *output, 1.0));
}

TEST(StarkAdaptiveHistogramEqualization, ConstantFloatImageKeepsItsValues)
{
    Image2D image = makeImage(5, 4, Image2D::FLOAT, std::vector<double>(20, 0.25));
    auto input = std::make_shared<Image2D>(image);
    const auto output = runStark(input, 0.5, 0.5, 2u);
    ASSERT_TRUE(output);
    EXPECT_NE(output, input);
    EXPECT_TRUE(imagesEqual(image, *output));
}

TEST(StarkAdaptiveHistogramEqualization, FloatNaNStaysOutOfItsNeighboursWindows)
{
    Image2D image = randomOf(Image2D::FLOAT, 9, 9, 6);
    image.getData<float>()[40] = std::numeric_limits<float>::quiet_NaN();
    image.editFinished();
    auto input = std::make_shared<Image2D>(image);
    const auto output = runStark(input, 0.5, 0.5, 1u);
    ASSERT_TRUE(output);
    const std::vector<double> values = pixels(*output);
    for (std::size_t i = 0; i < values.size(); ++i)
        EXPECT_EQ(std::isnan(values[i]), i == 40) << i;
}

TEST(StarkAdaptiveHistogramEqualization, OutOfRangeBinaryPixelsDoNotBreakTheWindow)
{
    // BINARY pixels are 0 or 1; a stray 255 must not read outside the table.
    auto input = std::make_shared<Image2D>(makeImage(4, 3, Image2D::BINARY, {0, 1, 255, 1, 0, 0, 1, 1, 0, 255, 0, 1}));
    EXPECT_TRUE(runStark(input, 0.5, 0.5, 1u));
}
