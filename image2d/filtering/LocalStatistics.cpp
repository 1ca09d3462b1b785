#include "image2d/filtering/LocalStatistics.h"

#include "image2d/filtering/LineKernels.h"
#include "image2d/framework/Dispatch.h"
#include "image2d/framework/Log.h"
#include "image2d/framework/Parallel.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#include <limits>
#include <iterator>
#include <new>
#include <type_traits>
#include <utility>
#include <vector>

namespace image2d {

using namespace filtering_detail;

const QString AreaAverage::KERNEL_RADIUS = QStringLiteral("radius");
const QString SubSummedAreaTable::KERNEL_RADIUS = QStringLiteral("radius");
const QString RecursiveMinMax::KERNEL_RADIUS = QStringLiteral("kernelRadius");
const QString RecursiveMinMax::MIN_IMAGE = QStringLiteral("minImage");
const QString RecursiveMinMax::MAX_IMAGE = QStringLiteral("maxImage");
const QString Median::RADIUS = QStringLiteral("medianRadius");

namespace {

std::size_t index(int x, int y, int width)
{
    return static_cast<std::size_t>(y) * static_cast<std::size_t>(width) + static_cast<std::size_t>(x);
}

template <typename T>
std::unique_ptr<T[]> tryAllocate(std::size_t count)
{
    return std::unique_ptr<T[]>(new (std::nothrow) T[count]);
}

// ---- AreaAverage ----------------------------------------------------------------------

// Running window sums over columns [x0, x1) of N rows at once (independent sums, so the
// additions overlap); the window is clipped at the ends of the row. Row n of the group
// starts at in + n * width, its sums at out + n * outStride.
template <typename T, typename Sum, int N>
void rowWindowSums(const T* in, int width, int radius, int x0, int x1, Sum* out, std::size_t outStride)
{
    Sum sum[N] = {};
    // The window of x0 without its entering pixel, plus the pixel that leaves at x0.
    for (int x = std::max(0, x0 - radius - 1); x <= std::min(width - 1, x0 + radius - 1); ++x)
        for (int n = 0; n < N; ++n)
            sum[n] += static_cast<Sum>(in[index(x, n, width)]);
    for (int x = x0; x < x1; ++x)
    {
        const int entering = x + radius, leaving = x - radius - 1;
        if (entering < width)
            for (int n = 0; n < N; ++n)
                sum[n] += static_cast<Sum>(in[index(entering, n, width)]);
        if (leaving >= 0)
            for (int n = 0; n < N; ++n)
                sum[n] -= static_cast<Sum>(in[index(leaving, n, width)]);
        for (int n = 0; n < N; ++n)
            out[n * outStride + (x - x0)] = sum[n];
    }
}

// Round half away from zero; the fraction of a double is exact, so ties are decided exactly.
template <typename T>
inline T fromMean(double mean)
{
    if constexpr (std::is_floating_point_v<T>)
        return static_cast<T>(mean);
    else
    {
        const auto whole = static_cast<std::int64_t>(mean);
        const double fraction = mean - static_cast<double>(whole);
        return static_cast<T>(whole + (fraction >= 0.5) - (fraction <= -0.5));
    }
}

template <typename Sum>
struct ColumnMeanJob
{
    const Sum* sums;    // row sums of the strip, column firstColumn first
    std::size_t stride; // between rows of `sums`
    const double* columnCounts;
    int width;
    int height;
    int radius;
};

template <typename T, typename Sum>
IMAGE2D_INLINE_LOOP void columnMeansImpl(const ColumnMeanJob<Sum>& job, T* out, int firstColumn, int columns)
{
    thread_local std::vector<double> sumStore;
    double* sum = lineBuffer(sumStore, static_cast<std::size_t>(columns));
    const int width = job.width, height = job.height, radius = job.radius;
    const double* counts = job.columnCounts + firstColumn;
    std::fill(sum, sum + columns, 0.0);
    for (int y = 0; y < radius; ++y)
    {
        const Sum* row = job.sums + static_cast<std::size_t>(y) * job.stride;
        for (int c = 0; c < columns; ++c)
            sum[c] += static_cast<double>(row[c]);
    }
    for (int y = 0; y < height; ++y)
    {
        if (y + radius < height)
        {
            const Sum* row = job.sums + static_cast<std::size_t>(y + radius) * job.stride;
            for (int c = 0; c < columns; ++c)
                sum[c] += static_cast<double>(row[c]);
        }
        if (y - radius - 1 >= 0)
        {
            const Sum* row = job.sums + static_cast<std::size_t>(y - radius - 1) * job.stride;
            for (int c = 0; c < columns; ++c)
                sum[c] -= static_cast<double>(row[c]);
        }
        const double rowCount = std::min(height - 1, y + radius) - std::max(0, y - radius) + 1;
        T* target = out + index(firstColumn, y, width);
        for (int c = 0; c < columns; ++c)
            target[c] = fromMean<T>(sum[c] / (counts[c] * rowCount));
    }
}

template <typename T, typename Sum>
void columnMeans(const ColumnMeanJob<Sum>& job, T* out, int firstColumn, int columns)
{
    columnMeansImpl(job, out, firstColumn, columns);
}

template <typename T, typename Sum>
IMAGE2D_WIDE_TARGET void columnMeansWide(const ColumnMeanJob<Sum>& job, T* out, int firstColumn, int columns)
{
    columnMeansImpl(job, out, firstColumn, columns);
}

int fittedRadius(int radius, int length)
{
    return 2LL * radius + 1 > length ? (length - 1) / 2 : radius;
}

// Window means as (window sum) / (row count * column count): the row sums are kept as
// sums, so integer images get the exactly rounded mean rather than a mean of means.
// The image is cut into strips of whole columns, in parallel; each strip runs its row
// pass into a thread-local buffer and then its column pass. A strip's buffer stays in
// the cache, where a whole-image buffer of doubles (24 to 34 MB) would cost its memory
// traffic and, above the allocator's reuse limit, fresh pages on every call.
// Row sums of 8- and 16-bit pixels are exact in 32-bit integers; the column sums are
// doubles, exact for integers.
template <typename T, typename Sum>
bool areaAverage(const Image2D& input, Image2D& output, int rx, int ry)
{
    const int width = input.getWidth(), height = input.getHeight();
    const T* in = input.getConstData<T>();
    T* out = output.getData<T>();
    std::vector<double> columnCounts(static_cast<std::size_t>(width));
    for (int x = 0; x < width; ++x)
        columnCounts[x] = std::min(width - 1, x + rx) - std::max(0, x - rx) + 1;
    constexpr int kStrip = 128; // columns per strip
    const int strips = (width + kStrip - 1) / kStrip;
    const bool wide = IMAGE2D_HAS_WIDE_TARGET && useWideVectors();
    parallelFor(0, strips, [&](int first, int last) {
        thread_local std::vector<Sum> store;
        for (int b = first; b < last; ++b)
        {
            const int firstColumn = b * kStrip, columns = std::min(kStrip, width - firstColumn);
            Sum* sums = lineBuffer(store, static_cast<std::size_t>(height) * columns);
            int y = 0;
            for (; y + 4 <= height; y += 4)
                rowWindowSums<T, Sum, 4>(in + index(0, y, width), width, rx, firstColumn, firstColumn + columns,
                                         sums + static_cast<std::size_t>(y) * columns, columns);
            for (; y < height; ++y)
                rowWindowSums<T, Sum, 1>(in + index(0, y, width), width, rx, firstColumn, firstColumn + columns,
                                         sums + static_cast<std::size_t>(y) * columns, columns);
            const ColumnMeanJob<Sum> job{sums, static_cast<std::size_t>(columns), columnCounts.data(), width, height,
                                         ry};
            if (wide)
                columnMeansWide(job, out, firstColumn, columns);
            else
                columnMeans(job, out, firstColumn, columns);
        }
    });
    return true;
}

template <typename T>
bool areaAverage(const Image2D& input, Image2D& output, int radius)
{
    const int rx = fittedRadius(radius, input.getWidth()), ry = fittedRadius(radius, input.getHeight());
    if constexpr (std::is_integral_v<T> && sizeof(T) <= 2)
        if (2 * rx + 1 <= 32767)
            return areaAverage<T, std::int32_t>(input, output, rx, ry);
    return areaAverage<T, double>(input, output, rx, ry);
}

// ---- SubSummedAreaTable ---------------------------------------------------------------

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
template <typename Acc, typename Out>
void interiorSums(const Acc* __restrict bottom, const Acc* __restrict top, int d0, int d1, Out* __restrict target,
                  int first, int end)
{
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
template <typename T>
bool windowSums(const Image2D& input, Image2D& output, float radius, const std::atomic<bool>& cancel)
{
    using Acc = std::conditional_t<std::is_floating_point_v<T>, double, std::int64_t>;
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
    const int ringRows = std::min(height, span + 1);
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
    for (int k = 0; k < height; ++k)
    {
        const T* source = in + index(0, k, width);
        Acc* row = tableRow(k);
        Acc running = 0;
        if (k == 0)
            for (int x = 0; x < width; ++x)
            {
                running += static_cast<Acc>(source[x]);
                row[x] = running;
            }
        else
        {
            const Acc* above = tableRow(k - 1);
            for (int x = 0; x < width; ++x)
            {
                running += static_cast<Acc>(source[x]);
                row[x] = running + above[x];
            }
        }
        if (cancel.load(std::memory_order_relaxed))
            return true;
        for (; nextRow < height && y1[nextRow] <= k; ++nextRow)
        {
            const Acc* bottom = tableRow(y1[nextRow]);
            const Acc* top = y0[nextRow] >= 0 ? tableRow(y0[nextRow]) : nullptr;
            Out* target = out + index(0, nextRow, width);
            for (int x = 0; x < firstInterior; ++x)
                target[x] = static_cast<Out>(clippedSum(bottom, top, x0[x], x1[x]));
            if (interiorEnd > firstInterior)
                interiorSums(bottom, top, d0, d1, target, firstInterior, interiorEnd);
            for (int x = std::max(interiorEnd, firstInterior); x < width; ++x)
                target[x] = static_cast<Out>(clippedSum(bottom, top, x0[x], x1[x]));
            if (cancel.load(std::memory_order_relaxed))
                return true;
        }
    }
    return true;
}

// ---- RecursiveMinMax ------------------------------------------------------------------

template <typename T>
struct MaxOf
{
    static constexpr T padding = std::numeric_limits<T>::lowest();
    static T apply(T a, T b) { return std::max(a, b); }
};

template <typename T>
struct MinOf
{
    static constexpr T padding = std::numeric_limits<T>::max();
    static T apply(T a, T b) { return std::min(a, b); }
};

int paddedLength(int length, int radius)
{
    const long long block = 2LL * radius + 1;
    return static_cast<int>((length + 2LL * radius + block - 1) / block * block);
}

// One row: minimum and maximum together, so the two running extremes overlap.
template <typename T>
void rowMinMax(const T* row, T* outMin, T* outMax, int width, int radius, T* paddedMin, T* paddedMax, T* backMin,
               T* backMax)
{
    const int block = 2 * radius + 1;
    const int length = paddedLength(width, radius);
    std::fill(paddedMin, paddedMin + length, MinOf<T>::padding);
    std::fill(paddedMax, paddedMax + length, MaxOf<T>::padding);
    std::copy(row, row + width, paddedMin + radius);
    std::copy(row, row + width, paddedMax + radius);
    for (int start = length - block; start >= 0; start -= block)
    {
        T mn = MinOf<T>::padding, mx = MaxOf<T>::padding;
        for (int i = start + block - 1; i >= start; --i)
        {
            mn = std::min(mn, paddedMin[i]);
            mx = std::max(mx, paddedMax[i]);
            backMin[i] = mn;
            backMax[i] = mx;
        }
    }
    T mn = MinOf<T>::padding, mx = MaxOf<T>::padding;
    const int end = width + 2 * radius;
    for (int i = 0, phase = 0; i < end; ++i)
    {
        if (phase == 0)
        {
            mn = paddedMin[i];
            mx = paddedMax[i];
        }
        else
        {
            mn = std::min(mn, paddedMin[i]);
            mx = std::max(mx, paddedMax[i]);
        }
        if (++phase == block)
            phase = 0;
        const int x = i - 2 * radius;
        if (x >= 0)
        {
            outMin[x] = std::min(backMin[x], mn);
            outMax[x] = std::max(backMax[x], mx);
        }
    }
}

struct ColumnExtremeJob
{
    int width;
    int height;
    int radius;
};

// A block of whole columns, swept row by row so the work runs across the columns.
// Fixed > 0 is the block width known at compile time (whole vectors, unrolled, the
// running extreme in registers); 0 takes the width from `columns`.
template <typename T, typename Op, int Fixed>
IMAGE2D_INLINE_LOOP void columnExtremeImpl(const ColumnExtremeJob& job, const T* in, T* out, int firstColumn,
                                           int blockColumns)
{
    const int columns = Fixed > 0 ? Fixed : blockColumns;
    thread_local std::vector<T> store;
    const int width = job.width, height = job.height, radius = job.radius, block = 2 * radius + 1;
    const int length = paddedLength(height, radius);
    T* back = lineBuffer(store, static_cast<std::size_t>(length + 2) * columns);
    T* padRow = back + static_cast<std::size_t>(length) * columns;
    alignas(32) T forwardLocal[Fixed > 0 ? Fixed : 1];
    T* forward = Fixed > 0 ? forwardLocal : padRow + columns;
    std::fill(padRow, padRow + columns, Op::padding);
    auto source = [&](int i) {
        const int y = i - radius;
        return (y >= 0 && y < height) ? in + index(firstColumn, y, width) : padRow;
    };
    for (int start = length - block; start >= 0; start -= block)
    {
        const int lastInBlock = start + block - 1;
        std::copy(source(lastInBlock), source(lastInBlock) + columns, back + static_cast<std::size_t>(lastInBlock) * columns);
        for (int i = lastInBlock - 1; i >= start; --i)
        {
            const T* s = source(i);
            const T* next = back + static_cast<std::size_t>(i + 1) * columns;
            T* current = back + static_cast<std::size_t>(i) * columns;
            for (int c = 0; c < columns; ++c)
                current[c] = Op::apply(next[c], s[c]);
        }
    }
    const int end = height + 2 * radius;
    for (int i = 0, phase = 0; i < end; ++i)
    {
        const T* s = source(i);
        if (phase == 0)
            std::copy(s, s + columns, forward);
        else
            for (int c = 0; c < columns; ++c)
                forward[c] = Op::apply(forward[c], s[c]);
        if (++phase == block)
            phase = 0;
        const int y = i - 2 * radius;
        if (y >= 0)
        {
            const T* b = back + static_cast<std::size_t>(y) * columns;
            T* target = out + index(firstColumn, y, width);
            for (int c = 0; c < columns; ++c)
                target[c] = Op::apply(b[c], forward[c]);
        }
    }
}

// Running minimum and/or maximum down a block of Fixed columns starting at firstColumn
// (whole 32-byte vectors; the running extremes stay in registers). The minimum reads
// inMin, the maximum inMax: the same image for a transposed row group, the row-minimum
// and row-maximum images in the column passes.
template <typename T, int Fixed, bool WantMin, bool WantMax>
IMAGE2D_INLINE_LOOP void columnMinMaxImpl(const ColumnExtremeJob& job, const T* inMin, const T* inMax, T* outMin,
                                          T* outMax, int firstColumn)
{
    typedef T Vector __attribute__((vector_size(32)));
    constexpr int kVectors = static_cast<int>(Fixed * sizeof(T) / sizeof(Vector));
    static_assert(kVectors * sizeof(Vector) == Fixed * sizeof(T), "whole vectors only");
    thread_local std::vector<T> store;
    const int width = job.width, height = job.height, radius = job.radius, block = 2 * radius + 1;
    // Blocks are taken top to bottom: a block's backward extremes, then its forward ones,
    // which finish the outputs whose window ends in this block. Those outputs need the
    // backward extremes of this block and the one before, so two blocks of them are kept
    // (a ring) and each input row is read twice while it is still in the cache.
    const int ring = 2 * block;
    T* back = lineBuffer(store, static_cast<std::size_t>(ring) * 2 * Fixed);
    auto backAt = [&](int i, int v) {
        return back + (static_cast<std::size_t>(i % ring) * 2 * kVectors + v) * (sizeof(Vector) / sizeof(T));
    };
    Vector lowPad, highPad;
    for (int l = 0; l < static_cast<int>(sizeof(Vector) / sizeof(T)); ++l)
    {
        lowPad[l] = MaxOf<T>::padding;
        highPad[l] = MinOf<T>::padding;
    }
    auto load = [&](int i, int v, Vector& mn, Vector& mx) {
        const int y = i - radius;
        if (y >= 0 && y < height)
        {
            const int column = firstColumn + v * static_cast<int>(sizeof(Vector) / sizeof(T));
            if constexpr (WantMin)
                std::memcpy(&mn, inMin + index(column, y, width), sizeof(Vector));
            if constexpr (WantMax)
                std::memcpy(&mx, inMax + index(column, y, width), sizeof(Vector));
        }
        else
        {
            mn = highPad;
            mx = lowPad;
        }
    };
    const int end = height + 2 * radius;
    for (int first = 0; first < end; first += block)
    {
        Vector mn[kVectors], mx[kVectors];
        for (int v = 0; v < kVectors; ++v)
        {
            mn[v] = highPad;
            mx[v] = lowPad;
        }
        for (int i = first + block - 1; i >= first; --i)
            for (int v = 0; v < kVectors; ++v)
            {
                Vector a, b;
                load(i, v, a, b);
                mn[v] = a < mn[v] ? a : mn[v];
                mx[v] = mx[v] < b ? b : mx[v];
                if constexpr (WantMin)
                    std::memcpy(backAt(i, v), &mn[v], sizeof(Vector));
                if constexpr (WantMax)
                    std::memcpy(backAt(i, kVectors + v), &mx[v], sizeof(Vector));
            }
        const int last = std::min(first + block, end);
        for (int i = first; i < last; ++i)
        {
            for (int v = 0; v < kVectors; ++v)
            {
                Vector a, b;
                load(i, v, a, b);
                if (i == first)
                {
                    mn[v] = a;
                    mx[v] = b;
                }
                else
                {
                    mn[v] = a < mn[v] ? a : mn[v];
                    mx[v] = mx[v] < b ? b : mx[v];
                }
            }
            const int y = i - 2 * radius;
            if (y < 0)
                continue;
            for (int v = 0; v < kVectors; ++v)
            {
                Vector backMin, backMax;
                std::memcpy(&backMin, backAt(y, v), sizeof(Vector));
                std::memcpy(&backMax, backAt(y, kVectors + v), sizeof(Vector));
                const Vector resultMin = backMin < mn[v] ? backMin : mn[v];
                const Vector resultMax = backMax < mx[v] ? mx[v] : backMax;
                const int column = firstColumn + v * static_cast<int>(sizeof(Vector) / sizeof(T));
                if constexpr (WantMin)
                    std::memcpy(outMin + index(column, y, width), &resultMin, sizeof(Vector));
                if constexpr (WantMax)
                    std::memcpy(outMax + index(column, y, width), &resultMax, sizeof(Vector));
            }
        }
    }
}

template <typename T, int Fixed, bool WantMin, bool WantMax>
void columnMinMaxDefault(const ColumnExtremeJob& job, const T* inMin, const T* inMax, T* outMin, T* outMax,
                         int firstColumn)
{
    columnMinMaxImpl<T, Fixed, WantMin, WantMax>(job, inMin, inMax, outMin, outMax, firstColumn);
}

template <typename T, int Fixed, bool WantMin, bool WantMax>
IMAGE2D_WIDE_TARGET void columnMinMaxWide(const ColumnExtremeJob& job, const T* inMin, const T* inMax, T* outMin,
                                          T* outMax, int firstColumn)
{
    columnMinMaxImpl<T, Fixed, WantMin, WantMax>(job, inMin, inMax, outMin, outMax, firstColumn);
}

template <typename T, int Fixed, bool WantMin, bool WantMax>
void columnMinMax(bool wide, const ColumnExtremeJob& job, const T* inMin, const T* inMax, T* outMin, T* outMax,
                  int firstColumn)
{
    if (wide)
        columnMinMaxWide<T, Fixed, WantMin, WantMax>(job, inMin, inMax, outMin, outMax, firstColumn);
    else
        columnMinMaxDefault<T, Fixed, WantMin, WantMax>(job, inMin, inMax, outMin, outMax, firstColumn);
}

template <typename T, typename Op, int Fixed>
void columnExtremeDefault(const ColumnExtremeJob& job, const T* in, T* out, int firstColumn, int columns)
{
    columnExtremeImpl<T, Op, Fixed>(job, in, out, firstColumn, columns);
}

template <typename T, typename Op, int Fixed>
IMAGE2D_WIDE_TARGET void columnExtremeWide(const ColumnExtremeJob& job, const T* in, T* out, int firstColumn, int columns)
{
    columnExtremeImpl<T, Op, Fixed>(job, in, out, firstColumn, columns);
}

template <typename T, typename Op, int Fixed = 0>
void columnExtreme(bool wide, const ColumnExtremeJob& job, const T* in, T* out, int firstColumn, int columns)
{
    if (wide)
        columnExtremeWide<T, Op, Fixed>(job, in, out, firstColumn, columns);
    else
        columnExtremeDefault<T, Op, Fixed>(job, in, out, firstColumn, columns);
}

template <typename T, typename Op>
void columnPassExtreme(const ColumnExtremeJob& job, const T* in, T* out)
{
    constexpr int kBlock = static_cast<int>(128 / sizeof(T));
    const int blocks = (job.width + kBlock - 1) / kBlock;
    const bool wide = IMAGE2D_HAS_WIDE_TARGET && useWideVectors();
    parallelFor(0, blocks, [&](int first, int last) {
        for (int b = first; b < last; ++b)
        {
            const int firstColumn = b * kBlock;
            if (job.width - firstColumn >= kBlock)
            {
                if constexpr (std::is_same_v<Op, MinOf<T>>)
                    columnMinMax<T, kBlock, true, false>(wide, job, in, nullptr, out, nullptr, firstColumn);
                else
                    columnMinMax<T, kBlock, false, true>(wide, job, nullptr, in, nullptr, out, firstColumn);
            }
            else
                columnExtreme<T, Op>(wide, job, in, out, firstColumn, job.width - firstColumn);
        }
    });
}

// Copies the `rows` x `columns` block at `src` (row stride srcStride) transposed to `dst`
// (row stride dstStride). 16-bit blocks of 8 x 8 go through vector unpacks.
template <typename T>
void transposeBlock(const T* src, std::size_t srcStride, T* dst, std::size_t dstStride, int rows, int columns)
{
    int x0 = 0;
#if defined(__SSE2__)
    if constexpr (sizeof(T) == 2)
    {
        if (rows % 8 == 0)
            for (; x0 + 8 <= columns; x0 += 8)
                for (int y0 = 0; y0 < rows; y0 += 8)
                {
                    const T* s = src + static_cast<std::size_t>(y0) * srcStride + x0;
                    __m128i r[8];
                    for (int i = 0; i < 8; ++i)
                        r[i] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i * srcStride));
                    const __m128i t0 = _mm_unpacklo_epi16(r[0], r[1]), t1 = _mm_unpackhi_epi16(r[0], r[1]);
                    const __m128i t2 = _mm_unpacklo_epi16(r[2], r[3]), t3 = _mm_unpackhi_epi16(r[2], r[3]);
                    const __m128i t4 = _mm_unpacklo_epi16(r[4], r[5]), t5 = _mm_unpackhi_epi16(r[4], r[5]);
                    const __m128i t6 = _mm_unpacklo_epi16(r[6], r[7]), t7 = _mm_unpackhi_epi16(r[6], r[7]);
                    const __m128i u0 = _mm_unpacklo_epi32(t0, t2), u1 = _mm_unpackhi_epi32(t0, t2);
                    const __m128i u2 = _mm_unpacklo_epi32(t1, t3), u3 = _mm_unpackhi_epi32(t1, t3);
                    const __m128i u4 = _mm_unpacklo_epi32(t4, t6), u5 = _mm_unpackhi_epi32(t4, t6);
                    const __m128i u6 = _mm_unpacklo_epi32(t5, t7), u7 = _mm_unpackhi_epi32(t5, t7);
                    const __m128i columns8[8] = {_mm_unpacklo_epi64(u0, u4), _mm_unpackhi_epi64(u0, u4),
                                                 _mm_unpacklo_epi64(u1, u5), _mm_unpackhi_epi64(u1, u5),
                                                 _mm_unpacklo_epi64(u2, u6), _mm_unpackhi_epi64(u2, u6),
                                                 _mm_unpacklo_epi64(u3, u7), _mm_unpackhi_epi64(u3, u7)};
                    T* d = dst + static_cast<std::size_t>(x0) * dstStride + y0;
                    for (int i = 0; i < 8; ++i)
                        _mm_storeu_si128(reinterpret_cast<__m128i*>(d + i * dstStride), columns8[i]);
                }
    }
#endif
    for (int y = 0; y < rows; ++y)
        for (int x = x0; x < columns; ++x)
            dst[static_cast<std::size_t>(x) * dstStride + y] = src[static_cast<std::size_t>(y) * srcStride + x];
}

// Row pass for a group of rows: the group is transposed so that the vectorised column
// filter runs along the rows (lanes are rows), then transposed back. Rows left over
// at the end take the scalar line filter.
template <typename T>
void rowPassMinMax(const T* in, T* outMin, T* outMax, int width, int radius, int first, int last, bool wide)
{
    constexpr int kGroup = static_cast<int>(32 / sizeof(T));
    int y = first;
    if (last - first >= kGroup)
    {
        thread_local std::vector<T> transposedStore;
        const std::size_t plane = static_cast<std::size_t>(width) * kGroup;
        T* columns = lineBuffer(transposedStore, 3 * plane);
        T* columnsMin = columns + plane;
        T* columnsMax = columnsMin + plane;
        const ColumnExtremeJob job{kGroup, width, radius};
        for (; y + kGroup <= last; y += kGroup)
        {
            transposeBlock(in + index(0, y, width), width, columns, kGroup, kGroup, width);
            columnMinMax<T, kGroup, true, true>(wide, job, columns, columns, columnsMin, columnsMax, 0);
            transposeBlock(columnsMin, kGroup, outMin + index(0, y, width), width, width, kGroup);
            transposeBlock(columnsMax, kGroup, outMax + index(0, y, width), width, width, kGroup);
        }
    }
    thread_local std::vector<T> store;
    const std::size_t length = static_cast<std::size_t>(paddedLength(width, radius));
    T* buffers = lineBuffer(store, 4 * length);
    for (; y < last; ++y)
        rowMinMax(in + index(0, y, width), outMin + index(0, y, width), outMax + index(0, y, width), width, radius,
                  buffers, buffers + length, buffers + 2 * length, buffers + 3 * length);
}

// ---- Median ---------------------------------------------------------------------------

template <typename T>
inline T median3(T a, T b, T c)
{
    return std::max(std::min(a, b), std::min(std::max(a, b), c));
}

// NaN sorts above every number, so the selection is a strict weak ordering for any input.
template <typename T>
inline bool lessForMedian(T a, T b)
{
    if constexpr (std::is_floating_point_v<T>)
        return a < b || (b != b && a == a);
    else
        return a < b;
}

// Edge-replicated copy of one row, `radius` extra pixels on each side.
template <typename T>
IMAGE2D_INLINE_LOOP void replicateRow(const T* __restrict row, int width, int radius, T* __restrict line)
{
    std::fill(line, line + radius, row[0]);
    std::copy(row, row + width, line + radius);
    std::fill(line + radius + width, line + 2 * radius + width, row[width - 1]);
}

// Sorts the three values of every padded column into low <= mid <= high.
template <typename T>
IMAGE2D_INLINE_LOOP void sortColumns3(const T* __restrict a, const T* __restrict b, const T* __restrict c,
                                      T* __restrict low, T* __restrict mid, T* __restrict high, int count)
{
    for (int p = 0; p < count; ++p)
    {
        const T lo = std::min(a[p], b[p]), hi = std::max(a[p], b[p]);
        low[p] = std::min(lo, c[p]);
        const T top = std::max(lo, c[p]);
        mid[p] = std::min(hi, top);
        high[p] = std::max(hi, top);
    }
}

template <typename T>
IMAGE2D_INLINE_LOOP void combineColumns3(const T* __restrict low, const T* __restrict mid, const T* __restrict high,
                                         T* __restrict out, int width)
{
    for (int x = 0; x < width; ++x)
    {
        const T maxLow = std::max(std::max(low[x], low[x + 1]), low[x + 2]);
        const T medMid = median3(mid[x], mid[x + 1], mid[x + 2]);
        const T minHigh = std::min(std::min(high[x], high[x + 1]), high[x + 2]);
        out[x] = median3(maxLow, medMid, minHigh);
    }
}

// 3 x 3: each padded column's three values are sorted once; the median of nine is then
// the median of (largest low, median of middles, smallest high) of three adjacent columns.
template <typename T>
IMAGE2D_INLINE_LOOP void median3x3RowImpl(const T* above, const T* centre, const T* below, T* out, int width, T* lines)
{
    const int padded = width + 2;
    T* a = lines;
    T* b = a + padded;
    T* c = b + padded;
    T* low = c + padded;
    T* mid = low + padded;
    T* high = mid + padded;
    replicateRow(above, width, 1, a);
    replicateRow(centre, width, 1, b);
    replicateRow(below, width, 1, c);
    sortColumns3(a, b, c, low, mid, high, padded);
    combineColumns3(low, mid, high, out, width);
}

template <typename T>
void median3x3Row(const T* above, const T* centre, const T* below, T* out, int width, T* lines)
{
    median3x3RowImpl(above, centre, below, out, width, lines);
}

template <typename T>
IMAGE2D_WIDE_TARGET void median3x3RowWide(const T* above, const T* centre, const T* below, T* out, int width, T* lines)
{
    median3x3RowImpl(above, centre, below, out, width, lines);
}

// Sliding histogram for 8- and 16-bit pixels (Huang): moving one pixel right removes
// one window column and adds another; the median is tracked from the previous one,
// with a coarse histogram of 256-value blocks to skip empty stretches.
template <typename T>
class SlidingHistogram
{
public:
    static constexpr int kBins = 1 << (8 * sizeof(T));
    static constexpr int kOffset = std::is_signed_v<T> ? kBins / 2 : 0;

