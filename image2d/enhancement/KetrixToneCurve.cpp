// The tone curve of the acquisition enhancement: a quadratic entry piece, a straight line and
// a quadratic exit piece, in integer output units.
#include "image2d/enhancement/Ketrix.h"

#include "image2d/framework/PixelStore.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace image2d::ketrix_detail {

namespace {

// Writes entry x, kept within the table and the value within [0, maximum].
void put(Table& table, std::int64_t x, double value, int maximum)
{
    if (x < 0 || x > maximum)
        return;
    table[static_cast<std::size_t>(x)] =
        static_cast<std::uint16_t>(store::clampNanToLow(value, 0.0, static_cast<double>(maximum)));
}

void straight(Table& table, int x0, int y0, int x1, int y1, int maximum)
{
    put(table, x0, y0, maximum);
    const std::int64_t n = x1 - x0, e = y1 - y0;
    for (std::int64_t x = x0 + 1; x <= x1; ++x)
        put(table, x, static_cast<double>(y0 + (x - x0) * e / n), maximum);
}

void piece(Table& table, int x0, int y0, int x1, int y1, int cx, int cy, bool entry, int maximum, bool mayInvert)
{
    put(table, x1, y1, maximum);
    const int n = x1 - x0, e = y1 - y0;
    if (n <= 2 || (cx == x0 && cy == y0) || (cx == x1 && cy == y1))
        return straight(table, x0, y0, x1, y1, maximum);
    const int c = std::clamp(cx, x0 + 1, x1 - 1);
    const double s0 = static_cast<double>(cy - y0) / (c - x0), s1 = static_cast<double>(y1 - cy) / (x1 - c);
    const double nn = static_cast<double>(n) * n;
    if (entry && (std::abs(s0) >= std::abs(s1) || !mayInvert))
    {
        for (int i = 0; i < n; ++i)
            put(table, x0 + i, std::trunc(y0 + (n * s1 - e) * i * i / nn + (2.0 * e - n * s1) * i / n), maximum);
        return;
    }
    if (!entry && (std::abs(s1) >= std::abs(s0) || !mayInvert))
    {
        for (int i = 0; i < n; ++i)
            put(table, x0 + i, std::trunc(y0 + (e - n * s0) * i * i / nn + n * s0 * i / n), maximum);
        return;
    }
    // Too steep to draw as a function of x: draw x as a function of y, then read it back.
    // Entries no rising pair of samples reaches keep the straight line.
    straight(table, x0, y0, x1, y1, maximum);
    Table scratch(table.size(), 0);
    piece(scratch, y0, x0, y1, x1, cy, c, entry, maximum, false);
    for (int y = y0 + 1; y <= y1; ++y)
    {
        const int a = scratch[y - 1], b = scratch[y];
        if (a >= b)
            continue;
        for (int x = std::max(a, x0); x <= std::min(b, x1); ++x)
            put(table, x, (y - 1) + (x - a) / (b - a), maximum);
    }
}

} // namespace

void quadraticPiece(Table& table, int x0, int y0, int x1, int y1, int cx, int cy, bool entry, int maximum)
{
    piece(table, x0, y0, x1, y1, cx, cy, entry, maximum, true);
}

Table toneCurve(const ControlPoints& p, const Scale& scale)
{
    const int m = scale.maximum;
    if (p.ya > p.yc)
    {
        // The falling curve is the rising one through the mirrored points, turned upside down.
        Table curve = toneCurve(ControlPoints{p.xa, m - p.ya, p.xc, m - p.yc}, scale);
        for (std::uint16_t& k : curve)
            k = static_cast<std::uint16_t>(m - k);
        return curve;
    }
    Table curve(static_cast<std::size_t>(scale.tableSize), 0);
    const int dx = (p.xc - p.xa) / 4, dy = (p.yc - p.ya) / 4;
    const int p1x = p.xa + dx, p1y = p.ya + dy, p2x = p.xc - dx, p2y = p.yc - dy;
    quadraticPiece(curve, 0, 0, p1x, p1y, p.xa, p.ya, true, m);
    put(curve, p1x, p1y, m);
    for (std::int64_t x = p1x + 1; x <= p2x; ++x)
        put(curve, x, static_cast<double>(p1y + (x - p1x) * (p2y - p1y) / (p2x - p1x)), m);
    quadraticPiece(curve, p2x, p2y, m, m, p.xc, p.yc, false, m);
    return curve;
}

} // namespace image2d::ketrix_detail
