#pragma once

// Ridges and valleys from how fast the direction of a gradient field turns: the field is
// normalised to unit vectors (a cosine and a sine image), both are differentiated with the
// Sobel kernels, and the magnitude of those four derivatives is high where the direction flips,
// on ridges and in valleys. Ridge finding narrows that down on a height (range) image to
// negative curvature, the upper part of the height range and strong direction changes.
//
// The typed core functions come first (the C++ API), then their adapters. Both run on the
// calling thread apart from the 3 x 3 filters, whose rows run in parallel.

#include "image2d/framework/Algorithm.h"
#include "image2d/framework/Core.h"
#include "image2d/framework/Parameters.h"

#include <QString>

#include <atomic>
#include <memory>

namespace image2d {

/// Gradient-component pixel types of the orientation analysis.
using GradientOrientationTypes =
    PixelTypes<Image2D::UNSIGNED_SHORT, Image2D::SHORT, Image2D::UNSIGNED_CHAR, Image2D::BINARY, Image2D::FLOAT>;

/// Results of gradientOrientation(); all FLOAT of the inputs' size and pixel size.
struct GradientOrientationImages
{
    std::shared_ptr<Image2D> cosineDx;         ///< cosine filtered with Sobel(VERTICAL)
    std::shared_ptr<Image2D> cosineDy;         ///< cosine filtered with Sobel(HORIZONTAL)
    std::shared_ptr<Image2D> sineDx;           ///< sine filtered with Sobel(VERTICAL)
    std::shared_ptr<Image2D> sineDy;           ///< sine filtered with Sobel(HORIZONTAL)
    std::shared_ptr<Image2D> ridgesAndValleys; ///< sqrt of the sum of the four squares
    explicit operator bool() const { return cosineDx && cosineDy && sineDx && sineDy; }
};

/// Direction change of the gradient field (first, second): cos = a / m and sin = b / m with
/// m = sqrt(a^2 + b^2) in float (both 0 where m is 0), their four Sobel derivatives and the
/// magnitude of those. Both images of one size and GradientOrientationTypes; empty with the
/// algorithm's warnings otherwise.
GradientOrientationImages gradientOrientation(const Image2D& first, const Image2D& second);

/// Results of findRidges(); all FLOAT of the range image's size and pixel size. A step that
/// fails leaves its image and those after it empty, with that step's warning.
struct RidgeImages
{
    std::shared_ptr<Image2D> ridgesAndValleys; ///< direction change of the range image's gradient
    std::shared_ptr<Image2D> negativeCurvature; ///< ridgesAndValleys where the Laplacian is below 0
    std::shared_ptr<Image2D> high;              ///< negativeCurvature where the range is above 0.6333333 of its maximum
    std::shared_ptr<Image2D> ridges; ///< high where it exceeds ln 4 times its mean over the non-zero pixels
};

/// Ridges of a FLOAT range (height) image: the gradient by the two Sobel kernels, its
/// gradientOrientation(), then kept by the Laplacian, the height and the strength in turn
/// (thresholds and masks, which poll `cancel` per row). Without any non-zero pixel left for
/// the strength, the ridge image is a copy of the all-zero height-kept image. Empty results
/// with "image2d::FindRidges" warnings for an invalid or non-FLOAT image.
RidgeImages findRidges(const Image2D& range, const std::atomic<bool>& cancel = neverCancelled());

/// Adapter of gradientOrientation(); publishes the four derivatives and the ridges-and-valleys
/// image. Invalid images are rejected with "invalid input" besides the stated checks.
class GradientOrientationAnalysis : public Algorithm
{
public:
    static const QString INPUT_IMAGE1;              ///< "inputImage1": first gradient component
    static const QString INPUT_IMAGE2;              ///< "inputImage2": second, same type and size
    static const QString OUTPUT_IMAGE_CX;           ///< "outputImageCx"
    static const QString OUTPUT_IMAGE_CY;           ///< "outputImageCy"
    static const QString OUTPUT_IMAGE_SX;           ///< "outputImageSx"
    static const QString OUTPUT_IMAGE_SY;           ///< "outputImageSy"
    static const QString OUTPUT_RIDGES_AND_VALLEYS; ///< "outputRidgesAndValleys"
    static const ParameterList& parameters();

    bool isInputValid() const override;
    bool process(const std::atomic<bool>& cancel) override;
};

/// Adapter of findRidges(); publishes whatever images the steps produced and reports success.
class FindRidges : public Algorithm
{
public:
    static const QString RANGE_IMAGE;          ///< "rangeImage", FLOAT
    static const QString RIDGES_VALLEYS_IMAGE; ///< "ridgesValleysImage"
    static const QString RIDGES_D1_IMAGE;      ///< "ridgesD1Image"
    static const QString RIDGES_D2_IMAGE;      ///< "ridgesD2Image"
    static const QString RIDGES_IMAGE;         ///< "ridgesImage"
    static const ParameterList& parameters();

    bool isInputValid() const override;
    bool process(const std::atomic<bool>& cancel) override;
};

} // namespace image2d
