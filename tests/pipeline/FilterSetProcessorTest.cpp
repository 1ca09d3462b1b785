#include "image2d/enhancement/AutoContrast.h"
#include "image2d/enhancement/HistogramEqualization.h"
#include "image2d/enhancement/Navrel.h"
#include "image2d/enhancement/SharpenOrvane.h"
#include "image2d/enhancement/StarkAdaptiveHistogramEqualization.h"
#include "image2d/enhancement/UnsharpMasking.h"
#include "image2d/filtering/Smoothing.h"
#include "image2d/pipeline/FilterSetProcessor.h"
#include "image2d/pipeline/ImageFilterConversion.h"
#include "image2d/pointops/IntensityMapping.h"
#include "image2d/toolbox/Image2DOperations.h"
#include "platform/documentmodel/ImageFilter.h"
#include "support/ImageCompare.h"
#include "support/TestImages.h"
#include "support/WarningCapture.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace image2d;
using dataobject::ImageFilterElementType;
using dataobject::ImageFilterModality;
using namespace testing_support;

namespace {

// A 16-bit radiograph-like test image: smooth structure plus noise, 12-bit values.
Image2D radiograph(int width, int height)
{
    Image2D noise = testing_support::randomImage(width, height, Image2D::UNSIGNED_SHORT, 99, 0, 200);
    Image2D image(width, height, Image2D::UNSIGNED_SHORT, QVector3D(0.1f, 0.1f, 1.0f));
    auto* p = image.getData<std::uint16_t>();
    const auto* n = noise.getConstData<std::uint16_t>();
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
        {
            const double dx = (x - width * 0.4) / (width * 0.2), dy = (y - height * 0.6) / (height * 0.25);
            const double v = 700 + 8.0 * y + 2500 * std::exp(-(dx * dx + dy * dy));
            const std::size_t i = static_cast<std::size_t>(y) * width + x;
            p[i] = static_cast<std::uint16_t>(std::min(4095.0, v + n[i]));
        }
    image.editFinished();
    return image;
}

std::shared_ptr<Image2D> run(Algorithm& algorithm, std::shared_ptr<Image2D> input)
{
    algorithm.setSharedInput(Algorithm::INPUT_IMAGE, std::move(input));
    algorithm.execute(image2d::neverCancelled());
    return algorithm.getSharedOutput(Algorithm::OUTPUT_IMAGE);
}

// The processor's first steps done by hand: copy, resize to `target` (already oriented),
// transform, level/window.
std::shared_ptr<Image2D> front(const Image2D& image, const QSize& target, const QTransform& transform, double level,
                               double window)
{
    auto working = std::make_shared<Image2D>(image);
    if (target.isValid() && !target.isNull())
        working.reset(Image2DOperations::createResizedImageSmooth(working.get(), target, image2d::neverCancelled()));
    if (transform.type() != QTransform::TxNone)
        Image2DOperations::transform(working.get(), transform, image2d::neverCancelled());
    return LevelWindow::executeLevelWindow(working, level, window, image2d::neverCancelled());
}

Uniforms parameters(std::initializer_list<std::pair<const char*, QVariant>> values)
{
    Uniforms u;
    for (const auto& [key, value] : values)
        u.setUniformValue(QString::fromLatin1(key), value);
    return u;
}

const QTransform kRotate90(0, 1, -1, 0, 0, 0);

} // namespace

// ---------------------------------------------------------------------------------------
// The whole display road, against the same steps run one by one.

struct RoadCase
{
    ImageFilterModality modality;
    const char* sharpenId;    // the filter the modality's sharpen element becomes
    float equalizationRadius; // the relative kernel radius of the modality
};

using DisplayRoad = ::testing::TestWithParam<RoadCase>;

