#pragma once

#include "platform/pixeldata/Image2D.h"

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

namespace testing_support {

/// An image of the given type whose pixels, row-major, are `values` cast to the element type.
Image2D makeImage(int width, int height, Image2D::DataType type, std::initializer_list<double> values);
Image2D makeImage(int width, int height, Image2D::DataType type, const std::vector<double>& values);

/// A BINARY image drawn as text, one string per row: '#' is 1, any other character 0.
Image2D maskFromRows(const std::vector<std::string>& rows);
/// The rows of a BINARY image as text, the inverse of maskFromRows.
std::vector<std::string> rowsOf(const Image2D& mask);

/// Deterministic uniform random pixels in [lo, hi] (integers for integer types).
Image2D randomImage(int width, int height, Image2D::DataType type, std::uint32_t seed, double lo, double hi);

/// Deterministic random pixels over the whole range of an integer type (0 or 1 for BINARY,
/// hashed words for RGBA) or [floatLow, floatHigh] for FLOAT.
Image2D randomOfType(Image2D::DataType type, int width, int height, std::uint32_t seed, double floatLow = -1000.0,
                     double floatHigh = 1000.0);

/// Random pixels in the ranges radiographs use: 12 bits for UNSIGNED_SHORT, [-2000, 2000] for
/// SHORT, the full 8 bits, 0 or 1 for BINARY, [floatLow, floatHigh] for FLOAT.
Image2D radiographRange(Image2D::DataType type, int width, int height, std::uint32_t seed, double floatLow = -50.0,
                        double floatHigh = 300.0);

/// The range a pixel type clamps to: the integer type's bounds (BINARY shares 0..255) or
/// +-FLT_MAX for FLOAT.
double typeLowest(Image2D::DataType type);
double typeHighest(Image2D::DataType type);

/// A shared copy of `image`, for the interfaces that take shared pointers.
inline std::shared_ptr<Image2D> sharedCopy(const Image2D& image)
{
    return std::make_shared<Image2D>(image);
}

/// Pixel (x, y) as double, whatever the type.
double pixelAt(const Image2D& image, int x, int y);
/// All pixels, row-major, as doubles.
std::vector<double> pixels(const Image2D& image);

} // namespace testing_support
