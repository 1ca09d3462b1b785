#pragma once

// The sliding window histograms of the Stark equalization: an occupancy index over dense
// bins, the exact histogram of integer pixels and the bucketed one of float pixels; internal
// to StarkAdaptiveHistogramEqualization.cpp.

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <type_traits>
#include <vector>

namespace image2d::stark_detail {

/// Occupied entries of a dense index range, visited in ascending order: one bit per
/// entry plus one summary bit per 64 entries, so a sparse window is walked in a few words.
class Occupancy
{
public:
    explicit Occupancy(std::size_t size) : m_words((size + 63) / 64, 0), m_summary((m_words.size() + 63) / 64, 0) {}

    // Branch-free updates: entries open and close about as often as not.
    void set(std::size_t i, bool on)
    {
        m_words[i >> 6] |= std::uint64_t(on) << (i & 63);
        m_summary[i >> 12] |= std::uint64_t(on) << ((i >> 6) & 63);
    }

    void clear(std::size_t i, bool off)
    {
        std::uint64_t& word = m_words[i >> 6];
        word &= ~(std::uint64_t(off) << (i & 63));
        m_summary[i >> 12] &= ~(std::uint64_t(word == 0) << ((i >> 6) & 63));
    }

    void clearAll()
    {
        std::fill(m_words.begin(), m_words.end(), 0);
        std::fill(m_summary.begin(), m_summary.end(), 0);
    }

    template <typename F>
    void forEach(F&& f) const
    {
        for (std::size_t s = 0; s < m_summary.size(); ++s)
            for (std::uint64_t bits = m_summary[s]; bits; bits &= bits - 1)
            {
                const std::size_t w = s * 64 + static_cast<std::size_t>(std::countr_zero(bits));
                for (std::uint64_t word = m_words[w]; word; word &= word - 1)
                    f(w * 64 + static_cast<std::size_t>(std::countr_zero(word)));
            }
    }

    /// Visits the entries occupied in `a` or in `b` (same size), in ascending order.
    template <typename F>
    static void forEachUnion(const Occupancy& a, const Occupancy& b, F&& f)
    {
        for (std::size_t s = 0; s < a.m_summary.size(); ++s)
            for (std::uint64_t bits = a.m_summary[s] | b.m_summary[s]; bits; bits &= bits - 1)
            {
                const std::size_t w = s * 64 + static_cast<std::size_t>(std::countr_zero(bits));
                for (std::uint64_t word = a.m_words[w] | b.m_words[w]; word; word &= word - 1)
                    f(w * 64 + static_cast<std::size_t>(std::countr_zero(word)));
            }
    }

    /// The bit words (one bit per entry) and the summary words (one bit per non-zero word),
    /// for a walk written out in vector code that cannot call back into forEach.
    const std::uint64_t* words() const { return m_words.data(); }
    const std::uint64_t* summary() const { return m_summary.data(); }
    std::size_t summarySize() const { return m_summary.size(); }

private:
    std::vector<std::uint64_t> m_words;
    std::vector<std::uint64_t> m_summary;
};

/// Counts of a window histogram's entries with their occupancy and total: the part both
/// pixel kinds share; each kind maps its values to entries and to normalised values.
class EntryCounts
{
public:
    explicit EntryCounts(std::size_t size) : m_counts(size, 0.0), m_occupied(size) {}

    void clear()
    {
        m_occupied.forEach([&](std::size_t i) { m_counts[i] = 0.0; });
        m_occupied.clearAll();
        m_total = 0;
    }

    std::uint64_t total() const { return m_total; }
    const Occupancy& occupancy() const { return m_occupied; }
    // For an unoccupied entry: count 0.
    double countAt(std::size_t i) const { return m_counts[i]; }

protected:
    void addAt(std::size_t i)
    {
        m_counts[i] += 1.0;
        m_occupied.set(i, true);
        ++m_total;
    }

    void removeAt(std::size_t i)
    {
        m_counts[i] -= 1.0;
        m_occupied.clear(i, m_counts[i] == 0.0);
        --m_total;
    }

    template <typename F>
    void forEachCounted(const std::vector<double>& normalised, F&& f) const
    {
        m_occupied.forEach([&](std::size_t i) { f(normalised[i], m_counts[i]); });
    }

    std::vector<double> m_counts; // whole numbers, kept as double for the output sums

private:
    Occupancy m_occupied;
    std::uint64_t m_total = 0;
};

/// Window histogram of integer pixels: an exact histogram of values, indexed by the
/// value's offset from the type's minimum; the normalised value of each index is a table.
template <typename T>
class IntegerHistogram : public EntryCounts
{
public:
    static constexpr int kOffset = std::is_signed_v<T> ? -static_cast<int>(std::numeric_limits<T>::min()) : 0;
    static constexpr std::size_t kSize = std::size_t(1) << (8 * sizeof(T));
    /// Every histogram of a run reads the same normalised value for an index.
    static constexpr bool kSharedNormalised = true;

    explicit IntegerHistogram(const std::vector<double>& normalised)
        : EntryCounts(kSize), m_normalised(normalised)
    {
    }

    static std::vector<double> normalisedValues(double lo, double hi)
    {
        std::vector<double> n(kSize);
        for (std::size_t i = 0; i < kSize; ++i)
            n[i] = (static_cast<double>(static_cast<int>(i) - kOffset) - lo) / (hi - lo) - 0.5;
        return n;
    }

    double normalised(T v) const { return m_normalised[index(v)]; }

    void add(T v) { addAt(index(v)); }
    void remove(T v) { removeAt(index(v)); }

