#include "image2d/pointops/IntensityMapping.h"

#include "image2d/framework/Log.h"
#include "image2d/framework/Simd.h"

#include <QVariant>

#if IMAGE2D_HAS_WIDE_TARGET
#include <immintrin.h>
#endif

#include <array>
#include <bit>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <mutex>
#include <type_traits>
#include <vector>

namespace image2d {

using store::clampNanToLow;
using store::saturateTruncate;

const QString LevelWindow::LEVEL = QStringLiteral("levelImage");
const QString LevelWindow::WINDOW = QStringLiteral("windowImage");
const QString LevelWindow::FILTER_ID = QStringLiteral("LevelWindow");

const QString GammaCorrection::GAMMA_VALUE = QStringLiteral("GammaValue");
const QString GammaCorrection::FILTER_ID = QStringLiteral("Gamma");

const QString Invert::PRESERVE_RANGE = QStringLiteral("PreserveRange");
const QString Invert::FILTER_ID = QStringLiteral("Invert");

const QString ScaleColorValue::SCALAR = QStringLiteral("scalar");

const QString BitShift::BITS_TO_SHIFT = QStringLiteral("bitsToShift");

namespace {

constexpr const char* kLevelWindow = "image2d::LevelWindow";
constexpr const char* kGamma = "image2d::GammaCorrection";
constexpr const char* kInvert = "image2d::Invert";
constexpr const char* kScale = "image2d::ScaleColorValue";
constexpr const char* kBitShift = "image2d::BitShift";

// ---- LevelWindow ----------------------------------------------------------------------

// Both loops are plain element-wise float arithmetic that the compiler turns into 8-wide
// vector code in the AVX2 variant; the operations per pixel are the same in either variant.
template <typename T>
IMAGE2D_INLINE_LOOP void levelWindowInteger(const T* in, T* out, std::size_t n, float low, float scale)
{
    constexpr float minT = static_cast<float>(std::numeric_limits<T>::min());
    constexpr float span = static_cast<float>(std::numeric_limits<T>::max()) - minT;
    for (std::size_t i = 0; i < n; ++i)
    {
        // clampNanToLow(x, 0, span) in two steps that map onto vector max and min: NaN
        // (from an infinite or degenerate window) goes to 0, so the conversion below
        // always sees a value inside T's range (also through 32 bits).
        float mapped = (static_cast<float>(in[i]) - low) * scale;
        mapped = mapped > 0.0f ? mapped : 0.0f;
        mapped = mapped < span ? mapped : span;
        out[i] = static_cast<T>(static_cast<std::int32_t>(mapped + minT));
    }
}

#if IMAGE2D_HAS_WIDE_TARGET
/// levelWindowInteger() for 16-bit pixels, sixteen at a time. max_ps(m, 0) and min_ps(m, span)
/// are exactly "m > 0 ? m : 0" and "m < span ? m : span" (NaN gives 0), and the saturating
/// pack equals the truncation of a value already inside T's range.
template <typename T>
IMAGE2D_WIDE_TARGET void levelWindow16Wide(const T* in, T* out, std::size_t n, float low, float scale)
{
    static_assert(sizeof(T) == 2);
    constexpr bool isSigned = std::is_signed_v<T>;
    constexpr float minT = static_cast<float>(std::numeric_limits<T>::min());
    constexpr float span = static_cast<float>(std::numeric_limits<T>::max()) - minT;
    const __m256 vlow = _mm256_set1_ps(low), vscale = _mm256_set1_ps(scale), zero = _mm256_setzero_ps();
    const __m256 vspan = _mm256_set1_ps(span), vmin = _mm256_set1_ps(minT);
    const auto map = [&](__m128i half) IMAGE2D_INLINE_LAMBDA IMAGE2D_WIDE_TARGET {
        const __m256i wide = isSigned ? _mm256_cvtepi16_epi32(half) : _mm256_cvtepu16_epi32(half);
        __m256 m = _mm256_mul_ps(_mm256_sub_ps(_mm256_cvtepi32_ps(wide), vlow), vscale);
        m = _mm256_min_ps(_mm256_max_ps(m, zero), vspan);
        if constexpr (isSigned)
            m = _mm256_add_ps(m, vmin);
        return _mm256_cvttps_epi32(m);
    };
    std::size_t i = 0;
    for (; i + 16 <= n; i += 16)
    {
        const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(in + i));
        const __m256i a = map(_mm256_castsi256_si128(v)), b = map(_mm256_extracti128_si256(v, 1));
        const __m256i packed = isSigned ? _mm256_packs_epi32(a, b) : _mm256_packus_epi32(a, b);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + i), _mm256_permute4x64_epi64(packed, 0xd8));
    }
    levelWindowInteger(in + i, out + i, n - i, low, scale);
}
#endif

