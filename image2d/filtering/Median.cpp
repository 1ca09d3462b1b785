#include "image2d/filtering/LocalStatistics.h"

#include "image2d/framework/Simd.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <limits>
#include <type_traits>
#include <utility>
#include <vector>

namespace image2d {

namespace {

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

// The 3 x 3 network on scalars or vectors, element-wise, with std::min / std::max's
// operand order so that NaN takes the same path in every variant: each column of three is
// sorted into low <= mid <= high, and the median of nine is the median of (largest low,
// median of middles, smallest high) of the three columns. Values are passed by reference
// (vector arguments by value would depend on the caller's instruction set).
template <typename V>
IMAGE2D_INLINE_LOOP void setMin(V& to, const V& a, const V& b)
{
    to = b < a ? b : a;
}
template <typename V>
IMAGE2D_INLINE_LOOP void setMax(V& to, const V& a, const V& b)
{
    to = a < b ? b : a;
}
template <typename V>
IMAGE2D_INLINE_LOOP void setMedianOf3(V& to, const V& a, const V& b, const V& c)
{
    V lo, hi, top;
    setMin(lo, a, b);
    setMax(hi, a, b);
    setMin(top, hi, c);
    setMax(to, lo, top);
}

// Median of the window whose columns start at left, centre and right in each of the rows
// above, centre and below (offsets into the rows, so edge columns can repeat).
template <typename V, typename T>
IMAGE2D_INLINE_LOOP void median3x3At(const T* above, const T* centre, const T* below, std::size_t left,
                                     std::size_t middle, std::size_t right, T* out)
{
    V low[3], mid[3], high[3];
    auto sortColumn = [&](std::size_t column, V& lowest, V& middle, V& highest) IMAGE2D_INLINE_LAMBDA {
        V a, b, c, lo, hi, top;
        std::memcpy(&a, above + column, sizeof(V));
        std::memcpy(&b, centre + column, sizeof(V));
        std::memcpy(&c, below + column, sizeof(V));
        setMin(lo, a, b);
        setMax(hi, a, b);
        setMin(lowest, lo, c);
        setMax(top, lo, c);
        setMin(middle, hi, top);
        setMax(highest, hi, top);
    };
    sortColumn(left, low[0], mid[0], high[0]);
    sortColumn(middle, low[1], mid[1], high[1]);
    sortColumn(right, low[2], mid[2], high[2]);
    V maxLow, medMid, minHigh, result;
    setMax(maxLow, low[0], low[1]);
    setMax(maxLow, maxLow, low[2]);
    setMedianOf3(medMid, mid[0], mid[1], mid[2]);
    setMin(minHigh, high[0], high[1]);
    setMin(minHigh, minHigh, high[2]);
    setMedianOf3(result, maxLow, medMid, minHigh);
    std::memcpy(out, &result, sizeof(V));
}

// One output row of the 3 x 3 median: interior pixels a vector at a time straight from the
// three source rows, the two edge columns with their column repeated.
template <typename T>
IMAGE2D_INLINE_LOOP void median3x3Row(const T* above, const T* centre, const T* below, T* out, int width)
{
    typedef T Vector __attribute__((vector_size(32)));
    constexpr int kLanes = static_cast<int>(sizeof(Vector) / sizeof(T));
    const std::size_t last = static_cast<std::size_t>(width - 1);
    median3x3At<T>(above, centre, below, 0, 0, std::min<std::size_t>(1, last), out);
    if (width == 1)
        return;
    int x = 1;
    for (; x + kLanes < width; x += kLanes)
        median3x3At<Vector>(above, centre, below, x - 1, x, x + 1, out + x);
    for (; x < width - 1; ++x)
        median3x3At<T>(above, centre, below, x - 1, x, x + 1, out + x);
    median3x3At<T>(above, centre, below, last - 1, last, last, out + last);
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

    // Adds (count > 0) or removes (count < 0) |count| values of bin b.
    void add(int b, int count)
    {
        m_fine[b] += count;
        m_coarse[b >> 8] += count;
        m_below += b < m_median ? count : 0;
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
int medianHistogram(const Image2D& input, Image2D& output, int radius, const std::atomic<bool>& cancel)
{
    const int width = input.getWidth(), height = input.getHeight(), side = 2 * radius + 1;
    const T* in = input.getConstData<T>();
    T* out = output.getData<T>();
    // Padded column p of the edge-replicated image is source column columns[p].
    std::vector<int> columns(static_cast<std::size_t>(width + 2 * radius));
    for (int p = 0; p < width + 2 * radius; ++p)
        columns[p] = std::clamp(p - radius, 0, width - 1);
    SlidingHistogram<T> histogram(side * side / 2);
    // A window's rows as distinct source rows with their repeat counts: past an edge the
    // replicated row is counted once with its weight, so a window taller than the image
    // costs the image's height, not 2r + 1, per column.
    struct WeightedRow
    {
        const T* row;
        int count;
    };
    std::vector<WeightedRow> rows;
    rows.reserve(static_cast<std::size_t>(std::min(side, height)));
    for (int y = 0; y < height; ++y)
    {
        rows.clear();
        for (int i = 0; i < side; ++i)
        {
            const T* row = in + pixelIndex(0, std::clamp(y - radius + i, 0, height - 1), width);
            if (!rows.empty() && rows.back().row == row)
                ++rows.back().count;
            else
                rows.push_back({row, 1});
        }
        auto addColumn = [&](int x, int weight) {
            for (const WeightedRow& r : rows)
                histogram.add(SlidingHistogram<T>::bin(r.row[x]), r.count * weight);
        };
        // The first window's replicated left columns, likewise once each with their weight.
        for (int p = 0; p < side;)
        {
            int q = p + 1;
            while (q < side && columns[q] == columns[p])
                ++q;
            addColumn(columns[p], q - p);
            p = q;
        }
        T* target = out + pixelIndex(0, y, width);
        for (int x = 0; x < width; ++x)
        {
            // Leaving and entering columns that replicate the same source column cancel.
            if (x > 0 && columns[x - 1] != columns[x + side - 1])
            {
                addColumn(columns[x - 1], -1);
                addColumn(columns[x + side - 1], 1);
            }
            target[x] = static_cast<T>(histogram.median() - SlidingHistogram<T>::kOffset);
        }
        for (int p = width - 1; p < width - 1 + side;)
        {
            int q = p + 1;
            while (q < width - 1 + side && columns[q] == columns[p])
                ++q;
            addColumn(columns[p], -(q - p));
            p = q;
        }
        if (cancel.load(std::memory_order_relaxed))
            return y + 1;
    }
    return height;
}

// Any type, any radius: gather the replicated window and select rank n / 2.
template <typename T>
int medianSelect(const Image2D& input, Image2D& output, int radius, const std::atomic<bool>& cancel)
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
            rows[i] = in + pixelIndex(0, std::clamp(y - radius + i, 0, height - 1), width);
        for (int x = 0; x < width; ++x)
        {
            T* w = window.data();
            for (const T* row : rows)
                for (int j = 0; j < side; ++j)
                    *w++ = row[columns[x + j]];
            std::nth_element(window.begin(), window.begin() + count / 2, window.end(), lessForMedian<T>);
            out[pixelIndex(x, y, width)] = window[count / 2];
        }
        if (cancel.load(std::memory_order_relaxed))
            return y + 1;
    }
    return height;
}

template <typename T>
int median3x3(const Image2D& input, Image2D& output, const std::atomic<bool>& cancel)
{
    const int width = input.getWidth(), height = input.getHeight();
    const T* in = input.getConstData<T>();
    T* out = output.getData<T>();
    for (int y = 0; y < height; ++y)
    {
        const T* above = in + pixelIndex(0, std::max(y - 1, 0), width);
        const T* centre = in + pixelIndex(0, y, width);
        const T* below = in + pixelIndex(0, std::min(y + 1, height - 1), width);
        T* target = out + pixelIndex(0, y, width);
        simd::runVectorized([&]() IMAGE2D_INLINE_LAMBDA { median3x3Row(above, centre, below, target, width); });
        if (cancel.load(std::memory_order_relaxed))
            return y + 1;
    }
    return height;
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
IMAGE2D_INLINE_LOOP void median5x5Row(const T* const* rows, T* out, int width, T* lines)
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
int median5x5(const Image2D& input, Image2D& output, const std::atomic<bool>& cancel)
{
    const int width = input.getWidth(), height = input.getHeight();
    const T* in = input.getConstData<T>();
    T* out = output.getData<T>();
    std::vector<T> lines(static_cast<std::size_t>(15) * (width + 4));
    const T* rows[5];
    for (int y = 0; y < height; ++y)
    {
        for (int i = 0; i < 5; ++i)
            rows[i] = in + pixelIndex(0, std::clamp(y - 2 + i, 0, height - 1), width);
        T* target = out + pixelIndex(0, y, width);
        simd::runVectorized([&]() IMAGE2D_INLINE_LAMBDA { median5x5Row(rows, target, width, lines.data()); });
        if (cancel.load(std::memory_order_relaxed))
            return y + 1;
    }
    return height;
}

// Returns the number of rows written: all of them unless `cancel` was set.
template <typename T>
int medianInto(const Image2D& input, Image2D& output, int radius, const std::atomic<bool>& cancel)
{
    if (radius == 0)
    {
        std::copy(input.getConstData<T>(), input.getConstData<T>() + input.getNumPixels(), output.getData<T>());
        return input.getHeight();
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

} // namespace

std::shared_ptr<Image2D> median(const Image2D& image, int radius, const std::atomic<bool>& cancel)
{
    constexpr const char* owner = "image2d::Median";
    if (!image.isValid())
        return warnInvalidKey(owner, Algorithm::INPUT_IMAGE), nullptr;
    if (radius < 0 || radius > kMaxMedianRadius)
        return warnInvalidKey(owner, Median::RADIUS), nullptr;
    return dispatchDataType(LocalStatisticsTypes{}, image.getDataType(),
                            "image2d::Median : Median algorithm not supported for data type: ",
                            [&](auto tag) -> std::shared_ptr<Image2D> {
                                using T = typename decltype(tag)::type;
                                // Every row is written unless the run is cancelled; the rows
                                // a cancelled run leaves are cleared.
                                auto output = newUnfilledImageLike(image);
                                if (!output)
                                    return nullptr;
                                const int rows = medianInto<T>(image, *output, radius, cancel);
                                T* pixels = output->getData<T>();
                                std::fill(pixels + pixelIndex(0, rows, image.getWidth()),
                                          pixels + output->getNumPixels(), T(0));
                                return output;
                            });
}

const QString Median::RADIUS = QStringLiteral("medianRadius");
const Parameter<int> Median::RADIUS_PARAMETER{&RADIUS, Bounds::between(0, kMaxMedianRadius),
                                              "window radius in pixels; the window is 2r + 1 wide"};

const ParameterList& Median::parameters()
{
    static const ParameterList list{&RADIUS_PARAMETER};
    return list;
}

std::shared_ptr<Image2D> Median::executeMedian(Image2D* image, int radius)
{
    Median algorithm;
    if (image)
        algorithm.setInput(INPUT_IMAGE, image);
    algorithm.setUniformValue(RADIUS, radius);
    algorithm.execute(neverCancelled());
    return algorithm.getSharedOutput(OUTPUT_IMAGE);
}

bool Median::isInputValid() const
{
    constexpr const char* owner = "image2d::Median";
    return requireInputImage(owner, INPUT_IMAGE) && RADIUS_PARAMETER.validate(*this, owner);
}

bool Median::process(const std::atomic<bool>& cancel)
{
    const std::shared_ptr<Image2D> input = getSharedInput(INPUT_IMAGE);
    return publish(OUTPUT_IMAGE, median(*input, RADIUS_PARAMETER(*this), cancel), *input, LocalStatisticsTypes{});
}

} // namespace image2d
