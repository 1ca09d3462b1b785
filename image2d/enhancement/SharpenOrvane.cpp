#include "image2d/enhancement/SharpenOrvane.h"

#include "image2d/filtering/Convolution.h"
#include "image2d/filtering/Kernels.h"
#include "image2d/framework/Log.h"
#include "image2d/toolbox/Image2DOperations.h"
#include "platform/pixeldata/Conversions.h"

#include <QVariant>

#include <cstddef>

namespace image2d {

namespace {

constexpr const char* kOwner = "image2d::SharpenOrvane";

} // namespace

const Parameter<SharpenOrvane::KernelType> SharpenOrvane::KERNEL_TYPE_PARAMETER{
    &KERNEL_TYPE, Bounds::any(), "which of the five kernels; values other than 0-3 select KERNEL_7X7_STRONG"};

const ParameterList& SharpenOrvane::parameters()
{
    static const ParameterList list{&KERNEL_TYPE_PARAMETER};
    return list;
}

std::shared_ptr<Image2D> sharpenOrvane(const Image2D& image, SharpenOrvane::KernelType kernelType)
{
    if (!image.isValid())
        return warnInvalidKey(kOwner, Algorithm::INPUT_IMAGE), nullptr;
    // Held to the end: freed before the conversion back, its memory would be reused and
    // zero-filled for that result instead of coming fresh from the system.
    const Image2D floatImage = Image2DOperations::convertDataType(image, Image2D::FLOAT);
    std::shared_ptr<Image2D> result = filter(floatImage, Kernel(SharpenOrvane::kernelValues(kernelType)));

    if (result && result->isValid() && result->getDataType() != image.getDataType())
    {
        // Cut the overshoot at edges off at the input's own range before going back to
        // the integer type, so sharpening never widens the value range.
        const math::Range<float> range = image.getDataRange();
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
        result = std::make_shared<Image2D>(conversions::convertToDataType(*result, image.getDataType()));
    }
    if (!result || !result->isValid())
        return nullptr;
    result->setPixelSize(image.getPixelSize());
    return result;
}

bool SharpenOrvane::isInputValid() const
{
    return requireInputImage(kOwner, INPUT_IMAGE) && KERNEL_TYPE_PARAMETER.validate(*this, kOwner);
}

std::shared_ptr<Image2D> SharpenOrvane::sharpen(const std::atomic<bool>&, std::shared_ptr<Image2D> image,
                                                KernelType kernelType) const
{
    if (!image)
        return warnMissingKey("image2d::Filter", INPUT_IMAGE), nullptr;
    return filter(*image, Kernel(kernelValues(kernelType)));
}

std::shared_ptr<Image2D> SharpenOrvane::applyFilter(const Uniforms& parameters, const std::shared_ptr<Image2D>& image,
                                                    const std::atomic<bool>&)
{
    return sharpenOrvane(*image, KERNEL_TYPE_PARAMETER(parameters));
}

bool SharpenOrvane::process(const std::atomic<bool>& cancel)
{
    setSharedOutput(OUTPUT_IMAGE, applyFilter(*this, getSharedInput(INPUT_IMAGE), cancel));
    return true;
}

std::shared_ptr<Image2D> SharpenOrvane::executeSharpen(const Image2D* image, KernelType kernelType)
{
    SharpenOrvane algorithm;
    if (image)
        algorithm.setInput(INPUT_IMAGE, image);
    algorithm.setUniformValue(KERNEL_TYPE, QVariant::fromValue(kernelType));
    algorithm.execute(neverCancelled());
    return algorithm.getSharedOutput(OUTPUT_IMAGE);
}

} // namespace image2d