    explicit SlidingHistogram(int rank)
        : m_fine(kBins, 0), m_coarse(kBins / 256, 0), m_rank(rank)
    {
    }

    static int bin(T value) { return static_cast<int>(value) + kOffset; }

    void add(int b)
    {
        ++m_fine[b];
        ++m_coarse[b >> 8];
        m_below += b < m_median;
    }
    void remove(int b)
    {
        --m_fine[b];
        --m_coarse[b >> 8];
        m_below -= b < m_median;
    }

    // Moves the tracked median to the bin holding rank `m_rank`.
    int median()
    {
        while (m_below > m_rank)
        {
            // Step down, skipping empty 256-value blocks.
            while ((m_median & 255) == 0 && m_median > 0 && m_coarse[(m_median >> 8) - 1] == 0)
                m_median -= 256;
            --m_median;
            m_below -= m_fine[m_median];
        }
        while (m_below + m_fine[m_median] <= m_rank)
        {
            m_below += m_fine[m_median];
            ++m_median;
            while ((m_median & 255) == 0 && m_coarse[m_median >> 8] == 0)
                m_median += 256;
        }
        return m_median;
    }

private:
    std::vector<int> m_fine;
    std::vector<int> m_coarse;
    int m_rank;
    int m_median = 0;
    int m_below = 0; // values in bins below m_median
};

template <typename T>
bool medianHistogram(const Image2D& input, Image2D& output, int radius, const std::atomic<bool>& cancel)
{
    const int width = input.getWidth(), height = input.getHeight(), side = 2 * radius + 1;
    const T* in = input.getConstData<T>();
    T* out = output.getData<T>();
    // Bins of the edge-replicated image, one padded line per source row, built once.
    std::vector<int> columns(static_cast<std::size_t>(width + 2 * radius));
    for (int p = 0; p < width + 2 * radius; ++p)
        columns[p] = std::clamp(p - radius, 0, width - 1);
    SlidingHistogram<T> histogram(side * side / 2);
    std::vector<const T*> rows(static_cast<std::size_t>(side));
    for (int y = 0; y < height; ++y)
    {
        for (int i = 0; i < side; ++i)
            rows[i] = in + index(0, std::clamp(y - radius + i, 0, height - 1), width);
        auto addColumn = [&](int p, bool adding) {
            const int x = columns[p];
            for (const T* row : rows)
            {
                const int b = SlidingHistogram<T>::bin(row[x]);
                if (adding)
                    histogram.add(b);
                else
                    histogram.remove(b);
            }
        };
        for (int p = 0; p < side; ++p)
            addColumn(p, true);
        T* target = out + index(0, y, width);
        for (int x = 0; x < width; ++x)
        {
            if (x > 0)
            {
                addColumn(x - 1, false);
                addColumn(x + side - 1, true);
            }
            target[x] = static_cast<T>(histogram.median() - SlidingHistogram<T>::kOffset);
        }
        for (int p = width - 1; p < width - 1 + side; ++p)
            addColumn(p, false);
        if (cancel.load(std::memory_order_relaxed))
            return true;
    }
    return true;
}

// Any type, any radius: gather the replicated window and select rank n / 2.
template <typename T>
bool medianSelect(const Image2D& input, Image2D& output, int radius, const std::atomic<bool>& cancel)
{
    const int width = input.getWidth(), height = input.getHeight(), side = 2 * radius + 1;
    const T* in = input.getConstData<T>();
    T* out = output.getData<T>();
    const std::size_t count = static_cast<std::size_t>(side) * side;
    std::vector<T> window(count);
    std::vector<int> columns(static_cast<std::size_t>(width + 2 * radius));
    for (int p = 0; p < width + 2 * radius; ++p)
        columns[p] = std::clamp(p - radius, 0, width - 1);
    std::vector<const T*> rows(static_cast<std::size_t>(side));
    for (int y = 0; y < height; ++y)
    {
        for (int i = 0; i < side; ++i)
            rows[i] = in + index(0, std::clamp(y - radius + i, 0, height - 1), width);
        for (int x = 0; x < width; ++x)
        {
            T* w = window.data();
            for (const T* row : rows)
                for (int j = 0; j < side; ++j)
                    *w++ = row[columns[x + j]];
            std::nth_element(window.begin(), window.begin() + count / 2, window.end(), lessForMedian<T>);
            out[index(x, y, width)] = window[count / 2];
        }
        if (cancel.load(std::memory_order_relaxed))
            return true;
    }
    return true;
}

template <typename T>
bool median3x3(const Image2D& input, Image2D& output, const std::atomic<bool>& cancel)
{
    const int width = input.getWidth(), height = input.getHeight();
    const T* in = input.getConstData<T>();
    T* out = output.getData<T>();
    std::vector<T> lines(static_cast<std::size_t>(6) * (width + 2));
    const bool wide = IMAGE2D_HAS_WIDE_TARGET && useWideVectors();
    for (int y = 0; y < height; ++y)
    {
        const T* above = in + index(0, std::max(y - 1, 0), width);
        const T* centre = in + index(0, y, width);
        const T* below = in + index(0, std::min(y + 1, height - 1), width);
        if (wide)
            median3x3RowWide(above, centre, below, out + index(0, y, width), width, lines.data());
        else
            median3x3Row(above, centre, below, out + index(0, y, width), width, lines.data());
        if (cancel.load(std::memory_order_relaxed))
            return true;
    }
    return true;
}

// 5 x 5 median by selection networks (Batcher's odd-even merges, pruned to the
// operations the middle output depends on): every column of five is sorted, neighbouring
// sorted columns are merged into sorted pairs once per row, and each window then merges
// the pairs (x, x + 1), (x + 2, x + 3) and the column x + 4 as far as its median needs.
// An operation puts the minimum on `low` and the maximum on `high`; keep 1 stores only
// the minimum, 2 only the maximum, 3 both.
struct CompareOp
{
    int low, high, keep;
};
constexpr CompareOp kSortFive[] = {{0, 1, 3}, {2, 3, 3}, {0, 2, 3}, {1, 3, 3}, {1, 2, 3},
                                   {0, 4, 3}, {2, 4, 3}, {1, 2, 3}, {3, 4, 3}};
// Two sorted columns on wires 0-4 and 5-9.
constexpr CompareOp kMergeFives[] = {
    {0, 5, 3}, {4, 9, 3}, {4, 5, 3}, {2, 7, 3}, {2, 4, 3}, {7, 5, 3},
    {1, 6, 3}, {3, 8, 3}, {3, 6, 3}, {1, 2, 3}, {3, 4, 3}, {6, 7, 3},
    {8, 5, 3},
};
// Wire holding rank k of the merged pair.
constexpr int kMergedRank[10] = {0, 1, 2, 3, 4, 6, 7, 8, 5, 9};
constexpr CompareOp kMedianOfPairs[] = {
    {0, 10, 3}, {8, 18, 3}, {8, 10, 3}, {4, 14, 3}, {4, 8, 3}, {14, 10, 3},
    {2, 12, 3}, {6, 16, 3}, {6, 12, 3}, {2, 4, 3}, {6, 8, 3}, {12, 14, 3},
    {16, 10, 3}, {1, 11, 3}, {9, 19, 3}, {9, 11, 3}, {5, 15, 3}, {5, 9, 3},
    {15, 11, 3}, {3, 13, 3}, {7, 17, 3}, {7, 13, 3}, {3, 5, 3}, {7, 9, 3},
    {13, 15, 3}, {17, 11, 3}, {1, 2, 3}, {3, 4, 3}, {5, 6, 2}, {7, 8, 3},
    {9, 12, 3}, {13, 14, 3}, {15, 16, 1}, {17, 10, 2}, {11, 18, 3}, {22, 24, 3},
    {21, 22, 3}, {23, 24, 3}, {0, 20, 2}, {10, 20, 1}, {8, 10, 2}, {4, 24, 2},
    {14, 24, 1}, {14, 10, 1}, {2, 22, 2}, {18, 22, 1}, {12, 18, 1}, {6, 12, 2},
    {12, 14, 2}, {1, 21, 2}, {11, 21, 1}, {9, 11, 2}, {15, 11, 1}, {3, 23, 2},
    {19, 23, 1}, {13, 19, 1}, {7, 13, 2}, {13, 15, 1}, {13, 14, 2},
};
constexpr int kMedianOfPairsWire = 14;
// Pair (x, x + 1) ranks on wires 0-9, pair (x + 2, x + 3) on 10-19, column x + 4 on 20-24.

template <int Low, int High, int Keep, typename V>
IMAGE2D_INLINE_LOOP void compareExchange(V* v)
{
    const V a = v[Low], b = v[High];
    if constexpr ((Keep & 1) != 0)
        v[Low] = a < b ? a : b;
    if constexpr ((Keep & 2) != 0)
        v[High] = a < b ? b : a;
}

// Applies a fixed network, unrolled, so the wires stay in registers.
template <const auto& Ops, typename V, std::size_t... I>
IMAGE2D_INLINE_LOOP void applyNetwork(V* v, std::index_sequence<I...>)
{
    (compareExchange<Ops[I].low, Ops[I].high, Ops[I].keep>(v), ...);
}

template <const auto& Ops, typename V>
IMAGE2D_INLINE_LOOP void applyNetwork(V* v)
{
    applyNetwork<Ops>(v, std::make_index_sequence<std::size(Ops)>{});
}

// One output row of the 5 x 5 median; `rows` are the five (clamped) source rows.
// The lanes of a 32-byte vector are neighbouring pixels, each running the same network.
template <typename T>
IMAGE2D_INLINE_LOOP void median5x5RowImpl(const T* const* rows, T* out, int width, T* lines)
{
    typedef T Vector __attribute__((vector_size(32)));
    constexpr int kLanes = static_cast<int>(sizeof(Vector) / sizeof(T));
    const int padded = width + 4;
    T* line[5];
    T* pair[10];
    #pragma GCC unroll 32
    for (int i = 0; i < 5; ++i)
    {
        line[i] = lines + static_cast<std::size_t>(i) * padded;
        replicateRow(rows[i], width, 2, line[i]);
    }
    #pragma GCC unroll 32
    for (int k = 0; k < 10; ++k)
        pair[k] = lines + static_cast<std::size_t>(5 + k) * padded;

    // Sort every padded column in place: line[k][p] becomes rank k of column p.
    int p = 0;
    for (; p + kLanes <= padded; p += kLanes)
    {
        Vector v[5];
        #pragma GCC unroll 32
        for (int i = 0; i < 5; ++i)
            std::memcpy(&v[i], line[i] + p, sizeof(Vector));
        applyNetwork<kSortFive>(v);
        #pragma GCC unroll 32
        for (int i = 0; i < 5; ++i)
            std::memcpy(line[i] + p, &v[i], sizeof(Vector));
    }
    for (; p < padded; ++p)
    {
        T v[5];
        #pragma GCC unroll 32
        for (int i = 0; i < 5; ++i)
            v[i] = line[i][p];
        applyNetwork<kSortFive>(v);
        #pragma GCC unroll 32
        for (int i = 0; i < 5; ++i)
            line[i][p] = v[i];
    }

    // Merge columns p and p + 1: pair[k][p] is rank k of their ten values.
    const int pairs = padded - 1;
    p = 0;
    for (; p + kLanes <= pairs; p += kLanes)
    {
        Vector v[10];
        #pragma GCC unroll 32
        for (int w = 0; w < 10; ++w)
            std::memcpy(&v[w], line[w % 5] + p + w / 5, sizeof(Vector));
        applyNetwork<kMergeFives>(v);
        #pragma GCC unroll 32
        for (int k = 0; k < 10; ++k)
            std::memcpy(pair[k] + p, &v[kMergedRank[k]], sizeof(Vector));
    }
    for (; p < pairs; ++p)
    {
        T v[10];
        #pragma GCC unroll 32
        for (int w = 0; w < 10; ++w)
            v[w] = line[w % 5][p + w / 5];
        applyNetwork<kMergeFives>(v);
        #pragma GCC unroll 32
        for (int k = 0; k < 10; ++k)
            pair[k][p] = v[kMergedRank[k]];
    }

    int x = 0;
    for (; x + kLanes <= width; x += kLanes)
    {
        Vector v[25];
        #pragma GCC unroll 32
        for (int k = 0; k < 10; ++k)
        {
            std::memcpy(&v[k], pair[k] + x, sizeof(Vector));
            std::memcpy(&v[10 + k], pair[k] + x + 2, sizeof(Vector));
        }
        #pragma GCC unroll 32
        for (int k = 0; k < 5; ++k)
            std::memcpy(&v[20 + k], line[k] + x + 4, sizeof(Vector));
        applyNetwork<kMedianOfPairs>(v);
        std::memcpy(out + x, &v[kMedianOfPairsWire], sizeof(Vector));
    }
    for (; x < width; ++x)
    {
        T v[25];
        #pragma GCC unroll 32
        for (int k = 0; k < 10; ++k)
        {
            v[k] = pair[k][x];
            v[10 + k] = pair[k][x + 2];
        }
        #pragma GCC unroll 32
        for (int k = 0; k < 5; ++k)
            v[20 + k] = line[k][x + 4];
        applyNetwork<kMedianOfPairs>(v);
        out[x] = v[kMedianOfPairsWire];
    }
}

template <typename T>
void median5x5Row(const T* const* rows, T* out, int width, T* lines)
{
    median5x5RowImpl(rows, out, width, lines);
}

template <typename T>
IMAGE2D_WIDE_TARGET void median5x5RowWide(const T* const* rows, T* out, int width, T* lines)
{
    median5x5RowImpl(rows, out, width, lines);
}

template <typename T>
bool median5x5(const Image2D& input, Image2D& output, const std::atomic<bool>& cancel)
{
    const int width = input.getWidth(), height = input.getHeight();
    const T* in = input.getConstData<T>();
    T* out = output.getData<T>();
    std::vector<T> lines(static_cast<std::size_t>(15) * (width + 4));
    const bool wide = IMAGE2D_HAS_WIDE_TARGET && useWideVectors();
    const T* rows[5];
    for (int y = 0; y < height; ++y)
    {
        for (int i = 0; i < 5; ++i)
            rows[i] = in + index(0, std::clamp(y - 2 + i, 0, height - 1), width);
        if (wide)
            median5x5RowWide(rows, out + index(0, y, width), width, lines.data());
        else
            median5x5Row(rows, out + index(0, y, width), width, lines.data());
        if (cancel.load(std::memory_order_relaxed))
            return true;
    }
    return true;
}

template <typename T>
bool median(const Image2D& input, Image2D& output, int radius, const std::atomic<bool>& cancel)
{
    if (radius == 0)
    {
        std::copy(input.getConstData<T>(), input.getConstData<T>() + input.getNumPixels(), output.getData<T>());
        return true;
    }
    if (radius == 1)
        return median3x3<T>(input, output, cancel);
    if (radius == 2)
        return median5x5<T>(input, output, cancel);
    if constexpr (std::is_integral_v<T> && sizeof(T) <= 2)
        return medianHistogram<T>(input, output, radius, cancel);
    else
        return medianSelect<T>(input, output, radius, cancel);
}

// Largest radius accepted: its window of 4095^2 values still fits one selection buffer.
constexpr int kMaxMedianRadius = 2047;

} // namespace

