#pragma once

#include "platform/pixeldata/Image2D.h"

namespace image {

/// Element types of the volume library; the codes match Image2D::DataType.
enum class DataType : int
{
    UNSIGNED_SHORT = 0,
    SHORT = 1,
    UNSIGNED_CHAR = 2,
    BINARY = 3,
    RGBA = 4,
    FLOAT = 5,
    INT = 6
};

} // namespace image

namespace conversions {

/// New image of `type` with the source's size and pixel size. Values are rounded half
/// away from zero and saturated to the target's range ([0, 1] for BINARY); NaN becomes 0.
/// An invalid source or an unsupported type (code 4) yields an invalid image.
Image2D convertToDataType(const Image2D& image, Image2D::DataType type);

/// The 2D data type of a volume element type; unknown codes map to Image2D::RGBA,
/// which every algorithm rejects.
Image2D::DataType toImage2DDataType(image::DataType type);

} // namespace conversions
