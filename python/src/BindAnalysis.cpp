// Binary and region analysis (distance maps, labelling, skeletons) and the measurements
// (histograms, exposure, sharpness, masked range).

#include "Bindings.h"
#include "Declared.h"

#include "image2d/analysis/DistanceTransform.h"
#include "image2d/analysis/Exposure.h"
#include "image2d/analysis/Histograms.h"
#include "image2d/analysis/Labeling.h"
#include "image2d/analysis/Measurements.h"
#include "image2d/analysis/Skeletonization.h"

#include <pybind11/stl.h>

namespace bindings {

using namespace image2d;

namespace {

const std::string binary = "bool";

Window windowOf(const py::object& window, const Image2D& image)
{
    if (window.is_none())
        return Window::whole(image.getWidth(), image.getHeight());
    const auto w = window.cast<std::array<int, 4>>();
    return Window(w[0], w[1], w[2], w[3]);
}

} // namespace

void bindAnalysis(py::module_& m)
{
    define(m, "distance_transform", "Chamfer distance (5 per step) to the nearest set pixel, as int16.", {"binary"},
           binary, [](Images& in) { return distanceTransform(in[0]); });
    define(m, "grow_chamfer", "Chamfer growth of the zone within the limit's distance map, as int16.",
           {"limit", "zone"}, binary,
           [](Images& in, int depth) { return growChamfer(in[0], in[1], depth); },
           DECLARED(GrowChamfer, PENETRATION_DEPTH));
    define(m, "label_components",
           "8-connected components numbered in column-major order: (uint16 labels, sizes), sizes[0] the\n"
           "background's pixel count.",
           {"binary"}, binary, [](Images& in) { return labelComponents(in[0]); });
    define(m, "keep_largest_regions", "Boolean image of the region_count largest labels.", {"labels"}, "uint16",
           [](Images& in, int count) { return keepLargestRegions(in[0], count); },
           DECLARED(KeepLargestPart, REGION_COUNT));
    define(m, "keep_regions_of_minimum_size", "Boolean image of the labels of at least minimum_size pixels.",
           {"labels"}, "uint16", [](Images& in, int size) { return keepRegionsOfMinimumSize(in[0], size); },
           DECLARED(KeepLargestPart, MINIMUM_SIZE));
    define(m, "skeletonize", "One-pixel-wide skeleton of the set pixels (hit-or-miss thinning).", {"binary"}, binary,
           [](Images& in) { return skeletonize(in[0]); });
    m.def(
        "longest_path",
        [](const py::handle& skeleton) {
            const InputImage input = toImage(skeleton, "skeleton", py::none());
            if (!skeleton_detail::isBinaryInput(&input.image))
                throw py::value_error("longest_path: expected a non-empty boolean skeleton");
            Image2D copy(input.image); // the walk clears the pixels it visits
            return toPython(callLibrary("longest_path", [&] { return longestPath(copy); }));
        },
        py::arg("skeleton"),
        "Longest 8-connected path from the skeleton's start pixel (the first set pixel from the bottom\n"
        "row up), as an (n, 2) int32 array of (x, y); empty without a set pixel. The input is not changed.");

    m.def(
        "count_byte_values",
        [](const py::handle& image, const py::object& window, const py::object& mask) {
            const InputImage input = toImage(image, "image", py::none());
            std::optional<InputImage> maskInput;
            if (!mask.is_none())
                maskInput = toImage(mask, "mask", py::none());
            const Window w = windowOf(window, input.image);
            return toPython(callLibrary("count_byte_values", [&] {
                return countByteValues(input.image, w, maskInput ? &maskInput->image : nullptr);
            }));
        },
        py::arg("image"), py::arg("window") = py::none(), py::arg("mask") = py::none(),
        "Counts of the 256 values of a uint8 or bool image inside window (first column, last column,\n"
        "first row, last row; default the whole image), where the mask is set when one is given.");
    m.def(
        "integer_histogram",
        [](const py::handle& image, const py::object& window) {
            const InputImage input = toImage(image, "image", py::none());
            const Window w = windowOf(window, input.image);
            const IntegerHistogramMap counts =
                callLibrary("integer_histogram", [&] { return integerHistogram(input.image, w); });
            py::dict result;
            for (const auto& [value, count] : counts)
                result[py::int_(value)] = count;
            return result;
        },
        py::arg("image"), py::arg("window") = py::none(),
        "{value: count} of the values that occur in a uint8 or bool image inside window (as for\n"
        "count_byte_values); empty for other types.");
    m.def(
        "float_histogram",
        [](const py::handle& image, double minimum, double maximum, const py::object& window) {
            const InputImage input = toImage(image, "image", py::none());
            const Window w = windowOf(window, input.image);
            FloatHistogramMap counts = callLibrary("float_histogram", [&] {
                return floatedBinnedHistogram(input.image, w, minimum, maximum);
            });
            py::dict result;
            for (const auto& [value, count] : counts)
                result[py::float_(value)] = count;
            return result;
        },
        py::arg("image"), py::arg("minimum"), py::arg("maximum"), py::arg("window") = py::none(),
        "Histogram of a float32 image in 256 bins over [minimum, maximum]: {first value of a bin: count}.");
    define(m, "classify_exposure", "Exposure class inside the mask: \"dark\", \"balanced\" or \"bright\".",
           {"image", "mask"}, "uint8, bool", [](Images& in) { return classifyExposure(in[0], in[1]); });
    define(m, "sharpness", "Variance of the Sobel gradient magnitude of a uint8 image (0.0 for others).",
           {"image"}, "uint8", [](Images& in) { return sharpnessEstimate(in[0]); });
    define(m, "min_max_of_masked_area",
           "(minimum, maximum) of the pixels under the boolean mask; ValueError when none is masked.",
           {"image", "mask"}, typesOf<NoIntPixelTypes>(), [](Images& in) { return minMaxOfMaskedArea(in[0], in[1]); });
}

} // namespace bindings
