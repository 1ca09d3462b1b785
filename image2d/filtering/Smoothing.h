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

} // namespace image2d