// ---- AreaAverage ----------------------------------------------------------------------

std::shared_ptr<Image2D> AreaAverage::executeAreaAverage(const Image2D* image, int radius)
{
    AreaAverage algorithm;
    if (image)
        algorithm.setInput(INPUT_IMAGE, image);
    algorithm.setUniformValue(KERNEL_RADIUS, radius);
    const std::atomic<bool> cancel{false};
    algorithm.execute(cancel);
    return algorithm.getSharedOutput(OUTPUT_IMAGE);
}

bool AreaAverage::isInputValid() const
{
    if (!requireInputImage("image2d::AreaAverage", INPUT_IMAGE))
        return false;
    const utility::Optional<int> radius = requireInt("image2d::AreaAverage", KERNEL_RADIUS);
    if (!radius)
        return false;
    if (*radius < 0)
    {
        warnInvalidInput("image2d::AreaAverage", KERNEL_RADIUS);
        return false;
    }
    return true;
}

bool AreaAverage::process(const std::atomic<bool>&)
{
    const std::shared_ptr<Image2D> input = getSharedInput(INPUT_IMAGE);
    const int radius = *getUniformIntValue(KERNEL_RADIUS);
    return dispatchDataType(NoIntPixelTypes{}, input->getDataType(),
                            "image2d::AreaAverage : average algorithm not supported for data type: ", [&](auto tag) {
                                using T = typename decltype(tag)::type;
                                auto output = std::make_shared<Image2D>(input->getSize(), input->getDataType(),
                                                                        input->getPixelSize());
                                if (!output->isValid() || !areaAverage<T>(*input, *output, radius))
                                    return false;
                                setSharedOutput(OUTPUT_IMAGE, output);
                                return true;
                            });
}

