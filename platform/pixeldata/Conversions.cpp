#include "platform/pixeldata/Conversions.h"

#include "platform/pixeldata/PixelTypes.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <type_traits>

namespace conversions {
namespace {

template <typename Dst, Image2D::DataType DstCode, typename Src>
void convertPixels(const Src* src, Dst* dst, std::size_t n)
{
    if constexpr (std::is_floating_point_v<Dst>)
    {
        for (std::size_t i = 0; i < n; ++i)
            dst[i] = static_cast<Dst>(src[i]);
    }
    else
    {
        const double lo = DstCode == Image2D::BINARY ? 0.0 : static_cast<double>(std::numeric_limits<Dst>::lowest());
        const double hi = DstCode == Image2D::BINARY ? 1.0 : static_cast<double>(std::numeric_limits<Dst>::max());
        for (std::size_t i = 0; i < n; ++i)
        {
            const double v = static_cast<double>(src[i]);
            // std::round sends halves away from zero; NaN fails both comparisons below.
            const double r = std::isnan(v) ? 0.0 : std::round(v);
            dst[i] = static_cast<Dst>(r < lo ? lo : (r > hi ? hi : r));
        }
    }
}

} // namespace

Image2D convertToDataType(const Image2D& image, Image2D::DataType type)
{
    if (!image.isValid() || Image2D::dataTypeSize(type) == 0 || type == Image2D::RGBA)
        return Image2D();
    Image2D result(image.getSize(), type, image.getPixelSize(), true);
    if (!result.isValid())
        return Image2D();
    const std::size_t n = image.getNumPixels();
    const bool converted = pixeldata::visitDataType(image.getDataType(), [&](auto srcTag) {
        using S = typename decltype(srcTag)::type;
        pixeldata::visitDataType(type, [&](auto dstTag) {
            using D = typename decltype(dstTag)::type;
            convertPixels<D, decltype(dstTag)::code>(image.getConstData<S>(), result.getData<D>(), n);
        });
    });
    if (!converted)
        return Image2D();
    result.editFinished();
    return result;
}

Image2D::DataType toImage2DDataType(image::DataType type)
{
    switch (type)
    {
    case image::DataType::UNSIGNED_SHORT: return Image2D::UNSIGNED_SHORT;
    case image::DataType::SHORT: return Image2D::SHORT;
    case image::DataType::UNSIGNED_CHAR: return Image2D::UNSIGNED_CHAR;
    case image::DataType::BINARY: return Image2D::BINARY;
    case image::DataType::FLOAT: return Image2D::FLOAT;
    case image::DataType::INT: return Image2D::INT;
    case image::DataType::RGBA: break;
    }
    return Image2D::RGBA;
}

} // namespace conversions
