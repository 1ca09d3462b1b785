#include "image2d/enhancement/UnsharpMasking.h"

#include "image2d/enhancement/SharpeningStore.h"
#include "image2d/filtering/LocalStatistics.h"
#include "image2d/framework/Dispatch.h"
#include "image2d/framework/Log.h"
#include "image2d/framework/Parallel.h"
#include "image2d/toolbox/Image2DOperations.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <type_traits>
#include <vector>

namespace image2d {

const QString Sharpen::FILTER_ID = QStringLiteral("Sharpen");
const QString Sharpen::KERNEL_RADIUS = QStringLiteral("kernelRadiusImage");
const QString Sharpen::SHARPNESS_FACTOR = QStringLiteral("sharpnessFactorImage");

const QString ConstrainedUnsharpMasking::FILTER_ID = QStringLiteral("ConstrainedUnsharpMasking");
const QString ConstrainedUnsharpMasking::KERNEL_RADIUS = QStringLiteral("kernelRadiusImage");
const QString ConstrainedUnsharpMasking::MIN_MAX_KERNEL_RADIUS = QStringLiteral("minMaxKernelRadiusImage");
const QString ConstrainedUnsharpMasking::SHARPNESS_FACTOR = QStringLiteral("sharpnessFactorImage");
const QString ConstrainedUnsharpMasking::INTERPOLATION =
    QStringLiteral("interpolationBetweenConstrainedAndUnconstrainedSharpen");

const QString LocalAlphaConstrainedUnsharpMasking::FILTER_ID = QStringLiteral("LocalAlphaConstrainedUnsharpMasking");
const QString LocalAlphaConstrainedUnsharpMasking::SLOPE = QStringLiteral("Slope");
const QString LocalAlphaConstrainedUnsharpMasking::CENTER = QStringLiteral("Center");

namespace {

constexpr const char* kSharpenOwner = "image2d::Sharpen";
constexpr const char* kConstrainedValidation = "image2d::ConstrainedUnsharpMasking::isInputValid";

/// The types every filter of this family sharpens (INT is not among them).
using SharpenTypes =
    PixelTypes<Image2D::UNSIGNED_SHORT, Image2D::SHORT, Image2D::UNSIGNED_CHAR, Image2D::BINARY, Image2D::FLOAT>;

/// A new image with the input's size, type and pixel size, or empty when not allocatable.
std::shared_ptr<Image2D> resultLike(const Image2D& input)
{
    return std::make_shared<Image2D>(input.getSize(), input.getDataType(), input.getPixelSize(), true);
}

/// The per-pixel step shared by both constrained filters: u = alpha * (I - A) + I, pulled
/// toward [MIN, MAX] by t. `alpha(MIN, MAX)` gives the strength at the pixel. Kept out of
/// line: inlined into the typed dispatch, GCC no longer vectorises the loop.
template <typename T, typename Alpha>
[[gnu::noinline]] void constrainedRange(const T* in, const float* mean, const T* minimum, const T* maximum, T* out, std::ptrdiff_t first,
                      std::ptrdiff_t last, double t, Alpha alpha)
{
    for (std::ptrdiff_t i = first; i < last; ++i)
    {
        const double value = in[i];
        const double low = minimum[i];
        const double high = maximum[i];
        const double u = alpha(minimum[i], maximum[i]) * (value - static_cast<double>(mean[i])) + value;
        // MAX when u > MAX, else the larger of MIN and u (a NaN u gives MIN).
        const double k = std::max(low, std::min(u, high));
        out[i] = sharpening::storeRounded<T>(t * k + (1.0 - t) * u);
    }
}

/// The logistic strength f / (1 + exp(-s (r - c))) of a local contrast r.
struct LogisticStrength
{
    double factor;
    double slope;
    double center;
    double operator()(double contrast) const { return factor / (1.0 + std::exp(-slope * (contrast - center))); }
};

} // namespace

// ---------------------------------------------------------------------------------------
// Sharpen

bool Sharpen::isInputValid() const
{
    return requireInputImage(kSharpenOwner, INPUT_IMAGE) && requireInt(kSharpenOwner, KERNEL_RADIUS) &&
           requireInt(kSharpenOwner, SHARPNESS_FACTOR);
}

std::shared_ptr<Image2D> Sharpen::averageImage(const std::atomic<bool>& cancel, std::shared_ptr<Image2D> image) const
{
    AreaAverage average;
    average.setSharedInput(INPUT_IMAGE, std::move(image));
    average.setUniformValue(AreaAverage::KERNEL_RADIUS, getUniformIntValue(KERNEL_RADIUS).value_or(0));
    average.execute(cancel);
    return average.getSharedOutput(OUTPUT_IMAGE);
}

std::shared_ptr<Image2D> Sharpen::sharpen(const std::atomic<bool>&, std::shared_ptr<Image2D> image,
                                          std::shared_ptr<Image2D> mean) const
{
    if (!image)
        return {};
    const float factor = getUniformFloatValue(SHARPNESS_FACTOR).value_or(0.0f);
    return dispatchDataType(
        SharpenTypes{}, image->getDataType(), "image2d::Sharpen : sharpen algorithm not supported for data type: ",
        [&](auto tag) -> std::shared_ptr<Image2D> {
            using T = typename decltype(tag)::type;
            std::shared_ptr<Image2D> result = resultLike(*image);
            if (!result->isValid())
                return {};
            if (!image->isValid() || !usable(mean, *image, image->getDataType()))
                return result;
            const T* in = image->getConstData<T>();
            const T* average = mean->getConstData<T>();
            T* out = result->getData<T>();
            const std::size_t count = image->getNumPixels();
            for (std::size_t i = 0; i < count; ++i)
            {
                const float value = static_cast<float>(in[i]);
                out[i] = sharpening::storeTruncated<T>((value - static_cast<float>(average[i])) * factor + value);
            }
            return result;
        });
}

bool Sharpen::process(const std::atomic<bool>& cancel)
{
    const std::shared_ptr<Image2D> input = getSharedInput(INPUT_IMAGE);
    if (!input || !input->isValid())
        return false;
    // An unsupported type is reported once, by sharpen(), without running the mean first.
    std::shared_ptr<Image2D> mean;
    if (SharpenTypes::contains(input->getDataType()))
        mean = averageImage(cancel, input);
    setSharedOutput(OUTPUT_IMAGE, sharpen(cancel, input, mean));
    return true;
}

std::shared_ptr<Image2D> Sharpen::executeSharpen(Image2D* image, int kernelRadius, float sharpnessFactor)
{
    Sharpen algorithm;
    if (image)
        algorithm.setInput(INPUT_IMAGE, image);
    algorithm.setUniformValue(KERNEL_RADIUS, kernelRadius);
    algorithm.setUniformValue(SHARPNESS_FACTOR, sharpnessFactor);
    const std::atomic<bool> cancel{false};
    algorithm.execute(cancel);
    return algorithm.getSharedOutput(OUTPUT_IMAGE);
}

// ---------------------------------------------------------------------------------------
// ConstrainedUnsharpMasking

bool ConstrainedUnsharpMasking::isInputValid() const
{
    const std::shared_ptr<Image2D> input = getSharedInput(INPUT_IMAGE);
    if (!input)
    {
        warning(kConstrainedValidation, ": missing input: ", INPUT_IMAGE);
        return false;
    }
    if (!input->isValid())
    {
        warning(kConstrainedValidation, ": invalid input: ", INPUT_IMAGE);
        return false;
    }
    for (const QString* key : {&KERNEL_RADIUS, &MIN_MAX_KERNEL_RADIUS, &SHARPNESS_FACTOR, &INTERPOLATION})
    {
        if (!getUniformValue(*key).isValid())
        {
            warning(kConstrainedValidation, ": missing input: ", *key);
            return false;
        }
        if (!getUniformIntValue(*key))
        {
            warning(kConstrainedValidation, ": invalid input: ", *key);
            return false;
        }
    }
    return true;
}

std::shared_ptr<Image2D> ConstrainedUnsharpMasking::averageImage(const std::atomic<bool>& cancel,
                                                                 std::shared_ptr<Image2D> image) const
{
    if (!image)
        return {};
    AreaAverage average;
    average.setSharedInput(INPUT_IMAGE,
                           std::make_shared<Image2D>(Image2DOperations::convertDataType(*image, Image2D::FLOAT)));
    average.setUniformValue(AreaAverage::KERNEL_RADIUS, getUniformIntValue(KERNEL_RADIUS).value_or(0));
    average.execute(cancel);
    return average.getSharedOutput(OUTPUT_IMAGE);
}

std::pair<std::shared_ptr<Image2D>, std::shared_ptr<Image2D>>
ConstrainedUnsharpMasking::calculateMinMaxImage(const std::atomic<bool>& cancel, std::shared_ptr<Image2D> image) const
{
    RecursiveMinMax minMax;
    minMax.setSharedInput(INPUT_IMAGE, std::move(image));
    minMax.setUniformValue(RecursiveMinMax::KERNEL_RADIUS, getUniformIntValue(MIN_MAX_KERNEL_RADIUS).value_or(0));
    minMax.execute(cancel);
    return {minMax.getSharedOutput(RecursiveMinMax::MIN_IMAGE), minMax.getSharedOutput(RecursiveMinMax::MAX_IMAGE)};
}

double ConstrainedUnsharpMasking::calculateLocalSharpnessFactor(double, double) const
{
    return getUniformFloatValue(SHARPNESS_FACTOR).value_or(0.0f);
}

std::shared_ptr<Image2D> ConstrainedUnsharpMasking::sharpen(const std::atomic<bool>&, std::shared_ptr<Image2D> image,
                                                            std::shared_ptr<Image2D> mean,
                                                            std::shared_ptr<Image2D> minimum,
                                                            std::shared_ptr<Image2D> maximum) const
{
    if (!image)
        return {};
    const double factor = calculateLocalSharpnessFactor(0.0, 0.0);
    const double t = getUniformFloatValue(INTERPOLATION).value_or(0.0f);
    return dispatchDataType(
        SharpenTypes{}, image->getDataType(),
        [&](auto tag) -> std::shared_ptr<Image2D> {
            using T = typename decltype(tag)::type;
            const Image2D::DataType type = decltype(tag)::code;
            std::shared_ptr<Image2D> result = resultLike(*image);
            if (!result->isValid())
                return {};
            if (!image->isValid() || !usable(mean, *image, Image2D::FLOAT) || !usable(minimum, *image, type) ||
                !usable(maximum, *image, type))
                return result;
            constrainedRange(image->getConstData<T>(), mean->getConstData<float>(), minimum->getConstData<T>(),
                             maximum->getConstData<T>(), result->getData<T>(), 0,
                             static_cast<std::ptrdiff_t>(image->getNumPixels()), t,
                             [factor](T, T) { return factor; });
            return result;
        },
        [&] {
            warning("image2d::ConstrainedUnsharpMasking::sharpen", " : not supported for data type: ",
                    static_cast<int>(image->getDataType()));
        });
}

bool ConstrainedUnsharpMasking::process(const std::atomic<bool>& cancel)
{
    const std::shared_ptr<Image2D> input = getSharedInput(INPUT_IMAGE);
    if (!input || !input->isValid())
        return false;
    // An unsupported type is reported once, by sharpen(), without running the inner steps.
    std::shared_ptr<Image2D> mean;
    std::pair<std::shared_ptr<Image2D>, std::shared_ptr<Image2D>> minMax;
    if (SharpenTypes::contains(input->getDataType()))
    {
        mean = averageImage(cancel, input);
        minMax = calculateMinMaxImage(cancel, input);
    }
    setSharedOutput(OUTPUT_IMAGE, sharpen(cancel, input, mean, minMax.first, minMax.second));
    return true;
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
    const std::atomic<bool> cancel{false};
    algorithm.execute(cancel);
    return algorithm.getSharedOutput(OUTPUT_IMAGE);
}

// ---------------------------------------------------------------------------------------
// LocalAlphaConstrainedUnsharpMasking

std::shared_ptr<Image2D> LocalAlphaConstrainedUnsharpMasking::sharpen(const std::atomic<bool>&,
                                                                      std::shared_ptr<Image2D> image,
                                                                      std::shared_ptr<Image2D> mean,
                                                                      std::shared_ptr<Image2D> minimum,
                                                                      std::shared_ptr<Image2D> maximum) const
{
    if (!image)
        return {};
    const double factor = getUniformFloatValue(SHARPNESS_FACTOR).value_or(0.0f);
    const double t = getUniformFloatValue(INTERPOLATION).value_or(0.0f);
    const double slope = getUniformDoubleValue(SLOPE).value_or(0.0);
    const double center = getUniformDoubleValue(CENTER).value_or(0.0);
    return dispatchDataType(
        SharpenTypes{}, image->getDataType(),
        [&](auto tag) -> std::shared_ptr<Image2D> {
            using T = typename decltype(tag)::type;
            const Image2D::DataType type = decltype(tag)::code;
            std::shared_ptr<Image2D> result = resultLike(*image);
            if (!result->isValid())
                return {};
            if (!image->isValid() || !usable(mean, *image, Image2D::FLOAT) || !usable(minimum, *image, type) ||
                !usable(maximum, *image, type))
                return result;
            const T* in = image->getConstData<T>();
            const float* average = mean->getConstData<float>();
            const T* low = minimum->getConstData<T>();
            const T* high = maximum->getConstData<T>();
            T* out = result->getData<T>();
            const std::ptrdiff_t count = static_cast<std::ptrdiff_t>(image->getNumPixels());
            const LogisticStrength strength{factor, slope, center};
            if constexpr (std::is_floating_point_v<T>)
            {
                parallelFor(std::ptrdiff_t{0}, count, [&](std::ptrdiff_t first, std::ptrdiff_t last) {
                    constrainedRange(in, average, low, high, out, first, last, t, [&](T lowest, T highest) {
                        return strength(static_cast<double>(highest) - static_cast<double>(lowest));
                    });
                });
            }
            else
            {
                // Integer contrasts take few values: one exp per possible contrast instead of
                // one per pixel, each entry the same double the formula gives.
                const int span = static_cast<int>(sharpening::ValueRange<T>::upper - sharpening::ValueRange<T>::lower);
                std::vector<double> table(static_cast<std::size_t>(span) + 1);
                parallelFor(0, span + 1, [&](int first, int last) {
                    for (int contrast = first; contrast < last; ++contrast)
                        table[contrast] = strength(contrast);
                });
                parallelFor(std::ptrdiff_t{0}, count, [&](std::ptrdiff_t first, std::ptrdiff_t last) {
                    constrainedRange(in, average, low, high, out, first, last, t, [&](T lowest, T highest) {
                        const int contrast = static_cast<int>(highest) - static_cast<int>(lowest);
                        return contrast >= 0 ? table[contrast] : strength(contrast);
                    });
                });
            }
            return result;
        },
        [&] {
            warning("image2d::LocalAlphaConstrainedUnsharpMasking::sharpen", " : not supported for data type: ",
                    static_cast<int>(image->getDataType()));
        });
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
    const std::atomic<bool> cancel{false};
    algorithm.execute(cancel);
    return algorithm.getSharedOutput(OUTPUT_IMAGE);
}

} // namespace image2d
