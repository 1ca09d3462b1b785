// Prints one digest per algorithm output on the benchmark images, through the algorithm
// classes' parameter-store interface only (stable across rewrites of the code beneath),
// so that two builds can be compared: bench/check-identical.sh runs it at two revisions.

#include "BenchImages.h"

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
#include "image2d/pipeline/FilterSet.h"
#include "image2d/pipeline/FilterSetProcessor.h"
#include "image2d/pipeline/ImageFilterConversion.h"
#include "platform/documentmodel/ImageFilter.h"
#include "image2d/pointops/ImageArithmetic.h"
#include "image2d/pointops/IntensityMapping.h"
#include "image2d/toolbox/Geometry.h"
#include "image2d/toolbox/Image2DOperations.h"
#include "platform/pixeldata/Conversions.h"

#include <QCoreApplication>
#include <QTransform>

#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

using namespace image2d;

namespace {

std::uint64_t digest(const Image2D* image)
{
    if (!image || !image->isValid())
        return 0;
    std::uint64_t h = 1469598103934665603ull;
    auto mix = [&](const unsigned char* p, std::size_t n) {
        for (std::size_t i = 0; i < n; ++i)
            h = (h ^ p[i]) * 1099511628211ull;
    };
    const int header[3] = {image->getWidth(), image->getHeight(), static_cast<int>(image->getDataType())};
    mix(reinterpret_cast<const unsigned char*>(header), sizeof(header));
    const QVector3D px = image->getPixelSize();
    const float pixel[3] = {px.x(), px.y(), px.z()};
    mix(reinterpret_cast<const unsigned char*>(pixel), sizeof(pixel));
    mix(image->getConstData<unsigned char>(), image->getByteCount());
    return h;
}

void print(const std::string& name, const Image2D* image)
{
    std::printf("%-60s %016llx\n", name.c_str(), static_cast<unsigned long long>(digest(image)));
}

using Setup = std::function<void(Algorithm&)>;

void run(const std::string& name, Algorithm&& algorithm, const std::shared_ptr<Image2D>& input, const Setup& setup,
         const QStringList& outputs = {Algorithm::OUTPUT_IMAGE})
{
    algorithm.setSharedInput(Algorithm::INPUT_IMAGE, input);
    setup(algorithm);
    const std::atomic<bool> cancel{false};
    const bool ok = algorithm.execute(cancel);
    for (const QString& output : outputs)
        print(name + (ok ? "" : " (failed)") + " " + output.toStdString(), algorithm.getSharedOutput(output).get());
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    for (int size = 0; size < 2; ++size)
    {
        const QSize dims = bench::sizeFor(size);
        const std::string label = bench::labelFor(size);
        auto u16 = std::make_shared<Image2D>(bench::radiograph(dims));
        auto f32 = std::make_shared<Image2D>(bench::radiographFloat(dims));
        const std::atomic<bool> never{false};
        auto u8 = std::make_shared<Image2D>(conversions::convertToDataType(
            *LevelWindow::executeLevelWindow(u16.get(), 2000, 4000, never), Image2D::UNSIGNED_CHAR));
        auto s16 = std::make_shared<Image2D>(conversions::convertToDataType(*u16, Image2D::SHORT));
        const std::vector<std::pair<std::string, std::shared_ptr<Image2D>>> images = {
            {std::string("u16"), u16}, {std::string("f32"), f32}, {std::string("u8"), u8}, {std::string("s16"), s16}};
        for (const auto& [typeName, image] : images)
        {
            const std::string p = label + " " + typeName + " ";
            for (int radius : {0, 1, 2, 3, 5, 15})
            {
                const QString r = QString::number(radius);
                run(p + "AreaAverage r" + r.toStdString(), AreaAverage(), image,
                    [&](Algorithm& a) { a.setUniformValue(AreaAverage::KERNEL_RADIUS, radius); });
                run(p + "SubSummedAreaTable r" + r.toStdString(), SubSummedAreaTable(), image,
                    [&](Algorithm& a) { a.setUniformValue(SubSummedAreaTable::KERNEL_RADIUS, radius + 0.5f); });
                run(p + "RecursiveMinMax r" + r.toStdString(), RecursiveMinMax(), image,
                    [&](Algorithm& a) { a.setUniformValue(RecursiveMinMax::KERNEL_RADIUS, radius); },
                    {RecursiveMinMax::MIN_IMAGE, RecursiveMinMax::MAX_IMAGE});
                if (radius <= 3)
                    run(p + "Median r" + r.toStdString(), Median(), image,
                        [&](Algorithm& a) { a.setUniformValue(Median::RADIUS, radius); });
            }
            {
                Gaussian gaussian(3, 1.1f);
                print(p + "Filter gaussian7", Filter::executeFilter(*image, &gaussian).get());
                Laplacian laplacian;
                print(p + "Filter laplacian", Filter::executeFilter(*image, &laplacian).get());
                SeparableGaussian separable(4, 1.2f);
                print(p + "SeparableFilter gaussian9",
                      SeparableFilter::executeSeparableFilter(image, &separable, image->getDataType()).get());
                print(p + "SeparableFilter gaussian9 float",
                      SeparableFilter::executeSeparableFilter(image, &separable, Image2D::FLOAT).get());
            }
            run(p + "Denoise", Denoise(), image, [](Algorithm& a) {
                a.setUniformValue(Denoise::KERNEL_STD, 1.2f);
                a.setUniformValue(Denoise::KERNEL_RADIUS, 4);
            });
            print(p + "DifferenceOfGaussians", DifferenceOfGaussians::executeDOG(image, 1.0f, 2.5f, 6, 2.0f).get());
            run(p + "LevelWindow", LevelWindow(), image, [](Algorithm& a) {
                a.setUniformValue(LevelWindow::LEVEL, 1800.0);
                a.setUniformValue(LevelWindow::WINDOW, 2500.0);
            });
            run(p + "Gamma", GammaCorrection(), image,
                [](Algorithm& a) { a.setUniformValue(GammaCorrection::GAMMA_VALUE, 1.4f); });
            run(p + "Invert", Invert(), image, [](Algorithm& a) { a.setUniformValue(Invert::PRESERVE_RANGE, true); });
            run(p + "ScaleColorValue", ScaleColorValue(), image,
                [](Algorithm& a) { a.setUniformValue(ScaleColorValue::SCALAR, 1.7f); });
            run(p + "BitShift", BitShift(), image, [](Algorithm& a) { a.setUniformValue(BitShift::BITS_TO_SHIFT, 2); });
            run(p + "Threshold", Threshold(), image, [](Algorithm& a) {
                a.setUniformValue(Threshold::THRESHOLD_VALUE, 1500.0);
                a.setUniformValue(Threshold::THRESHOLD_OPERATOR, ">");
            });
            run(p + "Sharpen", Sharpen(), image, [](Algorithm& a) {
                a.setUniformValue(Sharpen::KERNEL_RADIUS, 3);
                a.setUniformValue(Sharpen::SHARPNESS_FACTOR, 1.5f);
            });
            run(p + "ConstrainedUnsharpMasking", ConstrainedUnsharpMasking(), image, [](Algorithm& a) {
                a.setUniformValue(ConstrainedUnsharpMasking::KERNEL_RADIUS, 3);
                a.setUniformValue(ConstrainedUnsharpMasking::MIN_MAX_KERNEL_RADIUS, 3);
                a.setUniformValue(ConstrainedUnsharpMasking::SHARPNESS_FACTOR, 2.0f);
                a.setUniformValue(ConstrainedUnsharpMasking::INTERPOLATION, 0.5f);
            });
            run(p + "LocalAlphaConstrainedUnsharpMasking", LocalAlphaConstrainedUnsharpMasking(), image,
                [](Algorithm& a) {
                    a.setUniformValue(ConstrainedUnsharpMasking::KERNEL_RADIUS, 2);
                    a.setUniformValue(ConstrainedUnsharpMasking::MIN_MAX_KERNEL_RADIUS, 3);
                    a.setUniformValue(ConstrainedUnsharpMasking::SHARPNESS_FACTOR, 2.0f);
                    a.setUniformValue(ConstrainedUnsharpMasking::INTERPOLATION, 0.5f);
                    a.setUniformValue(LocalAlphaConstrainedUnsharpMasking::SLOPE, 0.01f);
                    a.setUniformValue(LocalAlphaConstrainedUnsharpMasking::CENTER, 200.0f);
                });
            run(p + "Navrel", Navrel(), image, [](Algorithm& a) {
                a.setUniformValue(Navrel::MEDIAN_RADIUS, 1);
                a.setUniformValue(Navrel::KERNEL_RADIUS, 3);
                a.setUniformValue(Navrel::SHARPNESS_FACTOR, 2);
                a.setUniformValue(Navrel::BLACK_VALUE, 200);
                a.setUniformValue(Navrel::WHITE_VALUE, 3800);
            });
            for (int kernel = 0; kernel < 5; ++kernel)
                print(p + "SharpenOrvane k" + std::to_string(kernel),
                      SharpenOrvane::executeSharpen(image.get(), static_cast<SharpenOrvane::KernelType>(kernel)).get());
            run(p + "HistogramEqualization", HistogramEqualization(), image, [](Algorithm& a) {
                a.setUniformValue(HistogramEqualization::BALANCE, 0.5f);
                a.setUniformValue(HistogramEqualization::KERNEL_RELATIVE_RADIUS, 0.032f);
                a.setUniformValue(HistogramEqualization::KERNEL_OVERLAP, 0.75f);
            });
            if (size == 0 && typeName != "f32")
                run(p + "Stark", StarkAdaptiveHistogramEqualization(), image, [](Algorithm& a) {
                    a.setUniformValue(StarkAdaptiveHistogramEqualization::ALPHA_VALUE, 0.5);
                    a.setUniformValue(StarkAdaptiveHistogramEqualization::BETA_VALUE, 0.5);
                    a.setUniformValue(StarkAdaptiveHistogramEqualization::RADIUS_VALUE, 5);
                });
            {
                Algorithm&& contrast = AutoContrast();
                contrast.setSharedInput(Algorithm::INPUT_IMAGE, image);
                contrast.setUniformValue(AutoContrast::LOWER_FRACTION, 0.01);
                contrast.setUniformValue(AutoContrast::UPPER_FRACTION, 0.995);
                const std::atomic<bool> cancel{false};
                contrast.execute(cancel);
                std::printf("%-60s %s %s\n", (p + "AutoContrast").c_str(),
                            contrast.getUniformValue(AutoContrast::WINDOW_CENTER).toString().toStdString().c_str(),
                            contrast.getUniformValue(AutoContrast::WINDOW_RANGE).toString().toStdString().c_str());
            }
            const std::atomic<bool> cancel{false};
            std::unique_ptr<Image2D> fast(
                Image2DOperations::createResizedImageFast(image.get(), QSize(1920, 1080), cancel));
            print(p + "createResizedImageFast", fast.get());
            std::unique_ptr<Image2D> smooth(
                Image2DOperations::createResizedImageSmooth(image.get(), QSize(1920, 1080), cancel));
            print(p + "createResizedImageSmooth", smooth.get());
            std::unique_ptr<Image2D> up(
                Image2DOperations::createResizedImageSmooth(image.get(), QSize(3001, 2501), cancel));
            print(p + "createResizedImageSmooth up", up.get());
            Image2D rotated(*image);
            Image2DOperations::transform(&rotated, QTransform(0, 1, -1, 0, 0, 0), cancel);
            print(p + "transform", &rotated);
            for (auto to : {Image2D::UNSIGNED_SHORT, Image2D::SHORT, Image2D::UNSIGNED_CHAR, Image2D::FLOAT,
                            Image2D::INT, Image2D::BINARY})
            {
                const Image2D converted = Image2DOperations::convertDataType(*image, to);
                print(p + "convertDataType " + std::to_string(static_cast<int>(to)), &converted);
            }
            print(p + "Crop", Crop::executeCrop(*image, QPoint(10, 20), QPoint(900, 700)).get());
            print(p + "Binning", Binning::executeBinning(*image).get());
            print(p + "Mirror", Mirror::executeMirror(*image).get());
            run(p + "Border", Border(), image, [](Algorithm& a) {
                a.setUniformValue(Border::BORDER_SIZE_X, 7u);
                a.setUniformValue(Border::BORDER_SIZE_Y, 3u);
                a.setUniformValue(Border::INSERTED_VALUE, 1);
            });
            {
                // The pixel-wise combinations of two images, and the flips in place.
                const std::shared_ptr<Image2D> band = Threshold::executeThreshold(image.get(), 1500.0f);
                print(p + "Mask", Mask::executeMask(image.get(), band.get(), 7.9).get());
                run(p + "Threshold below", Threshold(), image, [](Algorithm& a) {
                    a.setUniformValue(Threshold::THRESHOLD_VALUE, 900.5);
                    a.setUniformValue(Threshold::THRESHOLD_OPERATOR, "<");
                });
                Image2D twice(*image);
                print(p + "Multiply", Multiply::executeMultiply(image.get(), &twice).get());
                const std::shared_ptr<Image2D> mirrored = Mirror::executeMirror(*image);
                print(p + "Difference", Difference::executeDifference(image, mirrored).get());
                Image2DOperations::flipHorizontal(&twice);
                print(p + "flipHorizontal", &twice);
                Image2DOperations::flipVertical(&twice);
                print(p + "flipVertical", &twice);
                const Image2D asFloat = Image2DOperations::convertDataType(*image, Image2D::FLOAT);
                for (auto to : {Image2D::UNSIGNED_SHORT, Image2D::SHORT, Image2D::UNSIGNED_CHAR, Image2D::INT})
                    print(p + "createFromFloatImage " + std::to_string(static_cast<int>(to)),
                          Image2DOperations::createFromFloatImage(asFloat, to).get());
                const math::Range<float> range(200.0f, 3800.0f);
                const utility::Optional<float> noise = calculateNoiseFactor(*image, range);
                std::printf("%-60s %.9g %.9g\n", (p + "calculateNoiseFactor, calculateAutoGamma").c_str(),
                            noise ? *noise : -1.0f, calculateAutoGamma(*image, range));
                const data::LevelWindow contrast = dataObjectFunctions::computeAutoContrast(*image, MediaType::IntraoralSensor);
                std::printf("%-60s %d %d\n", (p + "computeAutoContrast").c_str(), contrast.getLevel(),
                            contrast.getWindow());
            }
            // The whole display road, with the host's filter elements for every modality.
            using Element = dataobject::ImageFilterElementType;
            for (int modality = 0; modality < 8; ++modality)
            {
                dataobject::ImageFilter filter(static_cast<dataobject::ImageFilterModality>(modality));
                filter.setElement(Element::HistogramEqualization, 0.5f);
                filter.setElement(Element::Sharpen, 1.0f);
                filter.setElement(Element::Denoise, 0.5f);
                filter.setElement(Element::Gamma, 1.3f);
                if (modality == 2)
                    filter.setElement(Element::Invert);
                const QSize display(1920, 1080);
                const FilterSet set = conversions::toFilterSet(&filter, image->getSize(), image->getPixelSize(), display);
                print(p + "Processor modality " + std::to_string(modality),
                      FilterSetProcessor::executeProcessor(image.get(), set, QTransform(), 1800, 2500, cancel, display)
                          .get());
            }
        }
    }
    return 0;
}
