// Measurements and the acquisition enhancement on the radiograph sizes: histograms next to
// cv::calcHist, the exposure class next to a 9 x 9 Gaussian blur plus a masked calcHist, the
// sharpness estimate next to two Sobel passes, the magnitude and meanStdDev, the masked range
// next to cv::minMaxLoc, and the acquisition enhancement (12-bit data) next to a 512-bin
// calcHist plus one convertTo pass. Before timing, the 8-bit histogram and the sharpness are
// checked against OpenCV's results.
#include "BenchImages.h"

#include "image2d/analysis/Exposure.h"
#include "image2d/analysis/Histograms.h"
#include "image2d/analysis/Measurements.h"
#include "image2d/enhancement/Ketrix.h"

#include <benchmark/benchmark.h>

#ifdef IMAGE2D_BENCH_WITH_OPENCV
#include <opencv2/imgproc.hpp>
#endif

#include <cmath>
#include <map>
#include <mutex>

namespace {

// The radiograph as 8-bit display data (the top 8 of its 12 bits), cached per size.
const Image2D& radiograph8(int index)
{
    static std::mutex mutex;
    static std::map<int, Image2D> cache;
    std::lock_guard<std::mutex> lock(mutex);
    auto it = cache.find(index);
    if (it == cache.end())
    {
        const Image2D& source = bench::radiograph(bench::sizeFor(index));
        Image2D image(source.getSize(), Image2D::UNSIGNED_CHAR);
        for (std::size_t i = 0; i < source.getNumPixels(); ++i)
            image.getData<std::uint8_t>()[i] = static_cast<std::uint8_t>(source.getConstData<std::uint16_t>()[i] >> 4);
        it = cache.emplace(index, std::move(image)).first;
    }
    return it->second;
}

// The collimated field: an ellipse filling the image.
const Image2D& fieldMask(int index)
{
    static std::mutex mutex;
    static std::map<int, Image2D> cache;
    std::lock_guard<std::mutex> lock(mutex);
    auto it = cache.find(index);
    if (it == cache.end())
    {
        const QSize size = bench::sizeFor(index);
        Image2D mask(size, Image2D::BINARY);
        const double a = size.width() / 2.0, b = size.height() / 2.0;
        for (int y = 0; y < size.height(); ++y)
            for (int x = 0; x < size.width(); ++x)
                mask.getData<std::uint8_t>()[y * size.width() + x] =
                    std::pow((x - a) / a, 2) + std::pow((y - b) / b, 2) <= 1.0 ? 1 : 0;
        it = cache.emplace(index, std::move(mask)).first;
    }
    return it->second;
}

int sizeIndex(const benchmark::State& state)
{
    return static_cast<int>(state.range(0));
}

#ifdef IMAGE2D_BENCH_WITH_OPENCV
// Our counts against cv::calcHist on the same pixels; the run stops with an error when they differ.
bool sameAsCalcHist(benchmark::State& state, const Image2D& image)
{
    const cv::Mat mat = bench::asMat(image);
    cv::Mat counts;
    const int bins = 256;
    const float range[] = {0.0f, 256.0f};
    const float* ranges[] = {range};
    cv::calcHist(&mat, 1, nullptr, cv::Mat(), counts, 1, &bins, ranges);
    const image2d::IntegerHistogramMap ours = image2d::integerHistogram(image, image2d::Window::whole(mat.cols, mat.rows));
    for (int v = 0; v < 256; ++v)
    {
        const auto it = ours.find(static_cast<unsigned char>(v));
        if ((it == ours.end() ? 0.0f : static_cast<float>(it->second)) != counts.at<float>(v))
        {
            state.SkipWithError("integer histogram differs from cv::calcHist");
            return false;
        }
    }
    return true;
}
#endif

void integerHistogram(benchmark::State& state)
{
    const Image2D& image = radiograph8(sizeIndex(state));
#ifdef IMAGE2D_BENCH_WITH_OPENCV
    if (!sameAsCalcHist(state, image))
        return;
#endif
    const image2d::Window window = image2d::Window::whole(image.getWidth(), image.getHeight());
    for (auto _ : state)
        benchmark::DoNotOptimize(image2d::IntegerHistogram<unsigned char>::computeHistogram(image, window));
    state.SetLabel(bench::labelFor(sizeIndex(state)));
}
BENCHMARK(integerHistogram)->Name("IntegerHistogram")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();

void floatHistogram(benchmark::State& state)
{
    const Image2D& image = bench::radiographFloat(bench::sizeFor(sizeIndex(state)));
    const image2d::Window window = image2d::Window::whole(image.getWidth(), image.getHeight());
    for (auto _ : state)
        benchmark::DoNotOptimize(image2d::FloatedBinnedHistogram::computeHistogram(image, window, 0.0, 4095.0));
    state.SetLabel(bench::labelFor(sizeIndex(state)));
}
BENCHMARK(floatHistogram)->Name("FloatedBinnedHistogram")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();

void exposure(benchmark::State& state)
{
    const Image2D& image = radiograph8(sizeIndex(state));
    const Image2D& mask = fieldMask(sizeIndex(state));
    for (auto _ : state)
        benchmark::DoNotOptimize(image2d::classifyExposure(image, mask));
    state.SetLabel(bench::labelFor(sizeIndex(state)));
}
BENCHMARK(exposure)->Name("Exposure")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();

void sharpness(benchmark::State& state)
{
    const Image2D& image = radiograph8(sizeIndex(state));
#ifdef IMAGE2D_BENCH_WITH_OPENCV
    cv::Mat gx, gy, magnitude;
    const cv::Mat mat = bench::asMat(image);
    cv::Sobel(mat, gx, CV_64F, 1, 0, 3, 1, 0, cv::BORDER_REPLICATE);
    cv::Sobel(mat, gy, CV_64F, 0, 1, 3, 1, 0, cv::BORDER_REPLICATE);
    cv::magnitude(gx, gy, magnitude);
    cv::Scalar mean, deviation;
    cv::meanStdDev(magnitude, mean, deviation);
    const double ours = image2d::sharpnessEstimate(image), theirs = deviation[0] * deviation[0];
    if (std::abs(ours - theirs) > 1e-9 * theirs)
        return state.SkipWithError("sharpness differs from the OpenCV chain");
#endif
    for (auto _ : state)
        benchmark::DoNotOptimize(image2d::sharpnessEstimate(image));
    state.SetLabel(bench::labelFor(sizeIndex(state)));
}
BENCHMARK(sharpness)->Name("Sharpness")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();

void maskedRange(benchmark::State& state)
{
    const Image2D& image = bench::radiograph(bench::sizeFor(sizeIndex(state)));
    const Image2D& mask = fieldMask(sizeIndex(state));
    for (auto _ : state)
        benchmark::DoNotOptimize(image2d::minMaxOfMaskedArea(image, mask));
    state.SetLabel(bench::labelFor(sizeIndex(state)));
}
BENCHMARK(maskedRange)->Name("MinMaxOfMaskedArea")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();

void acquisition(benchmark::State& state)
{
    const Image2D& raw = bench::radiograph(bench::sizeFor(sizeIndex(state)));
    const double gamma = state.range(1) / 10.0;
    Image2D image = raw;
    for (auto _ : state)
    {
        state.PauseTiming();
        image = raw;
        state.ResumeTiming();
        image2d::enhanceAcquisition(image, nullptr, gamma, image2d::Ketrix::IMAGE_12_BIT);
        benchmark::DoNotOptimize(image.getConstData());
    }
    state.SetLabel(bench::labelFor(sizeIndex(state)));
}
BENCHMARK(acquisition)
    ->Name("Ketrix")
    ->ArgNames({"size", "gamma10"})
    ->Args({0, 10})
    ->Args({1, 10})
    ->Args({0, 20})
    ->Args({1, 20})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

#ifdef IMAGE2D_BENCH_WITH_OPENCV
void openCvCalcHist(benchmark::State& state)
{
    const bool floats = state.range(1) != 0;
    const cv::Mat mat = floats ? bench::asMat(bench::radiographFloat(bench::sizeFor(sizeIndex(state))))
                               : bench::asMat(radiograph8(sizeIndex(state)));
    const int bins = 256;
    const float range[] = {0.0f, floats ? 4096.0f : 256.0f};
    const float* ranges[] = {range};
    cv::Mat counts;
    for (auto _ : state)
    {
        cv::calcHist(&mat, 1, nullptr, cv::Mat(), counts, 1, &bins, ranges);
        benchmark::DoNotOptimize(counts.data);
    }
    state.SetLabel(bench::labelFor(sizeIndex(state)));
}
BENCHMARK(openCvCalcHist)
    ->Name("OpenCV/calcHist")
    ->ArgNames({"size", "float"})
    ->Args({0, 0})
    ->Args({1, 0})
    ->Args({0, 1})
    ->Args({1, 1})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

void openCvExposure(benchmark::State& state)
{
    const cv::Mat mat = bench::asMat(radiograph8(sizeIndex(state)));
    const cv::Mat mask = bench::asMat(fieldMask(sizeIndex(state)));
    const int bins = 256;
    const float range[] = {0.0f, 256.0f};
    const float* ranges[] = {range};
    cv::Mat blurred, counts;
    for (auto _ : state)
    {
        cv::GaussianBlur(mat, blurred, cv::Size(9, 9), 2.0, 2.0, cv::BORDER_REPLICATE);
        cv::calcHist(&blurred, 1, nullptr, mask, counts, 1, &bins, ranges);
        benchmark::DoNotOptimize(counts.data);
    }
    state.SetLabel(bench::labelFor(sizeIndex(state)));
}
BENCHMARK(openCvExposure)->Name("OpenCV/GaussianBlur+calcHist")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();

void openCvSharpness(benchmark::State& state)
{
    const cv::Mat mat = bench::asMat(radiograph8(sizeIndex(state)));
    cv::Mat gx, gy, magnitude;
    for (auto _ : state)
    {
        cv::Sobel(mat, gx, CV_64F, 1, 0, 3, 1, 0, cv::BORDER_REPLICATE);
        cv::Sobel(mat, gy, CV_64F, 0, 1, 3, 1, 0, cv::BORDER_REPLICATE);
        cv::magnitude(gx, gy, magnitude);
        cv::Scalar mean, deviation;
        cv::meanStdDev(magnitude, mean, deviation);
        benchmark::DoNotOptimize(deviation[0]);
    }
    state.SetLabel(bench::labelFor(sizeIndex(state)));
}
BENCHMARK(openCvSharpness)->Name("OpenCV/Sobel+magnitude+meanStdDev")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();

void openCvMaskedRange(benchmark::State& state)
{
    const cv::Mat mat = bench::asMat(bench::radiograph(bench::sizeFor(sizeIndex(state))));
    const cv::Mat mask = bench::asMat(fieldMask(sizeIndex(state)));
    for (auto _ : state)
    {
        double low = 0, high = 0;
        cv::minMaxLoc(mat, &low, &high, nullptr, nullptr, mask);
        benchmark::DoNotOptimize(high);
    }
    state.SetLabel(bench::labelFor(sizeIndex(state)));
}
BENCHMARK(openCvMaskedRange)->Name("OpenCV/minMaxLoc")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();

void openCvAcquisition(benchmark::State& state)
{
    const cv::Mat mat = bench::asMat(bench::radiograph(bench::sizeFor(sizeIndex(state))));
    const int bins = 512;
    const float range[] = {0.0f, 4096.0f};
    const float* ranges[] = {range};
    cv::Mat counts, stretched;
    for (auto _ : state)
    {
        cv::calcHist(&mat, 1, nullptr, cv::Mat(), counts, 1, &bins, ranges);
        mat.convertTo(stretched, CV_16U, 65535.0 / 4095.0);
        benchmark::DoNotOptimize(stretched.data);
    }
    state.SetLabel(bench::labelFor(sizeIndex(state)));
}
BENCHMARK(openCvAcquisition)->Name("OpenCV/calcHist512+convertTo")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();
#endif

} // namespace
