#include "image2d/enhancement/UnsharpMasking.h"

#include "image2d/filtering/LocalStatistics.h"
#include "image2d/framework/Log.h"
#include "image2d/framework/Parallel.h"
#include "image2d/framework/Simd.h"
#include "image2d/toolbox/Image2DOperations.h"

#if IMAGE2D_HAS_WIDE_TARGET
#include <immintrin.h>
#endif

#include <algorithm>
#include <cstdint>
#include <cmath>
#include <cstddef>
#include <type_traits>
#include <vector>

namespace image2d {

const QString Sharpen::FILTER_ID = QStringLiteral("Sharpen");
const QString Sharpen::KERNEL_RADIUS = QStringLiteral("kernelRadiusImage");
const QString Sharpen::SHARPNESS_FACTOR = QStringLiteral("sharpnessFactorImage");

const QString ConstrainedUnsharpMasking::FILTER_ID = QStringLiteral("ConstrainedUnsharpMasking");
const QString& ConstrainedUnsharpMasking::KERNEL_RADIUS = Sharpen::KERNEL_RADIUS;
const QString ConstrainedUnsharpMasking::MIN_MAX_KERNEL_RADIUS = QStringLiteral("minMaxKernelRadiusImage");
const QString& ConstrainedUnsharpMasking::SHARPNESS_FACTOR = Sharpen::SHARPNESS_FACTOR;
const QString ConstrainedUnsharpMasking::INTERPOLATION =
    QStringLiteral("interpolationBetweenConstrainedAndUnconstrainedSharpen");

const QString LocalAlphaConstrainedUnsharpMasking::FILTER_ID = QStringLiteral("LocalAlphaConstrainedUnsharpMasking");
const QString LocalAlphaConstrainedUnsharpMasking::SLOPE = QStringLiteral("Slope");
const QString LocalAlphaConstrainedUnsharpMasking::CENTER = QStringLiteral("Center");

namespace {

constexpr const char* kSharpenOwner = "image2d::Sharpen";
constexpr const char* kConstrainedValidation = "image2d::ConstrainedUnsharpMasking::isInputValid";

/// The per-pixel step shared by both constrained filters: u = alpha * (I - A) + I, pulled
/// toward [MIN, MAX] by t. `alpha(MIN, MAX)` gives the strength at the pixel. Kept out of
/// line (inlined into the typed dispatch, GCC no longer vectorises the loop) and compiled
/// for the wide vectors as well.
template <typename T, typename Alpha>
IMAGE2D_INLINE_LOOP void constrainedLoop(const T* in, const float* mean, const T* minimum, const T* maximum, T* out,
                                         std::ptrdiff_t first, std::ptrdiff_t last, double t, const Alpha& alpha)
{
    for (std::ptrdiff_t i = first; i < last; ++i)
    {
        const double value = in[i];
        const double low = minimum[i];
        const double high = maximum[i];
        const double u = alpha(minimum[i], maximum[i]) * (value - static_cast<double>(mean[i])) + value;
        // MAX when u > MAX, else the larger of MIN and u (a NaN u gives MIN).
        const double k = std::max(low, std::min(u, high));
        out[i] = store::clampRoundHalfAway<T>(t * k + (1.0 - t) * u);
    }
}

#if IMAGE2D_HAS_WIDE_TARGET
/// constrainedLoop() for 16-bit unsigned pixels, four at a time in double lanes. The strength is
/// `strength` or, with a table, table[MAX - MIN]; blocks with a negative contrast (possible only
/// for statistics that are not a window's) go through the plain loop. min_pd(MAX, u) and
/// max_pd(., MIN) are std::min(u, MAX) and std::max(MIN, .) with their NaN cases, and the
/// clamp to 0..65535 before adding 0.5 and truncating is clampRoundHalfAway's.
template <typename Alpha>
IMAGE2D_WIDE_TARGET void constrainedRangeU16Wide(const std::uint16_t* in, const float* mean,
                                                 const std::uint16_t* minimum, const std::uint16_t* maximum,
                                                 std::uint16_t* out, std::ptrdiff_t first, std::ptrdiff_t last,
                                                 double t, double strength, const double* table, const Alpha& alpha)
{
    const __m256d vt = _mm256_set1_pd(t), vu = _mm256_set1_pd(1.0 - t), zero = _mm256_setzero_pd();
    const __m256d span = _mm256_set1_pd(65535.0), half = _mm256_set1_pd(0.5), vstrength = _mm256_set1_pd(strength);
    const auto widen = [](const std::uint16_t* p) IMAGE2D_INLINE_LAMBDA IMAGE2D_WIDE_TARGET {
        return _mm_cvtepu16_epi32(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p)));
    };
    std::ptrdiff_t i = first;
    for (; i + 4 <= last; i += 4)
    {
        const __m128i low32 = widen(minimum + i), high32 = widen(maximum + i);
        __m256d a = vstrength;
        if (table)
        {
            const __m128i contrast = _mm_sub_epi32(high32, low32);
            if (_mm_movemask_ps(_mm_castsi128_ps(contrast)) != 0)
            {
                constrainedLoop(in, mean, minimum, maximum, out, i, i + 4, t, alpha);
                continue;
            }
            // The masked form: the plain one starts from an undefined register, which warns.
            a = _mm256_mask_i32gather_pd(zero, table, contrast, _mm256_castsi256_pd(_mm256_set1_epi64x(-1)), 8);
        }
        const __m256d value = _mm256_cvtepi32_pd(widen(in + i));
        const __m256d low = _mm256_cvtepi32_pd(low32), high = _mm256_cvtepi32_pd(high32);
        const __m256d average = _mm256_cvtps_pd(_mm_loadu_ps(mean + i));
        const __m256d u = _mm256_add_pd(_mm256_mul_pd(a, _mm256_sub_pd(value, average)), value);
        const __m256d k = _mm256_max_pd(_mm256_min_pd(high, u), low);
        const __m256d x = _mm256_add_pd(_mm256_mul_pd(vt, k), _mm256_mul_pd(vu, u));
        const __m256d clamped = _mm256_min_pd(_mm256_max_pd(x, zero), span);
        const __m128i rounded = _mm256_cvttpd_epi32(_mm256_add_pd(clamped, half));
        _mm_storel_epi64(reinterpret_cast<__m128i*>(out + i), _mm_packus_epi32(rounded, rounded));
    }
    constrainedLoop(in, mean, minimum, maximum, out, i, last, t, alpha);
}
#endif