IMAGE2D_INLINE_LOOP void levelWindowFloat(const float* in, float* out, std::size_t n, float low, float window)
{
    // One pass doing the subtract, divide, raise-to-0 and lower-to-1 steps in that order;
    // each step is element-wise, so the result equals four separate passes.
    for (std::size_t i = 0; i < n; ++i)
    {
        float v = (in[i] - low) / window;
        v = v < 0.0f ? 0.0f : v;
        v = v > 1.0f ? 1.0f : v;
        out[i] = v;
    }
}

// ---- GammaCorrection ------------------------------------------------------------------

/// The smallest accepted gamma: the float with bit pattern 0x00200000 (about 2.938736e-39).
constexpr float kMinGamma = std::bit_cast<float>(std::uint32_t{0x00200000u});

/// Gamma table of an integer type: entry i maps the stored value i - offset.
/// Built in float, entry i = truncate(pow(i / span, e) * span - offset).
template <typename T>
std::shared_ptr<const std::vector<T>> buildGammaTable(float exponent)
{
    constexpr int offset = -static_cast<int>(std::numeric_limits<T>::min());
    constexpr int entries = static_cast<int>(std::numeric_limits<T>::max()) + offset + 1;
    auto table = std::make_shared<std::vector<T>>(static_cast<std::size_t>(entries));
    // Built in the AVX2 variant where there is one: the SSE code of the baseline would
    // pay an SSE/AVX transition on every call into the AVX build of pow.
    simd::runVectorized(
        [](T* t, float e) IMAGE2D_INLINE_LAMBDA {
            constexpr float span = static_cast<float>(entries - 1);
            for (int i = 0; i < entries; ++i)
                t[i] = saturateTruncate<T>(std::pow(static_cast<float>(i) / span, e) * span - static_cast<float>(offset));
        },
        table->data(), exponent);
    return table;
}

/// The table of one exponent, built on first use and kept: a display road applies the same
/// gamma over and over. A few recent exponents are kept per type; callers on several
/// threads share them (the tables are never changed once built).
template <typename T>
std::shared_ptr<const std::vector<T>> gammaTable(float exponent)
{
    struct Entry
    {
        std::uint32_t key = 0;
        std::shared_ptr<const std::vector<T>> table;
    };
    static std::mutex mutex;
    static std::array<Entry, 4> entries;
    static std::size_t next = 0;
    const std::uint32_t key = std::bit_cast<std::uint32_t>(exponent);
    {
        std::lock_guard<std::mutex> lock(mutex);
        for (const Entry& entry : entries)
            if (entry.table && entry.key == key)
                return entry.table;
    }
    auto table = buildGammaTable<T>(exponent); // outside the lock: a table takes a while
    std::lock_guard<std::mutex> lock(mutex);
    entries[next] = Entry{key, table};
    next = (next + 1) % entries.size();
    return table;
}

template <typename T>
void applyTable(const T* in, T* out, std::size_t n, const std::vector<T>& table)
{
    constexpr int offset = -static_cast<int>(std::numeric_limits<T>::min());
    const T* lookup = table.data() + offset;
    for (std::size_t i = 0; i < n; ++i)
        out[i] = lookup[in[i]];
}

// ---- Invert -----------------------------------------------------------------------------