// ---- SubSummedAreaTable ---------------------------------------------------------------

std::shared_ptr<Image2D> SubSummedAreaTable::executeSAT(Image2D* image, float radius)
{
    SubSummedAreaTable algorithm;
    if (image)
        algorithm.setInput(INPUT_IMAGE, image);
    algorithm.setUniformValue(KERNEL_RADIUS, radius);
    const std::atomic<bool> cancel{false};
    algorithm.execute(cancel);
    return algorithm.getSharedOutput(OUTPUT_IMAGE);
}

bool SubSummedAreaTable::isInputValid() const
{
    if (!requireInputImage("image2d::SubSummedAreaTable", INPUT_IMAGE))
        return false;
    const utility::Optional<float> radius = requireFloat("image2d::SubSummedAreaTable", KERNEL_RADIUS);
    if (!radius)
        return false;
    if (!std::isfinite(*radius) || *radius < 0.0f)
    {
        warnInvalidInput("image2d::SubSummedAreaTable", KERNEL_RADIUS);
        return false;
    }
    return true;
}

bool SubSummedAreaTable::process(const std::atomic<bool>& cancel)
{
    const std::shared_ptr<Image2D> input = getSharedInput(INPUT_IMAGE);
    const float radius = *getUniformFloatValue(KERNEL_RADIUS);
    return dispatchDataType(NoIntPixelTypes{}, input->getDataType(),
                            "image2d::SubSummedAreaTable : sat algorithm not supported for data type: ", [&](auto tag) {
                                using T = typename decltype(tag)::type;
                                const Image2D::DataType type =
                                    std::is_floating_point_v<T> ? Image2D::FLOAT : Image2D::INT;
                                auto output = std::make_shared<Image2D>(input->getSize(), type, input->getPixelSize());
                                if (!output->isValid())
                                    return false;
                                windowSums<T>(*input, *output, radius, cancel);
                                setSharedOutput(OUTPUT_IMAGE, output);
                                return true;
                            });
}

