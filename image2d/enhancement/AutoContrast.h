#pragma once

#include "image2d/framework/Algorithm.h"
#include "image2d/framework/Core.h"
#include "image2d/framework/Parameters.h"
#include "platform/documentmodel/MediaType.h"
#include "platform/maths/Range.h"
#include "platform/pixeldata/Image2D.h"
#include "platform/pixeldata/LevelWindow.h"

namespace image2d {

/// Pixel types of the percentile window.
using AutoContrastTypes = PixelTypes<Image2D::UNSIGNED_SHORT, Image2D::SHORT, Image2D::UNSIGNED_CHAR>;

/// A value interval of an image (a percentile window).
struct ContrastWindow
{
    float minimum = 0.0f;
    float maximum = 0.0f;
    float center() const { return (minimum + maximum) * 0.5f; }
    float range() const { return maximum - minimum; }
};

/// Percentile window of an integer image: from a histogram with one bin per value, the
/// interval between the lower and the upper fraction of its pixels (the lowest bin left out
/// with `discardLowestBin`); [0, 0] when nothing is left. On the calling thread. Nothing, with
/// the algorithm's warnings, for fractions not ordered inside [0, 1] or an unsupported image.
utility::Optional<ContrastWindow> autoContrastWindow(const Image2D& image, float lowerFraction, float upperFraction,
                                                     bool discardLowestBin = false);

/// Adapter of autoContrastWindow(). Has no output image; the window is written back into its
/// own parameters (WINDOW_MINIMUM, WINDOW_MAXIMUM, WINDOW_CENTER, WINDOW_RANGE). The two
/// fractions are checked as doubles and read as floats, LOW_BINS_TO_DISCARD is lenient.
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
    static const Parameter<float> LOWER_PARAMETER;
    static const Parameter<float> UPPER_PARAMETER;
    static const Parameter<int> DISCARD_PARAMETER;
    static const ParameterList& parameters();

    bool isInputValid() const override;
    bool process(const std::atomic<bool>& cancel) override;
};

/// Display gamma of an image shown with the level/window of `range` (levelWindow()),
/// estimated from the histogram of the level-windowed image; 1 when nothing can be estimated.
float calculateAutoGamma(const Image2D& image, const math::Range<float>& range);

} // namespace image2d

namespace dataObjectFunctions {

/// Automatic level and window of an image with the percentile window of its media type
/// (autoContrastWindow()); 16-bit results are rounded to multiples of 50. (0, 0) for an
/// unsupported image.
data::LevelWindow computeAutoContrast(const Image2D& image, MediaType type);

} // namespace dataObjectFunctions
