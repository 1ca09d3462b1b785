#include "image2d/enhancement/SharpenOrvane.h"

#include "image2d/filtering/Convolution.h"
#include "image2d/filtering/Kernels.h"
#include "image2d/framework/Log.h"
#include "image2d/toolbox/Image2DOperations.h"
#include "platform/pixeldata/Conversions.h"

#include <QVariant>

namespace image2d {

namespace {

constexpr const char* kOwner = "image2d::SharpenOrvane";

} // namespace

utility::Optional<SharpenOrvane::KernelType> SharpenOrvane::readKernelType() const
{
    const QVariant value = getUniformValue(KERNEL_TYPE);
    const QMetaType enumType = QMetaType::fromType<KernelType>();
    if (value.metaType() == enumType)
        return value.value<KernelType>();
    QVariant converted = value;
    if (!value.isValid() || !converted.convert(enumType))
        return {};
    return converted.value<KernelType>();
}

bool SharpenOrvane::isInputValid() const
{
    if (!requireInputImage(kOwner, INPUT_IMAGE))
        return false;
    if (!getUniformValue(KERNEL_TYPE).isValid())
    {
        warnMissingInput(kOwner, KERNEL_TYPE);
        return false;
    }
    if (!readKernelType())
    {
        warnInvalidInput(kOwner, KERNEL_TYPE);
        return false;
    }
    return true;
}

std::shared_ptr<Image2D> SharpenOrvane::sharpen(const std::atomic<bool>& cancel, std::shared_ptr<Image2D> image,
                                                KernelType kernelType) const
{
    Kernel kernel(kernelValues(kernelType));
    Filter filter(&kernel);
    filter.setSharedInput(INPUT_IMAGE, std::move(image));
    filter.execute(cancel);
    return filter.getSharedOutput(OUTPUT_IMAGE);
}

bool SharpenOrvane::process(const std::atomic<bool>& cancel)
{
    const std::shared_ptr<Image2D> input = getSharedInput(INPUT_IMAGE);
    if (!input || !input->isValid())
        return false;
    const KernelType kernelType = readKernelType().value_or(KERNEL_7X7_STRONG);

    auto floatImage = std::make_shared<Image2D>(Image2DOperations::convertDataType(*input, Image2D::FLOAT));
    std::shared_ptr<Image2D> result = sharpen(cancel, floatImage, kernelType);

    if (result && result->isValid() && result->getDataType() != input->getDataType())
    {
        // Cut the overshoot at edges off at the input's own range before going back to
        // the integer type, so sharpening never widens the value range.
        const math::Range<float> range = input->getDataRange();
        const float low = range.getMin();
        const float high = range.getMax();
        float* values = result->getData<float>();
        const std::size_t count = result->getNumPixels();
        for (std::size_t i = 0; i < count; ++i)
        {
            if (values[i] < low)
                values[i] = low;
            else if (values[i] > high)
                values[i] = high;
        }
        result->editFinished();
        result = std::make_shared<Image2D>(conversions::convertToDataType(*result, input->getDataType()));
    }
    if (result && result->isValid())
        result->setPixelSize(input->getPixelSize());
    else
        result.reset();

    setSharedOutput(OUTPUT_IMAGE, result);
    return true;
}

std::shared_ptr<Image2D> SharpenOrvane::executeSharpen(const Image2D* image, KernelType kernelType)
{
    SharpenOrvane algorithm;
    if (image)
        algorithm.setInput(INPUT_IMAGE, image);
    algorithm.setUniformValue(KERNEL_TYPE, QVariant::fromValue(kernelType));
    const std::atomic<bool> cancel{false};
    algorithm.execute(cancel);
    return algorithm.getSharedOutput(OUTPUT_IMAGE);
}

} // namespace image2d
