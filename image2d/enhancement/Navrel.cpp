#include "image2d/enhancement/Navrel.h"

#include "image2d/enhancement/SharpeningStore.h"
#include "image2d/filtering/LocalStatistics.h"
#include "image2d/framework/Dispatch.h"
#include "image2d/framework/Log.h"
#include "image2d/framework/Parallel.h"
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
const QString Navrel::KERNEL_RADIUS = QStringLiteral("kernelRadiusImage");
const QString Navrel::SHARPNESS_FACTOR = QStringLiteral("sharpnessFactorImage");
const QString Navrel::WHITE_VALUE = QStringLiteral("whiteValueImage");
const QString Navrel::BLACK_VALUE = QStringLiteral("blackValueImage");

namespace {

constexpr const char* kOwner = "image2d::Navrel";

using NavrelTypes =
    PixelTypes<Image2D::UNSIGNED_SHORT, Image2D::SHORT, Image2D::UNSIGNED_CHAR, Image2D::BINARY, Image2D::FLOAT>;

/// v = I + (I n - Sm) k for the pixels [first, last); windows without band pixels keep I.
/// Both values are computed and one selected, so that the loop vectorises (out of line
/// for the same reason).
template <typename T, typename Sum>
[[gnu::noinline]] void navrelRange(const T* in, const std::int32_t* count, const Sum* sum, T* out,
                                   std::ptrdiff_t first, std::ptrdiff_t last, double k)
{
    for (std::ptrdiff_t i = first; i < last; ++i)
    {
        const std::int32_t n = count[i];
        const double value = in[i];
        const T sharpened = sharpening::storeRounded<T>(value + (value * n - static_cast<double>(sum[i])) * k);
        out[i] = n < 1 ? in[i] : sharpened;
    }
}

} // namespace

bool Navrel::isInputValid() const
{
    return requireInputImage(kOwner, INPUT_IMAGE) && requireInt(kOwner, MEDIAN_RADIUS) &&
           requireInt(kOwner, BLACK_VALUE) && requireInt(kOwner, WHITE_VALUE) && requireInt(kOwner, KERNEL_RADIUS) &&
           requireInt(kOwner, SHARPNESS_FACTOR);
}

std::shared_ptr<Image2D> Navrel::thresholdImage(const std::atomic<bool>& cancel, std::shared_ptr<Image2D> image,
                                                float value, const QString& op) const
{
    Threshold threshold;
    threshold.setSharedInput(INPUT_IMAGE, std::move(image));
    threshold.setUniformValue(Threshold::THRESHOLD_VALUE, value);
    threshold.setUniformValue(Threshold::THRESHOLD_OPERATOR, op);
    threshold.execute(cancel);
    return threshold.getSharedOutput(OUTPUT_IMAGE);
}

std::shared_ptr<Image2D> Navrel::thresholdMinMaxImage(const std::atomic<bool>& cancel, std::shared_ptr<Image2D> image,
                                                      float black, float white) const
{
    const std::shared_ptr<Image2D> aboveBlack = thresholdImage(cancel, image, black, QStringLiteral(">"));
    const std::shared_ptr<Image2D> belowWhite = thresholdImage(cancel, image, white, QStringLiteral("<"));
    return multiplyImage(cancel, aboveBlack, belowWhite);
}

std::shared_ptr<Image2D> Navrel::multiplyImage(const std::atomic<bool>& cancel, std::shared_ptr<Image2D> a,
                                               std::shared_ptr<Image2D> b) const
{
    Multiply multiply;
    multiply.setSharedInput(Multiply::INPUT_A_IMAGE, std::move(a));
    multiply.setSharedInput(Multiply::INPUT_B_IMAGE, std::move(b));
    multiply.execute(cancel);
    return multiply.getSharedOutput(OUTPUT_IMAGE);
}

std::shared_ptr<Image2D> Navrel::maskImage(const std::atomic<bool>& cancel, std::shared_ptr<Image2D> image,
                                           std::shared_ptr<Image2D> mask) const
{
    Mask masking;
    masking.setSharedInput(INPUT_IMAGE, std::move(image));
    masking.setSharedInput(Mask::MASK_IMAGE, std::move(mask));
    masking.execute(cancel);
    return masking.getSharedOutput(OUTPUT_IMAGE);
}

