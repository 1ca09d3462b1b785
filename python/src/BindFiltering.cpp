// Neighbourhood filtering: local statistics, denoising, the difference of Gaussians and
// convolution with kernels given as arrays.

#include "Bindings.h"
#include "Declared.h"

#include "image2d/filtering/Convolution.h"
#include "image2d/filtering/Kernels.h"
#include "image2d/filtering/LocalStatistics.h"
#include "image2d/filtering/Smoothing.h"

#include <pybind11/stl.h>

namespace bindings {

using namespace image2d;

namespace {

std::vector<float> taps(const py::handle& values)
{
    const auto array = py::array_t<float, py::array::c_style | py::array::forcecast>::ensure(values);
    if (!array)
        throw py::type_error("kernel: expected an array of numbers");
    return std::vector<float>(array.data(), array.data() + array.size());
}

py::array_t<float> square(const Kernel& kernel)
{
    const py::ssize_t side = kernel.getSize();
    py::array_t<float> array({side, side});
    std::copy(kernel.getValues().begin(), kernel.getValues().begin() + side * side, array.mutable_data());
    return array;
}

} // namespace

void bindFiltering(py::module_& m)
{
    const std::string local = typesOf<LocalStatisticsTypes>();
    define(m, "area_average", "Mean over the (2 radius + 1)^2 window clipped to the image.", {"image"}, local,
           [](Images& in, int radius) { return areaAverage(in[0], radius); }, DECLARED(AreaAverage, RADIUS));
    define(m, "window_sums", "Window sums through a summed-area table (int32 for integer inputs).", {"image"}, local,
           [](Images& in, float radius) { return windowSums(in[0], radius); }, DECLARED(SubSummedAreaTable, RADIUS));
    define(m, "recursive_min_max", "Window minimum and maximum: (minimum, maximum).", {"image"}, local,
           [](Images& in, int radius) { return recursiveMinMax(in[0], radius); }, DECLARED(RecursiveMinMax, RADIUS));
    define(m, "median", "Median of the edge-replicated (2 radius + 1)^2 window (on the calling thread).", {"image"},
           local, [](Images& in, int radius) { return median(in[0], radius); }, DECLARED(Median, RADIUS));
    define(m, "denoise", "Separable Gaussian blur of radius ceil(3 sigma), at most radius.", {"image"},
           typesOf<AllPixelTypes>(), [](Images& in, float sigma, int radius) { return denoise(in[0], sigma, radius); },
           DECLARED(Denoise, SIGMA), DECLARED(Denoise, RADIUS));
    define(m, "difference_of_gaussians", "Band-pass image: two Gaussian blurs, scaled and subtracted, as int16.",
           {"image"}, typesOf<AllPixelTypes>(),
           [](Images& in, float first, float second, int radius, float scale) {
               return differenceOfGaussians(in[0], first, second, radius, scale);
           },
           DECLARED(DifferenceOfGaussians, FIRST_SIGMA), DECLARED(DifferenceOfGaussians, SECOND_SIGMA),
           DECLARED(DifferenceOfGaussians, RADIUS), DECLARED(DifferenceOfGaussians, SCALE));

    m.def(
        "filter",
        [](const py::handle& image, const py::handle& kernel, const py::handle& pixelSize) {
            const InputImage input = toImage(image, "image", pixelSize);
            const Kernel k(taps(kernel));
            return toPython(callLibrary("filter", [&] { return filter(input.image, k); }));
        },
        py::arg("image"), py::arg("kernel"), py::kw_only(), py::arg("pixel_size") = py::none(),
        "Correlation with a square kernel (row-major values; the side is the truncated square root of\n"
        "their count), replicated edges, in the input's type.");
    m.def(
        "separable_filter",
        [](const py::handle& image, const py::handle& kernel, const py::object& dtype, const py::handle& pixelSize) {
            const InputImage input = toImage(image, "image", pixelSize);
            const SeparableKernel k(taps(kernel));
            Image2D::DataType type = input.image.getDataType();
            if (!dtype.is_none())
            {
                const auto chosen = pixelTypeOf(py::dtype::from_args(dtype));
                if (!chosen)
                    throw py::type_error("separable_filter(): unsupported dtype");
                type = *chosen;
            }
            return toPython(callLibrary("separable_filter", [&] { return separableFilter(input.image, k, type); }));
        },
        py::arg("image"), py::arg("kernel"), py::arg("dtype") = py::none(), py::kw_only(),
        py::arg("pixel_size") = py::none(),
        "A row pass and a column pass with the 1-D kernel (index 0 at offset -radius) into `dtype`\n"
        "(default: the input's).");
    m.def("gaussian_kernel", [](int radius, float sigma) { return square(Gaussian(radius, sigma)); },
          py::arg("radius"), py::arg("sigma"), "Normalised 2-D Gaussian of side 2 radius + 1.");
    m.def("laplacian_kernel", [] { return square(Laplacian()); }, "3 x 3 Laplacian.");
    m.def("sobel_kernel", [](bool vertical) { return square(Sobel(vertical ? Sobel::VERTICAL : Sobel::HORIZONTAL)); },
          py::arg("vertical") = true, "3 x 3 Sobel derivative / 8; vertical differentiates along the rows.");
    m.def("dilation_kernel", [](int radius) { return square(Dilation(radius)); }, py::arg("radius"),
          "Disc of side 2 radius + 1.");
    m.def(
        "separable_gaussian_kernel",
        [](int radius, float sigma) { return SeparableGaussian(radius, sigma).getValues(); }, py::arg("radius"),
        py::arg("sigma"), "Normalised 1-D Gaussian of 2 radius + 1 taps.");
}

} // namespace bindings
