// CT volumes on the CT phantom (256 x 256 x 200 SHORT voxels of 0.4 mm): the automatic CT
// window, the Gaussian smoothing of the generated-ceph preparation, the per-slice distance
// map of its bone (beside OpenCV's 5 x 5 chamfer transform of the same slices), the whole
// preparation, and reading the phantom back as a 200-file DICOM series.
#include "CtPhantom.h"
#include "DicomSeries.h"

#include "image2d/enhancement/AutoLevelWindow3D.h"
#include "image2d/volume/GeneratedCeph.h"
#include "image2d/volume/PerSliceOperations.h"
#include "platform/volume/VoxenImage3DConvertor.h"
#include "platform/volume/VoxenImageBinaryTools.h"
#include "platform/volume/VoxenImageGaussianSmooth.h"

#include <benchmark/benchmark.h>

#include <QTemporaryDir>

#ifdef IMAGE2D_BENCH_WITH_OPENCV
#include <opencv2/imgproc.hpp>
#endif

#include <memory>

namespace {

VoxenImage3D& phantom()
{
    static VoxenImage3D volume = ctphantom::makeCtPhantom();
    return volume;
}

// Bone, teeth and metal of the phantom: voxels above 300 HU.
VoxenImage3D& boneMask()
{
    static VoxenImage3D mask = [] {
        VoxenImage3D m(phantom().imageSize(), phantom().voxelSize(), image::DataType::BINARY);
        VoxenImageBinaryTools tools;
        tools.setInput(&phantom());
        tools.setOutput(&m);
        tools.thresholdFilter(300, true);
        return m;
    }();
    return mask;
}

void makePhantom(benchmark::State& state)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(ctphantom::makeCtPhantom().dataPtr());
}
BENCHMARK(makePhantom)->Name("Volume/CtPhantom")->Unit(benchmark::kMillisecond)->UseRealTime();

void autoWindow(benchmark::State& state)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(image3d::calculateAutoLevelWindow(&phantom()));
}
BENCHMARK(autoWindow)->Name("Volume/CtAutoLevelWindow")->Unit(benchmark::kMillisecond)->UseRealTime();

// The smoothing of the generated-ceph preparation: half a millimetre, sigma 1.25 voxels,
// radius 3, into a FLOAT volume.
void gaussianSmooth(benchmark::State& state)
{
    const auto input = VoxenImage3DConvertor::convertToCopy(phantom(), image::DataType::FLOAT, 1);
    VoxenImage3D output(input->imageSize(), input->voxelSize(), image::DataType::FLOAT);
    const std::atomic<bool> cancel{false};
    for (auto _ : state)
    {
        VoxenImageGaussianSmooth smooth;
        smooth.setInput(input.get());
        smooth.setOutput(&output);
        smooth.setRadius({3, 3, 3});
        smooth.setStandardDeviation(QVector3D(1.25f, 1.25f, 1.25f));
        benchmark::DoNotOptimize(smooth.execute(cancel));
    }
}
BENCHMARK(gaussianSmooth)->Name("Volume/GaussianSmooth")->Unit(benchmark::kMillisecond)->UseRealTime();

void preprocessCeph(benchmark::State& state)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(ceph::createPreprocessedImageForGeneratedCeph(phantom(), {}));
}
BENCHMARK(preprocessCeph)->Name("Volume/PreprocessGeneratedCeph")->Unit(benchmark::kMillisecond)->UseRealTime();

void perSliceDistanceMap(benchmark::State& state)
{
    for (auto _ : state)
    {
        VoxenImagePerSliceDistanceMap map;
        map.setInput(&boneMask());
        map.execute();
        std::unique_ptr<VoxenImage3D> output(map.output());
        benchmark::DoNotOptimize(output->dataPtr());
    }
}
BENCHMARK(perSliceDistanceMap)->Name("Volume/PerSliceDistanceMap")->Unit(benchmark::kMillisecond)->UseRealTime();

#ifdef IMAGE2D_BENCH_WITH_OPENCV
// The nearest OpenCV operation: a 5 x 5 chamfer distance of every slice, float output.
void openCvPerSliceDistance(benchmark::State& state)
{
    const VoxenImage3D& mask = boneMask();
    const math::Ivec3 n = mask.imageSize();
    cv::Mat distances;
    for (auto _ : state)
        for (int z = 0; z < n.z; ++z)
        {
            // OpenCV measures the distance to the nearest zero: the mask inverted.
            const cv::Mat slice(n.y, n.x, CV_8U, const_cast<char*>(mask.getAxialSlice(z)));
            cv::Mat background = slice == 0;
            cv::distanceTransform(background, distances, cv::DIST_L2, cv::DIST_MASK_5);
            benchmark::DoNotOptimize(distances.data);
        }
}
BENCHMARK(openCvPerSliceDistance)->Name("OpenCV/Volume/PerSliceDistanceTransform")->Unit(benchmark::kMillisecond)->UseRealTime();
#endif

void readSeries(benchmark::State& state)
{
    QTemporaryDir dir;
    QString error;
    if (!ctvolume::writeCtSeries(phantom(), dir.path(), error))
    {
        state.SkipWithError(qPrintable(error));
        return;
    }
    for (auto _ : state)
    {
        ctvolume::CtSeries series;
        if (!ctvolume::readCtSeries(dir.path(), series, error))
            state.SkipWithError(qPrintable(error));
        benchmark::DoNotOptimize(series.volume.dataPtr());
    }
}
BENCHMARK(readSeries)->Name("Volume/ReadDicomSeries200")->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace
