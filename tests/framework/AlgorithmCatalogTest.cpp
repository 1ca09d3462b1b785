// What every algorithm class shares, tested once over the catalogue of all of them: a valid
// configuration runs without a warning; every input image absent or not valid, and every
// declared parameter absent, unconvertible or outside its declared bounds, fails validation
// with the class's exact warnings and the reason recorded; one thread gives what all give.

#include "support/AlgorithmCatalog.h"
#include "support/ImageCompare.h"
#include "support/TestImages.h"
#include "support/WarningCapture.h"

#include "image2d/analysis/DistanceTransform.h"
#include "image2d/analysis/Labeling.h"
#include "image2d/analysis/Ridges.h"
#include "image2d/analysis/TeethRidges.h"
#include "image2d/analysis/ToothSegmentation.h"
#include "image2d/enhancement/AutoContrast.h"
#include "image2d/enhancement/HistogramEqualization.h"
#include "image2d/enhancement/Navrel.h"
#include "image2d/enhancement/SharpenOrvane.h"
#include "image2d/enhancement/StarkAdaptiveHistogramEqualization.h"
#include "image2d/enhancement/UnsharpMasking.h"
#include "image2d/filtering/Convolution.h"
#include "image2d/filtering/LocalStatistics.h"
#include "image2d/filtering/Smoothing.h"
#include "image2d/framework/Core.h"
#include "image2d/pipeline/FilterSetProcessor.h"
#include "image2d/pointops/ImageArithmetic.h"
#include "image2d/pointops/IntensityMapping.h"
#include "image2d/toolbox/Geometry.h"

#include <gtest/gtest.h>
#include <tbb/task_arena.h>

#include <QPoint>
#include <QRegularExpression>

#include <algorithm>
#include <chrono>
#include <thread>
#include <cmath>
#include <functional>
#include <limits>
#include <string>

using namespace image2d;
using namespace testing_support;

