#pragma once

// NumPy arrays and the library's images, both ways without copying: an input array is read
// in place through an image on its buffer, and a result image is handed out as an array on
// the library's buffer whose base (an ImageBuffer) keeps the image alive.

#include "platform/pixeldata/Image2D.h"

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <memory>
#include <optional>

namespace bindings {

namespace py = pybind11;

/// The base object of every array the module returns: owns the library's image.
struct ImageBuffer
{
    std::shared_ptr<Image2D> image;
};

/// An input image on an array's buffer, and the array that keeps the buffer alive (the
/// caller's own array when it is C-contiguous, else a contiguous copy).
struct InputImage
{
    py::array array;
    Image2D image;
};

/// The image of a 2-D array of uint16, int16, uint8, bool, float32 or int32 (anything else
/// that NumPy turns into such an array, a list of lists included). `pixelSize` (None, a
/// number or (x, y) in mm) wins over the pixel size of a library result, which wins over 1.
/// TypeError for other dtypes and dimensions.
InputImage toImage(const py::handle& object, const char* argument, const py::handle& pixelSize);

/// The array of a result image, sharing its buffer. An image on a buffer the library does not
/// own is copied first, so that no array outlives the memory it points to.
py::array toArray(std::shared_ptr<Image2D> image);

/// The object of type T that an array this module returned (or a view of one, whose base is
/// the array it views) has as its base; null for other arrays.
template <typename T>
const T* baseOf(const py::handle& array)
{
    py::handle object = array;
    for (int depth = 0; depth < 64 && object && !object.is_none(); ++depth)
    {
        if (py::isinstance<T>(object))
            return &object.cast<const T&>();
        if (!py::isinstance<py::array>(object))
            break;
        object = object.attr("base");
    }
    return nullptr;
}

/// The pixel size (x, y, z) of an array the module returned (or a view of one); none otherwise.
std::optional<QVector3D> pixelSizeOf(const py::handle& array);

/// The pixel-type code of a NumPy dtype; none for dtypes without a pixel type.
std::optional<Image2D::DataType> pixelTypeOf(const py::dtype& dtype);

/// Registers ImageBuffer, pixel_size() and the zero-copy probe.
void bindArrays(py::module_& m);

} // namespace bindings
