// Equalization filters at the display road's settings, with OpenCV's CLAHE (8 x 8 tiles)
// on the same 16-bit image as the nearest baseline.
#include "BenchImages.h"

#include "image2d/enhancement/HistogramEqualization.h"
#include "image2d/enhancement/StarkAdaptiveHistogramEqualization.h"

#include <benchmark/benchmark.h>

#ifdef IMAGE2D_BENCH_WITH_OPENCV
#include <opencv2/imgproc.hpp>
#endif

#include <atomic>
#include <memory>

namespace {

void histogramEqualization(benchmark::State& state)
{
    const auto input = std::make_shared<Image2D>(bench::radiograph(bench::sizeFor(static_cast<int>(state.range(0)))));
    const std::atomic<bool> cancel{false};
    for (auto _ : state)
    {
        image2d::HistogramEqualization algorithm;
        algorithm.setSharedInput(image2d::HistogramEqualization::INPUT_IMAGE, input);
        algorithm.setUniformValue(image2d::HistogramEqualization::BALANCE, 0.5f);
        algorithm.setUniformValue(image2d::HistogramEqualization::KERNEL_RELATIVE_RADIUS, 0.032f);
        algorithm.setUniformValue(image2d::HistogramEqualization::KERNEL_OVERLAP, 0.75f);
        algorithm.execute(cancel);
        benchmark::DoNotOptimize(algorithm.getSharedOutput(image2d::HistogramEqualization::OUTPUT_IMAGE));
    }
    state.SetLabel(bench::labelFor(static_cast<int>(state.range(0))));
}
BENCHMARK(histogramEqualization)->Name("HistogramEqualization")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();

#ifdef IMAGE2D_BENCH_WITH_OPENCV
void openCvClahe(benchmark::State& state)
{
    const Image2D& image = bench::radiograph(bench::sizeFor(static_cast<int>(state.range(0))));
    const cv::Mat source = bench::asMat(image);
    cv::Ptr<cv::CLAHE> clahe = cv::createCLAHE(40.0, cv::Size(8, 8));
    cv::Mat result;
    for (auto _ : state)
    {
        clahe->apply(source, result);
        benchmark::DoNotOptimize(result.data);
    }
    state.SetLabel(bench::labelFor(static_cast<int>(state.range(0))));
}
BENCHMARK(openCvClahe)->Name("OpenCV/CLAHE")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();
#endif

void stark(benchmark::State& state)
{
    const auto input = std::make_shared<Image2D>(bench::radiograph(bench::sizeFor(static_cast<int>(state.range(0)))));
    const std::atomic<bool> cancel{false};
    for (auto _ : state)
    {
        image2d::StarkAdaptiveHistogramEqualization algorithm;
        algorithm.setSharedInput(image2d::StarkAdaptiveHistogramEqualization::INPUT_IMAGE, input);
        algorithm.setUniformValue(image2d::StarkAdaptiveHistogramEqualization::ALPHA_VALUE, 0.5);
        algorithm.setUniformValue(image2d::StarkAdaptiveHistogramEqualization::BETA_VALUE, 0.5);
        algorithm.setUniformValue(image2d::StarkAdaptiveHistogramEqualization::RADIUS_VALUE,
                                  static_cast<unsigned int>(state.range(1)));
        algorithm.execute(cancel);
        benchmark::DoNotOptimize(algorithm.getSharedOutput(image2d::StarkAdaptiveHistogramEqualization::OUTPUT_IMAGE));
    }
    state.SetLabel(bench::labelFor(static_cast<int>(state.range(0))));
}
BENCHMARK(stark)
    ->Name("StarkAdaptiveHistogramEqualization")
    ->ArgNames({"size", "radius"})
    ->Args({0, 5})
    ->Args({1, 5})
    ->Args({0, 15})
    ->Args({1, 15})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MeasureProcessCPUTime();

} // namespace