// ---- RecursiveMinMax ------------------------------------------------------------------

utility::Optional<std::pair<std::shared_ptr<Image2D>, std::shared_ptr<Image2D>>>
RecursiveMinMax::calculateRecursiveMinMax(const Image2D& image, int radius)
{
    return calculateRecursiveMinMax(std::make_shared<Image2D>(image), radius);
}

utility::Optional<std::pair<std::shared_ptr<Image2D>, std::shared_ptr<Image2D>>>
RecursiveMinMax::calculateRecursiveMinMax(std::shared_ptr<Image2D> image, int radius)
{
    RecursiveMinMax algorithm;
    algorithm.setSharedInput(INPUT_IMAGE, std::move(image));
    algorithm.setUniformValue(KERNEL_RADIUS, radius);
    const std::atomic<bool> cancel{false};
    algorithm.execute(cancel);
    std::shared_ptr<Image2D> minImage = algorithm.getSharedOutput(MIN_IMAGE);
    std::shared_ptr<Image2D> maxImage = algorithm.getSharedOutput(MAX_IMAGE);
    if (!minImage || !maxImage)
        return {};
    return std::make_pair(std::move(minImage), std::move(maxImage));
}

bool RecursiveMinMax::isInputValid() const
{
    const char* owner = "image2d::RecursiveMinMax::isInputValid";
    const std::shared_ptr<Image2D> input = getSharedInput(INPUT_IMAGE);
    if (!input)
    {
        warning(owner, ": missing input: ", INPUT_IMAGE);
        return false;
    }
    if (!input->isValid())
    {
        warning(owner, ": invalid input: ", INPUT_IMAGE);
        return false;
    }
    const QVariant value = getUniformValue(KERNEL_RADIUS);
    if (!value.isValid())
    {
        warning(owner, ": missing input: ", KERNEL_RADIUS);
        return false;
    }
    const utility::Optional<int> radius = getUniformIntValue(KERNEL_RADIUS);
    if (!radius || *radius < 0)
    {
        warning(owner, ": invalid input: ", KERNEL_RADIUS);
        return false;
    }
    return true;
}