/// The constrained step over [first, last): the strength is `strength`, or table[MAX - MIN] when
/// a table is given (`alpha` gives the same per pixel, for the plain loop).
template <typename T, typename Alpha>
[[gnu::noinline]] void constrainedRange(const T* in, const float* mean, const T* minimum, const T* maximum, T* out,
                                        std::ptrdiff_t first, std::ptrdiff_t last, double t, double strength,
                                        const double* table, Alpha alpha)
{
#if IMAGE2D_HAS_WIDE_TARGET
    if constexpr (std::is_same_v<T, std::uint16_t>)
    {
        simd::runEither(
            [&]() IMAGE2D_WIDE_TARGET {
                constrainedRangeU16Wide(in, mean, minimum, maximum, out, first, last, t, strength, table, alpha);
            },
            [&] { constrainedLoop(in, mean, minimum, maximum, out, first, last, t, alpha); });
        return;
    }
#endif
    (void)strength;
    (void)table;
    simd::runVectorized([&]() IMAGE2D_INLINE_LAMBDA {
        constrainedLoop(in, mean, minimum, maximum, out, first, last, t, alpha);
    });
}

/// The per-pixel step of Sharpen, (I - A) * f + I in float. `out` may be `mean` itself (each
/// pixel reads its own mean only), the case of a mean that is turned into the result.
template <typename T>
IMAGE2D_INLINE_LOOP void sharpenLoop(const T* in, const T* mean, T* out, std::size_t count, float factor)
{
    for (std::size_t i = 0; i < count; ++i)
    {
        const float value = static_cast<float>(in[i]);
        out[i] = store::clampTruncate<T>((value - static_cast<float>(mean[i])) * factor + value);
    }
}

