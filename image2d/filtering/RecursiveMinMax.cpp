#include "image2d/filtering/LocalStatistics.h"

#include "image2d/framework/Parallel.h"
#include "image2d/framework/Simd.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#include <limits>
#include <type_traits>
#include <vector>

namespace image2d {

namespace {

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
    const int width = job.width, height = job.height, radius = job.radius, block = 2 * radius + 1;
    const int length = paddedLength(height, radius);
    T* back = threadScratch<T, struct ColumnExtremeTag>(static_cast<std::size_t>(length + 2) * columns);
    T* padRow = back + static_cast<std::size_t>(length) * columns;
    alignas(32) T forwardLocal[Fixed > 0 ? Fixed : 1];
    T* forward = Fixed > 0 ? forwardLocal : padRow + columns;
    std::fill(padRow, padRow + columns, Op::padding);
    auto source = [&](int i) {
        const int y = i - radius;
        return (y >= 0 && y < height) ? in + pixelIndex(firstColumn, y, width) : padRow;
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
            T* target = out + pixelIndex(firstColumn, y, width);
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
    const int width = job.width, height = job.height, radius = job.radius, block = 2 * radius + 1;
    // Blocks are taken top to bottom: a block's backward extremes, then its forward ones,
    // which finish the outputs whose window ends in this block. Those outputs need the
    // backward extremes of this block and the one before, so two blocks of them are kept
    // (a ring) and each input row is read twice while it is still in the cache.
    const int ring = 2 * block;
    T* back = threadScratch<T, struct ColumnMinMaxTag>(static_cast<std::size_t>(ring) * 2 * Fixed);
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
                std::memcpy(&mn, inMin + pixelIndex(column, y, width), sizeof(Vector));
            if constexpr (WantMax)
                std::memcpy(&mx, inMax + pixelIndex(column, y, width), sizeof(Vector));
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
                    std::memcpy(outMin + pixelIndex(column, y, width), &resultMin, sizeof(Vector));
                if constexpr (WantMax)
                    std::memcpy(outMax + pixelIndex(column, y, width), &resultMax, sizeof(Vector));
            }
        }
    }
}

template <typename T, int Fixed, bool WantMin, bool WantMax>
void columnMinMax(const ColumnExtremeJob& job, const T* inMin, const T* inMax, T* outMin, T* outMax, int firstColumn)
{
    simd::runVectorized([&]() IMAGE2D_INLINE_LAMBDA {
        columnMinMaxImpl<T, Fixed, WantMin, WantMax>(job, inMin, inMax, outMin, outMax, firstColumn);
    });
}

template <typename T, typename Op>
void columnExtreme(const ColumnExtremeJob& job, const T* in, T* out, int firstColumn, int columns)
{
    simd::runVectorized(
        [&]() IMAGE2D_INLINE_LAMBDA { columnExtremeImpl<T, Op, 0>(job, in, out, firstColumn, columns); });
}

