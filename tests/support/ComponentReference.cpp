#include "support/ComponentReference.h"

#include "support/TestImages.h"

#include <algorithm>
#include <cstddef>
#include <random>

namespace testing_support {

namespace {

// Pixel index of position `k` of a scan.
std::size_t scanIndex(std::size_t k, int width, int height, bool columnMajor)
{
    return columnMajor ? (k % height) * width + k / height : k;
}

} // namespace

ReferenceLabels floodFillLabels(const std::vector<std::uint8_t>& mask, int width, int height, bool columnMajor)
{
    ReferenceLabels result;
    result.labels.assign(mask.size(), 0);
    std::vector<std::size_t> stack;
    for (std::size_t k = 0; k < mask.size(); ++k)
    {
        const std::size_t start = scanIndex(k, width, height, columnMajor);
        if (!mask[start] || result.labels[start])
            continue;
        result.labels[start] = ++result.count;
        stack.assign(1, start);
        while (!stack.empty())
        {
            const int x = static_cast<int>(stack.back() % width), y = static_cast<int>(stack.back() / width);
            stack.pop_back();
            for (int dy = -1; dy <= 1; ++dy)
                for (int dx = -1; dx <= 1; ++dx)
                {
                    const int nx = x + dx, ny = y + dy;
                    if (nx < 0 || ny < 0 || nx >= width || ny >= height)
                        continue;
                    const std::size_t n = static_cast<std::size_t>(ny) * width + nx;
                    if (mask[n] && !result.labels[n])
                    {
                        result.labels[n] = result.count;
                        stack.push_back(n);
                    }
                }
        }
    }
    return result;
}

ReferenceLabels mergeAndRescanLabels(const std::vector<std::uint8_t>& mask, int width, int height, bool columnMajor)
{
    std::vector<std::uint32_t> labels(mask.size(), 0);
    std::vector<std::uint32_t> live{0}; // stays ascending: new labels are the largest
    auto at = [&](int x, int y) -> std::uint32_t& { return labels[static_cast<std::size_t>(y) * width + x]; };
    for (std::size_t k = 0; k < mask.size(); ++k)
    {
        const std::size_t index = scanIndex(k, width, height, columnMajor);
        const int x = static_cast<int>(index % width), y = static_cast<int>(index / width);
        if (!mask[index])
            continue;
        std::vector<std::uint32_t> collected;
        if (columnMajor)
        {
            for (int dx = -1; dx <= 1; ++dx)
                for (int dy = -1; dy <= 1; ++dy)
                    if (std::uint32_t l = at(std::clamp(x + dx, 0, width - 1), std::clamp(y + dy, 0, height - 1)))
                        collected.push_back(l);
        }
        else
        {
            for (auto [dx, dy] : {std::pair{-1, -1}, {0, -1}, {1, -1}, {-1, 0}})
                if (x + dx >= 0 && x + dx < width && y + dy >= 0)
                    if (std::uint32_t l = at(x + dx, y + dy))
                        collected.push_back(l);
        }
        if (collected.empty())
        {
            live.push_back(live.back() + 1);
            at(x, y) = live.back();
            continue;
        }
        std::sort(collected.begin(), collected.end());
        const std::uint32_t smallest = collected.front();
        at(x, y) = smallest;
        for (std::uint32_t other : collected)
        {
            if (other == smallest)
                continue;
            // Pixels after this one in the scan are still 0, so the scan so far is the whole image.
            for (std::size_t j = 0; j <= k; ++j)
            {
                std::uint32_t& l = labels[scanIndex(j, width, height, columnMajor)];
                if (l == other)
                    l = smallest;
            }
            if (auto it = std::find(live.begin(), live.end(), other); it != live.end())
                live.erase(it);
        }
    }
    std::vector<std::uint32_t> table(live.back() + 1, 0);
    for (std::size_t i = 0; i < live.size(); ++i)
        table[live[i]] = static_cast<std::uint32_t>(i);
    for (std::uint32_t& l : labels)
        l = table[l];
    return {labels, static_cast<std::uint32_t>(live.size() - 1)};
}

std::vector<std::uint8_t> manyProvisionalLabels(bool columnMajor, int& width, int& height)
{
    const int lineLength = 600, lines = 480;
    width = columnMajor ? lines : lineLength;
    height = columnMajor ? lineLength : lines;
    std::vector<std::uint8_t> mask(static_cast<std::size_t>(width) * height, 0);
    auto set = [&](int along, int line) {
        mask[columnMajor ? static_cast<std::size_t>(along) * width + line
                         : static_cast<std::size_t>(line) * width + along] = 1;
    };
    std::mt19937 rng(7);
    for (int line = 0; line < 120; line += 3)
        for (int s = 0; s + 2 < lineLength; s += 4)
            if (rng() % 100 != 0)
            {
                set(s, line);
                set(s + 2, line);
                set(s + 1, line + 1);
            }
    for (int line = 120; line < lines; line += 2)
        for (int s = 0; s < lineLength; s += 2)
            set(s, line);
    return mask;
}

std::vector<std::uint8_t> randomMask(int width, int height, double density, std::uint32_t seed)
{
    std::mt19937 rng(seed);
    std::bernoulli_distribution set(density);
    std::vector<std::uint8_t> mask(static_cast<std::size_t>(width) * height);
    for (auto& m : mask)
        m = set(rng);
    return mask;
}

const std::vector<MaskShape>& maskShapes()
{
    static const std::vector<MaskShape> shapes = {
        {"pixel", 1, 1, 0.5},     {"row", 37, 1, 0.5},     {"column", 1, 41, 0.5},    {"square2", 2, 2, 0.6},
        {"small", 7, 5, 0.5},     {"word", 64, 9, 0.5},    {"wordPlus1", 65, 8, 0.6}, {"twoWords", 128, 6, 0.45},
        {"sparse", 40, 30, 0.15}, {"dense", 50, 40, 0.75}, {"wide", 130, 70, 0.55},
    };
    return shapes;
}

Image2D maskImage(const std::vector<std::uint8_t>& mask, int width, int height, Image2D::DataType type)
{
    return makeImage(width, height, type, std::vector<double>(mask.begin(), mask.end()));
}

std::vector<std::uint32_t> labelsOf(const Image2D& labels)
{
    std::vector<std::uint32_t> values;
    for (double v : pixels(labels))
        values.push_back(static_cast<std::uint32_t>(v));
    return values;
}

std::vector<std::uint8_t> positiveMask(const Image2D& image)
{
    std::vector<std::uint8_t> mask;
    for (double v : pixels(image))
        mask.push_back(v > 0 ? 1 : 0);
    return mask;
}

} // namespace testing_support