namespace {

// A small image of the type and a larger one for the thread tests.
std::shared_ptr<Image2D> inputFor(Image2D::DataType type, bool large = false, QSize size = {})
{
    if (!size.isValid())
        size = large ? QSize(173, 131) : QSize(9, 7);
    return catalogInput(type, size, large ? 7u : 3u);
}

std::string identifier(QString text)
{
    text.replace(QRegularExpression(QStringLiteral("[^A-Za-z0-9]")), QStringLiteral("_"));
    return text.toStdString();
}

// ---- Validation --------------------------------------------------------------------------

struct ValidationCase
{
    const AlgorithmEntry* entry;
    QString key;
    FailureReason::Kind kind;
    bool image;     // an image slot rather than a parameter
    QVariant value; // the stored value; invalid: the key removed
    std::string name;
    friend void PrintTo(const ValidationCase& c, std::ostream* os) { *os << c.name; }
};

// Values outside a parameter's bounds, stored as the type it is read as.
QList<QVariant> outOfBounds(const ParameterInfo& parameter)
{
    const Bounds& b = parameter.bounds();
    const ValueKind kind = parameter.readAs();
    auto stored = [kind](double v) -> QVariant {
        switch (kind)
        {
        case ValueKind::Int: return static_cast<int>(v);
        case ValueKind::UInt: return static_cast<unsigned int>(v);
        case ValueKind::Float: return static_cast<float>(v);
        default: return v;
        }
    };
    const bool real = kind == ValueKind::Float || kind == ValueKind::Double;
    QList<QVariant> values;
    if (kind != ValueKind::Int && kind != ValueKind::UInt && kind != ValueKind::Float && kind != ValueKind::Double)
        return values;
    if (real && !b.allowNaN)
        values.append(stored(std::numeric_limits<double>::quiet_NaN()));
    if (real && b.finite)
        values.append(stored(std::numeric_limits<double>::infinity()));
    if (std::isfinite(b.low) && (kind != ValueKind::UInt || b.low >= 1))
        values.append(stored(b.lowOpen ? b.low : b.low - 1));
    if (std::isfinite(b.high))
        values.append(stored(b.highOpen ? b.high : b.high + 1));
    return values;
}

// A value that does not convert as the parameter is checked. Integers get a text that a
// float would take, so a float checked as an integer shows which conversion is used.
QVariant unconvertible(const ParameterInfo& parameter)
{
    switch (parameter.checkedAs())
    {
    case ValueKind::Int:
    case ValueKind::UInt: return QStringLiteral("1.5");
    case ValueKind::Bool: return 1;
    case ValueKind::Text: return QPoint(1, 2);
    case ValueKind::Variant: return {};
    default: return QStringLiteral("wide");
    }
}

std::vector<ValidationCase> validationCases()
{
    std::vector<ValidationCase> cases;
    for (const AlgorithmEntry& entry : algorithmCatalog())
    {
        auto add = [&](const QString& key, FailureReason::Kind kind, bool image, QVariant value, const char* what) {
            cases.push_back({&entry, key, kind, image, std::move(value),
                             identifier(QStringLiteral("%1_%2_%3").arg(entry.name, key, what))});
        };
        for (const QString& slot : entry.imageSlots)
        {
            add(slot, FailureReason::Missing, true, {}, "absent");
            if (entry.checksValidity)
                add(slot, FailureReason::Invalid, true, QVariant(true), "notValid");
        }
        for (const ParameterInfo* parameter : entry.parameters)
        {
            if (!parameter->validated())
                continue;
            if (parameter->required())
                add(parameter->key(), FailureReason::Missing, false, {}, "absent");
            if (const QVariant value = unconvertible(*parameter); value.isValid())
                add(parameter->key(), FailureReason::Invalid, false, value, "unconvertible");
            int n = 0;
            for (const QVariant& value : outOfBounds(*parameter))
                add(parameter->key(), FailureReason::OutOfRange, false, value,
                    ("outOfBounds" + std::to_string(n++)).c_str());
        }
    }
    return cases;
}

using DeclaredValidation = ::testing::TestWithParam<ValidationCase>;

TEST_P(DeclaredValidation, FailsWithTheClassWarningsAndRecordsTheReason)
{
    const ValidationCase& c = GetParam();
    const AlgorithmEntry& entry = *c.entry;
    std::unique_ptr<Algorithm> algorithm = entry.make(inputFor(entry.types.front()));
    if (c.image)
        algorithm->setSharedInput(c.key, c.value.isValid() ? std::make_shared<Image2D>() : nullptr);
    else if (c.value.isValid())
        algorithm->setUniformValue(c.key, c.value);
    else
    {
        QHash<QString, QVariant> parameters = algorithm->getUniforms();
        parameters.remove(c.key);
        algorithm->setUniforms(parameters);
    }
    testing_support::WarningCapture warnings;
    EXPECT_FALSE(algorithm->execute(neverCancelled()));
    EXPECT_EQ(warnings.messages(), testing_support::expectedWarnings(entry, c.key, c.kind));
    EXPECT_EQ(algorithm->lastFailure().kind, c.kind);
    EXPECT_EQ(algorithm->lastFailure().key, c.key);
}

INSTANTIATE_TEST_SUITE_P(AllAlgorithms, DeclaredValidation, ::testing::ValuesIn(validationCases()),
                         [](const auto& info) { return info.param.name; });

// The declarations are listed in validation order: with every parameter gone, the first
// required one is reported, and only it.
TEST(DeclaredValidation, StopsAtTheFirstParameterInDeclarationOrder)
{
    for (const AlgorithmEntry& entry : algorithmCatalog())
    {
        const auto first = std::find_if(entry.parameters.begin(), entry.parameters.end(),
                                        [](const ParameterInfo* p) { return p->validated() && p->required(); });
        if (first == entry.parameters.end())
            continue;
        std::unique_ptr<Algorithm> algorithm = entry.make(inputFor(entry.types.front()));
        algorithm->setUniforms({});
        testing_support::WarningCapture warnings;
        EXPECT_FALSE(algorithm->execute(neverCancelled())) << entry.name;
        EXPECT_EQ(warnings.messages(), testing_support::expectedWarnings(entry, (*first)->key(), FailureReason::Missing))
            << entry.name;
    }
}

// ---- A valid configuration ----------------------------------------------------------------

using CatalogEntry = ::testing::TestWithParam<const AlgorithmEntry*>;

std::vector<const AlgorithmEntry*> entries(bool parallelOnly)
{
    std::vector<const AlgorithmEntry*> list;
    for (const AlgorithmEntry& entry : algorithmCatalog())
        if (!parallelOnly || entry.parallel)
            list.push_back(&entry);
    return list;
}

std::string entryName(const ::testing::TestParamInfo<const AlgorithmEntry*>& info)
{
    return info.param->name;
}

// ... leaves its input as it was and gives its outputs the input's pixel size.
TEST_P(CatalogEntry, ValidConfigurationRunsWithoutWarnings)
{
    const AlgorithmEntry& entry = *GetParam();
    for (Image2D::DataType type : entry.types)
    {
        const std::shared_ptr<Image2D> input = inputFor(type);
        const Image2D before = *input;
        std::unique_ptr<Algorithm> algorithm = entry.make(input);
        testing_support::WarningCapture warnings;
        EXPECT_TRUE(algorithm->execute(neverCancelled())) << type;
        EXPECT_EQ(warnings.messages(), QStringList{}) << type;
        EXPECT_FALSE(algorithm->lastFailure()) << type;
        EXPECT_TRUE(imagesEqual(before, *input)) << type;
        for (const QString& output : entry.outputs)
        {
            const std::shared_ptr<Image2D> result = algorithm->getSharedOutput(output);
            EXPECT_TRUE(hasPixels(result)) << qPrintable(output) << " " << type;
            if (result && entry.keepsPixelSize)
            {
                EXPECT_EQ(result->getPixelSize(), before.getPixelSize()) << qPrintable(output) << " " << type;
            }
        }
    }
}

TEST_P(CatalogEntry, UnsupportedPixelTypesWarnWithTheClassText)
{
    const AlgorithmEntry& entry = *GetParam();
    for (Image2D::DataType type : entry.unsupported)
    {
        std::unique_ptr<Algorithm> algorithm = entry.make(std::make_shared<Image2D>(9, 7, type));
        QString warning = entry.unsupportedWarning;
        warning = warning.contains(QLatin1String("%2")) ? warning.arg(Image2D::dataTypeString(type))
                                                         : warning.replace(QLatin1String("%1"), QString::number(type));
        testing_support::WarningCapture warnings;
        const bool ok = algorithm->execute(neverCancelled());
        EXPECT_EQ(ok, entry.unsupportedSucceeds) << type;
        EXPECT_EQ(warnings.messages(), QStringList{warning}) << type;
        if (!ok)
        {
            EXPECT_EQ(algorithm->lastFailure().kind, FailureReason::UnsupportedType) << type;
        }
        for (const QString& output : entry.outputs)
            EXPECT_FALSE(algorithm->getSharedOutput(output)) << qPrintable(output) << " " << type;
    }
}

// ---- Bad input that validation lets through ------------------------------------------------

// A run either succeeds with every output filled, or fails with a warning, the reason
// recorded and nothing published; the sanitizer builds catch what a test cannot see.
void expectCleanOutcome(const Algorithm& algorithm, bool ok, const AlgorithmEntry& entry,
                        const testing_support::WarningCapture& warnings, const std::string& what)
{
    EXPECT_EQ(ok, !algorithm.lastFailure()) << what;
    if (!ok)
    {
        EXPECT_FALSE(warnings.messages().isEmpty()) << what;
    }
    for (const QString& output : entry.outputs)
    {
        if (ok)
        {
            EXPECT_TRUE(hasPixels(algorithm.getSharedOutput(output))) << what << " " << qPrintable(output);
        }
        else
        {
            EXPECT_FALSE(algorithm.getSharedOutput(output)) << what << " " << qPrintable(output);
        }
    }
}

TEST_P(CatalogEntry, TinyThinAndNonFiniteImagesRunOrFailCleanly)
{
    const AlgorithmEntry& entry = *GetParam();
    const QSize sizes[] = {{1, 1}, {1, 23}, {23, 1}, {2, 2}};
    for (Image2D::DataType type : entry.types)
        for (const QSize& size : sizes)
        {
            std::unique_ptr<Algorithm> algorithm = entry.make(inputFor(type, false, size));
            testing_support::WarningCapture warnings;
            const bool ok = algorithm->execute(neverCancelled());
            expectCleanOutcome(*algorithm, ok, entry, warnings,
                               "type " + std::to_string(type) + " " + std::to_string(size.width()) + "x" +
                                   std::to_string(size.height()));
        }
    if (!entry.types.contains(Image2D::FLOAT))
        return;
    const std::shared_ptr<Image2D> input = inputFor(Image2D::FLOAT);
    const float special[] = {std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity(),
                             -std::numeric_limits<float>::infinity()};
    for (std::size_t i = 0; i < input->getNumPixels(); i += 4)
        input->getData<float>()[i] = special[i % 3];
    input->editFinished();
    std::unique_ptr<Algorithm> algorithm = entry.make(input);
    testing_support::WarningCapture warnings;
    expectCleanOutcome(*algorithm, algorithm->execute(neverCancelled()), entry, warnings, "NaN and infinities");
}

// Values inside the declared bounds but far beyond any image (radii, sizes, counts): no
// crash, no hang, no output that cannot be allocated.
TEST_P(CatalogEntry, HugeValuesInsideTheBoundsRunOrFailCleanly)
{
    const AlgorithmEntry& entry = *GetParam();
    for (const ParameterInfo* parameter : entry.parameters)
    {
        const ValueKind kind = parameter->readAs();
        QVariant huge;
        if (kind == ValueKind::Int)
            huge = std::numeric_limits<int>::max();
        else if (kind == ValueKind::UInt)
            huge = std::numeric_limits<unsigned int>::max();
        else if (kind == ValueKind::Float)
            huge = 1e30f;
        else if (kind == ValueKind::Double)
            huge = 1e300;
        if (!huge.isValid() || !parameter->bounds().contains(huge.toDouble()))
            continue;
        std::unique_ptr<Algorithm> algorithm = entry.make(inputFor(entry.types.front()));
        algorithm->setUniformValue(parameter->key(), huge);
        testing_support::WarningCapture warnings;
        const bool ok = algorithm->execute(neverCancelled());
        expectCleanOutcome(*algorithm, ok, entry, warnings, parameter->key().toStdString());
    }
}

// A cancellation set before the run, or while it runs, leaves nothing published by a run
// that reports failure, and is recorded as the reason.
TEST_P(CatalogEntry, CancellationBeforeOrDuringTheRunPublishesNothing)
{
    const AlgorithmEntry& entry = *GetParam();
    for (const bool during : {false, true})
    {
        std::unique_ptr<Algorithm> algorithm = entry.make(inputFor(entry.types.front(), during));
        std::atomic<bool> cancel{!during};
        testing_support::WarningCapture warnings;
        std::thread canceller([&] {
            if (during)
                std::this_thread::sleep_for(std::chrono::microseconds(200));
            cancel = true;
        });
        const bool ok = algorithm->execute(cancel);
        canceller.join();
        if (!during)
        {
            EXPECT_EQ(algorithm->lastFailure().kind, FailureReason::Cancelled);
        }
        // A class may report the cancelled run as done with an empty output.
        for (const QString& output : entry.outputs)
        {
            const std::shared_ptr<Image2D> published = algorithm->getSharedOutput(output);
            EXPECT_TRUE(ok ? !published || hasPixels(published) : !published) << during << qPrintable(output);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(AllAlgorithms, CatalogEntry, ::testing::ValuesIn(entries(false)), entryName);

// ---- Threads ------------------------------------------------------------------------------

using ParallelEntry = ::testing::TestWithParam<const AlgorithmEntry*>;

TEST_P(ParallelEntry, OneThreadGivesWhatAllThreadsGive)
{
    const AlgorithmEntry& entry = *GetParam();
    for (Image2D::DataType type : entry.types)
    {
        const std::shared_ptr<Image2D> input = inputFor(type, true);
        std::unique_ptr<Algorithm> all = entry.make(input);
        std::unique_ptr<Algorithm> one = entry.make(input);
        ASSERT_TRUE(all->execute(neverCancelled()));
        tbb::task_arena arena(1);
        arena.execute([&] { ASSERT_TRUE(one->execute(neverCancelled())); });
        for (const QString& output : entry.outputs)
            EXPECT_TRUE(testing_support::imagesEqual(*all->getSharedOutput(output), *one->getSharedOutput(output)))
                << qPrintable(output) << " " << type;
    }
}

// As the host may: eight threads of its own at once, each running its own object of the
// class on one shared input, each run giving what a run alone gives.
TEST_P(ParallelEntry, EightHostThreadsAtOnceGiveWhatOneGives)
{
    const AlgorithmEntry& entry = *GetParam();
    const std::shared_ptr<Image2D> input = inputFor(entry.types.front(), true);
    std::unique_ptr<Algorithm> alone = entry.make(input);
    ASSERT_TRUE(alone->execute(neverCancelled()));
    std::vector<std::unique_ptr<Algorithm>> objects;
    for (int i = 0; i < 8; ++i)
        objects.push_back(entry.make(input));
    std::vector<char> ok(objects.size(), 0);
    std::vector<std::thread> threads;
    for (std::size_t i = 0; i < objects.size(); ++i)
        threads.emplace_back([&, i] { ok[i] = objects[i]->execute(neverCancelled()); });
    for (std::thread& thread : threads)
        thread.join();
    for (std::size_t i = 0; i < objects.size(); ++i)
    {
        ASSERT_TRUE(ok[i]) << i;
        for (const QString& output : entry.outputs)
            EXPECT_TRUE(testing_support::imagesEqual(*alone->getSharedOutput(output), *objects[i]->getSharedOutput(output)))
                << qPrintable(output) << " " << i;
    }
}

INSTANTIATE_TEST_SUITE_P(ParallelAlgorithms, ParallelEntry, ::testing::ValuesIn(entries(true)), entryName);

// ---- Keys ----------------------------------------------------------------------------------

// The slot, parameter and filter names are the host's interface: each text pinned once here.
TEST(Keys, TextsOfTheInterface)
{
    const std::pair<const QString*, const char*> keys[] = {
        {&Algorithm::INPUT_IMAGE, "inputImage"}, {&Algorithm::OUTPUT_IMAGE, "outputImage"},
        {&LevelWindow::LEVEL, "levelImage"}, {&LevelWindow::WINDOW, "windowImage"},
        {&LevelWindow::FILTER_ID, "LevelWindow"}, {&GammaCorrection::GAMMA_VALUE, "GammaValue"},
        {&GammaCorrection::FILTER_ID, "Gamma"}, {&Invert::PRESERVE_RANGE, "PreserveRange"},
        {&Invert::FILTER_ID, "Invert"}, {&ScaleColorValue::SCALAR, "scalar"}, {&BitShift::BITS_TO_SHIFT, "bitsToShift"},
        {&Threshold::THRESHOLD_VALUE, "thresholdValue"}, {&Threshold::THRESHOLD_OPERATOR, "thresholdOperator"},
        {&Mask::MASK_IMAGE, "maskImage"}, {&Mask::VALUE_FOR_MASKED_PIXELS, "valueForMaskedPixels"},
        {&Multiply::INPUT_A_IMAGE, "inputAImage"}, {&Multiply::INPUT_B_IMAGE, "inputBImage"},
        {&Difference::TAKE_DIFFERENCE_OF, "take_diff"}, {&SeparableFilter::OUTPUT_DATATYPE, "output_data_type"},
        {&AreaAverage::KERNEL_RADIUS, "radius"}, {&SubSummedAreaTable::KERNEL_RADIUS, "radius"},
        {&RecursiveMinMax::KERNEL_RADIUS, "kernelRadius"}, {&RecursiveMinMax::MIN_IMAGE, "minImage"},
        {&RecursiveMinMax::MAX_IMAGE, "maxImage"}, {&Median::RADIUS, "medianRadius"},
        {&Denoise::FILTER_ID, "Denoise"}, {&Denoise::KERNEL_STD, "kernelStdDenoise"},
        {&Denoise::KERNEL_RADIUS, "kernelRadiusDenoise"}, {&DifferenceOfGaussians::FIRST_SIGMA, "first_sigma"},
        {&DifferenceOfGaussians::SECOND_SIGMA, "second_sigma"}, {&DifferenceOfGaussians::RADIUS, "radius"},
        {&DifferenceOfGaussians::SCALE, "scale"}, {&Sharpen::FILTER_ID, "Sharpen"},
        {&Sharpen::KERNEL_RADIUS, "kernelRadiusImage"}, {&Sharpen::SHARPNESS_FACTOR, "sharpnessFactorImage"},
        {&ConstrainedUnsharpMasking::FILTER_ID, "ConstrainedUnsharpMasking"},
        {&ConstrainedUnsharpMasking::KERNEL_RADIUS, "kernelRadiusImage"},
        {&ConstrainedUnsharpMasking::MIN_MAX_KERNEL_RADIUS, "minMaxKernelRadiusImage"},
        {&ConstrainedUnsharpMasking::SHARPNESS_FACTOR, "sharpnessFactorImage"},
        {&ConstrainedUnsharpMasking::INTERPOLATION, "interpolationBetweenConstrainedAndUnconstrainedSharpen"},
        {&LocalAlphaConstrainedUnsharpMasking::FILTER_ID, "LocalAlphaConstrainedUnsharpMasking"},
        {&LocalAlphaConstrainedUnsharpMasking::SLOPE, "Slope"}, {&LocalAlphaConstrainedUnsharpMasking::CENTER, "Center"},
        {&Navrel::FILTER_ID, "Navrel"}, {&Navrel::MEDIAN_RADIUS, "medianRadiusImage"},
        {&Navrel::KERNEL_RADIUS, "kernelRadiusImage"}, {&Navrel::SHARPNESS_FACTOR, "sharpnessFactorImage"},
        {&Navrel::WHITE_VALUE, "whiteValueImage"}, {&Navrel::BLACK_VALUE, "blackValueImage"},
        {&SharpenOrvane::FILTER_ID, "SharpenOrvane"}, {&SharpenOrvane::KERNEL_TYPE, "kernelType"},
        {&HistogramEqualization::FILTER_ID, "HistogramEqualization"}, {&HistogramEqualization::BALANCE, "balance"},
        {&HistogramEqualization::KERNEL_RELATIVE_RADIUS, "kernelRadius"},
        {&HistogramEqualization::KERNEL_OVERLAP, "kernelOverlap"},
        {&StarkAdaptiveHistogramEqualization::FILTER_ID, "Stark"},
        {&StarkAdaptiveHistogramEqualization::ALPHA_VALUE, "alphaValue"},
        {&StarkAdaptiveHistogramEqualization::BETA_VALUE, "betaValue"},
        {&StarkAdaptiveHistogramEqualization::RADIUS_VALUE, "radiusValue"},
        {&AutoContrast::LOWER_FRACTION, "lowerFraction"}, {&AutoContrast::UPPER_FRACTION, "upperFraciton"},
        {&AutoContrast::LOW_BINS_TO_DISCARD, "lowBinsToDiscard"}, {&AutoContrast::WINDOW_MINIMUM, "windowMinimum"},
        {&AutoContrast::WINDOW_MAXIMUM, "windowMaximum"}, {&AutoContrast::WINDOW_CENTER, "windowCenter"},
        {&AutoContrast::WINDOW_RANGE, "windowRange"}, {&FilterSetProcessor::LEVEL, "level"},
        {&FilterSetProcessor::WINDOW, "window"}, {&FilterSetProcessor::SIZE, "resize"}, {&Crop::TOP_LEFT, "topLeft"},
        {&Crop::BOTTOM_RIGHT, "bottomRight"}, {&Border::BORDER_SIZE_X, "borderSizeX"},
        {&Border::BORDER_SIZE_Y, "borderSizeY"}, {&Border::INSERTED_VALUE, "insertedValue"},
        {&ToPolarCost::THRESHOLD, "threshold"}, {&ToPolarCost::UNDERTHRESHOLD_VALUE, "max"},
        {&ToPolarCost::ABOVETHRESHOLD_VALUE, "min"}, {&ToPolarCost::ORIGIN_X, "originX"},
        {&ToPolarCost::ORIGIN_Y, "originY"}, {&BinaryEdge::THRESHOLD_VALUE, "thresholdValue"},
        {&ToothSegmentation::BINEDGE_THRESHOLD_VALUE, "thresholdValue"},
        {&GradientOrientationAnalysis::INPUT_IMAGE1, "inputImage1"}, {&GradientOrientationAnalysis::INPUT_IMAGE2, "inputImage2"},
        {&GradientOrientationAnalysis::OUTPUT_IMAGE_CX, "outputImageCx"},
        {&GradientOrientationAnalysis::OUTPUT_IMAGE_CY, "outputImageCy"},
        {&GradientOrientationAnalysis::OUTPUT_IMAGE_SX, "outputImageSx"},
        {&GradientOrientationAnalysis::OUTPUT_IMAGE_SY, "outputImageSy"},
        {&GradientOrientationAnalysis::OUTPUT_RIDGES_AND_VALLEYS, "outputRidgesAndValleys"},
        {&FindRidges::RANGE_IMAGE, "rangeImage"}, {&FindRidges::RIDGES_VALLEYS_IMAGE, "ridgesValleysImage"},
        {&FindRidges::RIDGES_D1_IMAGE, "ridgesD1Image"}, {&FindRidges::RIDGES_D2_IMAGE, "ridgesD2Image"},
        {&FindRidges::RIDGES_IMAGE, "ridgesImage"}, {&TeethRidges::DILATION_RADIUS, "dilationRadius"},
        {&TeethRidges::PART_OF_LARGEST_REGION_TO_KEEP, "partOfLargestRegionToKeep"},
        {&FeaturePointImageProvider::FINAL_RIDGE_INPUT_IMAGE, "finalRidgeInputImage"},
        {&FeaturePointImageProvider::RANGE_IMAGE_INPUT_IMAGE, "rangeImageInputImage"},
        {&FeaturePointImageProvider::DILATION_RADIUS, "dilationRadius"},
        {&FeaturePointImageProvider::DILATED_FINAL_RIDGE_OUTPUT_IMAGE, "dilatedFinalRidgeOutputImage"},
        {&FeaturePointImageProvider::MASKED_RANGE_IMAGE_OUTPUT_IMAGE, "maskedRangeImageOutputImage"},
        {&GrowChamfer::LIMIT_IMAGE, "limitImage"}, {&GrowChamfer::ZONE_IMAGE, "zoneImage"},
        {&GrowChamfer::PENETRATION_DEPTH, "penetrationDepth"}, {&KeepLargestPart::REGION_COUNT, "regionCount"},
        {&KeepLargestPart::MINIMUM_SIZE, "minimumSize"},
    };
    for (const auto& [key, text] : keys)
        EXPECT_EQ(*key, QLatin1String(text));
}

} // namespace

