// The C++ side of the Python tests' bit-for-bit comparisons: runs one algorithm class
// through its parameter-store interface (setUniformValue, execute, getSharedOutput) on a
// raw image and writes the output's raw pixels, so the Python bindings, which call the core
// functions, are checked against the path the host uses.
//     reference_runner IN.raw WIDTH HEIGHT TYPE CLASS OUT.raw [key=value ...]
// Values: true/false, integers, numbers with a point, anything else as text.

#include "image2d/analysis/DistanceTransform.h"
#include "image2d/analysis/ToothSegmentation.h"
#include "image2d/enhancement/HistogramEqualization.h"
#include "image2d/enhancement/Navrel.h"
#include "image2d/enhancement/SharpenOrvane.h"
#include "image2d/enhancement/StarkAdaptiveHistogramEqualization.h"
#include "image2d/enhancement/UnsharpMasking.h"
#include "image2d/filtering/LocalStatistics.h"
#include "image2d/filtering/Smoothing.h"
#include "image2d/pointops/ImageArithmetic.h"
#include "image2d/pointops/IntensityMapping.h"
#include "image2d/toolbox/Geometry.h"

#include <QFile>

#include <cstdio>
#include <functional>
#include <map>
#include <memory>

using namespace image2d;

int main(int argc, char** argv)
{
    if (argc < 7)
        return 2;
    const std::map<QString, std::function<std::unique_ptr<Algorithm>()>> classes = {
        {"AreaAverage", [] { return std::make_unique<AreaAverage>(); }},
        {"Median", [] { return std::make_unique<Median>(); }},
        {"Denoise", [] { return std::make_unique<Denoise>(); }},
        {"DifferenceOfGaussians", [] { return std::make_unique<DifferenceOfGaussians>(); }},
        {"LevelWindow", [] { return std::make_unique<LevelWindow>(); }},
        {"GammaCorrection", [] { return std::make_unique<GammaCorrection>(); }},
        {"Invert", [] { return std::make_unique<Invert>(); }},
        {"Threshold", [] { return std::make_unique<Threshold>(); }},
        {"Sharpen", [] { return std::make_unique<Sharpen>(); }},
        {"ConstrainedUnsharpMasking", [] { return std::make_unique<ConstrainedUnsharpMasking>(); }},
        {"LocalAlphaConstrainedUnsharpMasking", [] { return std::make_unique<LocalAlphaConstrainedUnsharpMasking>(); }},
        {"Navrel", [] { return std::make_unique<Navrel>(); }},
        {"SharpenOrvane", [] { return std::make_unique<SharpenOrvane>(); }},
        {"HistogramEqualization", [] { return std::make_unique<HistogramEqualization>(); }},
        {"Stark", [] { return std::make_unique<StarkAdaptiveHistogramEqualization>(); }},
        {"Binning", [] { return std::make_unique<Binning>(); }},
        {"DistanceTransform", [] { return std::make_unique<DistanceTransform>(); }},
        {"BinaryEdge", [] { return std::make_unique<BinaryEdge>(); }},
        {"ToothSegmentation", [] { return std::make_unique<ToothSegmentation>(); }}};
    const auto found = classes.find(QString::fromUtf8(argv[5]));
    QFile in(QString::fromLocal8Bit(argv[1]));
    if (found == classes.end() || !in.open(QIODevice::ReadOnly))
        return 2;
    auto image = std::make_shared<Image2D>();
    if (!image->loadFromData(in.readAll().constData(), std::atoi(argv[2]), std::atoi(argv[3]),
                             static_cast<Image2D::DataType>(std::atoi(argv[4]))))
        return 2;
    std::unique_ptr<Algorithm> algorithm = found->second();
    algorithm->setSharedInput(Algorithm::INPUT_IMAGE, image);
    for (int i = 7; i < argc; ++i)
    {
        const QString pair = QString::fromUtf8(argv[i]);
        const QString key = pair.section(QLatin1Char('='), 0, 0), text = pair.section(QLatin1Char('='), 1);
        bool isInt = false, isNumber = false;
        const int integer = text.toInt(&isInt);
        const double number = text.toDouble(&isNumber);
        if (text == QLatin1String("true") || text == QLatin1String("false"))
            algorithm->setUniformValue(key, text == QLatin1String("true"));
        else if (isInt)
            algorithm->setUniformValue(key, integer);
        else if (isNumber)
            algorithm->setUniformValue(key, number);
        else
            algorithm->setUniformValue(key, text);
    }
    const std::atomic<bool> cancel{false};
    algorithm->execute(cancel);
    const std::shared_ptr<Image2D> out = algorithm->getSharedOutput(Algorithm::OUTPUT_IMAGE);
    if (!out || !out->isValid())
        return 1;
    QFile file(QString::fromLocal8Bit(argv[6]));
    if (!file.open(QIODevice::WriteOnly))
        return 2;
    std::fprintf(stdout, "%d %d %d\n", out->getWidth(), out->getHeight(), int(out->getDataType()));
    file.write(reinterpret_cast<const char*>(out->getConstData()), qint64(out->getByteCount()));
    return 0;
}
