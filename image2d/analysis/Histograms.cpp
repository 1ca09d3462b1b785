#include "image2d/analysis/Histograms.h"

#include "image2d/framework/Core.h"
#include "image2d/framework/Parallel.h"
#include "image2d/framework/Simd.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

namespace image2d {

namespace {

// The window limited to the image: [x0, x1) x [y0, y1), empty when nothing is inside.
struct Span
{
    int x0, x1, y0, y1;
    bool empty() const { return x0 >= x1 || y0 >= y1; }
};

Span clip(const Image2D& image, const Window& window)
{
    Span s{std::max(window.firstColumn, 0), std::min(window.lastColumn, image.getWidth() - 1) + 1,
           std::max(window.firstRow, 0), std::min(window.lastRow, image.getHeight() - 1) + 1};
    if (s.empty())
        s = {0, 0, 0, 0};
    return s;
}

bool isByteImage(const Image2D& image)
{
    return image.isValid() && (image.getDataType() == Image2D::UNSIGNED_CHAR || image.getDataType() == Image2D::BINARY);
}

// Counting into four tables in turn keeps runs of one value from waiting on their own
// increments; a mask adds 256 to the index of the pixels it keeps, so the loop has no branch.
void countRow(const std::uint8_t* row, const std::uint8_t* maskRow, int n, std::uint64_t (&tables)[4][512])
{
    int x = 0;
    if (!maskRow)
    {
        for (; x + 4 <= n; x += 4)
        {
            ++tables[0][256 + row[x]];
            ++tables[1][256 + row[x + 1]];
            ++tables[2][256 + row[x + 2]];
            ++tables[3][256 + row[x + 3]];
        }
        for (; x < n; ++x)
            ++tables[0][256 + row[x]];
        return;
    }
    for (; x + 4 <= n; x += 4)
    {
        ++tables[0][(maskRow[x] != 0) * 256 + row[x]];
        ++tables[1][(maskRow[x + 1] != 0) * 256 + row[x + 1]];
        ++tables[2][(maskRow[x + 2] != 0) * 256 + row[x + 2]];
        ++tables[3][(maskRow[x + 3] != 0) * 256 + row[x + 3]];
    }
    for (; x < n; ++x)
        ++tables[0][(maskRow[x] != 0) * 256 + row[x]];
}

std::array<std::uint64_t, 256> countBytes(const std::uint8_t* pixels, int width, Span s, const std::uint8_t* mask)
{
    std::uint64_t tables[4][512] = {};
    for (int y = s.y0; y < s.y1; ++y)
        countRow(pixels + pixelIndex(s.x0, y, width), mask ? mask + pixelIndex(s.x0, y, width) : nullptr, s.x1 - s.x0,
                 tables);
    std::array<std::uint64_t, 256> counts{};
    for (int v = 0; v < 256; ++v)
        counts[v] = tables[0][256 + v] + tables[1][256 + v] + tables[2][256 + v] + tables[3][256 + v];
    return counts;
}

// Dense bin numbers (from lowBin) of a row; `bins` (one past the dense bins) for values
// outside them and NaN. Written without branches so that it vectorises; floor and the
// subtraction are exact.
IMAGE2D_INLINE_LOOP void denseBins(const float* row, int n, float factor, float lowBin, float bins, std::int32_t* out)
{
    for (int x = 0; x < n; ++x)
    {
        const float u = std::floor(row[x] * factor) - lowBin;
        out[x] = static_cast<std::int32_t>((u >= 0.0f && u < bins) ? u : bins);
    }
}

// Counts of the dense bins, four counters per bin used in turn (runs of one bin do not wait
// on their own increments), and the first value of each bin, found through a table of seen
// bins that is written only once per bin. One more bin gathers the values outside; a row
// that has any is read again for them, in order.
struct DenseBins
{
    std::size_t bins;
    std::vector<int> counts; // bin * 4 + lane
    std::vector<std::uint8_t> seen;
    std::vector<float> firsts;

