#pragma once

#include "image2d/framework/Algorithm.h"
#include "image2d/framework/Core.h"
#include "image2d/framework/Parameters.h"
#include "platform/maths/Range.h"
#include "platform/utility/Optional.h"

#include <QString>

#include <atomic>
#include <memory>

namespace image2d {

/// Pixel types of Navrel (every type but INT).
using NavrelTypes = NoIntPixelTypes;

/// Adaptive unsharp masking: with the band of pixels strictly between `black` and `white`
/// (threshold() twice and multiply()), n the count and S the sum of band pixels in the
/// clipped window of `radius` (windowSums() of the band and of the masked image, two
/// parallel tasks), each pixel with n >= 1 becomes I + (I n - S) * factor / (2 radius + 1)^2
/// in double (store::clampRoundHalfAway); others keep I. The per-pixel step runs in parallel.
/// `cancel` reaches the mask and the window sums and is read once more before the step: a
/// cancelled run returns empty. Empty with a warning for INT.
std::shared_ptr<Image2D> navrel(const Image2D& image, float radius, float factor, float black, float white,
                                const std::atomic<bool>& cancel = neverCancelled());

/// The per-pixel step of navrel() from the band-pixel counts (INT) and sums (INT, or FLOAT
/// for FLOAT images); unfilled when a table is not usable.
std::shared_ptr<Image2D> navrelWithTables(const Image2D& image, const std::shared_ptr<Image2D>& countTable,
                                          const std::shared_ptr<Image2D>& sumTable, float radius, float factor);

/// Adapter of navrel(). All five parameters are checked as integers; the four numbers are
/// read as floats. Reports success also when the output stays empty (INT, cancellation).
class Navrel : public Algorithm
{
public:
    static const QString FILTER_ID;         ///< "Navrel"
    static const QString MEDIAN_RADIUS;     ///< "medianRadiusImage": required, not used in the computation
    static const QString& KERNEL_RADIUS;    ///< "kernelRadiusImage" (Sharpen's key): window radius r (float)
    static const QString& SHARPNESS_FACTOR; ///< "sharpnessFactorImage" (Sharpen's key): strength f
    static const QString WHITE_VALUE;       ///< "whiteValueImage": upper band bound (exclusive)
    static const QString BLACK_VALUE;       ///< "blackValueImage": lower band bound (exclusive)
    static const Parameter<int> MEDIAN_RADIUS_PARAMETER;
    static const Parameter<float> BLACK_PARAMETER;
    static const Parameter<float> WHITE_PARAMETER;
    static const Parameter<float> RADIUS_PARAMETER;
    static const Parameter<float> FACTOR_PARAMETER;
    static const ParameterList& parameters();

    bool isInputValid() const override;
    /// Reports true also when the output stays empty (unsupported type, cancellation).
    bool process(const std::atomic<bool>& cancel) override;
    /// The display chain's step: the core function with this class's parameters read from
    /// `parameters` (validated before); empty when the core fails.
    static std::shared_ptr<Image2D> applyFilter(const Uniforms& parameters, const std::shared_ptr<Image2D>& image,
                                                const std::atomic<bool>& cancel);

    /// BINARY image of `image` compared with `value` by `op` ("<", anything else ">").
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
    /// The per-pixel step from the band-pixel counts St and the band-pixel sums Sm; empty
    /// when `cancel` is set.
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