TEST_P(DisplayRoad, EqualsTheStepsRunOneByOne)
{
    const RoadCase c = GetParam();
    const Image2D image = radiograph(160, 120);
    const QTransform transform = kRotate90;

    // 2. Level and window for the media type.
    const data::LevelWindow lw = dataObjectFunctions::computeAutoContrast(image, MediaType::Panoramic);
    ASSERT_GT(lw.getWindow(), 0);

    // 3. Filter set from the host's description; the display is given in the image's orientation.
    dataobject::ImageFilter filter(c.modality);
    filter.setElement(ImageFilterElementType::Gamma, 1.4f);
    filter.setElement(ImageFilterElementType::Sharpen, 2.3f);
    filter.setElement(ImageFilterElementType::Denoise, 1.5f);
    filter.setElement(ImageFilterElementType::HistogramEqualization, 0.6f);
    filter.setElement(ImageFilterElementType::Invert);
    const QSize display(140, 100);
    FilterSet set = conversions::toFilterSet(&filter, image.getSize(), image.getPixelSize(), display);
    ASSERT_TRUE(set.isFilterActive(c.sharpenId));
    // Stark is not produced by the host's elements; added by hand it runs between sharpening and denoising.
    set.addFilter("Stark", parameters({{"alphaValue", 0.5}, {"betaValue", 0.3}, {"radiusValue", 3}}));

    // 4. Cache key.
    const QString key = generateHashForFilteredImage(
        "img", &filter, transform,
        math::Range<float>(lw.getLevel() - lw.getWindow() / 2.0f, lw.getLevel() + lw.getWindow() / 2.0f));
    EXPECT_EQ(key, QStringLiteral("img_%1_%2[0,1,0;-1,0,0;0,0,1]_Gamma_1.4_Sharpen_2.3_Denoise_1.5_"
                                  "HistogramEqualization_0.6_Invert")
                       .arg(lw.getLevel())
                       .arg(lw.getWindow()));

    // 5. The processor; the target 100 x 140 is turned to the landscape input: 140 x 100.
    const auto result = FilterSetProcessor::executeProcessor(&image, set, transform, lw.getLevel(), lw.getWindow(),
                                                             image2d::neverCancelled(), QSize(100, 140));
    ASSERT_TRUE(result);

    // The same road by hand, with the parameters spelled out.
    std::shared_ptr<Image2D> expected = front(image, QSize(140, 100), transform, lw.getLevel(), lw.getWindow());
    ASSERT_TRUE(expected);
    EXPECT_EQ(expected->getSize(), QSize(100, 140));
    expected = Invert::executeInvert(*expected, false);
    expected = HistogramEqualization::executeHieq(expected.get(), 0.6f, c.equalizationRadius, 0.75f);
    const Uniforms sharpen = set.getFilterParameters(c.sharpenId);
    const int radius = sharpen.getUniformIntValue("kernelRadiusImage").value_or(-1);
    if (c.modality == ImageFilterModality::IntraoralSensor)
    {
        Navrel navrel;
        navrel.setUniformValue(Navrel::KERNEL_RADIUS, radius);
        navrel.setUniformValue(Navrel::SHARPNESS_FACTOR, 2.3f);
        navrel.setUniformValue(Navrel::MEDIAN_RADIUS, 1);
        navrel.setUniformValue(Navrel::BLACK_VALUE, 0.0f);
        navrel.setUniformValue(Navrel::WHITE_VALUE, 65535.0f);
        expected = run(navrel, expected);
    }
    else if (c.modality == ImageFilterModality::IntraoralPhosphorPlate)
        expected = LocalAlphaConstrainedUnsharpMasking::executeLocalAlphaConstrainedUnsharpMasking(
            expected.get(), radius, 3, 2.3f, 0.6f, 35.0, 0.0714);
    else if (c.modality == ImageFilterModality::Unknown)
        expected = SharpenOrvane::executeSharpen(expected.get(), static_cast<SharpenOrvane::KernelType>(1));
    else
        expected = Sharpen::executeSharpen(expected.get(), radius, 2.3f);
    ASSERT_TRUE(expected);
    expected = StarkAdaptiveHistogramEqualization::executeStadHieq(expected.get(), 0.5, 0.3, 3);
    Denoise denoise;
    denoise.setUniformValue(Denoise::KERNEL_STD,
                            set.getFilterParameters("Denoise").getUniformValue("kernelStdDenoise"));
    denoise.setUniformValue(Denoise::KERNEL_RADIUS,
                            set.getFilterParameters("Denoise").getUniformValue("kernelRadiusDenoise"));
    expected = run(denoise, expected);
    GammaCorrection gamma;
    gamma.setUniformValue(GammaCorrection::GAMMA_VALUE, 1.4f);
    expected = run(gamma, expected);
    ASSERT_TRUE(expected);
    EXPECT_TRUE(imagesEqual(*expected, *result));
}

INSTANTIATE_TEST_SUITE_P(Modalities, DisplayRoad,
                         ::testing::Values(RoadCase{ImageFilterModality::Panoramic, "Sharpen", 0.07f},
                                           RoadCase{ImageFilterModality::IntraoralSensor, "Navrel", 0.07f},
                                           RoadCase{ImageFilterModality::IntraoralPhosphorPlate,
                                                    "LocalAlphaConstrainedUnsharpMasking", 0.2f},
                                           RoadCase{ImageFilterModality::Unknown, "SharpenOrvane", 0.2f}));

