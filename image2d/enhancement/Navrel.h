#pragma once

#include "image2d/framework/Algorithm.h"
#include "platform/maths/Range.h"
#include "platform/utility/Optional.h"

#include <QString>

#include <atomic>
#include <memory>

namespace image2d {

/// Adaptive unsharp masking: the local mean is taken only over window pixels strictly
/// between the black and the white value, and the strength shrinks with the share of
/// such pixels in the window.
class Navrel : public Algorithm
{
public:
    static const QString FILTER_ID;        ///< "Navrel"
    static const QString MEDIAN_RADIUS;    ///< "medianRadiusImage": required, not used in the computation
    static const QString KERNEL_RADIUS;    ///< "kernelRadiusImage": window radius r (float)
    static const QString SHARPNESS_FACTOR; ///< "sharpnessFactorImage": strength f
    static const QString WHITE_VALUE;      ///< "whiteValueImage": upper band bound (exclusive)
    static const QString BLACK_VALUE;      ///< "blackValueImage": lower band bound (exclusive)

    bool isInputValid() const override;
    /// Reports true also when the output stays empty (unsupported type, cancellation).
    bool process(const std::atomic<bool>& cancel) override;

    /// BINARY image of `image` compared with `value` by `op` (">" or "<").
    std::shared_ptr<Image2D> thresholdImage(const std::atomic<bool>& cancel, std::shared_ptr<Image2D> image,
                                            float value, const QString& op) const;
    /// Band image: 1 where black < pixel < white, else 0.
    std::shared_ptr<Image2D> thresholdMinMaxImage(const std::atomic<bool>& cancel, std::shared_ptr<Image2D> image,
                                                  float black, float white) const;
    std::shared_ptr<Image2D> multiplyImage(const std::atomic<bool>& cancel, std::shared_ptr<Image2D> a,
                                           std::shared_ptr<Image2D> b) const;
    /// `image` with the pixels outside `mask` set to 0.
    std::shared_ptr<Image2D> maskImage(const std::atomic<bool>& cancel, std::shared_ptr<Image2D> image,
                                       std::shared_ptr<Image2D> mask) const;
    /// Clipped window sums of `image` with radius KERNEL_RADIUS.
    std::shared_ptr<Image2D> satImage(const std::atomic<bool>& cancel, std::shared_ptr<Image2D> image) const;
    /// The per-pixel step from the band-pixel counts St and the band-pixel sums Sm.
    std::shared_ptr<Image2D> navrel(const std::atomic<bool>& cancel, std::shared_ptr<Image2D> input,
                                    std::shared_ptr<Image2D> countTable, std::shared_ptr<Image2D> sumTable) const;
};

/// The share of textured pixels whose 7 x 7 local range exceeds 4.5 % of the displayed
/// range, for the image's inner 80 % seen through `displayRange`; nothing when it has no
/// textured pixel or the image type is not accepted.
utility::Optional<float> calculateNoiseFactor(const Image2D& image, const math::Range<float>& displayRange);

/// The Navrel parameter value to use for an image with the given noise factor: weakened
/// for noisy images (noise factor 0.5 and above).
float calculateNoiseAdjustedNavrelParameter(float value, float noiseFactor);

} // namespace image2d
