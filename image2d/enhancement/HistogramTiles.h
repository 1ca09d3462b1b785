#pragma once

// The tile grid and the per-tile histogram steps of the adaptive histogram equalization;
// internal to HistogramEqualization.cpp.

#include <algorithm>
#include <cstdint>
#include <vector>

namespace image2d::hieq_detail {

/// Tile grid along one axis, plus for every position the two tiles it is interpolated
/// between (equal outside the first and last centre) and the weight of the second.
struct Axis
{
    int length = 0;
    int radius = 0;
    std::vector<int> centre;
    std::vector<int> first, second;
    std::vector<float> weight;

    int tiles() const { return static_cast<int>(centre.size()); }
    int begin(int i) const { return centre[i] - radius; }
    int end(int i) const { return std::min(centre[i] + radius, length - 1); } // inclusive
};

/// Tiles of radius r every `step` pixels along an axis of `length`, the last one ending at the edge.
Axis makeAxis(int length, long long r, long long step);

/// Clips and redistributes one tile histogram (float bins in `c`). Bins outside
/// [binLo, binHi] are known to be empty, so the clipping scan may skip them.
void clipHistogram(const std::uint32_t* counts, long long pixels, int bins, float factor, int binLo, int binHi,
                   float* c);

/// Replaces the bins of up to four tiles by their running sums divided by the final sum.
/// The tiles are cumulated side by side only to overlap their (sequential) float sums.
void cumulateTiles(float* const* c, int tiles, int bins);

} // namespace image2d::hieq_detail