bool RecursiveMinMax::process(const std::atomic<bool>&)
{
    const std::shared_ptr<Image2D> input = getSharedInput(INPUT_IMAGE);
    const int width = input->getWidth(), height = input->getHeight();
    // A window wider than the image already covers every line; larger radii change nothing.
    const int radius = std::min(*getUniformIntValue(KERNEL_RADIUS), std::max(width, height));
    return dispatchDataType(
        NoIntPixelTypes{}, input->getDataType(), "image2d::RecursiveMinMax : algorithm not supported for data type: ",
        [&](auto tag) {
            using T = typename decltype(tag)::type;
            const Image2D::DataType type = input->getDataType();
            // Row results between the passes; fully written, so not zero-filled.
            auto rowMin = tryAllocate<T>(input->getNumPixels());
            auto rowMax = tryAllocate<T>(input->getNumPixels());
            auto minImage = std::make_shared<Image2D>(input->getSize(), type, input->getPixelSize());
            auto maxImage = std::make_shared<Image2D>(input->getSize(), type, input->getPixelSize());
            if (!rowMin || !rowMax || !minImage->isValid() || !maxImage->isValid())
                return false;
            const T* in = input->getConstData<T>();
            T* rowMinData = rowMin.get();
            T* rowMaxData = rowMax.get();
            // Rows in parallel, handed out in groups that the row filter transposes.
            constexpr int kGroup = static_cast<int>(32 / sizeof(T));
            const bool wide = IMAGE2D_HAS_WIDE_TARGET && useWideVectors();
            parallelFor(0, (height + kGroup - 1) / kGroup, [&](int first, int last) {
                rowPassMinMax(in, rowMinData, rowMaxData, width, radius, first * kGroup,
                              std::min(last * kGroup, height), wide);
            });
            const ColumnExtremeJob job{width, height, radius};
            columnPassExtreme<T, MaxOf<T>>(job, rowMaxData, maxImage->getData<T>());
            columnPassExtreme<T, MinOf<T>>(job, rowMinData, minImage->getData<T>());
            setSharedOutput(MIN_IMAGE, minImage);
            setSharedOutput(MAX_IMAGE, maxImage);
            return true;
        });
}

