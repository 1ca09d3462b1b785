// Image enhancement: the unsharp-masking family, Navrel, SharpenOrvane, the histogram
// equalizations, the acquisition enhancement, the automatic display parameters and the display
// processor of a filter set.

#include "Bindings.h"
#include "Declared.h"

#include "image2d/enhancement/AutoContrast.h"
#include "image2d/enhancement/HistogramEqualization.h"
#include "image2d/enhancement/Ketrix.h"
#include "image2d/enhancement/Navrel.h"
#include "image2d/enhancement/SharpenOrvane.h"
#include "image2d/enhancement/StarkAdaptiveHistogramEqualization.h"
#include "image2d/enhancement/UnsharpMasking.h"
#include "image2d/pipeline/FilterSetProcessor.h"

#include <QTransform>

#include <pybind11/stl.h>

namespace bindings {

using namespace image2d;

namespace {

MediaType mediaType(const std::string& name)
{
    static const std::pair<const char*, MediaType> names[] = {
        {"intraoral", MediaType::IntraoralSensor}, {"plate", MediaType::IntraoralPhosphorPlate},
        {"panoramic", MediaType::Panoramic},       {"ceph", MediaType::Cephalometric},
        {"photograph", MediaType::Photograph},     {"generated-panoramic", MediaType::GeneratedPanoramic},
        {"generated-ceph", MediaType::GeneratedCephalometric}, {"ct", MediaType::CtVolume},
        {"unknown", MediaType::Unknown}};
    for (const auto& [text, type] : names)
        if (name == text)
            return type;
    throw py::value_error("unknown media \"" + name +
                          "\": intraoral, plate, panoramic, ceph, photograph, generated-panoramic, generated-ceph, "
                          "ct or unknown");
}

std::string argumentDoc(const ParameterInfo& parameter, const char* name)
{
    const Argument argument = argumentOf(parameter, name);
    return argument.name + " : " + argument.kind + ", optional\n    " + argument.doc + "\n";
}

QVariant variantOf(const py::handle& value)
{
    if (py::isinstance<py::bool_>(value))
        return value.cast<bool>();
    if (py::isinstance<py::int_>(value))
        return value.cast<int>();
    if (py::isinstance<py::float_>(value))
        return value.cast<double>();
    if (py::isinstance<py::str>(value))
        return QString::fromStdString(value.cast<std::string>());
    throw py::type_error("filter parameters are bool, int, float or str");
}

} // namespace

void bindEnhancement(py::module_& m)
{
    const std::string sharpenTypes = typesOf<SharpenTypes>();
    define(m, "sharpen", "Unsharp masking: (I - mean) * factor + I.", {"image"}, sharpenTypes,
           [](Images& in, int radius, float factor) { return sharpen(in[0], radius, factor); },
           DECLARED(Sharpen, RADIUS), DECLARED(Sharpen, FACTOR));
    define(m, "constrained_unsharp_masking",
           "Unsharp masking held inside the local minimum and maximum, blended by interpolation.", {"image"},
           sharpenTypes,
           [](Images& in, int radius, int minMaxRadius, float factor, float interpolation) {
               return constrainedUnsharpMasking(in[0], radius, minMaxRadius, factor, interpolation);
           },
           DECLARED(ConstrainedUnsharpMasking, RADIUS), DECLARED(ConstrainedUnsharpMasking, MIN_MAX_RADIUS),
           DECLARED(ConstrainedUnsharpMasking, FACTOR), DECLARED(ConstrainedUnsharpMasking, INTERPOLATION));
    define(m, "local_alpha_constrained_unsharp_masking",
           "Constrained unsharp masking whose strength follows the local contrast.", {"image"}, sharpenTypes,
           [](Images& in, int radius, int minMaxRadius, float factor, float interpolation, double slope,
              double center) {
               return localAlphaConstrainedUnsharpMasking(in[0], radius, minMaxRadius, factor, interpolation, slope,
                                                          center);
           },
           DECLARED(ConstrainedUnsharpMasking, RADIUS), DECLARED(ConstrainedUnsharpMasking, MIN_MAX_RADIUS),
           DECLARED(ConstrainedUnsharpMasking, FACTOR), DECLARED(ConstrainedUnsharpMasking, INTERPOLATION),
           DECLARED(LocalAlphaConstrainedUnsharpMasking, SLOPE), DECLARED(LocalAlphaConstrainedUnsharpMasking, CENTER));
    define(m, "navrel", "Adaptive unsharp masking over the band of pixels strictly between black and white.",
           {"image"}, typesOf<NavrelTypes>(),
           [](Images& in, float radius, float factor, float black, float white) {
               return navrel(in[0], radius, factor, black, white);
           },
           DECLARED(Navrel, RADIUS), DECLARED(Navrel, FACTOR), DECLARED(Navrel, BLACK), DECLARED(Navrel, WHITE));
    define(m, "sharpen_orvane", "Kernel sharpening with one of five fixed symmetric kernels.", {"image"},
           typesOf<AllPixelTypes>(),
           [](Images& in, SharpenOrvane::KernelType type) { return sharpenOrvane(in[0], type); },
           DECLARED(SharpenOrvane, KERNEL_TYPE));
    define(m, "histogram_equalization", "Contrast-limited adaptive histogram equalization.", {"image"},
           typesOf<HistogramEqualizationTypes>(),
           [](Images& in, float balance, float radius, float overlap) {
               return histogramEqualization(in[0], balance, radius, overlap);
           },
           DECLARED(HistogramEqualization, BALANCE), DECLARED(HistogramEqualization, RADIUS),
           DECLARED(HistogramEqualization, OVERLAP));
    define(m, "stark_adaptive_histogram_equalization", "Adaptive histogram equalization after Stark.", {"image"},
           typesOf<StarkTypes>(),
           [](Images& in, double alpha, double beta, unsigned int radius) {
               return starkAdaptiveHistogramEqualization(in[0], alpha, beta, radius);
           },
           DECLARED(StarkAdaptiveHistogramEqualization, ALPHA), DECLARED(StarkAdaptiveHistogramEqualization, BETA),
           DECLARED(StarkAdaptiveHistogramEqualization, RADIUS));
    define(m, "auto_contrast_window", "Percentile window (minimum, maximum) of an integer image.", {"image"},
           typesOf<AutoContrastTypes>(),
           [](Images& in, float lower, float upper, int discard) {
               return autoContrastWindow(in[0], lower, upper, discard != 0);
           },
           DECLARED(AutoContrast, LOWER), DECLARED(AutoContrast, UPPER), DECLARED(AutoContrast, DISCARD));

    m.def(
        "auto_level_window",
        [](const py::handle& image, const std::string& media, const py::handle& pixelSize) {
            const InputImage input = toImage(image, "image", pixelSize);
            const MediaType type = mediaType(media);
            return toPython(callLibrary("auto_level_window", [&] {
                return dataObjectFunctions::computeAutoContrast(input.image, type);
            }));
        },
        py::arg("image"), py::arg("media") = "intraoral", py::kw_only(), py::arg("pixel_size") = py::none(),
        "Automatic (level, window) with the percentile window of the media type; (0, 0) when the\n"
        "image gives none.");
    m.def(
        "auto_gamma",
        [](const py::handle& image, float minimum, float maximum) {
            const InputImage input = toImage(image, "image", py::none());
            return callLibrary("auto_gamma", [&] {
                return calculateAutoGamma(input.image, math::Range<float>(minimum, maximum));
            });
        },
        py::arg("image"), py::arg("minimum"), py::arg("maximum"),
        "Display gamma of the image shown through the window [minimum, maximum]; 1 when none can be\n"
        "estimated.");
    m.def(
        "noise_factor",
        [](const py::handle& image, float minimum, float maximum) {
            const InputImage input = toImage(image, "image", py::none());
            return toPython(callLibrary("noise_factor", [&] {
                return calculateNoiseFactor(input.image, math::Range<float>(minimum, maximum));
            }));
        },
        py::arg("image"), py::arg("minimum"), py::arg("maximum"),
        "Share of textured pixels of the inner 80 % seen through [minimum, maximum].");
    m.def("noise_adjusted_navrel_parameter", &calculateNoiseAdjustedNavrelParameter, py::arg("value"),
          py::arg("noise_factor"), "The Navrel parameter to use for an image with this noise factor.");

    m.def(
        "filter_set",
        [](const py::handle& image, double level, double window, const py::dict& filters, const py::object& size,
           int degrees, bool mirror, const py::handle& pixelSize) {
            const InputImage input = toImage(image, "image", pixelSize);
            FilterSet set;
            for (const auto& [id, parameters] : filters)
            {
                Uniforms uniforms;
                for (const auto& [key, value] : parameters.cast<py::dict>())
                    uniforms.setUniformValue(QString::fromStdString(key.cast<std::string>()), variantOf(value));
                set.addFilter(QString::fromStdString(id.cast<std::string>()), uniforms);
            }
            QSize target;
            if (!size.is_none())
            {
                const auto s = size.cast<std::pair<int, int>>();
                target = QSize(s.first, s.second);
            }
            QTransform transform = mirror ? QTransform(-1, 0, 0, 1, 0, 0) : QTransform();
            transform = transform * QTransform().rotate(degrees);
            return toPython(callLibrary("filter_set", [&] {
                const std::atomic<bool> cancel{false};
                return FilterSetProcessor::executeProcessor(&input.image, set, transform, level, window, cancel, target);
            }));
        },
        py::arg("image"), py::arg("level"), py::arg("window"), py::arg("filters") = py::dict(),
        py::arg("size") = py::none(), py::arg("rotate") = 0, py::arg("mirror") = false, py::kw_only(),
        py::arg("pixel_size") = py::none(),
        ("The library's display processor: a copy resized smoothly to size (width, height), rotated and\n"
         "mirrored, level/window, then the filters of `filters` ({identifier: {parameter key: value}}) in\n"
         "the processor's order: " +
         FilterSetProcessor::filterOrder().mid(1).join(QStringLiteral(", ")).toStdString() + ".")
            .c_str());

    static const std::string acquisitionDoc =
        "Acquisition enhancement of raw uint16 sensor data: a stretch, an optional gamma and a tone\n"
        "curve from the histogram, on a copy (pixels outside the boolean mask become the maximum).\n\n"
        "Parameters\n----------\nimage : 2-D uint16 array\nmask : 2-D bool array of the image's size, optional\n" +
        argumentDoc(Ketrix::TYPE_PARAMETER, "type") + argumentDoc(Ketrix::GAMMA_PARAMETER, "gamma");
    m.def(
        "acquisition_enhancement",
        [](const py::handle& image, const py::object& mask, int type, double gamma) {
            const InputImage input = toImage(image, "image", py::none());
            std::optional<InputImage> maskInput;
            if (!mask.is_none())
                maskInput = toImage(mask, "mask", py::none());
            return toPython(callLibrary("acquisition_enhancement", [&]() -> std::shared_ptr<Image2D> {
                auto result = std::make_shared<Image2D>(input.image);
                if (!enhanceAcquisition(*result, maskInput ? &maskInput->image : nullptr, gamma,
                                        static_cast<Ketrix::ImageType>(type)))
                    return nullptr;
                return result;
            }));
        },
        py::arg("image"), py::arg("mask") = py::none(), py::arg("type") = Ketrix::TYPE_PARAMETER(Uniforms()),
        py::arg("gamma") = Ketrix::GAMMA_PARAMETER(Uniforms()), acquisitionDoc.c_str());
}

} // namespace bindings
