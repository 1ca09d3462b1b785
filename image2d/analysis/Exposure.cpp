#include "image2d/analysis/Exposure.h"

#include "image2d/analysis/Histograms.h"
#include "image2d/filtering/Convolution.h"
#include "image2d/filtering/Kernels.h"
#include "image2d/framework/Log.h"
#include "image2d/framework/Parameters.h"

namespace image2d {

namespace {

constexpr const char* kOwner = "image2d::Exposure";

bool sameSize(const Image2D& image, const Image2D& mask)
{
    return image.getSize() == mask.getSize();
}

void warnSizes()
{
    warning("image2d::Exposure : input and mask image do not have the same size");
}

} // namespace

ExposureBands exposureBands(const std::array<std::uint64_t, 256>& counts)
{
    ExposureBands bands;
    for (int v = 1; v <= 84; ++v)
        bands.low += counts[v];
    for (int v = 85; v <= 169; ++v)
        bands.middle += counts[v];
    for (int v = 170; v <= 254; ++v)
        bands.high += counts[v];
    return bands;
}

Exposure::ExposureType exposureFromCounts(const std::array<std::uint64_t, 256>& counts)
{
    const ExposureBands c = exposureBands(counts);
    if (c.low >= c.middle && c.low >= c.high)
        return Exposure::DARK;
    if (c.high >= c.middle)
        return Exposure::BRIGHT;
    // The middle band holds most, so some group has counts; the first fullest one wins.
    int peakGroup = 0;
    std::uint64_t peakCount = 0;
    for (int group = 0; group < 51; ++group)
    {
        std::uint64_t sum = 0;
        for (int v = std::max(1, 5 * group); v < 5 * group + 5; ++v)
            sum += counts[v];
        if (sum > peakCount)
            peakGroup = group, peakCount = sum;
    }
    const int peak = 5 * peakGroup + 2;
    if (peak < 76)
        return Exposure::DARK;
    if (peak >= 179)
        return Exposure::BRIGHT;
    const double total = static_cast<double>(c.low + c.middle + c.high);
    return 0.01 * total > static_cast<double>(c.high) ? Exposure::DARK : Exposure::BALANCED;
}

utility::Optional<Exposure::ExposureType> classifyExposure(const Image2D& image, const Image2D& mask,
                                                           const std::atomic<bool>& cancel)
{
    if (!image.isValid())
        return warnInvalidKey(kOwner, Algorithm::INPUT_IMAGE), utility::Optional<Exposure::ExposureType>();
    if (!mask.isValid())
        return warnInvalidKey(kOwner, Exposure::MASK_IMAGE), utility::Optional<Exposure::ExposureType>();
    if (!sameSize(image, mask))
        return warnSizes(), utility::Optional<Exposure::ExposureType>();
    // The smoothing keeps the pixel type, so an image it cannot be classified in is told
    // before it is smoothed for nothing.
    const Image2D::DataType type = image.getDataType();
    if (type != Image2D::UNSIGNED_CHAR && type != Image2D::BINARY)
    {
        warning("image2d::Exposure : acquisition helper algorithm not supported for data type: ", static_cast<int>(type));
        return {};
    }
    if (mask.getDataType() != Image2D::BINARY)
    {
        warning("image2d::Mask : mask image is not a binary image.");
        return {};
    }
    const SeparableGaussian kernel(4, 2.0f);
    const std::shared_ptr<Image2D> smoothed = separableFilter(image, kernel, type);
    if (!smoothed || cancel.load())
        return {};
    // Counting only under the mask and leaving 0 out is what masking the outside to 0 and
    // dropping the count of 0 comes to.
    return exposureFromCounts(countByteValues(*smoothed, Window::whole(image.getWidth(), image.getHeight()), &mask));
}

const QString Exposure::MASK_IMAGE = QStringLiteral("maskImage");
const QString Exposure::EXPOSURE_VALUE = QStringLiteral("exposureValue");

Exposure::ExposureType Exposure::executeExposure(std::shared_ptr<Image2D> image, std::shared_ptr<Image2D> mask)
{
    Exposure algorithm;
    algorithm.setSharedInput(INPUT_IMAGE, std::move(image));
    algorithm.setSharedInput(MASK_IMAGE, std::move(mask));
    algorithm.execute(neverCancelled());
    return static_cast<ExposureType>(algorithm.getUniformIntValue(EXPOSURE_VALUE).value_or(BALANCED));
}

bool Exposure::isInputValid() const
{
    if (!requireInputImage(kOwner, INPUT_IMAGE) || !requireInputImage(kOwner, MASK_IMAGE))
        return false;
    if (!sameSize(*getSharedInput(INPUT_IMAGE), *getSharedInput(MASK_IMAGE)))
        return warnSizes(), fail(FailureReason::Invalid, MASK_IMAGE);
    return true;
}

bool Exposure::process(const std::atomic<bool>& cancel)
{
    const std::shared_ptr<Image2D> input = getSharedInput(INPUT_IMAGE);
    compute(input, getSharedInput(MASK_IMAGE), cancel);
    setSharedOutput(OUTPUT_IMAGE, input);
    return true;
}

void Exposure::compute(std::shared_ptr<Image2D> image, std::shared_ptr<Image2D> mask, const std::atomic<bool>& cancel)
{
    if (const utility::Optional<ExposureType> type = classifyExposure(*image, *mask, cancel))
        setUniformValue(EXPOSURE_VALUE, static_cast<int>(*type));
}

} // namespace image2d
