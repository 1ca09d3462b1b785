#include "image2d/filtering/Smoothing.h"

#include "image2d/filtering/Convolution.h"
#include "image2d/filtering/Kernels.h"
#include "image2d/framework/Log.h"
#include "image2d/pointops/ImageArithmetic.h"
#include "image2d/pointops/IntensityMapping.h"
#include "platform/pixeldata/Conversions.h"

#include <cmath>

namespace image2d {

const QString Denoise::FILTER_ID = QStringLiteral("Denoise");
const QString Denoise::KERNEL_STD = QStringLiteral("kernelStdDenoise");
const QString Denoise::KERNEL_RADIUS = QStringLiteral("kernelRadiusDenoise");

const QString DifferenceOfGaussians::FIRST_SIGMA = QStringLiteral("first_sigma");
const QString DifferenceOfGaussians::SECOND_SIGMA = QStringLiteral("second_sigma");
const QString DifferenceOfGaussians::RADIUS = QStringLiteral("radius");
const QString DifferenceOfGaussians::SCALE = QStringLiteral("scale");

namespace {

void warnOutOfRange(const char* owner, const QString& key)
{
    const QByteArray text = QByteArray(owner) + " : value out of range: ";
    warning(text.constData(), key);
}

// The parameter messages of DifferenceOfGaussians have their own spelling ("image2D",
// no colon), unlike its input image messages.
bool warnDogParameter(const QString& key)
{
    warning("image2D::DifferenceOfGaussians : invalid input ", key);
    return false;
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

// ---- DifferenceOfGaussians ----------------------------------------------------------------

bool DifferenceOfGaussians::isInputValid() const
{
    if (!requireInputImage("image2d::DifferenceOfGaussians", INPUT_IMAGE))
        return false;
    // NaN passes none of the comparisons, so it is rejected with the out-of-range values.
    for (const QString* key : {&FIRST_SIGMA, &SECOND_SIGMA})
    {
        const utility::Optional<float> sigma = getUniformFloatValue(*key);
        if (!sigma || !(*sigma >= 0.0f))
            return warnDogParameter(*key);
    }
    const utility::Optional<int> radius = getUniformIntValue(RADIUS);
    if (!radius || *radius < 1)
        return warnDogParameter(RADIUS);
    const utility::Optional<float> scale = getUniformFloatValue(SCALE);
    if (!scale || std::isnan(*scale))
        return warnDogParameter(SCALE);
    return true;
}

bool DifferenceOfGaussians::process(const std::atomic<bool>& cancel)
{
    const std::shared_ptr<Image2D> input = getSharedInput(INPUT_IMAGE);
    const float firstSigma = *getUniformFloatValue(FIRST_SIGMA);
    const float secondSigma = *getUniformFloatValue(SECOND_SIGMA);
    const int radius = *getUniformIntValue(RADIUS);
    const float scale = *getUniformFloatValue(SCALE);

    // Each step has warned already when it fails; an empty result ends the run.
    const std::shared_ptr<Image2D> firstBlur = processGaussian(cancel, input, firstSigma, radius);
    const std::shared_ptr<Image2D> first = firstBlur ? processScale(cancel, firstBlur, scale) : nullptr;
    if (!first)
        return false;
    const std::shared_ptr<Image2D> secondBlur = processGaussian(cancel, input, secondSigma, radius);
    const std::shared_ptr<Image2D> second = secondBlur ? processScale(cancel, secondBlur, scale) : nullptr;
    if (!second)
        return false;
    const std::shared_ptr<Image2D> difference = processDifference(cancel, first, second);
    if (!difference)
        return false;

    auto output = std::make_shared<Image2D>(conversions::convertToDataType(*difference, Image2D::SHORT));
    if (!output->isValid())
        return false;
    setSharedOutput(OUTPUT_IMAGE, output);
    return true;
}

std::shared_ptr<Image2D> DifferenceOfGaussians::processGaussian(const std::atomic<bool>& cancel,
                                                                std::shared_ptr<Image2D> image, float sigma, int radius)
{
    SeparableGaussian kernel(radius, sigma);
    SeparableFilter filter(&kernel);
    filter.setSharedInput(SeparableFilter::INPUT_IMAGE, std::move(image));
    // Kept in float so the scaling and the subtraction lose nothing before the final rounding.
    filter.setUniformValue(SeparableFilter::OUTPUT_DATATYPE, static_cast<int>(Image2D::FLOAT));
    if (!filter.execute(cancel))
        return {};
    return filter.getSharedOutput(SeparableFilter::OUTPUT_IMAGE);
}

std::shared_ptr<Image2D> DifferenceOfGaussians::processScale(const std::atomic<bool>& cancel,
                                                             std::shared_ptr<Image2D> image, float scale)
{
    ScaleColorValue scaling;
    scaling.setSharedInput(ScaleColorValue::INPUT_IMAGE, std::move(image));
    scaling.setUniformValue(ScaleColorValue::SCALAR, scale);
    if (!scaling.execute(cancel))
        return {};
    return scaling.getSharedOutput(ScaleColorValue::OUTPUT_IMAGE);
}

std::shared_ptr<Image2D> DifferenceOfGaussians::processDifference(const std::atomic<bool>& cancel,
                                                                  std::shared_ptr<Image2D> first,
                                                                  std::shared_ptr<Image2D> second)
{
    Difference difference;
    difference.setSharedInput(Difference::INPUT_IMAGE, std::move(first));
    difference.setSharedInput(Difference::TAKE_DIFFERENCE_OF, std::move(second));
    if (!difference.execute(cancel))
        return {};
    return difference.getSharedOutput(Difference::OUTPUT_IMAGE);
}

std::shared_ptr<Image2D> DifferenceOfGaussians::executeDOG(std::shared_ptr<Image2D> image, float firstSigma,
                                                           float secondSigma, int radius, float scale)
{
    const std::atomic<bool> cancel{false};
    DifferenceOfGaussians dog;
    dog.setSharedInput(INPUT_IMAGE, std::move(image));
    dog.setUniformValue(FIRST_SIGMA, firstSigma);
    dog.setUniformValue(SECOND_SIGMA, secondSigma);
    dog.setUniformValue(RADIUS, radius);
    dog.setUniformValue(SCALE, scale);
    dog.execute(cancel);
    return dog.getSharedOutput(OUTPUT_IMAGE);
}

} // namespace image2d
