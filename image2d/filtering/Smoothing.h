#pragma once

#include "image2d/framework/Algorithm.h"

#include <atomic>
#include <memory>

namespace image2d {

/// Display denoising: a separable Gaussian whose radius follows from sigma (ceil(3 sigma),
/// at most KERNEL_RADIUS). Hands the input image itself on when sigma is 0 or the kernel
/// does not fit the image.
class Denoise : public Algorithm
{
public:
    static const QString FILTER_ID;     ///< "Denoise"
    static const QString KERNEL_STD;    ///< "kernelStdDenoise" (float, >= 0)
    static const QString KERNEL_RADIUS; ///< "kernelRadiusDenoise" (integer, >= 1)

    bool isInputValid() const override;
    bool process(const std::atomic<bool>& cancel) override;
};

/// Band-pass image: the input blurred with two Gaussians of the same radius, both scaled by
/// SCALE, the second subtracted from the first in float, stored as SHORT (rounded, saturated).
class DifferenceOfGaussians : public Algorithm
{
public:
    static const QString FIRST_SIGMA;  ///< "first_sigma" (float, >= 0)
    static const QString SECOND_SIGMA; ///< "second_sigma" (float, >= 0)
    static const QString RADIUS;       ///< "radius" (integer, >= 1), of both kernels
    static const QString SCALE;        ///< "scale" (float), applied to both blurred images

    /// The SHORT difference image of `image`; empty on failure.
    static std::shared_ptr<Image2D> executeDOG(std::shared_ptr<Image2D> image, float firstSigma, float secondSigma,
                                               int radius, float scale);

    bool isInputValid() const override;
    bool process(const std::atomic<bool>& cancel) override;

private:
    static std::shared_ptr<Image2D> processGaussian(const std::atomic<bool>& cancel, std::shared_ptr<Image2D> image,
                                                    float sigma, int radius);
    static std::shared_ptr<Image2D> processScale(const std::atomic<bool>& cancel, std::shared_ptr<Image2D> image,
                                                 float scale);
    static std::shared_ptr<Image2D> processDifference(const std::atomic<bool>& cancel, std::shared_ptr<Image2D> first,
                                                      std::shared_ptr<Image2D> second);
};

} // namespace image2d
