#include "image2d/filtering/Smoothing.h"

#include "image2d/filtering/Convolution.h"
#include "image2d/filtering/Kernels.h"
#include "image2d/framework/Log.h"

#include <cmath>

namespace image2d {

const QString Denoise::FILTER_ID = QStringLiteral("Denoise");
const QString Denoise::KERNEL_STD = QStringLiteral("kernelStdDenoise");
const QString Denoise::KERNEL_RADIUS = QStringLiteral("kernelRadiusDenoise");

namespace {

void warnOutOfRange(const char* owner, const QString& key)
{
    const QByteArray text = QByteArray(owner) + " : value out of range: ";
    warning(text.constData(), key);
}

} // namespace

bool Denoise::isInputValid() const
{
    const char* owner = "image2d::Denoise";
    if (!requireInputImage(owner, INPUT_IMAGE))
        return false;
    const utility::Optional<float> sigma = requireFloat(owner, KERNEL_STD);
    if (!sigma)
        return false;
    // NaN is no standard deviation either.
    if (!(*sigma >= 0.0f))
    {
        warnOutOfRange(owner, KERNEL_STD);
        return false;
    }
    const utility::Optional<int> radius = requireInt(owner, KERNEL_RADIUS);
    if (!radius)
        return false;
    if (*radius < 1)
    {
        warnOutOfRange(owner, KERNEL_RADIUS);
        return false;
    }
    return true;
}

bool Denoise::process(const std::atomic<bool>&)
{
    const std::shared_ptr<Image2D> input = getSharedInput(INPUT_IMAGE);
    const float sigma = *getUniformFloatValue(KERNEL_STD);
    if (sigma <= 0.0f)
    {
        setSharedOutput(OUTPUT_IMAGE, input);
        return true;
    }
    const int maxRadius = *getUniformIntValue(KERNEL_RADIUS);
    const float wanted = std::ceil(3.0f * sigma);
    const int radius = wanted >= static_cast<float>(maxRadius) ? std::max(maxRadius, 1) : static_cast<int>(wanted);
    const long long size = 2LL * radius + 1;
    if (size > input->getWidth() || size > input->getHeight())
    {
        warning("Denoise filter: invalid kernel size or sigma, not applying denoise.");
        setSharedOutput(OUTPUT_IMAGE, input);
        return true;
    }
    SeparableGaussian kernel(radius, sigma);
    setSharedOutput(OUTPUT_IMAGE, SeparableFilter::executeSeparableFilter(input, &kernel, Image2D::RGBA));
    return true;
}

} // namespace image2d
