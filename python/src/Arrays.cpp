#include "Arrays.h"

#include <charconv>
#include <cstdlib>
#include <limits>
#include <string>

namespace bindings {

namespace {

py::dtype dtypeOf(Image2D::DataType type)
{
    switch (type)
    {
    case Image2D::UNSIGNED_SHORT: return py::dtype::of<std::uint16_t>();
    case Image2D::SHORT: return py::dtype::of<std::int16_t>();
    case Image2D::UNSIGNED_CHAR: return py::dtype::of<std::uint8_t>();
    case Image2D::BINARY: return py::dtype::of<bool>();
    case Image2D::FLOAT: return py::dtype::of<float>();
    case Image2D::INT: return py::dtype::of<std::int32_t>();
    case Image2D::RGBA: break;
    }
    return py::dtype::of<std::uint32_t>(); // packed colour: no algorithm returns it
}

// The double that prints as the float's shortest form (0.025f: 0.025, not 0.02500000037).
double shortest(float value)
{
    char text[32];
    const auto end = std::to_chars(text, text + sizeof(text) - 1, value).ptr;
    *end = '\0';
    return std::strtod(text, nullptr);
}

py::tuple pixelSizeTuple(const QVector3D& size)
{
    return py::make_tuple(shortest(size.x()), shortest(size.y()));
}

QVector3D parsePixelSize(const py::handle& value)
{
    if (py::isinstance<py::sequence>(value) && !py::isinstance<py::str>(value))
    {
        const auto items = py::reinterpret_borrow<py::sequence>(value);
        if (items.size() == 2 || items.size() == 3)
            return QVector3D(items[0].cast<float>(), items[1].cast<float>(),
                             items.size() == 3 ? items[2].cast<float>() : 1.0f);
        throw py::type_error("pixel_size must be a number or (x, y) in mm");
    }
    const float size = value.cast<float>();
    return QVector3D(size, size, 1.0f);
}

} // namespace

std::optional<Image2D::DataType> pixelTypeOf(const py::dtype& dtype)
{
    if (!dtype.attr("isnative").cast<bool>())
        return std::nullopt;
    const char kind = dtype.kind();
    const auto size = dtype.itemsize();
    if (kind == 'u' && size == 2)
        return Image2D::UNSIGNED_SHORT;
    if (kind == 'i' && size == 2)
        return Image2D::SHORT;
    if (kind == 'u' && size == 1)
        return Image2D::UNSIGNED_CHAR;
    if (kind == 'b' && size == 1)
        return Image2D::BINARY;
    if (kind == 'f' && size == 4)
        return Image2D::FLOAT;
    if (kind == 'i' && size == 4)
        return Image2D::INT;
    return std::nullopt;
}

std::optional<QVector3D> pixelSizeOf(const py::handle& array)
{
    if (const ImageBuffer* buffer = baseOf<ImageBuffer>(array))
        return buffer->image->getPixelSize();
    return std::nullopt;
}

InputImage toImage(const py::handle& object, const char* argument, const py::handle& pixelSize)
{
    InputImage input;
    input.array = py::array::ensure(object);
    if (!input.array)
    {
        PyErr_Clear();
        throw py::type_error(std::string(argument) + ": expected a 2-D array");
    }
    if (input.array.ndim() != 2)
        throw py::type_error(std::string(argument) + ": expected a 2-D array, got " +
                             std::to_string(input.array.ndim()) + " dimensions");
    const std::optional<Image2D::DataType> type = pixelTypeOf(input.array.dtype());
    if (!type)
        throw py::type_error(std::string(argument) + ": unsupported dtype " +
                             py::str(input.array.dtype()).cast<std::string>() +
                             " (uint16, int16, uint8, bool, float32 or int32)");
    if (input.array.shape(0) > std::numeric_limits<int>::max() || input.array.shape(1) > std::numeric_limits<int>::max())
        throw py::value_error(std::string(argument) + ": too large");
    QVector3D size(1, 1, 1);
    if (pixelSize && !pixelSize.is_none())
        size = parsePixelSize(pixelSize);
    else if (const std::optional<QVector3D> known = pixelSizeOf(input.array))
        size = *known;
    // The library reads packed rows: only a C-contiguous array is read in place.
    if (!(input.array.flags() & py::array::c_style))
        input.array = py::array::ensure(input.array, py::array::c_style);
    // The algorithms never write into their inputs, so a read-only array is fine.
    input.image = Image2D::wrapExternal(const_cast<void*>(input.array.data()), int(input.array.shape(1)),
                                        int(input.array.shape(0)), *type, size);
    return input;
}

py::array toArray(std::shared_ptr<Image2D> image)
{
    if (!image->ownsData())
        image = std::make_shared<Image2D>(*image);
    const py::ssize_t height = image->getHeight(), width = image->getWidth();
    void* pixels = image->getData();
    const py::dtype dtype = dtypeOf(image->getDataType());
    py::object base = py::cast(ImageBuffer{std::move(image)});
    return py::array(dtype, {height, width}, {}, pixels, base);
}

void bindArrays(py::module_& m)
{
    py::class_<ImageBuffer>(m, "ImageBuffer",
                            "The library's pixel buffer behind an array this module returned (the array's base).\n"
                            "It keeps the image alive as long as an array uses it.")
        .def_property_readonly(
            "pixel_size",
            [](const ImageBuffer& b) { return pixelSizeTuple(b.image->getPixelSize()); },
            "Pixel size (x, y) in mm.")
        .def_property_readonly(
            "address", [](const ImageBuffer& b) { return reinterpret_cast<std::uintptr_t>(b.image->getConstData()); },
            "Address of the first pixel.")
        .def_property_readonly("nbytes", [](const ImageBuffer& b) { return b.image->getByteCount(); })
        .def_property_readonly("owned", [](const ImageBuffer& b) { return b.image->ownsData(); },
                               "Whether the library allocated the buffer (always true for results).");

    m.def(
        "pixel_size",
        [](const py::handle& array) -> py::object {
            if (const std::optional<QVector3D> s = pixelSizeOf(array))
                return pixelSizeTuple(*s);
            return py::none();
        },
        py::arg("array"),
        "Pixel size (x, y) in mm of an array this module returned (or a view of one); None for other arrays.");

    m.def(
        "input_address",
        [](const py::handle& array) {
            const InputImage input = toImage(array, "array", py::none());
            return reinterpret_cast<std::uintptr_t>(input.image.getConstData());
        },
        py::arg("array"),
        "Address of the buffer the algorithms read for `array`: the array's own data when it is\n"
        "C-contiguous, a contiguous copy otherwise.");
}

} // namespace bindings
