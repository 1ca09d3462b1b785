#include "image2d/analysis/Skeletonization.h"

#include "image2d/framework/Core.h"

#include <algorithm>
#include <cstdint>
#include <vector>

namespace image2d {

namespace {

// First non-zero pixel from the bottom row upwards, each row left to right; (-1, -1) for none.
QPoint skeletonStart(const Image2D& skeleton)
{
    if (!skeleton.isValid() || skeleton.getDataTypeSize() != 1)
        return QPoint(-1, -1);
    const int width = skeleton.getWidth();
    const std::uint8_t* pixels = skeleton.getConstData<std::uint8_t>();
    for (int y = skeleton.getHeight() - 1; y >= 0; --y)
    {
        const std::uint8_t* row = pixels + pixelIndex(0, y, width);
        const std::uint8_t* set = std::find_if(row, row + width, [](std::uint8_t v) { return v != 0; });
        if (set != row + width)
            return QPoint(static_cast<int>(set - row), y);
    }
    return QPoint(-1, -1);
}

// Breadth-first walk from `start` that clears each pixel as it reaches it. All paths of one
// step count grow together: the frontier is kept in the order in which its pixels were reached
// (by frontier pixel, then by neighbour), each pixel is reached from the first frontier pixel
// next to it, and the answer is the path to the first pixel of the last frontier. That is
// the path the grow-all-paths-and-keep-the-first-per-end-point search finds, at the cost of one
// parent link per pixel instead of one path copy per branch.
QList<QPoint> longestPathFrom(Image2D& skeleton, QPoint start)
{
    const int width = skeleton.getWidth(), height = skeleton.getHeight();
    std::uint8_t* pixels = skeleton.getData<std::uint8_t>();
    struct Reached
    {
        int x, y;
        int from; // index of the frontier pixel it was reached from, -1 for the start
    };
    std::vector<Reached> reached{{start.x(), start.y(), -1}};
    pixels[pixelIndex(start.x(), start.y(), width)] = 0;
    std::size_t frontier = 0;
    for (;;)
    {
        const std::size_t frontierEnd = reached.size();
        for (std::size_t i = frontier; i < frontierEnd; ++i)
        {
            const int x = reached[i].x, y = reached[i].y;
            for (int nx = x - 1; nx <= x + 1; ++nx)
                for (int ny = y - 1; ny <= y + 1; ++ny)
                    if (nx >= 0 && nx < width && ny >= 0 && ny < height && pixels[pixelIndex(nx, ny, width)] != 0)
                    {
                        pixels[pixelIndex(nx, ny, width)] = 0;
                        reached.push_back({nx, ny, static_cast<int>(i)});
                    }
        }
        if (reached.size() == frontierEnd)
            break;
        frontier = frontierEnd;
    }
    QList<QPoint> path;
    for (int i = static_cast<int>(frontier); i >= 0; i = reached[static_cast<std::size_t>(i)].from)
        path.append(QPoint(reached[static_cast<std::size_t>(i)].x, reached[static_cast<std::size_t>(i)].y));
    std::reverse(path.begin(), path.end());
    return path;
}

} // namespace

QList<QPoint> longestPath(Image2D& skeleton)
{
    const QPoint start = skeletonStart(skeleton);
    if (start.x() < 0)
        return {};
    return longestPathFrom(skeleton, start);
}

} // namespace image2d

// ---- Image2DLongestPath ------------------------------------------------------------------------

bool Image2DLongestPath::setInput(Image2D* input)
{
    if (!image2d::skeleton_detail::isBinaryInput(input))
        return false;
    m_input = input;
    return true;
}

bool Image2DLongestPath::setOutput(QList<QPoint>* output)
{
    if (!output)
        return false;
    m_output = output;
    return true;
}

bool Image2DLongestPath::execute()
{
    if (!m_input || !m_output)
        return false;
    const QPoint start = findStart();
    return start.x() >= 0 && startSearching(start, m_output);
}

QPoint Image2DLongestPath::findStart()
{
    return m_input ? image2d::skeletonStart(*m_input) : QPoint(-1, -1);
}

bool Image2DLongestPath::startSearching(QPoint start, QList<QPoint>* output)
{
    if (!m_input || !output || !m_input->isValid() || m_input->getDataTypeSize() != 1 || start.x() < 0 ||
        start.y() < 0 || start.x() >= m_input->getWidth() || start.y() >= m_input->getHeight())
        return false;
    output->append(image2d::longestPathFrom(*m_input, start));
    return true;
}