std::shared_ptr<Image2D> Navrel::satImage(const std::atomic<bool>& cancel, std::shared_ptr<Image2D> image) const
{
    SubSummedAreaTable table;
    table.setSharedInput(INPUT_IMAGE, std::move(image));
    table.setUniformValue(SubSummedAreaTable::KERNEL_RADIUS, getUniformFloatValue(KERNEL_RADIUS).value_or(0.0f));
    table.execute(cancel);
    return table.getSharedOutput(OUTPUT_IMAGE);
}

std::shared_ptr<Image2D> Navrel::navrel(const std::atomic<bool>& cancel, std::shared_ptr<Image2D> input,
                                        std::shared_ptr<Image2D> countTable, std::shared_ptr<Image2D> sumTable) const
{
    if (cancel.load() || !input)
        return {};
    const double factor = getUniformFloatValue(SHARPNESS_FACTOR).value_or(0.0f);
    const double radius = getUniformFloatValue(KERNEL_RADIUS).value_or(0.0f);
    const double side = 2.0 * radius + 1.0;
    const double k = factor / (side * side);
    return dispatchDataType(
        NavrelTypes{}, input->getDataType(), "image2d::Navrel : navrel algorithm not supported for data type: ",
        [&](auto tag) -> std::shared_ptr<Image2D> {
            using T = typename decltype(tag)::type;
            // Window sums of integer images are INT, those of FLOAT images FLOAT.
            using Sum = std::conditional_t<std::is_same_v<T, float>, float, std::int32_t>;
            const Image2D::DataType sumType = std::is_same_v<T, float> ? Image2D::FLOAT : Image2D::INT;
            auto result =
                std::make_shared<Image2D>(input->getSize(), input->getDataType(), input->getPixelSize(), true);
            if (!result->isValid())
                return {};
            if (!input->isValid() || !usable(countTable, *input, Image2D::INT) || !usable(sumTable, *input, sumType))
                return result;
            const T* in = input->getConstData<T>();
            const std::int32_t* count = countTable->getConstData<std::int32_t>();
            const Sum* sum = sumTable->getConstData<Sum>();
            T* out = result->getData<T>();
            parallelFor(std::ptrdiff_t{0}, static_cast<std::ptrdiff_t>(input->getNumPixels()),
                        [&](std::ptrdiff_t first, std::ptrdiff_t last) {
                            navrelRange(in, count, sum, out, first, last, k);
                        });
            return result;
        });
}

bool Navrel::process(const std::atomic<bool>& cancel)
{
    const std::shared_ptr<Image2D> input = getSharedInput(INPUT_IMAGE);
    if (!input || !input->isValid())
        return false;
    std::shared_ptr<Image2D> countTable;
    std::shared_ptr<Image2D> sumTable;
    // An unsupported type is reported once, by navrel(), without running the inner steps.
    if (NavrelTypes::contains(input->getDataType()))
    {
        const float white = getUniformFloatValue(WHITE_VALUE).value_or(0.0f);
        const float black = getUniformFloatValue(BLACK_VALUE).value_or(0.0f);
        const std::shared_ptr<Image2D> band = thresholdMinMaxImage(cancel, input, black, white);
        const std::shared_ptr<Image2D> masked = maskImage(cancel, input, band);
        parallelInvoke([&] { sumTable = satImage(cancel, masked); }, [&] { countTable = satImage(cancel, band); });
    }
    setSharedOutput(OUTPUT_IMAGE, navrel(cancel, input, countTable, sumTable));
    return true;
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
    const std::shared_ptr<Image2D> cropped = Crop::executeCrop(image, dx, dy, dx, dy);

    std::shared_ptr<Image2D> windowed;
    if (cropped)
    {
        const double minimum = displayRange.getMin();
        const double maximum = displayRange.getMax();
        const float level = static_cast<float>((minimum + maximum) * 0.5);
        const float window = displayRange.getMax() - displayRange.getMin();
        const std::atomic<bool> cancel{false};
        windowed = LevelWindow::executeLevelWindow(cropped, level, window, cancel);
    }
    utility::Optional<std::pair<std::shared_ptr<Image2D>, std::shared_ptr<Image2D>>> minMax;
    if (windowed)
        minMax = RecursiveMinMax::calculateRecursiveMinMax(windowed, 3);
    if (!minMax)
    {
        warning(kNoiseFailed);
        return {};
    }

    const math::Range<float> range = windowed->getDataRange();
    const float span = range.getMax() - range.getMin();
    const float low = span * 1e-5f;
    const float high = span * 0.04501f;
    const Image2D& minimumImage = *minMax->first;
    const Image2D& maximumImage = *minMax->second;
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
