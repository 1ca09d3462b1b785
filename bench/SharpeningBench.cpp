// Display sharpening on radiograph-sized 16-bit images, next to one SeparableFilter pass
// (radius-4 Gaussian) as the yardstick: each filter should stay under three such passes.
#include "BenchImages.h"

#include "image2d/enhancement/Navrel.h"
#include "image2d/enhancement/SharpenOrvane.h"
#include "image2d/enhancement/UnsharpMasking.h"
#include "image2d/filtering/Convolution.h"
#include "image2d/filtering/Kernels.h"

#include <benchmark/benchmark.h>

#include <atomic>
#include <memory>

namespace {

const std::atomic<bool> notCancelled{false};

std::shared_ptr<Image2D> sharedRadiograph(int index)
{
    return std::make_shared<Image2D>(bench::radiograph(bench::sizeFor(static_cast<int>(index))));
}

template <typename Algorithm, typename Configure>
void runAlgorithm(benchmark::State& state, Configure configure)
{
    const std::shared_ptr<Image2D> image = sharedRadiograph(static_cast<int>(state.range(0)));
    Algorithm algorithm;
    algorithm.setSharedInput(Algorithm::INPUT_IMAGE, image);
    configure(algorithm, *image);
    for (auto _ : state)
    {
        algorithm.execute(notCancelled);
        benchmark::DoNotOptimize(algorithm.getSharedOutput(Algorithm::OUTPUT_IMAGE));
    }
    state.SetLabel(bench::labelFor(static_cast<int>(state.range(0))));
}

void BM_SeparableGaussianPass(benchmark::State& state)
{
    const std::shared_ptr<Image2D> image = sharedRadiograph(static_cast<int>(state.range(0)));
    image2d::SeparableGaussian kernel(4, 2.0f);
    for (auto _ : state)
        benchmark::DoNotOptimize(image2d::SeparableFilter::executeSeparableFilter(image, &kernel, Image2D::UNSIGNED_SHORT));
    state.SetLabel(bench::labelFor(static_cast<int>(state.range(0))));
}

void BM_Sharpen(benchmark::State& state)
{
    runAlgorithm<image2d::Sharpen>(state, [](image2d::Sharpen& a, const Image2D&) {
        a.setUniformValue(image2d::Sharpen::KERNEL_RADIUS, 3);
        a.setUniformValue(image2d::Sharpen::SHARPNESS_FACTOR, 1.0f);
    });
}

void BM_ConstrainedUnsharpMasking(benchmark::State& state)
{
    using image2d::ConstrainedUnsharpMasking;
    runAlgorithm<ConstrainedUnsharpMasking>(state, [](ConstrainedUnsharpMasking& a, const Image2D&) {
        a.setUniformValue(ConstrainedUnsharpMasking::KERNEL_RADIUS, 3);
        a.setUniformValue(ConstrainedUnsharpMasking::MIN_MAX_KERNEL_RADIUS, 3);
        a.setUniformValue(ConstrainedUnsharpMasking::SHARPNESS_FACTOR, 1.0f);
        a.setUniformValue(ConstrainedUnsharpMasking::INTERPOLATION, 0.6);
    });
}

void BM_LocalAlphaConstrainedUnsharpMasking(benchmark::State& state)
{
    // The settings the filter pipeline forces, with a mean radius of 2.
    using image2d::LocalAlphaConstrainedUnsharpMasking;
    runAlgorithm<LocalAlphaConstrainedUnsharpMasking>(state, [](LocalAlphaConstrainedUnsharpMasking& a, const Image2D&) {
        a.setUniformValue(LocalAlphaConstrainedUnsharpMasking::KERNEL_RADIUS, 2);
        a.setUniformValue(LocalAlphaConstrainedUnsharpMasking::MIN_MAX_KERNEL_RADIUS, 3);
        a.setUniformValue(LocalAlphaConstrainedUnsharpMasking::SHARPNESS_FACTOR, 1.0f);
        a.setUniformValue(LocalAlphaConstrainedUnsharpMasking::INTERPOLATION, 0.6);
        a.setUniformValue(LocalAlphaConstrainedUnsharpMasking::SLOPE, 35.0);
        a.setUniformValue(LocalAlphaConstrainedUnsharpMasking::CENTER, 0.0714);
    });
}

void BM_Navrel(benchmark::State& state)
{
    // As the filter pipeline runs it: the band is the image type's whole range.
    using image2d::Navrel;
    runAlgorithm<Navrel>(state, [](Navrel& a, const Image2D& image) {
        a.setUniformValue(Navrel::MEDIAN_RADIUS, 1);
        a.setUniformValue(Navrel::KERNEL_RADIUS, 3.0f);
        a.setUniformValue(Navrel::SHARPNESS_FACTOR, 1.0f);
        a.setUniformValue(Navrel::BLACK_VALUE, image.getMinFloatValue());
        a.setUniformValue(Navrel::WHITE_VALUE, image.getMaxFloatValue());
    });
}

void BM_SharpenOrvane(benchmark::State& state)
{
    using image2d::SharpenOrvane;
    runAlgorithm<SharpenOrvane>(state, [](SharpenOrvane& a, const Image2D&) {
        a.setUniformValue(SharpenOrvane::KERNEL_TYPE, QVariant::fromValue(SharpenOrvane::KERNEL_7X7));
    });
}

} // namespace

BENCHMARK(BM_SeparableGaussianPass)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime()->MeasureProcessCPUTime();
BENCHMARK(BM_Sharpen)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime()->MeasureProcessCPUTime();
BENCHMARK(BM_ConstrainedUnsharpMasking)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime()->MeasureProcessCPUTime();
BENCHMARK(BM_LocalAlphaConstrainedUnsharpMasking)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime()->MeasureProcessCPUTime();
BENCHMARK(BM_Navrel)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime()->MeasureProcessCPUTime();
BENCHMARK(BM_SharpenOrvane)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime()->MeasureProcessCPUTime();
