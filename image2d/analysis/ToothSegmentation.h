#pragma once

// Outlining one tooth: a binary edge image is resampled around an origin into a polar cost
// image (one column per degree, one row per pixel of radius, cheap where an edge lies), the
// cheapest path across all angles is found by dynamic programming, and the region inside that
// path, mapped back to the image, is the tooth. The origin is moved to the centre of the found
// outline and the outline searched again until it settles.
//
// Angle convention, shared by the polar image and the mapping back: for a pixel offset
// (dx, dy) from the origin, both truncated to integers, radius r = sqrt(dx^2 + dy^2) and
// angle a = acos(dy / r) in degrees (360 - a when dx < 0), all in float, so 0 degrees points
// down the image (+y), 90 along +x, 180 up and 270 along -x. The pixel lands in cell
// floor(r) * 360 + floor(a) of the polar image; cells outside it are dropped.
//
// The typed core functions come first (the C++ API), then their adapters. Everything runs on
// the calling thread apart from the smoothing inside binaryEdge().

#include "image2d/framework/Algorithm.h"
#include "image2d/framework/Core.h"
#include "image2d/framework/Parameters.h"
#include "platform/utility/Optional.h"

#include <QPointF>
#include <QString>

#include <atomic>
#include <memory>

namespace image2d {

/// Columns of a polar image: one per degree.
inline constexpr int kPolarAngles = 360;

/// Cost-image pixel types the cheapest path reads (as int).
using CheapestPathTypes =
    PixelTypes<Image2D::UNSIGNED_SHORT, Image2D::SHORT, Image2D::UNSIGNED_CHAR, Image2D::BINARY, Image2D::INT>;

/// Polar cost image of `image` around (originX, originY), which must lie in [0, width] x
/// [0, height]: UNSIGNED_CHAR, 360 columns, one row per pixel of radius up to the farthest
/// image corner (truncated), the input's pixel size. Cells hit by a pixel at or above
/// `threshold` (truncated toward zero for integer types) hold `aboveThresholdValue`, all others
/// `underThresholdValue`; the pixel at the origin and pixels whose truncated offset is (0, 0)
/// hit no cell. Every pixel type but code 4. Empty with the ToPolarCost warnings for a NaN
/// threshold, an origin outside the image or an image whose polar image has no row.
std::shared_ptr<Image2D> toPolarCost(const Image2D& image, float threshold, unsigned char underThresholdValue,
                                     unsigned char aboveThresholdValue, float originX, float originY);
/// The same around the image centre (width / 2, height / 2 in integers).
std::shared_ptr<Image2D> toPolarCost(const Image2D& image, float threshold, unsigned char underThresholdValue,
                                     unsigned char aboveThresholdValue);

/// Cumulative cost C of the cheapest path from column 0 to each cell, as INT of the input's
/// size: C(0, y) = I(0, y), C(x, y) = I(x, y) + min over |d| <= 3 of C(x - 1, y + d) + P(|d|)
/// with the jump penalties P = 0, 1, 3, 7 (rows outside the image are no candidates; 32-bit
/// sums wrap). CheapestPathTypes; empty with the algorithm's warning otherwise.
std::shared_ptr<Image2D> cheapestPath(const Image2D& costs);

/// Polar mask of the cheapest path traced back through an INT cumulative cost image: BINARY of
/// its size, in each column 0 above the path row and 1 from it down. The path ends at the
/// smallest cost of the last column and steps back to the predecessor of least C + P within 3
/// rows (the lowest row among equals). Empty with the algorithm's warning for another type.
std::shared_ptr<Image2D> maskFromCheapestPath(const Image2D& cumulativeCosts);

/// BINARY width x height image in which every pixel but the origin takes the value of its cell
/// of the 8-bit, 360-column polar image (0 when the cell lies outside it); the origin stays 0.
/// Polls `cancel` before each column: a cancelled run leaves the remaining columns 0.
std::shared_ptr<Image2D> cartesianMaskFromPolarMask(const Image2D& polar, int originX, int originY, int width,
                                                    int height, const std::atomic<bool>& cancel = neverCancelled());

/// Binary edge image: a Gaussian blur (radius 4, sigma 2) in the input's type, converted to
/// SHORT, a 1-pixel frame of 20, the difference of Gaussians (sigmas 1.8 and 2.0, radius 4,
/// scale 350), a 4-pixel frame of 0, then 1 where the result is above `thresholdValue`.
/// Every pixel type but code 4; empty when a step fails (images of 8 pixels or less in width
/// or height leave no inner region for the frame), with that step's warning.
std::shared_ptr<Image2D> binaryEdge(const Image2D& image, float thresholdValue);

/// Result of toothSegmentation().
struct ToothSegmentationResult
{
    std::shared_ptr<Image2D> mask; ///< BINARY, the input's size: 1 inside the outline
    QPointF origin;                ///< the origin of the last outline
    int passes = 0;                ///< outline searches run (1 to 6)
    explicit operator bool() const { return static_cast<bool>(mask); }
};

/// Outlines the tooth around the image centre: binaryEdge() with `thresholdValue`, then up to
/// 6 passes of toPolarCost() (threshold 1, costs 20 and 2), cheapestPath() and
/// maskFromCheapestPath(), each re-centring the origin on the perimeter-weighted centre of
/// the outline, until it moves by 4 pixels or less; the inside of the last outline is mapped
/// back with cartesianMaskFromPolarMask(), which polls `cancel`. An outline of zero perimeter
/// keeps its origin. Empty when a step fails, or with "image2d::ToothSegmentation : invalid
/// input: " for an image whose centre lies within 4 pixels of its corner (no pass runs).
ToothSegmentationResult toothSegmentation(const Image2D& image, int thresholdValue,
                                          const std::atomic<bool>& cancel = neverCancelled());
/// The same starting from `origin` instead of the centre; the first pass runs only when
/// `origin` lies more than 4 pixels from (0, 0).
ToothSegmentationResult toothSegmentation(const Image2D& image, int thresholdValue, QPointF origin,
                                          const std::atomic<bool>& cancel = neverCancelled());

/// Adapter of toPolarCost().
class ToPolarCost : public Algorithm
{
public:
    static const QString THRESHOLD;            ///< "threshold", float
    static const QString UNDERTHRESHOLD_VALUE; ///< "max", unsigned below 256: cost of cells without an edge
    static const QString ABOVETHRESHOLD_VALUE; ///< "min", unsigned (its low byte is used): cost of edge cells
    static const QString ORIGIN_X;             ///< "originX", float in [0, width], default width / 2
    static const QString ORIGIN_Y;             ///< "originY", float in [0, height], default height / 2
    static const Parameter<float> THRESHOLD_PARAMETER;
    static const Parameter<unsigned int> UNDERTHRESHOLD_PARAMETER;
    static const Parameter<unsigned int> ABOVETHRESHOLD_PARAMETER;
    /// Optional; a given value must also not exceed the image width (height).
    static const Parameter<float> ORIGIN_X_PARAMETER;
    static const Parameter<float> ORIGIN_Y_PARAMETER;
    static const ParameterList& parameters();

