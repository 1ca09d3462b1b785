#include "image2d/filtering/Smoothing.h"

#include "image2d/filtering/Convolution.h"
#include "image2d/filtering/Kernels.h"
#include "image2d/filtering/LocalStatistics.h"
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
const QString& DifferenceOfGaussians::RADIUS = AreaAverage::KERNEL_RADIUS;
const QString DifferenceOfGaussians::SCALE = QStringLiteral("scale");

namespace {

constexpr const char* kDenoise = "image2d::Denoise";
constexpr const char* kDog = "image2d::DifferenceOfGaussians";

// The parameter messages of DifferenceOfGaussians have their own spelling ("image2D",
// no colon), unlike its input image messages.
void warnDogParameter(const char*, const QString& key)
{
    warning("image2D::DifferenceOfGaussians : invalid input ", key);
}

constexpr ParameterMessages kDogMessages{warnDogParameter, warnDogParameter, warnDogParameter};
constexpr ParameterMessages kOutOfRangeMessages{warnMissingKey, warnInvalidKey, warnOutOfRangeKey};

} // namespace

// ---- Core functions -------------------------------------------------------------------

std::shared_ptr<Image2D> denoise(std::shared_ptr<Image2D> image, float sigma, int maxRadius)
{
    if (!image)
        return warnMissingKey(kDenoise, Algorithm::INPUT_IMAGE), nullptr;
    if (!image->isValid())
        return warnInvalidKey(kDenoise, Algorithm::INPUT_IMAGE), nullptr;
    // NaN is no standard deviation either.
    if (!Denoise::SIGMA_PARAMETER.accepts(sigma, kDenoise) || !Denoise::RADIUS_PARAMETER.accepts(maxRadius, kDenoise))
        return nullptr;
    if (sigma <= 0.0f)
        return image;
    const float wanted = std::ceil(3.0f * sigma);
    const int radius = wanted >= static_cast<float>(maxRadius) ? std::max(maxRadius, 1) : static_cast<int>(wanted);
    const long long size = 2LL * radius + 1;
    if (size > image->getWidth() || size > image->getHeight())
    {
        warning("Denoise filter: invalid kernel size or sigma, not applying denoise.");
        return image;
    }
    const SeparableGaussian kernel(radius, sigma);
    return separableFilter(*image, kernel, image->getDataType());
}

std::shared_ptr<Image2D> denoise(const Image2D& image, float sigma, int maxRadius)
{
    // The caller's image is lent for the run; an unchanged result becomes a copy of it.
    const std::shared_ptr<Image2D> lent = borrowImage(image);
    std::shared_ptr<Image2D> result = denoise(lent, sigma, maxRadius);
    return result == lent ? std::make_shared<Image2D>(image) : result;
}

std::shared_ptr<Image2D> differenceOfGaussians(const Image2D& image, float firstSigma, float secondSigma, int radius,
                                               float scale)
{
    if (!image.isValid())
        return warnInvalidKey(kDog, Algorithm::INPUT_IMAGE), nullptr;
    // NaN passes none of the bounds, so it is rejected with the out-of-range values.
    if (!DifferenceOfGaussians::FIRST_SIGMA_PARAMETER.accepts(firstSigma, kDog) ||
        !DifferenceOfGaussians::SECOND_SIGMA_PARAMETER.accepts(secondSigma, kDog) ||
        !DifferenceOfGaussians::RADIUS_PARAMETER.accepts(radius, kDog) ||
        !DifferenceOfGaussians::SCALE_PARAMETER.accepts(scale, kDog))
        return nullptr;
    // Blurred into FLOAT, so that the scaling and the subtraction lose nothing before the
    // final rounding. Each step has warned already when it fails.
    auto scaledBlur = [&](float sigma) -> std::shared_ptr<Image2D> {
        const std::shared_ptr<Image2D> blurred = separableFilter(image, SeparableGaussian(radius, sigma), Image2D::FLOAT);
        return blurred ? scaleColorValue(*blurred, scale) : nullptr;
    };
    const std::shared_ptr<Image2D> first = scaledBlur(firstSigma);
    if (!first)
        return nullptr;
    const std::shared_ptr<Image2D> second = scaledBlur(secondSigma);
    if (!second)
        return nullptr;
    const std::shared_ptr<Image2D> bandPass = difference(*first, *second);
    if (!bandPass)
        return nullptr;
    auto output = std::make_shared<Image2D>(conversions::convertToDataType(*bandPass, Image2D::SHORT));
    return output->isValid() ? output : nullptr;
}

