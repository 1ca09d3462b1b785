#pragma once

// Two small measurements: how sharp an 8-bit image is, and the value range inside a mask.
//     double s = image2d::sharpnessEstimate(display8);
//     auto range = image2d::minMaxOfMaskedArea(raw, collimatorMask);   // Optional<pair<float, float>>

#include "image2d/framework/Algorithm.h"
#include "platform/utility/Optional.h"

#include <utility>

namespace image2d {

/// Population variance of the Sobel gradient magnitude of an UNSIGNED_CHAR image of at least
/// 3 x 3 pixels (edges replicated; gx^2 + gy^2 summed as integers, the root and a running mean
/// in double, pixels in row order). 0.0 for any other image. Caller's thread, no buffer
/// beyond one row.
double sharpnessEstimate(const Image2D& image);

/// Smallest and largest value, as float, of the pixels of an UNSIGNED_SHORT, SHORT,
/// UNSIGNED_CHAR, BINARY or FLOAT image whose byte in a BINARY mask of the image's size is not
/// 0 (NaN pixels never become either). Empty when no pixel is masked, and, with the algorithm's
/// warning, for an invalid image or mask, a mask that is not BINARY or of another size, or an
/// INT image. Caller's thread.
utility::Optional<std::pair<float, float>> minMaxOfMaskedArea(const Image2D& image, const Image2D& mask);

/// Adapter of sharpnessEstimate(): keeps the estimate and hands the input on as "outputImage".
class Sharpness : public Algorithm
{
public:
    static const QString SHARPNESS; ///< "sharpness" (exported key; the estimate is a member)

    /// The estimate of `image`; 0.0 for a null, invalid, non-8-bit or smaller than 3 x 3 image.
    static double calculateSharpness(const Image2D* image);
    /// The estimate of the last run, 0 before the first.
    double getSharpnessEstimate() const { return m_estimate; }

    bool isInputValid() const override;
    bool process(const std::atomic<bool>& cancel) override;

private:
    double m_estimate = 0.0;
};

/// Adapter of minMaxOfMaskedArea(): writes MIN_VALUE and MAX_VALUE (floats) to its parameters.
class MinMaxOfMaskedArea : public Algorithm
{
public:
    static const QString MASK_IMAGE; ///< "maskImage", BINARY, the input's size
    static const QString MIN_VALUE;  ///< "minValue", result
    static const QString MAX_VALUE;  ///< "maxValue", result

    /// (minimum, maximum) inside `mask`; with a null mask the image's value bounds
    /// (getMinFloatValue, getMaxFloatValue) without reading its pixels.
    static utility::Optional<std::pair<float, float>> calculateMinMaxOfMaskedArea(const Image2D& image,
                                                                                  const Image2D* mask);

    bool isInputValid() const override;
    bool process(const std::atomic<bool>& cancel) override;
};

} // namespace image2d
