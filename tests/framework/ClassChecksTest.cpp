// The classes' own checks beyond their declared parameters, over the shared catalogue: a valid
// object of an entry, changed into a configuration the class rejects, fails with exactly the
// class's warnings and publishes nothing.
#include "support/AlgorithmCatalog.h"
#include "support/WarningCapture.h"

#include "image2d/analysis/DistanceTransform.h"
#include "image2d/analysis/Labeling.h"
#include "image2d/analysis/Ridges.h"
#include "image2d/analysis/TeethRidges.h"
#include "image2d/enhancement/AutoContrast.h"
#include "image2d/framework/Core.h"
#include "image2d/pipeline/FilterSetProcessor.h"
#include "image2d/pointops/ImageArithmetic.h"
#include "image2d/pointops/IntensityMapping.h"
#include "image2d/toolbox/Geometry.h"

#include <gtest/gtest.h>

#include <QPoint>

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>
#include <string>

using namespace image2d;
using namespace testing_support;

namespace {

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
    std::unique_ptr<Algorithm> algorithm = entry->make(catalogInput(entry->types.front()));
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