template <typename T>
void sharpenPixels(const T* in, const T* mean, T* out, std::size_t count, float factor)
{
    // The in-place form gets a loop of its own: with three pointers the compiler guards the
    // vector loop by an overlap test that a mean written over always fails.
    if (out == mean)
        simd::runVectorized([&]() IMAGE2D_INLINE_LAMBDA { sharpenLoop(in, out, out, count, factor); });
    else
        simd::runVectorized([&]() IMAGE2D_INLINE_LAMBDA { sharpenLoop(in, mean, out, count, factor); });
}

/// The logistic strength f / (1 + exp(-s (r - c))) of a local contrast r.
struct LogisticStrength
{
    double factor;
    double slope;
    double center;
    double operator()(double contrast) const { return factor / (1.0 + std::exp(-slope * (contrast - center))); }
    /// Whether the exponential has reached the end its argument runs to as the contrast grows
    /// (0 for a positive slope, infinity for a negative one), so that every larger contrast
    /// has the same strength.
    bool saturated(double contrast) const
    {
        const double e = std::exp(-slope * (contrast - center));
        return slope > 0.0 ? e == 0.0 : (slope < 0.0 && std::isinf(e));
    }
};

/// Mean of a FLOAT copy (so that the mean keeps its fractions), minimum and maximum; the
/// statistics of the constrained filters. Each step has warned when it failed.
struct Statistics
{
    std::shared_ptr<Image2D> mean, minimum, maximum;
};

Statistics constrainedStatistics(const Image2D& image, int radius, int minMaxRadius)
{
    Statistics statistics;
    statistics.mean = areaAverageAsFloat(image, radius);
    MinMaxImages minMax = recursiveMinMax(image, minMaxRadius);
    statistics.minimum = std::move(minMax.minimum);
    statistics.maximum = std::move(minMax.maximum);
    return statistics;
}

// The constrained filters: statistics (not for an unsupported type, which is reported once,
// by the per-pixel step) and the step.
std::shared_ptr<Image2D> constrainedFilter(const Image2D& image, int radius, int minMaxRadius, float factor,
                                           float interpolation, bool localAlpha, double slope, double center)
{
    if (!image.isValid())
        return warnInvalidKey(kConstrainedValidation, Algorithm::INPUT_IMAGE), nullptr;
    Statistics statistics;
    if (SharpenTypes::contains(image.getDataType()))
        statistics = constrainedStatistics(image, radius, minMaxRadius);
    return constrainedWithStatistics(image, statistics.mean, statistics.minimum, statistics.maximum, factor,
                                     interpolation, localAlpha, slope, center);
}

} // namespace

// ---- Core functions -------------------------------------------------------------------

std::shared_ptr<Image2D> sharpenWithMean(const Image2D& image, const std::shared_ptr<Image2D>& mean, float factor)
{
    return dispatchDataType(
        SharpenTypes{}, image.getDataType(), "image2d::Sharpen : sharpen algorithm not supported for data type: ",
        [&](auto tag) -> std::shared_ptr<Image2D> {
            using T = typename decltype(tag)::type;
            // Every pixel is written when the mean is usable; otherwise the result stays cleared.
            const bool computed = image.isValid() && usable(mean, image, image.getDataType());
            std::shared_ptr<Image2D> result = computed ? newUnfilledImageLike(image) : newImageLike(image);
            if (!result || !computed)
                return result;
            sharpenPixels(image.getConstData<T>(), mean->getConstData<T>(), result->getData<T>(),
                          image.getNumPixels(), factor);
            return result;
        });
}

