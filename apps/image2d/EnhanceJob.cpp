#include "EnhanceJob.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

namespace tool {

namespace {

// TEMPORARY until the library's display road is available: a plain level/window onto
// 0..65535 followed by inversion and gamma. Sharpening, equalization, denoising and the
// geometric steps are not applied yet.
Image2D placeholderDisplay(const Image2D& image, double level, double window, bool invert, std::optional<float> gamma)
{
    Image2D out(image.getWidth(), image.getHeight(), Image2D::UNSIGNED_SHORT, image.getPixelSize());
    const double low = level - window / 2.0;
    const std::size_t n = image.getNumPixels();
    auto* dst = out.getData<std::uint16_t>();
    for (std::size_t i = 0; i < n; ++i)
    {
        double v = 0;
        switch (image.getDataType())
        {
        case Image2D::UNSIGNED_SHORT: v = image.getConstData<std::uint16_t>()[i]; break;
        case Image2D::SHORT: v = image.getConstData<std::int16_t>()[i]; break;
        case Image2D::UNSIGNED_CHAR: v = image.getConstData<std::uint8_t>()[i]; break;
        case Image2D::FLOAT: v = image.getConstData<float>()[i]; break;
        default: break;
        }
        long q = std::lround(std::clamp((v - low) / window, 0.0, 1.0) * 65535.0);
        if (invert)
            q = 65535 - q;
        if (gamma && *gamma > 0)
            q = std::lround(std::pow(q / 65535.0, 1.0 / *gamma) * 65535.0);
        dst[i] = static_cast<std::uint16_t>(q);
    }
    out.editFinished();
    return out;
}

} // namespace

std::optional<std::pair<double, double>> automaticLevelWindow(const Image2D& image, Media media)
{
    // TEMPORARY: a percentile window until the library's automatic contrast is available.
    const auto range = image.getValueRange();
    if (image.getDataType() == Image2D::FLOAT || range.getMax() <= range.getMin())
        return std::nullopt;
    const int lo = int(range.getMin()), bins = int(range.getMax()) - lo + 1;
    std::vector<std::size_t> hist(std::size_t(bins), 0);
    const std::size_t n = image.getNumPixels();
    for (std::size_t i = 0; i < n; ++i)
    {
        int v = 0;
        switch (image.getDataType())
        {
        case Image2D::UNSIGNED_SHORT: v = image.getConstData<std::uint16_t>()[i]; break;
        case Image2D::SHORT: v = image.getConstData<std::int16_t>()[i]; break;
        default: v = image.getConstData<std::uint8_t>()[i]; break;
        }
        ++hist[std::size_t(v - lo)];
    }
    const double lowerFraction = media == Media::Intraoral || media == Media::Plate ? 0.005 : 0.01;
    const double upperFraction = media == Media::Ceph ? 0.99 : 0.995;
    std::size_t sum = 0;
    int a = 0, b = bins - 1;
    for (int i = 0; i < bins; ++i)
    {
        sum += hist[std::size_t(i)];
        if (double(sum) < double(n) * lowerFraction)
            a = i;
        if (double(sum) >= double(n) * upperFraction)
        {
            b = i;
            break;
        }
    }
    if (b <= a)
        return std::nullopt;
    return std::make_pair((a + b) / 2.0 + lo, double(b - a));
}

bool runEnhance(const LoadedImage& input, const EnhanceSettings& settings, EnhanceOutcome& out, QString& error,
                const std::atomic<bool>& cancel)
{
    out = EnhanceOutcome{};
    const Image2D& image = input.image;
    if (!image.isValid())
    {
        error = QStringLiteral("no image data");
        return false;
    }
    if (settings.level && settings.window)
    {
        out.level = *settings.level;
        out.window = *settings.window;
        out.levelWindowSource = QStringLiteral("given");
    }
    else if (settings.windowFromFile && input.fileWindow)
    {
        out.level = *input.fileLevel;
        out.window = *input.fileWindow;
        out.levelWindowSource = QStringLiteral("from file");
    }
    else
    {
        if (settings.windowFromFile)
            out.notes << QStringLiteral("no window stored in the file: using the automatic one");
        const auto automatic = automaticLevelWindow(image, settings.media);
        const auto range = image.getValueRange();
        if (automatic && automatic->second > 0)
        {
            out.level = automatic->first;
            out.window = automatic->second;
        }
        else
        {
            // Float data and nearly flat images: the whole value range.
            out.level = (double(range.getMin()) + range.getMax()) / 2.0;
            out.window = std::max(1e-6, double(range.getMax()) - range.getMin());
            out.notes << QStringLiteral("automatic level/window not available for this image: using the value range");
        }
        out.levelWindowSource = QStringLiteral("automatic");
    }

    bool invert = false;
    std::optional<float> gamma;
    for (const auto& f : settings.filters)
    {
        if (f.kind == FilterKind::Invert)
            invert = true;
        else if (f.kind == FilterKind::Gamma)
            gamma = f.value;
        else
            out.notes << QStringLiteral("%1 is not applied yet").arg(filterName(f.kind));
    }
    if (input.displayInverted)
    {
        invert = !invert;
        out.notes << QStringLiteral("MONOCHROME1: shown inverted");
    }
    if (cancel.load())
    {
        error = QStringLiteral("cancelled");
        return false;
    }
    out.display = placeholderDisplay(image, out.level, out.window, invert, gamma);
    if (!out.display.isValid())
    {
        error = QStringLiteral("not enough memory for the display image");
        return false;
    }
    return true;
}

} // namespace tool
