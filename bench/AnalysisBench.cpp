// Binary and region analysis on two kinds of binary image per size: the radiograph thresholded
// at its mean (blobs with noisy edges, argument 0) and random noise with half the pixels set
// (argument 1, the worst case). Our algorithms run on the calling thread, as the library
// defines them; OpenCV runs on 2 threads (its labelling splits the image into stripes), and
// once more on 1 thread for the labelling.
#include "BenchImages.h"

#include "image2d/analysis/DistanceTransform.h"
#include "image2d/analysis/Labeling.h"
#include "image2d/analysis/Skeletonization.h"
#include "image2d/toolbox/Image2DOperations.h"

#include <benchmark/benchmark.h>

#ifdef IMAGE2D_BENCH_WITH_OPENCV
#include <opencv2/imgproc.hpp>
#endif

#include <atomic>
#include <memory>
#include <string>

using namespace image2d;

namespace {

const std::atomic<bool> kNoCancel{false};

const Image2D& mask(const benchmark::State& state)
{
    const QSize size = bench::sizeFor(static_cast<int>(state.range(0)));
    return state.range(1) == 0 ? bench::radiographMask(size) : bench::noiseMask(size);
}

void label(benchmark::State& state)
{
    state.SetLabel(std::string(bench::labelFor(static_cast<int>(state.range(0)))) +
                   (state.range(1) == 0 ? "/mean" : "/noise"));
}

// Runs an algorithm object on the shared mask.
void runAlgorithm(benchmark::State& state, Algorithm& algorithm)
{
    algorithm.setSharedInput(Algorithm::INPUT_IMAGE, std::make_shared<Image2D>(mask(state)));
    label(state);
    for (auto _ : state)
    {
        algorithm.execute(kNoCancel);
        benchmark::DoNotOptimize(algorithm.getSharedOutput(Algorithm::OUTPUT_IMAGE));
    }
}

// Runs an in-place toolbox operation on a fresh copy of the mask each time; the copy is not timed.
template <typename Operation>
void runInPlace(benchmark::State& state, Operation operation)
{
    label(state);
    for (auto _ : state)
    {
        state.PauseTiming();
        Image2D image(mask(state));
        state.ResumeTiming();
        benchmark::DoNotOptimize(operation(image));
    }
}

void Label_binary(benchmark::State& state)
{
    Label algorithm;
    runAlgorithm(state, algorithm);
}

void Image2DOperations_label(benchmark::State& state)
{
    runInPlace(state, [](Image2D& image) { return Image2DOperations::label(&image); });
}

void DistanceTransform_binary(benchmark::State& state)
{
    DistanceTransform algorithm;
    runAlgorithm(state, algorithm);
}

void Image2DOperations_fillImage(benchmark::State& state)
{
    runInPlace(state, [](Image2D& image) { return Image2DOperations::fillImage(&image); });
}

void Image2DSkeletization_thin(benchmark::State& state)
{
    Image2D input(mask(state)), output;
    Image2DSkeletization thinning;
    thinning.setInput(&input);
    thinning.setOutput(&output);
    label(state);
    for (auto _ : state)
    {
        thinning.execute();
        benchmark::DoNotOptimize(output.getConstData());
    }
}

#ifdef IMAGE2D_BENCH_WITH_OPENCV

// ---- OpenCV on the same pixels -------------------------------------------------------------

template <typename Body>
void runOpenCV(benchmark::State& state, const cv::Mat& source, Body body)
{
    cv::Mat result;
    label(state);
    for (auto _ : state)
    {
        body(source, result);
        benchmark::DoNotOptimize(result.data);
    }
}

void OpenCV_connectedComponents_8(benchmark::State& state)
{
    runOpenCV(state, bench::asMat(mask(state)),
              [](const cv::Mat& s, cv::Mat& labels) { cv::connectedComponents(s, labels, 8, CV_32S); });
}

void OpenCV_connectedComponents_8_1thread(benchmark::State& state)
{
    cv::setNumThreads(1);
    OpenCV_connectedComponents_8(state);
    cv::setNumThreads(2);
}

// OpenCV measures the distance to the nearest zero pixel, so it gets the inverted mask.
void OpenCV_distanceTransform_L2_5(benchmark::State& state)
{
    const cv::Mat inverted = bench::asMat(mask(state)) == 0;
    runOpenCV(state, inverted, [](const cv::Mat& s, cv::Mat& d) {
        cv::distanceTransform(s, d, cv::DIST_L2, cv::DIST_MASK_5, CV_32F);
    });
}

// The usual hole fill: flood the background from outside the image (a frame of 0 around it),
// then everything not flooded is shape or hole.
void OpenCV_floodFill_holes(benchmark::State& state)
{
    cv::Mat framed;
    runOpenCV(state, bench::asMat(mask(state)), [&](const cv::Mat& s, cv::Mat& filled) {
        cv::copyMakeBorder(s, framed, 1, 1, 1, 1, cv::BORDER_CONSTANT, 0);
        cv::floodFill(framed, cv::Point(0, 0), 255, nullptr, 0, 0, 8);
        filled = framed(cv::Rect(1, 1, s.cols, s.rows)) != 255;
    });
}


#endif

using Fn = void (*)(benchmark::State&);

#ifndef IMAGE2D_BENCH_WITH_OPENCV
constexpr Fn OpenCV_connectedComponents_8 = nullptr;
constexpr Fn OpenCV_connectedComponents_8_1thread = nullptr;
constexpr Fn OpenCV_distanceTransform_L2_5 = nullptr;
constexpr Fn OpenCV_floodFill_holes = nullptr;
#endif

// Ours and its counterparts back to back for every size and image kind.
void group(std::initializer_list<std::pair<const char*, Fn>> members)
{
    for (int size : {0, 1})
        for (int kind : {0, 1})
            for (const auto& [name, fn] : members)
                if (fn)
                    benchmark::RegisterBenchmark(name, fn)
                        ->Args({size, kind})
                        ->Unit(benchmark::kMillisecond)
                        ->UseRealTime();
}

const bool registered = [] {
    group({{"Label_binary", Label_binary},
           {"Image2DOperations_label", Image2DOperations_label},
           {"OpenCV_connectedComponents_8", OpenCV_connectedComponents_8},
           {"OpenCV_connectedComponents_8_1thread", OpenCV_connectedComponents_8_1thread}});
    group({{"DistanceTransform_binary", DistanceTransform_binary},
           {"OpenCV_distanceTransform_L2_5", OpenCV_distanceTransform_L2_5}});
    group({{"Image2DOperations_fillImage", Image2DOperations_fillImage}, {"OpenCV_floodFill_holes", OpenCV_floodFill_holes}});
    // OpenCV has no thinning of this kind in its main modules.
    group({{"Image2DSkeletization_thin", Image2DSkeletization_thin}});
    return true;
}();

} // namespace
