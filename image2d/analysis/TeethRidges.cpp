#include "image2d/analysis/TeethRidges.h"

#include "image2d/analysis/AnalysisInput.h"
#include "image2d/analysis/Labeling.h"
#include "image2d/filtering/Convolution.h"
#include "image2d/filtering/Kernels.h"
#include "image2d/framework/Log.h"
#include "image2d/pointops/ImageArithmetic.h"

#include <algorithm>
#include <cstdint>
#include <vector>

namespace image2d {

const QString TeethRidges::DILATION_RADIUS = QStringLiteral("dilationRadius");
const QString TeethRidges::PART_OF_LARGEST_REGION_TO_KEEP = QStringLiteral("partOfLargestRegionToKeep");

const QString FeaturePointImageProvider::FINAL_RIDGE_INPUT_IMAGE = QStringLiteral("finalRidgeInputImage");
const QString FeaturePointImageProvider::RANGE_IMAGE_INPUT_IMAGE = QStringLiteral("rangeImageInputImage");
const QString FeaturePointImageProvider::DILATION_RADIUS = QStringLiteral("dilationRadius");
const QString FeaturePointImageProvider::DILATED_FINAL_RIDGE_OUTPUT_IMAGE =
    QStringLiteral("dilatedFinalRidgeOutputImage");
const QString FeaturePointImageProvider::MASKED_RANGE_IMAGE_OUTPUT_IMAGE =
    QStringLiteral("maskedRangeImageOutputImage");

namespace {

constexpr const char* kTeethRidges = "image2d::TeethRidges";
constexpr const char* kFeaturePoints = "image2d::FeaturePointImageProvider";

// A valid FLOAT ridge or range image, with the owner's warnings otherwise.
bool usableFloatImage(const Image2D& image, const char* owner, const QString& key)
{
    if (!image.isValid())
        return warnInvalidKey(owner, key), false;
    return requireDataType(image, Image2D::FLOAT, owner, key);
}

// The ridge pixels (above 0) and their dilation by a disc; empty when a step fails.
struct DilatedRidges
{
    std::shared_ptr<Image2D> ridgePixels;
    std::shared_ptr<Image2D> dilated;
};

DilatedRidges dilateRidges(const Image2D& ridges, int dilationRadius)
{
    DilatedRidges result;
    result.ridgePixels = threshold(ridges, 0.0f, ThresholdComparison::Above);
    if (result.ridgePixels)
        result.dilated = filter(*result.ridgePixels, Dilation(dilationRadius));
    return result;
}

// Pixels of the largest non-zero label of a 16-bit label image (0 when there is none).
std::int64_t largestLabelSize(const Image2D& labels)
{
    std::vector<std::int64_t> counts(65536, 0);
    const std::uint16_t* p = labels.getConstData<std::uint16_t>();
    for (std::size_t i = 0, n = labels.getNumPixels(); i < n; ++i)
        ++counts[p[i]];
    return *std::max_element(counts.begin() + 1, counts.end());
}

} // namespace

// ---- Core functions -------------------------------------------------------------------------

std::shared_ptr<Image2D> teethRidges(const Image2D& ridges, int dilationRadius, double partOfLargestRegionToKeep,
                                     const std::atomic<bool>& cancel)
{
    if (!usableFloatImage(ridges, kTeethRidges, Algorithm::INPUT_IMAGE) ||
        !TeethRidges::DILATION_RADIUS_PARAMETER.accepts(dilationRadius, kTeethRidges) ||
        !TeethRidges::PART_PARAMETER.accepts(partOfLargestRegionToKeep, kTeethRidges))
        return nullptr;
    const DilatedRidges dilated = dilateRidges(ridges, dilationRadius);
    if (!dilated.dilated)
        return nullptr;
    const ComponentLabels structures = labelComponents(*dilated.dilated);
    if (!structures)
        return nullptr;
    // Each structure is judged by its undilated ridge pixels.
    const std::shared_ptr<Image2D> ridgeLabels = mask(*structures.labels, *dilated.ridgePixels, 0.0, cancel);
    if (!ridgeLabels)
        return nullptr;
    const double minimumSize = static_cast<double>(largestLabelSize(*ridgeLabels)) * partOfLargestRegionToKeep;
    const std::shared_ptr<Image2D> kept =
        keepRegionsOfMinimumSize(*ridgeLabels, store::saturateTruncate<int>(minimumSize));
    return kept ? mask(ridges, *kept, 0.0, cancel) : nullptr;
}

FeaturePointImages featurePointImages(const Image2D& finalRidges, const Image2D& range, int dilationRadius,
                                      const std::atomic<bool>& cancel)
{
    if (!usableFloatImage(finalRidges, kFeaturePoints, FeaturePointImageProvider::FINAL_RIDGE_INPUT_IMAGE) ||
        !usableFloatImage(range, kFeaturePoints, FeaturePointImageProvider::RANGE_IMAGE_INPUT_IMAGE) ||
        !FeaturePointImageProvider::DILATION_RADIUS_PARAMETER.accepts(dilationRadius, kFeaturePoints))
        return {};
    DilatedRidges dilated = dilateRidges(finalRidges, dilationRadius);
    if (!dilated.dilated)
        return {};
    FeaturePointImages result{std::move(dilated.dilated), mask(range, *dilated.ridgePixels, 0.0, cancel)};
    return result ? result : FeaturePointImages{};
}

// ---- TeethRidges --------------------------------------------------------------------------

const Parameter<int> TeethRidges::DILATION_RADIUS_PARAMETER{
    &DILATION_RADIUS, Bounds{.high = kMaxRidgeDilationRadius},
    "radius of the disc that joins nearby ridges into one structure (negative: no pixel survives)"};
const Parameter<double> TeethRidges::PART_PARAMETER{
    &PART_OF_LARGEST_REGION_TO_KEEP, Bounds::any(),
    "structures with at least this part of the largest one's ridge pixels are kept"};

const ParameterList& TeethRidges::parameters()
{
    static const ParameterList list{&DILATION_RADIUS_PARAMETER, &PART_PARAMETER};
    return list;
}

bool TeethRidges::isInputValid() const
{
    if (!requireInputImage(kTeethRidges, INPUT_IMAGE))
        return false;
    if (!requireDataType(*getSharedInput(INPUT_IMAGE), Image2D::FLOAT, kTeethRidges, INPUT_IMAGE))
        return fail(FailureReason::UnsupportedType, INPUT_IMAGE);
    return DILATION_RADIUS_PARAMETER.validate(*this, kTeethRidges) && PART_PARAMETER.validate(*this, kTeethRidges);
}

bool TeethRidges::process(const std::atomic<bool>& cancel)
{
    const std::shared_ptr<Image2D> input = getSharedInput(INPUT_IMAGE);
    return publish(OUTPUT_IMAGE,
                   teethRidges(*input, DILATION_RADIUS_PARAMETER(*this), PART_PARAMETER(*this), cancel), *input,
                   PixelTypes<Image2D::FLOAT>{});
}

// ---- FeaturePointImageProvider --------------------------------------------------------------

const Parameter<int> FeaturePointImageProvider::DILATION_RADIUS_PARAMETER{
    &DILATION_RADIUS, Bounds{.high = kMaxRidgeDilationRadius},
    "radius of the disc the ridge pixels are dilated by (negative: an empty disc)"};

const ParameterList& FeaturePointImageProvider::parameters()
{
    static const ParameterList list{&DILATION_RADIUS_PARAMETER};
    return list;
}

bool FeaturePointImageProvider::isInputValid() const
{
    for (const QString* key : {&FINAL_RIDGE_INPUT_IMAGE, &RANGE_IMAGE_INPUT_IMAGE})
    {
        if (!requireInputImage(kFeaturePoints, *key))
            return false;
        if (!requireDataType(*getSharedInput(*key), Image2D::FLOAT, kFeaturePoints, *key))
            return fail(FailureReason::UnsupportedType, *key);
    }
    return DILATION_RADIUS_PARAMETER.validate(*this, kFeaturePoints);
}

bool FeaturePointImageProvider::process(const std::atomic<bool>& cancel)
{
    FeaturePointImages result = featurePointImages(*getSharedInput(FINAL_RIDGE_INPUT_IMAGE),
                                                   *getSharedInput(RANGE_IMAGE_INPUT_IMAGE),
                                                   DILATION_RADIUS_PARAMETER(*this), cancel);
    if (!result)
        return fail(FailureReason::Failed, RANGE_IMAGE_INPUT_IMAGE);
    setSharedOutput(DILATED_FINAL_RIDGE_OUTPUT_IMAGE, std::move(result.dilatedRidges));
    setSharedOutput(MASKED_RANGE_IMAGE_OUTPUT_IMAGE, std::move(result.maskedRange));
    return true;
}

} // namespace image2d
