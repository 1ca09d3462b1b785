#include "image2d/pointops/ImageArithmetic.h"

#include "image2d/framework/Dispatch.h"
#include "image2d/framework/Log.h"
#include "image2d/pointops/PixelCasts.h"

#include <QVariant>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <type_traits>

namespace image2d {

using pointops_detail::saturateToFloat;
using pointops_detail::truncateTo;

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

bool hasPixels(const std::shared_ptr<Image2D>& image)
{
    return image && image->isValid();
}

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
        return truncateTo<T>(truncated);
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

} // namespace

// ---- Threshold --------------------------------------------------------------------------

Threshold::Threshold()
{
    setUniformValue(THRESHOLD_OPERATOR, QStringLiteral(">"));
}

bool Threshold::isInputValid() const
{
    const utility::Optional<double> value = requireDouble(kThreshold, THRESHOLD_VALUE);
    if (!value)
        return false;
    // No pixel compares meaningfully with NaN.
    if (std::isnan(*value))
    {
        warnInvalidInput(kThreshold, THRESHOLD_VALUE);
        return false;
    }
    QVariant op = getUniformValue(THRESHOLD_OPERATOR);
    if (!op.isValid())
    {
        warnMissingInput(kThreshold, THRESHOLD_OPERATOR);
        return false;
    }
    if (!op.convert(QMetaType::fromType<QString>()))
    {
        warnInvalidInput(kThreshold, THRESHOLD_OPERATOR);
        return false;
    }
    const QString text = op.toString();
    if (text != QLatin1String("<") && text != QLatin1String(">"))
    {
        warning("image2d::Threshold : invalid operator: ", text);
        return false;
    }
    return requireInputImage(kThreshold, INPUT_IMAGE);
}

