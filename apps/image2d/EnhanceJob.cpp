#include "EnhanceJob.h"

#include "image2d/enhancement/AutoContrast.h"
#include "image2d/pipeline/FilterSetProcessor.h"
#include "image2d/pipeline/ImageFilterConversion.h"
#include "platform/documentmodel/ImageFilter.h"
#include "platform/documentmodel/MediaType.h"

#include <QTransform>

#include <algorithm>
#include <cmath>

namespace tool {

namespace {

dataobject::ImageFilterElementType elementType(FilterKind kind)
{
    switch (kind)
    {
    case FilterKind::Gamma: return dataobject::ImageFilterElementType::Gamma;
    case FilterKind::Invert: return dataobject::ImageFilterElementType::Invert;
    case FilterKind::Sharpen: return dataobject::ImageFilterElementType::Sharpen;
    case FilterKind::Equalize: return dataobject::ImageFilterElementType::HistogramEqualization;
    case FilterKind::Denoise: break;
    }
    return dataobject::ImageFilterElementType::Denoise;
}

// The resize target turned to the image's orientation, as the processor turns it.
QSize orientedTarget(const QSize& target, const QSize& image)
{
    if (!target.isValid() || target.isNull())
        return {};
    const bool portrait = image.width() < image.height();
    const bool swap = portrait ? target.width() >= target.height() : target.width() < target.height();
    return swap ? target.transposed() : target;
}

} // namespace

std::optional<std::pair<double, double>> automaticLevelWindow(const Image2D& image, Media media)
{
    const auto type = image.getDataType();
    if (type != Image2D::UNSIGNED_SHORT && type != Image2D::SHORT && type != Image2D::UNSIGNED_CHAR)
        return std::nullopt;
    const data::LevelWindow lw = dataObjectFunctions::computeAutoContrast(image, MediaType(mediaTypeCode(media)));
    if (lw.getWindow() <= 0)
        return std::nullopt;
    return std::make_pair(double(lw.getLevel()), double(lw.getWindow()));
}

std::optional<float> automaticGamma(const Image2D& image, double level, double window)
{
    const float gamma = image2d::calculateAutoGamma(image, math::Range<float>(float(level - window / 2), float(level + window / 2)));
    return std::isfinite(gamma) && gamma > 0 ? std::optional<float>(gamma) : std::nullopt;
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
        if (const auto automatic = automaticLevelWindow(image, settings.media))
        {
            out.level = automatic->first;
            out.window = automatic->second;
        }
        else
        {
            // Float data and flat images: the whole value range.
            const auto range = image.getValueRange();
            out.level = (double(range.getMin()) + range.getMax()) / 2.0;
            out.window = std::max(1e-3, double(range.getMax()) - range.getMin());
            out.notes << QStringLiteral("automatic level/window not available for this image: using the value range");
        }
        out.levelWindowSource = QStringLiteral("automatic");
    }

    // The host's filter settings: the elements in the user's order, MONOCHROME1 turning
    // the inversion over.
    dataobject::ImageFilter filter(static_cast<dataobject::ImageFilterModality>(settings.effectiveModality()));
    bool inverted = input.displayInverted;
    for (const auto& f : settings.filters)
        if (f.kind == FilterKind::Invert)
            inverted = !inverted;
    if (input.displayInverted)
        out.notes << QStringLiteral("MONOCHROME1: shown inverted");
    for (const auto& f : settings.filters)
    {
        if (f.kind == FilterKind::Invert)
            continue;
        std::optional<float> value = f.value;
        if (f.kind == FilterKind::Gamma && !value)
        {
            value = automaticGamma(image, out.level, out.window);
            if (!value)
                value = 1.0f;
            out.notes << QStringLiteral("automatic gamma %1").arg(double(*value), 0, 'g', 4);
        }
        filter.setElement(elementType(f.kind), value ? utility::Optional<float>(*value) : utility::Optional<float>());
    }
    if (inverted)
        filter.setElement(dataobject::ImageFilterElementType::Invert);

    const QSize target = orientedTarget(settings.resize, image.getSize());
    const image2d::FilterSet set = conversions::toFilterSet(&filter, image.getSize(), image.getPixelSize(), target);
    QTransform transform;
    if (settings.mirror)
        transform = QTransform(-1, 0, 0, 1, 0, 0);
    if (settings.rotate)
        transform = transform * QTransform().rotate(settings.rotate);
    const std::shared_ptr<Image2D> result = image2d::FilterSetProcessor::executeProcessor(
        &image, set, transform, out.level, out.window, cancel, settings.resize.isValid() ? settings.resize : QSize());
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
