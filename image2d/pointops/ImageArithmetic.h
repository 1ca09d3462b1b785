#pragma once

#include "image2d/framework/Algorithm.h"

#include <QString>

#include <atomic>
#include <memory>

namespace image2d {

/// Binary image of the pixels above (">") or below ("<") a threshold, compared in the
/// input's pixel type.
class Threshold : public Algorithm
{
public:
    static const QString THRESHOLD_VALUE;    ///< "thresholdValue", float
    static const QString THRESHOLD_OPERATOR; ///< "thresholdOperator", ">" (default) or "<"

    /// Sets the operator to ">".
    Threshold();

    bool isInputValid() const override;
    bool process(const std::atomic<bool>& cancel) override;

    /// BINARY image of the pixels of a copy of *image above `value`; empty on failure.
    static std::shared_ptr<Image2D> executeThreshold(Image2D* image, float value);
};

/// Copy of the input in which every pixel under a 0 of the BINARY mask becomes the
/// masking value. Cancellation between rows publishes the partly masked image.
class Mask : public Algorithm
{
public:
    static const QString MASK_IMAGE;              ///< "maskImage", BINARY, the input's size
    static const QString VALUE_FOR_MASKED_PIXELS; ///< "valueForMaskedPixels", number, default 0

    bool isInputValid() const override;
    bool process(const std::atomic<bool>& cancel) override;

    /// Masks copies of both images; empty on failure.
    static std::shared_ptr<Image2D> executeMask(const Image2D* image, const Image2D* mask, double value);
};

/// Pixel-wise product of two images of one size and data type; integer products wrap.
class Multiply : public Algorithm
{
public:
    static const QString INPUT_A_IMAGE; ///< "inputAImage"
    static const QString INPUT_B_IMAGE; ///< "inputBImage", A's size and data type

    bool isInputValid() const override;
    bool process(const std::atomic<bool>& cancel) override;

    /// Product of copies of both images; empty on failure.
    static std::shared_ptr<Image2D> executeMultiply(Image2D* a, Image2D* b);
};

/// Pixel-wise difference "inputImage" - "take_diff": floored at 0 for unsigned types,
/// wrapping for SHORT and INT.
class Difference : public Algorithm
{
public:
    static const QString TAKE_DIFFERENCE_OF; ///< "take_diff", the subtrahend

    bool isInputValid() const override;
    bool process(const std::atomic<bool>& cancel) override;

    /// a - b on the shared images; empty on failure.
    static std::shared_ptr<Image2D> executeDifference(std::shared_ptr<Image2D> a, std::shared_ptr<Image2D> b);
};

} // namespace image2d
