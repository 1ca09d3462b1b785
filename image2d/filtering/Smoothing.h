#pragma once

// Gaussian smoothing for display and the difference of Gaussians: core functions (the C++
// API) built on separableFilter(), scaleColorValue() and difference(), then their adapters.
// Both run their steps on the calling thread; the parallelism is inside the filter.

#include "image2d/framework/Algorithm.h"
#include "image2d/framework/Core.h"
#include "image2d/framework/Parameters.h"

#include <atomic>
#include <memory>

namespace image2d {

/// `image` blurred by a separable Gaussian of `sigma` whose radius is ceil(3 sigma), at most
/// `maxRadius` (at least 1), kept in the input's type (store::truncateWrap). Returns `image`
/// itself when sigma is 0, or when the kernel is larger than the image (with the warning
/// "Denoise filter: invalid kernel size or sigma, not applying denoise."). Empty with the
/// algorithm's warning for sigma < 0 (NaN included), maxRadius < 1 or an unusable image.
std::shared_ptr<Image2D> denoise(std::shared_ptr<Image2D> image, float sigma, int maxRadius);
/// The same on a caller's image; the unchanged cases return a copy.
std::shared_ptr<Image2D> denoise(const Image2D& image, float sigma, int maxRadius);

/// Band-pass image: `image` blurred into FLOAT with Gaussians of both sigmas and `radius`,
/// both scaled by `scale` (scaleColorValue) and subtracted (difference), converted to SHORT
/// by the pixel-data library (rounded, saturated). Empty with a warning on bad arguments.
std::shared_ptr<Image2D> differenceOfGaussians(const Image2D& image, float firstSigma, float secondSigma, int radius,
                                               float scale);

/// Adapter of denoise(); reports success also when the output stays empty.
class Denoise : public Algorithm
{
public:
    static const QString FILTER_ID;     ///< "Denoise"
    static const QString KERNEL_STD;    ///< "kernelStdDenoise" (float, >= 0)
    static const QString KERNEL_RADIUS; ///< "kernelRadiusDenoise" (integer, >= 1)
    /// Out of range: "value out of range".
    static const Parameter<float> SIGMA_PARAMETER;
    /// Out of range: "value out of range".
    static const Parameter<int> RADIUS_PARAMETER;
    static const ParameterList& parameters();

    bool isInputValid() const override;
    bool process(const std::atomic<bool>& cancel) override;
    /// The display chain's step: the core function with this class's parameters read from
    /// `parameters` (validated before); empty when the core fails.
    static std::shared_ptr<Image2D> applyFilter(const Uniforms& parameters, const std::shared_ptr<Image2D>& image,
                                                const std::atomic<bool>& cancel);
};

/// Adapter of differenceOfGaussians(). Its parameter warnings are all
/// "image2D::DifferenceOfGaussians : invalid input " and the key.
class DifferenceOfGaussians : public Algorithm
{
public:
    static const QString FIRST_SIGMA;  ///< "first_sigma" (float, >= 0)
    static const QString SECOND_SIGMA; ///< "second_sigma" (float, >= 0)
    static const QString& RADIUS;      ///< "radius" (AreaAverage's key; integer, >= 1), of both kernels
    static const QString SCALE;        ///< "scale" (float), applied to both blurred images
    static const Parameter<float> FIRST_SIGMA_PARAMETER;
    static const Parameter<float> SECOND_SIGMA_PARAMETER;
    static const Parameter<int> RADIUS_PARAMETER;
    static const Parameter<float> SCALE_PARAMETER;
    static const ParameterList& parameters();

    /// The SHORT difference image of `image`; empty on failure.
    static std::shared_ptr<Image2D> executeDOG(std::shared_ptr<Image2D> image, float firstSigma, float secondSigma,
                                               int radius, float scale);

    bool isInputValid() const override;
    bool process(const std::atomic<bool>& cancel) override;
};

} // namespace image2d
