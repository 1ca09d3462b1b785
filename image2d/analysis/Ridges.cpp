#include "image2d/analysis/Ridges.h"

#include "image2d/filtering/Convolution.h"
#include "image2d/filtering/Kernels.h"
#include "image2d/framework/Log.h"
#include "image2d/framework/Simd.h"
#include "image2d/pointops/ImageArithmetic.h"

#include <cmath>
#include <cstddef>

namespace image2d {

const QString GradientOrientationAnalysis::INPUT_IMAGE1 = QStringLiteral("inputImage1");
const QString GradientOrientationAnalysis::INPUT_IMAGE2 = QStringLiteral("inputImage2");
const QString GradientOrientationAnalysis::OUTPUT_IMAGE_CX = QStringLiteral("outputImageCx");
const QString GradientOrientationAnalysis::OUTPUT_IMAGE_CY = QStringLiteral("outputImageCy");
const QString GradientOrientationAnalysis::OUTPUT_IMAGE_SX = QStringLiteral("outputImageSx");
const QString GradientOrientationAnalysis::OUTPUT_IMAGE_SY = QStringLiteral("outputImageSy");
const QString GradientOrientationAnalysis::OUTPUT_RIDGES_AND_VALLEYS = QStringLiteral("outputRidgesAndValleys");

const QString FindRidges::RANGE_IMAGE = QStringLiteral("rangeImage");
const QString FindRidges::RIDGES_VALLEYS_IMAGE = QStringLiteral("ridgesValleysImage");
const QString FindRidges::RIDGES_D1_IMAGE = QStringLiteral("ridgesD1Image");
const QString FindRidges::RIDGES_D2_IMAGE = QStringLiteral("ridgesD2Image");
const QString FindRidges::RIDGES_IMAGE = QStringLiteral("ridgesImage");

namespace {

constexpr const char* kOrientation = "image2d::GradientOrientationAnalysis";
constexpr const char* kFindRidges = "image2d::FindRidges";
// Ridges lie in the upper part of the height range ...
constexpr float kHeightFactor = 0.6333333f;
// ... and turn the gradient at least ln 4 times as fast as the mean of the candidates.
const float kStrengthFactor = std::log(4.0f);

// The two gradient components must be read in one layout.
bool componentsMatch(const Image2D& first, const Image2D& second)
{
    if (first.getDataType() != second.getDataType())
    {
        warning("image2d::GradientOrientationAnalysis : image2d::GradientOrientationAnalysis algorithm not supported "
                "for different data types: ",
                static_cast<int>(first.getDataType()), "incompatible with", static_cast<int>(second.getDataType()));
        return false;
    }
    if (first.getSize() != second.getSize())
    {
        warning("image2d::GradientOrientationAnalysis : image2d::GradientOrientationAnalysis algorithm not supported "
                "for different resolutions: ",
                first.getSize(), "incompatible with", second.getSize());
        return false;
    }
    return true;
}

bool isFloatRange(const Image2D& range)
{
    if (range.getDataType() == Image2D::FLOAT)
        return true;
    warning("image2d::FindRidges : image not of type Image2D::DataType::FLOAT: ", FindRidges::RANGE_IMAGE);
    return false;
}

template <typename T>
IMAGE2D_INLINE_LOOP void cosineAndSine(const T* a, const T* b, float* cosine, float* sine, std::size_t count)
{
    for (std::size_t i = 0; i < count; ++i)
    {
        const float x = static_cast<float>(a[i]), y = static_cast<float>(b[i]);
        const float magnitude = std::sqrt(x * x + y * y);
        cosine[i] = magnitude == 0.0f ? 0.0f : x / magnitude;
        sine[i] = magnitude == 0.0f ? 0.0f : y / magnitude;
    }
}

template <typename T>
IMAGE2D_INLINE_LOOP void magnitudeOfFour(const T* a, const T* b, const T* c, const T* d, float* out, std::size_t count)
{
    for (std::size_t i = 0; i < count; ++i)
    {
        const float p = static_cast<float>(a[i]), q = static_cast<float>(b[i]);
        const float r = static_cast<float>(c[i]), s = static_cast<float>(d[i]);
        out[i] = std::sqrt(p * p + q * q + r * r + s * s);
    }
}

// The magnitude of the four derivatives; empty (with the warning) for a type the filters
// never produce here.
std::shared_ptr<Image2D> directionChange(const GradientOrientationImages& d)
{
    const Image2D& like = *d.cosineDx;
    return dispatchDataType(
        GradientOrientationTypes{}, like.getDataType(),
        "image2d::GradientOrientationAnalysis : image2d::GradientOrientationAnalysis algorithm not supported for data "
        "type: ",
        [&](auto tag) -> std::shared_ptr<Image2D> {
            using T = typename decltype(tag)::type;
            auto output = newImageLike(like, Image2D::FLOAT);
            if (!output)
                return nullptr;
            simd::runVectorized([&]() IMAGE2D_INLINE_LAMBDA {
                magnitudeOfFour(d.cosineDx->getConstData<T>(), d.cosineDy->getConstData<T>(),
                                d.sineDx->getConstData<T>(), d.sineDy->getConstData<T>(), output->getData<float>(),
                                output->getNumPixels());
            });
            return output;
        });
}

// (sum of all pixels, accumulated in float in buffer order) / (pixels that are not 0); NaN
// when every pixel is 0.
float calculateMu(const Image2D& image)
{
    const float* p = image.getConstData<float>();
    float sum = 0.0f;
    std::size_t nonZero = 0;
    for (std::size_t i = 0, n = image.getNumPixels(); i < n; ++i)
    {
        sum += p[i];
        nonZero += p[i] != 0.0f;
    }
    return nonZero == 0 ? std::nanf("") : sum / static_cast<float>(nonZero);
}

// `image` kept where `keep` holds 1 (0 elsewhere); empty when either step failed.
std::shared_ptr<Image2D> keepWhere(const std::shared_ptr<Image2D>& image, const std::shared_ptr<Image2D>& keep,
                                   const std::atomic<bool>& cancel)
{
    return image && keep ? mask(*image, *keep, 0.0, cancel) : nullptr;
}

} // namespace

// ---- Core functions -------------------------------------------------------------------------

GradientOrientationImages gradientOrientation(const Image2D& first, const Image2D& second)
{
    if (!first.isValid())
        return warnInvalidKey(kOrientation, GradientOrientationAnalysis::INPUT_IMAGE1), GradientOrientationImages{};
    if (!second.isValid())
        return warnInvalidKey(kOrientation, GradientOrientationAnalysis::INPUT_IMAGE2), GradientOrientationImages{};
    if (!componentsMatch(first, second))
        return {};
    std::shared_ptr<Image2D> cosine = newImageLike(first, Image2D::FLOAT), sine = newImageLike(first, Image2D::FLOAT);
    if (!cosine || !sine)
        return {};
    const bool computed = dispatchDataType(
        GradientOrientationTypes{}, first.getDataType(),
        "image2d::GradientOrientationAnalysis : calculateCosAndSinImages algorithm not supported for data type: ",
        [&](auto tag) {
            using T = typename decltype(tag)::type;
            simd::runVectorized([&]() IMAGE2D_INLINE_LAMBDA {
                cosineAndSine(first.getConstData<T>(), second.getConstData<T>(), cosine->getData<float>(),
                              sine->getData<float>(), first.getNumPixels());
            });
            return true;
        });
    if (!computed)
        return {};
    const Sobel vertical(Sobel::VERTICAL), horizontal(Sobel::HORIZONTAL);
    GradientOrientationImages result{filter(*cosine, vertical), filter(*cosine, horizontal), filter(*sine, vertical),
                                     filter(*sine, horizontal), nullptr};
    if (!result)
        return {};
    result.ridgesAndValleys = directionChange(result);
    return result;
}

RidgeImages findRidges(const Image2D& range, const std::atomic<bool>& cancel)
{
    if (!range.isValid())
        return warnInvalidKey(kFindRidges, FindRidges::RANGE_IMAGE), RidgeImages{};
    if (!isFloatRange(range))
        return {};
    RidgeImages result;
    const std::shared_ptr<Image2D> dy = filter(range, Sobel(Sobel::VERTICAL));
    const std::shared_ptr<Image2D> dx = filter(range, Sobel(Sobel::HORIZONTAL));
    if (!dy || !dx)
        return result;
    result.ridgesAndValleys = gradientOrientation(*dy, *dx).ridgesAndValleys;

    const std::shared_ptr<Image2D> curvature = filter(range, Laplacian());
    const std::shared_ptr<Image2D> concave = curvature ? threshold(*curvature, 0.0f, ThresholdComparison::Below) : nullptr;
    result.negativeCurvature = keepWhere(result.ridgesAndValleys, concave, cancel);

    const std::shared_ptr<Image2D> upper =
        threshold(range, range.getMaxFloatValue() * kHeightFactor, ThresholdComparison::Above);
    result.high = keepWhere(result.negativeCurvature, upper, cancel);
    if (!result.high)
        return result;

    // Without candidates the mean is 0 / 0; every pixel is 0 already.
    const float mu = calculateMu(*result.high);
    if (std::isnan(mu))
    {
        result.ridges = std::make_shared<Image2D>(*result.high);
        return result;
    }
    const std::shared_ptr<Image2D> strong = threshold(*result.high, kStrengthFactor * mu, ThresholdComparison::Above);
    result.ridges = keepWhere(result.high, strong, cancel);
    return result;
}

// ---- GradientOrientationAnalysis --------------------------------------------------------------

const ParameterList& GradientOrientationAnalysis::parameters()
{
    static const ParameterList list;
    return list;
}

bool GradientOrientationAnalysis::isInputValid() const
{
    if (!requireInputImage(kOrientation, INPUT_IMAGE1) || !requireInputImage(kOrientation, INPUT_IMAGE2))
        return false;
    return componentsMatch(*getSharedInput(INPUT_IMAGE1), *getSharedInput(INPUT_IMAGE2)) ||
           fail(FailureReason::Invalid, INPUT_IMAGE2);
}

bool GradientOrientationAnalysis::process(const std::atomic<bool>&)
{
    const std::shared_ptr<Image2D> first = getSharedInput(INPUT_IMAGE1);
    GradientOrientationImages result = gradientOrientation(*first, *getSharedInput(INPUT_IMAGE2));
    if (!result)
        return fail(GradientOrientationTypes::contains(first->getDataType()) ? FailureReason::Failed
                                                                             : FailureReason::UnsupportedType,
                    INPUT_IMAGE1);
    setSharedOutput(OUTPUT_IMAGE_CX, std::move(result.cosineDx));
    setSharedOutput(OUTPUT_IMAGE_CY, std::move(result.cosineDy));
    setSharedOutput(OUTPUT_IMAGE_SX, std::move(result.sineDx));
    setSharedOutput(OUTPUT_IMAGE_SY, std::move(result.sineDy));
    setSharedOutput(OUTPUT_RIDGES_AND_VALLEYS, std::move(result.ridgesAndValleys));
    return true;
}

// ---- FindRidges ---------------------------------------------------------------------------

const ParameterList& FindRidges::parameters()
{
    static const ParameterList list;
    return list;
}

bool FindRidges::isInputValid() const
{
    if (!requireInputImage(kFindRidges, RANGE_IMAGE))
        return false;
    return isFloatRange(*getSharedInput(RANGE_IMAGE)) || fail(FailureReason::UnsupportedType, RANGE_IMAGE);
}

bool FindRidges::process(const std::atomic<bool>& cancel)
{
    RidgeImages result = findRidges(*getSharedInput(RANGE_IMAGE), cancel);
    setSharedOutput(RIDGES_VALLEYS_IMAGE, std::move(result.ridgesAndValleys));
    setSharedOutput(RIDGES_D1_IMAGE, std::move(result.negativeCurvature));
    setSharedOutput(RIDGES_D2_IMAGE, std::move(result.high));
    setSharedOutput(RIDGES_IMAGE, std::move(result.ridges));
    return true;
}

} // namespace image2d
