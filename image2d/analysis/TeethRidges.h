#pragma once

// Post-processing of ridge images (FLOAT, non-zero on ridges): keeping the large connected
// ridge structures, and the two images feature points are taken from. A ridge structure is
// judged by the number of ridge pixels it holds, while ridges closer than the dilation radius
// count as one structure.
//
// The typed core functions come first (the C++ API), then their adapters. Both run on the
// calling thread apart from the dilation filter, whose rows run in parallel.

#include "image2d/framework/Algorithm.h"
#include "image2d/framework/Core.h"
#include "image2d/framework/Parameters.h"

#include <QString>

#include <atomic>
#include <memory>

namespace image2d {

/// Largest dilation radius accepted: the disc filter costs (2r + 1)^2 multiplications per
/// pixel, and its 8-bit store turns windows of 256 set pixels into holes from r = 10 on.
inline constexpr int kMaxRidgeDilationRadius = 32;

/// The pixels of a FLOAT ridge image that belong to large structures: the ridge pixels (above
/// 0) are dilated by a disc of `dilationRadius`, labelled 8-connected, the labels restricted
/// to the undilated ridge pixels, and the structures of at least (largest pixel count x
/// `partOfLargestRegionToKeep`, truncated) pixels keep their values; everything else is 0.
/// The masks poll `cancel` per row. Empty with the TeethRidges warnings for an invalid or
/// non-FLOAT image, a radius above kMaxRidgeDilationRadius or a NaN part, or when a step fails.
std::shared_ptr<Image2D> teethRidges(const Image2D& ridges, int dilationRadius, double partOfLargestRegionToKeep,
                                     const std::atomic<bool>& cancel = neverCancelled());

/// Results of featurePointImages().
struct FeaturePointImages
{
    std::shared_ptr<Image2D> dilatedRidges; ///< BINARY: the ridge pixels dilated by the disc
    std::shared_ptr<Image2D> maskedRange;   ///< FLOAT: the range image on the ridge pixels, 0 elsewhere
    explicit operator bool() const { return dilatedRidges && maskedRange; }
};

/// The ridge pixels (above 0) of a FLOAT ridge image dilated by a disc of `dilationRadius`, and
/// the FLOAT range image kept on the undilated ridge pixels (its mask polls `cancel` per row).
/// Both empty when a step fails, with its warning (the masking one for images of two sizes),
/// or with the FeaturePointImageProvider warnings for bad inputs.
FeaturePointImages featurePointImages(const Image2D& finalRidges, const Image2D& range, int dilationRadius,
                                      const std::atomic<bool>& cancel = neverCancelled());

/// Adapter of teethRidges().
class TeethRidges : public Algorithm
{
public:
    static const QString DILATION_RADIUS;                ///< "dilationRadius", int
    static const QString PART_OF_LARGEST_REGION_TO_KEEP; ///< "partOfLargestRegionToKeep", double
    static const Parameter<int> DILATION_RADIUS_PARAMETER;
    static const Parameter<double> PART_PARAMETER;
    static const ParameterList& parameters();

    bool isInputValid() const override;
    bool process(const std::atomic<bool>& cancel) override;
};

/// Adapter of featurePointImages(); publishes nothing when a step fails.
class FeaturePointImageProvider : public Algorithm
{
public:
    static const QString FINAL_RIDGE_INPUT_IMAGE;          ///< "finalRidgeInputImage", FLOAT
    static const QString RANGE_IMAGE_INPUT_IMAGE;          ///< "rangeImageInputImage", FLOAT
    static const QString DILATION_RADIUS;                  ///< "dilationRadius", int
    static const QString DILATED_FINAL_RIDGE_OUTPUT_IMAGE; ///< "dilatedFinalRidgeOutputImage"
    static const QString MASKED_RANGE_IMAGE_OUTPUT_IMAGE;  ///< "maskedRangeImageOutputImage"
    static const Parameter<int> DILATION_RADIUS_PARAMETER;
    static const ParameterList& parameters();

    bool isInputValid() const override;
    bool process(const std::atomic<bool>& cancel) override;
};

} // namespace image2d
