// Benchmarks of the library's hot loops on radiograph-sized images. Each algorithm has a
// line per image size; with OpenCV installed, the nearest OpenCV operation on the same
// image is timed next to it ("OpenCV/..."), so each pair reads as a ratio.
// Both libraries use 2 threads: TBB's default on this machine, and cv::setNumThreads(2).
#include <benchmark/benchmark.h>

#ifdef IMAGE2D_BENCH_WITH_OPENCV
#include <opencv2/core.hpp>
#endif

int main(int argc, char** argv)
{
#ifdef IMAGE2D_BENCH_WITH_OPENCV
    cv::setNumThreads(2);
#endif
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
