#include "EnhanceJob.h"

#include "image2d/pointops/IntensityMapping.h"
#include "image2d/toolbox/Image2DOperations.h"

#include <QTransform>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <memory>
#include <vector>

namespace tool {

namespace {

// The resize target turned to the image's orientation, as the display road turns it.
QSize orientedTarget(const QSize& target, const QSize& image)
{
    if (!target.isValid() || target.isNull())
        return {};
    const bool portrait = image.width() < image.height();
    const bool swap = portrait ? target.width() >= target.height() : target.width() < target.height();
    return swap ? target.transposed() : target;
}

// TEMPORARY until the library's filter-set processor is available: its steps that exist
// so far (smooth resize, right-angle transform, level/window, inversion, gamma) in its
// order. Sharpening, equalization and denoising wait for the processor's filter set.
std::shared_ptr<Image2D> interimDisplayRoad(const Image2D& image, const EnhanceSettings& settings, double level,
                                            double window, bool invert, std::optional<float> gamma,
                                            const std::atomic<bool>& cancel)
{
    auto work = std::make_shared<Image2D>(image);
    const QSize target = orientedTarget(settings.resize, image.getSize());
    if (target.isValid())
    {
        std::unique_ptr<Image2D> resized(image2d::Image2DOperations::createResizedImageSmooth(work.get(), target, cancel));
        if (!resized)
            return {};
        work = std::shared_ptr<Image2D>(std::move(resized));
    }
    QTransform transform;
    if (settings.mirror)
        transform = QTransform(-1, 0, 0, 1, 0, 0);
    if (settings.rotate)
        transform = transform * QTransform().rotate(settings.rotate);
    if (!transform.isIdentity())
        image2d::Image2DOperations::transform(work.get(), transform, cancel);
    work = image2d::LevelWindow::executeLevelWindow(work, level, window, cancel);
    if (work && invert)
        work = image2d::Invert::executeInvert(*work, false);
    if (work && gamma)
    {
        image2d::GammaCorrection correction;
        correction.setSharedInput(image2d::Algorithm::INPUT_IMAGE, work);
        correction.setUniformValue(image2d::GammaCorrection::GAMMA_VALUE, QVariant(*gamma));
        if (!correction.execute(cancel))
            return {};
        work = correction.getSharedOutput(image2d::Algorithm::OUTPUT_IMAGE);
    }
    return work;
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
    if (gamma == std::nullopt && std::any_of(settings.filters.begin(), settings.filters.end(),
                                             [](const FilterElement& f) { return f.kind == FilterKind::Gamma; }))
        out.notes << QStringLiteral("automatic gamma is not available yet: gamma not applied");
    const std::shared_ptr<Image2D> result = interimDisplayRoad(image, settings, out.level, out.window, invert, gamma, cancel);
    if (!result || !result->isValid())
    {
        error = cancel.load() ? QStringLiteral("cancelled")
                              : QStringLiteral("the display road failed for this image (%1, level %2, window %3)")
                                    .arg(image.getDataTypeString())
                                    .arg(out.level)
                                    .arg(out.window);
        return false;
    }
    out.display = std::move(*result);
    return true;
}

} // namespace tool