    explicit DenseBins(std::size_t bins) : bins(bins), counts(4 * (bins + 1)), seen(bins + 1), firsts(bins + 1)
    {
        seen[bins] = 1;
    }
    int count(std::size_t bin) const
    {
        return counts[4 * bin] + counts[4 * bin + 1] + counts[4 * bin + 2] + counts[4 * bin + 3];
    }
    void add(std::int32_t bin, const float* value, int lane)
    {
        if (!seen[bin])
            seen[bin] = 1, firsts[bin] = *value;
        ++counts[4 * static_cast<std::size_t>(bin) + lane];
    }
};

void addFloatRow(const float* row, int n, const FloatHashFunctor& hash, std::int64_t lowBin, DenseBins& dense,
                 FloatHistogramMap& outliers)
{
    std::int32_t* index = threadScratch<std::int32_t, struct FloatBinsTag>(static_cast<std::size_t>(n));
    simd::runVectorized([&]() IMAGE2D_INLINE_LAMBDA {
        denseBins(row, n, hash.factor, static_cast<float>(lowBin), static_cast<float>(dense.bins), index);
    });
    const int outside = dense.count(dense.bins);
    int x = 0;
    for (; x + 4 <= n; x += 4)
    {
        dense.add(index[x], row + x, 0);
        dense.add(index[x + 1], row + x + 1, 1);
        dense.add(index[x + 2], row + x + 2, 2);
        dense.add(index[x + 3], row + x + 3, 3);
    }
    for (; x < n; ++x)
        dense.add(index[x], row + x, 0);
    if (dense.count(dense.bins) != outside)
        for (x = 0; x < n; ++x)
            if (index[x] == static_cast<std::int32_t>(dense.bins) && !std::isnan(row[x]))
                ++outliers.try_emplace(row[x], 0).first->second;
}

// Fills `histogram` with the pixels of a FLOAT image in its own bins. The bins between those
// of the map's minimum and maximum are counted in arrays with the first value of each;
// anything else goes to the map directly. Both give the same map.
void fillFloatHistogram(const float* pixels, int width, Span s, float minimum, float maximum,
                        FloatHistogramMap& histogram)
{
    if (s.empty())
        return;
    const FloatHashFunctor hash = histogram.hash_function();
    const std::int64_t a = hash.bin(minimum), b = hash.bin(maximum);
    const std::int64_t lowBin = std::min(a, b), highBin = std::max(a, b);
    constexpr std::int64_t kMaxDenseBins = 1 << 16;
    const std::size_t bins = highBin - lowBin < kMaxDenseBins ? static_cast<std::size_t>(highBin - lowBin + 1) : 0;
    DenseBins dense(bins);
    for (int y = s.y0; y < s.y1; ++y)
        addFloatRow(pixels + pixelIndex(s.x0, y, width), s.x1 - s.x0, hash, lowBin, dense, histogram);
    for (std::size_t i = 0; i < bins; ++i)
        if (dense.seen[i])
            histogram.emplace(dense.firsts[i], dense.count(i));
}

FloatHistogramMap emptyFloatHistogram(double minimum, double maximum)
{
    const FloatHashFunctor hash(static_cast<float>(minimum), static_cast<float>(maximum), 256);
    return FloatHistogramMap(512, hash, FloatKeyEqualFunctor{hash});
}

} // namespace

FloatHashFunctor::FloatHashFunctor(float minimum, float maximum, int binCount)
    : factor(static_cast<float>(binCount) / (maximum - minimum + 1.1920929e-7f))
{
}

std::int64_t FloatHashFunctor::bin(float value) const
{
    const float scaled = std::floor(value * factor);
    if (std::isnan(scaled))
        return 0;
    constexpr float limit = 9.2233720368547758e18f; // 2^63
    if (scaled >= limit)
        return std::numeric_limits<std::int64_t>::max();
    if (scaled < -limit)
        return std::numeric_limits<std::int64_t>::min();
    return static_cast<std::int64_t>(scaled);
}

std::array<std::uint64_t, 256> countByteValues(const Image2D& image, Window window, const Image2D* mask)
{
    if (!isByteImage(image) || (mask && (!mask->isValid() || mask->getSize() != image.getSize())))
        return {};
    return countBytes(image.getConstData<std::uint8_t>(), image.getWidth(), clip(image, window),
                      mask ? mask->getConstData<std::uint8_t>() : nullptr);
}

IntegerHistogramMap integerHistogram(const Image2D& image, Window window)
{
    IntegerHistogramMap histogram;
    if (!isByteImage(image))
        return histogram;
    const std::array<std::uint64_t, 256> counts = countByteValues(image, window);
    for (int v = 0; v < 256; ++v)
        if (counts[v] > 0)
            histogram.emplace(static_cast<unsigned char>(v), static_cast<unsigned int>(counts[v]));
    return histogram;
}

FloatHistogramMap floatedBinnedHistogram(const Image2D& image, Window window, double minimum, double maximum)
{
    FloatHistogramMap histogram = emptyFloatHistogram(minimum, maximum);
    if (image.isValid() && image.getDataType() == Image2D::FLOAT)
        fillFloatHistogram(image.getConstData<float>(), image.getWidth(), clip(image, window),
                           static_cast<float>(minimum), static_cast<float>(maximum), histogram);
    return histogram;
}

template <typename T>
std::unordered_map<unsigned char, unsigned int> IntegerHistogram<T>::computeHistogram(const Image2D& image,
                                                                                       Window window)
{
    std::unordered_map<unsigned char, unsigned int> histogram;
    IntegerHistogram algorithm(histogram, window);
    // The histograms only read their input: the caller's image is lent, not copied.
    algorithm.setSharedInput(INPUT_IMAGE, borrowImage(image));
    algorithm.execute(neverCancelled());
    return histogram;
}

template <typename T>
bool IntegerHistogram<T>::isInputValid() const
{
    const std::shared_ptr<Image2D> input = getSharedInput(INPUT_IMAGE);
    return (input && isByteImage(*input)) || fail(FailureReason::UnsupportedType, INPUT_IMAGE);
}

template <typename T>
bool IntegerHistogram<T>::process(const std::atomic<bool>&)
{
    buildFullHistogram(getSharedInput(INPUT_IMAGE)->template getConstData<unsigned char>());
    return true;
}

template <typename T>
void IntegerHistogram<T>::buildFullHistogram(const unsigned char* pixels)
{
    const Image2D& input = *getSharedInput(INPUT_IMAGE);
    const std::array<std::uint64_t, 256> counts = countBytes(pixels, input.getWidth(), clip(input, m_window), nullptr);
    for (int v = 0; v < 256; ++v)
        if (counts[v] > 0)
            m_histogram[static_cast<unsigned char>(v)] += static_cast<unsigned int>(counts[v]);
}

template class IntegerHistogram<unsigned char>;

FloatHistogramMap FloatedBinnedHistogram::computeHistogram(const Image2D& image, Window window, double minimum,
                                                           double maximum)
{
    FloatHistogramMap histogram = emptyFloatHistogram(minimum, maximum);
    FloatedBinnedHistogram algorithm(histogram, window, static_cast<float>(minimum), static_cast<float>(maximum));
    algorithm.setSharedInput(INPUT_IMAGE, borrowImage(image));
    algorithm.execute(neverCancelled());
    return histogram;
}

bool FloatedBinnedHistogram::isInputValid() const
{
    const std::shared_ptr<Image2D> input = getSharedInput(INPUT_IMAGE);
    return (input && input->isValid() && input->getDataType() == Image2D::FLOAT) ||
           fail(FailureReason::UnsupportedType, INPUT_IMAGE);
}

bool FloatedBinnedHistogram::process(const std::atomic<bool>&)
{
    buildFullHistogram(getSharedInput(INPUT_IMAGE)->getConstData<float>());
    return true;
}

void FloatedBinnedHistogram::buildFullHistogram(const float* pixels)
{
    const Image2D& input = *getSharedInput(INPUT_IMAGE);
    fillFloatHistogram(pixels, input.getWidth(), clip(input, m_window), m_minimum, m_maximum, m_histogram);
}

} // namespace image2d
