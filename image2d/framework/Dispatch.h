#pragma once

#include "image2d/framework/Log.h"
#include "platform/pixeldata/PixelTypes.h"

#include <type_traits>
#include <utility>

namespace image2d {

using pixeldata::PixelTag;

/// A set of supported data-type codes, e.g. PixelTypes<Image2D::UNSIGNED_SHORT, Image2D::FLOAT>.
template <Image2D::DataType... Codes>
struct PixelTypes
{
    static constexpr bool contains(Image2D::DataType type) { return ((type == Codes) || ...); }
};

/// The six pixel types (every code but 4).
using AllPixelTypes = PixelTypes<Image2D::UNSIGNED_SHORT, Image2D::SHORT, Image2D::UNSIGNED_CHAR,
                                 Image2D::BINARY, Image2D::FLOAT, Image2D::INT>;
/// Every pixel type but INT.
using NoIntPixelTypes = PixelTypes<Image2D::UNSIGNED_SHORT, Image2D::SHORT, Image2D::UNSIGNED_CHAR,
                                   Image2D::BINARY, Image2D::FLOAT>;

/// Typed dispatch: calls fn(tag) with the PixelTag of `type` (tag.code is the data-type
/// code, the member type `type` of decltype(tag) the element type) when `type` is in `Supported`,
/// instantiating fn once per supported type. Otherwise calls onUnsupported() and returns
/// a default-constructed result (false, an empty pointer).
template <typename Supported, typename Fn, typename OnUnsupported>
auto dispatchDataType(Supported, Image2D::DataType type, Fn&& fn, OnUnsupported&& onUnsupported)
    -> std::invoke_result_t<Fn, pixeldata::UnsignedShortTag>
{
    using Result = std::invoke_result_t<Fn, pixeldata::UnsignedShortTag>;
    // A void callable has no result to carry; keep a placeholder so one body serves both.
    using Stored = std::conditional_t<std::is_void_v<Result>, bool, Result>;
    Stored result{};
    bool handled = false;
    pixeldata::visitDataType(type, [&](auto tag) {
        if constexpr (Supported::contains(decltype(tag)::code))
        {
            handled = true;
            if constexpr (std::is_void_v<Result>)
                fn(tag);
            else
                result = fn(tag);
        }
    });
    if (!handled)
        onUnsupported();
    if constexpr (!std::is_void_v<Result>)
        return result;
}

/// The same, with the usual warning for an unsupported type: `message` followed by the
/// integer code, e.g. "image2d::Invert : invert algorithm not supported for data type: " 4.
template <typename Supported, typename Fn>
auto dispatchDataType(Supported supported, Image2D::DataType type, const char* message, Fn&& fn)
{
    return dispatchDataType(supported, type, std::forward<Fn>(fn),
                            [&] { warning(message, static_cast<int>(type)); });
}

} // namespace image2d