std::shared_ptr<Image2D> sharpen(const Image2D& image, int radius, float factor)
{
    if (!image.isValid())
        return warnInvalidKey(kSharpenOwner, Algorithm::INPUT_IMAGE), nullptr;
    // An unsupported type is reported once, by the per-pixel step, without the mean.
    if (!SharpenTypes::contains(image.getDataType()))
        return sharpenWithMean(image, nullptr, factor);
    // The mean is a new image of the input's type that nobody else holds: it becomes the
    // result, pixel by pixel, which saves a third image (and its fresh pages) per call.
    std::shared_ptr<Image2D> mean = areaAverage(image, radius);
    if (!usable(mean, image, image.getDataType()))
        return sharpenWithMean(image, mean, factor);
    dispatchDataType(SharpenTypes{}, image.getDataType(), [&](auto tag) {
        using T = typename decltype(tag)::type;
        T* pixels = mean->getData<T>();
        sharpenPixels(image.getConstData<T>(), pixels, pixels, image.getNumPixels(), factor);
    }, [] {});
    return mean;
}

std::shared_ptr<Image2D> constrainedWithStatistics(const Image2D& image, const std::shared_ptr<Image2D>& mean,
                                                   const std::shared_ptr<Image2D>& minimum,
                                                   const std::shared_ptr<Image2D>& maximum, float factor,
                                                   float interpolation, bool localAlpha, double slope, double center)
{
    const double strength = factor;
    const double t = interpolation;
    return dispatchDataType(
        SharpenTypes{}, image.getDataType(),
        [&](auto tag) -> std::shared_ptr<Image2D> {
            using T = typename decltype(tag)::type;
            const Image2D::DataType type = decltype(tag)::code;
            // Every pixel is written when the statistics are usable; otherwise the result stays cleared.
            const bool computed = image.isValid() && usable(mean, image, Image2D::FLOAT) &&
                                  usable(minimum, image, type) && usable(maximum, image, type);
            std::shared_ptr<Image2D> result = computed ? newUnfilledImageLike(image) : newImageLike(image);
            if (!result || !computed)
                return result;
            const T* in = image.getConstData<T>();
            const float* average = mean->getConstData<float>();
            const T* low = minimum->getConstData<T>();
            const T* high = maximum->getConstData<T>();
            T* out = result->getData<T>();
            const std::ptrdiff_t count = static_cast<std::ptrdiff_t>(image.getNumPixels());
            if (!localAlpha)
            {
                constrainedRange(in, average, low, high, out, 0, count, t, strength, nullptr,
                                 [strength](T, T) { return strength; });
                return result;
            }
            const LogisticStrength logistic{strength, slope, center};
            if constexpr (std::is_floating_point_v<T>)
            {
                parallelFor(std::ptrdiff_t{0}, count, [&](std::ptrdiff_t first, std::ptrdiff_t last) {
                    constrainedRange(in, average, low, high, out, first, last, t, 0.0, nullptr,
                                     [&](T lowest, T highest) {
                                         return logistic(static_cast<double>(highest) - static_cast<double>(lowest));
                                     });
                });
            }
            else
            {
                // Integer contrasts take few values: one exp per possible contrast instead of
                // one per pixel, each entry the same double the formula gives.
                const int span = static_cast<int>(store::TypeRange<T>::upper - store::TypeRange<T>::lower);
                std::vector<double> table(static_cast<std::size_t>(span) + 1);
                // A steep curve saturates after a few contrasts (at the display road's slope
                // after about twenty): the rest of the table is that last value.
                constexpr int kScanned = 4096;
                int contrast = 0;
                for (; contrast <= std::min(span, kScanned); ++contrast)
                {
                    table[contrast] = logistic(contrast);
                    if (logistic.saturated(contrast))
                        break;
                }
                if (contrast <= std::min(span, kScanned))
                    std::fill(table.begin() + contrast + 1, table.end(), table[contrast]);
                else
                    parallelFor(contrast, span + 1, [&](int first, int last) {
                        for (int c = first; c < last; ++c)
                            table[c] = logistic(c);
                    });
                parallelFor(std::ptrdiff_t{0}, count, [&](std::ptrdiff_t first, std::ptrdiff_t last) {
                    constrainedRange(in, average, low, high, out, first, last, t, 0.0, table.data(),
                                     [&](T lowest, T highest) {
                                         const int contrast = static_cast<int>(highest) - static_cast<int>(lowest);
                                         return contrast >= 0 ? table[contrast] : logistic(contrast);
                                     });
                });
            }
            return result;
        },
        [&] {
            warning(localAlpha ? "image2d::LocalAlphaConstrainedUnsharpMasking::sharpen"
                               : "image2d::ConstrainedUnsharpMasking::sharpen",
                    " : not supported for data type: ", static_cast<int>(image.getDataType()));
        });
}

