#include "image2d/analysis/Skeletonization.h"

#include "image2d/framework/Core.h"
#include "image2d/toolbox/Image2DOperations.h"

#include <array>
#include <cstdint>
#include <new>
#include <vector>

namespace image2d {

namespace {

// Weight of each position of the 3 x 3 neighbourhood code, rows y - 1, y, y + 1.
constexpr int kWeights[3][3] = {{256, 128, 64}, {32, 16, 8}, {4, 2, 1}};
constexpr int kCentre = 16;

// The hit-or-miss patterns, rows y - 1 to y + 1: '1' set, '0' clear, '.' either.
constexpr const char* kPatterns[8][3] = {
    {"0.1", "011", "0.1"}, {".1.", "011", "00."}, {"000", ".1.", "111"}, {"00.", "011", ".1."},
    {"111", ".1.", "000"}, {".00", "110", ".1."}, {"1.0", "110", "1.0"}, {".1.", "110", ".00"},
};

using Tables = std::array<std::array<int, 512>, 8>;

// Table t holds 1 for exactly the codes that match pattern t.
Tables& lookUpTables()
{
    static Tables tables = [] {
        Tables made{};
        for (int t = 0; t < 8; ++t)
            for (int code = 0; code < 512; ++code)
            {
                bool match = true;
                for (int r = 0; r < 3; ++r)
                    for (int c = 0; c < 3; ++c)
                    {
                        const bool set = (code & kWeights[r][c]) != 0;
                        const char want = kPatterns[t][r][c];
                        match = match && !(want == '1' && !set) && !(want == '0' && set);
                    }
                made[t][code] = match ? 1 : 0;
            }
        return made;
    }();
    return tables;
}

// The incremental thinning. Every pixel keeps its neighbourhood code (centre bit included, so
// the code also says whether the pixel is set) in a grid with a frame of two clear pixels.
// A deletion updates the codes of its eight neighbours. A set pixel is queued for the first
// table, in the order the passes will apply them, that matches its current code; a pixel
// whose code does not change keeps its decision, so no other pixel needs a look. Each table
// decides on all its queued pixels before deleting any, as a full scan would.
class Thinning
{
public:
    explicit Thinning(const Image2D& binary)
        : m_width(binary.getWidth()), m_height(binary.getHeight()), m_stride(m_width + 4),
          m_codes(static_cast<std::size_t>(m_stride) * (m_height + 4), 0), m_queued(m_codes.size(), 0)
    {
        const Tables& tables = lookUpTables();
        for (int code = 0; code < 512; ++code)
            for (int t = 0; t < 8; ++t)
                m_matches[code] |= static_cast<std::uint8_t>(tables[t][code] << t);
        for (int first = 0; first < 8; ++first)
            for (int matches = 0; matches < 256; ++matches)
            {
                int next = 8;
                for (int k = 0; k < 8 && next == 8; ++k)
                    if (matches & (1 << ((first + k) % 8)))
                        next = (first + k) % 8;
                m_next[first][matches] = static_cast<std::uint8_t>(next);
            }
        for (int dy = -1; dy <= 1; ++dy)
            for (int dx = -1; dx <= 1; ++dx)
                m_offsets[(dy + 1) * 3 + dx + 1] = dy * m_stride + dx;

        const std::uint8_t* in = binary.getConstData<std::uint8_t>();
        for (int y = 0; y < m_height; ++y)
            for (int x = 0; x < m_width; ++x)
                if (in[pixelIndex(x, y, m_width)] != 0)
                    for (int k = 0; k < 9; ++k)
                        m_codes[at(x, y) - m_offsets[k]] += static_cast<std::uint16_t>(kWeights[k / 3][k % 3]);
        for (int y = 0; y < m_height; ++y)
            for (int x = 0; x < m_width; ++x)
                queue(at(x, y), 0);
    }

    void run()
    {
        std::vector<std::uint32_t> pending, deleted;
        for (int pass = 1; pass < 99; ++pass)
        {
            bool changed = false;
            for (int t = 0; t < 8; ++t)
            {
                pending.swap(m_pending[t]);
                m_pending[t].clear();
                deleted.clear();
                const std::uint8_t bit = static_cast<std::uint8_t>(1 << t);
                for (std::uint32_t p : pending)
                {
                    m_queued[p] &= static_cast<std::uint8_t>(~bit);
                    if ((m_codes[p] & kCentre) && (m_matches[m_codes[p]] & bit))
                        deleted.push_back(p);
                }
                for (std::uint32_t p : deleted)
                    remove(p, (t + 1) % 8);
                changed = changed || !deleted.empty();
            }
            if (!changed)
                break;
        }
    }

