#pragma once

// The 8-connected components of a byte mask, found the fast way: the set pixels of each row
// are cut into runs, each run is joined to the runs it touches in the row above through a
// union-find over 32-bit provisional labels, and a last pass numbers the components in the
// order a chosen scan first meets them. Every labelling of the library is built on it.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace image2d {

/// The scan whose first encounters number the components 1 ... N.
enum class ScanOrder
{
    RowMajor,    ///< rows top to bottom, each row left to right
    ColumnMajor, ///< columns left to right, each column top to bottom
};

/// The components of one mask as horizontal runs, each carrying its component number.
class ComponentRuns
{
public:
    /// Pixels [x0, x1) of row y, all in component `component` (1 ... count()).
    struct Run
    {
        int x0;
        int x1;
        std::uint32_t component;
    };

    /// Finds the 8-connected components of the pixels of `mask` (width x height bytes, rows
    /// packed) that are non-zero, or zero when `zeroIsSet`, numbered in `order`. Runs on the
    /// calling thread; false only when memory runs out.
    bool find(const std::uint8_t* mask, int width, int height, bool zeroIsSet, ScanOrder order);

    /// Number of components N.
    std::uint32_t count() const { return m_count; }
    int width() const { return m_width; }
    int height() const { return m_height; }
    /// The runs of row y: runs()[rowBegin(y)] ... runs()[rowBegin(y + 1) - 1], left to right.
    const std::vector<Run>& runs() const { return m_runs; }
    std::size_t rowBegin(int y) const { return m_rowBegin[static_cast<std::size_t>(y)]; }

    /// Pixels per component, indexed by number (entry 0, the pixels outside every run, is
    /// the rest of the image).
    const std::vector<std::uint64_t>& sizes() const { return m_sizes; }
    /// Writes each run's component number into a packed width x height buffer of 16-bit
    /// labels that holds 0 everywhere. Only for count() <= 65535.
    void writeLabels(std::uint16_t* labels) const;

private:
    std::uint32_t newLabel();
    std::uint32_t unite(std::uint32_t a, std::uint32_t b);
    void numberComponents(ScanOrder order);

    int m_width = 0;
    int m_height = 0;
    std::uint32_t m_count = 0;
    std::vector<Run> m_runs;               // `component` holds the provisional label until numbered
    std::vector<std::size_t> m_rowBegin;   // height + 1 offsets into m_runs
    std::vector<std::uint32_t> m_parent;   // union-find forest over the provisional labels
    std::vector<std::uint64_t> m_firstPixel; // per label: smallest x * height + y of its runs
    std::vector<std::uint64_t> m_sizes;
};

} // namespace image2d