std::shared_ptr<Image2D> constrainedUnsharpMasking(const Image2D& image, int radius, int minMaxRadius, float factor,
                                                   float interpolation)
{
    return constrainedFilter(image, radius, minMaxRadius, factor, interpolation, false, 0.0, 0.0);
}

std::shared_ptr<Image2D> localAlphaConstrainedUnsharpMasking(const Image2D& image, int radius, int minMaxRadius,
                                                             float factor, float interpolation, double slope,
                                                             double center)
{
    return constrainedFilter(image, radius, minMaxRadius, factor, interpolation, true, slope, center);
}

// ---- Sharpen ----------------------------------------------------------------------------

const Parameter<int> Sharpen::RADIUS_PARAMETER{&KERNEL_RADIUS, Bounds::any(), "radius of the mean window"};
const Parameter<float> Sharpen::FACTOR_PARAMETER{&SHARPNESS_FACTOR, ValueKind::Int, Bounds::anyIncludingNaN(),
                                                 "sharpness factor f; checked as an integer, read as a float"};

const ParameterList& Sharpen::parameters()
{
    static const ParameterList list{&RADIUS_PARAMETER, &FACTOR_PARAMETER};
    return list;
}

bool Sharpen::isInputValid() const
{
    return requireInputImage(kSharpenOwner, INPUT_IMAGE) && RADIUS_PARAMETER.validate(*this, kSharpenOwner) &&
           FACTOR_PARAMETER.validate(*this, kSharpenOwner);
}

std::shared_ptr<Image2D> Sharpen::applyFilter(const Uniforms& parameters, const std::shared_ptr<Image2D>& image,
                                              const std::atomic<bool>&)
{
    return image2d::sharpen(*image, RADIUS_PARAMETER(parameters), FACTOR_PARAMETER(parameters));
}

bool Sharpen::process(const std::atomic<bool>& cancel)
{
    setSharedOutput(OUTPUT_IMAGE, applyFilter(*this, getSharedInput(INPUT_IMAGE), cancel));
    return true;
}

std::shared_ptr<Image2D> Sharpen::averageImage(const std::atomic<bool>&, std::shared_ptr<Image2D> image) const
{
    if (!image)
        return warnMissingKey("image2d::AreaAverage", INPUT_IMAGE), nullptr;
    return areaAverage(*image, RADIUS_PARAMETER(*this));
}

std::shared_ptr<Image2D> Sharpen::sharpen(const std::atomic<bool>&, std::shared_ptr<Image2D> image,
                                          std::shared_ptr<Image2D> mean) const
{
    return image ? sharpenWithMean(*image, mean, FACTOR_PARAMETER(*this)) : nullptr;
}

std::shared_ptr<Image2D> Sharpen::executeSharpen(Image2D* image, int kernelRadius, float sharpnessFactor)
{
    Sharpen algorithm;
    if (image)
        algorithm.setInput(INPUT_IMAGE, image);
    algorithm.setUniformValue(KERNEL_RADIUS, kernelRadius);
    algorithm.setUniformValue(SHARPNESS_FACTOR, sharpnessFactor);
    algorithm.execute(neverCancelled());
    return algorithm.getSharedOutput(OUTPUT_IMAGE);
}

// ---- ConstrainedUnsharpMasking ------------------------------------------------------------