bool Threshold::process(const std::atomic<bool>& /*cancel*/)
{
    const std::shared_ptr<Image2D> input = getSharedInput(INPUT_IMAGE);
    const utility::Optional<float> value = getUniformFloatValue(THRESHOLD_VALUE);
    if (!hasPixels(input) || !value)
        return false;
    const bool less = getUniformValue(THRESHOLD_OPERATOR).toString() == QLatin1String("<");

    return dispatchDataType(AllPixelTypes{}, input->getDataType(),
                            "image2d::Threshold : threshold algorithm not supported for data type: ", [&](auto tag) {
                                using T = typename decltype(tag)::type;
                                auto output = std::make_shared<Image2D>(input->getSize(), Image2D::BINARY,
                                                                        input->getPixelSize());
                                if (!output->isValid())
                                    return false;
                                thresholdPixels(input->getConstData<T>(), output->getData<std::uint8_t>(),
                                                input->getNumPixels(), *value, less);
                                setSharedOutput(OUTPUT_IMAGE, output);
                                return true;
                            });
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

bool Mask::isInputValid() const
{
    if (!requireInputImage(kMask, INPUT_IMAGE) || !requireInputImage(kMask, MASK_IMAGE))
        return false;
    const std::shared_ptr<Image2D> input = getSharedInput(INPUT_IMAGE);
    const std::shared_ptr<Image2D> mask = getSharedInput(MASK_IMAGE);
    if (mask->getDataType() != Image2D::BINARY)
    {
        warning("image2d::Mask : mask image is not a binary image.");
        return false;
    }
    if (!sameSize(*input, *mask))
    {
        warning("image2d::Mask : input image and mask image are not the same size.");
        return false;
    }
    return true;
}

bool Mask::process(const std::atomic<bool>& cancel)
{
    const std::shared_ptr<Image2D> input = getSharedInput(INPUT_IMAGE);
    const std::shared_ptr<Image2D> mask = getSharedInput(MASK_IMAGE);
    if (!hasPixels(input) || !hasPixels(mask) || mask->getDataTypeSize() != 1 || !sameSize(*input, *mask))
        return false;
    const double value = getUniformDoubleValue(VALUE_FOR_MASKED_PIXELS).value_or(0.0);

    return dispatchDataType(
        NoIntPixelTypes{}, input->getDataType(), "image2d::Mask : mask algorithm not supported for data type: ",
        [&](auto tag) {
            using T = typename decltype(tag)::type;
            auto output = std::make_shared<Image2D>(*input);
            if (!output->isValid())
                return false;
            const T masked = maskingValue<T>(value);
            const std::size_t width = static_cast<std::size_t>(output->getWidth());
            const int height = output->getHeight();
            T* pixels = output->getData<T>();
            const std::uint8_t* maskPixels = mask->getConstData<std::uint8_t>();
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
            setSharedOutput(OUTPUT_IMAGE, output);
            return true;
        });
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

bool Multiply::isInputValid() const
{
    if (!requireInputImage(kMultiply, INPUT_A_IMAGE) || !requireInputImage(kMultiply, INPUT_B_IMAGE))
        return false;
    const std::shared_ptr<Image2D> a = getSharedInput(INPUT_A_IMAGE);
    const std::shared_ptr<Image2D> b = getSharedInput(INPUT_B_IMAGE);
    // B is read in A's layout, so it must have A's size and pixel type.
    if (!sameSize(*a, *b) || a->getDataType() != b->getDataType())
    {
        warning("image2d::Multiply : invalid input: image sizes or data types do not match");
        return false;
    }
    return true;
}

bool Multiply::process(const std::atomic<bool>& /*cancel*/)
{
    const std::shared_ptr<Image2D> a = getSharedInput(INPUT_A_IMAGE);
    const std::shared_ptr<Image2D> b = getSharedInput(INPUT_B_IMAGE);
    if (!hasPixels(a) || !hasPixels(b) || !sameSize(*a, *b) || a->getDataType() != b->getDataType())
        return false;

    return dispatchDataType(NoIntPixelTypes{}, a->getDataType(), "image2d::Multiply : data type not supported: ",
                            [&](auto tag) {
                                using T = typename decltype(tag)::type;
                                auto output =
                                    std::make_shared<Image2D>(a->getSize(), a->getDataType(), a->getPixelSize());
                                if (!output->isValid())
                                    return false;
                                multiplyPixels(a->getConstData<T>(), b->getConstData<T>(), output->getData<T>(),
                                               a->getNumPixels());
                                setSharedOutput(OUTPUT_IMAGE, output);
                                return true;
                            });
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

bool Difference::isInputValid() const
{
    if (!requireInputImage(kDifference, INPUT_IMAGE) || !requireInputImage(kDifference, TAKE_DIFFERENCE_OF))
        return false;
    const std::shared_ptr<Image2D> a = getSharedInput(INPUT_IMAGE);
    const std::shared_ptr<Image2D> b = getSharedInput(TAKE_DIFFERENCE_OF);
    if (!sameSize(*a, *b))
    {
        warning("image2d::Difference : invalid input: image sizes do not match");
        return false;
    }
    if (a->getDataType() != b->getDataType())
    {
        warning("image2d::Difference : invalid input: data types do not match");
        return false;
    }
    return true;
}

bool Difference::process(const std::atomic<bool>& /*cancel*/)
{
    const std::shared_ptr<Image2D> a = getSharedInput(INPUT_IMAGE);
    const std::shared_ptr<Image2D> b = getSharedInput(TAKE_DIFFERENCE_OF);
    if (!hasPixels(a) || !hasPixels(b) || !sameSize(*a, *b) || a->getDataType() != b->getDataType())
        return false;

    return dispatchDataType(AllPixelTypes{}, a->getDataType(),
                            "image2d::Difference : Difference algorithm not supported for data type: ",
                            [&](auto tag) {
                                using T = typename decltype(tag)::type;
                                auto output =
                                    std::make_shared<Image2D>(a->getSize(), a->getDataType(), a->getPixelSize());
                                if (!output->isValid())
                                    return false;
                                differencePixels(a->getConstData<T>(), b->getConstData<T>(), output->getData<T>(),
                                                 a->getNumPixels());
                                setSharedOutput(OUTPUT_IMAGE, output);
                                return true;
                            });
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
