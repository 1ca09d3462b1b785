#include "image2d/analysis/ComponentRuns.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <utility>

namespace image2d {

namespace {

constexpr std::uint64_t kLowBits = 0x7F7F7F7F7F7F7F7Full;
constexpr std::uint64_t kHighBits = 0x8080808080808080ull;

// Bit x of words[x / 64] is set where the pixel counts as set; the bits past the row's end,
// and one extra word after them, are 0, so every run ends inside the words.
void rowBits(const std::uint8_t* row, int width, bool zeroIsSet, std::uint64_t* words)
{
    const int wordCount = (width + 63) / 64;
    std::fill(words, words + wordCount + 1, 0);
    const std::uint64_t flip = zeroIsSet ? kHighBits : 0;
    int x = 0;
    for (; x + 8 <= width; x += 8)
    {
        std::uint64_t v;
        std::memcpy(&v, row + x, sizeof v);
        // The high bit of each byte is set where the byte is non-zero; the multiplication
        // gathers the eight high bits into the top byte, byte 0 lowest.
        const std::uint64_t nonZero = ((((v & kLowBits) + kLowBits) | v) & kHighBits) ^ flip;
        const std::uint64_t bits = ((nonZero >> 7) * 0x0102040810204080ull) >> 56;
        words[x >> 6] |= bits << (x & 63);
    }
    for (; x < width; ++x)
        if ((row[x] != 0) != zeroIsSet)
            words[x >> 6] |= std::uint64_t(1) << (x & 63);
}

} // namespace

inline std::uint32_t ComponentRuns::newLabel()
{
    const auto label = static_cast<std::uint32_t>(m_parent.size());
    m_parent.push_back(label);
    m_firstPixel.push_back(UINT64_MAX);
    return label;
}

// Joins the trees of two labels under the smaller root, so that a root is always the first
// label its component received; returns that root.
inline std::uint32_t ComponentRuns::unite(std::uint32_t a, std::uint32_t b)
{
    auto root = [this](std::uint32_t x) {
        while (m_parent[x] != x)
        {
            m_parent[x] = m_parent[m_parent[x]];
            x = m_parent[x];
        }
        return x;
    };
    a = root(a);
    b = root(b);
    if (a == b)
        return a;
    if (a > b)
        std::swap(a, b);
    m_parent[b] = a;
    return a;
}

namespace {

// Bits set in v. Written out because the baseline instruction set has no population count
// and the library call costs more than these few operations.
inline std::uint32_t bitCount(std::uint64_t v)
{
    v = v - ((v >> 1) & 0x5555555555555555ull);
    v = (v & 0x3333333333333333ull) + ((v >> 2) & 0x3333333333333333ull);
    v = (v + (v >> 4)) & 0x0F0F0F0F0F0F0F0Full;
    return static_cast<std::uint32_t>((v * 0x0101010101010101ull) >> 56);
}

// The set pixels of one row as bits, with the bits where a run starts and, per word, how many
// runs start in the words before it: enough to find the runs that touch a range in O(1).
struct RowRuns
{
    std::vector<std::uint64_t> bits, starts;
    std::vector<std::uint32_t> startsBefore;

    explicit RowRuns(std::size_t words) : bits(words), starts(words), startsBefore(words) {}

