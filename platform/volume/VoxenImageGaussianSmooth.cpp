#include "platform/volume/VoxenImageGaussianSmooth.h"

#include "image2d/filtering/Kernels.h"
#include "image2d/framework/Core.h"
#include "image2d/framework/Parallel.h"

#include <algorithm>
#include <vector>

namespace {

// Element (i) of an edge-replicated line of n elements.
inline int clampIndex(int i, int n)
{
    return i < 0 ? 0 : (i >= n ? n - 1 : i);
}

// Smooths one slice along x and y: input elements of type T into `out` (nx * ny floats).
template <typename T>
void smoothSlice(const T* in, float* out, int nx, int ny, const std::vector<float>& wx, const std::vector<float>& wy)
{
    const int rx = static_cast<int>(wx.size()) / 2, ry = static_cast<int>(wy.size()) / 2;
    const std::size_t sliceSize = static_cast<std::size_t>(nx) * ny;
    float* padded = image2d::threadScratch<float, struct PaddedRowTag>(static_cast<std::size_t>(nx) + 2 * rx);
    float* rowsDone = image2d::threadScratch<float, struct RowPassTag>(sliceSize);
    for (int y = 0; y < ny; ++y)
    {
        const T* row = in + static_cast<std::size_t>(y) * nx;
        for (int i = -rx; i < nx + rx; ++i)
            padded[i + rx] = static_cast<float>(row[clampIndex(i, nx)]);
        float* target = rowsDone + static_cast<std::size_t>(y) * nx;
        for (int x = 0; x < nx; ++x)
        {
            float sum = 0.0f;
            for (int k = 0; k <= 2 * rx; ++k)
                sum += wx[k] * padded[x + k];
            target[x] = sum;
        }
    }
    for (int y = 0; y < ny; ++y)
    {
        float* target = out + static_cast<std::size_t>(y) * nx;
        std::fill(target, target + nx, 0.0f);
        for (int k = 0; k <= 2 * ry; ++k)
        {
            const float w = wy[k];
            const float* source = rowsDone + static_cast<std::size_t>(clampIndex(y + k - ry, ny)) * nx;
            for (int x = 0; x < nx; ++x)
                target[x] += w * source[x];
        }
    }
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

    const int rz = static_cast<int>(wz.size()) / 2;
    const bool writable = image2d::dispatchDataType(
        image2d::AllPixelTypes{}, m_output->sliceDataType(),
        [&](auto tag) {
            using T = typename decltype(tag)::type;
            T* out = m_output->data<T>();
            image2d::parallelFor(0, size.z, [&](int first, int last) {
                float* sum = image2d::threadScratch<float, struct SlicePassTag>(sliceSize);
                for (int z = first; z < last; ++z)
                {
                    if (cancel.load(std::memory_order_relaxed))
                    {
                        cancelled = true;
                        return;
                    }
                    std::fill(sum, sum + sliceSize, 0.0f);
                    for (int k = 0; k <= 2 * rz; ++k)
                    {
                        const float w = wz[k];
                        const float* source = work.get() + clampIndex(z + k - rz, size.z) * sliceSize;
                        for (std::size_t i = 0; i < sliceSize; ++i)
                            sum[i] += w * source[i];
                    }
                    T* target = out + z * sliceSize;
                    for (std::size_t i = 0; i < sliceSize; ++i)
                        target[i] = image2d::store::clampRoundHalfAway<T>(sum[i]);
                }
            });
            return true;
        },
        [] {});
    m_output->editFinished();
    return writable && !cancelled;
}
