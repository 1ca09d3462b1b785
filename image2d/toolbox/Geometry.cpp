#include "image2d/toolbox/Geometry.h"

#include "image2d/framework/Log.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <type_traits>

namespace image2d {

const QString Crop::TOP_LEFT = QStringLiteral("topLeft");
const QString Crop::BOTTOM_RIGHT = QStringLiteral("bottomRight");
const QString Border::BORDER_SIZE_X = QStringLiteral("borderSizeX");
const QString Border::BORDER_SIZE_Y = QStringLiteral("borderSizeY");
const QString Border::INSERTED_VALUE = QStringLiteral("insertedValue");

namespace {

const char* const kCrop = "image2d::Crop";
const char* const kBorder = "image2d::Border";
const char* const kMirror = "image2d::Mirror";
const char* const kBinning = "image2d::Binning";

using store::SameWidthUnsigned;

int clampToInt(std::int64_t value)
{
    return static_cast<int>(std::clamp<std::int64_t>(value, std::numeric_limits<int>::min(),
                                                     std::numeric_limits<int>::max()));
}

// ---- Crop ---------------------------------------------------------------------------------

// The checks of a crop rectangle against itself and the image, in validation order, with
// their warnings; the key to blame, or none when the rectangle is usable.
const QString* rectangleFault(const Image2D& image, const QPoint& first, const QPoint& last)
{
    if (first.x() >= last.x() || first.y() >= last.y())
    {
        warnInvalidKey(kCrop, QStringLiteral("top-left has to be smaller than and not equal to bottom-right"));
        return &Crop::BOTTOM_RIGHT;
    }
    // 64 bits: corners far apart would overflow the int difference.
    if (std::int64_t(last.x()) - first.x() + 1 < 2 || std::int64_t(last.y()) - first.y() + 1 < 2)
    {
        warnInvalidKey(kCrop, QStringLiteral("Can't crop image smaller than 2x2"));
        return &Crop::BOTTOM_RIGHT;
    }
    // The copy reads the whole rectangle, so it has to lie inside the image.
    if (first.x() < 0 || first.y() < 0)
        return warnInvalidKey(kCrop, Crop::TOP_LEFT), &Crop::TOP_LEFT;
    if (last.x() >= image.getWidth() || last.y() >= image.getHeight())
        return warnInvalidKey(kCrop, Crop::BOTTOM_RIGHT), &Crop::BOTTOM_RIGHT;
    return nullptr;
}

// ---- Border -------------------------------------------------------------------------------

/// Whether the inserted value can be stored in pixels of the tag's type.
template <typename Tag>
bool insertedValueFits(double v)
{
    if constexpr (Tag::code == Image2D::FLOAT)
        return std::abs(v) <= 3.4028234663852886e38; // NaN fails too
    else if constexpr (Tag::code == Image2D::BINARY)
        return v >= 0 && v <= 1; // a negative value would not be a binary pixel
    else
        return v >= std::numeric_limits<typename Tag::type>::lowest() &&
               v <= std::numeric_limits<typename Tag::type>::max();
}

// The stored inserted value as the image's type reads it (toInt, or toDouble for FLOAT),
// when it converts and fits.
template <typename Tag>
utility::Optional<double> storedValueFor(const QVariant& value)
{
    bool ok = false;
    const double v = Tag::code == Image2D::FLOAT ? value.toDouble(&ok) : value.toInt(&ok);
    if (!ok || !insertedValueFits<Tag>(v))
        return {};
    // What is written: toFloat for FLOAT images, the int for the others.
    return Tag::code == Image2D::FLOAT ? static_cast<double>(value.toFloat()) : v;
}

void warnBorderType(const Image2D& image)
{
    warning("image2d::Border : Border algorithm not supported for data type: ", image.getDataTypeString());
}

// The frame has to leave an inner region; the key to blame otherwise.
const QString* frameFault(const Image2D& image, unsigned int sizeX, unsigned int sizeY)
{
    if (2 * std::uint64_t(sizeX) >= std::uint64_t(image.getWidth()))
        return warnInvalidKey(kBorder, Border::BORDER_SIZE_X), &Border::BORDER_SIZE_X;
    if (2 * std::uint64_t(sizeY) >= std::uint64_t(image.getHeight()))
        return warnInvalidKey(kBorder, Border::BORDER_SIZE_Y), &Border::BORDER_SIZE_Y;
    return nullptr;
}

// ---- Binning ------------------------------------------------------------------------------

const char* const kBinningNotSupported = "image2d::Binning : Binning algorithm not supported for data type: ";

/// s * 0.25 rounded half away from zero, exactly.
std::int64_t quarterRoundedAway(std::int64_t s)
{
    return s >= 0 ? (s + 2) / 4 : -((2 - s) / 4);
}

template <typename Tag>
typename Tag::type combineBlock(typename Tag::type a, typename Tag::type b, typename Tag::type c, typename Tag::type d)
{
    using T = typename Tag::type;
    if constexpr (Tag::code == Image2D::BINARY)
    {
        return (a != 0 && b != 0 && c != 0 && d != 0) ? a : T(0);
    }
    else if constexpr (Tag::code == Image2D::INT)
    {
        // The sum is a 32-bit int: it wraps (two's complement) rather than widening.
        const std::int32_t s = static_cast<std::int32_t>(std::uint32_t(a) + std::uint32_t(b) + std::uint32_t(c) +
                                                         std::uint32_t(d));
        return static_cast<T>(quarterRoundedAway(s));
    }
    else if constexpr (Tag::code == Image2D::SHORT)
    {
        return static_cast<T>(quarterRoundedAway(std::int64_t(a) + b + c + d));
    }
    else
    {
        // truncate(s * 0.25 + 0.5) for a non-negative sum.
        return static_cast<T>((std::int64_t(a) + b + c + d + 2) / 4);
    }
}

} // namespace

// ---- Core functions -----------------------------------------------------------------------

std::shared_ptr<Image2D> crop(const Image2D& image, const QPoint& topLeft, const QPoint& bottomRight)
{
    if (!image.isValid())
        return warnInvalidKey(kCrop, Algorithm::INPUT_IMAGE), nullptr;
    if (rectangleFault(image, topLeft, bottomRight))
        return nullptr;
    const int width = bottomRight.x() - topLeft.x() + 1;
    const int height = bottomRight.y() - topLeft.y() + 1;
    auto output = std::make_shared<Image2D>(width, height, image.getDataType(), image.getPixelSize(), true);
    if (!output->isValid())
        return nullptr;

    // Every type is a byte copy of whole row segments.
    const std::size_t elementSize = static_cast<std::size_t>(image.getDataTypeSize());
    const std::size_t rowBytes = static_cast<std::size_t>(width) * elementSize;
    const std::size_t inputRowBytes = static_cast<std::size_t>(image.getWidth()) * elementSize;
    const unsigned char* in = image.getConstData<unsigned char>() +
                              static_cast<std::size_t>(topLeft.y()) * inputRowBytes +
                              static_cast<std::size_t>(topLeft.x()) * elementSize;
    unsigned char* out = output->getData<unsigned char>();
    for (int r = 0; r < height; ++r)
        std::memcpy(out + static_cast<std::size_t>(r) * rowBytes, in + static_cast<std::size_t>(r) * inputRowBytes,
                    rowBytes);
    return output;
}

std::shared_ptr<Image2D> crop(const Image2D& image, int left, int top, int right, int bottom)
{
    // Huge margins clamp to a corner that is rejected, instead of overflowing.
    const QPoint bottomRight(clampToInt(std::int64_t(image.getWidth()) - right - 1),
                             clampToInt(std::int64_t(image.getHeight()) - bottom - 1));
    return crop(image, QPoint(left, top), bottomRight);
}

std::shared_ptr<Image2D> border(const Image2D& image, unsigned int sizeX, unsigned int sizeY, double value)
{
    if (!image.isValid())
        return warnInvalidKey(kBorder, Algorithm::INPUT_IMAGE), nullptr;
    if (!AllPixelTypes::contains(image.getDataType()))
        return warnBorderType(image), nullptr;
    if (!Border::SIZE_X_PARAMETER.accepts(sizeX, kBorder) || !Border::SIZE_Y_PARAMETER.accepts(sizeY, kBorder))
        return nullptr;
    const bool fits = dispatchDataType(AllPixelTypes{}, image.getDataType(), "",
                                       [&](auto tag) { return insertedValueFits<decltype(tag)>(value); });
    if (!fits)
        return warnInvalidKey(kBorder, Border::INSERTED_VALUE), nullptr;
    if (frameFault(image, sizeX, sizeY))
        return nullptr;

    return dispatchDataType(AllPixelTypes{}, image.getDataType(), "", [&](auto tag) -> std::shared_ptr<Image2D> {
        using T = typename decltype(tag)::type;
        T inserted;
        if constexpr (std::is_floating_point_v<T>)
            inserted = static_cast<T>(value);
        else
            inserted = static_cast<T>(static_cast<std::int64_t>(value));
        auto output = newImageLike(image);
        if (!output)
            return nullptr;
        const std::size_t width = static_cast<std::size_t>(image.getWidth());
        const std::size_t height = static_cast<std::size_t>(image.getHeight());
        const std::size_t bx = sizeX;
        const std::size_t by = sizeY;
        const T* in = image.getConstData<T>();
        T* out = output->getData<T>();

        // Memory order: top rows and the first left margin, then per inner row its copied
        // middle and the right margin joined with the next row's left margin, then the rest.
        std::size_t pos = 0;
        auto fill = [&](std::size_t count) {
            std::fill_n(out + pos, count, inserted);
            pos += count;
        };
        fill(by * width + bx);
        for (std::size_t y = by; y < height - by; ++y)
        {
            std::copy_n(in + pos, width - 2 * bx, out + pos);
            pos += width - 2 * bx;
            fill(2 * bx);
        }
        fill(width * height - pos);
        return output;
    });
}

std::shared_ptr<Image2D> mirror(const Image2D& image)
{
    if (!image.isValid())
        return warnInvalidKey(kMirror, Algorithm::INPUT_IMAGE), nullptr;
    return dispatchDataType(
        AllPixelTypes{}, image.getDataType(), "image2d::Mirror : Mirror algorithm not supported for data type: ",
        [&](auto tag) -> std::shared_ptr<Image2D> {
            using E = SameWidthUnsigned<typename decltype(tag)::type>;
            auto output = newImageLike(image);
            if (!output)
                return nullptr;
            const std::size_t width = static_cast<std::size_t>(image.getWidth());
            const E* in = image.getConstData<E>();
            E* out = output->getData<E>();
            for (int y = 0; y < image.getHeight(); ++y)
            {
                const std::size_t row = static_cast<std::size_t>(y) * width;
                std::reverse_copy(in + row, in + row + width, out + row);
            }
            return output;
        });
}

std::shared_ptr<Image2D> binning(const Image2D& image)
{
    if (!image.isValid())
        return warnInvalidKey(kBinning, Algorithm::INPUT_IMAGE), nullptr;
    if (!BinningTypes::contains(image.getDataType()))
        return warning(kBinningNotSupported, static_cast<int>(image.getDataType())), nullptr;
    // A block needs two columns and two rows; the output would be empty otherwise.
    if (image.getWidth() < 2 || image.getHeight() < 2)
        return warnInvalidKey(kBinning, Algorithm::INPUT_IMAGE), nullptr;
    return dispatchDataType(BinningTypes{}, image.getDataType(), kBinningNotSupported,
                            [&](auto tag) -> std::shared_ptr<Image2D> {
                                using Tag = decltype(tag);
                                using T = typename Tag::type;
                                const int inWidth = image.getWidth();
                                const int width = inWidth / 2;
                                const int height = image.getHeight() / 2;
                                const QVector3D pixelSize = image.getPixelSize();
                                auto output = std::make_shared<Image2D>(
                                    width, height, image.getDataType(),
                                    QVector3D(2 * pixelSize.x(), 2 * pixelSize.y(), pixelSize.z()), true);
                                if (!output->isValid())
                                    return nullptr;
                                const T* in = image.getConstData<T>();
                                T* out = output->getData<T>();
                                for (int y = 0; y < height; ++y)
                                {
                                    const T* top = in + static_cast<std::size_t>(2 * y) * inWidth;
                                    const T* bottom = top + inWidth;
                                    T* dst = out + static_cast<std::size_t>(y) * width;
                                    for (int x = 0; x < width; ++x)
                                        dst[x] = combineBlock<Tag>(top[2 * x], top[2 * x + 1], bottom[2 * x],
                                                                   bottom[2 * x + 1]);
                                }
                                return output;
                            });
}

// ---- Crop ---------------------------------------------------------------------------------

const Parameter<QPoint> Crop::TOP_LEFT_PARAMETER{&TOP_LEFT,
                                                 Bounds::any(),
                                                 "first column and row kept",
                                                 {warnMissingKey, warnMissingKey, warnMissingKey}};
const Parameter<QPoint> Crop::BOTTOM_RIGHT_PARAMETER{&BOTTOM_RIGHT,
                                                     Bounds::any(),
                                                     "last column and row kept",
                                                     {warnMissingKey, warnMissingKey, warnMissingKey}};

const ParameterList& Crop::parameters()
{
    static const ParameterList list{&TOP_LEFT_PARAMETER, &BOTTOM_RIGHT_PARAMETER};
    return list;
}

bool Crop::isInputValid() const
{
    if (!requireInputImage(kCrop, INPUT_IMAGE) || !TOP_LEFT_PARAMETER.validate(*this, kCrop) ||
        !BOTTOM_RIGHT_PARAMETER.validate(*this, kCrop))
        return false;
    const QString* fault =
        rectangleFault(*getSharedInput(INPUT_IMAGE), TOP_LEFT_PARAMETER(*this), BOTTOM_RIGHT_PARAMETER(*this));
    return !fault || fail(FailureReason::OutOfRange, *fault);
}

bool Crop::process(const std::atomic<bool>& /*cancel*/)
{
    const std::shared_ptr<Image2D> input = getSharedInput(INPUT_IMAGE);
    return publish(OUTPUT_IMAGE, crop(*input, TOP_LEFT_PARAMETER(*this), BOTTOM_RIGHT_PARAMETER(*this)), *input,
                   AllPixelTypes{});
}

std::shared_ptr<Image2D> Crop::executeCrop(const Image2D& image, const QPoint& topLeft, const QPoint& bottomRight)
{
    Crop algorithm;
    algorithm.setInput(INPUT_IMAGE, &image);
    algorithm.setUniformValue(TOP_LEFT, topLeft);
    algorithm.setUniformValue(BOTTOM_RIGHT, bottomRight);
    algorithm.execute(neverCancelled());
    return algorithm.getSharedOutput(OUTPUT_IMAGE);
}

std::shared_ptr<Image2D> Crop::executeCrop(const Image2D& image, const QRect& rect)
{
    return executeCrop(image, rect.topLeft(), rect.bottomRight());
}

std::shared_ptr<Image2D> Crop::executeCrop(const Image2D& image, int left, int top, int right, int bottom)
{
    // Huge margins clamp to a corner that validation rejects, instead of overflowing.
    const QPoint bottomRight(clampToInt(std::int64_t(image.getWidth()) - right - 1),
                             clampToInt(std::int64_t(image.getHeight()) - bottom - 1));
    return executeCrop(image, QPoint(left, top), bottomRight);
}

std::shared_ptr<Image2D> Crop::executeCrop(const Image2D& image, int margin)
{
    return executeCrop(image, margin, margin, margin, margin);
}

// ---- Border -------------------------------------------------------------------------------

const Parameter<unsigned int> Border::SIZE_X_PARAMETER{&BORDER_SIZE_X,
                                                       Bounds::atLeast(1),
                                                       "frame width at the left and at the right",
                                                       {warnInvalidKey, warnInvalidKey, warnInvalidKey}};
const Parameter<unsigned int> Border::SIZE_Y_PARAMETER{&BORDER_SIZE_Y,
                                                       Bounds::atLeast(1),
                                                       "frame height at the top and at the bottom",
                                                       {warnInvalidKey, warnInvalidKey, warnInvalidKey}};
const Parameter<QVariant> Border::VALUE_PARAMETER{&INSERTED_VALUE,
                                                  Bounds::any(),
                                                  "value written into the frame; must fit the pixel type",
                                                  {warnInvalidKey, warnInvalidKey, warnInvalidKey}};

const ParameterList& Border::parameters()
{
    static const ParameterList list{&SIZE_X_PARAMETER, &SIZE_Y_PARAMETER, &VALUE_PARAMETER};
    return list;
}

bool Border::isInputValid() const
{
    if (!requireInputImage(kBorder, INPUT_IMAGE))
        return false;
    for (const ParameterInfo* parameter : parameters())
        if (!parameter->validate(*this, kBorder))
            return false;
    const Image2D& input = *getSharedInput(INPUT_IMAGE);
    const QVariant value = VALUE_PARAMETER(*this);
    if (value.isNull())
        return warnInvalidKey(kBorder, INSERTED_VALUE), fail(FailureReason::Invalid, INSERTED_VALUE);
    if (!AllPixelTypes::contains(input.getDataType()))
        return warnBorderType(input), fail(FailureReason::UnsupportedType, INPUT_IMAGE);
    const bool fits = dispatchDataType(AllPixelTypes{}, input.getDataType(), "",
                                       [&](auto tag) { return storedValueFor<decltype(tag)>(value).has_value(); });
    if (!fits)
        return warnInvalidKey(kBorder, INSERTED_VALUE), fail(FailureReason::OutOfRange, INSERTED_VALUE);
    const QString* fault = frameFault(input, SIZE_X_PARAMETER(*this), SIZE_Y_PARAMETER(*this));
    return !fault || fail(FailureReason::OutOfRange, *fault);
}

bool Border::process(const std::atomic<bool>& /*cancel*/)
{
    const std::shared_ptr<Image2D> input = getSharedInput(INPUT_IMAGE);
    const QVariant value = VALUE_PARAMETER(*this);
    const double inserted = dispatchDataType(AllPixelTypes{}, input->getDataType(), "", [&](auto tag) {
        return storedValueFor<decltype(tag)>(value).value_or(0.0);
    });
    return publish(OUTPUT_IMAGE, border(*input, SIZE_X_PARAMETER(*this), SIZE_Y_PARAMETER(*this), inserted), *input,
                   AllPixelTypes{});
}

// ---- Mirror -------------------------------------------------------------------------------

const ParameterList& Mirror::parameters()
{
    static const ParameterList list;
    return list;
}

bool Mirror::isInputValid() const
{
    return requireInputImage(kMirror, INPUT_IMAGE);
}

bool Mirror::process(const std::atomic<bool>& /*cancel*/)
{
    const std::shared_ptr<Image2D> input = getSharedInput(INPUT_IMAGE);
    return publish(OUTPUT_IMAGE, mirror(*input), *input, AllPixelTypes{});
}

std::shared_ptr<Image2D> Mirror::executeMirror(const Image2D& image)
{
    Mirror algorithm;
    algorithm.setInput(INPUT_IMAGE, &image);
    algorithm.execute(neverCancelled());
    return algorithm.getSharedOutput(OUTPUT_IMAGE);
}

// ---- Binning ------------------------------------------------------------------------------

const ParameterList& Binning::parameters()
{
    static const ParameterList list;
    return list;
}

bool Binning::isInputValid() const
{
    if (!requireInputImage(kBinning, INPUT_IMAGE))
        return false;
    const std::shared_ptr<Image2D> input = getSharedInput(INPUT_IMAGE);
    if (input->getDataType() == Image2D::FLOAT)
    {
        warning(kBinningNotSupported, static_cast<int>(input->getDataType()));
        return fail(FailureReason::UnsupportedType, INPUT_IMAGE);
    }
    // A block needs two columns and two rows; the output would be empty otherwise.
    if (input->getWidth() < 2 || input->getHeight() < 2)
    {
        warnInvalidKey(kBinning, INPUT_IMAGE);
        return fail(FailureReason::Invalid, INPUT_IMAGE);
    }
    return true;
}

bool Binning::process(const std::atomic<bool>& /*cancel*/)
{
    const std::shared_ptr<Image2D> input = getSharedInput(INPUT_IMAGE);
    return publish(OUTPUT_IMAGE, binning(*input), *input, BinningTypes{});
}

std::shared_ptr<Image2D> Binning::executeBinning(const Image2D& image)
{
    Binning algorithm;
    algorithm.setInput(INPUT_IMAGE, &image);
    algorithm.execute(neverCancelled());
    return algorithm.getSharedOutput(OUTPUT_IMAGE);
}

} // namespace image2d