template <Image2D::DataType Code, typename T>
void invertPixels(T* pixels, std::size_t n, bool preserveRange, float boundsSum)
{
    if constexpr (Code == Image2D::BINARY)
    {
        for (std::size_t i = 0; i < n; ++i)
            pixels[i] = pixels[i] == 0 ? T(1) : T(0);
    }
    else if constexpr (std::is_floating_point_v<T>)
    {
        if (preserveRange)
            for (std::size_t i = 0; i < n; ++i)
                pixels[i] = boundsSum - pixels[i];
        else
            for (std::size_t i = 0; i < n; ++i)
            {
                const float v = pixels[i];
                pixels[i] = 1.0f - (v < 0.0f ? 0.0f : (v > 1.0f ? 1.0f : v));
            }
    }
    else
    {
        if (preserveRange)
            for (std::size_t i = 0; i < n; ++i)
                pixels[i] = saturateTruncate<T>(boundsSum - static_cast<float>(pixels[i]));
        else
            for (std::size_t i = 0; i < n; ++i)
                pixels[i] = static_cast<T>(~pixels[i]);
    }
}

// ---- ScaleColorValue ----------------------------------------------------------------------

template <Image2D::DataType Code, typename T>
void scalePixels(const T* in, T* out, std::size_t n, float scalar)
{
    if constexpr (std::is_floating_point_v<T>)
    {
        constexpr float limit = std::numeric_limits<float>::max();
        for (std::size_t i = 0; i < n; ++i)
            out[i] = clampNanToLow(in[i] * scalar, -limit, limit);
    }
    else
    {
        // BINARY shares UNSIGNED_CHAR's storage and bounds, so it may leave 0..1.
        constexpr float lower = static_cast<float>(std::numeric_limits<T>::min());
        constexpr float upper = static_cast<float>(std::numeric_limits<T>::max());
        for (std::size_t i = 0; i < n; ++i)
            out[i] = saturateTruncate<T>(clampNanToLow(static_cast<float>(in[i]) * scalar, lower, upper));
    }
}

} // namespace

namespace {

void warnWindowNotPositive(const char* owner, const QString& key)
{
    warnInvalidKey(owner, key);
    warning("Window value cannot be equal or smaller than 0");
}

void warnScalar(const char*, const QString& key)
{
    warning("image2D::ScaleColorValue : invalid input ", key);
}

void warnIncorrectShift(unsigned int bits)
{
    warning("image2d::BitShift : ", BitShift::BITS_TO_SHIFT, " param contains incorrect value ", bits);
}

} // namespace

// ---- Core functions -------------------------------------------------------------------

namespace {

/// The float bounds of level/window: the lower end and the integer types' scale.
struct LevelWindowMap
{
    float low;
    float window;
    float high;
    template <typename T>
    float scale() const
    {
        constexpr float span =
            static_cast<float>(std::numeric_limits<T>::max()) - static_cast<float>(std::numeric_limits<T>::min());
        return span / (high - low);
    }
};

/// The checks shared by both forms of level/window, with their warnings.
bool levelWindowAccepts(const Image2D& image, double level, double window)
{
    if (!image.isValid())
        return warnInvalidKey(kLevelWindow, Algorithm::INPUT_IMAGE), false;
    // NaN would turn every pixel into NaN before the conversion to the pixel type.
    return LevelWindow::LEVEL_PARAMETER.accepts(level, kLevelWindow) &&
           LevelWindow::WINDOW_PARAMETER.accepts(window, kLevelWindow);
}

LevelWindowMap levelWindowMap(double level, double window)
{
    const float levelValue = static_cast<float>(level);
    const float windowValue = static_cast<float>(window);
    return {levelValue - windowValue / 2.0f, windowValue, levelValue + windowValue / 2.0f};
}

/// Level/window of n pixels from `in` to `out`, which may be `in` itself: that case has a
/// loop of its own, where the compiler sees one pointer and needs no overlap test.
template <typename T>
void levelWindowPixels(const T* in, T* out, std::size_t n, const LevelWindowMap& map)
{
    if constexpr (std::is_floating_point_v<T>)
    {
        if (in == out)
            simd::runVectorized([](float* p, std::size_t count, float lo, float w)
                                    IMAGE2D_INLINE_LAMBDA { levelWindowFloat(p, p, count, lo, w); },
                                out, n, map.low, map.window);
        else
            simd::runVectorized([](const float* i, float* o, std::size_t count, float lo, float w)
                                    IMAGE2D_INLINE_LAMBDA { levelWindowFloat(i, o, count, lo, w); },
                                in, out, n, map.low, map.window);
    }
#if IMAGE2D_HAS_WIDE_TARGET
    else if constexpr (sizeof(T) == 2)
        simd::runEither(
            [](const T* i, T* o, std::size_t count, float lo, float scale)
                IMAGE2D_WIDE_TARGET { levelWindow16Wide(i, o, count, lo, scale); },
            [](const T* i, T* o, std::size_t count, float lo, float scale) { levelWindowInteger(i, o, count, lo, scale); },
            in, out, n, map.low, map.template scale<T>());
#endif
    else
    {
        if (in == out)
            simd::runVectorized([](T* p, std::size_t count, float lo, float scale)
                                    IMAGE2D_INLINE_LAMBDA { levelWindowInteger(p, p, count, lo, scale); },
                                out, n, map.low, map.template scale<T>());
        else
            simd::runVectorized([](const T* i, T* o, std::size_t count, float lo, float scale)
                                    IMAGE2D_INLINE_LAMBDA { levelWindowInteger(i, o, count, lo, scale); },
                                in, out, n, map.low, map.template scale<T>());
    }
}

constexpr const char* kLevelWindowUnsupported = "image2d::LevelWindow : level window algorithm not supported for data type: ";

} // namespace

