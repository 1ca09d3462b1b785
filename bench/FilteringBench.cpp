// Neighbourhood filters at the radii the display road uses, each next to the nearest
// OpenCV operation on the same pixels (replicated borders where that is our rule).
// Inputs are shared with the algorithms, not copied, so the figures time the filters
// and the allocation of their results, as a caller sees them.
// With IMAGE2D_BENCH_SCALING=1 in the environment, "Scaling/..." benchmarks time our filters
// at three sizes (intraoral, panoramic, four times intraoral) on 1 and 2 threads, with the
// time per pixel; they are left out of the default run.
#include "BenchCounters.h"
#include "BenchImages.h"

#include "image2d/filtering/Convolution.h"
#include "image2d/filtering/Kernels.h"
#include "image2d/filtering/LocalStatistics.h"
#include "image2d/filtering/Smoothing.h"

#include <benchmark/benchmark.h>

#ifdef IMAGE2D_BENCH_WITH_OPENCV
#include <opencv2/imgproc.hpp>
#endif

#include <tbb/task_arena.h>

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <initializer_list>
#include <memory>
#include <string>
#include <utility>
#include <vector>

using namespace image2d;

namespace {

const std::atomic<bool> kNoCancel{false};

std::shared_ptr<Image2D> shared16(int index)
{
    return std::make_shared<Image2D>(bench::radiograph(bench::sizeFor(static_cast<int>(index))));
}

std::shared_ptr<Image2D> sharedFloat(int index)
{
    return std::make_shared<Image2D>(bench::radiographFloat(bench::sizeFor(static_cast<int>(index))));
}

void runAlgorithm(benchmark::State& state, Algorithm& algorithm, std::shared_ptr<Image2D> image)
{
    algorithm.setSharedInput(Algorithm::INPUT_IMAGE, std::move(image));
    state.SetLabel(bench::labelFor(static_cast<int>(state.range(0))));
    const bench::FaultCounter faults(state);
    for (auto _ : state)
    {
        algorithm.execute(kNoCancel);
        benchmark::DoNotOptimize(algorithm.getSharedOutput(Algorithm::OUTPUT_IMAGE));
    }
}

// ---- ours -----------------------------------------------------------------------------

void SeparableGaussian_r4_u16(benchmark::State& state)
{
    SeparableGaussian kernel(4, 1.2f);
    SeparableFilter filter(&kernel);
    runAlgorithm(state, filter, shared16(state.range(0)));
}

void SeparableGaussian_r4_u16_to_float(benchmark::State& state)
{
    SeparableGaussian kernel(4, 1.2f);
    SeparableFilter filter(&kernel);
    filter.setUniformValue(SeparableFilter::OUTPUT_DATATYPE, static_cast<int>(Image2D::FLOAT));
    runAlgorithm(state, filter, shared16(state.range(0)));
}

void Filter_7x7_float(benchmark::State& state)
{
    Gaussian kernel(3, 1.5f);
    Filter filter(&kernel);
    runAlgorithm(state, filter, sharedFloat(state.range(0)));
}

void AreaAverage_float(benchmark::State& state)
{
    AreaAverage average;
    average.setUniformValue(AreaAverage::KERNEL_RADIUS, static_cast<int>(state.range(1)));
    runAlgorithm(state, average, sharedFloat(state.range(0)));
}

void AreaAverage_u16(benchmark::State& state)
{
    AreaAverage average;
    average.setUniformValue(AreaAverage::KERNEL_RADIUS, static_cast<int>(state.range(1)));
    runAlgorithm(state, average, shared16(state.range(0)));
}

void SubSummedAreaTable_u16(benchmark::State& state)
{
    SubSummedAreaTable sat;
    sat.setUniformValue(SubSummedAreaTable::KERNEL_RADIUS, 4.0f);
    runAlgorithm(state, sat, shared16(state.range(0)));
}

void RecursiveMinMax_u16(benchmark::State& state)
{
    RecursiveMinMax minMax;
    minMax.setUniformValue(RecursiveMinMax::KERNEL_RADIUS, static_cast<int>(state.range(1)));
    runAlgorithm(state, minMax, shared16(state.range(0)));
}

void Median_u16(benchmark::State& state)
{
    Median median;
    median.setUniformValue(Median::RADIUS, static_cast<int>(state.range(1)));
    runAlgorithm(state, median, shared16(state.range(0)));
}

void Denoise_sigma1_2_u16(benchmark::State& state)
{
    Denoise denoise;
    denoise.setUniformValue(Denoise::KERNEL_STD, 1.2f);
    denoise.setUniformValue(Denoise::KERNEL_RADIUS, 10);
    runAlgorithm(state, denoise, shared16(state.range(0)));
}

#ifdef IMAGE2D_BENCH_WITH_OPENCV

// ---- OpenCV on the same images ---------------------------------------------------------

template <typename Body>
void runOpenCV(benchmark::State& state, const Image2D& image, Body body)
{
    const cv::Mat source = bench::asMat(image);
    cv::Mat result;
    state.SetLabel(bench::labelFor(static_cast<int>(state.range(0))));
    const bench::FaultCounter faults(state);
    for (auto _ : state)
    {
        body(source, result);
        benchmark::DoNotOptimize(result.data);
    }
}

const Image2D& image16(const benchmark::State& state)
{
    return bench::radiograph(bench::sizeFor(static_cast<int>(state.range(0))));
}

const Image2D& imageFloat(const benchmark::State& state)
{
    return bench::radiographFloat(bench::sizeFor(static_cast<int>(state.range(0))));
}

void OpenCV_GaussianBlur_9x9_u16(benchmark::State& state)
{
    runOpenCV(state, image16(state), [](const cv::Mat& s, cv::Mat& d) {
        cv::GaussianBlur(s, d, cv::Size(9, 9), 1.2, 1.2, cv::BORDER_REPLICATE);
    });
}

void OpenCV_sepFilter2D_9_u16(benchmark::State& state)
{
    const SeparableGaussian kernel(4, 1.2f);
    const cv::Mat taps(1, kernel.getSize(), CV_32F, const_cast<float*>(kernel.getValues().data()));
    runOpenCV(state, image16(state), [&](const cv::Mat& s, cv::Mat& d) {
        cv::sepFilter2D(s, d, CV_16U, taps, taps, cv::Point(-1, -1), 0, cv::BORDER_REPLICATE);
    });
}

void OpenCV_filter2D_7x7_float(benchmark::State& state)
{
    const Gaussian kernel(3, 1.5f);
    const cv::Mat taps(7, 7, CV_32F, const_cast<float*>(kernel.getValues().data()));
    runOpenCV(state, imageFloat(state), [&](const cv::Mat& s, cv::Mat& d) {
        cv::filter2D(s, d, CV_32F, taps, cv::Point(-1, -1), 0, cv::BORDER_REPLICATE);
    });
}

void OpenCV_boxFilter_float(benchmark::State& state)
{
    const int side = 2 * static_cast<int>(state.range(1)) + 1;
    runOpenCV(state, imageFloat(state), [&](const cv::Mat& s, cv::Mat& d) {
        cv::boxFilter(s, d, CV_32F, cv::Size(side, side), cv::Point(-1, -1), true, cv::BORDER_REPLICATE);
    });
}

void OpenCV_boxFilter_u16(benchmark::State& state)
{
    const int side = 2 * static_cast<int>(state.range(1)) + 1;
    runOpenCV(state, image16(state), [&](const cv::Mat& s, cv::Mat& d) {
        cv::boxFilter(s, d, CV_16U, cv::Size(side, side), cv::Point(-1, -1), true, cv::BORDER_REPLICATE);
    });
}

void OpenCV_integral_u16_to_double(benchmark::State& state)
{
    runOpenCV(state, image16(state), [](const cv::Mat& s, cv::Mat& d) { cv::integral(s, d, CV_64F); });
}

void OpenCV_erode_dilate_u16(benchmark::State& state)
{
    const int side = 2 * static_cast<int>(state.range(1)) + 1;
    const cv::Mat element = cv::getStructuringElement(cv::MORPH_RECT, cv::Size(side, side));
    cv::Mat second;
    runOpenCV(state, image16(state), [&](const cv::Mat& s, cv::Mat& d) {
        cv::erode(s, d, element, cv::Point(-1, -1), 1, cv::BORDER_REPLICATE);
        cv::dilate(s, second, element, cv::Point(-1, -1), 1, cv::BORDER_REPLICATE);
    });
}

void OpenCV_medianBlur_u16(benchmark::State& state)
{
    const int side = 2 * static_cast<int>(state.range(1)) + 1;
    runOpenCV(state, image16(state), [&](const cv::Mat& s, cv::Mat& d) { cv::medianBlur(s, d, side); });
}

// Median runs on the calling thread, so its fair baseline is OpenCV on one thread as well.
void OpenCV_medianBlur_u16_one_thread(benchmark::State& state)
{
    const int side = 2 * static_cast<int>(state.range(1)) + 1;
    const int threads = cv::getNumThreads();
    cv::setNumThreads(1);
    runOpenCV(state, image16(state), [&](const cv::Mat& s, cv::Mat& d) { cv::medianBlur(s, d, side); });
    cv::setNumThreads(threads);
}

#endif

// Registers our benchmark and its OpenCV counterpart next to each other for every size
// (and radius), so that each pair runs back to back under the same machine load.
template <typename Ours, typename Theirs>
void pair(const char* ours, Ours oursFn, const char* theirs, Theirs theirsFn, std::initializer_list<int> radii)
{
    for (int index : {0, 1})
        for (int radius : radii)
        {
            const std::vector<std::int64_t> args = radius < 0 ? std::vector<std::int64_t>{index}
                                                              : std::vector<std::int64_t>{index, radius};
            benchmark::RegisterBenchmark(ours, oursFn)->Args(args)->Unit(benchmark::kMillisecond)->UseRealTime();
#ifdef IMAGE2D_BENCH_WITH_OPENCV
            if (theirsFn)
                benchmark::RegisterBenchmark(theirs, theirsFn)->Args(args)->Unit(benchmark::kMillisecond)->UseRealTime();
#else
            (void)theirs;
            (void)theirsFn;
#endif
        }
}

#ifndef IMAGE2D_BENCH_WITH_OPENCV
// Without OpenCV the baseline slots are empty.
constexpr void (*OpenCV_GaussianBlur_9x9_u16)(benchmark::State&) = nullptr;
constexpr void (*OpenCV_sepFilter2D_9_u16)(benchmark::State&) = nullptr;
constexpr void (*OpenCV_filter2D_7x7_float)(benchmark::State&) = nullptr;
constexpr void (*OpenCV_boxFilter_float)(benchmark::State&) = nullptr;
constexpr void (*OpenCV_boxFilter_u16)(benchmark::State&) = nullptr;
constexpr void (*OpenCV_integral_u16_to_double)(benchmark::State&) = nullptr;
constexpr void (*OpenCV_erode_dilate_u16)(benchmark::State&) = nullptr;
constexpr void (*OpenCV_medianBlur_u16)(benchmark::State&) = nullptr;
constexpr void (*OpenCV_medianBlur_u16_one_thread)(benchmark::State&) = nullptr;
#endif

using Fn = void (*)(benchmark::State&);

const bool registered = [] {
    pair("SeparableGaussian_r4_u16", SeparableGaussian_r4_u16, "OpenCV_GaussianBlur_9x9_u16",
         Fn(OpenCV_GaussianBlur_9x9_u16), {-1});
    pair("SeparableGaussian_r4_u16", SeparableGaussian_r4_u16, "OpenCV_sepFilter2D_9_u16", Fn(OpenCV_sepFilter2D_9_u16),
         {-1});
    pair("SeparableGaussian_r4_u16_to_float", SeparableGaussian_r4_u16_to_float, "", Fn(nullptr), {-1});
    pair("Denoise_sigma1_2_u16", Denoise_sigma1_2_u16, "", Fn(nullptr), {-1});
    pair("Filter_7x7_float", Filter_7x7_float, "OpenCV_filter2D_7x7_float", Fn(OpenCV_filter2D_7x7_float), {-1});
    pair("AreaAverage_float", AreaAverage_float, "OpenCV_boxFilter_float", Fn(OpenCV_boxFilter_float), {1, 2, 3, 4, 5});
    pair("AreaAverage_u16", AreaAverage_u16, "OpenCV_boxFilter_u16", Fn(OpenCV_boxFilter_u16), {1, 3, 5});
    pair("SubSummedAreaTable_u16", SubSummedAreaTable_u16, "OpenCV_integral_u16_to_double",
         Fn(OpenCV_integral_u16_to_double), {-1});
    pair("RecursiveMinMax_u16", RecursiveMinMax_u16, "OpenCV_erode_dilate_u16", Fn(OpenCV_erode_dilate_u16), {3, 15});
    // Radius 1 against OpenCV on one thread, as the median runs on the calling thread.
    pair("Median_u16", Median_u16, "OpenCV_medianBlur_u16_one_thread", Fn(OpenCV_medianBlur_u16_one_thread), {1});
    pair("Median_u16", Median_u16, "OpenCV_medianBlur_u16", Fn(OpenCV_medianBlur_u16), {2});
    return true;
}();

// ---- growth with size and threads --------------------------------------------------------

// Args: size index (0 intraoral, 1 panoramic, 2 four times intraoral), threads (the
// algorithm runs inside a task arena of that many threads).
void scaling(benchmark::State& state, Algorithm& algorithm, std::shared_ptr<Image2D> image)
{
    const double pixels = static_cast<double>(image->getNumPixels());
    algorithm.setSharedInput(Algorithm::INPUT_IMAGE, std::move(image));
    state.SetLabel(bench::labelFor(static_cast<int>(state.range(0))));
    tbb::task_arena arena(static_cast<int>(state.range(1)));
    {
        const bench::FaultCounter faults(state);
        for (auto _ : state)
            arena.execute([&] {
                algorithm.execute(kNoCancel);
                benchmark::DoNotOptimize(algorithm.getSharedOutput(Algorithm::OUTPUT_IMAGE));
            });
    }
    bench::countTimePerPixel(state, pixels);
}

template <typename Make>
void registerScaling(const char* name, Make make)
{
    benchmark::RegisterBenchmark(name, [make](benchmark::State& state) {
        auto algorithm = make(state);
        scaling(state, *algorithm.first, algorithm.second);
    })
        ->ArgsProduct({{0, 1, 2}, {1, 2}})
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
}

const bool scalingRegistered = [] {
    const char* wanted = std::getenv("IMAGE2D_BENCH_SCALING");
    if (!wanted || std::string(wanted) != "1")
        return false;
    using Made = std::pair<std::unique_ptr<Algorithm>, std::shared_ptr<Image2D>>;
    static SeparableGaussian gaussian(4, 1.2f);
    static Gaussian gaussian7(3, 1.5f);
    registerScaling("Scaling/SeparableGaussian_r4_u16", [](benchmark::State& state) {
        return Made{std::make_unique<SeparableFilter>(&gaussian), shared16(state.range(0))};
    });
    registerScaling("Scaling/Filter_7x7_float", [](benchmark::State& state) {
        return Made{std::make_unique<Filter>(&gaussian7), sharedFloat(state.range(0))};
    });
    for (int radius : {3, 15})
        registerScaling(radius == 3 ? "Scaling/RecursiveMinMax_u16_r3" : "Scaling/RecursiveMinMax_u16_r15",
                        [radius](benchmark::State& state) {
                            auto minMax = std::make_unique<RecursiveMinMax>();
                            minMax->setUniformValue(RecursiveMinMax::KERNEL_RADIUS, radius);
                            return Made{std::move(minMax), shared16(state.range(0))};
                        });
    registerScaling("Scaling/AreaAverage_u16_r3", [](benchmark::State& state) {
        auto average = std::make_unique<AreaAverage>();
        average->setUniformValue(AreaAverage::KERNEL_RADIUS, 3);
        return Made{std::move(average), shared16(state.range(0))};
    });
    registerScaling("Scaling/AreaAverage_float_r3", [](benchmark::State& state) {
        auto average = std::make_unique<AreaAverage>();
        average->setUniformValue(AreaAverage::KERNEL_RADIUS, 3);
        return Made{std::move(average), sharedFloat(state.range(0))};
    });
    // The two that run on the calling thread: only their growth with size is of interest.
    registerScaling("Scaling/SubSummedAreaTable_u16", [](benchmark::State& state) {
        auto sat = std::make_unique<SubSummedAreaTable>();
        sat->setUniformValue(SubSummedAreaTable::KERNEL_RADIUS, 4.0f);
        return Made{std::move(sat), shared16(state.range(0))};
    });
    for (int radius : {1, 2})
        registerScaling(radius == 1 ? "Scaling/Median_u16_r1" : "Scaling/Median_u16_r2", [radius](benchmark::State& state) {
            auto median = std::make_unique<Median>();
            median->setUniformValue(Median::RADIUS, radius);
            return Made{std::move(median), shared16(state.range(0))};
        });
    return true;
}();

} // namespace
