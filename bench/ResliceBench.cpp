// Reslices of the CT phantom (256 x 256 x 200 SHORT voxels of 0.4 mm): a 1500 x 600 panoramic
// section along the dental arch, the simulated X-ray through a slab around it (40 steps of
// 0.4 mm, and 10 to 80 steps to show how the time grows with the thickness), and the ceph
// projection across the prepared head (64 to 256 steps of 0.4 mm), each in an arena of one
// and of two threads; and a cache hit.
#include "CtPhantom.h"

#include "image2d/volume/CachedReslicer.h"
#include "image2d/volume/GeneratedCeph.h"

#include <benchmark/benchmark.h>

#include <tbb/task_arena.h>

#include <memory>

namespace {

VoxenImage3D& phantom()
{
    static VoxenImage3D volume = ctphantom::makeCtPhantom();
    return volume;
}

VoxenImage3D& preparedPhantom()
{
    static std::unique_ptr<VoxenImage3D> volume = ceph::createPreprocessedImageForGeneratedCeph(phantom(), {});
    return *volume;
}

// The phantom's arch (its jaws' parabola) from one molar region to the other, every mm,
// swept over the whole height; the CT window stored as the tool would have computed it.
void archReslice(Reslice& reslice, float thickness)
{
    QList<QVector3D> points;
    for (float s = -60.0f; s <= 60.0f; s += 1.0f)
    {
        const QVector3D p = ctphantom::archPoint(s, 0.0f);
        points << p << QVector3D(p.x(), p.y(), 79.6f);
    }
    reslice.setReslicePoints(points);
    reslice.setSampleSize(QVector3D(0.4f, 0.4f, 0.4f));
    reslice.setThickness(thickness);
    auto ct = std::make_shared<CTData>();
    ct->setAutoLevelWindow(data::LevelWindow(400, 2850));
    reslice.setCTData(ct);
}

// state.range(0): steps along the rays (0 for the plain section); state.range(1): threads.
void arch1500x600(benchmark::State& state)
{
    Reslice reslice(state.range(0) > 0 ? ResliceType::XRay : ResliceType::Plain);
    archReslice(reslice, 0.4f * static_cast<float>(state.range(0)));
    image2d::ResliceExtractor extractor(&reslice);
    tbb::task_arena arena(static_cast<int>(state.range(1)));
    for (auto _ : state)
        arena.execute([&] {
            std::unique_ptr<Image2D> image(extractor.extractResliceImage(&phantom(), QSize(1500, 600), {}));
            benchmark::DoNotOptimize(image->getConstData<float>());
        });
    state.counters["samples/s"] = benchmark::Counter(1500.0 * 600 * std::max<int64_t>(1, state.range(0)),
                                                     benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(arch1500x600)
    ->Name("Reslice/Arch1500x600")
    ->ArgNames({"steps", "threads"})
    ->ArgsProduct({{0, 10, 20, 40, 80}, {1, 2}})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// The generated cephalogram's projection at the tool's size: 510 x 398 pixels of 0.2 mm.
void cephProjection(benchmark::State& state)
{
    CephReslice reslice(meta::PointOfView::Right);
    reslice.setReslicePoints({QVector3D(0, 102, 0), QVector3D(0, 102, 79.6f), QVector3D(0, 0, 0), QVector3D(0, 0, 79.6f)});
    reslice.setSampleSize(QVector3D(0.4f, 0.4f, 0.4f));
    reslice.setThickness(0.4f * static_cast<float>(state.range(0)));
    VoxenImage3D& prepared = preparedPhantom();
    tbb::task_arena arena(static_cast<int>(state.range(1)));
    for (auto _ : state)
        arena.execute([&] {
            std::unique_ptr<Image2D> image = image2d::CachedReslicer::getResliceImageCPU(&prepared, &reslice);
            benchmark::DoNotOptimize(image->getConstData<float>());
        });
    state.counters["samples/s"] = benchmark::Counter(510.0 * 398 * static_cast<double>(state.range(0)),
                                                     benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(cephProjection)
    ->Name("Reslice/Ceph510x398")
    ->ArgNames({"steps", "threads"})
    ->ArgsProduct({{64, 128, 256}, {1, 2}})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

void cacheHit(benchmark::State& state)
{
    Reslice reslice;
    archReslice(reslice, 0.0f);
    image2d::CachedReslicer reslicer(std::make_shared<Image2DCache>());
    const QString key = QStringLiteral("panoramic");
    reslicer.getResliceImageCPU(&phantom(), &reslice, key);
    for (auto _ : state)
        benchmark::DoNotOptimize(reslicer.getResliceImageCPU(&phantom(), &reslice, key).data());
}
BENCHMARK(cacheHit)->Name("Reslice/CacheHit");

} // namespace
