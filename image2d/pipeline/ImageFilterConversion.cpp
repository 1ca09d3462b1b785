#include "image2d/pipeline/ImageFilterConversion.h"

#include "image2d/enhancement/HistogramEqualization.h"
#include "image2d/enhancement/Navrel.h"
#include "image2d/enhancement/SharpenOrvane.h"
#include "image2d/enhancement/UnsharpMasking.h"
#include "image2d/filtering/Smoothing.h"
#include "image2d/framework/Log.h"
#include "image2d/pointops/IntensityMapping.h"
#include "platform/documentmodel/ImageFilterHelpers.h"
#include "platform/foundation/StringConversions.h"

#include <QVariant>

#include <algorithm>
#include <cmath>

using namespace image2d;

namespace {

using dataobject::ImageFilterElementType;
using dataobject::ImageFilterModality;

// roundf/ceilf results go through here before becoming ints, so that NaN and infinite
// values (a zero pixel size, an empty image size) give a bound instead of undefined behaviour.
int clampToInt(float value, int low, int high)
{
    if (std::isnan(value))
        return low;
    return static_cast<int>(std::clamp(value, static_cast<float>(low), static_cast<float>(high)));
}

struct Geometry
{
    float scale;
    float diagonal;
    QVector3D pixelSize;
};

int sharpenRadius(ImageFilterModality modality, const Geometry& g)
{
    float base = 7.0f; // modalities without a rule of their own: a fixed kernel
    switch (modality)
    {
    case ImageFilterModality::IntraoralSensor: base = static_cast<float>(0.8 / g.pixelSize.x()); break;
    case ImageFilterModality::Panoramic:
    case ImageFilterModality::Cephalometric: base = static_cast<float>(g.diagonal * 0.002); break;
    case ImageFilterModality::GeneratedPanoramic:
    case ImageFilterModality::GeneratedCephalometric: base = static_cast<float>(g.diagonal * 0.0057142857); break;
    case ImageFilterModality::CtSlice: base = 7.0f; break;
    default: break;
    }
    return clampToInt(std::round(base * g.scale), 1, 20);
}

float histogramEqualizationRadius(ImageFilterModality modality)
{
    switch (modality)
    {
    case ImageFilterModality::Unknown:
    case ImageFilterModality::IntraoralPhosphorPlate: return 0.2f;
    case ImageFilterModality::IntraoralSensor:
    case ImageFilterModality::Panoramic:
    case ImageFilterModality::Cephalometric: return 0.07f;
    case ImageFilterModality::GeneratedPanoramic: return 0.08f;
    case ImageFilterModality::GeneratedCephalometric: return 0.09f;
    default: return 0.5f;
    }
}

void addSharpenFilter(image2d::FilterSet& set, float p, ImageFilterModality modality, const Geometry& g)
{
    using dataobject::ImageFilterHelpers;
    image2d::Uniforms parameters;
    if (ImageFilterHelpers::getUseNavrel(modality))
    {
        parameters.setUniformValue(Navrel::SHARPNESS_FACTOR, QVariant(p));
        parameters.setUniformValue(Navrel::KERNEL_RADIUS, QVariant(sharpenRadius(modality, g)));
        set.addFilter(Navrel::FILTER_ID, parameters);
    }
    else if (ImageFilterHelpers::getUseConstrainedLocalAlpha(modality))
    {
        const float radius = std::round(static_cast<float>(0.2 / g.pixelSize.x()) * g.scale);
        parameters.setUniformValue(LocalAlphaConstrainedUnsharpMasking::SHARPNESS_FACTOR, QVariant(p));
        parameters.setUniformValue(LocalAlphaConstrainedUnsharpMasking::KERNEL_RADIUS,
                                   QVariant(clampToInt(radius, 1, 4)));
        set.addFilter(LocalAlphaConstrainedUnsharpMasking::FILTER_ID, parameters);
    }
    else if (ImageFilterHelpers::getUseSharpenOrvane(modality))
    {
        // The element's value counts kernels from 1; below 1 (and NaN) means no sharpening.
        const float level = std::round(p);
        if (!(level >= 1.0f))
            return;
        const int kernel = static_cast<int>(std::min(level, 1.0e9f)) - 1;
        parameters.setUniformValue(SharpenOrvane::KERNEL_TYPE,
                                   QVariant::fromValue(static_cast<SharpenOrvane::KernelType>(kernel)));
        set.addFilter(SharpenOrvane::FILTER_ID, parameters);
    }
    else
    {
        parameters.setUniformValue(Sharpen::SHARPNESS_FACTOR, QVariant(p));
        parameters.setUniformValue(Sharpen::KERNEL_RADIUS, QVariant(sharpenRadius(modality, g)));
        set.addFilter(Sharpen::FILTER_ID, parameters);
    }
}

} // namespace