    void write(std::uint8_t* out) const
    {
        for (int y = 0; y < m_height; ++y)
            for (int x = 0; x < m_width; ++x)
                out[pixelIndex(x, y, m_width)] = (m_codes[at(x, y)] & kCentre) ? 1 : 0;
    }

private:
    std::size_t at(int x, int y) const { return static_cast<std::size_t>(y + 2) * m_stride + (x + 2); }

    // Queues a set pixel for the first table, from `nextTable` on, that matches its code.
    void queue(std::size_t p, int nextTable)
    {
        const std::uint16_t code = m_codes[p];
        if (!(code & kCentre))
            return;
        const int t = m_next[nextTable][m_matches[code]];
        if (t == 8 || (m_queued[p] & (1 << t)))
            return;
        m_queued[p] |= static_cast<std::uint8_t>(1 << t);
        m_pending[t].push_back(static_cast<std::uint32_t>(p));
    }

    // Clears pixel p: each neighbour loses p's weight from its code and is queued again.
    void remove(std::size_t p, int nextTable)
    {
        m_codes[p] &= static_cast<std::uint16_t>(~kCentre);
        for (int k = 0; k < 9; ++k)
            if (k != 4)
            {
                // Seen from the neighbour at offset k, p sits at the opposite position.
                const std::size_t n = p + m_offsets[k];
                m_codes[n] -= static_cast<std::uint16_t>(kWeights[2 - k / 3][2 - k % 3]);
                queue(n, nextTable);
            }
    }

    int m_width, m_height, m_stride;
    std::vector<std::uint16_t> m_codes;
    std::vector<std::uint8_t> m_queued; // bit t: the pixel is in m_pending[t]
    std::vector<std::uint32_t> m_pending[8];
    std::uint8_t m_matches[512] = {}; // bit t: the code matches table t
    std::uint8_t m_next[8][256] = {}; // first table from [t] on whose bit is in the set, 8 for none
    std::ptrdiff_t m_offsets[9] = {};
};

} // namespace

namespace skeleton_detail {

bool isBinaryInput(const Image2D* image)
{
    return image && image->isValid() && image->getDataType() == Image2D::BINARY;
}

} // namespace skeleton_detail

std::shared_ptr<Image2D> skeletonize(const Image2D& binary)
{
    if (!skeleton_detail::isBinaryInput(&binary))
        return nullptr;
    auto skeleton = newImageLike(binary, Image2D::BINARY);
    if (!skeleton)
        return nullptr;
    try
    {
        Thinning thinning(binary);
        thinning.run();
        thinning.write(skeleton->getData<std::uint8_t>());
    }
    catch (const std::bad_alloc&)
    {
        return nullptr;
    }
    return skeleton;
}

} // namespace image2d

// ---- Image2DSkeletization ----------------------------------------------------------------------

bool Image2DSkeletization::setInput(Image2D* input)
{
    if (!image2d::skeleton_detail::isBinaryInput(input))
        return false;
    m_input = input;
    return true;
}

bool Image2DSkeletization::setOutput(Image2D* output)
{
    if (!output)
        return false;
    m_output = output;
    return true;
}

void Image2DSkeletization::execute()
{
    if (!m_input || !m_output)
        return;
    if (std::shared_ptr<Image2D> skeleton = image2d::skeletonize(*m_input))
        *m_output = std::move(*skeleton);
}

bool Image2DSkeletization::applyLUT(Image2D* in, Image2D* out, int* lut)
{
    if (!in || !out || !lut || !in->isValid() || in->getDataTypeSize() != 1)
        return false;
    const int width = in->getWidth(), height = in->getHeight();
    const std::uint8_t* pixels = in->getConstData<std::uint8_t>();
    std::vector<char> result(in->getNumPixels(), 0);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
        {
            if (pixels[image2d::pixelIndex(x, y, width)] == 0)
                continue;
            int code = 0;
            for (int dy = -1; dy <= 1; ++dy)
                for (int dx = -1; dx <= 1; ++dx)
                    if (x + dx >= 0 && x + dx < width && y + dy >= 0 && y + dy < height &&
                        pixels[image2d::pixelIndex(x + dx, y + dy, width)] != 0)
                        code += image2d::kWeights[dy + 1][dx + 1];
            result[image2d::pixelIndex(x, y, width)] = static_cast<char>(lut[code]);
        }
    return out->loadFromData(result.data(), width, height, Image2D::BINARY);
}

bool Image2DSkeletization::skeletonIteration(Image2D* in, Image2D* out)
{
    if (!in || !out)
        return false;
    Image2D current(*in);
    for (auto& table : image2d::lookUpTables())
    {
        Image2D deletions(current);
        applyLUT(&current, &deletions, table.data());
        image2d::Image2DOperations::invert(&deletions);
        image2d::Image2DOperations::logicalAnd(&deletions, &current);
        current = std::move(deletions);
    }
    *out = std::move(current);
    return false;
}
