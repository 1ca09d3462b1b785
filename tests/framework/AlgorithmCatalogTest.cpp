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
#include <cmath>
#include <functional>
#include <limits>
#include <string>

using namespace image2d;
using namespace testing_support;

namespace {

// A small image of the type, every pixel different, and a larger one for the thread tests.
std::shared_ptr<Image2D> inputFor(Image2D::DataType type, bool large = false)
{
    const double high = type == Image2D::FLOAT ? 1.0 : 4000.0;
    auto image = std::make_shared<Image2D>(
        testing_support::randomImage(large ? 173 : 9, large ? 131 : 7, type, large ? 7u : 3u, 0.0, high));
    image->setPixelSize(QVector3D(0.1f, 0.2f, 1.0f));
    return image;
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

// ---- The classes' own checks ---------------------------------------------------------------

// A valid object of a catalogue entry, changed by `spoil` into a configuration the class
// rejects with its own check: the run fails with exactly `warnings` and publishes nothing.
struct Rejection
{
    const char* entry;
    const char* name;
    std::function<void(Algorithm&)> spoil;
    QStringList warnings;
};

using Spoil = std::function<void(Algorithm&)>;

Spoil withImage(const QString& slot, int width, int height, Image2D::DataType type)
{
    return [=](Algorithm& a) { a.setSharedInput(slot, std::make_shared<Image2D>(width, height, type)); };
}

Spoil withValues(std::initializer_list<std::pair<QString, QVariant>> values, Spoil first = {})
{
    const QList<std::pair<QString, QVariant>> list(values);
    return [=](Algorithm& a) {
        if (first)
            first(a);
        for (const auto& [key, value] : list)
            a.setUniformValue(key, value);
    };
}

Spoil withImages(Spoil first, Spoil second)
{
    return [=](Algorithm& a) {
        first(a);
        second(a);
    };
}

Spoil corners(QPoint topLeft, QPoint bottomRight)
{
    return withValues({{Crop::TOP_LEFT, topLeft}, {Crop::BOTTOM_RIGHT, bottomRight}});
}

// A 6 x 5 input of `type` with a frame of sizeX, sizeY and `value`.
Spoil frame(Image2D::DataType type, QVariant sizeX, QVariant sizeY, QVariant value)
{
    return withValues({{Border::BORDER_SIZE_X, sizeX}, {Border::BORDER_SIZE_Y, sizeY}, {Border::INSERTED_VALUE, value}},
                      withImage(Algorithm::INPUT_IMAGE, 6, 5, type));
}

const QString kCropOrder =
    QStringLiteral("image2d::Crop : invalid input:  \"top-left has to be smaller than and not equal to bottom-right\"");
const QString kCropTopLeft = QStringLiteral("image2d::Crop : invalid input:  \"topLeft\"");
const QString kCropBottomRight = QStringLiteral("image2d::Crop : invalid input:  \"bottomRight\"");
const QString kBadX = QStringLiteral("image2d::Border : invalid input:  \"borderSizeX\"");
const QString kBadValue = QStringLiteral("image2d::Border : invalid input:  \"insertedValue\"");
const QString kNotBinary = QStringLiteral("image2d::Mask : mask image is not a binary image.");
const QString kMaskSize = QStringLiteral("image2d::Mask : input image and mask image are not the same size.");
const QString kLayout = QStringLiteral("image2d::Multiply : invalid input: image sizes or data types do not match");
const QString kOrder =
    QStringLiteral("image2d::AutoContrast : invalid input: Lower fraction should be smaller than upper fraction.");
const QString kFractions =
    QStringLiteral("image2d::AutoContrast : invalid input: lower and upper fractions should be between 0 and 1.");
const QString kGradients = QStringLiteral(
    "image2d::GradientOrientationAnalysis : image2d::GradientOrientationAnalysis algorithm not supported for ");
const QString kShift = QStringLiteral("image2d::BitShift :  \"bitsToShift\"  param contains incorrect value  ");
const QString kBinning = QStringLiteral("image2d::Binning : invalid input:  \"inputImage\"");
const QString kWindow = QStringLiteral("image2d::FilterSetProcessor : invalid input:  \"window\"");
const QString kWindowText = QStringLiteral("Window value cannot be equal or smaller than 0");
constexpr int kIntMin = std::numeric_limits<int>::min(), kIntMax = std::numeric_limits<int>::max();
using G = GradientOrientationAnalysis;
using F = FeaturePointImageProvider;

// The catalogue's input is 9 x 7 (UNSIGNED_SHORT unless the entry says otherwise).
const Rejection kRejections[] = {
    {"Crop", "SameCorner", corners({3, 3}, {3, 3}), {kCropOrder}},
    {"Crop", "OneColumn", corners({3, 1}, {3, 5}), {kCropOrder}},
    {"Crop", "Reversed", corners({5, 5}, {1, 6}), {kCropOrder}},
    {"Crop", "LeftOfImage", corners({-1, 0}, {5, 5}), {kCropTopLeft}},
    {"Crop", "AboveImage", corners({0, -3}, {5, 5}), {kCropTopLeft}},
    {"Crop", "RightOfImage", corners({0, 0}, {9, 5}), {kCropBottomRight}},
    {"Crop", "BelowImage", corners({0, 0}, {8, 7}), {kCropBottomRight}},
    {"Crop", "FarApart", corners({kIntMin, 0}, {kIntMax, 5}), {kCropTopLeft}},
    // The inserted value must fit the pixel type; the frame must leave an inner region.
    {"Border", "UnsignedShortNegative", frame(Image2D::UNSIGNED_SHORT, 1, 1, -1), {kBadValue}},
    {"Border", "UnsignedShortTooLarge", frame(Image2D::UNSIGNED_SHORT, 1, 1, 65536), {kBadValue}},
    {"Border", "ShortTooSmall", frame(Image2D::SHORT, 1, 1, -32769), {kBadValue}},
    {"Border", "ShortTooLarge", frame(Image2D::SHORT, 1, 1, 32768), {kBadValue}},
    {"Border", "UnsignedCharTooLarge", frame(Image2D::UNSIGNED_CHAR, 1, 1, 256), {kBadValue}},
    {"Border", "UnsignedCharNegative", frame(Image2D::UNSIGNED_CHAR, 1, 1, -1), {kBadValue}},
    {"Border", "BinaryTwo", frame(Image2D::BINARY, 1, 1, 2), {kBadValue}},
    {"Border", "BinaryNegative", frame(Image2D::BINARY, 1, 1, -1), {kBadValue}},
    {"Border", "FloatTooLarge", frame(Image2D::FLOAT, 1, 1, 1e39), {kBadValue}},
    {"Border", "FloatNaN", frame(Image2D::FLOAT, 1, 1, std::nan("")), {kBadValue}},
    {"Border", "IntText", frame(Image2D::INT, 1, 1, QStringLiteral("x")), {kBadValue}},
    {"Border", "NoInnerColumns", frame(Image2D::SHORT, 3, 1, 0), {kBadX}},
    {"Border", "NegativeSizeWraps", frame(Image2D::SHORT, -1, 1, 0), {kBadX}},
    {"Border", "NoInnerRows", frame(Image2D::SHORT, 1, 3, 0), {QStringLiteral("image2d::Border : invalid input:  \"borderSizeY\"")}},
    // The mask's type is checked before its size.
    {"Mask", "MaskNotBinary", withImage(Mask::MASK_IMAGE, 9, 7, Image2D::UNSIGNED_CHAR), {kNotBinary}},
    {"Mask", "MaskNotBinaryNorOfTheSize", withImage(Mask::MASK_IMAGE, 10, 7, Image2D::UNSIGNED_CHAR), {kNotBinary}},
    {"Mask", "MaskWider", withImage(Mask::MASK_IMAGE, 10, 7, Image2D::BINARY), {kMaskSize}},
    {"Mask", "MaskLower", withImage(Mask::MASK_IMAGE, 9, 6, Image2D::BINARY), {kMaskSize}},
    // B must have A's layout: it is never read out of bounds or as another type.
    {"Multiply", "SmallerB", withImage(Multiply::INPUT_B_IMAGE, 1, 1, Image2D::UNSIGNED_SHORT), {kLayout}},
    {"Multiply", "BOfTheSameCountInOneRow", withImage(Multiply::INPUT_B_IMAGE, 63, 1, Image2D::UNSIGNED_SHORT), {kLayout}},
    {"Multiply", "BOfAnotherType", withImage(Multiply::INPUT_B_IMAGE, 9, 7, Image2D::UNSIGNED_CHAR), {kLayout}},
    {"Multiply", "BinaryB", withImage(Multiply::INPUT_B_IMAGE, 9, 7, Image2D::BINARY), {kLayout}},
    {"AutoContrast", "EqualFractions", withValues({{AutoContrast::LOWER_FRACTION, 0.5f}, {AutoContrast::UPPER_FRACTION, 0.5f}}), {kOrder}},
    {"AutoContrast", "ReversedFractions", withValues({{AutoContrast::LOWER_FRACTION, 0.6f}, {AutoContrast::UPPER_FRACTION, 0.5f}}), {kOrder}},
    {"AutoContrast", "NegativeLower", withValues({{AutoContrast::LOWER_FRACTION, -0.1f}, {AutoContrast::UPPER_FRACTION, 0.5f}}), {kFractions}},
    {"AutoContrast", "UpperAboveOne", withValues({{AutoContrast::LOWER_FRACTION, 0.1f}, {AutoContrast::UPPER_FRACTION, 1.5f}}), {kFractions}},
    {"AutoContrast", "NaNLower", withValues({{AutoContrast::LOWER_FRACTION, std::nanf("")}, {AutoContrast::UPPER_FRACTION, 0.5f}}), {kFractions}},
    {"AutoContrast", "NaNUpper", withValues({{AutoContrast::LOWER_FRACTION, 0.1f}, {AutoContrast::UPPER_FRACTION, std::nanf("")}}), {kFractions}},
    {"GradientOrientationAnalysis", "ImagesOfTwoSizes",
     withImages(withImage(G::INPUT_IMAGE1, 10, 8, Image2D::FLOAT), withImage(G::INPUT_IMAGE2, 10, 9, Image2D::FLOAT)),
     {kGradients + "different resolutions:  QSize(10, 8) incompatible with QSize(10, 9)"}},
    {"GradientOrientationAnalysis", "ImagesOfTwoTypes",
     withImages(withImage(G::INPUT_IMAGE1, 10, 8, Image2D::FLOAT), withImage(G::INPUT_IMAGE2, 10, 8, Image2D::SHORT)),
     {kGradients + "different data types:  5 incompatible with 1"}},
    {"FeaturePointImageProvider", "RangeImageOfAnotherSize", withImage(F::RANGE_IMAGE_INPUT_IMAGE, 9, 8, Image2D::FLOAT), {kMaskSize}},
    {"BitShift", "FullWidthOfSixteenBits", withValues({{BitShift::BITS_TO_SHIFT, 16u}}), {kShift + "16"}},
    {"BitShift", "FullWidthOfEightBits", withValues({{BitShift::BITS_TO_SHIFT, 8u}}, withImage(Algorithm::INPUT_IMAGE, 9, 7, Image2D::UNSIGNED_CHAR)),
     {kShift + "8"}},
    {"BitShift", "NegativeReadsAsHuge", withValues({{BitShift::BITS_TO_SHIFT, -1}}), {kShift + "4294967295"}},
    {"Binning", "NarrowerThanABlock", withImage(Algorithm::INPUT_IMAGE, 1, 4, Image2D::SHORT), {kBinning}},
    {"Binning", "LowerThanABlock", withImage(Algorithm::INPUT_IMAGE, 4, 1, Image2D::SHORT), {kBinning}},
    {"GrowChamfer", "ZoneOfAnotherSize", withImage(GrowChamfer::ZONE_IMAGE, 7, 9, Image2D::BINARY), {kMaskSize}},
    // A window of 0 or less gets the level/window's second warning too.
    {"FilterSetProcessor", "WindowZero", withValues({{FilterSetProcessor::WINDOW, 0.0}}), {kWindow, kWindowText}},
    {"FilterSetProcessor", "WindowNegative", withValues({{FilterSetProcessor::WINDOW, -5.5}}), {kWindow, kWindowText}},
    {"KeepLargestPart", "NeitherCountNorSize", [](Algorithm& a) { a.setUniforms({}); },
     {"image2d::KeepLargestPart : missing uniform value:  \"regionCount\"  or  \"minimumSize\"  must be defined."}},
    {"KeepLargestPart", "CountNotAnInt",
     withValues({{KeepLargestPart::REGION_COUNT, "two"}, {KeepLargestPart::MINIMUM_SIZE, 3}}),
     {"image2d::KeepLargestPart : invalid input:  \"regionCount\""}},
};

using ClassCheck = ::testing::TestWithParam<Rejection>;

TEST_P(ClassCheck, RejectsWithTheClassWarning)
{
    const Rejection& c = GetParam();
    const auto entry = std::find_if(algorithmCatalog().begin(), algorithmCatalog().end(),
                                    [&](const AlgorithmEntry& e) { return QLatin1String(e.name) == QLatin1String(c.entry); });
    ASSERT_NE(entry, algorithmCatalog().end());
    std::unique_ptr<Algorithm> algorithm = entry->make(inputFor(entry->types.front()));
    c.spoil(*algorithm);
    testing_support::WarningCapture warnings;
    EXPECT_FALSE(algorithm->execute(neverCancelled()));
    EXPECT_EQ(warnings.messages(), c.warnings);
    for (const QString& output : entry->outputs)
        EXPECT_FALSE(algorithm->getSharedOutput(output)) << qPrintable(output);
}

INSTANTIATE_TEST_SUITE_P(OwnChecks, ClassCheck, ::testing::ValuesIn(kRejections),
                         [](const auto& info) { return std::string(info.param.entry) + "_" + info.param.name; });

} // namespace