// ---------------------------------------------------------------------------------------
// Properties of the processor.

TEST(FilterSetProcessor, CancelledRunPublishesNothing)
{
    const Image2D image = radiograph(64, 48);
    FilterSet set;
    set.addFilter("Invert", Uniforms());
    const std::atomic<bool> cancelled{true};
    WarningCapture warnings;
    EXPECT_FALSE(FilterSetProcessor::executeProcessor(&image, set, kRotate90, 1500, 2000, cancelled, QSize(32, 24)));
    EXPECT_FALSE(
        FilterSetProcessor::executeProcessor(&image, FilterSet(), QTransform(), 1500, 2000, cancelled, QSize()));

    FilterSetProcessor processor(set, QTransform());
    processor.setInput(Algorithm::INPUT_IMAGE, &image);
    processor.setUniformValue(FilterSetProcessor::LEVEL, 1500);
    processor.setUniformValue(FilterSetProcessor::WINDOW, 2000);
    EXPECT_FALSE(processor.execute(cancelled));
    EXPECT_FALSE(processor.getSharedOutput(Algorithm::OUTPUT_IMAGE));
    EXPECT_TRUE(warnings.messages().isEmpty());
}

namespace {

// Raises a cancellation flag when the library logs a warning: a way to cancel a run at a
// known point of the chain.
std::atomic<bool>* g_cancelOnWarning = nullptr;

void cancelOnWarning(QtMsgType type, const QMessageLogContext&, const QString&)
{
    if (type == QtWarningMsg && g_cancelOnWarning)
        g_cancelOnWarning->store(true);
}

} // namespace

TEST(FilterSetProcessor, CancelledInsideTheChainPublishesNothing)
{
    // Denoise with a kernel wider than the image warns and passes the image on; the warning
    // raises the flag, so the check after Denoise ends the run before Gamma.
    const Image2D image = radiograph(8, 6);
    FilterSet set;
    set.addFilter("Denoise", parameters({{"kernelStdDenoise", 2.0f}, {"kernelRadiusDenoise", 4}}));
    set.addFilter("Gamma", parameters({{"GammaValue", 2.0f}}));

    std::atomic<bool> cancel{false};
    g_cancelOnWarning = &cancel;
    const QtMessageHandler previous = qInstallMessageHandler(cancelOnWarning);
    FilterSetProcessor processor(set, QTransform());
    processor.setInput(Algorithm::INPUT_IMAGE, &image);
    processor.setUniformValue(FilterSetProcessor::LEVEL, 1500);
    processor.setUniformValue(FilterSetProcessor::WINDOW, 2000);
    const bool ok = processor.execute(cancel);
    qInstallMessageHandler(previous);
    g_cancelOnWarning = nullptr;

    EXPECT_TRUE(cancel.load());
    EXPECT_FALSE(ok);
    EXPECT_FALSE(processor.getSharedOutput(Algorithm::OUTPUT_IMAGE));

    // The same run without the flag succeeds.
    WarningCapture warnings;
    EXPECT_TRUE(FilterSetProcessor::executeProcessor(&image, set, QTransform(), 1500, 2000, image2d::neverCancelled(), QSize()));
    EXPECT_EQ(warnings.messages(), QStringList{"Denoise filter: invalid kernel size or sigma, not applying denoise."});
}

TEST(FilterSetProcessor, ResizeTargetTakesTheInputsOrientation)
{
    struct Case
    {
        QSize input, target, expected;
    };
    const Case cases[] = {
        {{30, 40}, {80, 60}, {60, 80}}, // portrait input, landscape target: swapped
        {{30, 40}, {60, 80}, {60, 80}}, {{30, 40}, {50, 50}, {50, 50}},
        {{40, 30}, {60, 80}, {80, 60}},                                 // landscape input, portrait target: swapped
        {{40, 30}, {80, 60}, {80, 60}}, {{30, 30}, {60, 80}, {80, 60}}, // square counts as landscape
        {{40, 30}, {20, 10}, {20, 10}},                                 // shrinking
        {{40, 30}, {0, 0}, {40, 30}},                                   // null: no resize
        {{40, 30}, {-1, 5}, {40, 30}},                                  // invalid: no resize
    };
    for (const Case& c : cases)
    {
        const Image2D image =
            testing_support::randomImage(c.input.width(), c.input.height(), Image2D::UNSIGNED_SHORT, 3, 0, 4000);
        const auto result =
            FilterSetProcessor::executeProcessor(&image, FilterSet(), QTransform(), 2000, 4000, image2d::neverCancelled(), c.target);
        ASSERT_TRUE(result);
        EXPECT_EQ(result->getSize(), c.expected)
            << c.input.width() << "x" << c.input.height() << " to " << c.target.width() << "x" << c.target.height();
        EXPECT_TRUE(imagesEqual(*front(image, c.expected == c.input ? QSize() : c.expected, QTransform(), 2000, 4000),
                                *result));
    }
}