    void countStarts()
    {
        std::uint64_t carry = 0;
        std::uint32_t count = 0;
        for (std::size_t w = 0; w < bits.size(); ++w)
        {
            starts[w] = bits[w] & ~((bits[w] << 1) | carry);
            carry = bits[w] >> 63;
            startsBefore[w] = count;
            count += bitCount(starts[w]);
        }
    }
    // Runs that start left of x.
    std::uint32_t runsBefore(int x) const
    {
        const std::size_t w = static_cast<std::size_t>(x) >> 6;
        return startsBefore[w] + bitCount(starts[w] & ((std::uint64_t(1) << (x & 63)) - 1));
    }
    bool set(int x) const { return (bits[static_cast<std::size_t>(x) >> 6] >> (x & 63)) & 1; }
};

} // namespace

bool ComponentRuns::find(const std::uint8_t* mask, int width, int height, bool zeroIsSet, ScanOrder order)
{
    m_width = std::max(width, 0);
    m_height = std::max(height, 0);
    m_count = 0;
    m_runs.clear();
    m_rowBegin.assign(1, 0);
    m_parent.clear();
    m_firstPixel.clear();
    m_sizes.assign(1, static_cast<std::uint64_t>(m_width) * static_cast<std::uint64_t>(m_height));
    if (!mask || m_width == 0 || m_height == 0)
    {
        m_rowBegin.assign(static_cast<std::size_t>(m_height) + 1, 0);
        return true;
    }
    try
    {
        // One word more than the row needs, always 0: every run ends inside the words, and a
        // range may reach one pixel past the row.
        const std::size_t wordCount = static_cast<std::size_t>(width + 63) / 64;
        RowRuns above(wordCount + 1), row(wordCount + 1);
        m_rowBegin.reserve(static_cast<std::size_t>(height) + 1);
        // A row holds at most (width + 1) / 2 runs; reserving that (capped) avoids regrowing.
        const std::size_t mostRuns = static_cast<std::size_t>(height) * ((static_cast<std::size_t>(width) + 1) / 2);
        m_runs.reserve(std::min<std::size_t>(mostRuns, std::size_t(1) << 22));
        const bool byColumns = order == ScanOrder::ColumnMajor;
        for (int y = 0; y < height; ++y)
        {
            rowBits(mask + static_cast<std::size_t>(y) * static_cast<std::size_t>(width), width, zeroIsSet,
                    row.bits.data());
            const std::size_t aboveBegin = y > 0 ? m_rowBegin[static_cast<std::size_t>(y) - 1] : 0;
            std::size_t w = 0;
            std::uint64_t bits = row.bits[0];
            for (;;)
            {
                while (bits == 0)
                {
                    if (++w >= wordCount)
                        break;
                    bits = row.bits[w];
                }
                if (bits == 0)
                    break;
                const int x0 = static_cast<int>(w * 64) + __builtin_ctzll(bits);
                std::uint64_t clear = ~row.bits[w] & (~std::uint64_t(0) << (x0 & 63));
                while (clear == 0)
                    clear = ~row.bits[++w];
                const int x1 = static_cast<int>(w * 64) + __builtin_ctzll(clear);
                bits = row.bits[w] & (~std::uint64_t(0) << (x1 & 63));

                // 8-connected: the runs above that reach x0 - 1 ... x1 are the one covering
                // x0 - 1, if any, and those that start in x0 ... x1, one after the other.
                std::uint32_t label = UINT32_MAX;
                if (y > 0)
                {
                    const std::uint32_t left = x0 > 0 && above.set(x0 - 1) ? 1 : 0;
                    const std::uint32_t before = above.runsBefore(x0);
                    const std::uint32_t touching = above.runsBefore(x1 + 1) - before + left;
                    const std::size_t first = aboveBegin + before - left;
                    if (touching > 0)
                    {
                        label = m_runs[first].component;
                        for (std::uint32_t k = 1; k < touching; ++k)
                            label = unite(label, m_runs[first + k].component);
                    }
                }
                if (label == UINT32_MAX)
                    label = newLabel();
                if (byColumns)
                {
                    const std::uint64_t key = static_cast<std::uint64_t>(x0) * static_cast<std::uint64_t>(height) + y;
                    m_firstPixel[label] = std::min(m_firstPixel[label], key);
                }
                m_runs.push_back(Run{x0, x1, label});
            }
            m_rowBegin.push_back(m_runs.size());
            row.countStarts();
            std::swap(row, above);
        }
        numberComponents(order);
    }
    catch (const std::bad_alloc&)
    {
        m_count = 0;
        m_runs.clear();
        m_sizes.assign(1, static_cast<std::uint64_t>(m_width) * static_cast<std::uint64_t>(m_height));
        m_rowBegin.assign(static_cast<std::size_t>(m_height) + 1, 0);
        return false;
    }
    return true;
}

// Provisional labels were handed out in row-major order and every root is the smallest label
// of its tree, so numbering the roots in label order numbers the components by their first
// pixel in a row-major scan. A column-major numbering sorts them by their first pixel in that
// scan instead: the leftmost column's topmost pixel, which starts one of the component's runs.
void ComponentRuns::numberComponents(ScanOrder order)
{
    std::vector<std::uint32_t> number(m_parent.size());
    std::uint32_t count = 0;
    for (std::size_t label = 0; label < m_parent.size(); ++label)
        // Parents are smaller than their children, so the parent is numbered already.
        number[label] = m_parent[label] == label ? ++count : number[m_parent[label]];
    m_count = count;

    if (order == ScanOrder::ColumnMajor && count > 1)
    {
        // Each label holds the first pixel of its own runs; children come after their parents,
        // so a backward sweep carries every minimum up to its root.
        std::vector<std::uint64_t> first(static_cast<std::size_t>(count) + 1, UINT64_MAX);
        for (std::size_t label = m_parent.size(); label-- > 0;)
        {
            std::uint64_t& up = m_parent[label] == label ? first[number[label]] : m_firstPixel[m_parent[label]];
            up = std::min(up, m_firstPixel[label]);
        }
        std::vector<std::uint32_t> byFirst(count);
        for (std::uint32_t c = 0; c < count; ++c)
            byFirst[c] = c + 1;
        std::sort(byFirst.begin(), byFirst.end(), [&](std::uint32_t a, std::uint32_t b) { return first[a] < first[b]; });
        std::vector<std::uint32_t> renumber(static_cast<std::size_t>(count) + 1);
        for (std::uint32_t i = 0; i < count; ++i)
            renumber[byFirst[i]] = i + 1;
        for (std::uint32_t& n : number)
            n = renumber[n];
    }
    m_parent.clear();
    m_parent.shrink_to_fit();
    m_firstPixel.clear();
    m_firstPixel.shrink_to_fit();
    m_sizes.assign(static_cast<std::size_t>(count) + 1, 0);
    std::uint64_t inRuns = 0;
    for (Run& run : m_runs)
    {
        run.component = number[run.component];
        m_sizes[run.component] += static_cast<std::uint64_t>(run.x1 - run.x0);
        inRuns += static_cast<std::uint64_t>(run.x1 - run.x0);
    }
    m_sizes[0] = static_cast<std::uint64_t>(m_width) * static_cast<std::uint64_t>(m_height) - inRuns;
}

// Runs are short on noisy masks, so each is written as whole blocks of 8 labels, and the block
// that reaches past its end is cleared again by a block of 8 zeros at the end. A later run of
// the row starts further right and overwrites those zeros where it lies; zeros that reach into
// the next row land on pixels that are still 0. Only near the end of the buffer is the run
// written pixel by pixel.
void ComponentRuns::writeLabels(std::uint16_t* labels) const
{
    const std::size_t total = static_cast<std::size_t>(m_width) * static_cast<std::size_t>(m_height);
    const std::uint16_t zeros[8] = {};
    for (int y = 0; y < m_height; ++y)
    {
        const std::size_t rowStart = static_cast<std::size_t>(y) * static_cast<std::size_t>(m_width);
        std::uint16_t* row = labels + rowStart;
        for (std::size_t r = rowBegin(y); r < rowBegin(y + 1); ++r)
        {
            const Run& run = m_runs[r];
            const auto label = static_cast<std::uint16_t>(run.component);
            if (rowStart + static_cast<std::size_t>(run.x1) + 8 > total)
            {
                std::fill(row + run.x0, row + run.x1, label);
                continue;
            }
            std::uint16_t block[8];
            std::fill(block, block + 8, label);
            for (int x = run.x0; x < run.x1; x += 8)
                std::memcpy(row + x, block, sizeof block);
            std::memcpy(row + run.x1, zeros, sizeof zeros);
        }
    }
}

} // namespace image2d
