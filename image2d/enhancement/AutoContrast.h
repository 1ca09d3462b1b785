#pragma once

#include "image2d/framework/Algorithm.h"
#include "platform/documentmodel/MediaType.h"
#include "platform/maths/Range.h"
#include "platform/pixeldata/Image2D.h"
#include "platform/pixeldata/LevelWindow.h"

namespace image2d {

/// Percentile window of an integer image: the value interval between the lower and the
/// upper fraction of its pixels. Has no output image; the window is written back into
/// its own parameters (WINDOW_MINIMUM, WINDOW_MAXIMUM, WINDOW_CENTER, WINDOW_RANGE).
class AutoContrast : public Algorithm
{
public:
    static const QString LOWER_FRACTION;      ///< "lowerFraction", float in [0, 1], required
    static const QString UPPER_FRACTION;      ///< "upperFraciton", float in [0, 1], required
    static const QString LOW_BINS_TO_DISCARD; ///< "lowBinsToDiscard", int flag: ignore the lowest bin
    static const QString WINDOW_MINIMUM;      ///< "windowMinimum", result
    static const QString WINDOW_MAXIMUM;      ///< "windowMaximum", result
    static const QString WINDOW_CENTER;       ///< "windowCenter", result
    static const QString WINDOW_RANGE;        ///< "windowRange", result

    bool isInputValid() const override;
    bool process(const std::atomic<bool>& cancel) override;
};

/// Display gamma of an image shown with the level/window of `range`, estimated from the
/// histogram of the level-windowed image; 1 when nothing can be estimated.
float calculateAutoGamma(const Image2D& image, const math::Range<float>& range);

} // namespace image2d

namespace dataObjectFunctions {

/// Automatic level and window of an image with the percentile window of its media type;
/// 16-bit results are rounded to multiples of 50. (0, 0) for an unsupported image.
data::LevelWindow computeAutoContrast(const Image2D& image, MediaType type);

} // namespace dataObjectFunctions