// The run fails with the filter's own warning only, and the reason names the step.
TEST(FilterSetProcessor, FailingStepFailsTheRunAndIsNamedInTheReason)
{
    FilterSet set;
    set.addFilter("Invert", Uniforms());
    set.addFilter("Gamma", parameters({{"GammaValue", -1.0f}}));
    FilterSetProcessor processor(set, QTransform());
    processor.setSharedInput(Algorithm::INPUT_IMAGE, std::make_shared<Image2D>(radiograph(32, 24)));
    processor.setUniformValue(FilterSetProcessor::LEVEL, 1500);
    processor.setUniformValue(FilterSetProcessor::WINDOW, 2000);
    WarningCapture warnings;
    EXPECT_FALSE(processor.execute(image2d::neverCancelled()));
    EXPECT_EQ(warnings.messages(), QStringList{"image2d::GammaCorrection : value out of range:  \"GammaValue\""});
    EXPECT_EQ(processor.lastFailure().describe(), "value out of range \"GammaValue\" in Gamma");

    // Level/window is the first step; a cancelled run names the step it stopped before.
    processor.setSharedInput(Algorithm::INPUT_IMAGE, std::make_shared<Image2D>(4, 4, Image2D::INT));
    EXPECT_FALSE(processor.execute(image2d::neverCancelled()));
    EXPECT_EQ(processor.lastFailure().describe(), "pixel type not supported \"inputImage\" in LevelWindow");
    const std::atomic<bool> cancelled{true};
    EXPECT_FALSE(processor.execute(cancelled));
    EXPECT_EQ(processor.lastFailure().describe(), "cancelled in resize");
}

// ---------------------------------------------------------------------------------------
// The filter factory.

namespace {

std::shared_ptr<Image2D> factoryImage()
{
    return std::make_shared<Image2D>(makeImage(2, 2, Image2D::FLOAT, {-0.25, 0.5, 0.75, 1.5}));
}

} // namespace

