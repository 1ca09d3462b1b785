// Pixel-wise operations: intensity mappings, thresholding, masking and image arithmetic.

#include "Bindings.h"
#include "Declared.h"

#include "image2d/pointops/ImageArithmetic.h"
#include "image2d/pointops/IntensityMapping.h"

namespace bindings {

using namespace image2d;

void bindPointops(py::module_& m)
{
    const std::string all = typesOf<AllPixelTypes>();
    define(m, "level_window", "Level/window onto the full range of the type (0..1 for float32).", {"image"},
           typesOf<LevelWindowTypes>(),
           [](Images& in, double level, double window) { return levelWindow(in[0], level, window); },
           DECLARED(LevelWindow, LEVEL), DECLARED(LevelWindow, WINDOW));
    define(m, "gamma_correction", "Gamma correction: v ** (1 / gamma) on the normalised value.", {"image"},
           typesOf<LevelWindowTypes>(), [](Images& in, float gamma) { return gammaCorrection(in[0], gamma); },
           DECLARED(GammaCorrection, GAMMA));
    define(m, "invert", "Bitwise complement, or with preserve_range the reflection within the value bounds.",
           {"image"}, all, [](Images& in, bool preserve) { return invert(in[0], preserve); },
           DECLARED(Invert, PRESERVE_RANGE));
    define(m, "scale_color_value", "v * scalar, clamped to the type's range.", {"image"}, all,
           [](Images& in, float scalar) { return scaleColorValue(in[0], scalar); }, DECLARED(ScaleColorValue, SCALAR));
    define(m, "bit_shift", "(v AND mask) << bits, dropping the high bits.", {"image"}, typesOf<BitShiftTypes>(),
           [](Images& in, unsigned int bits) { return bitShift(in[0], bits); }, DECLARED(BitShift, BITS));
    define(m, "threshold", "Boolean image of v > value (operator \">\") or v < value (\"<\").", {"image"}, all,
           [](Images& in, float value, const QString& op) -> std::shared_ptr<Image2D> {
               if (op != QLatin1String(">") && op != QLatin1String("<"))
               {
                   // The adapter's validation gives the library's own warning.
                   Threshold check;
                   check.setUniformValue(Threshold::THRESHOLD_VALUE, value);
                   check.setUniformValue(Threshold::THRESHOLD_OPERATOR, op);
                   check.isInputValid();
                   return nullptr;
               }
               return threshold(in[0], value, op == QLatin1String("<") ? ThresholdComparison::Below
                                                                       : ThresholdComparison::Above);
           },
           DECLARED(Threshold, VALUE), DECLARED(Threshold, OPERATOR));
    define(m, "mask", "Copy of the image with the pixels under a 0 of the boolean mask set to value.",
           {"image", "mask"}, typesOf<NoIntPixelTypes>(),
           [](Images& in, double value) { return image2d::mask(in[0], in[1], value); }, DECLARED(Mask, VALUE));
    define(m, "multiply", "Pixel-wise a * b of two images of one size and type.", {"a", "b"},
           typesOf<NoIntPixelTypes>(), [](Images& in) { return multiply(in[0], in[1]); });
    define(m, "difference", "Pixel-wise a - b (floored at 0 for unsigned types).", {"a", "b"}, all,
           [](Images& in) { return difference(in[0], in[1]); });
}

} // namespace bindings
