#include "support/AlgorithmCatalog.h"

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
#include "image2d/filtering/Kernels.h"
#include "image2d/filtering/LocalStatistics.h"
#include "image2d/filtering/Smoothing.h"
#include "image2d/pipeline/FilterSetProcessor.h"
#include "image2d/pointops/ImageArithmetic.h"
#include "image2d/pointops/IntensityMapping.h"
#include "image2d/toolbox/Geometry.h"
#include "support/TestImages.h"

#include <QTransform>

namespace testing_support {

using namespace image2d;

namespace {

using Made = std::unique_ptr<Algorithm>;
using Input = const std::shared_ptr<Image2D>&;

// A new algorithm of class A holding `input` and the given parameters.
template <typename A, typename... Args>
std::unique_ptr<A> holding(Input input, std::initializer_list<std::pair<const QString&, QVariant>> parameters,
                           Args&&... args)
{
    auto algorithm = std::make_unique<A>(std::forward<Args>(args)...);
    algorithm->setSharedInput(Algorithm::INPUT_IMAGE, input);
    for (const auto& [key, value] : parameters)
        algorithm->setUniformValue(key, value);
    return algorithm;
}

// A BINARY image of the input's size, set on every other pixel.
std::shared_ptr<Image2D> checkerboard(const Image2D& like)
{
    auto image = std::make_shared<Image2D>(like.getSize(), Image2D::BINARY);
    std::uint8_t* p = image->getData<std::uint8_t>();
    for (std::size_t i = 0; i < image->getNumPixels(); ++i)
        p[i] = static_cast<std::uint8_t>(i % 2);
    return image;
}

const Kernel& sharedKernel()
{
    static const Gaussian kernel(2, 1.0f);
    return kernel;
}

const SeparableKernel& sharedSeparableKernel()
{
    static const SeparableGaussian kernel(3, 1.2f);
    return kernel;
}

QString usual(const char* owner, const char* what, const QString& key)
{
    return QStringLiteral("%1 : %2:  \"%3\"").arg(QLatin1String(owner), QLatin1String(what), key);
}

const QString kWindowWarning = QStringLiteral("Window value cannot be equal or smaller than 0");

void rejects(AlgorithmEntry& entry, QList<Image2D::DataType> types, const char* warning, bool succeeds = false)
{
    entry.unsupported = std::move(types);
    entry.unsupportedWarning = QString::fromLatin1(warning);
    entry.unsupportedSucceeds = succeeds;
}

const QList<Image2D::DataType> kRgba{Image2D::RGBA};
const QList<Image2D::DataType> kIntAndRgba{Image2D::INT, Image2D::RGBA};
const QList<Image2D::DataType> kBinaryIntAndRgba{Image2D::BINARY, Image2D::INT, Image2D::RGBA};

std::vector<AlgorithmEntry> makeCatalog()
{
    const QList<Image2D::DataType> integerAndFloat{Image2D::UNSIGNED_SHORT, Image2D::FLOAT};
    const QString hieqInvalid = QStringLiteral("image2d::HistogramEqualization : invalid input.");
    std::vector<AlgorithmEntry> catalog;

    // ---- Pixel-wise operations
    catalog.push_back({"LevelWindow",
                       [](Input in) -> Made {
                           return holding<LevelWindow>(in, {{LevelWindow::LEVEL, 1000.0}, {LevelWindow::WINDOW, 800.0}});
                       },
                       LevelWindow::parameters(), "image2d::LevelWindow"});
    catalog.back().ownWarnings[LevelWindow::WINDOW].outOfRange = {
        usual("image2d::LevelWindow", "invalid input", LevelWindow::WINDOW), kWindowWarning};
    rejects(catalog.back(), kBinaryIntAndRgba, "image2d::LevelWindow : level window algorithm not supported for data type:  %1");

    catalog.push_back({"GammaCorrection",
                       [](Input in) -> Made { return holding<GammaCorrection>(in, {{GammaCorrection::GAMMA_VALUE, 1.4f}}); },
                       GammaCorrection::parameters(), "image2d::GammaCorrection"});
    catalog.back().ownWarnings[GammaCorrection::GAMMA_VALUE].outOfRange = {
        usual("image2d::GammaCorrection", "value out of range", GammaCorrection::GAMMA_VALUE)};
    rejects(catalog.back(), kBinaryIntAndRgba, "image2d::GammaCorrection : gamma algorithm not supported for data type:  %1");
    catalog.back().keepsPixelSize = false; // the display image has unit pixels

    catalog.push_back({"Invert", [](Input in) -> Made { return holding<Invert>(in, {}); }, Invert::parameters(),
                       "image2d::Invert"});
    rejects(catalog.back(), kRgba, "image2d::Invert : invert algorithm not supported for data type:  %1");

    catalog.push_back({"ScaleColorValue",
                       [](Input in) -> Made { return holding<ScaleColorValue>(in, {{ScaleColorValue::SCALAR, 1.5f}}); },
                       ScaleColorValue::parameters(), "image2d::ScaleColorValue"});
    const QStringList scalar{QStringLiteral("image2D::ScaleColorValue : invalid input  \"scalar\"")};
    catalog.back().ownWarnings[ScaleColorValue::SCALAR] = {scalar, scalar, scalar};
    rejects(catalog.back(), kRgba,
            "image2d::ScaleColorValue : ScaleColorValue algorithm not supported for data type:  %1");

    catalog.push_back({"BitShift", [](Input in) -> Made { return holding<BitShift>(in, {{BitShift::BITS_TO_SHIFT, 3u}}); },
                       BitShift::parameters(), "image2d::BitShift"});
    const QStringList bits{usual("image2d::BitShift", "missing input", BitShift::BITS_TO_SHIFT)};
    catalog.back().ownWarnings[BitShift::BITS_TO_SHIFT] = {bits, bits, {}};
    rejects(catalog.back(), {Image2D::SHORT, Image2D::BINARY, Image2D::FLOAT, Image2D::INT, Image2D::RGBA},
            "image2d::BitShift : \"inputImage\"  contains image of unsupported type ");

    catalog.push_back({"Threshold",
                       [](Input in) -> Made { return holding<Threshold>(in, {{Threshold::THRESHOLD_VALUE, 1500.0}}); },
                       Threshold::parameters(), "image2d::Threshold"});
    rejects(catalog.back(), kRgba, "image2d::Threshold : threshold algorithm not supported for data type:  %1");

    catalog.push_back({"Mask",
                       [](Input in) -> Made {
                           auto mask = holding<Mask>(in, {{Mask::VALUE_FOR_MASKED_PIXELS, 7}});
                           mask->setSharedInput(Mask::MASK_IMAGE, checkerboard(*in));
                           return mask;
                       },
                       Mask::parameters(), "image2d::Mask", {Algorithm::INPUT_IMAGE, Mask::MASK_IMAGE}});
    rejects(catalog.back(), kIntAndRgba, "image2d::Mask : mask algorithm not supported for data type:  %1");

    catalog.push_back({"Multiply",
                       [](Input in) -> Made {
                           auto multiply = std::make_unique<Multiply>();
                           multiply->setSharedInput(Multiply::INPUT_A_IMAGE, in);
                           multiply->setSharedInput(Multiply::INPUT_B_IMAGE, std::make_shared<Image2D>(*in));
                           return multiply;
                       },
                       Multiply::parameters(), "image2d::Multiply", {Multiply::INPUT_A_IMAGE, Multiply::INPUT_B_IMAGE}});
    rejects(catalog.back(), kIntAndRgba, "image2d::Multiply : data type not supported:  %1");

    catalog.push_back({"Difference",
                       [](Input in) -> Made {
                           auto difference = holding<Difference>(in, {});
                           difference->setSharedInput(Difference::TAKE_DIFFERENCE_OF, std::make_shared<Image2D>(*in));
                           return difference;
                       },
                       Difference::parameters(), "image2d::Difference",
                       {Algorithm::INPUT_IMAGE, Difference::TAKE_DIFFERENCE_OF}});
    rejects(catalog.back(), kRgba, "image2d::Difference : Difference algorithm not supported for data type:  %1");

    // ---- Neighbourhood filtering (the kernels live as long as the test program)
    catalog.push_back({"Filter",
                       [](Input in) -> Made { return holding<Filter>(in, {}, const_cast<Kernel*>(&sharedKernel())); },
                       Filter::parameters(), "image2d::Filter"});
    rejects(catalog.back(), kRgba, "image2d::Filter : filter algorithm not supported for data type:  \"%2\"");
    catalog.back().types = integerAndFloat;
    catalog.back().parallel = true;
    catalog.back().checksValidity = false;

    catalog.push_back({"SeparableFilter",
                       [](Input in) -> Made {
                           return holding<SeparableFilter>(in, {{SeparableFilter::OUTPUT_DATATYPE, int(Image2D::FLOAT)}},
                                                           const_cast<SeparableKernel*>(&sharedSeparableKernel()));
                       },
                       SeparableFilter::parameters(), "image2d::SeparableFilter"});
    rejects(catalog.back(), kRgba,
            "image2d::SeparableFilter : SeparableFilter algorithm not supported for data type:  %1");
    catalog.back().types = integerAndFloat;
    catalog.back().parallel = true;
    catalog.back().checksValidity = false;

    catalog.push_back({"AreaAverage",
                       [](Input in) -> Made { return holding<AreaAverage>(in, {{AreaAverage::KERNEL_RADIUS, 3}}); },
                       AreaAverage::parameters(), "image2d::AreaAverage"});
    rejects(catalog.back(), kIntAndRgba, "image2d::AreaAverage : average algorithm not supported for data type:  %1");
    catalog.back().types = integerAndFloat;
    catalog.back().parallel = true;

    catalog.push_back({"SubSummedAreaTable",
                       [](Input in) -> Made {
                           return holding<SubSummedAreaTable>(in, {{SubSummedAreaTable::KERNEL_RADIUS, 2.5f}});
                       },
                       SubSummedAreaTable::parameters(), "image2d::SubSummedAreaTable"});
    rejects(catalog.back(), kIntAndRgba, "image2d::SubSummedAreaTable : sat algorithm not supported for data type:  %1");

    catalog.push_back(
        {"RecursiveMinMax",
         [](Input in) -> Made { return holding<RecursiveMinMax>(in, {{RecursiveMinMax::KERNEL_RADIUS, 2}}); },
         RecursiveMinMax::parameters(), "image2d::RecursiveMinMax::isInputValid"});
    rejects(catalog.back(), kIntAndRgba, "image2d::RecursiveMinMax : algorithm not supported for data type:  %1");
    catalog.back().types = integerAndFloat;
    catalog.back().parallel = true;
    catalog.back().outputs = {RecursiveMinMax::MIN_IMAGE, RecursiveMinMax::MAX_IMAGE};

    catalog.push_back({"Median", [](Input in) -> Made { return holding<Median>(in, {{Median::RADIUS, 2}}); },
                       Median::parameters(), "image2d::Median"});
    rejects(catalog.back(), kIntAndRgba, "image2d::Median : Median algorithm not supported for data type:  %1");

    catalog.push_back({"Denoise",
                       [](Input in) -> Made {
                           return holding<Denoise>(in, {{Denoise::KERNEL_STD, 0.6f}, {Denoise::KERNEL_RADIUS, 2}});
                       },
                       Denoise::parameters(), "image2d::Denoise"});
    rejects(catalog.back(), kRgba,
            "image2d::SeparableFilter : SeparableFilter algorithm not supported for data type:  %1", true);
    catalog.back().types = integerAndFloat;
    catalog.back().parallel = true;
    for (const QString* key : {&Denoise::KERNEL_STD, &Denoise::KERNEL_RADIUS})
        catalog.back().ownWarnings[*key].outOfRange = {usual("image2d::Denoise", "value out of range", *key)};

    catalog.push_back({"DifferenceOfGaussians",
                       [](Input in) -> Made {
                           return holding<DifferenceOfGaussians>(in, {{DifferenceOfGaussians::FIRST_SIGMA, 0.8f},
                                                                      {DifferenceOfGaussians::SECOND_SIGMA, 1.6f},
                                                                      {DifferenceOfGaussians::RADIUS, 2},
                                                                      {DifferenceOfGaussians::SCALE, 2.0f}});
                       },
                       DifferenceOfGaussians::parameters(), "image2d::DifferenceOfGaussians"});
    rejects(catalog.back(), kRgba,
            "image2d::SeparableFilter : SeparableFilter algorithm not supported for data type:  %1");
    catalog.back().parallel = true;
    for (const ParameterInfo* parameter : DifferenceOfGaussians::parameters())
    {
        const QStringList own{QStringLiteral("image2D::DifferenceOfGaussians : invalid input  \"%1\"").arg(parameter->key())};
        catalog.back().ownWarnings[parameter->key()] = {own, own, own};
    }

    // ---- Enhancement
    catalog.push_back({"Sharpen",
                       [](Input in) -> Made {
                           return holding<Sharpen>(in, {{Sharpen::KERNEL_RADIUS, 2}, {Sharpen::SHARPNESS_FACTOR, 1.5f}});
                       },
                       Sharpen::parameters(), "image2d::Sharpen"});
    rejects(catalog.back(), kIntAndRgba, "image2d::Sharpen : sharpen algorithm not supported for data type:  %1", true);
    catalog.back().types = integerAndFloat;
    catalog.back().parallel = true;

    const auto constrained = [](auto* tag, Input in) -> Made {
        using A = std::remove_pointer_t<decltype(tag)>;
        auto algorithm = holding<A>(in, {{A::KERNEL_RADIUS, 2},
                                         {A::MIN_MAX_KERNEL_RADIUS, 3},
                                         {A::SHARPNESS_FACTOR, 2.0f},
                                         {A::INTERPOLATION, 0.6f}});
        if constexpr (std::is_same_v<A, LocalAlphaConstrainedUnsharpMasking>)
        {
            algorithm->setUniformValue(A::SLOPE, 0.02);
            algorithm->setUniformValue(A::CENTER, 300.0);
        }
        return algorithm;
    };
    catalog.push_back({"ConstrainedUnsharpMasking",
                       [constrained](Input in) { return constrained(static_cast<ConstrainedUnsharpMasking*>(nullptr), in); },
                       ConstrainedUnsharpMasking::parameters(), "image2d::ConstrainedUnsharpMasking::isInputValid"});
    rejects(catalog.back(), kIntAndRgba, "image2d::ConstrainedUnsharpMasking::sharpen  : not supported for data type:  %1",
            true);
    catalog.back().types = integerAndFloat;
    catalog.back().parallel = true;
    catalog.push_back({"LocalAlphaConstrainedUnsharpMasking",
                       [constrained](Input in) {
                           return constrained(static_cast<LocalAlphaConstrainedUnsharpMasking*>(nullptr), in);
                       },
                       LocalAlphaConstrainedUnsharpMasking::parameters(),
                       "image2d::ConstrainedUnsharpMasking::isInputValid"});
    rejects(catalog.back(), kIntAndRgba,
            "image2d::LocalAlphaConstrainedUnsharpMasking::sharpen  : not supported for data type:  %1", true);
    catalog.back().types = integerAndFloat;
    catalog.back().parallel = true;

    catalog.push_back({"Navrel",
                       [](Input in) -> Made {
                           const float span = in->getMaxFloatValue() - in->getMinFloatValue();
                           return holding<Navrel>(in, {{Navrel::MEDIAN_RADIUS, 1},
                                                       {Navrel::KERNEL_RADIUS, 3},
                                                       {Navrel::SHARPNESS_FACTOR, 2},
                                                       {Navrel::BLACK_VALUE, in->getMinFloatValue() + 0.1f * span},
                                                       {Navrel::WHITE_VALUE, in->getMaxFloatValue() - 0.1f * span}});
                       },
                       Navrel::parameters(), "image2d::Navrel"});
    rejects(catalog.back(), kIntAndRgba, "image2d::Navrel : navrel algorithm not supported for data type:  %1", true);
    catalog.back().types = integerAndFloat;
    catalog.back().parallel = true;

    catalog.push_back({"SharpenOrvane",
                       [](Input in) -> Made {
                           return holding<SharpenOrvane>(
                               in, {{SharpenOrvane::KERNEL_TYPE, QVariant::fromValue(SharpenOrvane::KERNEL_7X7)}});
                       },
                       SharpenOrvane::parameters(), "image2d::SharpenOrvane"});
    catalog.back().types = integerAndFloat;
    catalog.back().parallel = true;

    catalog.push_back({"HistogramEqualization",
                       [](Input in) -> Made {
                           return holding<HistogramEqualization>(in, {{HistogramEqualization::BALANCE, 0.8f},
                                                                      {HistogramEqualization::KERNEL_RELATIVE_RADIUS, 0.1f},
                                                                      {HistogramEqualization::KERNEL_OVERLAP, 0.5f}});
                       },
                       HistogramEqualization::parameters(), "image2d::HistogramEqualization"});
    catalog.back().types = integerAndFloat;
    catalog.back().parallel = true;
    catalog.back().ownWarnings[Algorithm::INPUT_IMAGE] = {{"missing input image:  \"inputImage\"", hieqInvalid},
                                                          {"invalid input image:  \"inputImage\"", hieqInvalid},
                                                          {}};
    for (const ParameterInfo* parameter : HistogramEqualization::parameters())
    {
        const QString range = QStringLiteral("parameter \"%1\" not within range [ %2 , ... , %3 ]")
                                  .arg(parameter->key())
                                  .arg(parameter->bounds().low)
                                  .arg(parameter->bounds().high);
        catalog.back().ownWarnings[parameter->key()] = {
            {QStringLiteral("missing parameter:  \"%1\"").arg(parameter->key()), hieqInvalid},
            {QStringLiteral("invalid parameter:  \"%1\"").arg(parameter->key()), hieqInvalid},
            {range, hieqInvalid}};
    }

    catalog.push_back({"StarkAdaptiveHistogramEqualization",
                       [](Input in) -> Made {
                           return holding<StarkAdaptiveHistogramEqualization>(
                               in, {{StarkAdaptiveHistogramEqualization::ALPHA_VALUE, 0.4},
                                    {StarkAdaptiveHistogramEqualization::BETA_VALUE, 0.6},
                                    {StarkAdaptiveHistogramEqualization::RADIUS_VALUE, 3u}});
                       },
                       StarkAdaptiveHistogramEqualization::parameters(),
                       "image2d::StarkAdaptiveHistogramEqualization"});
    rejects(catalog.back(), kIntAndRgba,
            "image2d::StarkAdaptiveHistogramEqualization : stark adaptive histogram equalization algorithm not "
            "supported for data type:  %1",
            true);
    catalog.back().types = integerAndFloat;
    catalog.back().parallel = true;
    for (const QString* key :
         {&StarkAdaptiveHistogramEqualization::ALPHA_VALUE, &StarkAdaptiveHistogramEqualization::BETA_VALUE})
        catalog.back().ownWarnings[*key].outOfRange = {
            usual("image2d::StarkAdaptiveHistogramEqualization", "invalid input", *key),
            QStringLiteral("\"%1\"  range is: [0, ... , 1]").arg(*key)};

    catalog.push_back({"AutoContrast",
                       [](Input in) -> Made {
                           return holding<AutoContrast>(
                               in, {{AutoContrast::LOWER_FRACTION, 0.01}, {AutoContrast::UPPER_FRACTION, 0.99}});
                       },
                       AutoContrast::parameters(), "image2d::AutoContrast"});
    rejects(catalog.back(), {Image2D::BINARY, Image2D::FLOAT, Image2D::INT, Image2D::RGBA},
            "image2d::AutoContrast : AutoContrast algorithm not supported for data type:  %1");
    catalog.back().outputs = {};
    const QString noImage = QStringLiteral("image2d::AutoContrast : missing or invalid input image.");
    catalog.back().ownWarnings[Algorithm::INPUT_IMAGE] = {
        {"missing input image:  \"inputImage\"", noImage}, {"invalid input image:  \"inputImage\"", noImage}, {}};

    // ---- Filter pipeline: a chain of the filters that run in parallel
    catalog.push_back({"FilterSetProcessor",
                       [](Input in) -> Made {
                           FilterSet set;
                           Uniforms sharpen;
                           sharpen.setUniformValue(Sharpen::KERNEL_RADIUS, 2);
                           sharpen.setUniformValue(Sharpen::SHARPNESS_FACTOR, 1.0f);
                           set.addFilter(Sharpen::FILTER_ID, sharpen);
                           set.addFilter(LocalAlphaConstrainedUnsharpMasking::FILTER_ID, sharpen);
                           set.addFilter(Navrel::FILTER_ID, sharpen);
                           Uniforms equalization;
                           equalization.setUniformValue(HistogramEqualization::BALANCE, 0.5f);
                           set.addFilter(HistogramEqualization::FILTER_ID, equalization);
                           Uniforms denoise;
                           denoise.setUniformValue(Denoise::KERNEL_STD, 0.5f);
                           denoise.setUniformValue(Denoise::KERNEL_RADIUS, 2);
                           set.addFilter(Denoise::FILTER_ID, denoise);
                           return holding<FilterSetProcessor>(
                               in, {{FilterSetProcessor::LEVEL, 1800.0}, {FilterSetProcessor::WINDOW, 3000.0}}, set,
                               QTransform());
                       },
                       FilterSetProcessor::parameters(), "image2d::FilterSetProcessor"});
    rejects(catalog.back(), kBinaryIntAndRgba, "image2d::LevelWindow : level window algorithm not supported for data type:  %1");
    catalog.back().parallel = true;

    // ---- Geometry
    catalog.push_back({"Crop",
                       [](Input in) -> Made {
                           return holding<Crop>(in, {{Crop::TOP_LEFT, QPoint(1, 1)}, {Crop::BOTTOM_RIGHT, QPoint(3, 3)}});
                       },
                       Crop::parameters(), "image2d::Crop"});
    for (const QString* key : {&Crop::TOP_LEFT, &Crop::BOTTOM_RIGHT})
    {
        const QStringList missing{usual("image2d::Crop", "missing input", *key)};
        catalog.back().ownWarnings[*key] = {missing, missing, {}};
    }

    catalog.push_back({"Border",
                       [](Input in) -> Made {
                           return holding<Border>(in, {{Border::BORDER_SIZE_X, 1u},
                                                       {Border::BORDER_SIZE_Y, 1u},
                                                       {Border::INSERTED_VALUE, 9}});
                       },
                       Border::parameters(), "image2d::Border"});
    rejects(catalog.back(), kRgba, "image2d::Border : Border algorithm not supported for data type:  \"%2\"");
    for (const ParameterInfo* parameter : Border::parameters())
    {
        const QStringList invalid{usual("image2d::Border", "invalid input", parameter->key())};
        catalog.back().ownWarnings[parameter->key()] = {invalid, invalid, invalid};
    }

    catalog.push_back({"Mirror", [](Input in) -> Made { return holding<Mirror>(in, {}); }, Mirror::parameters(),
                       "image2d::Mirror"});
    rejects(catalog.back(), kRgba, "image2d::Mirror : Mirror algorithm not supported for data type:  %1");
    catalog.push_back({"Binning", [](Input in) -> Made { return holding<Binning>(in, {}); }, Binning::parameters(),
                       "image2d::Binning"});
    rejects(catalog.back(), {Image2D::FLOAT, Image2D::RGBA},
            "image2d::Binning : Binning algorithm not supported for data type:  %1");
    catalog.back().keepsPixelSize = false; // blocks of 2 x 2

    // ---- Segmentation and features
    catalog.push_back({"ToPolarCost",
                       [](Input in) -> Made {
                           return holding<ToPolarCost>(in, {{ToPolarCost::THRESHOLD, 2000.0f},
                                                            {ToPolarCost::UNDERTHRESHOLD_VALUE, 20u},
                                                            {ToPolarCost::ABOVETHRESHOLD_VALUE, 2u}});
                       },
                       ToPolarCost::parameters(), "image2d::ToPolarCost"});
    rejects(catalog.back(), kRgba, "image2d::ToPolarCost : to polar coords algorithm not supported for data T:  %1");
    catalog.back().types = integerAndFloat;

    catalog.push_back({"CheapestPath", [](Input in) -> Made { return holding<CheapestPath>(in, {}); },
                       CheapestPath::parameters(), "image2d::CheapestPath"});
    rejects(catalog.back(), {Image2D::FLOAT, Image2D::RGBA},
            "image2d::CheapestPathTemplate : cheapest path algorithm not supported for data type:  %1");
    catalog.back().types = {Image2D::UNSIGNED_SHORT, Image2D::INT};

    catalog.push_back({"MaskFromCheapestPath", [](Input in) -> Made { return holding<MaskFromCheapestPath>(in, {}); },
                       MaskFromCheapestPath::parameters(), "image2d::MaskFromCheapestPath"});
    rejects(catalog.back(), {Image2D::UNSIGNED_SHORT, Image2D::SHORT, Image2D::UNSIGNED_CHAR, Image2D::FLOAT, Image2D::RGBA},
            "image2d::MaskFromCheapestPath : mask from cheapest path algorithm not supported for data type:  %1");
    catalog.back().types = {Image2D::INT};

    // The edge filter's 4-pixel frame needs an image of 9 pixels or more each way.
    const auto framed = [](Input in) {
        if (in->getHeight() >= 9)
            return in;
        auto large = std::make_shared<Image2D>(testing_support::randomImage(20, 16, in->getDataType(), 5, 0, 200));
        large->setPixelSize(in->getPixelSize());
        return large;
    };
    catalog.push_back({"BinaryEdge",
                       [framed](Input in) -> Made { return holding<BinaryEdge>(framed(in), {{BinaryEdge::THRESHOLD_VALUE, 30.0f}}); },
                       BinaryEdge::parameters(), "image2d::BinaryEdge"});
    rejects(catalog.back(), kRgba, "image2d::SeparableFilter : SeparableFilter algorithm not supported for data type:  %1");
    catalog.back().types = integerAndFloat;
    catalog.back().parallel = true;

    catalog.push_back({"ToothSegmentation",
                       [framed](Input in) -> Made {
                           return holding<ToothSegmentation>(framed(in), {{ToothSegmentation::BINEDGE_THRESHOLD_VALUE, 30}});
                       },
                       ToothSegmentation::parameters(), "image2d::ToothSegmentation"});
    rejects(catalog.back(), kRgba, "image2d::SeparableFilter : SeparableFilter algorithm not supported for data type:  %1");
    catalog.back().types = integerAndFloat;
    catalog.back().parallel = true;

    catalog.push_back({"GradientOrientationAnalysis",
                       [](Input in) -> Made {
                           auto analysis = std::make_unique<GradientOrientationAnalysis>();
                           analysis->setSharedInput(GradientOrientationAnalysis::INPUT_IMAGE1, in);
                           analysis->setSharedInput(GradientOrientationAnalysis::INPUT_IMAGE2, std::make_shared<Image2D>(*in));
                           return analysis;
                       },
                       GradientOrientationAnalysis::parameters(), "image2d::GradientOrientationAnalysis",
                       {GradientOrientationAnalysis::INPUT_IMAGE1, GradientOrientationAnalysis::INPUT_IMAGE2}});
    rejects(catalog.back(), kIntAndRgba,
            "image2d::GradientOrientationAnalysis : calculateCosAndSinImages algorithm not supported for data type:  %1");
    catalog.back().types = {Image2D::SHORT, Image2D::FLOAT};
    catalog.back().parallel = true;
    catalog.back().outputs = {GradientOrientationAnalysis::OUTPUT_IMAGE_CX, GradientOrientationAnalysis::OUTPUT_IMAGE_CY,
                              GradientOrientationAnalysis::OUTPUT_IMAGE_SX, GradientOrientationAnalysis::OUTPUT_IMAGE_SY,
                              GradientOrientationAnalysis::OUTPUT_RIDGES_AND_VALLEYS};

    // The FLOAT-only classes reject every other type in validation, naming the slot.
    const QList<Image2D::DataType> notFloat{Image2D::UNSIGNED_SHORT, Image2D::SHORT, Image2D::UNSIGNED_CHAR,
                                            Image2D::BINARY, Image2D::INT, Image2D::RGBA};
    catalog.push_back({"FindRidges",
                       [](Input in) -> Made {
                           auto ridges = std::make_unique<FindRidges>();
                           ridges->setSharedInput(FindRidges::RANGE_IMAGE, in);
                           return ridges;
                       },
                       FindRidges::parameters(), "image2d::FindRidges", {FindRidges::RANGE_IMAGE}});
    rejects(catalog.back(), notFloat, "image2d::FindRidges : image not of type Image2D::DataType::FLOAT:  \"rangeImage\"");
    catalog.back().types = {Image2D::FLOAT};
    catalog.back().parallel = true;
    catalog.back().outputs = {FindRidges::RIDGES_VALLEYS_IMAGE, FindRidges::RIDGES_D1_IMAGE, FindRidges::RIDGES_D2_IMAGE,
                              FindRidges::RIDGES_IMAGE};

    catalog.push_back({"TeethRidges",
                       [](Input in) -> Made {
                           return holding<TeethRidges>(in, {{TeethRidges::DILATION_RADIUS, 2},
                                                            {TeethRidges::PART_OF_LARGEST_REGION_TO_KEEP, 0.5}});
                       },
                       TeethRidges::parameters(), "image2d::TeethRidges"});
    rejects(catalog.back(), notFloat, "image2d::TeethRidges: input not of type Image2D::DataType::FLOAT:  \"inputImage\"");
    catalog.back().types = {Image2D::FLOAT};
    catalog.back().parallel = true;

    catalog.push_back({"FeaturePointImageProvider",
                       [](Input in) -> Made {
                           auto provider = std::make_unique<FeaturePointImageProvider>();
                           provider->setSharedInput(FeaturePointImageProvider::FINAL_RIDGE_INPUT_IMAGE, in);
                           provider->setSharedInput(FeaturePointImageProvider::RANGE_IMAGE_INPUT_IMAGE, std::make_shared<Image2D>(*in));
                           provider->setUniformValue(FeaturePointImageProvider::DILATION_RADIUS, 2);
                           return provider;
                       },
                       FeaturePointImageProvider::parameters(), "image2d::FeaturePointImageProvider",
                       {FeaturePointImageProvider::FINAL_RIDGE_INPUT_IMAGE, FeaturePointImageProvider::RANGE_IMAGE_INPUT_IMAGE}});
    rejects(catalog.back(), notFloat,
            "image2d::FeaturePointImageProvider: input not of type Image2D::DataType::FLOAT:  \"finalRidgeInputImage\"");
    catalog.back().types = {Image2D::FLOAT};
    catalog.back().parallel = true;
    catalog.back().outputs = {FeaturePointImageProvider::DILATED_FINAL_RIDGE_OUTPUT_IMAGE,
                              FeaturePointImageProvider::MASKED_RANGE_IMAGE_OUTPUT_IMAGE};

    // ---- Binary and region analysis: one pixel type each, others rejected in validation
    const QList<Image2D::DataType> notBinary{Image2D::UNSIGNED_SHORT, Image2D::SHORT, Image2D::UNSIGNED_CHAR,
                                             Image2D::FLOAT, Image2D::INT, Image2D::RGBA};
    catalog.push_back({"DistanceTransform", [](Input in) -> Made { return holding<DistanceTransform>(in, {}); }, {},
                       "image2d::DistanceTransform"});
    rejects(catalog.back(), notBinary,
            "image2d::DistanceTransform: input not of type Image2D::DataType::BINARY:  \"inputImage\"");
    catalog.back().types = {Image2D::BINARY};

    catalog.push_back({"GrowChamfer",
                       [](Input in) -> Made {
                           auto grow = std::make_unique<GrowChamfer>();
                           grow->setSharedInput(GrowChamfer::LIMIT_IMAGE, in);
                           grow->setSharedInput(GrowChamfer::ZONE_IMAGE, checkerboard(*in));
                           return grow;
                       },
                       GrowChamfer::parameters(), "image2d::GrowChamfer", {GrowChamfer::LIMIT_IMAGE, GrowChamfer::ZONE_IMAGE}});
    for (const QString* slot : {&GrowChamfer::LIMIT_IMAGE, &GrowChamfer::ZONE_IMAGE})
    {
        const QStringList own{QStringLiteral("image2d::GrowChamfer : invalid image for input:  \"%1\"").arg(*slot)};
        catalog.back().ownWarnings[*slot] = {own, own, {}};
    }
    rejects(catalog.back(), notBinary, "image2d::GrowChamfer : invalid image for input:  \"limitImage\"");
    catalog.back().types = {Image2D::BINARY};

    catalog.push_back({"Label", [](Input in) -> Made { return holding<Label>(in, {}); }, {}, "image2d::Label"});
    rejects(catalog.back(), notBinary, "image2d::Label: input not of type Image2D::DataType::BINARY:  \"inputImage\"");
    catalog.back().types = {Image2D::BINARY};

    // Either of its parameters may be absent; the class's own tests check them.
    catalog.push_back({"KeepLargestPart",
                       [](Input in) -> Made { return holding<KeepLargestPart>(in, {{KeepLargestPart::REGION_COUNT, 2}}); },
                       {}, "image2d::KeepLargestPart"});
    rejects(catalog.back(),
            {Image2D::SHORT, Image2D::UNSIGNED_CHAR, Image2D::BINARY, Image2D::FLOAT, Image2D::INT, Image2D::RGBA},
            "image2d::KeepLargestPart: input not of type Image2D::DataType::UNSIGNED_SHORT:  \"inputImage\"");
    return catalog;
}

} // namespace

const std::vector<AlgorithmEntry>& algorithmCatalog()
{
    static const std::vector<AlgorithmEntry> catalog = makeCatalog();
    return catalog;
}

QStringList expectedWarnings(const AlgorithmEntry& entry, const QString& key, FailureReason::Kind kind)
{
    const OwnWarnings own = entry.ownWarnings.value(key);
    const QStringList& specific =
        kind == FailureReason::Missing ? own.missing : (kind == FailureReason::Invalid ? own.invalid : own.outOfRange);
    if (!specific.isEmpty())
        return specific;
    return {usual(entry.owner, kind == FailureReason::Missing ? "missing input" : "invalid input", key)};
}

std::shared_ptr<Image2D> catalogInput(Image2D::DataType type, QSize size, std::uint32_t seed)
{
    auto image = std::make_shared<Image2D>(
        randomImage(size.width(), size.height(), type, seed, 0.0, type == Image2D::FLOAT ? 1.0 : 4000.0));
    image->setPixelSize(QVector3D(0.1f, 0.2f, 1.0f));
    return image;
}

} // namespace testing_support
