#include "image2d/enhancement/AutoLevelWindow3D.h"

#include "image2d/enhancement/AutoContrast.h"
#include "platform/documentmodel/MediaAutoContrastSettings.h"
#include "platform/maths/Operations.h"

#include <QList>
#include <QtConcurrent/QtConcurrentMap>

#if defined(__SANITIZE_THREAD__)
#include <sanitizer/tsan_interface.h>
#endif

#include <algorithm>
#include <atomic>
#include <cmath>
#include <memory>
#include <numeric>
#include <vector>

namespace image3d {

namespace {

struct SliceWindow
{
    float minimum = 0.0f;
    float maximum = 0.0f;
};

// Runs on a pool thread: its own slice image and percentile window, the volume only read.
SliceWindow sliceWindow(const VoxenImage3D& volume, int index)
{
    const MediaType ct = MediaType::CtVolume;
    Image2D slice;
    const math::Ivec3 size = volume.imageSize();
    if (!slice.loadFromData(volume.getAxialSlice(index), size.x, size.y, volume.sliceDataType()))
        return {};
    slice.setPixelSize(volume.voxelSize());
    const utility::Optional<image2d::ContrastWindow> window = image2d::autoContrastWindow(
        slice, MediaAutoContrastSettings::getLowerFraction(ct), MediaAutoContrastSettings::getUpperFraction(ct),
        MediaAutoContrastSettings::getLowBinsToDiscard(ct) != 0);
    if (!window)
        return {};
    return {window->minimum, window->maximum};
}

// Qt's pool and mapped-reduce hand the work over inside Qt's own libraries, where a
// ThreadSanitizer build cannot see it. These mark the two orderings the blocking call
// promises: the caller's state before each slice's work, every slice's work before the
// call returns. The slices stay unordered among themselves, so races between them show.
void handOver([[maybe_unused]] const char& token)
{
#if defined(__SANITIZE_THREAD__)
    __tsan_release(const_cast<char*>(&token));
#endif
}

void takeOver([[maybe_unused]] const char& token)
{
#if defined(__SANITIZE_THREAD__)
    __tsan_acquire(const_cast<char*>(&token));
#endif
}

float upperMedian(std::vector<float>& values)
{
    if (values.empty())
        return 0.0f;
    const auto middle = values.begin() + static_cast<std::ptrdiff_t>(values.size() / 2);
    std::nth_element(values.begin(), middle, values.end());
    return *middle;
}

} // namespace

data::LevelWindow calculateAutoLevelWindow(VoxenImage3D* volume)
{
    if (!volume || !volume->isValid())
        return data::LevelWindow(0, 0);
    QList<int> indices(volume->imageSize().z);
    std::iota(indices.begin(), indices.end(), 0);
    const VoxenImage3D& shared = *volume;
    const char started = 0, finished = 0;
    handOver(started);
    const std::vector<SliceWindow> windows = QtConcurrent::blockingMappedReduced<std::vector<SliceWindow>>(
        indices,
        [&](const int& index) { // read after the take-over: the list is the caller's
            takeOver(started);
            const SliceWindow window = sliceWindow(shared, index);
            handOver(finished);
            return window;
        },
        [](std::vector<SliceWindow>& all, const SliceWindow& one) { all.push_back(one); },
        QtConcurrent::OrderedReduce);
    takeOver(finished);

    std::vector<float> minima, maxima;
    for (const SliceWindow& w : windows)
        if (!(w.minimum == 0.0f && w.maximum == 0.0f))
        {
            minima.push_back(w.minimum);
            maxima.push_back(w.maximum);
        }
    const float low = upperMedian(minima), high = upperMedian(maxima);
    const int level = static_cast<int>(std::lroundf((low + high) * 0.5f));
    const int window = static_cast<int>(std::lroundf(high - low));
    return data::LevelWindow(math::Operations::roundToNumber(level, 50), math::Operations::roundToNumber(window, 50));
}

} // namespace image3d
