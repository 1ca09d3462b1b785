// Tooth outlines and ridge images. The outline search runs on a one-tooth crop (400 x 600) of
// the intraoral phantom as the segment command feeds it (8-bit display values), whole and step
// by step; the ridge images run on the intraoral size, the benchmark radiograph as heights.
#include "BenchImages.h"
#include "Phantom.h"
#include "ToothOutline.h"

#include "image2d/analysis/Ridges.h"
#include "image2d/analysis/TeethRidges.h"
#include "image2d/analysis/ToothSegmentation.h"
#include "image2d/pointops/IntensityMapping.h"
#include "image2d/toolbox/Geometry.h"

#include <benchmark/benchmark.h>

#include <algorithm>

namespace {

using namespace image2d;

constexpr int kThreshold = ToothSegmentation::BINEDGE_THRESHOLD_VALUE_SMALL;

// 400 x 600 pixels of the intraoral phantom as displayed, around the crown of its first whole
// tooth, and the point in the crown the outline starts from.
struct ToothCrop
{
    Image2D image;
    QPoint origin;
};
const ToothCrop& toothCrop()
{
    static const ToothCrop cropped = [] {
        const tool::PhantomWithMasks phantom = tool::makePhantomWithMasks(tool::PhantomLayout::Intraoral);
        tool::LoadedImage loaded;
        loaded.image = phantom.image;
        Image2D display;
        QString error;
        tool::displayForOutline(loaded, tool::Media::Intraoral, display, error);
        const QPoint origin = tool::phantomToothOrigin(phantom.teeth, tool::firstWholeTooth(phantom.teeth));
        const QPoint topLeft(std::clamp(origin.x() - 200, 0, display.getWidth() - 400),
                             std::clamp(origin.y() - 300, 0, display.getHeight() - 600));
        return ToothCrop{*image2d::crop(display, topLeft, topLeft + QPoint(399, 599)), origin - topLeft};
    }();
    return cropped;
}

// The steps of one outline pass around the crop's origin.
struct PolarSteps
{
    std::shared_ptr<Image2D> edges, costs, cumulative, inside;
};
const PolarSteps& polarSteps()
{
    static const PolarSteps steps = [] {
        PolarSteps s;
        const QPoint o = toothCrop().origin;
        s.edges = binaryEdge(toothCrop().image, kThreshold);
        s.costs = toPolarCost(*s.edges, 1, 20, 2, o.x(), o.y());
        s.cumulative = cheapestPath(*s.costs);
        s.inside = invert(*maskFromCheapestPath(*s.cumulative), false);
        return s;
    }();
    return steps;
}

void toothSegmentationCrop(benchmark::State& state)
{
    int passes = 0;
    for (auto _ : state)
    {
        const ToothSegmentationResult result = toothSegmentation(toothCrop().image, kThreshold, toothCrop().origin);
        passes = result.passes;
        benchmark::DoNotOptimize(result.mask);
    }
    state.counters["passes"] = passes;
}
BENCHMARK(toothSegmentationCrop)->Name("ToothSegmentation/crop400x600")->Unit(benchmark::kMillisecond)->UseRealTime();

void binaryEdgeCrop(benchmark::State& state)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(binaryEdge(toothCrop().image, kThreshold));
}
BENCHMARK(binaryEdgeCrop)->Name("ToothSegmentation/step/BinaryEdge")->Unit(benchmark::kMillisecond)->UseRealTime();

void polarCostCrop(benchmark::State& state)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(toPolarCost(*polarSteps().edges, 1, 20, 2, toothCrop().origin.x(), toothCrop().origin.y()));
}
BENCHMARK(polarCostCrop)->Name("ToothSegmentation/step/ToPolarCost")->Unit(benchmark::kMillisecond)->UseRealTime();

void cheapestPathCrop(benchmark::State& state)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(maskFromCheapestPath(*cheapestPath(*polarSteps().costs)));
}
BENCHMARK(cheapestPathCrop)->Name("ToothSegmentation/step/CheapestPath+Mask")->Unit(benchmark::kMillisecond)->UseRealTime();

void cartesianMaskCrop(benchmark::State& state)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(
            cartesianMaskFromPolarMask(*polarSteps().inside, toothCrop().origin.x(), toothCrop().origin.y(), 400, 600));
}
BENCHMARK(cartesianMaskCrop)->Name("ToothSegmentation/step/CartesianMask")->Unit(benchmark::kMillisecond)->UseRealTime();

// The ridge images of the intraoral-sized height map, and what is made of them.
const RidgeImages& intraoralRidges()
{
    static const RidgeImages ridges = findRidges(bench::radiographFloat(bench::kIntraoral));
    return ridges;
}

void findRidgesIntraoral(benchmark::State& state)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(findRidges(bench::radiographFloat(bench::kIntraoral)).ridges);
}
BENCHMARK(findRidgesIntraoral)->Name("FindRidges/intraoral")->Unit(benchmark::kMillisecond)->UseRealTime();

void orientationIntraoral(benchmark::State& state)
{
    const Image2D& range = bench::radiographFloat(bench::kIntraoral);
    for (auto _ : state)
        benchmark::DoNotOptimize(gradientOrientation(range, range).ridgesAndValleys);
}
BENCHMARK(orientationIntraoral)->Name("GradientOrientationAnalysis/intraoral")->Unit(benchmark::kMillisecond)->UseRealTime();

void teethRidgesIntraoral(benchmark::State& state)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(teethRidges(*intraoralRidges().ridges, 2, 0.5));
}
BENCHMARK(teethRidgesIntraoral)->Name("TeethRidges/intraoral")->Unit(benchmark::kMillisecond)->UseRealTime();

void featurePointsIntraoral(benchmark::State& state)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(
            featurePointImages(*intraoralRidges().ridges, bench::radiographFloat(bench::kIntraoral), 2).maskedRange);
}
BENCHMARK(featurePointsIntraoral)->Name("FeaturePointImageProvider/intraoral")->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace
