#pragma once

// Thresholding, masking and pixel-wise arithmetic of two images.
//
// Core functions first (the C++ API), then their algorithm-class adapters. Every core
// runs one sequential pass in memory order, never changes its inputs and warns like its
// algorithm class; only mask() polls a cancellation flag.

#include "image2d/framework/Algorithm.h"
#include "image2d/framework/Core.h"
#include "image2d/framework/Parameters.h"

#include <QString>

#include <atomic>
#include <memory>

namespace image2d {

/// Which side of the threshold becomes 1.
enum class ThresholdComparison
{
    Above, ///< v > t ("thresholdOperator" ">")
    Below, ///< v < t ("thresholdOperator" "<")
};

/// BINARY image of v > t (or v < t), compared in the pixel type after truncating t toward
/// zero (FLOAT keeps t); a truncated t beyond the type's range decides every pixel alike.
/// Every pixel type but code 4; empty with a warning for a NaN threshold.
std::shared_ptr<Image2D> threshold(const Image2D& image, float value,
                                   ThresholdComparison comparison = ThresholdComparison::Above);

/// Copy of `image` in which every pixel under a 0 of the BINARY `mask` (same size) becomes
/// `value` truncated toward zero (NaN: 0) and saturated to the type (store::saturateTruncate,
/// store::saturateToFloat). Polls `cancel` after each row: a cancelled run returns the
/// partly masked copy. Every type but INT.
std::shared_ptr<Image2D> mask(const Image2D& image, const Image2D& mask, double value,
                              const std::atomic<bool>& cancel = neverCancelled());

/// Pixel-wise a * b of two images of one size and type; integer products keep their low
/// bits (wrap). Every type but INT.
std::shared_ptr<Image2D> multiply(const Image2D& a, const Image2D& b);

/// Pixel-wise a - b of two images of one size and type: floored at 0 for unsigned types,
/// wrapping for SHORT and INT. Every type but code 4.
std::shared_ptr<Image2D> difference(const Image2D& a, const Image2D& b);

/// Adapter of threshold(). Checks its parameters before the input image.
class Threshold : public Algorithm
{
public:
    static const QString THRESHOLD_VALUE;    ///< "thresholdValue", float
    static const QString THRESHOLD_OPERATOR; ///< "thresholdOperator", ">" (default) or "<"
    /// Checked as a double, read as a float.
    static const Parameter<float> VALUE_PARAMETER;
    /// A text; anything but "<" and ">" fails with "invalid operator".
    static const Parameter<QString> OPERATOR_PARAMETER;
    static const ParameterList& parameters();

    /// Sets the operator to ">".
    Threshold();

    bool isInputValid() const override;
    bool process(const std::atomic<bool>& cancel) override;

    /// BINARY image of the pixels of a copy of *image above `value`; empty on failure.
    static std::shared_ptr<Image2D> executeThreshold(Image2D* image, float value);
};

/// Adapter of mask(). The masking value is lenient: absent or not a number reads as 0.
class Mask : public Algorithm
{
public:
    static const QString MASK_IMAGE;              ///< "maskImage", BINARY, the input's size
    static const QString VALUE_FOR_MASKED_PIXELS; ///< "valueForMaskedPixels", number, default 0
    static const Parameter<double> VALUE_PARAMETER;
    static const ParameterList& parameters();

    bool isInputValid() const override;
    bool process(const std::atomic<bool>& cancel) override;

    /// Masks copies of both images; empty on failure.
    static std::shared_ptr<Image2D> executeMask(const Image2D* image, const Image2D* mask, double value);
};

/// Adapter of multiply().
class Multiply : public Algorithm
{
public:
    static const QString INPUT_A_IMAGE; ///< "inputAImage"
    static const QString INPUT_B_IMAGE; ///< "inputBImage", A's size and data type
    static const ParameterList& parameters();

    bool isInputValid() const override;
    bool process(const std::atomic<bool>& cancel) override;

    /// Product of copies of both images; empty on failure.
    static std::shared_ptr<Image2D> executeMultiply(Image2D* a, Image2D* b);
};

/// Adapter of difference(): "inputImage" - "take_diff".
class Difference : public Algorithm
{
public:
    static const QString TAKE_DIFFERENCE_OF; ///< "take_diff", the subtrahend
    static const ParameterList& parameters();

    bool isInputValid() const override;
    bool process(const std::atomic<bool>& cancel) override;

    /// a - b on the shared images; empty on failure.
    static std::shared_ptr<Image2D> executeDifference(std::shared_ptr<Image2D> a, std::shared_ptr<Image2D> b);
};

} // namespace image2d
