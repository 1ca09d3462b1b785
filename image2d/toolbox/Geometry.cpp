#include "image2d/toolbox/Geometry.h"

#include "image2d/framework/Dispatch.h"
#include "image2d/framework/Log.h"
#include "image2d/toolbox/PixelCast.h"

#include <QVariant>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <type_traits>

namespace image2d {

namespace {

const char* const kCrop = "image2d::Crop";
const char* const kBorder = "image2d::Border";
const char* const kMirror = "image2d::Mirror";
const char* const kBinning = "image2d::Binning";

using toolbox_detail::SameWidthUnsigned;

int clampToInt(std::int64_t value)
{
    return static_cast<int>(std::clamp<std::int64_t>(value, std::numeric_limits<int>::min(),
                                                     std::numeric_limits<int>::max()));
}

} // namespace

// ---------------------------------------------------------------------------------------
// Crop

const QString Crop::TOP_LEFT = QStringLiteral("topLeft");
const QString Crop::BOTTOM_RIGHT = QStringLiteral("bottomRight");

bool Crop::readRectangle(QPoint& topLeft, QPoint& bottomRight, bool report) const
{
    const utility::Optional<QPoint> first = getUniformPointValue(TOP_LEFT);
    if (!first)
    {
        if (report)
            warnMissingInput(kCrop, TOP_LEFT);
        return false;
    }
    const utility::Optional<QPoint> last = getUniformPointValue(BOTTOM_RIGHT);
    if (!last)
    {
        if (report)
            warnMissingInput(kCrop, BOTTOM_RIGHT);
        return false;
    }
    if (first->x() >= last->x() || first->y() >= last->y())
    {
        if (report)
            warnInvalidInput(kCrop, QStringLiteral("top-left has to be smaller than and not equal to bottom-right"));
        return false;
    }
    // 64 bits: corners far apart would overflow the int difference.
    if (std::int64_t(last->x()) - first->x() + 1 < 2 || std::int64_t(last->y()) - first->y() + 1 < 2)
    {
        if (report)
            warnInvalidInput(kCrop, QStringLiteral("Can't crop image smaller than 2x2"));
        return false;
    }
    // The copy reads the whole rectangle, so it has to lie inside the image.
    const std::shared_ptr<Image2D> input = getSharedInput(INPUT_IMAGE);
    if (first->x() < 0 || first->y() < 0)
    {
        if (report)
            warnInvalidInput(kCrop, TOP_LEFT);
        return false;
    }
    if (!input || last->x() >= input->getWidth() || last->y() >= input->getHeight())
    {
        if (report)
            warnInvalidInput(kCrop, BOTTOM_RIGHT);
        return false;
    }
    topLeft = *first;
    bottomRight = *last;
    return true;
}

bool Crop::isInputValid() const
{
    if (!requireInputImage(kCrop, INPUT_IMAGE))
        return false;
    QPoint topLeft, bottomRight;
    return readRectangle(topLeft, bottomRight, true);
}

bool Crop::process(const std::atomic<bool>& /*cancel*/)
{
    const std::shared_ptr<Image2D> input = getSharedInput(INPUT_IMAGE);
    QPoint topLeft, bottomRight;
    if (!input || !input->isValid() || !readRectangle(topLeft, bottomRight, false))
        return false;

    const int width = bottomRight.x() - topLeft.x() + 1;
    const int height = bottomRight.y() - topLeft.y() + 1;
    auto output = std::make_shared<Image2D>(width, height, input->getDataType(), input->getPixelSize(), true);
    if (!output->isValid())
        return false;

    // Every type is a byte copy of whole row segments.
    const std::size_t elementSize = static_cast<std::size_t>(input->getDataTypeSize());
    const std::size_t rowBytes = static_cast<std::size_t>(width) * elementSize;
    const std::size_t inputRowBytes = static_cast<std::size_t>(input->getWidth()) * elementSize;
    const unsigned char* in = input->getConstData<unsigned char>() + static_cast<std::size_t>(topLeft.y()) * inputRowBytes +
                              static_cast<std::size_t>(topLeft.x()) * elementSize;
    unsigned char* out = output->getData<unsigned char>();
    for (int r = 0; r < height; ++r)
        std::memcpy(out + static_cast<std::size_t>(r) * rowBytes, in + static_cast<std::size_t>(r) * inputRowBytes,
                    rowBytes);
    setSharedOutput(OUTPUT_IMAGE, output);
    return true;
}

std::shared_ptr<Image2D> Crop::executeCrop(const Image2D& image, const QPoint& topLeft, const QPoint& bottomRight)
{
    const std::atomic<bool> cancel{false};
    Crop crop;
    crop.setInput(INPUT_IMAGE, &image);
    crop.setUniformValue(TOP_LEFT, topLeft);
    crop.setUniformValue(BOTTOM_RIGHT, bottomRight);
    crop.execute(cancel);
    return crop.getSharedOutput(OUTPUT_IMAGE);
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

// ---------------------------------------------------------------------------------------
// Border

const QString Border::BORDER_SIZE_X = QStringLiteral("borderSizeX");
const QString Border::BORDER_SIZE_Y = QStringLiteral("borderSizeY");
const QString Border::INSERTED_VALUE = QStringLiteral("insertedValue");

namespace {

bool readBorderSize(const Uniforms& uniforms, const QString& key, unsigned int& size)
{
    const QVariant value = uniforms.getUniformValue(key);
    if (value.isNull())
        return false;
    bool ok = false;
    size = value.toUInt(&ok);
    return ok && size > 0;
}

/// Whether the inserted value can be stored in pixels of the tag's type.
template <typename Tag>
bool insertedValueFits(const QVariant& value)
{
    bool ok = false;
    if constexpr (Tag::code == Image2D::FLOAT)
    {
        const double v = value.toDouble(&ok);
        // NaN fails the comparison and is rejected with the out-of-range values.
        return ok && std::abs(v) <= 3.4028234663852886e38;
    }
    else
    {
        const int v = value.toInt(&ok);
        if (!ok)
            return false;
        if constexpr (Tag::code == Image2D::BINARY)
            return v >= 0 && v <= 1; // a negative value would not be a binary pixel
        else if constexpr (Tag::code == Image2D::INT)
            return true;
        else
            return v >= std::numeric_limits<typename Tag::type>::lowest() &&
                   v <= std::numeric_limits<typename Tag::type>::max();
    }
}

} // namespace

bool Border::readParameters(unsigned int& sizeX, unsigned int& sizeY, bool report) const
{
    const std::shared_ptr<Image2D> input = getSharedInput(INPUT_IMAGE);
    if (!input)
        return false;
    if (!readBorderSize(*this, BORDER_SIZE_X, sizeX))
    {
        if (report)
            warnInvalidInput(kBorder, BORDER_SIZE_X);
        return false;
    }
    if (!readBorderSize(*this, BORDER_SIZE_Y, sizeY))
    {
        if (report)
            warnInvalidInput(kBorder, BORDER_SIZE_Y);
        return false;
    }
    const QVariant value = getUniformValue(INSERTED_VALUE);
    if (value.isNull())
    {
        if (report)
            warnInvalidInput(kBorder, INSERTED_VALUE);
        return false;
    }
    const bool fits = dispatchDataType(
        AllPixelTypes{}, input->getDataType(),
        [&](auto tag) {
            if (insertedValueFits<decltype(tag)>(value))
                return true;
            if (report)
                warnInvalidInput(kBorder, INSERTED_VALUE);
            return false;
        },
        [&] {
            if (report)
                warning("image2d::Border : Border algorithm not supported for data type: ", input->getDataTypeString());
        });
    if (!fits)
        return false;
    // The frame is written as runs around an inner region, which has to exist.
    if (2 * std::uint64_t(sizeX) >= std::uint64_t(input->getWidth()))
    {
        if (report)
            warnInvalidInput(kBorder, BORDER_SIZE_X);
        return false;
    }
    if (2 * std::uint64_t(sizeY) >= std::uint64_t(input->getHeight()))
    {
        if (report)
            warnInvalidInput(kBorder, BORDER_SIZE_Y);
        return false;
    }
    return true;
}

bool Border::isInputValid() const
{
    if (!requireInputImage(kBorder, INPUT_IMAGE))
        return false;
    unsigned int sizeX = 0, sizeY = 0;
    return readParameters(sizeX, sizeY, true);
}

bool Border::process(const std::atomic<bool>& /*cancel*/)
{
    const std::shared_ptr<Image2D> input = getSharedInput(INPUT_IMAGE);
    unsigned int sizeX = 0, sizeY = 0;
    if (!input || !input->isValid() || !readParameters(sizeX, sizeY, false))
        return false;
    const QVariant insertedValue = getUniformValue(INSERTED_VALUE);

    return dispatchDataType(
        AllPixelTypes{}, input->getDataType(), "image2d::Border : Border algorithm not supported for data type: ",
        [&](auto tag) {
            using T = typename decltype(tag)::type;
            T value;
            if constexpr (std::is_floating_point_v<T>)
                value = insertedValue.toFloat();
            else
                value = static_cast<T>(insertedValue.toInt());

            auto output = std::make_shared<Image2D>(input->getSize(), input->getDataType(), input->getPixelSize(), true);
            if (!output->isValid())
                return false;
            const std::size_t width = static_cast<std::size_t>(input->getWidth());
            const std::size_t height = static_cast<std::size_t>(input->getHeight());
            const std::size_t bx = sizeX;
            const std::size_t by = sizeY;
            const T* in = input->getConstData<T>();
            T* out = output->getData<T>();

            // Memory order: top rows and the first left margin, then per inner row its copied
            // middle and the right margin joined with the next row's left margin, then the rest.
            std::size_t pos = 0;
            auto fill = [&](std::size_t count) {
                std::fill_n(out + pos, count, value);
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
            setSharedOutput(OUTPUT_IMAGE, output);
            return true;
        });
}

// ---------------------------------------------------------------------------------------
// Mirror

bool Mirror::isInputValid() const
{
    return requireInputImage(kMirror, INPUT_IMAGE);
}

bool Mirror::process(const std::atomic<bool>& /*cancel*/)
{
    const std::shared_ptr<Image2D> input = getSharedInput(INPUT_IMAGE);
    if (!input || !input->isValid())
        return false;
    return dispatchDataType(
        AllPixelTypes{}, input->getDataType(), "image2d::Mirror : Mirror algorithm not supported for data type: ",
        [&](auto tag) {
            using E = SameWidthUnsigned<typename decltype(tag)::type>;
            auto output = std::make_shared<Image2D>(input->getSize(), input->getDataType(), input->getPixelSize(), true);
            if (!output->isValid())
                return false;
            const std::size_t width = static_cast<std::size_t>(input->getWidth());
            const E* in = input->getConstData<E>();
            E* out = output->getData<E>();
            for (int y = 0; y < input->getHeight(); ++y)
            {
                const std::size_t row = static_cast<std::size_t>(y) * width;
                std::reverse_copy(in + row, in + row + width, out + row);
            }
            setSharedOutput(OUTPUT_IMAGE, output);
            return true;
        });
}

std::shared_ptr<Image2D> Mirror::executeMirror(const Image2D& image)
{
    const std::atomic<bool> cancel{false};
    Mirror mirror;
    mirror.setInput(INPUT_IMAGE, &image);
    mirror.execute(cancel);
    return mirror.getSharedOutput(OUTPUT_IMAGE);
}

// ---------------------------------------------------------------------------------------
// Binning

namespace {

const char* const kBinningNotSupported = "image2d::Binning : Binning algorithm not supported for data type: ";

using BinningPixelTypes =
    PixelTypes<Image2D::UNSIGNED_SHORT, Image2D::SHORT, Image2D::UNSIGNED_CHAR, Image2D::BINARY, Image2D::INT>;

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

bool Binning::isInputValid() const
{
    if (!requireInputImage(kBinning, INPUT_IMAGE))
        return false;
    const std::shared_ptr<Image2D> input = getSharedInput(INPUT_IMAGE);
    if (input->getDataType() == Image2D::FLOAT)
    {
        warning(kBinningNotSupported, static_cast<int>(input->getDataType()));
        return false;
    }
    // A block needs two columns and two rows; the output would be empty otherwise.
    if (input->getWidth() < 2 || input->getHeight() < 2)
    {
        warnInvalidInput(kBinning, INPUT_IMAGE);
        return false;
    }
    return true;
}

bool Binning::process(const std::atomic<bool>& /*cancel*/)
{
    const std::shared_ptr<Image2D> input = getSharedInput(INPUT_IMAGE);
    if (!input || !input->isValid())
        return false;
    return dispatchDataType(BinningPixelTypes{}, input->getDataType(), kBinningNotSupported, [&](auto tag) {
        using Tag = decltype(tag);
        using T = typename Tag::type;
        const int inWidth = input->getWidth();
        const int width = inWidth / 2;
        const int height = input->getHeight() / 2;
        const QVector3D pixelSize = input->getPixelSize();
        auto output = std::make_shared<Image2D>(width, height, input->getDataType(),
                                                QVector3D(2 * pixelSize.x(), 2 * pixelSize.y(), pixelSize.z()), true);
        if (!output->isValid())
            return false;
        const T* in = input->getConstData<T>();
        T* out = output->getData<T>();
        for (int y = 0; y < height; ++y)
        {
            const T* top = in + static_cast<std::size_t>(2 * y) * inWidth;
            const T* bottom = top + inWidth;
            T* dst = out + static_cast<std::size_t>(y) * width;
            for (int x = 0; x < width; ++x)
                dst[x] = combineBlock<Tag>(top[2 * x], top[2 * x + 1], bottom[2 * x], bottom[2 * x + 1]);
        }
        setSharedOutput(OUTPUT_IMAGE, output);
        return true;
    });
}

std::shared_ptr<Image2D> Binning::executeBinning(const Image2D& image)
{
    const std::atomic<bool> cancel{false};
    Binning binning;
    binning.setInput(INPUT_IMAGE, &image);
    binning.execute(cancel);
    return binning.getSharedOutput(OUTPUT_IMAGE);
}

} // namespace image2d
