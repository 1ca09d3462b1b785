#include "image2d/pipeline/FilterSetProcessor.h"

#include "image2d/enhancement/HistogramEqualization.h"
#include "image2d/enhancement/Navrel.h"
#include "image2d/enhancement/SharpenOrvane.h"
#include "image2d/enhancement/StarkAdaptiveHistogramEqualization.h"
#include "image2d/enhancement/UnsharpMasking.h"
#include "image2d/filtering/Smoothing.h"
#include "image2d/framework/Log.h"
#include "image2d/pointops/IntensityMapping.h"
#include "image2d/toolbox/Image2DOperations.h"

#include <QHash>

#include <utility>

namespace image2d {

const QString FilterSetProcessor::LEVEL = QStringLiteral("level");
const QString FilterSetProcessor::WINDOW = QStringLiteral("window");
const QString FilterSetProcessor::SIZE = QStringLiteral("resize");

namespace {

constexpr const char* OWNER = "image2d::FilterSetProcessor";

// The step of every identifier the factory makes an algorithm for.
using FilterStep = std::shared_ptr<Image2D> (*)(const Uniforms&, const std::shared_ptr<Image2D>&,
                                                const std::atomic<bool>&);

FilterStep filterStep(const QString& id)
{
    static const QHash<QString, FilterStep> steps = {
        {Invert::FILTER_ID, &Invert::applyFilter},
        {HistogramEqualization::FILTER_ID, &HistogramEqualization::applyFilter},
        {Navrel::FILTER_ID, &Navrel::applyFilter},
        {Sharpen::FILTER_ID, &Sharpen::applyFilter},
        {SharpenOrvane::FILTER_ID, &SharpenOrvane::applyFilter},
        {LocalAlphaConstrainedUnsharpMasking::FILTER_ID, &LocalAlphaConstrainedUnsharpMasking::applyFilter},
        {StarkAdaptiveHistogramEqualization::FILTER_ID, &StarkAdaptiveHistogramEqualization::applyFilter},
        {Denoise::FILTER_ID, &Denoise::applyFilter},
        {GammaCorrection::FILTER_ID, &GammaCorrection::applyFilter},
    };
    return steps.value(id);
}

const QString kCopyStep = QStringLiteral("copy");
const QString kResizeStep = QStringLiteral("resize");
const QString kTransformStep = QStringLiteral("transform");

void warnWindowNotPositive(const char* owner, const QString& key)
{
    LevelWindow::WINDOW_PARAMETER.messages().outOfRange(owner, key);
}

// A parameter "equals" a float constant in the QVariant sense; an absent one never does.
bool equals(const Uniforms& parameters, const QString& key, float value)
{
    return parameters.getUniformValue(key) == QVariant(value);
}

} // namespace

FilterSetProcessor::FilterSetProcessor(const FilterSet& filterSet, const QTransform& transform)
    : m_filterSet(filterSet), m_transform(transform)
{}

FilterSetProcessor::FilterSetProcessor(const FilterSetProcessor& other) = default;

std::shared_ptr<Image2D> FilterSetProcessor::executeProcessor(const Image2D* image, const FilterSet& filterSet,
                                                              const QTransform& transform, double level, double window,
                                                              const std::atomic<bool>& cancel, const QSize& size)
{
    FilterSetProcessor processor(filterSet, transform);
    // A null image is left out, so validation reports the missing input. The processor only
    // reads its input (it works on a copy or a resized image of its own), so the caller's
    // image is lent to it for the run instead of being copied once more.
    if (image)
        processor.setSharedInput(INPUT_IMAGE, std::shared_ptr<Image2D>(const_cast<Image2D*>(image), [](Image2D*) {}));
    processor.setUniformValue(LEVEL, level);
    processor.setUniformValue(WINDOW, window);
    processor.setUniformValue(SIZE, size);
    processor.execute(cancel);
    return processor.getSharedOutput(OUTPUT_IMAGE);
}

const QStringList& FilterSetProcessor::filterOrder()
{
    static const QStringList order = {
        LevelWindow::FILTER_ID,
        Invert::FILTER_ID,
        HistogramEqualization::FILTER_ID,
        Navrel::FILTER_ID,
        Sharpen::FILTER_ID,
        SharpenOrvane::FILTER_ID,
        LocalAlphaConstrainedUnsharpMasking::FILTER_ID,
        ConstrainedUnsharpMasking::FILTER_ID,
        StarkAdaptiveHistogramEqualization::FILTER_ID,
        Denoise::FILTER_ID,
        GammaCorrection::FILTER_ID,
    };
    return order;
}

std::unique_ptr<Algorithm> FilterSetProcessor::createFilter(const QString& id, const std::shared_ptr<Image2D>& image,
                                                            const Uniforms& parameters)
{
    // Each filter starts from all of the set's parameters; forced values are set after them.
    const auto withParameters = [&parameters](std::unique_ptr<Algorithm> algorithm) {
        algorithm->setUniforms(parameters.getUniforms());
        return algorithm;
    };

    // Inversion gets no parameters: the display road never preserves the range.
    if (id == Invert::FILTER_ID)
        return std::make_unique<Invert>();
    if (id == GammaCorrection::FILTER_ID)
        return withParameters(std::make_unique<GammaCorrection>());
    if (id == SharpenOrvane::FILTER_ID)
        return withParameters(std::make_unique<SharpenOrvane>());
    if (id == Denoise::FILTER_ID)
        return withParameters(std::make_unique<Denoise>());
    if (id == Navrel::FILTER_ID)
    {
        if (equals(parameters, Navrel::SHARPNESS_FACTOR, 0.0f) || !image)
            return nullptr;
        auto navrel = withParameters(std::make_unique<Navrel>());
        navrel->setUniformValue(Navrel::MEDIAN_RADIUS, 1);
        // The band is the whole value range of the image the filter receives.
        navrel->setUniformValue(Navrel::BLACK_VALUE, image->getMinFloatValue());
        navrel->setUniformValue(Navrel::WHITE_VALUE, image->getMaxFloatValue());
        return navrel;
    }
    if (id == Sharpen::FILTER_ID)
    {
        if (equals(parameters, Sharpen::SHARPNESS_FACTOR, 0.0f))
            return nullptr;
        return withParameters(std::make_unique<Sharpen>());
    }
    if (id == HistogramEqualization::FILTER_ID)
    {
        if (equals(parameters, HistogramEqualization::BALANCE, 0.0f))
            return nullptr;
        auto equalization = withParameters(std::make_unique<HistogramEqualization>());
        if (!parameters.getUniforms().contains(HistogramEqualization::KERNEL_RELATIVE_RADIUS))
            equalization->setUniformValue(HistogramEqualization::KERNEL_RELATIVE_RADIUS, 0.032f);
        equalization->setUniformValue(HistogramEqualization::KERNEL_OVERLAP, 0.75f);
        return equalization;
    }
    if (id == LocalAlphaConstrainedUnsharpMasking::FILTER_ID)
    {
        if (equals(parameters, LocalAlphaConstrainedUnsharpMasking::SHARPNESS_FACTOR, 0.0f))
            return nullptr;
        auto sharpen = withParameters(std::make_unique<LocalAlphaConstrainedUnsharpMasking>());
        sharpen->setUniformValue(LocalAlphaConstrainedUnsharpMasking::MIN_MAX_KERNEL_RADIUS, 3);
        sharpen->setUniformValue(LocalAlphaConstrainedUnsharpMasking::INTERPOLATION, 0.6);
        sharpen->setUniformValue(LocalAlphaConstrainedUnsharpMasking::SLOPE, 35.0);
        sharpen->setUniformValue(LocalAlphaConstrainedUnsharpMasking::CENTER, 0.0714);
        return sharpen;
    }
    if (id == StarkAdaptiveHistogramEqualization::FILTER_ID)
    {
        // alpha 1 and beta 1 is the identity of the Stark mapping.
        if (equals(parameters, StarkAdaptiveHistogramEqualization::ALPHA_VALUE, 1.0f) &&
            equals(parameters, StarkAdaptiveHistogramEqualization::BETA_VALUE, 1.0f))
            return nullptr;
        return withParameters(std::make_unique<StarkAdaptiveHistogramEqualization>());
    }
    // "ConstrainedUnsharpMasking" and unknown identifiers pass the image on unchanged.
    return nullptr;
}

// Infinite or NaN values would reach float-to-integer conversions in level/window.
const Parameter<double> FilterSetProcessor::LEVEL_PARAMETER{&LEVEL, Bounds::finiteValue(),
                                                            "level passed to level/window"};
const Parameter<double> FilterSetProcessor::WINDOW_PARAMETER{&WINDOW, Bounds::finiteValue(),
                                                             "window passed to level/window, above 0"};
const Parameter<QSize> FilterSetProcessor::SIZE_PARAMETER{&SIZE, QSize(), Lenient{},
                                                          "display size; the image is resized to it, turned like it"};

const ParameterList& FilterSetProcessor::parameters()
{
    static const ParameterList list{&LEVEL_PARAMETER, &WINDOW_PARAMETER, &SIZE_PARAMETER};
    return list;
}

bool FilterSetProcessor::isInputValid() const
{
    if (!requireInputImage(OWNER, INPUT_IMAGE) || !LEVEL_PARAMETER.validate(*this, OWNER) ||
        !WINDOW_PARAMETER.validate(*this, OWNER))
        return false;
    if (WINDOW_PARAMETER(*this) <= 0.0)
    {
        warnWindowNotPositive(OWNER, WINDOW);
        return fail(FailureReason::OutOfRange, WINDOW);
    }
    return true;
}

bool FilterSetProcessor::stoppedAt(const std::atomic<bool>& cancel, const QString& step) const
{
    if (!cancel.load())
        return false;
    fail(FailureReason::Cancelled, {}, step);
    return true;
}

bool FilterSetProcessor::process(const std::atomic<bool>& cancel)
{
    const std::shared_ptr<Image2D> input = getSharedInput(INPUT_IMAGE);
    const QSize target = SIZE_PARAMETER(*this);
    const bool resize = target.isValid() && !target.isNull();

    // The working image: a copy of the input, or, when it is resized anyway, the resized
    // image made straight from the input (the same pixels, one full-size copy fewer).
    std::shared_ptr<Image2D> working;
    if (!resize)
    {
        working = std::make_shared<Image2D>(*input);
        if (!working->isValid())
            return fail(FailureReason::Failed, {}, kCopyStep); // the copy could not be allocated
    }
    if (stoppedAt(cancel, kResizeStep))
        return false;
    if (resize)
    {
        working.reset(
            Image2DOperations::createResizedImageSmooth(input.get(), orientedTarget(input->getSize(), target), cancel));
        // The chain's level/window then reports the missing image.
        if (!working && !cancel.load())
            fail(FailureReason::Failed, {}, kResizeStep);
    }

    if (stoppedAt(cancel, kTransformStep))
        return false;
    if (working && m_transform.type() != QTransform::TxNone)
        Image2DOperations::transform(working.get(), m_transform, cancel);

    if (stoppedAt(cancel, LevelWindow::FILTER_ID))
        return false;
    std::shared_ptr<Image2D> result = runChain(std::move(working), cancel);
    if (!result)
        return false;
    setSharedOutput(OUTPUT_IMAGE, std::move(result));
    return true;
}

std::shared_ptr<Image2D> FilterSetProcessor::runChain(std::shared_ptr<Image2D> image,
                                                      const std::atomic<bool>& cancel) const
{
    // Level/window always runs first, with the processor's own values.
    if (!image)
    {
        warnMissingKey("image2d::LevelWindow", INPUT_IMAGE);
        fail(FailureReason::Missing, INPUT_IMAGE, LevelWindow::FILTER_ID);
    }
    else
    {
        const Image2D::DataType type = image->getDataType();
        // The working image is the processor's own (a copy or the resized image), so
        // level/window is written over it rather than into one more full-size image.
        if (image.use_count() == 1)
        {
            if (!levelWindowInPlace(*image, LEVEL_PARAMETER(*this), WINDOW_PARAMETER(*this)))
                image.reset();
        }
        else
            image = levelWindow(*image, LEVEL_PARAMETER(*this), WINDOW_PARAMETER(*this));
        if (!image)
            fail(LevelWindowTypes::contains(type) ? FailureReason::Failed : FailureReason::UnsupportedType,
                 INPUT_IMAGE, LevelWindow::FILTER_ID);
    }
    if (stoppedAt(cancel, LevelWindow::FILTER_ID) || !image)
        return nullptr;

    const QStringList& order = filterOrder();
    for (qsizetype i = 1; i < order.size(); ++i)
    {
        const QString& id = order[i];
        if (m_filterSet.isFilterActive(id))
            if (std::unique_ptr<Algorithm> filter = createFilter(id, image, m_filterSet.getFilterParameters(id)))
                image = runFilter(id, *filter, image, cancel);
        if (stoppedAt(cancel, id) || !image)
            return nullptr;
    }
    return image;
}

std::shared_ptr<Image2D> FilterSetProcessor::runFilter(const QString& id, Algorithm& filter,
                                                       const std::shared_ptr<Image2D>& image,
                                                       const std::atomic<bool>& cancel) const
{
    // The factory's object holds the filter's parameters: validated there, with the filter's
    // own warnings, and read by the filter's core.
    filter.setSharedInput(INPUT_IMAGE, image);
    if (!filter.isInputValid())
    {
        const FailureReason& reason = filter.lastFailure();
        fail(reason ? reason.kind : FailureReason::Invalid, reason.key, id);
        return nullptr;
    }
    std::shared_ptr<Image2D> result = filterStep(id)(filter, image, cancel);
    if (!result && !cancel.load())
        fail(FailureReason::Failed, {}, id);
    return result;
}

} // namespace image2d