    // For an unoccupied entry: a finite normalised value.
    double normalisedAt(std::size_t i) const { return m_normalised[i]; }
    const double& normalisedRef(std::size_t i) const { return m_normalised[i]; }

    template <typename F>
    void forEachEntry(F&& f) const { forEachCounted(m_normalised, f); }

    static std::size_t index(T v) { return static_cast<std::size_t>(static_cast<int>(v) + kOffset); }

private:
    const std::vector<double>& m_normalised;
};

/// The window histograms of four neighbouring rows of integer pixels, slid together: the
/// rows all four windows hold are counted once ("shared"), the rest per window ("own", four
/// counts side by side per value). A window's count of a value is shared + own, the same
/// whole number its own histogram would hold; occupied entries are those of any window.
template <typename T>
class QuadIntegerHistogram
{
public:
    static constexpr std::size_t kSize = IntegerHistogram<T>::kSize;

    explicit QuadIntegerHistogram(const std::vector<double>& normalised)
        : m_shared(kSize, 0.0), m_own(4 * kSize, 0.0), m_presence(kSize, 0), m_occupied(kSize),
          m_normalised(normalised)
    {
    }

    double normalised(T v) const { return m_normalised[index(v)]; }

    void addShared(T v) { open(index(v), m_shared[index(v)], m_sharedTotal); }
    void removeShared(T v) { close(index(v), m_shared[index(v)], m_sharedTotal); }
    void addOwn(int window, T v) { open(index(v), m_own[4 * index(v) + window], m_ownTotal[window]); }
    void removeOwn(int window, T v) { close(index(v), m_own[4 * index(v) + window], m_ownTotal[window]); }

    std::uint64_t total(int window) const { return m_sharedTotal + m_ownTotal[window]; }
    const Occupancy& occupancy() const { return m_occupied; }
    const double& sharedRef(std::size_t i) const { return m_shared[i]; }
    const double* ownAt(std::size_t i) const { return m_own.data() + 4 * i; }
    const double& normalisedRef(std::size_t i) const { return m_normalised[i]; }

    void clear()
    {
        m_occupied.forEach([&](std::size_t i) {
            m_shared[i] = 0.0;
            std::fill_n(m_own.begin() + static_cast<std::ptrdiff_t>(4 * i), 4, 0.0);
            m_presence[i] = 0;
        });
        m_occupied.clearAll();
        m_sharedTotal = 0;
        std::fill(std::begin(m_ownTotal), std::end(m_ownTotal), 0);
    }

private:
    static std::size_t index(T v) { return IntegerHistogram<T>::index(v); }

    void open(std::size_t i, double& count, std::uint64_t& total)
    {
        count += 1.0;
        ++total;
        ++m_presence[i];
        m_occupied.set(i, true);
    }
    void close(std::size_t i, double& count, std::uint64_t& total)
    {
        count -= 1.0;
        --total;
        m_occupied.clear(i, --m_presence[i] == 0);
    }

    std::vector<double> m_shared, m_own;
    std::vector<std::uint32_t> m_presence; // pixels of the value in any of the windows
    Occupancy m_occupied;
    std::uint64_t m_sharedTotal = 0, m_ownTotal[4] = {0, 0, 0, 0};
    const std::vector<double>& m_normalised;
};

/// Window histogram of float pixels: 256 buckets of floor(v * s) across [lo, hi], each
/// represented by the value of the pixel that opened it. NaN pixels stay out of the window.
class FloatHistogram : public EntryCounts
{
public:
    static constexpr bool kSharedNormalised = false; // each entry keeps its opening value

    FloatHistogram(double lo, double hi)
        : EntryCounts(entries(lo, hi)), m_lo(lo), m_hi(hi), m_scale(scaleOf(lo, hi)),
          m_first(key(static_cast<float>(lo))), m_size(m_counts.size()), m_normalised(m_size, 0.0)
    {
    }

    double normalised(float v) const { return (static_cast<double>(v) - m_lo) / (m_hi - m_lo) - 0.5; }

    void add(float v)
    {
        if (std::isnan(v))
            return;
        const std::size_t i = index(v);
        if (m_counts[i] == 0.0)
            m_normalised[i] = normalised(v);
        addAt(i);
    }

    void remove(float v)
    {
        if (!std::isnan(v))
            removeAt(index(v));
    }

    // For an unoccupied entry: a finite normalised value.
    double normalisedAt(std::size_t i) const { return m_normalised[i]; }
    const double& normalisedRef(std::size_t i) const { return m_normalised[i]; }

    template <typename F>
    void forEachEntry(F&& f) const { forEachCounted(m_normalised, f); }

private:
    static float scaleOf(double lo, double hi)
    {
        return 256.0f / (static_cast<float>(hi) - static_cast<float>(lo) + 1.1920929e-7f);
    }
    static long long keyOf(float v, float scale) { return static_cast<long long>(std::floor(static_cast<double>(v * scale))); }
    // Keys are monotone in v, so [lo, hi] bounds them; the cap only guards degenerate scales.
    static std::size_t entries(double lo, double hi)
    {
        const float scale = scaleOf(lo, hi);
        const long long first = keyOf(static_cast<float>(lo), scale);
        return static_cast<std::size_t>(std::clamp<long long>(keyOf(static_cast<float>(hi), scale) - first + 1, 1, 1 << 20));
    }
    long long key(float v) const { return keyOf(v, m_scale); }

    std::size_t index(float v) const
    {
        return static_cast<std::size_t>(std::clamp<long long>(key(v) - m_first, 0, static_cast<long long>(m_size) - 1));
    }

    double m_lo, m_hi;
    float m_scale;
    long long m_first;
    std::size_t m_size;
    std::vector<double> m_normalised;
};

} // namespace image2d::stark_detail
