#include "image2d/analysis/Measurements.h"

#include "image2d/framework/Core.h"
#include "image2d/framework/Parallel.h"
#include "image2d/framework/Parameters.h"
#include "image2d/framework/Simd.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <type_traits>

namespace image2d {

namespace {

bool sharpnessAccepts(const Image2D& image)
{
    return image.isValid() && image.getDataType() == Image2D::UNSIGNED_CHAR && image.getWidth() >= 3 &&
           image.getHeight() >= 3;
}

// Gradient magnitudes of one row: a the row above, b the row, c the row below (already
// clamped), columns clamped at both ends.
void rowMagnitudes(const std::uint8_t* a, const std::uint8_t* b, const std::uint8_t* c, int width, double* m)
{
    const auto magnitude = [&](int l, int x, int r) {
        const int gx = 2 * (b[l] - b[r]) + a[l] + c[l] - a[r] - c[r];
        const int gy = 2 * (a[x] - c[x]) + a[l] + a[r] - c[l] - c[r];
        return std::sqrt(static_cast<double>(gx * gx + gy * gy));
    };
    m[0] = magnitude(0, 0, 1);
    for (int x = 1; x < width - 1; ++x)
        m[x] = magnitude(x - 1, x, x + 1);
    m[width - 1] = magnitude(width - 2, width - 1, width - 1);
}

// Float pixels one after the other: NaN never passes a comparison, and of +0 and -0 the
// first one seen stays.
void maskedRange(const float* pixels, const std::uint8_t* mask, std::size_t count, float& lowest, float& highest)
{
    for (std::size_t i = 0; i < count; ++i)
        if (mask[i] != 0)
        {
            lowest = pixels[i] < lowest ? pixels[i] : lowest;
            highest = pixels[i] > highest ? pixels[i] : highest;
        }
}

// Integer pixels: minimum and maximum in the pixel type, which are exact in any order, so the
// loop vectorises; converted to float at the end as every value would have been. Values are
// compared as unsigned keys (signed ones with the sign bit flipped, which keeps their order);
// a pixel outside the mask offers the largest key to the minimum and 0 to the maximum.
template <typename T>
IMAGE2D_INLINE_LOOP void maskedIntegerRange(const T* pixels, const std::uint8_t* mask, std::size_t count, T& low,
                                            T& high, bool& any)
{
    using U = std::make_unsigned_t<T>;
    constexpr U flip = std::is_signed_v<T> ? static_cast<U>(U(1) << (8 * sizeof(T) - 1)) : U(0);
    U l = std::numeric_limits<U>::max(), h = 0, seen = 0;
    for (std::size_t i = 0; i < count; ++i)
    {
        const U keep = static_cast<U>(U(0) - U(mask[i] != 0));
        const U key = static_cast<U>(static_cast<U>(pixels[i]) ^ flip);
        l = std::min<U>(l, static_cast<U>(key | static_cast<U>(~keep)));
        h = std::max<U>(h, static_cast<U>(key & keep));
        seen |= keep;
    }
    low = static_cast<T>(l ^ flip), high = static_cast<T>(h ^ flip), any = seen != 0;
}

template <typename T>
void maskedRange(const T* pixels, const std::uint8_t* mask, std::size_t count, float& lowest, float& highest)
{
    T low{}, high{};
    bool any = false;
    simd::runVectorized([&]() IMAGE2D_INLINE_LAMBDA { maskedIntegerRange(pixels, mask, count, low, high, any); });
    if (any)
        lowest = static_cast<float>(low), highest = static_cast<float>(high);
}

constexpr const char* kMinMaxOwner = "image2d::MinMaxOfMaskedArea";

// The checks of the masked range, in the algorithm's order, with its warnings.
bool checkMaskedRangeInputs(const Image2D* image, const Image2D* mask)
{
    if (!image || !image->isValid())
        return warnInvalidKey(kMinMaxOwner, Algorithm::INPUT_IMAGE), false;
    if (!mask || !mask->isValid() || mask->getDataType() != Image2D::BINARY)
        return warnInvalidKey(kMinMaxOwner, MinMaxOfMaskedArea::MASK_IMAGE), false;
    if (mask->getSize() != image->getSize())
        return warning("image2d::MinMaxOfMaskedArea : invalid input: image sizes do not match"), false;
    return true;
}

} // namespace

double sharpnessEstimate(const Image2D& image)
{
    if (!sharpnessAccepts(image))
        return 0.0;
    const int width = image.getWidth(), height = image.getHeight();
    const std::uint8_t* p = image.getConstData<std::uint8_t>();
    double* m = threadScratch<double, struct SharpnessRowTag>(static_cast<std::size_t>(width));
    // Welford's running mean and sum of squares, one pixel after the other: the order of the
    // additions is part of the result.
    double n = 0.0, mean = 0.0, squares = 0.0;
    for (int y = 0; y < height; ++y)
    {
        rowMagnitudes(p + pixelIndex(0, std::max(y - 1, 0), width), p + pixelIndex(0, y, width),
                      p + pixelIndex(0, std::min(y + 1, height - 1), width), width, m);
        for (int x = 0; x < width; ++x)
        {
            n += 1.0;
            const double old = mean;
            mean += (m[x] - mean) / n;
            squares += (m[x] - old) * (m[x] - mean);
        }
    }
    return squares / n;
}

utility::Optional<std::pair<float, float>> minMaxOfMaskedArea(const Image2D& image, const Image2D& mask)
{
    if (!checkMaskedRangeInputs(&image, &mask))
        return {};
    float lowest = std::numeric_limits<float>::max();
    float highest = -std::numeric_limits<float>::infinity();
    const bool supported = dispatchDataType(NoIntPixelTypes{}, image.getDataType(),
                                            "image2d::MinMaxOfMaskedArea : algorithm not supported for data type: ",
                                            [&](auto tag) {
                                                using T = typename decltype(tag)::type;
                                                maskedRange(image.getConstData<T>(), mask.getConstData<std::uint8_t>(),
                                                            image.getNumPixels(), lowest, highest);
                                                return true;
                                            });
    // A minimum still at the largest float means no pixel was masked.
    if (!supported || lowest == std::numeric_limits<float>::max())
        return {};
    return std::make_pair(lowest, highest);
}

const QString Sharpness::SHARPNESS = QStringLiteral("sharpness");

double Sharpness::calculateSharpness(const Image2D* image)
{
    return image ? sharpnessEstimate(*image) : 0.0;
}

bool Sharpness::isInputValid() const
{
    constexpr const char* owner = "image2d::Sharpness";
    if (!requireInputImage(owner, INPUT_IMAGE))
        return false;
    if (!sharpnessAccepts(*getSharedInput(INPUT_IMAGE)))
        return warnInvalidKey(owner, INPUT_IMAGE), fail(FailureReason::Invalid, INPUT_IMAGE);
    return true;
}

bool Sharpness::process(const std::atomic<bool>&)
{
    const std::shared_ptr<Image2D> input = getSharedInput(INPUT_IMAGE);
    m_estimate = sharpnessEstimate(*input);
    setSharedOutput(OUTPUT_IMAGE, input);
    return true;
}

const QString MinMaxOfMaskedArea::MASK_IMAGE = QStringLiteral("maskImage");
const QString MinMaxOfMaskedArea::MIN_VALUE = QStringLiteral("minValue");
const QString MinMaxOfMaskedArea::MAX_VALUE = QStringLiteral("maxValue");

utility::Optional<std::pair<float, float>> MinMaxOfMaskedArea::calculateMinMaxOfMaskedArea(const Image2D& image,
                                                                                           const Image2D* mask)
{
    if (!mask)
        return std::make_pair(image.getMinFloatValue(), image.getMaxFloatValue());
    MinMaxOfMaskedArea algorithm;
    // Both images are only read: lent, not copied.
    algorithm.setSharedInput(INPUT_IMAGE, borrowImage(image));
    algorithm.setSharedInput(MASK_IMAGE, borrowImage(*mask));
    algorithm.execute(neverCancelled());
    const utility::Optional<float> lowest = algorithm.getUniformFloatValue(MIN_VALUE);
    const utility::Optional<float> highest = algorithm.getUniformFloatValue(MAX_VALUE);
    if (!lowest || !highest)
        return {};
    return std::make_pair(*lowest, *highest);
}

bool MinMaxOfMaskedArea::isInputValid() const
{
    if (!requireInputImage(kMinMaxOwner, INPUT_IMAGE) || !requireInputImage(kMinMaxOwner, MASK_IMAGE))
        return false;
    return checkMaskedRangeInputs(getSharedInput(INPUT_IMAGE).get(), getSharedInput(MASK_IMAGE).get()) ||
           fail(FailureReason::Invalid, MASK_IMAGE);
}

bool MinMaxOfMaskedArea::process(const std::atomic<bool>&)
{
    const std::shared_ptr<Image2D> input = getSharedInput(INPUT_IMAGE);
    const utility::Optional<std::pair<float, float>> range = minMaxOfMaskedArea(*input, *getSharedInput(MASK_IMAGE));
    if (!range)
        return fail(NoIntPixelTypes::contains(input->getDataType()) ? FailureReason::Failed
                                                                    : FailureReason::UnsupportedType,
                    INPUT_IMAGE);
    setUniformValue(MIN_VALUE, range->first);
    setUniformValue(MAX_VALUE, range->second);
    return true;
}

} // namespace image2d