std::shared_ptr<Image2D> levelWindow(const Image2D& image, double level, double window)
{
    if (!levelWindowAccepts(image, level, window))
        return nullptr;
    const LevelWindowMap map = levelWindowMap(level, window);
    return dispatchDataType(LevelWindowTypes{}, image.getDataType(), kLevelWindowUnsupported,
                            [&](auto tag) -> std::shared_ptr<Image2D> {
                                using T = typename decltype(tag)::type;
                                auto output = newUnfilledImageLike(image);
                                if (!output)
                                    return nullptr;
                                levelWindowPixels(image.getConstData<T>(), output->getData<T>(),
                                                  image.getNumPixels(), map);
                                return output;
                            });
}

bool levelWindowInPlace(Image2D& image, double level, double window)
{
    if (!levelWindowAccepts(image, level, window))
        return false;
    const LevelWindowMap map = levelWindowMap(level, window);
    return dispatchDataType(LevelWindowTypes{}, image.getDataType(), kLevelWindowUnsupported, [&](auto tag) {
        using T = typename decltype(tag)::type;
        T* pixels = image.getData<T>();
        levelWindowPixels(pixels, pixels, image.getNumPixels(), map);
        return true;
    });
}

std::shared_ptr<Image2D> gammaCorrection(const Image2D& image, float gamma)
{
    if (!image.isValid())
        return warnInvalidKey(kGamma, Algorithm::INPUT_IMAGE), nullptr;
    // Zero, negatives and NaN all fail this test.
    if (!GammaCorrection::GAMMA_PARAMETER.accepts(gamma, kGamma))
        return nullptr;
    const float exponent = 1.0f / gamma;
    return dispatchDataType(
        LevelWindowTypes{}, image.getDataType(), "image2d::GammaCorrection : gamma algorithm not supported for data type: ",
        [&](auto tag) -> std::shared_ptr<Image2D> {
            using T = typename decltype(tag)::type;
            auto output = newUnfilledImageLike(image, image.getDataType(), QVector3D(1, 1, 1));
            if (!output)
                return nullptr;
            const T* in = image.getConstData<T>();
            T* out = output->getData<T>();
            const std::size_t n = image.getNumPixels();
            if constexpr (std::is_floating_point_v<T>)
            {
                // One pow per pixel; in the AVX2 variant for the reason given at the tables.
                simd::runVectorized(
                    [](const float* i, float* o, std::size_t count, float e) IMAGE2D_INLINE_LAMBDA {
                        for (std::size_t k = 0; k < count; ++k)
                        {
                            const float v = i[k];
                            o[k] = std::pow(v < 0.0f ? 0.0f : (v > 1.0f ? 1.0f : v), e);
                        }
                    },
                    in, out, n, exponent);
            }
            else
                applyTable(in, out, n, *gammaTable<T>(exponent));
            return output;
        });
}

