#include "image2d/pointops/IntensityMapping.h"

#include "PointopsTestHelpers.h"
#include "support/ImageCompare.h"
#include "support/TestImages.h"
#include "support/WarningCapture.h"

#include <gtest/gtest.h>

#include <tbb/parallel_for.h>

#include <algorithm>
#include <atomic>
#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

using namespace image2d;
using namespace pointops_test;
using namespace testing_support;

namespace {

const float kFloatMax = std::numeric_limits<float>::max();
const double kNaN = std::numeric_limits<double>::quiet_NaN();

/// Runs an algorithm on `input` (shared) and checks that the input object kept its pixels
/// and that the output is a different object.
template <typename Setup>
pointops_test::RunResult runOnCopyChecked(image2d::Algorithm& algorithm, const std::shared_ptr<Image2D>& input,
                                          Setup setup)
{
    const Image2D before = *input;
    algorithm.setSharedInput(image2d::Algorithm::INPUT_IMAGE, input);
    setup();
    pointops_test::RunResult result = run(algorithm);
    EXPECT_TRUE(imagesEqual(before, *input)) << "the input was changed";
    if (result.output)
    {
        EXPECT_NE(result.output, input) << "the output must be a new image";
    }
    return result;
}

/// An image holding every value of a 8- or 16-bit type once, in ascending order.
Image2D everyValue(Image2D::DataType type)
{
    std::vector<double> values;
    if (type == Image2D::UNSIGNED_CHAR)
        for (int v = 0; v < 256; ++v)
            values.push_back(v);
    else
    {
        const int first = type == Image2D::SHORT ? -32768 : 0;
        for (int v = first; v < first + 65536; ++v)
            values.push_back(v);
    }
    const int width = 256;
    return makeImage(width, static_cast<int>(values.size()) / width, type, values);
}

} // namespace

// ---- LevelWindow ----------------------------------------------------------------------

struct LevelWindowCase
{
    const char* name;
    friend void PrintTo(const LevelWindowCase& c, std::ostream* os) { *os << c.name; }
    Image2D::DataType type;
    double level;
    double window;
    std::vector<double> input;
    std::vector<double> expected;
};

using LevelWindowValues = ::testing::TestWithParam<LevelWindowCase>;

TEST_P(LevelWindowValues, MapsTheWindowOntoTheTypeRange)
{
    const LevelWindowCase& c = GetParam();
    const auto input = row(c.type, c.input);
    LevelWindow algorithm;
    const auto result = runOnCopyChecked(algorithm, input, [&] {
        algorithm.setUniformValue(LevelWindow::LEVEL, c.level);
        algorithm.setUniformValue(LevelWindow::WINDOW, c.window);
    });
    ASSERT_TRUE(result.ok);
    EXPECT_TRUE(result.warnings.isEmpty());
    ASSERT_TRUE(result.output);
    EXPECT_TRUE(imagesEqual(*row(c.type, c.expected), *result.output));
    // The form the filter processor runs on its own working image gives the same pixels.
    Image2D inPlace(*input);
    ASSERT_TRUE(levelWindowInPlace(inPlace, c.level, c.window));
    EXPECT_TRUE(imagesEqual(*row(c.type, c.expected), inPlace));
}

