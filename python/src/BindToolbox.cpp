// The image toolbox: data-type conversion, resampling and right-angle transforms, the
// geometry algorithms, region utilities, overlays and images from CSV text.

#include "Bindings.h"
#include "Declared.h"

#include "image2d/toolbox/Geometry.h"
#include "image2d/toolbox/Image2DOperations.h"
#include "platform/pixeldata/Conversions.h"

#include <QPolygonF>
#include <QTransform>

#include <cstring>

#include <pybind11/stl.h>

namespace bindings {

using namespace image2d;

namespace {

Image2D::DataType typeOf(const py::object& dtype)
{
    const auto type = pixelTypeOf(py::dtype::from_args(dtype));
    if (!type)
        throw py::type_error("unsupported dtype (uint16, int16, uint8, bool, float32 or int32)");
    return *type;
}

// An in-place toolbox operation on a copy of the input.
template <typename Operation>
py::object onCopy(const char* function, const py::handle& image, Operation operation)
{
    const InputImage input = toImage(image, "image", py::none());
    return toPython(callLibrary(function, [&]() -> std::shared_ptr<Image2D> {
        auto copy = std::make_shared<Image2D>(input.image);
        return operation(*copy) ? copy : nullptr;
    }));
}

py::array_t<std::uint8_t> rgbaArray(const QImage& overlay)
{
    const QImage picture = overlay.convertToFormat(QImage::Format_RGBA8888);
    py::array_t<std::uint8_t> out({py::ssize_t(picture.height()), py::ssize_t(picture.width()), py::ssize_t(4)});
    for (int y = 0; y < picture.height(); ++y)
        std::memcpy(out.mutable_data(y), picture.constScanLine(y), std::size_t(picture.width()) * 4);
    return out;
}

} // namespace

void bindToolbox(py::module_& m)
{
    m.def(
        "convert_data_type",
        [](const py::handle& image, const py::object& dtype, bool saturate) {
            const InputImage input = toImage(image, "image", py::none());
            const Image2D::DataType type = typeOf(dtype);
            return toPython(callLibrary("convert_data_type", [&] {
                return std::make_shared<Image2D>(saturate ? conversions::convertToDataType(input.image, type)
                                                          : Image2DOperations::convertDataType(input.image, type));
            }));
        },
        py::arg("image"), py::arg("dtype"), py::arg("saturate") = true,
        "The image in another pixel type: rounded half away from zero and saturated (saturate), or each\n"
        "element cast keeping its low-order bits.");
    m.def(
        "resize",
        [](const py::handle& image, std::pair<int, int> size, bool smooth, const py::handle& pixelSize) {
            const InputImage input = toImage(image, "image", pixelSize);
            const QSize target(size.first, size.second);
            return toPython(callLibrary("resize", [&] {
                const std::atomic<bool> cancel{false};
                return std::shared_ptr<Image2D>(
                    smooth ? Image2DOperations::createResizedImageSmooth(&input.image, target, cancel)
                           : Image2DOperations::createResizedImageFast(&input.image, target, cancel));
            }));
        },
        py::arg("image"), py::arg("size"), py::arg("smooth") = true, py::kw_only(), py::arg("pixel_size") = py::none(),
        "Resized to size (width, height): box average when no side grows, bilinear otherwise (smooth),\n"
        "or nearest neighbour.");
    m.def(
        "rotate",
        [](const py::handle& image, int degrees, bool mirror) {
            QTransform transform = mirror ? QTransform(-1, 0, 0, 1, 0, 0) : QTransform();
            transform = transform * QTransform().rotate(degrees);
            return onCopy("rotate", image, [&](Image2D& copy) {
                const std::atomic<bool> cancel{false};
                return Image2DOperations::transform(&copy, transform, cancel);
            });
        },
        py::arg("image"), py::arg("degrees"), py::arg("mirror") = false,
        "Rotated clockwise by a multiple of 90 degrees, mirrored left-right first when asked.");
    m.def(
        "fill_holes", [](const py::handle& image) {
            return onCopy("fill_holes", image, [](Image2D& copy) { return Image2DOperations::fillImage(&copy); });
        },
        py::arg("image"), "Boolean mask with the holes (zero regions not reaching the border) filled.");
    m.def(
        "bounding_box",
        [](const py::handle& image, int threshold) {
            const InputImage input = toImage(image, "image", py::none());
            int lo[2] = {0, 0}, hi[2] = {0, 0};
            callLibrary("bounding_box", [&] {
                Image2DOperations::getBoundingBox(&input.image, threshold, lo, hi);
                return true;
            });
            return py::make_tuple(lo[0], lo[1], hi[0], hi[1]);
        },
        py::arg("image"), py::arg("threshold") = 0,
        "(min x, min y, max x, max y) of the pixels above threshold; (w - 1, h - 1, 0, 0) when none.");
    m.def(
        "overlay",
        [](const py::handle& image, float threshold, std::array<int, 4> rgba, bool below) {
            const InputImage input = toImage(image, "image", py::none());
            const QColor colour(rgba[0], rgba[1], rgba[2], rgba[3]);
            return rgbaArray(callLibrary("overlay", [&] {
                return Image2DOperations::getOverlayQImage(&input.image, threshold, colour, below);
            }));
        },
        py::arg("image"), py::arg("threshold"), py::arg("rgba"), py::arg("below") = false,
        "RGBA overlay (uint8, height x width x 4): the colour on the pixels at or above threshold (below it\n"
        "with below), transparent elsewhere.");

    // Region utilities: masks into a new image, as the toolbox replaces its target.
    auto intoNew = [](const char* function, auto operation) {
        return toPython(callLibrary(function, [&]() -> std::shared_ptr<Image2D> {
            auto target = std::make_shared<Image2D>();
            return operation(*target) ? target : nullptr;
        }));
    };
    m.def(
        "threshold_range",
        [intoNew](const py::handle& image, int lower, int upper) {
            const InputImage input = toImage(image, "image", py::none());
            return intoNew("threshold_range", [&](Image2D& target) {
                return Image2DOperations::threshold(&input.image, &target, lower, upper);
            });
        },
        py::arg("image"), py::arg("lower"), py::arg("upper"),
        "Boolean mask of lower < v < upper (the bounds cast to the pixel type first).");
    m.def(
        "keep_largest_part",
        [intoNew](const py::handle& image) {
            const InputImage input = toImage(image, "image", py::none());
            return intoNew("keep_largest_part", [&](Image2D& target) {
                return Image2DOperations::keepLargestPart(&input.image, &target);
            });
        },
        py::arg("binary"), "The largest 8-connected component of a boolean image (the first in row-major order).");
    m.def(
        "logical_and",
        [](const py::handle& a, const py::handle& b) {
            const InputImage second = toImage(b, "b", py::none());
            return onCopy("logical_and", a, [&](Image2D& copy) { return Image2DOperations::logicalAnd(&copy, &second.image); });
        },
        py::arg("a"), py::arg("b"), "a AND b of two boolean images of one size.");
    m.def(
        "zero_mask",
        [](const py::handle& image) {
            return onCopy("zero_mask", image, [](Image2D& copy) { return Image2DOperations::invert(&copy); });
        },
        py::arg("image"), "Boolean mask of the zero pixels.");
    m.def(
        "label_regions",
        [](const py::handle& image) {
            int count = 0;
            py::object labels = onCopy("label_regions", image, [&](Image2D& copy) {
                count = Image2DOperations::label(&copy);
                return count > 0;
            });
            return py::make_tuple(labels, count - 1);
        },
        py::arg("image"),
        "(uint16 labels, count): the 8-connected components of the pixels above 0 numbered 1 ... count in\n"
        "row-major order of first appearance.");
    m.def("flip_vertical", [](const py::handle& image) {
            return onCopy("flip_vertical", image, [](Image2D& copy) { Image2DOperations::flipVertical(&copy); return true; });
        },
        py::arg("image"), "Every column reversed.");
    m.def(
        "images_equal",
        [](const py::handle& a, const py::handle& b) {
            const InputImage first = toImage(a, "a", py::none()), second = toImage(b, "b", py::none());
            py::gil_scoped_release release;
            return Image2DOperations::compare(&first.image, &second.image);
        },
        py::arg("a"), py::arg("b"), "Same size, type and elements (float32 as floats: NaN never equals).");
    m.def(
        "detect_transition",
        [](const py::handle& image, float threshold, bool fromTop, bool mm) -> py::object {
            const InputImage input = toImage(image, "image", py::none());
            if (mm)
            {
                const QPolygonF line = callLibrary("detect_transition", [&] {
                    return Image2DOperations::detectTransitionPoly(&input.image, threshold, fromTop);
                });
                py::array_t<double> out({py::ssize_t(line.size()), py::ssize_t(2)});
                for (qsizetype i = 0; i < line.size(); ++i)
                {
                    out.mutable_at(i, 0) = line[i].x();
                    out.mutable_at(i, 1) = line[i].y();
                }
                return out;
            }
            QList<std::pair<int, int>> found;
            callLibrary("detect_transition", [&] {
                Image2DOperations::detectTransition(&input.image, &found, threshold, fromTop);
                return true;
            });
            QList<QPoint> points;
            for (const auto& [x, y] : found)
                points << QPoint(x, y);
            return toPython(points);
        },
        py::arg("image"), py::arg("threshold"), py::arg("from_top") = true, py::arg("mm") = false,
        "Per column of an int16 or float32 image, where its class (below threshold or not) first changes\n"
        "from the top (or bottom): an (n, 2) int32 array of (x, y), or with mm the boundaries in mm\n"
        "(float64).");
    m.def(
        "level_window_overlay",
        [](const py::handle& image, float level, float window, float minimum, std::array<int, 4> rgba) {
            const InputImage input = toImage(image, "image", py::none());
            const QColor colour(rgba[0], rgba[1], rgba[2], rgba[3]);
            return rgbaArray(callLibrary("level_window_overlay", [&] {
                return Image2DOperations::getOverlayQImage(&input.image, level, window, minimum, colour);
            }));
        },
        py::arg("image"), py::arg("level"), py::arg("window"), py::arg("minimum"), py::arg("rgba"),
        "RGBA overlay (uint8, height x width x 4) of the colour with an alpha ramp through the window\n"
        "(0 below it or below minimum, 255 above); rows flipped (the image's row y is row height - 1 - y).");
    m.def(
        "read_csv",
        [](const std::string& path, int width, int height, const py::object& dtype) {
            const Image2D::DataType type = typeOf(dtype);
            return toPython(callLibrary("read_csv", [&] {
                return std::shared_ptr<Image2D>(
                    Image2DOperations::createImage2DFromCSV(QString::fromStdString(path), width, height, type));
            }));
        },
        py::arg("path"), py::arg("width"), py::arg("height"), py::arg("dtype") = "float32",
        "width x height values of a text file of comma-separated numbers, row-major across line ends\n"
        "(missing values 0, text that is no number 0), stored by truncation in dtype.");

    const std::string all = typesOf<AllPixelTypes>();
    define(m, "crop", "The pixels from top_left to bottom_right, both inclusive.", {"image"}, all,
           [](Images& in, QPoint topLeft, QPoint bottomRight) { return crop(in[0], topLeft, bottomRight); },
           DECLARED(Crop, TOP_LEFT), DECLARED(Crop, BOTTOM_RIGHT));
    define(m, "border", "A copy whose frame of size_x columns and size_y rows holds value.", {"image"}, all,
           [](Images& in, unsigned int x, unsigned int y, QVariant value) {
               return border(in[0], x, y, value.toDouble());
           },
           DECLARED(Border, SIZE_X), DECLARED(Border, SIZE_Y), DECLARED(Border, VALUE));
    define(m, "mirror", "Every row reversed.", {"image"}, all, [](Images& in) { return mirror(in[0]); });
    define(m, "binning", "Half the resolution: 2 x 2 blocks averaged, the pixel size doubled.", {"image"},
           typesOf<BinningTypes>(), [](Images& in) { return binning(in[0]); });
}

} // namespace bindings