// ---- Denoise ----------------------------------------------------------------------------

const Parameter<float> Denoise::SIGMA_PARAMETER{&KERNEL_STD, Bounds::atLeast(0),
                                                "standard deviation of the Gaussian in pixels; 0 leaves the image",
                                                kOutOfRangeMessages};
const Parameter<int> Denoise::RADIUS_PARAMETER{&KERNEL_RADIUS, Bounds::atLeast(1), "largest kernel radius in pixels",
                                               kOutOfRangeMessages};

const ParameterList& Denoise::parameters()
{
    static const ParameterList list{&SIGMA_PARAMETER, &RADIUS_PARAMETER};
    return list;
}

bool Denoise::isInputValid() const
{
    return requireInputImage(kDenoise, INPUT_IMAGE) && SIGMA_PARAMETER.validate(*this, kDenoise) &&
           RADIUS_PARAMETER.validate(*this, kDenoise);
}

std::shared_ptr<Image2D> Denoise::applyFilter(const Uniforms& parameters, const std::shared_ptr<Image2D>& image,
                                              const std::atomic<bool>&)
{
    return denoise(image, SIGMA_PARAMETER(parameters), RADIUS_PARAMETER(parameters));
}

bool Denoise::process(const std::atomic<bool>& cancel)
{
    setSharedOutput(OUTPUT_IMAGE, applyFilter(*this, getSharedInput(INPUT_IMAGE), cancel));
    return true;
}

// ---- DifferenceOfGaussians ----------------------------------------------------------------

const Parameter<float> DifferenceOfGaussians::FIRST_SIGMA_PARAMETER{
    &FIRST_SIGMA, Bounds::atLeast(0), "sigma of the first Gaussian in pixels", kDogMessages};
const Parameter<float> DifferenceOfGaussians::SECOND_SIGMA_PARAMETER{
    &SECOND_SIGMA, Bounds::atLeast(0), "sigma of the second Gaussian in pixels", kDogMessages};
const Parameter<int> DifferenceOfGaussians::RADIUS_PARAMETER{&RADIUS, Bounds::atLeast(1),
                                                             "radius of both Gaussian kernels", kDogMessages};
const Parameter<float> DifferenceOfGaussians::SCALE_PARAMETER{&SCALE, Bounds::any(),
                                                              "factor applied to both blurred images", kDogMessages};

const ParameterList& DifferenceOfGaussians::parameters()
{
    static const ParameterList list{&FIRST_SIGMA_PARAMETER, &SECOND_SIGMA_PARAMETER, &RADIUS_PARAMETER,
                                    &SCALE_PARAMETER};
    return list;
}

bool DifferenceOfGaussians::isInputValid() const
{
    if (!requireInputImage(kDog, INPUT_IMAGE))
        return false;
    for (const ParameterInfo* parameter : parameters())
        if (!parameter->validate(*this, kDog))
            return false;
    return true;
}

bool DifferenceOfGaussians::process(const std::atomic<bool>&)
{
    const std::shared_ptr<Image2D> input = getSharedInput(INPUT_IMAGE);
    return publish(OUTPUT_IMAGE,
                   differenceOfGaussians(*input, FIRST_SIGMA_PARAMETER(*this), SECOND_SIGMA_PARAMETER(*this),
                                         RADIUS_PARAMETER(*this), SCALE_PARAMETER(*this)),
                   *input, AllPixelTypes{});
}

std::shared_ptr<Image2D> DifferenceOfGaussians::executeDOG(std::shared_ptr<Image2D> image, float firstSigma,
                                                           float secondSigma, int radius, float scale)
{
    DifferenceOfGaussians dog;
    dog.setSharedInput(INPUT_IMAGE, std::move(image));
    dog.setUniformValue(FIRST_SIGMA, firstSigma);
    dog.setUniformValue(SECOND_SIGMA, secondSigma);
    dog.setUniformValue(RADIUS, radius);
    dog.setUniformValue(SCALE, scale);
    dog.execute(neverCancelled());
    return dog.getSharedOutput(OUTPUT_IMAGE);
}

} // namespace image2d
