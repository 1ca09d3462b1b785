#include "image2d/pointops/IntensityMapping.h"

#include "image2d/framework/Dispatch.h"
#include "image2d/framework/Log.h"
#include "image2d/pointops/PixelCasts.h"

#include <QVariant>

#include <bit>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <vector>

namespace image2d {

using pointops_detail::clampNanToLow;
using pointops_detail::truncateTo;

const QString LevelWindow::LEVEL = QStringLiteral("levelImage");
const QString LevelWindow::WINDOW = QStringLiteral("windowImage");
const QString LevelWindow::FILTER_ID = QStringLiteral("LevelWindow");

const QString GammaCorrection::GAMMA_VALUE = QStringLiteral("GammaValue");
const QString GammaCorrection::FILTER_ID = QStringLiteral("Gamma");

const QString Invert::PRESERVE_RANGE = QStringLiteral("PreserveRange");
const QString Invert::FILTER_ID = QStringLiteral("Invert");

const QString ScaleColorValue::SCALAR = QStringLiteral("scalar");

const QString BitShift::BITS_TO_SHIFT = QStringLiteral("bitsToShift");

namespace {

constexpr const char* kLevelWindow = "image2d::LevelWindow";
constexpr const char* kGamma = "image2d::GammaCorrection";
constexpr const char* kInvert = "image2d::Invert";
constexpr const char* kScale = "image2d::ScaleColorValue";
constexpr const char* kBitShift = "image2d::BitShift";

/// A usable input: present and holding pixels. process() checks it again so that a
/// direct call without validation fails instead of dereferencing nothing.
bool hasPixels(const std::shared_ptr<Image2D>& image)
{
    return image && image->isValid();
}

// ---- LevelWindow ----------------------------------------------------------------------

template <typename T>
void levelWindowInteger(const T* in, T* out, std::size_t n, float low, float high)
{
    constexpr float minT = static_cast<float>(std::numeric_limits<T>::min());
    constexpr float span = static_cast<float>(std::numeric_limits<T>::max()) - minT;
    const float scale = span / (high - low);
    for (std::size_t i = 0; i < n; ++i)
    {
        // The clamp sends NaN (from an infinite or degenerate window) to 0, so the
        // conversion below always sees a value inside T's range.
        const float mapped = clampNanToLow((static_cast<float>(in[i]) - low) * scale, 0.0f, span);
        out[i] = static_cast<T>(mapped + minT);
    }
}

void levelWindowFloat(const float* in, float* out, std::size_t n, float low, float window)
{
    // One pass doing the subtract, divide, raise-to-0 and lower-to-1 steps in that order;
    // each step is element-wise, so the result equals four separate passes.
    for (std::size_t i = 0; i < n; ++i)
    {
        float v = (in[i] - low) / window;
        if (v < 0.0f)
            v = 0.0f;
        if (v > 1.0f)
            v = 1.0f;
        out[i] = v;
    }
}

// ---- GammaCorrection ------------------------------------------------------------------

/// The smallest accepted gamma: the float with bit pattern 0x00200000 (about 2.938736e-39).
const float kMinGamma = std::bit_cast<float>(std::uint32_t{0x00200000u});

/// Gamma table of an integer type: entry i maps the stored value i - offset.
/// Built in float, entry i = truncate(pow(i / span, e) * span - offset).
template <typename T>
std::vector<T> gammaTable(float exponent)
{
    constexpr int offset = -static_cast<int>(std::numeric_limits<T>::min());
    constexpr int entries = static_cast<int>(std::numeric_limits<T>::max()) + offset + 1;
    constexpr float span = static_cast<float>(entries - 1);
    std::vector<T> table(static_cast<std::size_t>(entries));
    for (int i = 0; i < entries; ++i)
        table[static_cast<std::size_t>(i)] =
            truncateTo<T>(std::pow(static_cast<float>(i) / span, exponent) * span - static_cast<float>(offset));
    return table;
}

template <typename T>
void applyTable(const T* in, T* out, std::size_t n, const std::vector<T>& table)
{
    constexpr int offset = -static_cast<int>(std::numeric_limits<T>::min());
    const T* lookup = table.data();
    for (std::size_t i = 0; i < n; ++i)
        out[i] = lookup[static_cast<int>(in[i]) + offset];
}

// ---- Invert -----------------------------------------------------------------------------

template <Image2D::DataType Code, typename T>
void invertPixels(T* pixels, std::size_t n, bool preserveRange, float boundsSum)
{
    if constexpr (Code == Image2D::BINARY)
    {
        for (std::size_t i = 0; i < n; ++i)
            pixels[i] = pixels[i] == 0 ? T(1) : T(0);
    }
    else if constexpr (std::is_floating_point_v<T>)
    {
        if (preserveRange)
            for (std::size_t i = 0; i < n; ++i)
                pixels[i] = boundsSum - pixels[i];
        else
            for (std::size_t i = 0; i < n; ++i)
            {
                const float v = pixels[i];
                pixels[i] = 1.0f - (v < 0.0f ? 0.0f : (v > 1.0f ? 1.0f : v));
            }
    }
    else
    {
        if (preserveRange)
            for (std::size_t i = 0; i < n; ++i)
                pixels[i] = truncateTo<T>(boundsSum - static_cast<float>(pixels[i]));
        else
            for (std::size_t i = 0; i < n; ++i)
                pixels[i] = static_cast<T>(~pixels[i]);
    }
}

// ---- ScaleColorValue ----------------------------------------------------------------------

template <Image2D::DataType Code, typename T>
void scalePixels(const T* in, T* out, std::size_t n, float scalar)
{
    if constexpr (std::is_floating_point_v<T>)
    {
        constexpr float limit = std::numeric_limits<float>::max();
        for (std::size_t i = 0; i < n; ++i)
            out[i] = clampNanToLow(in[i] * scalar, -limit, limit);
    }
    else
    {
        // BINARY shares UNSIGNED_CHAR's storage and bounds, so it may leave 0..1.
        constexpr float lower = static_cast<float>(std::numeric_limits<T>::min());
        constexpr float upper = static_cast<float>(std::numeric_limits<T>::max());
        for (std::size_t i = 0; i < n; ++i)
            out[i] = truncateTo<T>(clampNanToLow(static_cast<float>(in[i]) * scalar, lower, upper));
    }
}

// ---- BitShift ---------------------------------------------------------------------------

/// The shift count as stored, when it converts to an unsigned int.
utility::Optional<unsigned int> bitsToShift(const Uniforms& uniforms, const QString& key)
{
    const QVariant value = uniforms.getUniformValue(key);
    if (!value.isValid())
        return {};
    bool ok = false;
    const unsigned int bits = value.toUInt(&ok);
    if (!ok)
        return {};
    return bits;
}

} // namespace

// ---- LevelWindow ----------------------------------------------------------------------

bool LevelWindow::isInputValid() const
{
    if (!requireInputImage(kLevelWindow, INPUT_IMAGE))
        return false;
    const utility::Optional<double> level = requireDouble(kLevelWindow, LEVEL);
    if (!level)
        return false;
    // NaN would turn every pixel into NaN before the conversion to the pixel type.
    if (std::isnan(*level))
    {
        warnInvalidInput(kLevelWindow, LEVEL);
        return false;
    }
    const utility::Optional<double> window = requireDouble(kLevelWindow, WINDOW);
    if (!window)
        return false;
    if (!(*window > 0.0)) // also NaN
    {
        warnInvalidInput(kLevelWindow, WINDOW);
        warning("Window value cannot be equal or smaller than 0");
        return false;
    }
    return true;
}

bool LevelWindow::process(const std::atomic<bool>& /*cancel*/)
{
    const std::shared_ptr<Image2D> input = getSharedInput(INPUT_IMAGE);
    const utility::Optional<double> levelValue = getUniformDoubleValue(LEVEL);
    const utility::Optional<double> windowValue = getUniformDoubleValue(WINDOW);
    if (!hasPixels(input) || !levelValue || !windowValue)
        return false;
    const float level = static_cast<float>(*levelValue);
    const float window = static_cast<float>(*windowValue);
    const float low = level - window / 2.0f;
    const float high = level + window / 2.0f;

    using Supported = PixelTypes<Image2D::UNSIGNED_SHORT, Image2D::SHORT, Image2D::UNSIGNED_CHAR, Image2D::FLOAT>;
    return dispatchDataType(
        Supported{}, input->getDataType(), "image2d::LevelWindow : level window algorithm not supported for data type: ",
        [&](auto tag) {
            using T = typename decltype(tag)::type;
            auto output = std::make_shared<Image2D>(input->getSize(), input->getDataType(), input->getPixelSize());
            if (!output->isValid())
                return false;
            const T* in = input->getConstData<T>();
            T* out = output->getData<T>();
            if constexpr (std::is_floating_point_v<T>)
                levelWindowFloat(in, out, input->getNumPixels(), low, window);
            else
                levelWindowInteger(in, out, input->getNumPixels(), low, high);
            setSharedOutput(OUTPUT_IMAGE, output);
            return true;
        });
}

std::shared_ptr<Image2D> LevelWindow::executeLevelWindow(std::shared_ptr<Image2D> image, double level, double window,
                                                         const std::atomic<bool>& cancel)
{
    LevelWindow algorithm;
    algorithm.setSharedInput(INPUT_IMAGE, std::move(image));
    algorithm.setUniformValue(LEVEL, level);
    algorithm.setUniformValue(WINDOW, window);
    algorithm.execute(cancel);
    return algorithm.getSharedOutput(OUTPUT_IMAGE);
}

std::shared_ptr<Image2D> LevelWindow::executeLevelWindow(const Image2D* image, double level, double window,
                                                         const std::atomic<bool>& cancel)
{
    if (!image)
        return nullptr;
    return executeLevelWindow(std::make_shared<Image2D>(*image), level, window, cancel);
}

// ---- GammaCorrection ------------------------------------------------------------------

bool GammaCorrection::isInputValid() const
{
    if (!requireInputImage(kGamma, INPUT_IMAGE))
        return false;
    const utility::Optional<float> gamma = requireFloat(kGamma, GAMMA_VALUE);
    if (!gamma)
        return false;
    // Zero, negatives and NaN all fail this test.
    if (!(*gamma >= kMinGamma))
    {
        warning("image2d::GammaCorrection : value out of range: ", GAMMA_VALUE);
        return false;
    }
    return true;
}

bool GammaCorrection::process(const std::atomic<bool>& /*cancel*/)
{
    const std::shared_ptr<Image2D> input = getSharedInput(INPUT_IMAGE);
    const utility::Optional<float> gamma = getUniformFloatValue(GAMMA_VALUE);
    if (!hasPixels(input) || !gamma)
        return false;
    const float exponent = 1.0f / *gamma;

    using Supported = PixelTypes<Image2D::UNSIGNED_SHORT, Image2D::SHORT, Image2D::UNSIGNED_CHAR, Image2D::FLOAT>;
    return dispatchDataType(
        Supported{}, input->getDataType(), "image2d::GammaCorrection : gamma algorithm not supported for data type: ",
        [&](auto tag) {
            using T = typename decltype(tag)::type;
            auto output = std::make_shared<Image2D>(input->getSize(), input->getDataType(), QVector3D(1, 1, 1));
            if (!output->isValid())
                return false;
            const T* in = input->getConstData<T>();
            T* out = output->getData<T>();
            const std::size_t n = input->getNumPixels();
            if constexpr (std::is_floating_point_v<T>)
            {
                for (std::size_t i = 0; i < n; ++i)
                {
                    const float v = in[i];
                    out[i] = std::pow(v < 0.0f ? 0.0f : (v > 1.0f ? 1.0f : v), exponent);
                }
            }
            else
            {
                applyTable(in, out, n, gammaTable<T>(exponent));
            }
            setSharedOutput(OUTPUT_IMAGE, output);
            return true;
        });
}

// ---- Invert -----------------------------------------------------------------------------

bool Invert::isInputValid() const
{
    return requireInputImage(kInvert, INPUT_IMAGE);
}

bool Invert::process(const std::atomic<bool>& /*cancel*/)
{
    const std::shared_ptr<Image2D> input = getSharedInput(INPUT_IMAGE);
    if (!hasPixels(input))
        return false;
    const bool preserveRange = getUniformBoolValue(PRESERVE_RANGE).value_or(false);

    return dispatchDataType(AllPixelTypes{}, input->getDataType(),
                            "image2d::Invert : invert algorithm not supported for data type: ", [&](auto tag) {
                                using T = typename decltype(tag)::type;
                                auto output = std::make_shared<Image2D>(*input);
                                if (!output->isValid())
                                    return false;
                                // Only read when preserving the range: for FLOAT it scans the pixels.
                                const float boundsSum =
                                    preserveRange ? input->getMinFloatValue() + input->getMaxFloatValue() : 0.0f;
                                invertPixels<decltype(tag)::code>(output->getData<T>(), output->getNumPixels(),
                                                                  preserveRange, boundsSum);
                                setSharedOutput(OUTPUT_IMAGE, output);
                                return true;
                            });
}

std::shared_ptr<Image2D> Invert::executeInvert(const Image2D& image, bool preserveRange)
{
    std::atomic<bool> cancel{false};
    Invert algorithm;
    algorithm.setInput(INPUT_IMAGE, &image);
    algorithm.setUniformValue(PRESERVE_RANGE, preserveRange);
    algorithm.execute(cancel);
    return algorithm.getSharedOutput(OUTPUT_IMAGE);
}

// ---- ScaleColorValue ----------------------------------------------------------------------

bool ScaleColorValue::isInputValid() const
{
    if (!requireInputImage(kScale, INPUT_IMAGE))
        return false;
    if (!getUniformFloatValue(SCALAR))
    {
        warning("image2D::ScaleColorValue : invalid input ", SCALAR);
        return false;
    }
    return true;
}

bool ScaleColorValue::process(const std::atomic<bool>& /*cancel*/)
{
    const std::shared_ptr<Image2D> input = getSharedInput(INPUT_IMAGE);
    const utility::Optional<float> scalar = getUniformFloatValue(SCALAR);
    if (!hasPixels(input) || !scalar)
        return false;

    return dispatchDataType(
        AllPixelTypes{}, input->getDataType(),
        "image2d::ScaleColorValue : ScaleColorValue algorithm not supported for data type: ", [&](auto tag) {
            using T = typename decltype(tag)::type;
            auto output = std::make_shared<Image2D>(input->getSize(), input->getDataType(), input->getPixelSize());
            if (!output->isValid())
                return false;
            scalePixels<decltype(tag)::code>(input->getConstData<T>(), output->getData<T>(), input->getNumPixels(),
                                             *scalar);
            setSharedOutput(OUTPUT_IMAGE, output);
            return true;
        });
}

std::shared_ptr<Image2D> ScaleColorValue::executeScaleColorValue(std::shared_ptr<Image2D> image, float scalar)
{
    std::atomic<bool> cancel{false};
    ScaleColorValue algorithm;
    algorithm.setSharedInput(INPUT_IMAGE, std::move(image));
    algorithm.setUniformValue(SCALAR, scalar);
    algorithm.execute(cancel);
    return algorithm.getSharedOutput(OUTPUT_IMAGE);
}

std::shared_ptr<Image2D> ScaleColorValue::executeScaleColorValue(Image2D image, float scalar)
{
    // `image` is already the caller's copy; move it into the shared pointer.
    return executeScaleColorValue(std::make_shared<Image2D>(std::move(image)), scalar);
}

// ---- BitShift ---------------------------------------------------------------------------

bool BitShift::isInputValid() const
{
    if (!requireInputImage(kBitShift, INPUT_IMAGE))
        return false;
    const std::shared_ptr<Image2D> input = getSharedInput(INPUT_IMAGE);
    const Image2D::DataType type = input->getDataType();
    if (type != Image2D::UNSIGNED_CHAR && type != Image2D::UNSIGNED_SHORT)
    {
        warning("image2d::BitShift :", INPUT_IMAGE, " contains image of unsupported type ");
        return false;
    }
    const utility::Optional<unsigned int> bits = bitsToShift(*this, BITS_TO_SHIFT);
    if (!bits)
    {
        warnMissingInput(kBitShift, BITS_TO_SHIFT);
        return false;
    }
    if (*bits >= 8u * static_cast<unsigned int>(input->getDataTypeSize()))
    {
        warning("image2d::BitShift : ", BITS_TO_SHIFT, " param contains incorrect value ", *bits);
        return false;
    }
    return true;
}

bool BitShift::process(const std::atomic<bool>& /*cancel*/)
{
    const std::shared_ptr<Image2D> input = getSharedInput(INPUT_IMAGE);
    const utility::Optional<unsigned int> bits = bitsToShift(*this, BITS_TO_SHIFT);
    if (!input || !bits)
        return false;
    const unsigned int shift = *bits;
    if (shift == 0 || input->getNumPixels() == 0)
    {
        // Nothing to change: publish the input object itself.
        setSharedOutput(OUTPUT_IMAGE, input);
        return true;
    }

    using Supported = PixelTypes<Image2D::UNSIGNED_SHORT, Image2D::UNSIGNED_CHAR>;
    return dispatchDataType(
        Supported{}, input->getDataType(), "image2d::BitShift : bit shift algorithm not supported for data type: ",
        [&](auto tag) {
            using T = typename decltype(tag)::type;
            constexpr unsigned int width = 8u * sizeof(T);
            if (shift >= width)
                return false;
            auto output = std::make_shared<Image2D>(*input);
            if (!output->isValid())
                return false;
            const unsigned int keep = (1u << (width - shift)) - 1u;
            T* pixels = output->getData<T>();
            const std::size_t n = output->getNumPixels();
            for (std::size_t i = 0; i < n; ++i)
                pixels[i] = static_cast<T>((pixels[i] & keep) << shift);
            setSharedOutput(OUTPUT_IMAGE, output);
            return true;
        });
}

std::shared_ptr<Image2D> BitShift::executeBitShift(const Image2D& image, unsigned int bits)
{
    std::atomic<bool> cancel{false};
    BitShift algorithm;
    algorithm.setInput(INPUT_IMAGE, &image);
    algorithm.setUniformValue(BITS_TO_SHIFT, bits);
    algorithm.execute(cancel);
    return algorithm.getSharedOutput(OUTPUT_IMAGE);
}

} // namespace image2d