template <typename T, typename Op>
void columnPassExtreme(const ColumnExtremeJob& job, const T* in, T* out)
{
    constexpr int kBlock = static_cast<int>(128 / sizeof(T));
    const int blocks = (job.width + kBlock - 1) / kBlock;
    parallelFor(0, blocks, [&](int first, int last) {
        for (int b = first; b < last; ++b)
        {
            const int firstColumn = b * kBlock;
            if (job.width - firstColumn >= kBlock)
            {
                if constexpr (std::is_same_v<Op, MinOf<T>>)
                    columnMinMax<T, kBlock, true, false>(job, in, nullptr, out, nullptr, firstColumn);
                else
                    columnMinMax<T, kBlock, false, true>(job, nullptr, in, nullptr, out, firstColumn);
            }
            else
                columnExtreme<T, Op>(job, in, out, firstColumn, job.width - firstColumn);
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
void rowPassMinMax(const T* in, T* outMin, T* outMax, int width, int radius, int first, int last)
{
    constexpr int kGroup = static_cast<int>(32 / sizeof(T));
    int y = first;
    if (last - first >= kGroup)
    {
        const std::size_t plane = static_cast<std::size_t>(width) * kGroup;
        T* columns = threadScratch<T, struct TransposedRowsTag>(3 * plane);
        T* columnsMin = columns + plane;
        T* columnsMax = columnsMin + plane;
        const ColumnExtremeJob job{kGroup, width, radius};
        for (; y + kGroup <= last; y += kGroup)
        {
            transposeBlock(in + pixelIndex(0, y, width), width, columns, kGroup, kGroup, width);
            columnMinMax<T, kGroup, true, true>(job, columns, columns, columnsMin, columnsMax, 0);
            transposeBlock(columnsMin, kGroup, outMin + pixelIndex(0, y, width), width, width, kGroup);
            transposeBlock(columnsMax, kGroup, outMax + pixelIndex(0, y, width), width, width, kGroup);
        }
    }
    const std::size_t length = static_cast<std::size_t>(paddedLength(width, radius));
    T* buffers = threadScratch<T, struct RowLinesTag>(4 * length);
    for (; y < last; ++y)
        rowMinMax(in + pixelIndex(0, y, width), outMin + pixelIndex(0, y, width), outMax + pixelIndex(0, y, width), width, radius,
                  buffers, buffers + length, buffers + 2 * length, buffers + 3 * length);
}


// ---- Integer pixels ---------------------------------------------------------------------
// Minima and maxima of integers are exact, so any grouping of the comparisons gives the
// same result; integer images take window doubling on contiguous lines instead of the
// padded blocks above. After folds with steps 1, 2, ..., P / 2 (P the largest power of two
// not above the window length w) element i holds the extreme of elements i .. i + P - 1,
// and the window i .. i + w - 1 is the extreme of elements i and i + w - P. Every fold
// streams through memory in order, so rows need no transposing and column blocks are
// swept row by row. Replicating the edge equals clipping the window for an extreme.

// Sets a to the extreme of a and b (scalars or vectors, element-wise).
template <bool Max, typename V>
IMAGE2D_INLINE_LOOP void takeExtreme(V& a, const V& b)
{
    if constexpr (Max)
        a = a < b ? b : a;
    else
        a = b < a ? b : a;
}

// out[k] = extreme(a[k], b[k]) for k in [0, count), in ascending order. With out equal to
// a and b ahead of a in the same array this folds in place: each step reads only elements
// that are not yet written.
template <typename T, bool Max>
IMAGE2D_INLINE_LOOP void foldPair(const T* a, const T* b, T* out, std::size_t count)
{
    typedef T Vector __attribute__((vector_size(32)));
    constexpr std::size_t kLanes = sizeof(Vector) / sizeof(T);
    std::size_t k = 0;
    for (; k + kLanes <= count; k += kLanes)
    {
        Vector x, y;
        std::memcpy(&x, a + k, sizeof(Vector));
        std::memcpy(&y, b + k, sizeof(Vector));
        takeExtreme<Max>(x, y);
        std::memcpy(out + k, &x, sizeof(Vector));
    }
    for (; k < count; ++k)
    {
        T x = a[k];
        takeExtreme<Max>(x, b[k]);
        out[k] = x;
    }
}

// `a` holds `lines` lines of `stride` elements, line i the extreme of source lines i .. i + 1
// (lines + 1 source lines in all). Folds in place up to the largest power of two P within
// `window`, then line i of `out` (row stride outStride, `columns` elements) gets the extreme
// of source lines i .. i + window - 1, for i in [0, lines + 2 - window).
template <typename T, bool Max>
IMAGE2D_INLINE_LOOP void finishWindows(T* a, int lines, std::size_t stride, int window, T* out, std::size_t outStride,
                                       int columns)
{
    const int sources = lines + 1;
    int span = 2;
    for (; 2 * span <= window; span *= 2)
        foldPair<T, Max>(a, a + span * stride, a, static_cast<std::size_t>(sources - 2 * span + 1) * stride);
    const std::size_t offset = static_cast<std::size_t>(window - span) * stride;
    const int outputs = sources - window + 1;
    if (outStride == stride && static_cast<std::size_t>(columns) == stride)
        return foldPair<T, Max>(a, a + offset, out, static_cast<std::size_t>(outputs) * stride);
    for (int i = 0; i < outputs; ++i)
        foldPair<T, Max>(a + i * stride, a + i * stride + offset, out + i * outStride, static_cast<std::size_t>(columns));
}

// Row pass: each row, edge-replicated into a padded line, gives a row of minima and one of
// maxima (radius at least 1).
template <typename T>
void integerRowPass(const T* in, T* rowMin, T* rowMax, int width, int height, int radius)
{
    const int padded = width + 2 * radius, window = 2 * radius + 1;
    parallelFor(0, height, [&](int first, int last) {
        T* line = threadScratch<T, struct IntegerRowLinesTag>(3 * static_cast<std::size_t>(padded));
        T* lineMin = line + padded;
        T* lineMax = lineMin + padded;
        for (int y = first; y < last; ++y)
        {
            const T* row = in + pixelIndex(0, y, width);
            std::fill(line, line + radius, row[0]);
            std::copy(row, row + width, line + radius);
            std::fill(line + radius + width, line + padded, row[width - 1]);
            T* outMin = rowMin + pixelIndex(0, y, width);
            T* outMax = rowMax + pixelIndex(0, y, width);
            simd::runVectorized([&]() IMAGE2D_INLINE_LAMBDA {
                foldPair<T, false>(line, line + 1, lineMin, padded - 1);
                foldPair<T, true>(line, line + 1, lineMax, padded - 1);
                finishWindows<T, false>(lineMin, padded - 1, 1, window, outMin, 1, 1);
                finishWindows<T, true>(lineMax, padded - 1, 1, window, outMax, 1, 1);
            });
        }
    });
}

// Column pass of one extreme, in place on the row results (radius at least 1): blocks of
// whole columns in parallel, each swept top to bottom in tiles of rows that reach `radius`
// edge-replicated rows above and below. The 2 * radius source rows a tile shares with the
// next are kept before the tile's results overwrite them.
template <typename T, bool Max>
void integerColumnPass(T* image, int width, int height, int radius)
{
    constexpr int kColumns = static_cast<int>(512 / sizeof(T));
    const int window = 2 * radius + 1, shared = 2 * radius;
    const int tileRows = std::min(height, std::max(64, 8 * radius));
    const int blocks = (width + kColumns - 1) / kColumns;
    parallelFor(0, blocks, [&](int first, int last) {
        const std::size_t lines = static_cast<std::size_t>(tileRows) + shared;
        // Sized by the widest block this image has: a narrow, tall image needs few columns
        // of very long tiles.
        const std::size_t blockWidth = static_cast<std::size_t>(std::min(kColumns, width));
        T* tile = threadScratch<T, struct IntegerColumnTileTag>((lines + shared) * blockWidth);
        T* carry = tile + lines * blockWidth;
        const T** sources = threadScratch<const T*, struct IntegerColumnSourcesTag>(lines);
        for (int b = first; b < last; ++b)
        {
            const int firstColumn = b * kColumns, columns = std::min(kColumns, width - firstColumn);
            const std::size_t lineSize = static_cast<std::size_t>(columns);
            for (int y0 = 0; y0 < height; y0 += tileRows)
            {
                const int rows = std::min(tileRows, height - y0), tileLines = rows + shared;
                // Source line j is row y0 - radius + j, edge-replicated; rows above y0
                // already hold results, so those come from the carried copy.
                for (int j = 0; j < tileLines; ++j)
                    sources[j] = (y0 > 0 && j < shared)
                                     ? carry + j * lineSize
                                     : image + pixelIndex(firstColumn, std::clamp(y0 - radius + j, 0, height - 1), width);
                T* target = image + pixelIndex(firstColumn, y0, width);
                simd::runVectorized([&]() IMAGE2D_INLINE_LAMBDA {
                    for (int j = 0; j + 1 < tileLines; ++j)
                        foldPair<T, Max>(sources[j], sources[j + 1], tile + j * lineSize, lineSize);
                });
                if (y0 + rows < height)
                    for (int j = 0; j < shared; ++j)
                        std::copy(sources[rows + j], sources[rows + j] + columns, carry + j * lineSize);
                simd::runVectorized([&]() IMAGE2D_INLINE_LAMBDA {
                    finishWindows<T, Max>(tile, tileLines - 1, lineSize, window, target, static_cast<std::size_t>(width),
                                          columns);
                });
            }
        }
    });
}

} // namespace

MinMaxImages recursiveMinMax(const Image2D& image, int radius)
{
    constexpr const char* owner = "image2d::RecursiveMinMax";
    if (!image.isValid())
        return warnInvalidKey(owner, Algorithm::INPUT_IMAGE), MinMaxImages{};
    if (radius < 0)
        return warnInvalidKey(owner, RecursiveMinMax::KERNEL_RADIUS), MinMaxImages{};
    const int width = image.getWidth(), height = image.getHeight();
    // Along an axis, a window reaching past both ends of the edge-replicated line already
    // covers all of it; larger radii change nothing, so each pass stops at its own extent
    // (a 1 x N image would otherwise pad each one-pixel row by N).
    const int rowRadius = std::min(radius, width), columnRadius = std::min(radius, height);
    return dispatchDataType(
        LocalStatisticsTypes{}, image.getDataType(),
        "image2d::RecursiveMinMax : algorithm not supported for data type: ", [&](auto tag) -> MinMaxImages {
            using T = typename decltype(tag)::type;
            MinMaxImages result{newUnfilledImageLike(image), newUnfilledImageLike(image)};
            if (!result)
                return {};
            const T* in = image.getConstData<T>();
            if constexpr (std::is_integral_v<T>)
            {
                // The row results go straight into the result images; the column passes
                // finish them in place.
                T* minData = result.minimum->getData<T>();
                T* maxData = result.maximum->getData<T>();
                if (radius == 0)
                {
                    std::copy(in, in + image.getNumPixels(), minData);
                    std::copy(in, in + image.getNumPixels(), maxData);
                    return result;
                }
                integerRowPass(in, minData, maxData, width, height, rowRadius);
                integerColumnPass<T, true>(maxData, width, height, columnRadius);
                integerColumnPass<T, false>(minData, width, height, columnRadius);
                return result;
            }
            // Row results between the passes; fully written, so not zero-filled, and kept
            // for the next call.
            const ScratchArray<T> rowMin(image.getNumPixels());
            const ScratchArray<T> rowMax(image.getNumPixels());
            if (!rowMin || !rowMax)
                return {};
            T* rowMinData = rowMin.get();
            T* rowMaxData = rowMax.get();
            // Rows in parallel, handed out in groups that the row filter transposes.
            constexpr int kGroup = static_cast<int>(32 / sizeof(T));
            parallelFor(0, (height + kGroup - 1) / kGroup, [&](int first, int last) {
                rowPassMinMax(in, rowMinData, rowMaxData, width, rowRadius, first * kGroup,
                              std::min(last * kGroup, height));
            });
            const ColumnExtremeJob job{width, height, columnRadius};
            columnPassExtreme<T, MaxOf<T>>(job, rowMaxData, result.maximum->getData<T>());
            columnPassExtreme<T, MinOf<T>>(job, rowMinData, result.minimum->getData<T>());
            return result;
        });
}

const QString RecursiveMinMax::KERNEL_RADIUS = QStringLiteral("kernelRadius");
const QString RecursiveMinMax::MIN_IMAGE = QStringLiteral("minImage");
const QString RecursiveMinMax::MAX_IMAGE = QStringLiteral("maxImage");

namespace {
// This class words its checks with the function's name as the owner.
void warnMissingRadius(const char* owner, const QString& key)
{
    warning(owner, ": missing input: ", key);
}
void warnInvalidRadius(const char* owner, const QString& key)
{
    warning(owner, ": invalid input: ", key);
}
constexpr const char* kValidationOwner = "image2d::RecursiveMinMax::isInputValid";
} // namespace

const Parameter<int> RecursiveMinMax::RADIUS_PARAMETER{&KERNEL_RADIUS, Bounds::atLeast(0),
                                                       "window radius in pixels; the window is 2r + 1 wide",
                                                       {warnMissingRadius, warnInvalidRadius, warnInvalidRadius}};

const ParameterList& RecursiveMinMax::parameters()
{
    static const ParameterList list{&RADIUS_PARAMETER};
    return list;
}

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
    algorithm.execute(neverCancelled());
    std::shared_ptr<Image2D> minImage = algorithm.getSharedOutput(MIN_IMAGE);
    std::shared_ptr<Image2D> maxImage = algorithm.getSharedOutput(MAX_IMAGE);
    if (!minImage || !maxImage)
        return {};
    return std::make_pair(std::move(minImage), std::move(maxImage));
}

bool RecursiveMinMax::isInputValid() const
{
    const std::shared_ptr<Image2D> input = getSharedInput(INPUT_IMAGE);
    if (!input)
    {
        warnMissingRadius(kValidationOwner, INPUT_IMAGE);
        return fail(FailureReason::Missing, INPUT_IMAGE);
    }
    if (!input->isValid())
    {
        warnInvalidRadius(kValidationOwner, INPUT_IMAGE);
        return fail(FailureReason::Invalid, INPUT_IMAGE);
    }
    return RADIUS_PARAMETER.validate(*this, kValidationOwner);
}

bool RecursiveMinMax::process(const std::atomic<bool>&)
{
    const std::shared_ptr<Image2D> input = getSharedInput(INPUT_IMAGE);
    MinMaxImages result = recursiveMinMax(*input, RADIUS_PARAMETER(*this));
    if (!result)
        return publish(MIN_IMAGE, nullptr, *input, LocalStatisticsTypes{});
    setSharedOutput(MIN_IMAGE, std::move(result.minimum));
    setSharedOutput(MAX_IMAGE, std::move(result.maximum));
    return true;
}

} // namespace image2d
