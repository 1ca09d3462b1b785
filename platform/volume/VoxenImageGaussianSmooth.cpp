#include "platform/volume/VoxenImageGaussianSmooth.h"

#include "image2d/filtering/Kernels.h"
#include "image2d/framework/Core.h"
#include "image2d/framework/Parallel.h"
#include "image2d/framework/Simd.h"

#include <algorithm>
#include <vector>

namespace {

// Element (i) of an edge-replicated line of n elements.
inline int clampIndex(int i, int n)
{
    return i < 0 ? 0 : (i >= n ? n - 1 : i);
}

// target = the weighted sum of the lines line(k), k = -r .. r (r = w.size() / 2), written as
// the centre line plus the weighted differences from it: weights that sum to 1 only up to
// rounding still leave constant regions (air, padding) exactly as they are.
template <typename Line>
IMAGE2D_INLINE_LOOP void accumulateLines(float* __restrict target, std::size_t length, const std::vector<float>& w,
                                         Line line)
{
    const int r = static_cast<int>(w.size()) / 2;
    const float* centre = line(0);
    std::fill(target, target + length, 0.0f);
    for (int k = -r; k <= r; ++k)
    {
        if (k == 0)
            continue;
        const float weight = w[k + r];
        const float* source = line(k);
        for (std::size_t i = 0; i < length; ++i)
            target[i] += weight * (source[i] - centre[i]);
    }
    for (std::size_t i = 0; i < length; ++i)
        target[i] += centre[i];
}

// Smooths one slice along x and y: input elements of type T into `out` (nx * ny floats).
template <typename T>
void smoothSlice(const T* in, float* out, int nx, int ny, const std::vector<float>& wx, const std::vector<float>& wy)
{
    const int rx = static_cast<int>(wx.size()) / 2;
    const std::size_t sliceSize = static_cast<std::size_t>(nx) * ny;
    float* padded = image2d::threadScratch<float, struct PaddedRowTag>(static_cast<std::size_t>(nx) + 2 * rx);
    float* rowsDone = image2d::threadScratch<float, struct RowPassTag>(sliceSize);
    for (int y = 0; y < ny; ++y)
    {
        const T* row = in + static_cast<std::size_t>(y) * nx;
        for (int i = -rx; i < nx + rx; ++i)
            padded[i + rx] = static_cast<float>(row[clampIndex(i, nx)]);
        image2d::simd::runVectorized([&]() IMAGE2D_INLINE_LAMBDA {
            accumulateLines(rowsDone + static_cast<std::size_t>(y) * nx, static_cast<std::size_t>(nx), wx,
                            [&](int k) { return padded + rx + k; });
        });
    }
    image2d::simd::runVectorized([&]() IMAGE2D_INLINE_LAMBDA {
        for (int y = 0; y < ny; ++y)
            accumulateLines(out + static_cast<std::size_t>(y) * nx, static_cast<std::size_t>(nx), wy,
                            [&](int k) { return rowsDone + static_cast<std::size_t>(clampIndex(y + k, ny)) * nx; });
    });
}

} // namespace

bool VoxenImageGaussianSmooth::execute(const std::atomic<bool>& cancel)
{
    if (!m_input || !m_output || !m_input->isValid() || !m_output->isValid() ||
        !(m_input->imageSize() == m_output->imageSize()))
        return false;
    const std::vector<float> wx = image2d::SeparableGaussian(m_radius.x, m_sigma.x()).getValues();
    const std::vector<float> wy = image2d::SeparableGaussian(m_radius.y, m_sigma.y()).getValues();
    const std::vector<float> wz = image2d::SeparableGaussian(m_radius.z, m_sigma.z()).getValues();
    if (wx.empty() || wy.empty() || wz.empty())
        return false;
    const math::Ivec3 size = m_input->imageSize();
    const std::size_t sliceSize = m_input->getSliceVoxels();
    auto work = image2d::tryAllocateArray<float>(m_input->getNumVoxels());
    if (!work)
        return false;

    std::atomic<bool> cancelled{false};
    const bool readable = image2d::dispatchDataType(
        image2d::AllPixelTypes{}, m_input->sliceDataType(),
        [&](auto tag) {
            using T = typename decltype(tag)::type;
            const T* in = m_input->constData<T>();
            image2d::parallelFor(0, size.z, [&](int first, int last) {
                for (int z = first; z < last; ++z)
                {
                    if (cancel.load(std::memory_order_relaxed))
                    {
                        cancelled = true;
                        return;
                    }
                    smoothSlice(in + z * sliceSize, work.get() + z * sliceSize, size.x, size.y, wx, wy);
                }
            });
            return true;
        },
        [] {});
    if (!readable || cancelled)
        return false;

    // The slice pass runs over blocks of rows through all slices: the few slices of a block
    // that one output needs stay in the cache for the next ones, where whole slices would be
    // read from memory once per tap.
    const int blockRows = std::max(1, 4096 / size.x);
    const int blocks = (size.y + blockRows - 1) / blockRows;
    const bool writable = image2d::dispatchDataType(
        image2d::AllPixelTypes{}, m_output->sliceDataType(),
        [&](auto tag) {
            using T = typename decltype(tag)::type;
            T* out = m_output->data<T>();
            image2d::parallelFor(0, blocks, [&](int first, int last) {
                for (int b = first; b < last; ++b)
                {
                    const std::size_t offset = static_cast<std::size_t>(b) * blockRows * size.x;
                    const std::size_t length = static_cast<std::size_t>(std::min(blockRows, size.y - b * blockRows)) * size.x;
                    float* sum = image2d::threadScratch<float, struct SlicePassTag>(length);
                    for (int z = 0; z < size.z; ++z)
                    {
                        if (cancel.load(std::memory_order_relaxed))
                        {
                            cancelled = true;
                            return;
                        }
                        image2d::simd::runVectorized([&]() IMAGE2D_INLINE_LAMBDA {
                            accumulateLines(sum, length, wz, [&](int k) {
                                return work.get() + clampIndex(z + k, size.z) * sliceSize + offset;
                            });
                        });
                        T* target = out + z * sliceSize + offset;
                        for (std::size_t i = 0; i < length; ++i)
                            target[i] = image2d::store::clampRoundHalfAway<T>(sum[i]);
                    }
                }
            });
            return true;
        },
        [] {});
    m_output->editFinished();
    return writable && !cancelled;
}