namespace conversions {

image2d::FilterSet toFilterSet(const dataobject::ImageFilter* filter, const QSize& imageSize,
                               const QVector3D& pixelSize, const QSize& displaySize)
{
    image2d::FilterSet set;
    if (!filter)
        return set;

    Geometry g;
    // An empty image size would make the scale infinite; such an image is shown as it is.
    g.scale = displaySize.isValid() && imageSize.width() > 0
                  ? static_cast<float>(displaySize.width()) / static_cast<float>(imageSize.width())
                  : 1.0f;
    const double w = imageSize.width(), h = imageSize.height();
    g.diagonal = static_cast<float>(std::sqrt(w * w + h * h));
    g.pixelSize = pixelSize;

    const ImageFilterModality modality = filter->getModality();
    for (const ImageFilterElementType code : filter->getVisibleAndActiveFilterIds())
    {
        const dataobject::ImageFilterElementParameter* parameter = filter->getParameter(code);
        image2d::Uniforms parameters;
        switch (code)
        {
        case ImageFilterElementType::Gamma:
            if (!parameter)
            {
                image2d::warning("addGammaFilter: parameter is invalid.");
                break;
            }
            parameters.setUniformValue(GammaCorrection::GAMMA_VALUE, QVariant(parameter->get()));
            set.addFilter(GammaCorrection::FILTER_ID, parameters);
            break;
        case ImageFilterElementType::Invert: set.addFilter(Invert::FILTER_ID, parameters); break;
        case ImageFilterElementType::Sharpen:
            if (!parameter)
            {
                image2d::warning("ImageFilterToFilterSet: Sharpen filter parameter is invalid.");
                break;
            }
            addSharpenFilter(set, parameter->get(), modality, g);
            break;
        case ImageFilterElementType::HistogramEqualization:
            if (!parameter)
            {
                image2d::warning("addHistogramEqualizationFilter: parameter is invalid.");
                break;
            }
            parameters.setUniformValue(HistogramEqualization::BALANCE, QVariant(parameter->get()));
            parameters.setUniformValue(HistogramEqualization::KERNEL_RELATIVE_RADIUS,
                                       QVariant(histogramEqualizationRadius(modality)));
            set.addFilter(HistogramEqualization::FILTER_ID, parameters);
            break;
        case ImageFilterElementType::Denoise: {
            if (!parameter)
            {
                image2d::warning("addDenoiseFilter: parameter is invalid.");
                break;
            }
            const float sigma = static_cast<float>((g.diagonal * 0.000375 + 0.25) * g.scale * parameter->get());
            parameters.setUniformValue(Denoise::KERNEL_STD, QVariant(sigma));
            parameters.setUniformValue(Denoise::KERNEL_RADIUS, QVariant(clampToInt(std::ceil(3 * sigma), 1, 15)));
            set.addFilter(Denoise::FILTER_ID, parameters);
            break;
        }
        default: image2d::warning("conversions::toFilterSet: unknown filter ID", conversions::toString(code)); break;
        }
    }
    return set;
}

} // namespace conversions

namespace image2d {

QString generateHashForFilteredImage(const QString& baseKey, dataobject::ImageFilter* filter,
                                     const QTransform& transform, utility::Optional<math::Range<float>> valueRange)
{
    QString key = baseKey;
    if (valueRange.hasValue())
    {
        const double level = (valueRange->getMin() + valueRange->getMax()) * 0.5;
        const double window = valueRange->getMax() - valueRange->getMin();
        key +=
            QStringLiteral("_%1_%2").arg(level, 0, 'g', -1, QLatin1Char(' ')).arg(window, 0, 'g', -1, QLatin1Char(' '));
    }
    key += StringConversions::transformToString(transform);
    if (!filter)
        return key;
    for (const dataobject::ImageFilterElementType code : filter->getVisibleAndActiveFilterIds())
    {
        key += QLatin1Char('_') + conversions::toString(code);
        if (const dataobject::ImageFilterElementParameter* parameter = filter->getParameter(code))
            key += QLatin1Char('_') + parameter->toString();
    }
    return key;
}

} // namespace image2d
