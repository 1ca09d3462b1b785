#pragma once

#include "image2d/framework/Algorithm.h"
#include "image2d/framework/Core.h"
#include "image2d/framework/Parameters.h"

#include <QString>

#include <atomic>
#include <memory>

namespace image2d {

/// Pixel types of the histogram equalization (every type but INT).
using HistogramEqualizationTypes = NoIntPixelTypes;

/// Contrast-limited adaptive histogram equalization: overlapping square tiles of radius
/// `relativeRadius` times the width, `overlap` of a tile shared with the next, each with a
/// clipped cumulative histogram, interpolated bilinearly between tile centres and stored by
/// truncation. `balance` moves the clip limit from none (0) to full equalization (1). Runs
/// on the calling thread, band of rows after band; `cancel` is read before
/// the start and after every band (a cancelled run keeps the rows written so far). Returns
/// `image` itself for a balance <= 0, and for INT with a warning; empty with the algorithm's
/// warnings for parameters outside their ranges or an unusable image.
std::shared_ptr<Image2D> histogramEqualization(std::shared_ptr<Image2D> image, float balance, float relativeRadius,
                                               float overlap, const std::atomic<bool>& cancel = neverCancelled());
/// The same on a caller's image; the unchanged cases return a copy.
std::shared_ptr<Image2D> histogramEqualization(const Image2D& image, float balance, float relativeRadius,
                                               float overlap, const std::atomic<bool>& cancel = neverCancelled());

/// Adapter of histogramEqualization(). Its parameter warnings are "missing parameter: ",
/// "invalid parameter: " or "parameter <key> not within range [ <min> , ... , <max> ]", each
/// followed by "image2d::HistogramEqualization : invalid input.".
class HistogramEqualization : public Algorithm
{
public:
    static const QString FILTER_ID;              ///< "HistogramEqualization"
    static const QString BALANCE;                ///< "balance", float in [0, 1]
    static const QString& KERNEL_RELATIVE_RADIUS; ///< "kernelRadius" (RecursiveMinMax's key), fraction of the width in [0, 0.5]
    static const QString KERNEL_OVERLAP;         ///< "kernelOverlap", fraction of the tile in [0, 1]
    static const Parameter<float> BALANCE_PARAMETER;
    static const Parameter<float> RADIUS_PARAMETER;
    static const Parameter<float> OVERLAP_PARAMETER;
    static const ParameterList& parameters();

    bool isInputValid() const override;
    /// balance <= 0 publishes the input image itself; otherwise a new equalized image.
    bool process(const std::atomic<bool>& cancel) override;
    /// The display chain's step: the core function with this class's parameters read from
    /// `parameters` (validated before); empty when the core fails.
    static std::shared_ptr<Image2D> applyFilter(const Uniforms& parameters, const std::shared_ptr<Image2D>& image,
                                                const std::atomic<bool>& cancel);

    /// Runs the algorithm on a copy of `input`; an empty pointer on invalid input.
    static std::shared_ptr<Image2D> executeHieq(Image2D* input, float balance, float kernelRadius,
                                                float kernelOverlap);
};

} // namespace image2d
