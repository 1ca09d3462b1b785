#include "image2d/enhancement/HistogramTiles.h"

#include <algorithm>

namespace image2d::hieq_detail {

namespace {

// A float bin that is incremented by 1.0 stops growing at 2^24; counts are kept as
// integers and saturated there, which gives the same floats as adding one by one.
constexpr std::uint32_t kFloatCountLimit = 1u << 24;

} // namespace

Axis makeAxis(int length, long long r, long long step)
{
    Axis axis;
    axis.length = length;
    const long long tile = 2 * r + 1;
    const long long n = length <= tile ? 1 : (length - tile - 1 + 2 * step) / step;
    const long long last = (length > tile && n != 1) ? length - r - 1 : r;
    // A radius beyond the axis only matters through the clipped window: keep r <= length.
    axis.radius = static_cast<int>(std::min<long long>(r, length));
    axis.centre.resize(static_cast<std::size_t>(n));
    for (long long i = 0; i < n; ++i)
        axis.centre[i] = static_cast<int>(std::min(i * step + r, last) - r + axis.radius);
    axis.first.assign(length, 0);
    axis.second.assign(length, 0);
    axis.weight.assign(length, 0.0f);
    const long long firstCentre = std::min(r, last);
    for (int p = 0; p < length; ++p)
    {
        if (p <= firstCentre)
            continue;
        axis.first[p] = axis.second[p] = static_cast<int>(n - 1);
    }
    for (int k = 1; k < n; ++k)
    {
        const int from = axis.centre[k - 1], to = axis.centre[k];
        const float increment = 1.0f / static_cast<float>(to - from);
        float w = increment;
        for (int p = from + 1; p <= to; ++p, w += increment)
        {
            axis.first[p] = k - 1;
            axis.second[p] = k;
            axis.weight[p] = w;
        }
    }
    return axis;
}

/// Clips and redistributes one tile histogram (float bins in `c`). Bins outside
/// [binLo, binHi] are known to be empty, so the clipping scan may skip them.
void clipHistogram(const std::uint32_t* counts, long long pixels, int bins, float factor, int binLo, int binHi,
                   float* c)
{
    float total = 0.0f;
    if (pixels <= static_cast<long long>(kFloatCountLimit))
    {
        // Integer-valued partial sums below 2^24 are exact, so the total is the pixel count.
        for (int b = 0; b < bins; ++b)
            c[b] = static_cast<float>(counts[b]);
        total = static_cast<float>(pixels);
    }
    else
    {
        for (int b = 0; b < bins; ++b)
        {
            c[b] = static_cast<float>(std::min(counts[b], kFloatCountLimit));
            total += c[b];
        }
    }
    const float mean = total / static_cast<float>(bins);
    const float limit = mean + (total - mean) * factor;
    // limit >= mean > 0: empty bins are never clipped.
    float excess = 0.0f;
    for (int b = binLo; b <= binHi; ++b)
        if (c[b] > limit)
        {
            excess += c[b] - limit;
            c[b] = limit;
        }
    const float spread = excess / static_cast<float>(bins);
    for (int b = 0; b < bins; ++b)
        c[b] += spread;
    // A large uniform background must not stretch the rest.
    c[0] = std::min(c[0], 1.0f);
    c[bins - 1] = std::min(c[bins - 1], 1.0f);
}

/// Replaces the bins of up to four tiles by their running sums divided by the final sum.
/// The tiles are cumulated side by side only to overlap their (sequential) float sums.
void cumulateTiles(float* const* c, int tiles, int bins)
{
    float s0 = 0.0f, s1 = 0.0f, s2 = 0.0f, s3 = 0.0f;
    float* c0 = c[0];
    float* c1 = tiles > 1 ? c[1] : c[0];
    float* c2 = tiles > 2 ? c[2] : c[0];
    float* c3 = tiles > 3 ? c[3] : c[0];
    if (tiles == 4)
        for (int b = 0; b < bins; ++b)
        {
            s0 += c0[b];
            c0[b] = s0;
            s1 += c1[b];
            c1[b] = s1;
            s2 += c2[b];
            c2[b] = s2;
            s3 += c3[b];
            c3[b] = s3;
        }
    else
        for (int t = 0; t < tiles; ++t)
        {
            float sum = 0.0f;
            for (int b = 0; b < bins; ++b)
            {
                sum += c[t][b];
                c[t][b] = sum;
            }
        }
    for (int t = 0; t < tiles; ++t)
    {
        const float sum = c[t][bins - 1];
        for (int b = 0; b < bins; ++b)
            c[t][b] /= sum;
    }
}

} // namespace image2d::hieq_detail
