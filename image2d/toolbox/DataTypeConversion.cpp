#include "image2d/toolbox/Image2DOperations.h"

#include "image2d/framework/Dispatch.h"
#include "image2d/framework/Log.h"
#include "image2d/framework/PixelStore.h"

#include <QByteArray>

#include <cstddef>
#include <limits>
#include <type_traits>

namespace image2d {

namespace {

// The host's logs name the reporting function by its full signature, so the messages
// keep that spelling.
const char* const kConvertDataTypeSignature =
    "class Image2D __cdecl image2d::Image2DOperations::convertDataType(const class Image2D &,enum Image2D::DataType)";
const char* const kCreateFromFloatImageSignature =
    "class std::unique_ptr<class Image2D,struct std::default_delete<class Image2D> > __cdecl "
    "image2d::Image2DOperations::createFromFloatImage(const class Image2D &,enum Image2D::DataType)";
const char* const kNotImplemented = "Not implemented for current data type";
const char* const kInvalidInput = "invalid input.";
const char* const kOutOfRange = "Input range out of range of the output type.";

template <typename T>
QByteArray helperSignature(const char* function)
{
    return QByteArray("void __cdecl image2d::Image2DOperationsHelper<") + toolbox_detail::elementTypeName<T>() + ">::" + function +
           "(const class Image2D &,class Image2D &)";
}

/// Value bounds of T as float, for the range check of the rounding conversion. The upper
/// bound of int is the float nearest to 2^31 - 1, i.e. 2^31.
template <typename T>
constexpr float lowerBound()
{
    if constexpr (std::is_same_v<T, int>)
        return -2147483648.0f;
    else
        return static_cast<float>(std::numeric_limits<T>::lowest());
}

template <typename T>
constexpr float upperBound()
{
    if constexpr (std::is_same_v<T, int>)
        return 2147483648.0f;
    else
        return static_cast<float>(std::numeric_limits<T>::max());
}

bool sameSize(const Image2D& a, const Image2D& b)
{
    return a.getWidth() == b.getWidth() && a.getHeight() == b.getHeight();
}

} // namespace

template <typename T>
void Image2DOperationsHelper<T>::convertDataType(const Image2D& source, Image2D& destination)
{
    dispatchDataType(
        AllPixelTypes{}, source.getDataType(),
        [&](auto tag) {
            using U = typename decltype(tag)::type;
            convertDataType<U>(source, destination);
            return true;
        },
        [] { warning(helperSignature<T>("convertDataType").constData(), kNotImplemented); });
}

bool toolbox_detail::checkConversionImages(const Image2D& source, const Image2D& destination,
                                           std::size_t sourceElementSize, std::size_t destinationElementSize,
                                           const char* sourceTypeName, const char* destinationTypeName)
{
    // The element sizes guard direct callers that pass images of other types.
    if (source.isValid() && destination.isValid() && sameSize(source, destination) &&
        static_cast<std::size_t>(source.getDataTypeSize()) == sourceElementSize &&
        static_cast<std::size_t>(destination.getDataTypeSize()) == destinationElementSize)
        return true;
    const QByteArray signature = QByteArray("void __cdecl image2d::Image2DOperationsHelper<") + destinationTypeName +
                                 ">::convertDataType<" + sourceTypeName + ">(const class Image2D &,class Image2D &)";
    warning(signature.constData(), kInvalidInput);
    return false;
}

template <typename T>
void Image2DOperationsHelper<T>::roundFloatToDestinationType(const Image2D& source, Image2D& destination)
{
    static_assert(!std::is_floating_point_v<T>, "rounding into float makes no sense");
    const QByteArray signature = helperSignature<T>("roundFloatToDestinationType");
    if (!source.isValid() || !destination.isValid() || source.getDataType() != Image2D::FLOAT ||
        !sameSize(source, destination) || destination.getDataTypeSize() != static_cast<int>(sizeof(T)))
    {
        warning(signature.constData(), kInvalidInput);
        return;
    }
    // Out-of-range values are converted all the same (low-order bits kept); the warning
    // only tells the caller that the result wrapped.
    if (source.getMaxFloatValue() > upperBound<T>() || source.getMinFloatValue() < lowerBound<T>())
        warning(signature.constData(), kOutOfRange);

    const float* in = source.getConstData<float>();
    T* out = destination.getData<T>();
    const std::size_t count = source.getNumPixels();
    for (std::size_t i = 0; i < count; ++i)
        out[i] = static_cast<T>(store::roundHalfAwayToInt32(in[i]));
    destination.editFinished();
}

Image2D Image2DOperations::convertDataType(const Image2D& input, Image2D::DataType type)
{
    Image2D result(input.getSize(), type, QVector3D(1, 1, 1), true);
    dispatchDataType(
        AllPixelTypes{}, type,
        [&](auto tag) {
            using T = typename decltype(tag)::type;
            Image2DOperationsHelper<T>::convertDataType(input, result);
            return true;
        },
        [] { warning(kConvertDataTypeSignature, kNotImplemented); });
    return result;
}

std::unique_ptr<Image2D> Image2DOperations::createFromFloatImage(const Image2D& input, Image2D::DataType type)
{
    auto result = std::make_unique<Image2D>(input.getSize(), type, QVector3D(1, 1, 1), true);
    dispatchDataType(
        AllPixelTypes{}, type,
        [&](auto tag) {
            using T = typename decltype(tag)::type;
            if constexpr (std::is_floating_point_v<T>)
                *result = input;
            else
                Image2DOperationsHelper<T>::roundFloatToDestinationType(input, *result);
            return true;
        },
        [] { warning(kCreateFromFloatImageSignature, kNotImplemented); });
    return result;
}

// The helper's non-template members exist for the five element types; the rounding only
// for the integer destinations.
template class Image2DOperationsHelper<unsigned short>;
template class Image2DOperationsHelper<short>;
template class Image2DOperationsHelper<unsigned char>;
template void Image2DOperationsHelper<float>::convertDataType(const Image2D&, Image2D&);
template class Image2DOperationsHelper<int>;

} // namespace image2d