// Integer results: (v - low) * span / (high - low), clamped to 0..span, plus min(T), truncated.
INSTANTIATE_TEST_SUITE_P(
    PixelTypes, LevelWindowValues,
    ::testing::Values(
        // low 75, high 125, scale 5.1: 100 -> 127.5 -> 127; 124 -> 249.9 -> 249.
        LevelWindowCase{"UnsignedChar", Image2D::UNSIGNED_CHAR, 100, 50, {0, 74, 75, 100, 124, 125, 126, 255},
                        {0, 0, 0, 127, 249, 255, 255, 255}},
        // low -100 maps to -32768, the level (32767.5 - 32768 = -0.5) truncates toward zero to 0.
        // The float scale 65535 / 200 is a little low: 200 * scale = 65534.996, so the top of
        // the window lands one below the maximum, and only values above it reach 32767.
        LevelWindowCase{"Short", Image2D::SHORT, 0, 200, {-32768, -101, -100, 0, 100, 101, 32767},
                        {-32768, -32768, -32768, 0, 32766, 32767, 32767}},
        LevelWindowCase{"UnsignedShort", Image2D::UNSIGNED_SHORT, 1000, 200, {0, 900, 1000, 1100, 1101, 65535},
                        {0, 0, 32767, 65534, 65535, 65535}},
        // With a window of 256 the scale is exact and the top maps to the maximum.
        LevelWindowCase{"UnsignedShortExactScale", Image2D::UNSIGNED_SHORT, 128, 256, {0, 1, 128, 256},
                        {0, 255, 32767, 65535}},
        // (v - low) / window clamped to 0..1.
        LevelWindowCase{"Float", Image2D::FLOAT, 0.5, 1, {-0.5, 0, 0.25, 1, 1.5}, {0, 0, 0.25, 1, 1}},
        LevelWindowCase{"FloatWideWindow", Image2D::FLOAT, 2, 4, {1, -7, 3}, {0.25, 0, 0.75}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(LevelWindow, IntegerTypesFollowTheFloatFormulaOnRandomImages)
{
    struct Setting
    {
        double level, window;
    };
    const Setting settings[] = {{100, 50}, {2000, 3000}, {-500, 7}, {30000, 1e5}, {12.25, 0.5}};
    for (Image2D::DataType type : {Image2D::UNSIGNED_SHORT, Image2D::SHORT, Image2D::UNSIGNED_CHAR})
    {
        const double lo = type == Image2D::SHORT ? -32768 : 0;
        const double hi = type == Image2D::UNSIGNED_CHAR ? 255 : (type == Image2D::SHORT ? 32767 : 65535);
        const Image2D image = randomImage(61, 37, type, 11u + type, lo, hi);
        for (const Setting& s : settings)
        {
            const float level = static_cast<float>(s.level), window = static_cast<float>(s.window);
            const float low = level - window / 2, high = level + window / 2;
            const float span = static_cast<float>(hi - lo);
            std::vector<double> expected;
            for (double v : pixels(image))
            {
                const float mapped = std::clamp((static_cast<float>(v) - low) * (span / (high - low)), 0.0f, span);
                expected.push_back(std::trunc(mapped + static_cast<float>(lo)));
            }
            const auto output = LevelWindow::executeLevelWindow(&image, s.level, s.window, std::atomic<bool>{false});
            ASSERT_TRUE(output);
            EXPECT_TRUE(imagesEqual(makeImage(61, 37, type, expected), *output))
                << "type " << type << " level " << s.level << " window " << s.window;
            Image2D inPlace(image);
            ASSERT_TRUE(levelWindowInPlace(inPlace, s.level, s.window));
            EXPECT_TRUE(imagesEqual(*output, inPlace)) << "in place, type " << type << " level " << s.level;
        }
    }
}

TEST(LevelWindow, StaticFunctions)
{
    testing_support::WarningCapture warnings;
    const std::atomic<bool> cancel{false};
    EXPECT_FALSE(LevelWindow::executeLevelWindow(static_cast<const Image2D*>(nullptr), 100, 50, cancel));
    EXPECT_TRUE(warnings.messages().isEmpty()) << "a null image is not run";
    EXPECT_FALSE(LevelWindow::executeLevelWindow(shared(1, 1, Image2D::UNSIGNED_CHAR, {75}), 100, 0, cancel));
}

TEST(LevelWindow, DegenerateWindowsStayInRange)
{
    // A window too small for float and an infinite one give NaN intermediates, which
    // must end as a value of the type, not as an undefined conversion.
    // Wide enough for the sixteen-pixel vector loop as well as its scalar tail.
    std::vector<double> values;
    for (int i = 0; i < 19; ++i)
        values.push_back(i % 2 ? -5 * i : 7 * i);
    const auto input = std::make_shared<Image2D>(makeImage(19, 1, Image2D::SHORT, values));
    const std::atomic<bool> cancel{false};
    for (double window : {1e-60, std::numeric_limits<double>::infinity()})
    {
        const auto output = LevelWindow::executeLevelWindow(input, 0, window, cancel);
        ASSERT_TRUE(output) << window;
        for (double v : pixels(*output))
            EXPECT_TRUE(v >= -32768 && v <= 32767) << window;
    }
}

// ---- GammaCorrection ------------------------------------------------------------------

namespace {

pointops_test::RunResult runGamma(const std::shared_ptr<Image2D>& input, QVariant gamma)
{
    GammaCorrection algorithm;
    return runOnCopyChecked(algorithm, input, [&] { algorithm.setUniformValue(GammaCorrection::GAMMA_VALUE, gamma); });
}

/// Expected table entry: truncate(pow(i / span, 1 / gamma) * span + min(T)), in float.
double gammaReference(double value, Image2D::DataType type, float gamma)
{
    const float exponent = 1.0f / gamma;
    const float offset = type == Image2D::SHORT ? 32768.0f : 0.0f;
    const float span = type == Image2D::UNSIGNED_CHAR ? 255.0f : 65535.0f;
    const float index = static_cast<float>(value) + offset;
    return std::trunc(std::pow(index / span, exponent) * span - offset);
}

} // namespace

TEST(GammaCorrection, HandComputedValues)
{
    // sqrt(64 / 255) * 255 = 127.75 -> 127; the pixel size becomes (1, 1, 1).
    const auto input = shared(3, 1, Image2D::UNSIGNED_CHAR, {0, 64, 255});
    input->setPixelSize(QVector3D(0.05f, 0.05f, 2.0f));
    auto result = runGamma(input, 2.0);
    ASSERT_TRUE(result.ok);
    EXPECT_TRUE(imagesEqual(makeImage(3, 1, Image2D::UNSIGNED_CHAR, {0, 127, 255}), *result.output));
    EXPECT_EQ(result.output->getPixelSize(), QVector3D(1, 1, 1));

    result = runGamma(shared(2, 1, Image2D::SHORT, {-32768, 32767}), 0.4);
    ASSERT_TRUE(result.ok);
    EXPECT_TRUE(imagesEqual(makeImage(2, 1, Image2D::SHORT, {-32768, 32767}), *result.output));

    // Gamma 2 on FLOAT is a square root after clamping to 0..1.
    result = runGamma(shared(4, 1, Image2D::FLOAT, {0.25, 4, -1, 0.0625}), 2.0f);
    ASSERT_TRUE(result.ok);
    EXPECT_TRUE(imagesEqual(makeImage(4, 1, Image2D::FLOAT, {0.5, 1, 0, 0.25}), *result.output));
}

TEST(GammaCorrection, IntegerTablesCoverEveryValue)
{
    for (Image2D::DataType type : {Image2D::UNSIGNED_CHAR, Image2D::UNSIGNED_SHORT, Image2D::SHORT})
        for (float gamma : {0.45f, 1.0f, 2.2f})
        {
            const auto input = std::make_shared<Image2D>(everyValue(type));
            const auto result = runGamma(input, gamma);
            ASSERT_TRUE(result.ok);
            std::vector<double> expected;
            for (double v : pixels(*input))
                expected.push_back(gammaReference(v, type, gamma));
            EXPECT_TRUE(imagesEqual(makeImage(input->getWidth(), input->getHeight(), type, expected), *result.output))
                << "type " << type << " gamma " << gamma;
            // A power curve never decreases.
            const std::vector<double> mapped = pixels(*result.output);
            EXPECT_TRUE(std::is_sorted(mapped.begin(), mapped.end())) << "type " << type << " gamma " << gamma;
        }
}

// Tables are kept per gamma and shared between threads: more gammas than are kept, run
// from two threads at once, must each give their own table's values.
TEST(GammaCorrection, KeptTablesServeTheirOwnGammaOnEveryThread)
{
    const auto input = std::make_shared<Image2D>(everyValue(Image2D::UNSIGNED_SHORT));
    const std::vector<float> gammas{0.5f, 0.8f, 1.3f, 1.7f, 2.2f, 3.0f};
    std::atomic<int> wrong{0};
    tbb::parallel_for(0, 4 * static_cast<int>(gammas.size()), [&](int i) {
        const float gamma = gammas[static_cast<std::size_t>(i) % gammas.size()];
        const auto result = image2d::gammaCorrection(*input, gamma);
        for (int v : {0, 1, 1000, 40000, 65535})
            if (!result || result->getConstData<std::uint16_t>()[v] != gammaReference(v, Image2D::UNSIGNED_SHORT, gamma))
                ++wrong;
    });
    EXPECT_EQ(wrong.load(), 0);
}

TEST(GammaCorrection, SmallestAcceptedGammaStillMapsIntoRange)
{
    const float smallest = std::bit_cast<float>(std::uint32_t{0x00200000u});
    // 1 / gamma overflows to infinity: everything below the maximum becomes 0.
    const auto result = runGamma(shared(3, 1, Image2D::UNSIGNED_CHAR, {0, 254, 255}), smallest);
    ASSERT_TRUE(result.ok);
    EXPECT_TRUE(imagesEqual(makeImage(3, 1, Image2D::UNSIGNED_CHAR, {0, 0, 255}), *result.output));
    // The float just below is out of range.
    EXPECT_EQ(runGamma(result.output, std::bit_cast<float>(std::uint32_t{0x001FFFFFu})).warnings,
              QStringList{"image2d::GammaCorrection : value out of range:  \"GammaValue\""});
}

// ---- Invert -----------------------------------------------------------------------------

struct InvertCase
{
    const char* name;
    friend void PrintTo(const InvertCase& c, std::ostream* os) { *os << c.name; }
    Image2D::DataType type;
    bool preserveRange;
    std::vector<double> input;
    std::vector<double> expected;
};

using InvertValues = ::testing::TestWithParam<InvertCase>;

TEST_P(InvertValues, InvertsEachPixel)
{
    const InvertCase& c = GetParam();
    const auto input = row(c.type, c.input);
    Invert algorithm;
    const auto result =
        runOnCopyChecked(algorithm, input, [&] { algorithm.setUniformValue(Invert::PRESERVE_RANGE, c.preserveRange); });
    ASSERT_TRUE(result.ok);
    ASSERT_TRUE(result.output);
    EXPECT_TRUE(imagesEqual(*row(c.type, c.expected), *result.output));
}

INSTANTIATE_TEST_SUITE_P(
    PixelTypes, InvertValues,
    ::testing::Values(
        // Without preserve range: the bitwise complement.
        InvertCase{"UnsignedShortComplement", Image2D::UNSIGNED_SHORT, false, {0, 1, 40000, 65535}, {65535, 65534, 25535, 0}},
        InvertCase{"ShortComplement", Image2D::SHORT, false, {0, -1, 100, -32768, 32767}, {-1, 0, -101, 32767, -32768}},
        InvertCase{"UnsignedCharComplement", Image2D::UNSIGNED_CHAR, false, {0, 200, 255}, {255, 55, 0}},
        InvertCase{"IntComplement", Image2D::INT, false, {5, 0, -2147483648.0}, {-6, -1, 2147483647}},
        InvertCase{"FloatComplement", Image2D::FLOAT, false, {-1, 0.25, 3, 1}, {1, 0.75, 0, 0}},
        InvertCase{"BinaryComplement", Image2D::BINARY, false, {0, 1, 1, 0}, {1, 0, 0, 1}},
        // With preserve range: (lo + hi) - v with the type's bounds (pixel min/max for FLOAT).
        InvertCase{"UnsignedShortRange", Image2D::UNSIGNED_SHORT, true, {0, 1, 65535}, {65535, 65534, 0}},
        InvertCase{"ShortRange", Image2D::SHORT, true, {-32768, 0, 32767}, {32767, -1, -32768}},
        InvertCase{"UnsignedCharRange", Image2D::UNSIGNED_CHAR, true, {0, 200}, {255, 55}},
        // lo + hi is 0 in float; the minimum reflects to the maximum.
        InvertCase{"IntRange", Image2D::INT, true, {-2147483648.0, 0, 100, -7}, {2147483647, 0, -100, 7}},
        InvertCase{"FloatRange", Image2D::FLOAT, true, {-2, 6, 1}, {6, -2, 3}},
        InvertCase{"BinaryRange", Image2D::BINARY, true, {0, 1}, {1, 0}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Invert, PreserveRangeMustBeABool)
{
    // An integer 1 is not a bool, so the complement is used.
    Invert algorithm;
    const auto result = runOnCopyChecked(algorithm, shared(1, 1, Image2D::SHORT, {0}),
                                         [&] { algorithm.setUniformValue(Invert::PRESERVE_RANGE, 1); });
    ASSERT_TRUE(result.ok);
    EXPECT_TRUE(imagesEqual(makeImage(1, 1, Image2D::SHORT, {-1}), *result.output));
}

// ---- ScaleColorValue ----------------------------------------------------------------------

struct ScaleCase
{
    const char* name;
    friend void PrintTo(const ScaleCase& c, std::ostream* os) { *os << c.name; }
    Image2D::DataType type;
    double scalar;
    std::vector<double> input;
    std::vector<double> expected;
};

using ScaleValues = ::testing::TestWithParam<ScaleCase>;

TEST_P(ScaleValues, ScalesClampsAndTruncates)
{
    const ScaleCase& c = GetParam();
    const auto input = row(c.type, c.input);
    ScaleColorValue algorithm;
    const auto result =
        runOnCopyChecked(algorithm, input, [&] { algorithm.setUniformValue(ScaleColorValue::SCALAR, c.scalar); });
    ASSERT_TRUE(result.ok);
    ASSERT_TRUE(result.output);
    EXPECT_TRUE(imagesEqual(*row(c.type, c.expected), *result.output));
}

INSTANTIATE_TEST_SUITE_P(
    PixelTypes, ScaleValues,
    ::testing::Values(
        ScaleCase{"UnsignedChar", Image2D::UNSIGNED_CHAR, 1.5, {50, 3, 100, 200}, {75, 4, 150, 255}},
        ScaleCase{"UnsignedCharTruncates", Image2D::UNSIGNED_CHAR, 0.9, {3, 255}, {2, 229}},
        ScaleCase{"UnsignedShort", Image2D::UNSIGNED_SHORT, 2, {40000, 32767, 1}, {65535, 65534, 2}},
        ScaleCase{"UnsignedShortNegativeScalar", Image2D::UNSIGNED_SHORT, -1, {40000, 0}, {0, 0}},
        ScaleCase{"Short", Image2D::SHORT, 2, {-20000, 20000, -3}, {-32768, 32767, -6}},
        ScaleCase{"ShortTruncatesTowardZero", Image2D::SHORT, 0.5, {-3, 3}, {-1, 1}},
        ScaleCase{"Int", Image2D::INT, 2, {2e9, -2e9, 1000}, {2147483647, -2147483648.0, 2000}},
        ScaleCase{"IntNegativeScalar", Image2D::INT, -1, {-2147483648.0, 5}, {2147483647, -5}},
        // BINARY keeps the 8-bit bounds, so it leaves 0..1.
        ScaleCase{"Binary", Image2D::BINARY, 7, {0, 1}, {0, 7}},
        ScaleCase{"BinaryLargeScalar", Image2D::BINARY, 1000, {1}, {255}},
        ScaleCase{"Float", Image2D::FLOAT, 2.5, {1, -2, 0.5}, {2.5, -5, 1.25}},
        ScaleCase{"FloatSaturates", Image2D::FLOAT, 10, {1e38, -1e38}, {kFloatMax, -kFloatMax}},
        // A NaN product gives the lower bound.
        ScaleCase{"NaNScalarUnsignedChar", Image2D::UNSIGNED_CHAR, kNaN, {10}, {0}},
        ScaleCase{"NaNScalarShort", Image2D::SHORT, kNaN, {10}, {-32768}},
        ScaleCase{"NaNScalarInt", Image2D::INT, kNaN, {10}, {-2147483648.0}},
        ScaleCase{"NaNScalarFloat", Image2D::FLOAT, kNaN, {10}, {-kFloatMax}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ScaleColorValue, StaticFunctionsWorkOnACopy)
{
    const auto input = shared(2, 1, Image2D::UNSIGNED_SHORT, {40000, 7});
    const auto output = ScaleColorValue::executeScaleColorValue(input, 2.0f);
    ASSERT_TRUE(output);
    EXPECT_NE(output, input);
    EXPECT_TRUE(imagesEqual(makeImage(2, 1, Image2D::UNSIGNED_SHORT, {65535, 14}), *output));
}

// ---- BitShift ---------------------------------------------------------------------------

namespace {

pointops_test::RunResult runBitShift(const std::shared_ptr<Image2D>& input, QVariant bits)
{
    BitShift algorithm;
    algorithm.setSharedInput(BitShift::INPUT_IMAGE, input);
    if (bits.isValid())
        algorithm.setUniformValue(BitShift::BITS_TO_SHIFT, bits);
    return run(algorithm);
}

} // namespace

TEST(BitShift, EveryShiftOfEveryValue)
{
    for (Image2D::DataType type : {Image2D::UNSIGNED_CHAR, Image2D::UNSIGNED_SHORT})
    {
        const unsigned int width = type == Image2D::UNSIGNED_CHAR ? 8 : 16;
        const auto input = std::make_shared<Image2D>(everyValue(type));
        const Image2D before = *input;
        for (unsigned int n = 1; n < width; ++n)
        {
            const auto result = runBitShift(input, n);
            ASSERT_TRUE(result.ok) << n;
            ASSERT_NE(result.output, input);
            std::vector<double> expected;
            for (double v : pixels(*input))
                expected.push_back(static_cast<double>((static_cast<std::uint32_t>(v) << n) & ((1u << width) - 1u)));
            EXPECT_TRUE(imagesEqual(makeImage(input->getWidth(), input->getHeight(), type, expected), *result.output))
                << "type " << type << " shift " << n;
        }
        EXPECT_TRUE(imagesEqual(before, *input));
    }
}

TEST(BitShift, ShiftOfZeroPublishesTheInputObject)
{
    const auto input = shared(2, 1, Image2D::UNSIGNED_SHORT, {1, 2});
    const auto result = runBitShift(input, 0u);
    ASSERT_TRUE(result.ok);
    EXPECT_EQ(result.output, input);

    const Image2D image = makeImage(2, 1, Image2D::UNSIGNED_CHAR, {3, 4});
    const auto viaStatic = BitShift::executeBitShift(image, 0);
    ASSERT_TRUE(viaStatic);
    EXPECT_TRUE(imagesEqual(image, *viaStatic));
}