const Parameter<int> ConstrainedUnsharpMasking::RADIUS_PARAMETER{&KERNEL_RADIUS, Bounds::any(),
                                                                 "radius of the mean window"};
const Parameter<int> ConstrainedUnsharpMasking::MIN_MAX_RADIUS_PARAMETER{&MIN_MAX_KERNEL_RADIUS, Bounds::any(),
                                                                         "radius of the minimum and maximum window"};
const Parameter<float> ConstrainedUnsharpMasking::FACTOR_PARAMETER{
    &SHARPNESS_FACTOR, ValueKind::Int, Bounds::anyIncludingNaN(),
    "sharpness factor f; checked as an integer, read as a float"};
const Parameter<float> ConstrainedUnsharpMasking::INTERPOLATION_PARAMETER{
    &INTERPOLATION, ValueKind::Int, Bounds::anyIncludingNaN(),
    "weight t of the constrained value (1 fully constrained); checked as an integer, read as a float"};

const ParameterList& ConstrainedUnsharpMasking::parameters()
{
    static const ParameterList list{&RADIUS_PARAMETER, &MIN_MAX_RADIUS_PARAMETER, &FACTOR_PARAMETER,
                                    &INTERPOLATION_PARAMETER};
    return list;
}

bool ConstrainedUnsharpMasking::isInputValid() const
{
    if (!requireInputImage(kConstrainedValidation, INPUT_IMAGE))
        return false;
    for (const ParameterInfo* parameter : ConstrainedUnsharpMasking::parameters())
        if (!parameter->validate(*this, kConstrainedValidation))
            return false;
    return true;
}

bool ConstrainedUnsharpMasking::process(const std::atomic<bool>&)
{
    setSharedOutput(OUTPUT_IMAGE, constrainedUnsharpMasking(*getSharedInput(INPUT_IMAGE), RADIUS_PARAMETER(*this),
                                                            MIN_MAX_RADIUS_PARAMETER(*this), FACTOR_PARAMETER(*this),
                                                            INTERPOLATION_PARAMETER(*this)));
    return true;
}

std::shared_ptr<Image2D> ConstrainedUnsharpMasking::averageImage(const std::atomic<bool>&,
                                                                 std::shared_ptr<Image2D> image) const
{
    if (!image)
        return {};
    return areaAverage(Image2DOperations::convertDataType(*image, Image2D::FLOAT), RADIUS_PARAMETER(*this));
}

std::pair<std::shared_ptr<Image2D>, std::shared_ptr<Image2D>>
ConstrainedUnsharpMasking::calculateMinMaxImage(const std::atomic<bool>&, std::shared_ptr<Image2D> image) const
{
    if (!image)
        return warning("image2d::RecursiveMinMax::isInputValid", ": missing input: ", INPUT_IMAGE), std::pair{nullptr, nullptr};
    MinMaxImages minMax = recursiveMinMax(*image, MIN_MAX_RADIUS_PARAMETER(*this));
    return {std::move(minMax.minimum), std::move(minMax.maximum)};
}

double ConstrainedUnsharpMasking::calculateLocalSharpnessFactor(double, double) const
{
    return FACTOR_PARAMETER(*this);
}

std::shared_ptr<Image2D> ConstrainedUnsharpMasking::sharpen(const std::atomic<bool>&, std::shared_ptr<Image2D> image,
                                                            std::shared_ptr<Image2D> mean,
                                                            std::shared_ptr<Image2D> minimum,
                                                            std::shared_ptr<Image2D> maximum) const
{
    if (!image)
        return {};
    return constrainedWithStatistics(*image, mean, minimum, maximum, FACTOR_PARAMETER(*this),
                                     INTERPOLATION_PARAMETER(*this), false);
}

