#include "EnhanceJob.h"

#include "Report.h"

#include "image2d/enhancement/AutoContrast.h"
#include "image2d/pipeline/FilterSetProcessor.h"
#include "image2d/pipeline/ImageFilterConversion.h"
#include "platform/documentmodel/ImageFilter.h"
#include "platform/documentmodel/MediaType.h"
#include "platform/pixeldata/PixelTypes.h"

#include <QTransform>

#include <algorithm>
#include <cmath>
#include <limits>

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

// The pixels that are not padding, as one row of the image's type.
Image2D withoutPadding(const Image2D& image, const QByteArray& padding)
{
    const std::size_t kept = std::size_t(std::count(padding.cbegin(), padding.cend(), '\0'));
    if (kept == 0 || kept > std::size_t(std::numeric_limits<int>::max()))
        return {};
    Image2D row(int(kept), 1, image.getDataType(), image.getPixelSize());
    if (!row.isValid())
        return row;
    pixeldata::visitDataType(image.getDataType(), [&](auto tag) {
        using T = typename decltype(tag)::type;
        const T* in = image.getConstData<T>();
        T* out = row.getData<T>();
        for (std::size_t i = 0, k = 0; i < image.getNumPixels(); ++i)
            if (!padding[qsizetype(i)])
                out[k++] = in[i];
    });
    row.editFinished();
    return row;
}

// Padding pixels take the value shown darkest, so they read as black and no filter sees an
// edge between the image and the padding.
Image2D paddingShownBlack(const Image2D& image, const QByteArray& padding, double darkest)
{
    Image2D result = image;
    pixeldata::visitDataType(image.getDataType(), [&](auto tag) {
        using T = typename decltype(tag)::type;
        const double lo = image.getDataType() == Image2D::FLOAT ? -3.4e38 : image.getMinFloatValue();
        const double hi = image.getDataType() == Image2D::FLOAT ? 3.4e38 : image.getMaxFloatValue();
        const T value = static_cast<T>(std::clamp(std::round(darkest), lo, hi));
        T* data = result.getData<T>();
        for (std::size_t i = 0; i < result.getNumPixels(); ++i)
            if (padding[qsizetype(i)])
                data[i] = value;
    });
    result.editFinished();
    return result;
}

QString stepName(const QString& step)
{
    return step == QLatin1String("LevelWindow") ? QStringLiteral("level/window") : step;
}

// The reason without the step and without naming the input image, which is always the one.
QString reasonText(const image2d::FailureReason& reason)
{
    if (!reason)
        return QStringLiteral("no reason given");
    image2d::FailureReason what = reason;
    what.step.clear();
    if (what.key == image2d::Algorithm::INPUT_IMAGE)
        what.key.clear();
    return what.describe();
}

} // namespace

std::optional<std::pair<double, double>> automaticLevelWindow(const Image2D& image, Media media, const QByteArray& padding)
{
    const auto type = image.getDataType();
    if (type != Image2D::UNSIGNED_SHORT && type != Image2D::SHORT && type != Image2D::UNSIGNED_CHAR)
        return std::nullopt;
    const auto mediaType = static_cast<MediaType>(mediaTypeCode(media));
    const data::LevelWindow lw = padding.isEmpty() ? dataObjectFunctions::computeAutoContrast(image, mediaType)
                                                   : dataObjectFunctions::computeAutoContrast(withoutPadding(image, padding), mediaType);
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
    if (settings.acquisition)
    {
        // Raw sensor data: the acquisition enhancement first, then the display road on its result.
        LoadedImage acquired = input;
        if (!enhanceRawAcquisition(acquired, settings.acquisition, error))
        {
            error = QStringLiteral("acquisition enhancement: %1").arg(error);
            return false;
        }
        EnhanceSettings road = settings;
        road.acquisition = 0;
        return runEnhance(acquired, road, out, error, cancel);
    }
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
        if (const auto automatic = automaticLevelWindow(image, settings.media, input.padding))
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

    // The processor as an object rather than through executeProcessor, so that a failure
    // can be told with its step and reason.
    image2d::FilterSetProcessor processor(set, transform);
    std::shared_ptr<Image2D> source;
    if (input.padding.isEmpty())
        // Lent for the run: the processor reads its input and works on a copy of its own.
        source = std::shared_ptr<Image2D>(const_cast<Image2D*>(&image), [](Image2D*) {});
    else
        source = std::make_shared<Image2D>(
            paddingShownBlack(image, input.padding, inverted ? out.level + out.window / 2 : out.level - out.window / 2));
    processor.setSharedInput(image2d::Algorithm::INPUT_IMAGE, source);
    processor.setUniformValue(image2d::FilterSetProcessor::LEVEL, out.level);
    processor.setUniformValue(image2d::FilterSetProcessor::WINDOW, out.window);
    processor.setUniformValue(image2d::FilterSetProcessor::SIZE, settings.resize.isValid() ? settings.resize : QSize());
    processor.execute(cancel);
    const std::shared_ptr<Image2D> result = processor.getSharedOutput(image2d::Algorithm::OUTPUT_IMAGE);
    if (!result || !result->isValid())
    {
        const image2d::FailureReason& reason = processor.lastFailure();
        if (cancel.load() || reason.kind == image2d::FailureReason::Cancelled)
            error = QStringLiteral("cancelled");
        else
        {
            error = QStringLiteral("display road failed%1: %2 (%3 image, level %4, window %5)")
                        .arg(reason.step.isEmpty() ? QString() : QStringLiteral(" in ") + stepName(reason.step),
                             reasonText(reason), image.getDataTypeString())
                        .arg(out.level)
                        .arg(out.window);
        }
        return false;
    }
    out.display = std::move(*result);
    return true;
}

} // namespace tool
