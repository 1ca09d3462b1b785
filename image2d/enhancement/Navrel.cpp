#include "image2d/enhancement/Navrel.h"

#include "image2d/enhancement/UnsharpMasking.h"
#include "image2d/filtering/LocalStatistics.h"
#include "image2d/framework/Log.h"
#include "image2d/framework/Parallel.h"
#include "image2d/framework/Simd.h"
#include "image2d/pointops/ImageArithmetic.h"
#include "image2d/pointops/IntensityMapping.h"
#include "image2d/toolbox/Geometry.h"

#include <bit>
#include <cmath>
#include <cstddef>
#include <cstdint>

namespace image2d {

const QString Navrel::FILTER_ID = QStringLiteral("Navrel");
const QString Navrel::MEDIAN_RADIUS = QStringLiteral("medianRadiusImage");
const QString& Navrel::KERNEL_RADIUS = Sharpen::KERNEL_RADIUS;
const QString& Navrel::SHARPNESS_FACTOR = Sharpen::SHARPNESS_FACTOR;
const QString Navrel::WHITE_VALUE = QStringLiteral("whiteValueImage");
const QString Navrel::BLACK_VALUE = QStringLiteral("blackValueImage");

namespace {

constexpr const char* kOwner = "image2d::Navrel";

/// v = I + (I n - Sm) k for the pixels [first, last); windows without band pixels keep I.
/// Both values are computed and one selected, so that the loop vectorises (out of line
/// for the same reason, and compiled for the wide vectors as well).
template <typename T, typename Sum>
[[gnu::noinline]] void navrelRange(const T* in, const std::int32_t* count, const Sum* sum, T* out,
                                   std::ptrdiff_t first, std::ptrdiff_t last, double k)
{
    simd::runVectorized([&]() IMAGE2D_INLINE_LAMBDA {
        for (std::ptrdiff_t i = first; i < last; ++i)
        {
            const std::int32_t n = count[i];
            const double value = in[i];
            const T sharpened = store::clampRoundHalfAway<T>(value + (value * n - static_cast<double>(sum[i])) * k);
            out[i] = n < 1 ? in[i] : sharpened;
        }
    });
}

// A step's input that a failed earlier step left empty: the step warns that it is missing,
// as its algorithm would, and gives nothing.
bool present(const std::shared_ptr<Image2D>& image, const char* owner, const QString& key)
{
    if (!image)
        warnMissingKey(owner, key);
    return image != nullptr;
}

// 1 where black < I < white, else 0.
std::shared_ptr<Image2D> bandImage(const Image2D& image, float black, float white)
{
    const std::shared_ptr<Image2D> aboveBlack = threshold(image, black, ThresholdComparison::Above);
    const std::shared_ptr<Image2D> belowWhite = threshold(image, white, ThresholdComparison::Below);
    if (!present(aboveBlack, "image2d::Multiply", Multiply::INPUT_A_IMAGE) ||
        !present(belowWhite, "image2d::Multiply", Multiply::INPUT_B_IMAGE))
        return nullptr;
    return multiply(*aboveBlack, *belowWhite);
}

std::shared_ptr<Image2D> sumsOf(const std::shared_ptr<Image2D>& image, float radius, const std::atomic<bool>& cancel)
{
    return present(image, "image2d::SubSummedAreaTable", Algorithm::INPUT_IMAGE) ? windowSums(*image, radius, cancel)
                                                                                   : nullptr;
}

} // namespace

// ---- Core functions -------------------------------------------------------------------

std::shared_ptr<Image2D> navrelWithTables(const Image2D& image, const std::shared_ptr<Image2D>& countTable,
                                          const std::shared_ptr<Image2D>& sumTable, float radius, float factor)
{
    const double side = 2.0 * static_cast<double>(radius) + 1.0;
    const double k = static_cast<double>(factor) / (side * side);
    return dispatchDataType(
        NavrelTypes{}, image.getDataType(), "image2d::Navrel : navrel algorithm not supported for data type: ",
        [&](auto tag) -> std::shared_ptr<Image2D> {
            using T = typename decltype(tag)::type;
            // Window sums of integer images are INT, those of FLOAT images FLOAT.
            using Sum = std::conditional_t<std::is_same_v<T, float>, float, std::int32_t>;
            const Image2D::DataType sumType = std::is_same_v<T, float> ? Image2D::FLOAT : Image2D::INT;
            // Every pixel is written when both tables are usable; otherwise the result stays cleared.
            const bool computed = image.isValid() && usable(countTable, image, Image2D::INT) &&
                                  usable(sumTable, image, sumType);
            auto result = computed ? newUnfilledImageLike(image) : newImageLike(image);
            if (!result || !computed)
                return result;
            const T* in = image.getConstData<T>();
            const std::int32_t* count = countTable->getConstData<std::int32_t>();
            const Sum* sum = sumTable->getConstData<Sum>();
            T* out = result->getData<T>();
            parallelFor(std::ptrdiff_t{0}, static_cast<std::ptrdiff_t>(image.getNumPixels()),
                        [&](std::ptrdiff_t first, std::ptrdiff_t last) {
                            navrelRange(in, count, sum, out, first, last, k);
                        });
            return result;
        });
}

std::shared_ptr<Image2D> navrel(const Image2D& image, float radius, float factor, float black, float white,
                                const std::atomic<bool>& cancel)
{
    if (!image.isValid())
        return warnInvalidKey(kOwner, Algorithm::INPUT_IMAGE), nullptr;
    std::shared_ptr<Image2D> countTable;
    std::shared_ptr<Image2D> sumTable;
    // An unsupported type is reported once, by the per-pixel step, without the inner steps.
    if (NavrelTypes::contains(image.getDataType()))
    {
        const std::shared_ptr<Image2D> band = bandImage(image, black, white);
        const std::shared_ptr<Image2D> masked =
            present(band, "image2d::Mask", Mask::MASK_IMAGE) ? mask(image, *band, 0.0, cancel) : nullptr;
        parallelInvoke([&] { sumTable = sumsOf(masked, radius, cancel); },
                       [&] { countTable = sumsOf(band, radius, cancel); });
    }
    if (cancel.load())
        return nullptr;
    return navrelWithTables(image, countTable, sumTable, radius, factor);
}

// ---- Navrel -------------------------------------------------------------------------------

const Parameter<int> Navrel::MEDIAN_RADIUS_PARAMETER{&MEDIAN_RADIUS, Bounds::any(),
                                                     "required, but does not enter the computation"};
const Parameter<float> Navrel::BLACK_PARAMETER{&BLACK_VALUE, ValueKind::Int, Bounds::anyIncludingNaN(),
                                               "lower band bound (exclusive); checked as an integer, read as a float"};
const Parameter<float> Navrel::WHITE_PARAMETER{&WHITE_VALUE, ValueKind::Int, Bounds::anyIncludingNaN(),
                                               "upper band bound (exclusive); checked as an integer, read as a float"};
const Parameter<float> Navrel::RADIUS_PARAMETER{&KERNEL_RADIUS, ValueKind::Int, Bounds::anyIncludingNaN(),
                                                "window radius r; checked as an integer, read as a float"};
const Parameter<float> Navrel::FACTOR_PARAMETER{&SHARPNESS_FACTOR, ValueKind::Int, Bounds::anyIncludingNaN(),
                                                "strength f; checked as an integer, read as a float"};

const ParameterList& Navrel::parameters()
{
    static const ParameterList list{&MEDIAN_RADIUS_PARAMETER, &BLACK_PARAMETER, &WHITE_PARAMETER, &RADIUS_PARAMETER,
                                    &FACTOR_PARAMETER};
    return list;
}

bool Navrel::isInputValid() const
{
    if (!requireInputImage(kOwner, INPUT_IMAGE))
        return false;
    for (const ParameterInfo* parameter : parameters())
        if (!parameter->validate(*this, kOwner))
            return false;
    return true;
}

std::shared_ptr<Image2D> Navrel::applyFilter(const Uniforms& parameters, const std::shared_ptr<Image2D>& image,
                                             const std::atomic<bool>& cancel)
{
    return image2d::navrel(*image, RADIUS_PARAMETER(parameters), FACTOR_PARAMETER(parameters),
                           BLACK_PARAMETER(parameters), WHITE_PARAMETER(parameters), cancel);
}

bool Navrel::process(const std::atomic<bool>& cancel)
{
    setSharedOutput(OUTPUT_IMAGE, applyFilter(*this, getSharedInput(INPUT_IMAGE), cancel));
    return true;
}

std::shared_ptr<Image2D> Navrel::thresholdImage(const std::atomic<bool>&, std::shared_ptr<Image2D> image,
                                                float value, const QString& op) const
{
    const ThresholdComparison comparison =
        op == QLatin1String("<") ? ThresholdComparison::Below : ThresholdComparison::Above;
    return present(image, "image2d::Threshold", INPUT_IMAGE) ? threshold(*image, value, comparison) : nullptr;
}

std::shared_ptr<Image2D> Navrel::thresholdMinMaxImage(const std::atomic<bool>&, std::shared_ptr<Image2D> image,
                                                      float black, float white) const
{
    return present(image, "image2d::Threshold", INPUT_IMAGE) ? bandImage(*image, black, white) : nullptr;
}

std::shared_ptr<Image2D> Navrel::multiplyImage(const std::atomic<bool>&, std::shared_ptr<Image2D> a,
                                               std::shared_ptr<Image2D> b) const
{
    if (!present(a, "image2d::Multiply", Multiply::INPUT_A_IMAGE) ||
        !present(b, "image2d::Multiply", Multiply::INPUT_B_IMAGE))
        return nullptr;
    return multiply(*a, *b);
}

std::shared_ptr<Image2D> Navrel::maskImage(const std::atomic<bool>& cancel, std::shared_ptr<Image2D> image,
                                           std::shared_ptr<Image2D> maskImage) const
{
    if (!present(image, "image2d::Mask", INPUT_IMAGE) || !present(maskImage, "image2d::Mask", Mask::MASK_IMAGE))
        return nullptr;
    return mask(*image, *maskImage, 0.0, cancel);
}

std::shared_ptr<Image2D> Navrel::satImage(const std::atomic<bool>& cancel, std::shared_ptr<Image2D> image) const
{
    return sumsOf(image, RADIUS_PARAMETER(*this), cancel);
}

std::shared_ptr<Image2D> Navrel::navrel(const std::atomic<bool>& cancel, std::shared_ptr<Image2D> input,
                                        std::shared_ptr<Image2D> countTable, std::shared_ptr<Image2D> sumTable) const
{
    if (cancel.load() || !input)
        return {};
    return navrelWithTables(*input, countTable, sumTable, RADIUS_PARAMETER(*this), FACTOR_PARAMETER(*this));
}

// ---------------------------------------------------------------------------------------
// Noise factor

namespace {

constexpr const char* kNoiseInvalid = "AutoNavrel::calculateNoiseFactor: invalid input";
constexpr const char* kNoiseFailed = "AutoNavrel::calculateNoiseFactor: calculation failed";

/// One step below the float nearest to 0.1, so that a width of 50 gives a margin of 5.
const float kMarginFraction = std::bit_cast<float>(std::uint32_t{0x3DCCCCCC});
/// Weakening factor of a Navrel parameter for noisy images.
const float kNoisyParameterScale = std::bit_cast<float>(std::uint32_t{0x3F305B06});

bool isNoiseFactorType(Image2D::DataType type)
{
    return type == Image2D::UNSIGNED_SHORT || type == Image2D::SHORT || type == Image2D::UNSIGNED_CHAR ||
           type == Image2D::FLOAT;
}

} // namespace

utility::Optional<float> calculateNoiseFactor(const Image2D& image, const math::Range<float>& displayRange)
{
    if (!isNoiseFactorType(image.getDataType()) || !image.isValid())
    {
        warning(kNoiseInvalid);
        return {};
    }

    const int dx = static_cast<int>(std::ceil(static_cast<float>(image.getWidth()) * kMarginFraction));
    const int dy = static_cast<int>(std::ceil(static_cast<float>(image.getHeight()) * kMarginFraction));
    const std::shared_ptr<Image2D> cropped = crop(image, dx, dy, dx, dy);

    std::shared_ptr<Image2D> windowed;
    if (cropped)
    {
        const double minimum = displayRange.getMin();
        const double maximum = displayRange.getMax();
        const float level = static_cast<float>((minimum + maximum) * 0.5);
        const float window = displayRange.getMax() - displayRange.getMin();
        windowed = levelWindow(*cropped, level, window);
    }
    MinMaxImages minMax;
    if (windowed)
        minMax = recursiveMinMax(*windowed, 3);
    if (!minMax)
    {
        warning(kNoiseFailed);
        return {};
    }

    const math::Range<float> range = windowed->getDataRange();
    const float span = range.getMax() - range.getMin();
    const float low = span * 1e-5f;
    const float high = span * 0.04501f;
    const Image2D& minimumImage = *minMax.minimum;
    const Image2D& maximumImage = *minMax.maximum;
    if (!minimumImage.isValid() || !maximumImage.isValid() ||
        minimumImage.getDataType() != maximumImage.getDataType() ||
        minimumImage.getNumPixels() != maximumImage.getNumPixels() || !isNoiseFactorType(minimumImage.getDataType()))
        return {};

    std::size_t countLow = 0;
    std::size_t countHigh = 0;
    dispatchDataType(
        PixelTypes<Image2D::UNSIGNED_SHORT, Image2D::SHORT, Image2D::UNSIGNED_CHAR, Image2D::FLOAT>{},
        minimumImage.getDataType(),
        [&](auto tag) -> bool {
            using T = typename decltype(tag)::type;
            const T* minima = minimumImage.getConstData<T>();
            const T* maxima = maximumImage.getConstData<T>();
            const std::size_t count = minimumImage.getNumPixels();
            for (std::size_t i = 0; i < count; ++i)
            {
                const float d = static_cast<float>(maxima[i]) - static_cast<float>(minima[i]);
                if (d > low)
                {
                    ++countLow;
                    if (d > high)
                        ++countHigh;
                }
            }
            return true;
        },
        [] {});
    if (countLow < 1)
        return {};
    return static_cast<float>(countHigh) / static_cast<float>(countLow);
}

float calculateNoiseAdjustedNavrelParameter(float value, float noiseFactor)
{
    return noiseFactor < 0.5f ? value : value * kNoisyParameterScale;
}

} // namespace image2d