    /// Polar cost image of the shared image; the origin keys are set only when given.
    static std::shared_ptr<Image2D> executeToPolarCost(std::shared_ptr<Image2D> input, float threshold,
                                                       unsigned char underThresholdValue,
                                                       unsigned char aboveThresholdValue,
                                                       utility::Optional<float> originX,
                                                       utility::Optional<float> originY);

    bool isInputValid() const override;
    bool process(const std::atomic<bool>& cancel) override;
};

/// Adapter of cheapestPath().
class CheapestPath : public Algorithm
{
public:
    static const ParameterList& parameters();
    /// Cumulative costs of the shared cost image; empty on failure.
    static std::shared_ptr<Image2D> executeCheapestPath(std::shared_ptr<Image2D> costs);

    bool isInputValid() const override;
    bool process(const std::atomic<bool>& cancel) override;
};

/// Adapter of maskFromCheapestPath().
class MaskFromCheapestPath : public Algorithm
{
public:
    static const ParameterList& parameters();
    /// Polar mask of the shared cumulative cost image; empty on failure.
    static std::shared_ptr<Image2D> executeMaskFromCheapestPath(std::shared_ptr<Image2D> cumulativeCosts);

    bool isInputValid() const override;
    bool process(const std::atomic<bool>& cancel) override;
};

/// Adapter of binaryEdge().
class BinaryEdge : public Algorithm
{
public:
    static const QString THRESHOLD_VALUE; ///< "thresholdValue", float
    /// Not validated: absent or not a number reads as 0.
    static const Parameter<float> THRESHOLD_PARAMETER;
    static const ParameterList& parameters();

    /// Binary edge image of the shared image; empty on failure.
    static std::shared_ptr<Image2D> executeBinaryEdge(std::shared_ptr<Image2D> input, float thresholdValue);

    bool isInputValid() const override;
    bool process(const std::atomic<bool>& cancel) override;
};

/// Adapter of toothSegmentation() around the image centre.
class ToothSegmentation : public Algorithm
{
public:
    static const QString BINEDGE_THRESHOLD_VALUE; ///< "thresholdValue", int: edge threshold
    static constexpr int BINEDGE_THRESHOLD_VALUE_SMALL = 30; ///< more edges
    static constexpr int BINEDGE_THRESHOLD_VALUE_LARGE = 55; ///< fewer edges
    static const Parameter<int> THRESHOLD_PARAMETER;
    static const ParameterList& parameters();

    /// Tooth mask of the shared image; empty on failure.
    static std::shared_ptr<Image2D> executeToothSegmentation(std::shared_ptr<Image2D> input, int thresholdValue);

    bool isInputValid() const override;
    bool process(const std::atomic<bool>& cancel) override;
};

} // namespace image2d