TEST(FilterFactory, SkipRulesUseQVariantEquality)
{
    const auto image = factoryImage();
    struct Case
    {
        const char* id;
        Uniforms parameters;
        bool yields;
    };
    const Case cases[] = {
        {"Navrel", parameters({{"sharpnessFactorImage", 0.0f}}), false},
        {"Navrel", parameters({{"sharpnessFactorImage", 0}}), false}, // an int 0 compares equal too
        {"Navrel", parameters({{"sharpnessFactorImage", 0.5f}}), true},
        {"Navrel", Uniforms(), true}, // absent is not equal to 0
        {"Sharpen", parameters({{"sharpnessFactorImage", 0.0}}), false},
        {"Sharpen", parameters({{"sharpnessFactorImage", 0.01f}}), true},
        {"LocalAlphaConstrainedUnsharpMasking", parameters({{"sharpnessFactorImage", 0.0f}}), false},
        {"LocalAlphaConstrainedUnsharpMasking", Uniforms(), true},
        {"HistogramEqualization", parameters({{"balance", 0.0f}}), false},
        {"HistogramEqualization", parameters({{"balance", 0.2f}}), true},
        {"Stark", parameters({{"alphaValue", 1.0f}, {"betaValue", 1.0f}}), false},
        {"Stark", parameters({{"alphaValue", 1.0f}, {"betaValue", 0.5f}}), true},
        {"Stark", parameters({{"alphaValue", 0.5f}, {"betaValue", 1.0f}}), true},
        {"Stark", parameters({{"alphaValue", 1.0f}}), true},
        {"Invert", Uniforms(), true},
        {"Gamma", Uniforms(), true},
        {"Denoise", Uniforms(), true},
        {"SharpenOrvane", Uniforms(), true},
        {"ConstrainedUnsharpMasking", parameters({{"sharpnessFactorImage", 1.0f}}), false},
        {"LevelWindow", Uniforms(), false},
        {"NoSuchFilter", Uniforms(), false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(static_cast<bool>(FilterSetProcessor::createFilter(c.id, image, c.parameters)), c.yields)
            << c.id << " " << qPrintable(QVariant(c.parameters.getUniforms()).toString());
}

TEST(FilterFactory, ForcedValuesOverrideTheSet)
{
    const auto image = factoryImage(); // FLOAT: value bounds are the pixel minimum and maximum

    const auto navrel = FilterSetProcessor::createFilter("Navrel", image,
                                                         parameters({{"sharpnessFactorImage", 1.5f},
                                                                     {"kernelRadiusImage", 4},
                                                                     {"medianRadiusImage", 7},
                                                                     {"blackValueImage", 100.0f},
                                                                     {"whiteValueImage", 200.0f}}));
    ASSERT_TRUE(navrel);
    EXPECT_EQ(navrel->getUniformValue("medianRadiusImage"), QVariant(1));
    EXPECT_EQ(navrel->getUniformValue("medianRadiusImage").typeId(), QMetaType::Int);
    EXPECT_EQ(navrel->getUniformValue("blackValueImage").toFloat(), -0.25f);
    EXPECT_EQ(navrel->getUniformValue("whiteValueImage").toFloat(), 1.5f);
    EXPECT_EQ(navrel->getUniformValue("sharpnessFactorImage"), QVariant(1.5f));
    EXPECT_EQ(navrel->getUniformValue("kernelRadiusImage"), QVariant(4));

    const auto hieqDefault = FilterSetProcessor::createFilter("HistogramEqualization", image,
                                                              parameters({{"balance", 0.4f}, {"kernelOverlap", 0.1f}}));
    ASSERT_TRUE(hieqDefault);
    EXPECT_EQ(hieqDefault->getUniformValue("kernelRadius"), QVariant(0.032f));
    EXPECT_EQ(hieqDefault->getUniformValue("kernelRadius").typeId(), QMetaType::Float);
    EXPECT_EQ(hieqDefault->getUniformValue("kernelOverlap"), QVariant(0.75f));
    EXPECT_EQ(hieqDefault->getUniformValue("kernelOverlap").typeId(), QMetaType::Float);
    const auto hieqGiven = FilterSetProcessor::createFilter("HistogramEqualization", image,
                                                            parameters({{"balance", 0.4f}, {"kernelRadius", 0.3f}}));
    ASSERT_TRUE(hieqGiven);
    EXPECT_EQ(hieqGiven->getUniformValue("kernelRadius"), QVariant(0.3f));
    EXPECT_EQ(hieqGiven->getUniformValue("kernelOverlap"), QVariant(0.75f));

    const auto localAlpha = FilterSetProcessor::createFilter("LocalAlphaConstrainedUnsharpMasking", image,
                                                             parameters({{"sharpnessFactorImage", 1.0f},
                                                                         {"kernelRadiusImage", 2},
                                                                         {"minMaxKernelRadiusImage", 9},
                                                                         {"Slope", 1.0},
                                                                         {"Center", 0.5}}));
    ASSERT_TRUE(localAlpha);
    EXPECT_EQ(localAlpha->getUniformValue("minMaxKernelRadiusImage"), QVariant(3));
    EXPECT_EQ(localAlpha->getUniformValue("interpolationBetweenConstrainedAndUnconstrainedSharpen").typeId(),
              QMetaType::Double);
    EXPECT_EQ(localAlpha->getUniformValue("interpolationBetweenConstrainedAndUnconstrainedSharpen").toDouble(), 0.6);
    EXPECT_EQ(localAlpha->getUniformValue("Slope").toDouble(), 35.0);
    EXPECT_EQ(localAlpha->getUniformValue("Center").toDouble(), 0.0714);
    EXPECT_EQ(localAlpha->getUniformValue("kernelRadiusImage"), QVariant(2));

    // Invert never receives the set's parameters, so it never preserves the range.
    const auto invert = FilterSetProcessor::createFilter("Invert", image, parameters({{"PreserveRange", true}}));
    ASSERT_TRUE(invert);
    EXPECT_TRUE(invert->getUniforms().isEmpty());

    const auto gamma = FilterSetProcessor::createFilter("Gamma", image, parameters({{"GammaValue", 0.7f}, {"x", 1}}));
    ASSERT_TRUE(gamma);
    EXPECT_EQ(gamma->getUniforms(), parameters({{"GammaValue", 0.7f}, {"x", 1}}).getUniforms());
}
