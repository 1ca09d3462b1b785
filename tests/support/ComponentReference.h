#pragma once

#include "platform/pixeldata/Image2D.h"

#include <cstdint>
#include <vector>

namespace testing_support {

/// Component labels of a packed mask (non-zero = set), row-major like the image, 0 outside
/// every component, and the number of components.
struct ReferenceLabels
{
    std::vector<std::uint32_t> labels;
    std::uint32_t count = 0;
};

/// The 8-connected components found by flood fill, numbered in the order in which a row-major
/// (or column-major) scan meets their first pixel.
ReferenceLabels floodFillLabels(const std::vector<std::uint8_t>& mask, int width, int height, bool columnMajor);

/// The two-pass labelling with merging, step by step as the library documents it: new labels
/// one above the largest live label, each merge rewriting the merged label in every pixel,
/// then renumbering by the live list. Row-major with the four earlier neighbours, or
/// column-major with the 3 x 3 neighbourhood clamped into the image. Provisional labels are
/// 32-bit, so more than 65535 of them are told apart.
ReferenceLabels mergeAndRescanLabels(const std::vector<std::uint8_t>& mask, int width, int height, bool columnMajor);

/// A mask with more than 65,535 provisional labels in a merge-and-rescan labelling and about
/// 60,000 components: 12,000 labels on V shapes that merge in pairs, a few left out at
/// random, then 54,000 isolated dots. The scan lines are columns when `columnMajor`.
std::vector<std::uint8_t> manyProvisionalLabels(bool columnMajor, int& width, int& height);

/// A random mask of 0 and 1, each pixel set with probability `density`.
std::vector<std::uint8_t> randomMask(int width, int height, double density, std::uint32_t seed);

/// Mask sizes from one pixel to several 64-pixel words per row, at several densities.
struct MaskShape
{
    const char* name;
    int width, height;
    double density;
};
const std::vector<MaskShape>& maskShapes();

/// An image of the given type holding the mask's values.
Image2D maskImage(const std::vector<std::uint8_t>& mask, int width, int height,
                  Image2D::DataType type = Image2D::BINARY);
/// The pixels of a label image as labels.
std::vector<std::uint32_t> labelsOf(const Image2D& labels);

/// 1 where the pixel value is above 0, else 0.
std::vector<std::uint8_t> positiveMask(const Image2D& image);

} // namespace testing_support
