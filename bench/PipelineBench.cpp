// The display road on radiograph-sized images: the whole FilterSetProcessor run, then each
// stage on the input it receives inside the run, so the slowest stage stands out. With
// OpenCV, the nearest OpenCV chain (resize, level/window, CLAHE, Gaussian unsharp masking,
// Gaussian blur, gamma table) is timed on the same image, as a whole and per stage.
#include "BenchCounters.h"
#include "BenchImages.h"

#include "image2d/enhancement/AutoContrast.h"
#include "image2d/pipeline/FilterSetProcessor.h"
#include "image2d/pipeline/ImageFilterConversion.h"
#include "image2d/pointops/IntensityMapping.h"
#include "image2d/toolbox/Image2DOperations.h"
#include "platform/documentmodel/ImageFilter.h"

#include <benchmark/benchmark.h>

#ifdef IMAGE2D_BENCH_WITH_OPENCV
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>
#endif

#include <sys/resource.h>

#include <array>
#include <cmath>
#include <map>
#include <mutex>
#include <vector>

namespace {

using dataobject::ImageFilterElementType;

using bench::FaultCounter;

const std::atomic<bool> notCancelled{false};

// Filter parameters of the road (host units): the same for both sizes.
constexpr float kHistogramBalance = 0.5f;
constexpr float kSharpenFactor = 0.8f;
constexpr float kDenoise = 1.0f;
constexpr float kGamma = 1.3f;

// The identifiers of the road's filters, in chain order.
const std::array<const char*, 4> kFilters = {"HistogramEqualization", "Sharpen", "Denoise", "Gamma"};

QSize displayFor(const QSize& image)
{
    // A 1920 x 1080 display turned to the image's orientation, as the processor does.
    return image.width() < image.height() ? QSize(1080, 1920) : QSize(1920, 1080);
}

struct Road
{
    image2d::FilterSet filterSet;
    double level = 0.0;
    double window = 1.0;
    QSize display;
    // Input of each stage: [0] the source image, [1] resized, [2] level-windowed, then
    // the input of each filter after the first, and finally the output.
    std::vector<std::shared_ptr<Image2D>> stageInputs;
};

Road buildRoad(const QSize& size)
{
    const Image2D& source = bench::radiograph(size);
    Road road;
    const data::LevelWindow lw = dataObjectFunctions::computeAutoContrast(source, MediaType::Panoramic);
    road.level = lw.getLevel();
    road.window = lw.getWindow();
    road.display = displayFor(size);

    // Panoramic images sharpen with plain unsharp masking.
    dataobject::ImageFilter filter(dataobject::ImageFilterModality::Panoramic);
    filter.setElement(ImageFilterElementType::HistogramEqualization, kHistogramBalance);
    filter.setElement(ImageFilterElementType::Sharpen, kSharpenFactor);
    filter.setElement(ImageFilterElementType::Denoise, kDenoise);
    filter.setElement(ImageFilterElementType::Gamma, kGamma);
    road.filterSet = conversions::toFilterSet(&filter, size, source.getPixelSize(), road.display);

    auto image = std::make_shared<Image2D>(source);
    road.stageInputs.push_back(image);
    image.reset(image2d::Image2DOperations::createResizedImageSmooth(image.get(), road.display, notCancelled));
    road.stageInputs.push_back(image);
    image = image2d::LevelWindow::executeLevelWindow(image, road.level, road.window, notCancelled);
    road.stageInputs.push_back(image);
    for (const char* id : kFilters)
    {
        if (auto algorithm =
                image2d::FilterSetProcessor::createFilter(id, image, road.filterSet.getFilterParameters(id)))
        {
            algorithm->setSharedInput(image2d::Algorithm::INPUT_IMAGE, image);
            algorithm->execute(notCancelled);
            image = algorithm->getSharedOutput(image2d::Algorithm::OUTPUT_IMAGE);
        }
        road.stageInputs.push_back(image);
    }
    return road;
}

const Road& road(int sizeIndex)
{
    static std::mutex mutex;
    static std::map<int, Road> roads;
    std::lock_guard<std::mutex> lock(mutex);
    auto it = roads.find(sizeIndex);
    if (it == roads.end())
        it = roads.emplace(sizeIndex, buildRoad(bench::sizeFor(sizeIndex))).first;
    return it->second;
}

void BM_Pipeline_Whole(benchmark::State& state)
{
    const int index = static_cast<int>(state.range(0));
    const Road& r = road(index);
    const Image2D& source = bench::radiograph(bench::sizeFor(index));
    const FaultCounter faults(state);
    for (auto _ : state)
    {
        auto out = image2d::FilterSetProcessor::executeProcessor(&source, r.filterSet, QTransform(), r.level, r.window,
                                                                 notCancelled, QSize(1920, 1080));
        benchmark::DoNotOptimize(out);
    }
    state.SetLabel(bench::labelFor(index));
}

// Smooth resize of the input, as the processor starts its run.
void BM_Pipeline_Stage1_Resize(benchmark::State& state)
{
    const int index = static_cast<int>(state.range(0));
    const Road& r = road(index);
    const FaultCounter faults(state);
    for (auto _ : state)
    {
        std::unique_ptr<Image2D> out(
            image2d::Image2DOperations::createResizedImageSmooth(r.stageInputs[0].get(), r.display, notCancelled));
        benchmark::DoNotOptimize(out);
    }
    state.SetLabel(bench::labelFor(index));
}

void BM_Pipeline_Stage2_LevelWindow(benchmark::State& state)
{
    const int index = static_cast<int>(state.range(0));
    const Road& r = road(index);
    const FaultCounter faults(state);
    for (auto _ : state)
    {
        auto out = image2d::LevelWindow::executeLevelWindow(r.stageInputs[1], r.level, r.window, notCancelled);
        benchmark::DoNotOptimize(out);
    }
    state.SetLabel(bench::labelFor(index));
}

// Filter stage `filter` (index into kFilters), made by the processor's own factory.
void BM_Pipeline_Filter(benchmark::State& state, int filter)
{
    const int index = static_cast<int>(state.range(0));
    const Road& r = road(index);
    const char* id = kFilters[static_cast<std::size_t>(filter)];
    const std::shared_ptr<Image2D>& input = r.stageInputs[static_cast<std::size_t>(2 + filter)];
    const image2d::Uniforms parameters = r.filterSet.getFilterParameters(id);
    const FaultCounter faults(state);
    for (auto _ : state)
    {
        auto algorithm = image2d::FilterSetProcessor::createFilter(id, input, parameters);
        if (!algorithm)
        {
            state.SkipWithError("the factory yields no filter for this stage");
            break;
        }
        algorithm->setSharedInput(image2d::Algorithm::INPUT_IMAGE, input);
        algorithm->execute(notCancelled);
        benchmark::DoNotOptimize(algorithm->getSharedOutput(image2d::Algorithm::OUTPUT_IMAGE));
    }
    state.SetLabel(bench::labelFor(index));
}

// Enlarging a small image (a quarter of each side) to the display: the bilinear branch.
QSize smallFor(int index)
{
    const QSize size = bench::sizeFor(index);
    return QSize(size.width() / 4, size.height() / 4);
}

void BM_Pipeline_Enlarge(benchmark::State& state)
{
    const int index = static_cast<int>(state.range(0));
    const Image2D& small = bench::radiograph(smallFor(index));
    const QSize display = displayFor(small.getSize());
    const FaultCounter faults(state);
    for (auto _ : state)
    {
        std::unique_ptr<Image2D> out(image2d::Image2DOperations::createResizedImageSmooth(&small, display, notCancelled));
        benchmark::DoNotOptimize(out);
    }
    state.SetLabel(bench::labelFor(index));
}

#ifdef IMAGE2D_BENCH_WITH_OPENCV

// The OpenCV counterpart of each stage, on 16-bit images like ours.
struct CvRoad
{
    cv::Size display;
    double alpha = 1.0, beta = 0.0; // level/window as a saturating linear map
    cv::Ptr<cv::CLAHE> clahe;
    int sharpenKernel = 3;
    double sharpenFactor = kSharpenFactor;
    int denoiseKernel = 3;
    double denoiseSigma = 1.0;
    std::vector<std::uint16_t> gammaTable;
};

CvRoad buildCvRoad(int index)
{
    const Road& r = road(index);
    CvRoad c;
    c.display = cv::Size(r.display.width(), r.display.height());
    const double low = r.level - r.window / 2;
    c.alpha = 65535.0 / r.window;
    c.beta = -low * c.alpha;
    c.clahe = cv::createCLAHE(2.0, cv::Size(8, 8));
    const image2d::Uniforms sharpen = r.filterSet.getFilterParameters("Sharpen");
    c.sharpenKernel = 2 * sharpen.getUniformIntValue("kernelRadiusImage").value_or(1) + 1;
    const image2d::Uniforms denoise = r.filterSet.getFilterParameters("Denoise");
    c.denoiseSigma = denoise.getUniformDoubleValue("kernelStdDenoise").value_or(1.0);
    c.denoiseKernel = 2 * denoise.getUniformIntValue("kernelRadiusDenoise").value_or(1) + 1;
    // OpenCV's LUT takes 8-bit input only; a 16-bit table goes through its parallel loop.
    c.gammaTable.resize(65536);
    for (int i = 0; i < 65536; ++i)
        c.gammaTable[static_cast<std::size_t>(i)] =
            static_cast<std::uint16_t>(std::pow(i / 65535.0f, 1.0f / kGamma) * 65535.0f);
    return c;
}

void cvGamma(const CvRoad& c, const cv::Mat& in, cv::Mat& out)
{
    out.create(in.size(), in.type());
    cv::parallel_for_(cv::Range(0, in.rows), [&](const cv::Range& rows) {
        for (int y = rows.start; y < rows.end; ++y)
        {
            const auto* s = in.ptr<std::uint16_t>(y);
            auto* d = out.ptr<std::uint16_t>(y);
            for (int x = 0; x < in.cols; ++x)
                d[x] = c.gammaTable[s[x]];
        }
    });
}

void cvUnsharp(const CvRoad& c, const cv::Mat& in, cv::Mat& out)
{
    cv::Mat blurred;
    cv::GaussianBlur(in, blurred, cv::Size(c.sharpenKernel, c.sharpenKernel), 0);
    cv::addWeighted(in, 1.0 + c.sharpenFactor, blurred, -c.sharpenFactor, 0.0, out);
}

// Stage results of the OpenCV chain, so each stage is timed on its own input.
std::vector<cv::Mat> cvStageInputs(int index, const CvRoad& c)
{
    std::vector<cv::Mat> s(7);
    s[0] = bench::asMat(bench::radiograph(bench::sizeFor(index)));
    cv::resize(s[0], s[1], c.display, 0, 0, cv::INTER_LINEAR);
    s[1].convertTo(s[2], CV_16U, c.alpha, c.beta);
    c.clahe->apply(s[2], s[3]);
    cvUnsharp(c, s[3], s[4]);
    cv::GaussianBlur(s[4], s[5], cv::Size(c.denoiseKernel, c.denoiseKernel), c.denoiseSigma);
    cvGamma(c, s[5], s[6]);
    return s;
}

void BM_OpenCV_Pipeline_Whole(benchmark::State& state)
{
    const int index = static_cast<int>(state.range(0));
    const CvRoad c = buildCvRoad(index);
    const cv::Mat source = bench::asMat(bench::radiograph(bench::sizeFor(index)));
    const FaultCounter faults(state);
    for (auto _ : state)
    {
        cv::Mat resized, windowed, equalized, sharpened, denoised, out;
        cv::resize(source, resized, c.display, 0, 0, cv::INTER_LINEAR);
        resized.convertTo(windowed, CV_16U, c.alpha, c.beta);
        c.clahe->apply(windowed, equalized);
        cvUnsharp(c, equalized, sharpened);
        cv::GaussianBlur(sharpened, denoised, cv::Size(c.denoiseKernel, c.denoiseKernel), c.denoiseSigma);
        cvGamma(c, denoised, out);
        benchmark::DoNotOptimize(out.data);
    }
    state.SetLabel(bench::labelFor(index));
}

void BM_OpenCV_Pipeline_Stage(benchmark::State& state, int stage)
{
    const int index = static_cast<int>(state.range(0));
    const CvRoad c = buildCvRoad(index);
    const std::vector<cv::Mat> s = cvStageInputs(index, c);
    const cv::Mat& in = s[static_cast<std::size_t>(stage - 1)];
    const FaultCounter faults(state);
    for (auto _ : state)
    {
        cv::Mat out;
        switch (stage)
        {
        case 1: cv::resize(in, out, c.display, 0, 0, cv::INTER_LINEAR); break;
        case 2: in.convertTo(out, CV_16U, c.alpha, c.beta); break;
        case 3: c.clahe->apply(in, out); break;
        case 4: cvUnsharp(c, in, out); break;
        case 5: cv::GaussianBlur(in, out, cv::Size(c.denoiseKernel, c.denoiseKernel), c.denoiseSigma); break;
        default: cvGamma(c, in, out); break;
        }
        benchmark::DoNotOptimize(out.data);
    }
    state.SetLabel(bench::labelFor(index));
}

void BM_OpenCV_Pipeline_Enlarge(benchmark::State& state)
{
    const int index = static_cast<int>(state.range(0));
    const cv::Mat small = bench::asMat(bench::radiograph(smallFor(index)));
    const QSize display = displayFor(QSize(small.cols, small.rows));
    const FaultCounter faults(state);
    for (auto _ : state)
    {
        cv::Mat out;
        cv::resize(small, out, cv::Size(display.width(), display.height()), 0, 0, cv::INTER_LINEAR);
        benchmark::DoNotOptimize(out.data);
    }
    state.SetLabel(bench::labelFor(index));
}

#endif

// Each of ours is followed by its OpenCV counterpart, so every pair runs back to back under
// the same machine load (bench/ratio-report.py pairs them by that order). Process CPU time
// counts the worker threads too, which keeps the CPU column meaningful on a busy machine.
#ifdef IMAGE2D_BENCH_WITH_OPENCV
#define IMAGE2D_PIPELINE_PAIR(ours, theirs) \
    ours->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime()->MeasureProcessCPUTime(); \
    theirs->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime()->MeasureProcessCPUTime();
#else
#define IMAGE2D_PIPELINE_PAIR(ours, theirs) \
    ours->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime()->MeasureProcessCPUTime();
#endif

[[maybe_unused]] const bool registered = [] {
    IMAGE2D_PIPELINE_PAIR(benchmark::RegisterBenchmark("BM_Pipeline_Whole", BM_Pipeline_Whole),
                          benchmark::RegisterBenchmark("BM_OpenCV_Pipeline_Whole", BM_OpenCV_Pipeline_Whole))
    IMAGE2D_PIPELINE_PAIR(
        benchmark::RegisterBenchmark("BM_Pipeline_Stage1_Resize", BM_Pipeline_Stage1_Resize),
        benchmark::RegisterBenchmark("BM_OpenCV_Pipeline_Stage/Stage1_Resize", BM_OpenCV_Pipeline_Stage, 1))
    IMAGE2D_PIPELINE_PAIR(
        benchmark::RegisterBenchmark("BM_Pipeline_Stage2_LevelWindow", BM_Pipeline_Stage2_LevelWindow),
        benchmark::RegisterBenchmark("BM_OpenCV_Pipeline_Stage/Stage2_LevelWindow", BM_OpenCV_Pipeline_Stage, 2))
    IMAGE2D_PIPELINE_PAIR(
        benchmark::RegisterBenchmark("BM_Pipeline_Filter/Stage3_HistogramEqualization", BM_Pipeline_Filter, 0),
        benchmark::RegisterBenchmark("BM_OpenCV_Pipeline_Stage/Stage3_CLAHE", BM_OpenCV_Pipeline_Stage, 3))
    IMAGE2D_PIPELINE_PAIR(
        benchmark::RegisterBenchmark("BM_Pipeline_Filter/Stage4_Sharpen", BM_Pipeline_Filter, 1),
        benchmark::RegisterBenchmark("BM_OpenCV_Pipeline_Stage/Stage4_Unsharp", BM_OpenCV_Pipeline_Stage, 4))
    IMAGE2D_PIPELINE_PAIR(
        benchmark::RegisterBenchmark("BM_Pipeline_Filter/Stage5_Denoise", BM_Pipeline_Filter, 2),
        benchmark::RegisterBenchmark("BM_OpenCV_Pipeline_Stage/Stage5_GaussianBlur", BM_OpenCV_Pipeline_Stage, 5))
    IMAGE2D_PIPELINE_PAIR(
        benchmark::RegisterBenchmark("BM_Pipeline_Filter/Stage6_Gamma", BM_Pipeline_Filter, 3),
        benchmark::RegisterBenchmark("BM_OpenCV_Pipeline_Stage/Stage6_GammaTable", BM_OpenCV_Pipeline_Stage, 6))
    IMAGE2D_PIPELINE_PAIR(benchmark::RegisterBenchmark("BM_Pipeline_Enlarge", BM_Pipeline_Enlarge),
                          benchmark::RegisterBenchmark("BM_OpenCV_Pipeline_Enlarge", BM_OpenCV_Pipeline_Enlarge))
    return true;
}();

} // namespace