std::shared_ptr<Image2D> ConstrainedUnsharpMasking::executeConstrainedUnsharpMasking(Image2D* image, int kernelRadius,
                                                                                     int minMaxKernelRadius,
                                                                                     float sharpnessFactor,
                                                                                     float interpolation)
{
    ConstrainedUnsharpMasking algorithm;
    if (image)
        algorithm.setInput(INPUT_IMAGE, image);
    algorithm.setUniformValue(KERNEL_RADIUS, kernelRadius);
    algorithm.setUniformValue(MIN_MAX_KERNEL_RADIUS, minMaxKernelRadius);
    algorithm.setUniformValue(SHARPNESS_FACTOR, sharpnessFactor);
    algorithm.setUniformValue(INTERPOLATION, interpolation);
    algorithm.execute(neverCancelled());
    return algorithm.getSharedOutput(OUTPUT_IMAGE);
}

// ---- LocalAlphaConstrainedUnsharpMasking ----------------------------------------------------

const Parameter<double> LocalAlphaConstrainedUnsharpMasking::SLOPE_PARAMETER{
    &SLOPE, 0.0, Lenient{}, "slope s of the logistic strength curve"};
const Parameter<double> LocalAlphaConstrainedUnsharpMasking::CENTER_PARAMETER{
    &CENTER, 0.0, Lenient{}, "local contrast c at which the strength is half the factor"};

const ParameterList& LocalAlphaConstrainedUnsharpMasking::parameters()
{
    static const ParameterList list = ConstrainedUnsharpMasking::parameters() +
                                      ParameterList{&SLOPE_PARAMETER, &CENTER_PARAMETER};
    return list;
}

std::shared_ptr<Image2D> LocalAlphaConstrainedUnsharpMasking::applyFilter(const Uniforms& parameters,
                                                                          const std::shared_ptr<Image2D>& image,
                                                                          const std::atomic<bool>&)
{
    return localAlphaConstrainedUnsharpMasking(*image, RADIUS_PARAMETER(parameters),
                                               MIN_MAX_RADIUS_PARAMETER(parameters), FACTOR_PARAMETER(parameters),
                                               INTERPOLATION_PARAMETER(parameters), SLOPE_PARAMETER(parameters),
                                               CENTER_PARAMETER(parameters));
}

bool LocalAlphaConstrainedUnsharpMasking::process(const std::atomic<bool>& cancel)
{
    setSharedOutput(OUTPUT_IMAGE, applyFilter(*this, getSharedInput(INPUT_IMAGE), cancel));
    return true;
}

std::shared_ptr<Image2D> LocalAlphaConstrainedUnsharpMasking::sharpen(const std::atomic<bool>&,
                                                                      std::shared_ptr<Image2D> image,
                                                                      std::shared_ptr<Image2D> mean,
                                                                      std::shared_ptr<Image2D> minimum,
                                                                      std::shared_ptr<Image2D> maximum) const
{
    if (!image)
        return {};
    return constrainedWithStatistics(*image, mean, minimum, maximum, FACTOR_PARAMETER(*this),
                                     INTERPOLATION_PARAMETER(*this), true, SLOPE_PARAMETER(*this),
                                     CENTER_PARAMETER(*this));
}

std::shared_ptr<Image2D> LocalAlphaConstrainedUnsharpMasking::executeLocalAlphaConstrainedUnsharpMasking(
    Image2D* image, int kernelRadius, int minMaxKernelRadius, float sharpnessFactor, float interpolation, double slope,
    double center)
{
    LocalAlphaConstrainedUnsharpMasking algorithm;
    if (image)
        algorithm.setInput(INPUT_IMAGE, image);
    algorithm.setUniformValue(KERNEL_RADIUS, kernelRadius);
    algorithm.setUniformValue(MIN_MAX_KERNEL_RADIUS, minMaxKernelRadius);
    algorithm.setUniformValue(SHARPNESS_FACTOR, sharpnessFactor);
    algorithm.setUniformValue(INTERPOLATION, interpolation);
    algorithm.setUniformValue(SLOPE, slope);
    algorithm.setUniformValue(CENTER, center);
    algorithm.execute(neverCancelled());
    return algorithm.getSharedOutput(OUTPUT_IMAGE);
}

} // namespace image2d
