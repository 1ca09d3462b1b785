#include "image2d/analysis/ToothSegmentation.h"

#include "image2d/filtering/Convolution.h"
#include "image2d/filtering/Kernels.h"
#include "image2d/filtering/Smoothing.h"
#include "image2d/framework/Log.h"
#include "image2d/pointops/ImageArithmetic.h"
#include "image2d/pointops/IntensityMapping.h"
#include "image2d/toolbox/Geometry.h"
#include "platform/pixeldata/Conversions.h"

#include <cmath>
#include <cstdint>
#include <vector>

namespace image2d {

const QString BinaryEdge::THRESHOLD_VALUE = QStringLiteral("thresholdValue");
const QString ToothSegmentation::BINEDGE_THRESHOLD_VALUE = QStringLiteral("thresholdValue");

namespace {

constexpr const char* kBinaryEdge = "image2d::BinaryEdge";
constexpr const char* kToothSegmentation = "image2d::ToothSegmentation";

// The polar costs of the outline search: an edge cell is ten times cheaper than any other.
constexpr float kEdgeThreshold = 1.0f;
constexpr unsigned char kNoEdgeCost = 20;
constexpr unsigned char kEdgeCost = 2;
// The outline is searched again until its origin moves by no more than this (pixels), at most
// kMaxPasses times.
constexpr float kSettledMovement = 4.0f;
constexpr int kMaxPasses = 6;
constexpr float kRadiansPerDegree = 0.017453292f;

// Row of the first 1 of every column of a polar mask (the column height when there is none).
std::vector<int> pathRows(const Image2D& polarMask)
{
    const int width = polarMask.getWidth(), height = polarMask.getHeight();
    const std::uint8_t* cells = polarMask.getConstData<std::uint8_t>();
    std::vector<int> rows(static_cast<std::size_t>(width), height);
    for (int x = 0; x < width; ++x)
        for (int y = 0; y < height; ++y)
            if (cells[pixelIndex(x, y, width)] != 0)
            {
                rows[x] = y;
                break;
            }
    return rows;
}

// The centre of the outline around the integer origin: its points weighted by the length of
// the polygon edge that leaves them. An outline of zero perimeter keeps the origin.
QPointF outlineCentre(const Image2D& polarMask, int originX, int originY, QPointF origin)
{
    const std::vector<int> rows = pathRows(polarMask);
    std::vector<QPointF> points;
    points.reserve(rows.size());
    for (std::size_t a = 0; a < rows.size(); ++a)
    {
        const float angle = static_cast<float>(a) * kRadiansPerDegree;
        const float r = static_cast<float>(rows[a]);
        points.emplace_back(static_cast<float>(originX) + r * std::sin(angle),
                            static_cast<float>(originY) + r * std::cos(angle));
    }
    double perimeter = 0.0, sumX = 0.0, sumY = 0.0;
    for (std::size_t i = 0; i < points.size(); ++i)
    {
        const QPointF edge = points[(i + 1) % points.size()] - points[i];
        const double length = std::hypot(edge.x(), edge.y());
        perimeter += length;
        sumX += points[i].x() * length;
        sumY += points[i].y() * length;
    }
    if (!(perimeter > 0.0))
        return origin;
    return QPointF(static_cast<float>(sumX / perimeter), static_cast<float>(sumY / perimeter));
}

} // namespace

// ---- Core functions -------------------------------------------------------------------------

std::shared_ptr<Image2D> binaryEdge(const Image2D& image, float thresholdValue)
{
    if (!image.isValid())
        return warnInvalidKey(kBinaryEdge, Algorithm::INPUT_IMAGE), nullptr;
    const std::shared_ptr<Image2D> smoothed = separableFilter(image, SeparableGaussian(4, 2.0f), image.getDataType());
    if (!hasPixels(smoothed))
        return nullptr;
    const Image2D signedImage = conversions::convertToDataType(*smoothed, Image2D::SHORT);
    if (!signedImage.isValid())
        return nullptr;
    const std::shared_ptr<Image2D> framed = border(signedImage, 1, 1, 20.0);
    if (!framed)
        return nullptr;
    const std::shared_ptr<Image2D> bandPass = differenceOfGaussians(*framed, 1.8f, 2.0f, 4, 350.0f);
    if (!bandPass)
        return nullptr;
    const std::shared_ptr<Image2D> cleared = border(*bandPass, 4, 4, 0.0);
    if (!cleared)
        return nullptr;
    return threshold(*cleared, thresholdValue, ThresholdComparison::Above);
}

ToothSegmentationResult toothSegmentation(const Image2D& image, int thresholdValue, QPointF origin,
                                          const std::atomic<bool>& cancel)
{
    const std::shared_ptr<Image2D> edges = binaryEdge(image, static_cast<float>(thresholdValue));
    if (!edges)
        return {};
    float ox = static_cast<float>(origin.x()), oy = static_cast<float>(origin.y());
    float movement = std::hypot(ox, oy);
    ToothSegmentationResult result;
    std::shared_ptr<Image2D> polarMask;
    while (movement > kSettledMovement && result.passes < kMaxPasses)
    {
        const int x = static_cast<int>(ox), y = static_cast<int>(oy);
        const std::shared_ptr<Image2D> costs = toPolarCost(*edges, kEdgeThreshold, kNoEdgeCost, kEdgeCost,
                                                           static_cast<float>(x), static_cast<float>(y));
        const std::shared_ptr<Image2D> cumulative = costs ? cheapestPath(*costs) : nullptr;
        polarMask = cumulative ? maskFromCheapestPath(*cumulative) : nullptr;
        if (!polarMask)
            return {};
        const QPointF centre = outlineCentre(*polarMask, x, y, QPointF(ox, oy));
        ++result.passes;
        result.origin = QPointF(ox, oy);
        movement = std::hypot(ox - static_cast<float>(centre.x()), oy - static_cast<float>(centre.y()));
        ox = static_cast<float>(centre.x());
        oy = static_cast<float>(centre.y());
    }
    if (!polarMask)
    {
        warnInvalidKey(kToothSegmentation, Algorithm::INPUT_IMAGE);
        return {};
    }
    const std::shared_ptr<Image2D> inside = invert(*polarMask, false);
    if (!inside)
        return {};
    result.mask = cartesianMaskFromPolarMask(*inside, static_cast<int>(result.origin.x()),
                                             static_cast<int>(result.origin.y()), edges->getWidth(),
                                             edges->getHeight(), cancel);
    if (!result.mask)
        return {};
    return result;
}

ToothSegmentationResult toothSegmentation(const Image2D& image, int thresholdValue, const std::atomic<bool>& cancel)
{
    return toothSegmentation(image, thresholdValue,
                             QPointF(static_cast<float>(image.getWidth() / 2), static_cast<float>(image.getHeight() / 2)),
                             cancel);
}

// ---- BinaryEdge ---------------------------------------------------------------------------

const Parameter<float> BinaryEdge::THRESHOLD_PARAMETER{&THRESHOLD_VALUE, 0.0f, Lenient{},
                                                       "band-pass values above it are edges"};

const ParameterList& BinaryEdge::parameters()
{
    static const ParameterList list{&THRESHOLD_PARAMETER};
    return list;
}

std::shared_ptr<Image2D> BinaryEdge::executeBinaryEdge(std::shared_ptr<Image2D> input, float thresholdValue)
{
    BinaryEdge algorithm;
    algorithm.setSharedInput(INPUT_IMAGE, std::move(input));
    algorithm.setUniformValue(THRESHOLD_VALUE, thresholdValue);
    algorithm.execute(neverCancelled());
    return algorithm.getSharedOutput(OUTPUT_IMAGE);
}

bool BinaryEdge::isInputValid() const
{
    return requireInputImage(kBinaryEdge, INPUT_IMAGE);
}

bool BinaryEdge::process(const std::atomic<bool>&)
{
    const std::shared_ptr<Image2D> input = getSharedInput(INPUT_IMAGE);
    return publish(OUTPUT_IMAGE, binaryEdge(*input, THRESHOLD_PARAMETER(*this)), *input, AllPixelTypes{});
}

// ---- ToothSegmentation ----------------------------------------------------------------------

const Parameter<int> ToothSegmentation::THRESHOLD_PARAMETER{
    &BINEDGE_THRESHOLD_VALUE, Bounds::any(),
    "edge threshold of the band-pass image (BINEDGE_THRESHOLD_VALUE_SMALL 30 or _LARGE 55)"};

const ParameterList& ToothSegmentation::parameters()
{
    static const ParameterList list{&THRESHOLD_PARAMETER};
    return list;
}

std::shared_ptr<Image2D> ToothSegmentation::executeToothSegmentation(std::shared_ptr<Image2D> input,
                                                                     int thresholdValue)
{
    ToothSegmentation algorithm;
    algorithm.setSharedInput(INPUT_IMAGE, std::move(input));
    algorithm.setUniformValue(BINEDGE_THRESHOLD_VALUE, thresholdValue);
    algorithm.execute(neverCancelled());
    return algorithm.getSharedOutput(OUTPUT_IMAGE);
}

bool ToothSegmentation::isInputValid() const
{
    return requireInputImage(kToothSegmentation, INPUT_IMAGE) && THRESHOLD_PARAMETER.validate(*this, kToothSegmentation);
}

bool ToothSegmentation::process(const std::atomic<bool>& cancel)
{
    const std::shared_ptr<Image2D> input = getSharedInput(INPUT_IMAGE);
    return publish(OUTPUT_IMAGE, toothSegmentation(*input, THRESHOLD_PARAMETER(*this), cancel).mask, *input,
                   AllPixelTypes{});
}

} // namespace image2d
