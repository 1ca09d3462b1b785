#include "image2d/filtering/LocalStatistics.h"

#include "image2d/framework/Simd.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <type_traits>
#include <vector>

namespace image2d {

namespace {

// Truncation toward zero of the window bounds; anything at or below -1 means "before
// the image" and is reported as -1, anything past the end as the last index.
int lowerBound(float value)
{
    return value <= -1.0f ? -1 : static_cast<int>(value);
}

int upperBound(float value, int last)
{
    return value >= static_cast<float>(last) ? last : static_cast<int>(value);
}

template <typename Acc>
inline Acc clippedSum(const Acc* bottom, const Acc* top, int x0, int x1)
{
    Acc sum = bottom[x1];
    if (x0 >= 0)
        sum -= bottom[x0];
    if (top)
    {
        sum -= top[x1];
        if (x0 >= 0)
            sum += top[x0];
    }
    return sum;
}

// Columns x - d0 (exclusive) to x + d1 for x in [first, end), all inside the image.
// Wrapping 32-bit sums take whole vectors (the same bits in any order of the additions).
template <typename Acc, typename Out>
IMAGE2D_INLINE_LOOP void interiorSums(const Acc* __restrict bottom, const Acc* __restrict top, int d0, int d1,
                                      Out* __restrict target, int first, int end)
{
    if constexpr (std::is_same_v<Acc, std::uint32_t>)
    {
        typedef std::uint32_t Vector __attribute__((vector_size(32)));
        constexpr int kLanes = static_cast<int>(sizeof(Vector) / sizeof(Acc));
        for (; first + kLanes <= end; first += kLanes)
        {
            Vector a, b, c = {}, d = {};
            std::memcpy(&a, bottom + first + d1, sizeof(Vector));
            std::memcpy(&b, bottom + first - d0, sizeof(Vector));
            if (top)
            {
                std::memcpy(&c, top + first + d1, sizeof(Vector));
                std::memcpy(&d, top + first - d0, sizeof(Vector));
            }
            const Vector sum = a - b - c + d;
            std::memcpy(target + first, &sum, sizeof(Vector));
        }
    }
    if (top)
        for (int x = first; x < end; ++x)
            target[x] = static_cast<Out>(bottom[x + d1] - bottom[x - d0] - top[x + d1] + top[x - d0]);
    else
        for (int x = first; x < end; ++x)
            target[x] = static_cast<Out>(bottom[x + d1] - bottom[x - d0]);
}

// Builds the table row by row and answers each output row as soon as the table rows its
// windows need exist. Only the rows still needed are kept (a ring of table rows), which
// gives the same sums as the full table without its memory traffic.
// Returns the number of output rows answered: all of them unless `cancel` was set.
template <typename T>
int tableWindowSums(const Image2D& input, Image2D& output, float radius, const std::atomic<bool>& cancel)
{
    // Integer outputs are the low 32 bits of the sum, which arithmetic modulo 2^32 gives
    // exactly: the table of integer images is kept in wrapping 32-bit words.
    using Acc = std::conditional_t<std::is_floating_point_v<T>, double, std::uint32_t>;
    using Out = std::conditional_t<std::is_floating_point_v<T>, float, std::int32_t>;
    const int width = input.getWidth(), height = input.getHeight();
    std::vector<int> x0(width), x1(width), y0(height), y1(height);
    for (int x = 0; x < width; ++x)
    {
        x0[x] = lowerBound(static_cast<float>(x) - radius - 1.0f);
        x1[x] = upperBound(static_cast<float>(x) + radius, width - 1);
    }
    int span = 0;
    for (int y = 0; y < height; ++y)
    {
        y0[y] = lowerBound(static_cast<float>(y) - radius - 1.0f);
        y1[y] = upperBound(static_cast<float>(y) + radius, height - 1);
        span = std::max(span, y1[y] - std::max(y0[y], 0));
    }
    // Table rows are built two at a time, so the ring holds one row beyond the windows.
    const int ringRows = std::min(height, span + 2);
    // Interior columns: both bounds inside the image at fixed offsets (x - d0, x + d1),
    // so the four table reads run on contiguous memory.
    const int middle = width / 2;
    const int d0 = middle - x0[middle], d1 = x1[middle] - middle;
    auto isInterior = [&](int x) { return x0[x] >= 0 && x0[x] == x - d0 && x1[x] == x + d1; };
    int firstInterior = middle, interiorEnd = middle;
    if (isInterior(middle))
    {
        while (firstInterior > 0 && isInterior(firstInterior - 1))
            --firstInterior;
        while (interiorEnd < width && isInterior(interiorEnd))
            ++interiorEnd;
    }
    else
        firstInterior = interiorEnd = width;
    std::vector<Acc> ring(static_cast<std::size_t>(ringRows) * width);
    auto tableRow = [&](int row) { return ring.data() + static_cast<std::size_t>(row % ringRows) * width; };

    const T* in = input.getConstData<T>();
    Out* out = output.getData<Out>();
    int nextRow = 0;
    auto answerRows = [&](int k) {
        for (; nextRow < height && y1[nextRow] <= k; ++nextRow)
        {
            const Acc* bottom = tableRow(y1[nextRow]);
            const Acc* top = y0[nextRow] >= 0 ? tableRow(y0[nextRow]) : nullptr;
            Out* target = out + pixelIndex(0, nextRow, width);
            for (int x = 0; x < firstInterior; ++x)
                target[x] = static_cast<Out>(clippedSum(bottom, top, x0[x], x1[x]));
            if (interiorEnd > firstInterior)
                simd::runVectorized([&]() IMAGE2D_INLINE_LAMBDA {
                    interiorSums(bottom, top, d0, d1, target, firstInterior, interiorEnd);
                });
            for (int x = std::max(interiorEnd, firstInterior); x < width; ++x)
                target[x] = static_cast<Out>(clippedSum(bottom, top, x0[x], x1[x]));
            if (cancel.load(std::memory_order_relaxed))
                return ++nextRow, false;
        }
        return true;
    };
    for (int k = 0; k < height; k += 2)
    {
        // Rows k and k + 1 together: their running sums along the row are independent
        // chains of additions, so they overlap; each row's operations are unchanged.
        const T* source = in + pixelIndex(0, k, width);
        Acc* row = tableRow(k);
        const Acc* above = k > 0 ? tableRow(k - 1) : nullptr;
        const bool pair = k + 1 < height;
        if (pair)
        {
            const T* nextSource = source + width;
            Acc* next = tableRow(k + 1);
            Acc running = 0, nextRunning = 0;
            for (int x = 0; x < width; ++x)
            {
                running += static_cast<Acc>(source[x]);
                nextRunning += static_cast<Acc>(nextSource[x]);
                const Acc value = above ? running + above[x] : running;
                row[x] = value;
                next[x] = nextRunning + value;
            }
        }
        else
        {
            Acc running = 0;
            for (int x = 0; x < width; ++x)
            {
                running += static_cast<Acc>(source[x]);
                row[x] = above ? running + above[x] : running;
            }
        }
        if (cancel.load(std::memory_order_relaxed) || !answerRows(k))
            return nextRow;
        if (pair && (cancel.load(std::memory_order_relaxed) || !answerRows(k + 1)))
            return nextRow;
    }
    return nextRow;
}


} // namespace

std::shared_ptr<Image2D> windowSums(const Image2D& image, float radius, const std::atomic<bool>& cancel)
{
    constexpr const char* owner = "image2d::SubSummedAreaTable";
    if (!image.isValid())
        return warnInvalidKey(owner, Algorithm::INPUT_IMAGE), nullptr;
    if (!SubSummedAreaTable::RADIUS_PARAMETER.bounds().contains(radius))
        return warnInvalidKey(owner, SubSummedAreaTable::KERNEL_RADIUS), nullptr;
    return dispatchDataType(LocalStatisticsTypes{}, image.getDataType(),
                            "image2d::SubSummedAreaTable : sat algorithm not supported for data type: ",
                            [&](auto tag) -> std::shared_ptr<Image2D> {
                                using T = typename decltype(tag)::type;
                                // Every row is written unless the run is cancelled; the rows
                                // a cancelled run leaves are cleared.
                                std::shared_ptr<Image2D> output = newUnfilledImageLike(
                                    image, std::is_floating_point_v<T> ? Image2D::FLOAT : Image2D::INT);
                                if (!output)
                                    return nullptr;
                                const int rows = tableWindowSums<T>(image, *output, radius, cancel);
                                unsigned char* pixels = output->getData<unsigned char>();
                                const std::size_t done =
                                    pixelIndex(0, rows, image.getWidth()) * output->getDataTypeSize();
                                std::fill(pixels + done, pixels + output->getByteCount(), 0);
                                return output;
                            });
}

const QString& SubSummedAreaTable::KERNEL_RADIUS = AreaAverage::KERNEL_RADIUS;
const Parameter<float> SubSummedAreaTable::RADIUS_PARAMETER{
    &KERNEL_RADIUS, Bounds::finiteAtLeast(0), "window radius in pixels; window bounds are truncated toward zero"};

const ParameterList& SubSummedAreaTable::parameters()
{
    static const ParameterList list{&RADIUS_PARAMETER};
    return list;
}

std::shared_ptr<Image2D> SubSummedAreaTable::executeSAT(Image2D* image, float radius)
{
    SubSummedAreaTable algorithm;
    if (image)
        algorithm.setInput(INPUT_IMAGE, image);
    algorithm.setUniformValue(KERNEL_RADIUS, radius);
    algorithm.execute(neverCancelled());
    return algorithm.getSharedOutput(OUTPUT_IMAGE);
}

bool SubSummedAreaTable::isInputValid() const
{
    constexpr const char* owner = "image2d::SubSummedAreaTable";
    return requireInputImage(owner, INPUT_IMAGE) && RADIUS_PARAMETER.validate(*this, owner);
}

bool SubSummedAreaTable::process(const std::atomic<bool>& cancel)
{
    const std::shared_ptr<Image2D> input = getSharedInput(INPUT_IMAGE);
    return publish(OUTPUT_IMAGE, windowSums(*input, RADIUS_PARAMETER(*this), cancel), *input, LocalStatisticsTypes{});
}

} // namespace image2d
