#include "image2d/pointops/ImageArithmetic.h"

#include "image2d/framework/Log.h"

#include <QVariant>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <type_traits>

namespace image2d {

using store::saturateToFloat;
using store::saturateTruncate;

const QString Threshold::THRESHOLD_VALUE = QStringLiteral("thresholdValue");
const QString Threshold::THRESHOLD_OPERATOR = QStringLiteral("thresholdOperator");

const QString Mask::MASK_IMAGE = QStringLiteral("maskImage");
const QString Mask::VALUE_FOR_MASKED_PIXELS = QStringLiteral("valueForMaskedPixels");

const QString Multiply::INPUT_A_IMAGE = QStringLiteral("inputAImage");
const QString Multiply::INPUT_B_IMAGE = QStringLiteral("inputBImage");

const QString Difference::TAKE_DIFFERENCE_OF = QStringLiteral("take_diff");

namespace {

constexpr const char* kThreshold = "image2d::Threshold";
constexpr const char* kMask = "image2d::Mask";
constexpr const char* kMultiply = "image2d::Multiply";
constexpr const char* kDifference = "image2d::Difference";

bool sameSize(const Image2D& a, const Image2D& b)
{
    return a.getWidth() == b.getWidth() && a.getHeight() == b.getHeight();
}

// ---- Threshold --------------------------------------------------------------------------

/// out = v > t (or v < t) for every pixel. For integer types t is truncated toward zero;
/// a truncated t beyond the type's range decides every pixel alike, which is what the
/// comparison with the unconverted value would give.
template <typename T>
void thresholdPixels(const T* in, std::uint8_t* out, std::size_t n, float t, bool less)
{
    if constexpr (std::is_floating_point_v<T>)
    {
        if (less)
            for (std::size_t i = 0; i < n; ++i)
                out[i] = in[i] < t ? 1 : 0;
        else
            for (std::size_t i = 0; i < n; ++i)
                out[i] = in[i] > t ? 1 : 0;
    }
    else
    {
        const double truncated = std::trunc(static_cast<double>(t));
        if (truncated < static_cast<double>(std::numeric_limits<T>::min()))
        {
            std::fill(out, out + n, std::uint8_t(less ? 0 : 1));
            return;
        }
        if (truncated > static_cast<double>(std::numeric_limits<T>::max()))
        {
            std::fill(out, out + n, std::uint8_t(less ? 1 : 0));
            return;
        }
        const T limit = static_cast<T>(truncated);
        if (less)
            for (std::size_t i = 0; i < n; ++i)
                out[i] = in[i] < limit ? 1 : 0;
        else
            for (std::size_t i = 0; i < n; ++i)
                out[i] = in[i] > limit ? 1 : 0;
    }
}

// ---- Mask -------------------------------------------------------------------------------

/// The masking value in the pixel type: truncated toward zero, saturated to the type's
/// range (the float range for FLOAT); NaN counts as 0 like an unconvertible value.
template <typename T>
T maskingValue(double value)
{
    const double truncated = std::isnan(value) ? 0.0 : std::trunc(value);
    if constexpr (std::is_floating_point_v<T>)
        return saturateToFloat(truncated);
    else
        return saturateTruncate<T>(truncated);
}

// ---- Multiply, Difference ---------------------------------------------------------------

template <typename T>
void multiplyPixels(const T* a, const T* b, T* out, std::size_t n)
{
    if constexpr (std::is_floating_point_v<T>)
    {
        for (std::size_t i = 0; i < n; ++i)
            out[i] = a[i] * b[i];
    }
    else
    {
        // Unsigned 32-bit arithmetic has the low 16 or 8 bits of the int product without
        // the signed overflow of 65535 * 65535.
        for (std::size_t i = 0; i < n; ++i)
            out[i] = static_cast<T>(static_cast<std::uint32_t>(a[i]) * static_cast<std::uint32_t>(b[i]));
    }
}

template <typename T>
void differencePixels(const T* a, const T* b, T* out, std::size_t n)
{
    if constexpr (std::is_floating_point_v<T>)
    {
        for (std::size_t i = 0; i < n; ++i)
            out[i] = a[i] - b[i];
    }
    else if constexpr (std::is_unsigned_v<T>)
    {
        for (std::size_t i = 0; i < n; ++i)
            out[i] = a[i] > b[i] ? static_cast<T>(a[i] - b[i]) : T(0);
    }
    else
    {
        // Wraps in the pixel's width; computed unsigned to keep INT free of signed overflow.
        for (std::size_t i = 0; i < n; ++i)
            out[i] = static_cast<T>(static_cast<std::uint32_t>(a[i]) - static_cast<std::uint32_t>(b[i]));
    }
}

// The input slots of the two-image operations, checked absent first, then not valid.
bool requireImages(const Algorithm& algorithm, const char* owner, const QString& first, const QString& second)
{
    for (const QString* key : {&first, &second})
    {
        const std::shared_ptr<Image2D> image = algorithm.getSharedInput(*key);
        if (!image)
            return warnMissingKey(owner, *key), algorithm.fail(FailureReason::Missing, *key);
        if (!image->isValid())
            return warnInvalidKey(owner, *key), algorithm.fail(FailureReason::Invalid, *key);
    }
    return true;
}

bool warnUnmatched(const char* text)
{
    warning(text);
    return false;
}

constexpr const char* kMaskNotBinary = "image2d::Mask : mask image is not a binary image.";
constexpr const char* kMaskSize = "image2d::Mask : input image and mask image are not the same size.";
constexpr const char* kMultiplyUnmatched = "image2d::Multiply : invalid input: image sizes or data types do not match";
constexpr const char* kDifferenceSizes = "image2d::Difference : invalid input: image sizes do not match";
constexpr const char* kDifferenceTypes = "image2d::Difference : invalid input: data types do not match";

// The checks of two images that are combined pixel by pixel; the core functions repeat
// what validation checks, with its warnings.
bool maskMatches(const Image2D& image, const Image2D& maskImage)
{
    if (maskImage.getDataType() != Image2D::BINARY)
        return warnUnmatched(kMaskNotBinary);
    return sameSize(image, maskImage) || warnUnmatched(kMaskSize);
}

bool multiplicandsMatch(const Image2D& a, const Image2D& b)
{
    // B is read in A's layout, so it must have A's size and pixel type.
    return (sameSize(a, b) && a.getDataType() == b.getDataType()) || warnUnmatched(kMultiplyUnmatched);
}

bool differenceOperandsMatch(const Image2D& a, const Image2D& b)
{
    if (!sameSize(a, b))
        return warnUnmatched(kDifferenceSizes);
    return a.getDataType() == b.getDataType() || warnUnmatched(kDifferenceTypes);
}

// Which operator text the threshold reads; anything but "<" means ">".
ThresholdComparison comparisonOf(const QString& text)
{
    return text == QLatin1String("<") ? ThresholdComparison::Below : ThresholdComparison::Above;
}

} // namespace

// ---- Core functions -----------------------------------------------------------------------

std::shared_ptr<Image2D> threshold(const Image2D& image, float value, ThresholdComparison comparison)
{
    // No pixel compares meaningfully with NaN.
    if (!Threshold::VALUE_PARAMETER.accepts(value, kThreshold))
        return nullptr;
    if (!image.isValid())
        return warnInvalidKey(kThreshold, Algorithm::INPUT_IMAGE), nullptr;
    const bool less = comparison == ThresholdComparison::Below;
    return dispatchDataType(AllPixelTypes{}, image.getDataType(),
                            "image2d::Threshold : threshold algorithm not supported for data type: ",
                            [&](auto tag) -> std::shared_ptr<Image2D> {
                                using T = typename decltype(tag)::type;
                                auto output = newUnfilledImageLike(image, Image2D::BINARY);
                                if (!output)
                                    return nullptr;
                                thresholdPixels(image.getConstData<T>(), output->getData<std::uint8_t>(),
                                                image.getNumPixels(), value, less);
                                return output;
                            });
}

std::shared_ptr<Image2D> mask(const Image2D& image, const Image2D& maskImage, double value,
                              const std::atomic<bool>& cancel)
{
    if (!image.isValid())
        return warnInvalidKey(kMask, Algorithm::INPUT_IMAGE), nullptr;
    if (!maskImage.isValid())
        return warnInvalidKey(kMask, Mask::MASK_IMAGE), nullptr;
    if (!maskMatches(image, maskImage))
        return nullptr;
    return dispatchDataType(
        NoIntPixelTypes{}, image.getDataType(), "image2d::Mask : mask algorithm not supported for data type: ",
        [&](auto tag) -> std::shared_ptr<Image2D> {
            using T = typename decltype(tag)::type;
            auto output = std::make_shared<Image2D>(image);
            if (!output->isValid())
                return nullptr;
            const T masked = maskingValue<T>(value);
            const std::size_t width = static_cast<std::size_t>(output->getWidth());
            const int height = output->getHeight();
            T* pixels = output->getData<T>();
            const std::uint8_t* maskPixels = maskImage.getConstData<std::uint8_t>();
            for (int y = 0; y < height; ++y)
            {
                T* row = pixels + static_cast<std::size_t>(y) * width;
                const std::uint8_t* maskRow = maskPixels + static_cast<std::size_t>(y) * width;
                for (std::size_t x = 0; x < width; ++x)
                    if (maskRow[x] == 0)
                        row[x] = masked;
                // A cancelled run keeps the rows masked so far; the rest stay as copied.
                if (cancel.load(std::memory_order_relaxed))
                    break;
            }
            return output;
        });
}

std::shared_ptr<Image2D> multiply(const Image2D& a, const Image2D& b)
{
    if (!a.isValid())
        return warnInvalidKey(kMultiply, Multiply::INPUT_A_IMAGE), nullptr;
    if (!b.isValid())
        return warnInvalidKey(kMultiply, Multiply::INPUT_B_IMAGE), nullptr;
    if (!multiplicandsMatch(a, b))
        return nullptr;
    return dispatchDataType(NoIntPixelTypes{}, a.getDataType(), "image2d::Multiply : data type not supported: ",
                            [&](auto tag) -> std::shared_ptr<Image2D> {
                                using T = typename decltype(tag)::type;
                                auto output = newUnfilledImageLike(a);
                                if (!output)
                                    return nullptr;
                                multiplyPixels(a.getConstData<T>(), b.getConstData<T>(), output->getData<T>(),
                                               a.getNumPixels());
                                return output;
                            });
}

std::shared_ptr<Image2D> difference(const Image2D& a, const Image2D& b)
{
    if (!a.isValid())
        return warnInvalidKey(kDifference, Algorithm::INPUT_IMAGE), nullptr;
    if (!b.isValid())
        return warnInvalidKey(kDifference, Difference::TAKE_DIFFERENCE_OF), nullptr;
    if (!differenceOperandsMatch(a, b))
        return nullptr;
    return dispatchDataType(AllPixelTypes{}, a.getDataType(),
                            "image2d::Difference : Difference algorithm not supported for data type: ",
                            [&](auto tag) -> std::shared_ptr<Image2D> {
                                using T = typename decltype(tag)::type;
                                auto output = newUnfilledImageLike(a);
                                if (!output)
                                    return nullptr;
                                differencePixels(a.getConstData<T>(), b.getConstData<T>(), output->getData<T>(),
                                                 a.getNumPixels());
                                return output;
                            });
}

// ---- Threshold --------------------------------------------------------------------------

namespace {
void warnInvalidOperator(const QString& text)
{
    warning("image2d::Threshold : invalid operator: ", text);
}
} // namespace

const Parameter<float> Threshold::VALUE_PARAMETER{&THRESHOLD_VALUE, ValueKind::Double, Bounds::any(),
                                                  "threshold t, truncated toward zero for integer types"};
const Parameter<QString> Threshold::OPERATOR_PARAMETER{&THRESHOLD_OPERATOR, Bounds::any(),
                                                       "\">\": 1 above the threshold; \"<\": 1 below it"};

const ParameterList& Threshold::parameters()
{
    static const ParameterList list{&VALUE_PARAMETER, &OPERATOR_PARAMETER};
    return list;
}

Threshold::Threshold()
{
    setUniformValue(THRESHOLD_OPERATOR, QStringLiteral(">"));
}

bool Threshold::isInputValid() const
{
    if (!VALUE_PARAMETER.validate(*this, kThreshold) || !OPERATOR_PARAMETER.validate(*this, kThreshold))
        return false;
    const QString text = OPERATOR_PARAMETER(*this);
    if (text != QLatin1String("<") && text != QLatin1String(">"))
    {
        warnInvalidOperator(text);
        return fail(FailureReason::OutOfRange, THRESHOLD_OPERATOR);
    }
    return requireInputImage(kThreshold, INPUT_IMAGE);
}

bool Threshold::process(const std::atomic<bool>& /*cancel*/)
{
    const std::shared_ptr<Image2D> input = getSharedInput(INPUT_IMAGE);
    return publish(OUTPUT_IMAGE,
                   threshold(*input, VALUE_PARAMETER(*this), comparisonOf(OPERATOR_PARAMETER(*this))), *input,
                   AllPixelTypes{});
}

std::shared_ptr<Image2D> Threshold::executeThreshold(Image2D* image, float value)
{
    std::atomic<bool> cancel{false};
    Threshold algorithm;
    // A null image is left out, so validation reports the missing input.
    if (image)
        algorithm.setInput(INPUT_IMAGE, image);
    algorithm.setUniformValue(THRESHOLD_VALUE, value);
    algorithm.execute(cancel);
    return algorithm.getSharedOutput(OUTPUT_IMAGE);
}

// ---- Mask -------------------------------------------------------------------------------

const Parameter<double> Mask::VALUE_PARAMETER{&VALUE_FOR_MASKED_PIXELS, 0.0, Lenient{},
                                              "value of the pixels under a 0 of the mask, truncated toward zero"};

const ParameterList& Mask::parameters()
{
    static const ParameterList list{&VALUE_PARAMETER};
    return list;
}

bool Mask::isInputValid() const
{
    if (!requireImages(*this, kMask, INPUT_IMAGE, MASK_IMAGE))
        return false;
    return maskMatches(*getSharedInput(INPUT_IMAGE), *getSharedInput(MASK_IMAGE)) ||
           fail(FailureReason::Invalid, MASK_IMAGE);
}

bool Mask::process(const std::atomic<bool>& cancel)
{
    const std::shared_ptr<Image2D> input = getSharedInput(INPUT_IMAGE);
    return publish(OUTPUT_IMAGE, mask(*input, *getSharedInput(MASK_IMAGE), VALUE_PARAMETER(*this), cancel), *input,
                   NoIntPixelTypes{});
}

std::shared_ptr<Image2D> Mask::executeMask(const Image2D* image, const Image2D* mask, double value)
{
    std::atomic<bool> cancel{false};
    Mask algorithm;
    if (image)
        algorithm.setInput(INPUT_IMAGE, image);
    if (mask)
        algorithm.setInput(MASK_IMAGE, mask);
    algorithm.setUniformValue(VALUE_FOR_MASKED_PIXELS, value);
    algorithm.execute(cancel);
    return algorithm.getSharedOutput(OUTPUT_IMAGE);
}

// ---- Multiply ---------------------------------------------------------------------------

const ParameterList& Multiply::parameters()
{
    static const ParameterList list;
    return list;
}

bool Multiply::isInputValid() const
{
    if (!requireImages(*this, kMultiply, INPUT_A_IMAGE, INPUT_B_IMAGE))
        return false;
    return multiplicandsMatch(*getSharedInput(INPUT_A_IMAGE), *getSharedInput(INPUT_B_IMAGE)) ||
           fail(FailureReason::Invalid, INPUT_B_IMAGE);
}

bool Multiply::process(const std::atomic<bool>& /*cancel*/)
{
    const std::shared_ptr<Image2D> a = getSharedInput(INPUT_A_IMAGE);
    return publish(OUTPUT_IMAGE, multiply(*a, *getSharedInput(INPUT_B_IMAGE)), *a, NoIntPixelTypes{});
}

std::shared_ptr<Image2D> Multiply::executeMultiply(Image2D* a, Image2D* b)
{
    std::atomic<bool> cancel{false};
    Multiply algorithm;
    if (a)
        algorithm.setInput(INPUT_A_IMAGE, a);
    if (b)
        algorithm.setInput(INPUT_B_IMAGE, b);
    algorithm.execute(cancel);
    return algorithm.getSharedOutput(OUTPUT_IMAGE);
}

// ---- Difference -------------------------------------------------------------------------

const ParameterList& Difference::parameters()
{
    static const ParameterList list;
    return list;
}

bool Difference::isInputValid() const
{
    if (!requireImages(*this, kDifference, INPUT_IMAGE, TAKE_DIFFERENCE_OF))
        return false;
    return differenceOperandsMatch(*getSharedInput(INPUT_IMAGE), *getSharedInput(TAKE_DIFFERENCE_OF)) ||
           fail(FailureReason::Invalid, TAKE_DIFFERENCE_OF);
}

bool Difference::process(const std::atomic<bool>& /*cancel*/)
{
    const std::shared_ptr<Image2D> a = getSharedInput(INPUT_IMAGE);
    return publish(OUTPUT_IMAGE, difference(*a, *getSharedInput(TAKE_DIFFERENCE_OF)), *a, AllPixelTypes{});
}

std::shared_ptr<Image2D> Difference::executeDifference(std::shared_ptr<Image2D> a, std::shared_ptr<Image2D> b)
{
    std::atomic<bool> cancel{false};
    Difference algorithm;
    algorithm.setSharedInput(INPUT_IMAGE, std::move(a));
    algorithm.setSharedInput(TAKE_DIFFERENCE_OF, std::move(b));
    algorithm.execute(cancel);
    return algorithm.getSharedOutput(OUTPUT_IMAGE);
}

} // namespace image2d
