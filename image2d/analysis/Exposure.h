#pragma once

// Exposure class of an 8-bit radiograph inside a mask: dark, balanced or bright, from the
// histogram of its smoothed pixels.
//     auto type = image2d::classifyExposure(display8, collimatorMask);   // Optional<ExposureType>

#include "image2d/framework/Algorithm.h"
#include "image2d/framework/Core.h"
#include "platform/utility/Optional.h"

#include <array>
#include <cstdint>

namespace image2d {

/// Adapter of classifyExposure(): writes the class to EXPOSURE_VALUE and hands the input
/// image itself on as "outputImage".
class Exposure : public Algorithm
{
public:
    enum ExposureType
    {
        BALANCED = 0,
        BRIGHT = 1,
        DARK = 2
    };

    static const QString MASK_IMAGE;     ///< "maskImage", BINARY, the input's size
    static const QString EXPOSURE_VALUE; ///< "exposureValue", result: int, an ExposureType

    /// The class of `image` inside `mask` (both shared, not copied); BALANCED when no class
    /// could be given.
    static ExposureType executeExposure(std::shared_ptr<Image2D> image, std::shared_ptr<Image2D> mask);

    bool isInputValid() const override;
    bool process(const std::atomic<bool>& cancel) override;

private:
    void compute(std::shared_ptr<Image2D> image, std::shared_ptr<Image2D> mask, const std::atomic<bool>& cancel);
};

/// Value bands of the rule: low 1..84 (0 is left out as masked), middle 85..169, high 170..254.
/// 255 belongs to none.
struct ExposureBands
{
    std::uint64_t low = 0, middle = 0, high = 0;
};
ExposureBands exposureBands(const std::array<std::uint64_t, 256>& counts);

/// The decision on the counts of the byte values (count[0] is ignored): DARK when the low band
/// holds most, else BRIGHT when the high band holds at least as much as the middle, else by the
/// centre of the fullest group of five values (0..4, 5..9, ..., 250..254; the lowest on a tie):
/// below 76 DARK, from 179 BRIGHT, between them DARK when the high band holds under 1 %.
Exposure::ExposureType exposureFromCounts(const std::array<std::uint64_t, 256>& counts);

/// The exposure class of an UNSIGNED_CHAR or BINARY image inside a BINARY mask of its size: the
/// image smoothed by a separable Gaussian (radius 4, sigma 2, stored truncated in its own type),
/// its values counted where the mask is not 0, then exposureFromCounts(). The smoothing runs on
/// the TBB pool. Empty, with the algorithm's warning, for other pixel types; with the masking
/// step's warning for a mask that is not BINARY; empty when `cancel` is set after the smoothing.
utility::Optional<Exposure::ExposureType> classifyExposure(const Image2D& image, const Image2D& mask,
                                                           const std::atomic<bool>& cancel = neverCancelled());

} // namespace image2d
