#pragma once

#include "platform/pixeldata/Image2D.h"

#include <cstdint>

namespace pixeldata {

/// Compile-time tag of one pixel data type: its code and its storage element type.
template <Image2D::DataType Code, typename T>
struct PixelTag
{
    static constexpr Image2D::DataType code = Code;
    using type = T;
};

using UnsignedShortTag = PixelTag<Image2D::UNSIGNED_SHORT, std::uint16_t>;
using ShortTag = PixelTag<Image2D::SHORT, std::int16_t>;
using UnsignedCharTag = PixelTag<Image2D::UNSIGNED_CHAR, std::uint8_t>;
using BinaryTag = PixelTag<Image2D::BINARY, std::uint8_t>;
using FloatTag = PixelTag<Image2D::FLOAT, float>;
using IntTag = PixelTag<Image2D::INT, std::int32_t>;

/// The single switch from a data-type code to its tag: calls visitor(Tag{}) for the
/// six pixel types and returns false for code 4 and unknown codes (visitor not called).
template <typename Visitor>
bool visitDataType(Image2D::DataType type, Visitor&& visitor)
{
    switch (type)
    {
    case Image2D::UNSIGNED_SHORT: visitor(UnsignedShortTag{}); return true;
    case Image2D::SHORT: visitor(ShortTag{}); return true;
    case Image2D::UNSIGNED_CHAR: visitor(UnsignedCharTag{}); return true;
    case Image2D::BINARY: visitor(BinaryTag{}); return true;
    case Image2D::FLOAT: visitor(FloatTag{}); return true;
    case Image2D::INT: visitor(IntTag{}); return true;
    default: return false;
    }
}

} // namespace pixeldata
