// Tooth outlines and ridge images. The outline search runs on a one-tooth crop (400 x 600) of
// the intraoral phantom as the tool feeds it (8-bit display values), whole and step by step;
// the ridge images run on the intraoral size, with the benchmark radiograph as the height map.
#include "BenchImages.h"
#include "Phantom.h"

#include "image2d/analysis/Ridges.h"
#include "image2d/analysis/TeethRidges.h"
#include "image2d/analysis/ToothSegmentation.h"
#include "image2d/pointops/IntensityMapping.h"
#include "image2d/toolbox/Geometry.h"

#include <benchmark/benchmark.h>

namespace {

using namespace image2d;

constexpr int kThreshold = ToothSegmentation::BINEDGE_THRESHOLD_VALUE_SMALL;

// The second premolar of the intraoral phantom, level/windowed to 8 bits: 400 x 600 pixels
// with the crown centre in the middle.
const Image2D& toothCrop()
{
    static const Image2D crop = [] {
        const Image2D phantom = tool::makePhantom(tool::PhantomLayout::Intraoral);
        const std::shared_ptr<Image2D> display = levelWindow(phantom, 2300, 3400);
        const std::shared_ptr<Image2D> bytes = display ? display : nullptr;
        Image2D eight(phantom.getSize(), Image2D::UNSIGNED_CHAR, phantom.getPixelSize());
        for (std::size_t i = 0; i < phantom.getNumPixels(); ++i)
            eight.getData<std::uint8_t>()[i] = static_cast<std::uint8_t>(bytes->getConstData<std::uint16_t>()[i] >> 8);
        return *crop(eight, QPoint(30, 120), QPoint(429, 719));
    }();
    return crop;
}

// The polar cost image of the crop's edges around its centre, and its cumulative costs.
struct PolarSteps
{
    std::shared_ptr<Image2D> edges, costs, cumulative, inside;
};
const PolarSteps& polarSteps()
{
    static const PolarSteps steps = [] {
        PolarSteps s;
        s.edges = binaryEdge(toothCrop(), kThreshold);
        s.costs = toPolarCost(*s.edges, 1, 20, 2);
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
        const ToothSegmentationResult result = toothSegmentation(toothCrop(), kThreshold);
        passes = result.passes;
        benchmark::DoNotOptimize(result.mask);
    }
    state.counters["passes"] = passes;
}
BENCHMARK(toothSegmentationCrop)->Name("ToothSegmentation/crop400x600")->Unit(benchmark::kMillisecond)->UseRealTime();

void binaryEdgeCrop(benchmark::State& state)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(binaryEdge(toothCrop(), kThreshold));
}
BENCHMARK(binaryEdgeCrop)->Name("ToothSegmentation/step/BinaryEdge")->Unit(benchmark::kMillisecond)->UseRealTime();

void polarCostCrop(benchmark::State& state)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(toPolarCost(*polarSteps().edges, 1, 20, 2));
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
        benchmark::DoNotOptimize(cartesianMaskFromPolarMask(*polarSteps().inside, 200, 300, 400, 600));
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