std::shared_ptr<Image2D> invert(const Image2D& image, bool preserveRange)
{
    if (!image.isValid())
        return warnInvalidKey(kInvert, Algorithm::INPUT_IMAGE), nullptr;
    return dispatchDataType(AllPixelTypes{}, image.getDataType(),
                            "image2d::Invert : invert algorithm not supported for data type: ",
                            [&](auto tag) -> std::shared_ptr<Image2D> {
                                using T = typename decltype(tag)::type;
                                auto output = std::make_shared<Image2D>(image);
                                if (!output->isValid())
                                    return nullptr;
                                // Only read when preserving the range: for FLOAT it scans the pixels.
                                const float boundsSum =
                                    preserveRange ? image.getMinFloatValue() + image.getMaxFloatValue() : 0.0f;
                                invertPixels<decltype(tag)::code>(output->getData<T>(), output->getNumPixels(),
                                                                  preserveRange, boundsSum);
                                return output;
                            });
}

std::shared_ptr<Image2D> scaleColorValue(const Image2D& image, float scalar)
{
    if (!image.isValid())
        return warnInvalidKey(kScale, Algorithm::INPUT_IMAGE), nullptr;
    return dispatchDataType(AllPixelTypes{}, image.getDataType(),
                            "image2d::ScaleColorValue : ScaleColorValue algorithm not supported for data type: ",
                            [&](auto tag) -> std::shared_ptr<Image2D> {
                                using T = typename decltype(tag)::type;
                                auto output = newUnfilledImageLike(image);
                                if (!output)
                                    return nullptr;
                                scalePixels<decltype(tag)::code>(image.getConstData<T>(), output->getData<T>(),
                                                                 image.getNumPixels(), scalar);
                                return output;
                            });
}

std::shared_ptr<Image2D> bitShift(const Image2D& image, unsigned int bits)
{
    if (!image.isValid())
        return warnInvalidKey(kBitShift, Algorithm::INPUT_IMAGE), nullptr;
    return dispatchDataType(
        BitShiftTypes{}, image.getDataType(), "image2d::BitShift : bit shift algorithm not supported for data type: ",
        [&](auto tag) -> std::shared_ptr<Image2D> {
            using T = typename decltype(tag)::type;
            constexpr unsigned int width = 8u * sizeof(T);
            if (bits >= width)
                return warnIncorrectShift(bits), nullptr;
            auto output = std::make_shared<Image2D>(image);
            if (!output->isValid())
                return nullptr;
            const unsigned int keep = bits == 0 ? ~0u : (1u << (width - bits)) - 1u;
            T* pixels = output->getData<T>();
            const std::size_t n = output->getNumPixels();
            for (std::size_t i = 0; i < n; ++i)
                pixels[i] = static_cast<T>((pixels[i] & keep) << bits);
            return output;
        });
}

std::shared_ptr<Image2D> bitShift(std::shared_ptr<Image2D> image, unsigned int bits)
{
    // Nothing to change: hand the image itself on.
    if (image && (bits == 0 || image->getNumPixels() == 0))
        return image;
    if (!image)
        return warnMissingKey(kBitShift, Algorithm::INPUT_IMAGE), nullptr;
    return bitShift(*image, bits);
}

// ---- LevelWindow ----------------------------------------------------------------------

const Parameter<double> LevelWindow::LEVEL_PARAMETER{&LEVEL, Bounds::any(),
                                                     "level: the centre of the displayed value interval"};
const Parameter<double> LevelWindow::WINDOW_PARAMETER{&WINDOW,
                                                      Bounds::above(0),
                                                      "window: the width of the displayed value interval",
                                                      {warnMissingKey, warnInvalidKey, warnWindowNotPositive}};

const ParameterList& LevelWindow::parameters()
{
    static const ParameterList list{&LEVEL_PARAMETER, &WINDOW_PARAMETER};
    return list;
}

bool LevelWindow::isInputValid() const
{
    return requireInputImage(kLevelWindow, INPUT_IMAGE) && LEVEL_PARAMETER.validate(*this, kLevelWindow) &&
           WINDOW_PARAMETER.validate(*this, kLevelWindow);
}

bool LevelWindow::process(const std::atomic<bool>& /*cancel*/)
{
    const std::shared_ptr<Image2D> input = getSharedInput(INPUT_IMAGE);
    return publish(OUTPUT_IMAGE, levelWindow(*input, LEVEL_PARAMETER(*this), WINDOW_PARAMETER(*this)), *input,
                   LevelWindowTypes{});
}

std::shared_ptr<Image2D> LevelWindow::executeLevelWindow(std::shared_ptr<Image2D> image, double level, double window,
                                                         const std::atomic<bool>& cancel)
{
    LevelWindow algorithm;
    algorithm.setSharedInput(INPUT_IMAGE, std::move(image));
    algorithm.setUniformValue(LEVEL, level);
    algorithm.setUniformValue(WINDOW, window);
    algorithm.execute(cancel);
    return algorithm.getSharedOutput(OUTPUT_IMAGE);
}

std::shared_ptr<Image2D> LevelWindow::executeLevelWindow(const Image2D* image, double level, double window,
                                                         const std::atomic<bool>& cancel)
{
    if (!image)
        return nullptr;
    return executeLevelWindow(std::make_shared<Image2D>(*image), level, window, cancel);
}

// ---- GammaCorrection ------------------------------------------------------------------

const Parameter<float> GammaCorrection::GAMMA_PARAMETER{
    &GAMMA_VALUE,
    Bounds::atLeast(kMinGamma),
    "gamma g: pixels normalised to 0..1 are raised to 1 / g; at least 2.938736e-39",
    {warnMissingKey, warnInvalidKey, warnOutOfRangeKey}};

const ParameterList& GammaCorrection::parameters()
{
    static const ParameterList list{&GAMMA_PARAMETER};
    return list;
}

bool GammaCorrection::isInputValid() const
{
    return requireInputImage(kGamma, INPUT_IMAGE) && GAMMA_PARAMETER.validate(*this, kGamma);
}

std::shared_ptr<Image2D> GammaCorrection::applyFilter(const Uniforms& parameters, const std::shared_ptr<Image2D>& image,
                                                      const std::atomic<bool>&)
{
    return gammaCorrection(*image, GAMMA_PARAMETER(parameters));
}

bool GammaCorrection::process(const std::atomic<bool>& cancel)
{
    const std::shared_ptr<Image2D> input = getSharedInput(INPUT_IMAGE);
    return publish(OUTPUT_IMAGE, applyFilter(*this, input, cancel), *input, LevelWindowTypes{});
}

// ---- Invert -----------------------------------------------------------------------------

const Parameter<bool> Invert::PRESERVE_RANGE_PARAMETER{
    &PRESERVE_RANGE, false, Lenient{}, "reflect within the image's value bounds instead of complementing the bits"};

const ParameterList& Invert::parameters()
{
    static const ParameterList list{&PRESERVE_RANGE_PARAMETER};
    return list;
}

bool Invert::isInputValid() const
{
    return requireInputImage(kInvert, INPUT_IMAGE);
}

std::shared_ptr<Image2D> Invert::applyFilter(const Uniforms& parameters, const std::shared_ptr<Image2D>& image,
                                             const std::atomic<bool>&)
{
    return invert(*image, PRESERVE_RANGE_PARAMETER(parameters));
}

bool Invert::process(const std::atomic<bool>& cancel)
{
    const std::shared_ptr<Image2D> input = getSharedInput(INPUT_IMAGE);
    return publish(OUTPUT_IMAGE, applyFilter(*this, input, cancel), *input, AllPixelTypes{});
}

