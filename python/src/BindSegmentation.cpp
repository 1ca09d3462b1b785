// Segmentation and features: ridges and gradient orientation, teeth ridges, and the tooth
// outline by a cheapest path in polar coordinates with its steps.

#include "Bindings.h"
#include "Declared.h"

#include "image2d/analysis/Ridges.h"
#include "image2d/analysis/TeethRidges.h"
#include "image2d/analysis/ToothSegmentation.h"

#include <cmath>

namespace bindings {

using namespace image2d;

void bindSegmentation(py::module_& m)
{
    define(m, "gradient_orientation",
           "Direction change of the gradient field (first, second): a dict of the four Sobel derivatives\n"
           "of its cosine and sine and their magnitude (float32).",
           {"first", "second"}, typesOf<GradientOrientationTypes>(),
           [](Images& in) { return gradientOrientation(in[0], in[1]); });
    define(m, "find_ridges",
           "Ridges of a float32 height image: a dict of the direction change and the images kept by\n"
           "negative curvature, height and strength (None for steps that did not run).",
           {"range"}, "float32", [](Images& in) {
               RidgeImages ridges = findRidges(in[0]);
               // Published whatever the steps produced; only a first step that failed is a failure.
               return ridges.ridgesAndValleys ? std::optional<RidgeImages>(std::move(ridges)) : std::nullopt;
           });
    define(m, "teeth_ridges", "The ridge pixels of the large ridge structures.", {"ridges"}, "float32",
           [](Images& in, int radius, double part) { return teethRidges(in[0], radius, part); },
           DECLARED(TeethRidges, DILATION_RADIUS), DECLARED(TeethRidges, PART));
    define(m, "feature_point_images", "(dilated ridges, range image kept on the ridge pixels).",
           {"final_ridges", "range"}, "float32",
           [](Images& in, int radius) { return featurePointImages(in[0], in[1], radius); },
           DECLARED(FeaturePointImageProvider, DILATION_RADIUS));
    define(m, "to_polar_cost", "Polar cost image (uint8, 360 columns) around the origin (default the centre).",
           {"image"}, typesOf<AllPixelTypes>(),
           [](Images& in, float threshold, unsigned int under, unsigned int above, float x, float y) {
               if (std::isnan(x) && std::isnan(y))
                   return toPolarCost(in[0], threshold, static_cast<unsigned char>(under),
                                      static_cast<unsigned char>(above));
               if (std::isnan(x))
                   x = float(in[0].getWidth() / 2);
               if (std::isnan(y))
                   y = float(in[0].getHeight() / 2);
               return toPolarCost(in[0], threshold, static_cast<unsigned char>(under),
                                  static_cast<unsigned char>(above), x, y);
           },
           DECLARED(ToPolarCost, THRESHOLD), DECLARED(ToPolarCost, UNDERTHRESHOLD),
           DECLARED(ToPolarCost, ABOVETHRESHOLD), DECLARED(ToPolarCost, ORIGIN_X), DECLARED(ToPolarCost, ORIGIN_Y));
    define(m, "cheapest_path", "Cumulative cost (int32) of the cheapest path from column 0 to each cell.",
           {"costs"}, typesOf<CheapestPathTypes>(), [](Images& in) { return cheapestPath(in[0]); });
    define(m, "mask_from_cheapest_path", "Polar mask (bool) below the cheapest path traced back.",
           {"cumulative_costs"}, "int32", [](Images& in) { return maskFromCheapestPath(in[0]); });
    m.def(
        "cartesian_mask_from_polar_mask",
        [](const py::handle& polar, int x, int y, int width, int height) {
            const InputImage input = toImage(polar, "polar", py::none());
            return toPython(callLibrary("cartesian_mask_from_polar_mask", [&] {
                return cartesianMaskFromPolarMask(input.image, x, y, width, height);
            }));
        },
        py::arg("polar"), py::arg("origin_x"), py::arg("origin_y"), py::arg("width"), py::arg("height"),
        "Boolean width x height image taking each pixel's cell of the 360-column polar mask.");
    define(m, "binary_edge", "Binary edge image: blur, difference of Gaussians and a threshold.", {"image"},
           typesOf<AllPixelTypes>(), [](Images& in, float threshold) { return binaryEdge(in[0], threshold); },
           DECLARED(BinaryEdge, THRESHOLD));
    define(m, "tooth_segmentation",
           "Outline of the tooth around the image centre: (bool mask, (origin x, origin y), passes).", {"image"},
           typesOf<AllPixelTypes>(), [](Images& in, int threshold) { return toothSegmentation(in[0], threshold); },
           DECLARED(ToothSegmentation, THRESHOLD));
}

} // namespace bindings