// ---- Median ---------------------------------------------------------------------------

std::shared_ptr<Image2D> Median::executeMedian(Image2D* image, int radius)
{
    Median algorithm;
    if (image)
        algorithm.setInput(INPUT_IMAGE, image);
    algorithm.setUniformValue(RADIUS, radius);
    const std::atomic<bool> cancel{false};
    algorithm.execute(cancel);
    return algorithm.getSharedOutput(OUTPUT_IMAGE);
}

bool Median::isInputValid() const
{
    if (!requireInputImage("image2d::Median", INPUT_IMAGE))
        return false;
    const utility::Optional<int> radius = requireInt("image2d::Median", RADIUS);
    if (!radius)
        return false;
    if (*radius < 0 || *radius > kMaxMedianRadius)
    {
        warnInvalidInput("image2d::Median", RADIUS);
        return false;
    }
    return true;
}

bool Median::process(const std::atomic<bool>& cancel)
{
    const std::shared_ptr<Image2D> input = getSharedInput(INPUT_IMAGE);
    const int radius = *getUniformIntValue(RADIUS);
    return dispatchDataType(NoIntPixelTypes{}, input->getDataType(),
                            "image2d::Median : Median algorithm not supported for data type: ", [&](auto tag) {
                                using T = typename decltype(tag)::type;
                                auto output = std::make_shared<Image2D>(input->getSize(), input->getDataType(),
                                                                        input->getPixelSize());
                                if (!output->isValid())
                                    return false;
                                median<T>(*input, *output, radius, cancel);
                                setSharedOutput(OUTPUT_IMAGE, output);
                                return true;
                            });
}

} // namespace image2d