std::shared_ptr<Image2D> Invert::executeInvert(const Image2D& image, bool preserveRange)
{
    std::atomic<bool> cancel{false};
    Invert algorithm;
    algorithm.setInput(INPUT_IMAGE, &image);
    algorithm.setUniformValue(PRESERVE_RANGE, preserveRange);
    algorithm.execute(cancel);
    return algorithm.getSharedOutput(OUTPUT_IMAGE);
}

// ---- ScaleColorValue ----------------------------------------------------------------------

const Parameter<float> ScaleColorValue::SCALAR_PARAMETER{&SCALAR,
                                                         Bounds::anyIncludingNaN(),
                                                         "factor every pixel is multiplied by",
                                                         {warnScalar, warnScalar, warnScalar}};

const ParameterList& ScaleColorValue::parameters()
{
    static const ParameterList list{&SCALAR_PARAMETER};
    return list;
}

bool ScaleColorValue::isInputValid() const
{
    return requireInputImage(kScale, INPUT_IMAGE) && SCALAR_PARAMETER.validate(*this, kScale);
}

bool ScaleColorValue::process(const std::atomic<bool>& /*cancel*/)
{
    const std::shared_ptr<Image2D> input = getSharedInput(INPUT_IMAGE);
    return publish(OUTPUT_IMAGE, scaleColorValue(*input, SCALAR_PARAMETER(*this)), *input, AllPixelTypes{});
}

std::shared_ptr<Image2D> ScaleColorValue::executeScaleColorValue(std::shared_ptr<Image2D> image, float scalar)
{
    std::atomic<bool> cancel{false};
    ScaleColorValue algorithm;
    algorithm.setSharedInput(INPUT_IMAGE, std::move(image));
    algorithm.setUniformValue(SCALAR, scalar);
    algorithm.execute(cancel);
    return algorithm.getSharedOutput(OUTPUT_IMAGE);
}

std::shared_ptr<Image2D> ScaleColorValue::executeScaleColorValue(Image2D image, float scalar)
{
    // `image` is already the caller's copy; move it into the shared pointer.
    return executeScaleColorValue(std::make_shared<Image2D>(std::move(image)), scalar);
}

// ---- BitShift ---------------------------------------------------------------------------

const Parameter<unsigned int> BitShift::BITS_PARAMETER{&BITS_TO_SHIFT,
                                                       Bounds::any(),
                                                       "bits to shift left, below the pixel's bit count",
                                                       {warnMissingKey, warnMissingKey, warnMissingKey}};

const ParameterList& BitShift::parameters()
{
    static const ParameterList list{&BITS_PARAMETER};
    return list;
}

bool BitShift::isInputValid() const
{
    if (!requireInputImage(kBitShift, INPUT_IMAGE))
        return false;
    const std::shared_ptr<Image2D> input = getSharedInput(INPUT_IMAGE);
    if (!BitShiftTypes::contains(input->getDataType()))
    {
        warning("image2d::BitShift :", INPUT_IMAGE, " contains image of unsupported type ");
        return fail(FailureReason::UnsupportedType, INPUT_IMAGE);
    }
    if (!BITS_PARAMETER.validate(*this, kBitShift))
        return false;
    const unsigned int bits = BITS_PARAMETER(*this);
    if (bits >= 8u * static_cast<unsigned int>(input->getDataTypeSize()))
    {
        warnIncorrectShift(bits);
        return fail(FailureReason::OutOfRange, BITS_TO_SHIFT);
    }
    return true;
}

bool BitShift::process(const std::atomic<bool>& /*cancel*/)
{
    const std::shared_ptr<Image2D> input = getSharedInput(INPUT_IMAGE);
    return publish(OUTPUT_IMAGE, bitShift(input, BITS_PARAMETER(*this)), *input, BitShiftTypes{});
}

std::shared_ptr<Image2D> BitShift::executeBitShift(const Image2D& image, unsigned int bits)
{
    std::atomic<bool> cancel{false};
    BitShift algorithm;
    algorithm.setInput(INPUT_IMAGE, &image);
    algorithm.setUniformValue(BITS_TO_SHIFT, bits);
    algorithm.execute(cancel);
    return algorithm.getSharedOutput(OUTPUT_IMAGE);
}

} // namespace image2d
