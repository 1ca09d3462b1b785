#include "image2d/enhancement/StarkAdaptiveHistogramEqualization.h"
#include "image2d/enhancement/StarkWindowHistograms.h"

#include "image2d/framework/Log.h"
#include "image2d/framework/Parallel.h"

#include "image2d/framework/Simd.h"

#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#endif
#if IMAGE2D_HAS_WIDE_TARGET
#include <immintrin.h>
#endif

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <memory>
#include <type_traits>
#include <vector>

namespace image2d {

const QString StarkAdaptiveHistogramEqualization::FILTER_ID = QStringLiteral("Stark");
const QString StarkAdaptiveHistogramEqualization::ALPHA_VALUE = QStringLiteral("alphaValue");
const QString StarkAdaptiveHistogramEqualization::BETA_VALUE = QStringLiteral("betaValue");
const QString StarkAdaptiveHistogramEqualization::RADIUS_VALUE = QStringLiteral("radiusValue");

namespace {

using stark_detail::FloatHistogram;
using stark_detail::IntegerHistogram;
using stark_detail::Occupancy;
using stark_detail::QuadIntegerHistogram;

const char* const kOwner = "image2d::StarkAdaptiveHistogramEqualization";

constexpr int kLevels = 65536;

/// One step of the sampled cumulation function: its value and the difference to the next
/// sample, so an interpolation reads one pair.
struct Step
{
    double value, slope;
};

/// Cumulation function sampled at kLevels + 1 points of d in [-1, 1]:
/// 1/2 sign(d) |2d|^alpha - beta d.
std::vector<Step> cumulationTable(double alpha, double beta)
{
    std::vector<double> table(kLevels + 1);
    for (int k = 0; k <= kLevels; ++k)
    {
        const double d = k * (2.0 / 65535.0) - 1.0;
        const double b = std::fabs(2.0 * d);
        const double sign = d > 0.0 ? 1.0 : (d < 0.0 ? -1.0 : 0.0);
        // pow is exact for these exponents; the shortcut saves most of the table's cost.
        const double power = alpha == 1.0 ? b : (alpha == 0.0 ? 1.0 : std::pow(b, alpha));
        table[k] = (power - beta * b) * sign * 0.5;
    }
    std::vector<Step> steps(kLevels);
    for (int k = 0; k < kLevels; ++k)
        steps[k] = {table[k], table[k + 1] - table[k]};
    return steps;
}

struct Context
{
    const std::vector<Step>& table;
    double beta, lo, hi;
    bool clampIndex; // only BINARY images can hold values outside [lo, hi]
    long long radius;
    int width, height;
};

/// Output value of a pixel of normalised value np over the current window.
template <typename Histogram>
double windowOutput(const Context& c, const Histogram& h, double np)
{
    const Step* table = c.table.data();
    const double npBeta = np * c.beta;
    double sum = 0.0;
    auto add = [&](double n, double count, auto clamp) {
        const double delta = np - n;
        double x = (delta + 1.0) * 0.5 * 65535.0;
        if constexpr (decltype(clamp)::value)
        {
            if (!(x > 0.0))
                x = 0.0;
            else if (x > 65535.0)
                x = 65535.0;
        }
        // Values within [lo, hi] give x in [0, 65535]; x = 65535 has f = 0 and uses the last step.
        const int i = std::min(static_cast<int>(x), kLevels - 1);
        const double f = x - i;
        const double q = table[i].value + f * table[i].slope;
        sum += count * (q + npBeta);
    };
    if (c.clampIndex)
        h.forEachEntry([&](double n, double count) { add(n, count, std::true_type{}); });
    else
        h.forEachEntry([&](double n, double count) { add(n, count, std::false_type{}); });
    return (sum / static_cast<double>(h.total()) + 0.5) * (c.hi - c.lo) + c.lo;
}

/// Outputs of two pixels over their two windows (the same column of neighbouring rows) in
/// one walk over the union of entries. Each sum still runs over its own entries in ascending
/// order: an entry missing from one window adds 0 * q, which leaves that sum unchanged. Two
/// independent sums keep the adder busy instead of waiting on one chain.
template <typename Histogram>
void windowOutputPair(const Context& c, const Histogram& ha, const Histogram& hb, double npa, double npb,
                      double& outa, double& outb)
{
    const Step* table = c.table.data();
    const double npaBeta = npa * c.beta, npbBeta = npb * c.beta;
    double suma = 0.0, sumb = 0.0;
    auto term = [&](double np, double n, double npBeta, double count, auto clamp) {
        const double delta = np - n;
        double x = (delta + 1.0) * 0.5 * 65535.0;
        if constexpr (decltype(clamp)::value)
        {
            if (!(x > 0.0))
                x = 0.0;
            else if (x > 65535.0)
                x = 65535.0;
        }
        const int i = std::min(static_cast<int>(x), kLevels - 1);
        const double f = x - i;
        const double q = table[i].value + f * table[i].slope;
        return count * (q + npBeta);
    };
    auto walk = [&](auto clamp) {
        Occupancy::forEachUnion(ha.occupancy(), hb.occupancy(), [&](std::size_t i) {
            suma += term(npa, ha.normalisedAt(i), npaBeta, ha.countAt(i), clamp);
            sumb += term(npb, hb.normalisedAt(i), npbBeta, hb.countAt(i), clamp);
        });
    };
    if (c.clampIndex)
        walk(std::true_type{});
    else
    {
#if defined(__SSE2__) || defined(_M_X64)
        // The two pixels as the two lanes of one register: the same operations in the same
        // order per lane, so each sum is bit-identical to the scalar walk above.
        const __m128d np = _mm_set_pd(npb, npa);
        const __m128d npBeta = _mm_set_pd(npbBeta, npaBeta);
        const __m128d one = _mm_set1_pd(1.0), half = _mm_set1_pd(0.5), levels = _mm_set1_pd(65535.0);
        __m128d sum = _mm_setzero_pd();
        Occupancy::forEachUnion(ha.occupancy(), hb.occupancy(), [&](std::size_t i) {
            __m128d n;
            if constexpr (Histogram::kSharedNormalised)
                n = _mm_load1_pd(&ha.normalisedRef(i));
            else
                n = _mm_set_pd(hb.normalisedAt(i), ha.normalisedAt(i));
            const __m128d count = _mm_set_pd(hb.countAt(i), ha.countAt(i));
            const __m128d x = _mm_mul_pd(_mm_mul_pd(_mm_add_pd(_mm_sub_pd(np, n), one), half), levels);
            // x lies in [0, 65535] for values within [lo, hi]: truncation is the floor.
            const __m128i index = _mm_cvttpd_epi32(x);
            const __m128d f = _mm_sub_pd(x, _mm_cvtepi32_pd(index));
            const __m128d stepa = _mm_loadu_pd(&table[_mm_cvtsi128_si32(index)].value);
            const __m128d stepb = _mm_loadu_pd(&table[_mm_cvtsi128_si32(_mm_shuffle_epi32(index, 1))].value);
            const __m128d value = _mm_unpacklo_pd(stepa, stepb);
            const __m128d slope = _mm_unpackhi_pd(stepa, stepb);
            const __m128d q = _mm_add_pd(value, _mm_mul_pd(f, slope));
            sum = _mm_add_pd(sum, _mm_mul_pd(count, _mm_add_pd(q, npBeta)));
        });
        suma = _mm_cvtsd_f64(sum);
        sumb = _mm_cvtsd_f64(_mm_unpackhi_pd(sum, sum));
#else
        walk(std::false_type{});
#endif
    }
    outa = (suma / static_cast<double>(ha.total()) + 0.5) * (c.hi - c.lo) + c.lo;
    outb = (sumb / static_cast<double>(hb.total()) + 0.5) * (c.hi - c.lo) + c.lo;
}

#if IMAGE2D_HAS_WIDE_TARGET
/// One entry's term count * (q + np beta) for four pixels as the four lanes of one AVX2
/// register: per lane the operations of windowOutputPair's walk. Values must lie within
/// [lo, hi] (no clamped index).
IMAGE2D_WIDE_TARGET IMAGE2D_INLINE_LOOP __m256d quadTerm(const Step* table, __m256d np, __m256d n, __m256d count,
                                                         __m256d npBeta)
{
    const __m256d one = _mm256_set1_pd(1.0), half = _mm256_set1_pd(0.5), levels = _mm256_set1_pd(65535.0);
    const __m256d x = _mm256_mul_pd(_mm256_mul_pd(_mm256_add_pd(_mm256_sub_pd(np, n), one), half), levels);
    // x lies in [0, 65535]: truncation is the floor, and 65535 has f = 0.
    const __m128i index = _mm256_cvttpd_epi32(x);
    const __m256d f = _mm256_sub_pd(x, _mm256_cvtepi32_pd(index));
    const __m128d s0 = _mm_loadu_pd(&table[_mm_cvtsi128_si32(index)].value);
    const __m128d s1 = _mm_loadu_pd(&table[_mm_extract_epi32(index, 1)].value);
    const __m128d s2 = _mm_loadu_pd(&table[_mm_extract_epi32(index, 2)].value);
    const __m128d s3 = _mm_loadu_pd(&table[_mm_extract_epi32(index, 3)].value);
    const __m256d even = _mm256_insertf128_pd(_mm256_castpd128_pd256(s0), s2, 1); // v0 d0 v2 d2
    const __m256d odd = _mm256_insertf128_pd(_mm256_castpd128_pd256(s1), s3, 1);  // v1 d1 v3 d3
    const __m256d q = _mm256_add_pd(_mm256_unpacklo_pd(even, odd), _mm256_mul_pd(f, _mm256_unpackhi_pd(even, odd)));
    return _mm256_mul_pd(count, _mm256_add_pd(q, npBeta));
}

/// Visits the entries occupied in any of `sets` in ascending order, inside the wide code.
template <std::size_t N, typename F>
IMAGE2D_WIDE_TARGET IMAGE2D_INLINE_LOOP void forEachOccupied(const Occupancy* const (&sets)[N], F&& f)
{
    const std::size_t summarySize = sets[0]->summarySize();
    for (std::size_t s = 0; s < summarySize; ++s)
    {
        std::uint64_t summary = 0;
        for (const Occupancy* set : sets)
            summary |= set->summary()[s];
        for (std::uint64_t bits = summary; bits; bits &= bits - 1)
        {
            const std::size_t w = s * 64 + static_cast<std::size_t>(std::countr_zero(bits));
            std::uint64_t word = 0;
            for (const Occupancy* set : sets)
                word |= set->words()[w];
            for (; word; word &= word - 1)
                f(w * 64 + static_cast<std::size_t>(std::countr_zero(word)));
        }
    }
}

/// Outputs of four pixels over their four windows (the same column of four neighbouring rows)
/// in one walk over the union of their entries, in ascending order; an entry missing from a
/// window adds 0 to its sum.
template <typename Histogram>
IMAGE2D_WIDE_TARGET void windowOutputQuad(const Context& c, const Histogram* const (&h)[4], const double (&np)[4],
                                          double (&out)[4])
{
    const __m256d vnp = _mm256_set_pd(np[3], np[2], np[1], np[0]);
    const __m256d npBeta = _mm256_mul_pd(vnp, _mm256_set1_pd(c.beta));
    __m256d sum = _mm256_setzero_pd();
    const Occupancy* const sets[4] = {&h[0]->occupancy(), &h[1]->occupancy(), &h[2]->occupancy(), &h[3]->occupancy()};
    forEachOccupied(sets, [&](std::size_t i) IMAGE2D_INLINE_LAMBDA IMAGE2D_WIDE_TARGET {
        __m256d n;
        if constexpr (Histogram::kSharedNormalised)
            n = _mm256_broadcast_sd(&h[0]->normalisedRef(i));
        else
            n = _mm256_set_pd(h[3]->normalisedAt(i), h[2]->normalisedAt(i), h[1]->normalisedAt(i),
                              h[0]->normalisedAt(i));
        const __m256d count = _mm256_set_pd(h[3]->countAt(i), h[2]->countAt(i), h[1]->countAt(i), h[0]->countAt(i));
        sum = _mm256_add_pd(sum, quadTerm(c.table.data(), vnp, n, count, npBeta));
    });
    double sums[4];
    _mm256_storeu_pd(sums, sum);
    for (int k = 0; k < 4; ++k)
        out[k] = (sums[k] / static_cast<double>(h[k]->total()) + 0.5) * (c.hi - c.lo) + c.lo;
}

/// As windowOutputQuad, from the shared and own counts of a QuadIntegerHistogram.
template <typename T>
IMAGE2D_WIDE_TARGET void windowOutputQuad(const Context& c, const QuadIntegerHistogram<T>& h, const double (&np)[4],
                                          double (&out)[4])
{
    const __m256d vnp = _mm256_set_pd(np[3], np[2], np[1], np[0]);
    const __m256d npBeta = _mm256_mul_pd(vnp, _mm256_set1_pd(c.beta));
    __m256d sum = _mm256_setzero_pd();
    const Occupancy* const sets[1] = {&h.occupancy()};
    forEachOccupied(sets, [&](std::size_t i) IMAGE2D_INLINE_LAMBDA IMAGE2D_WIDE_TARGET {
        // Whole numbers: shared + own is exactly the window's own count.
        const __m256d count = _mm256_add_pd(_mm256_broadcast_sd(&h.sharedRef(i)), _mm256_loadu_pd(h.ownAt(i)));
        sum = _mm256_add_pd(sum, quadTerm(c.table.data(), vnp, _mm256_broadcast_sd(&h.normalisedRef(i)), count, npBeta));
    });
    double sums[4];
    _mm256_storeu_pd(sums, sum);
    for (int k = 0; k < 4; ++k)
        out[k] = (sums[k] / static_cast<double>(h.total(k)) + 0.5) * (c.hi - c.lo) + c.lo;
}
#endif

template <typename Histogram, typename T>
double pixelOutput(const Context& c, const Histogram& h, T v)
{
    if constexpr (std::is_floating_point_v<T>)
        if (std::isnan(v))
            return std::numeric_limits<double>::quiet_NaN();
    return windowOutput(c, h, h.normalised(v));
}

template <typename T, typename Histogram>
void processRow(const Context& c, const T* in, T* out, int y, Histogram& h)
{
    const long long r = c.radius, width = c.width;
    const int y0 = static_cast<int>(std::max<long long>(y - r, 0));
    const int y1 = static_cast<int>(std::min<long long>(y + r, c.height - 1));
    auto addColumn = [&](long long x) {
        for (int yy = y0; yy <= y1; ++yy)
            h.add(in[static_cast<std::size_t>(yy) * width + x]);
    };
    auto removeColumn = [&](long long x) {
        for (int yy = y0; yy <= y1; ++yy)
            h.remove(in[static_cast<std::size_t>(yy) * width + x]);
    };
    const T* row = in + static_cast<std::size_t>(y) * width;
    T* outRow = out + static_cast<std::size_t>(y) * width;
    const long long firstEnd = std::min(r, width - 1);
    for (long long x = 0; x <= firstEnd; ++x)
        addColumn(x);
    outRow[0] = store::truncateWrap64<T>(pixelOutput(c, h, row[0]));
    for (long long x = 1; x < width; ++x)
    {
        if (x - r > 0)
            removeColumn(x - r - 1);
        if (x + r < width)
            addColumn(x + r);
        outRow[x] = store::truncateWrap64<T>(pixelOutput(c, h, row[x]));
    }
    h.clear();
}

/// Rows y and y + 1 slid side by side, each with its own histogram and window.
template <typename T, typename Histogram>
void processRowPair(const Context& c, const T* in, T* out, int y, Histogram& ha, Histogram& hb)
{
    const long long r = c.radius, width = c.width;
    const int a0 = static_cast<int>(std::max<long long>(y - r, 0));
    const int a1 = static_cast<int>(std::min<long long>(y + r, c.height - 1));
    const int b0 = static_cast<int>(std::max<long long>(y + 1 - r, 0));
    const int b1 = static_cast<int>(std::min<long long>(y + 1 + r, c.height - 1));
    auto addColumn = [&](long long x) {
        for (int yy = a0; yy <= a1; ++yy)
            ha.add(in[static_cast<std::size_t>(yy) * width + x]);
        for (int yy = b0; yy <= b1; ++yy)
            hb.add(in[static_cast<std::size_t>(yy) * width + x]);
    };
    auto removeColumn = [&](long long x) {
        for (int yy = a0; yy <= a1; ++yy)
            ha.remove(in[static_cast<std::size_t>(yy) * width + x]);
        for (int yy = b0; yy <= b1; ++yy)
            hb.remove(in[static_cast<std::size_t>(yy) * width + x]);
    };
    const T* rowa = in + static_cast<std::size_t>(y) * width;
    const T* rowb = rowa + width;
    T* outa = out + static_cast<std::size_t>(y) * width;
    T* outb = outa + width;
    auto outputs = [&](long long x) {
        const T va = rowa[x], vb = rowb[x];
        if constexpr (std::is_floating_point_v<T>)
            if (std::isnan(va) || std::isnan(vb))
            {
                outa[x] = store::truncateWrap64<T>(pixelOutput(c, ha, va));
                outb[x] = store::truncateWrap64<T>(pixelOutput(c, hb, vb));
                return;
            }
        double a = 0.0, b = 0.0;
        windowOutputPair(c, ha, hb, ha.normalised(va), hb.normalised(vb), a, b);
        outa[x] = store::truncateWrap64<T>(a);
        outb[x] = store::truncateWrap64<T>(b);
    };
    const long long firstEnd = std::min(r, width - 1);
    for (long long x = 0; x <= firstEnd; ++x)
        addColumn(x);
    outputs(0);
    for (long long x = 1; x < width; ++x)
    {
        if (x - r > 0)
            removeColumn(x - r - 1);
        if (x + r < width)
            addColumn(x + r);
        outputs(x);
    }
    ha.clear();
    hb.clear();
}

#if IMAGE2D_HAS_WIDE_TARGET
/// Rows of the windows of rows y to y + 3: those all four hold ([shared0, shared1], empty for
/// radii below 2) and each window's own rows, up to two runs per window.
struct QuadRows
{
    int shared0, shared1;
    int own[4][2][2]; // window, run, first/last (inclusive; first > last when empty)

    QuadRows(const Context& c, int y)
    {
        const long long r = c.radius;
        int top[4], bottom[4];
        for (int k = 0; k < 4; ++k)
        {
            top[k] = static_cast<int>(std::max<long long>(y + k - r, 0));
            bottom[k] = static_cast<int>(std::min<long long>(y + k + r, c.height - 1));
        }
        shared0 = top[3];
        shared1 = bottom[0];
        for (int k = 0; k < 4; ++k)
            if (shared0 <= shared1)
            {
                own[k][0][0] = top[k];
                own[k][0][1] = shared0 - 1;
                own[k][1][0] = shared1 + 1;
                own[k][1][1] = bottom[k];
            }
            else
            {
                own[k][0][0] = top[k];
                own[k][0][1] = bottom[k];
                own[k][1][0] = 1;
                own[k][1][1] = 0;
            }
    }
};

/// Rows y to y + 3 slid side by side. `slide(add, x)` enters (add) or leaves column x of every
/// window, `outputs(x)` writes the four outputs of column x.
template <typename Slide, typename Outputs, typename Clear>
IMAGE2D_WIDE_TARGET IMAGE2D_INLINE_LOOP void slideQuad(const Context& c, Slide&& slide, Outputs&& outputs,
                                                       Clear&& clear)
{
    const long long r = c.radius, width = c.width;
    const long long firstEnd = std::min(r, width - 1);
    for (long long x = 0; x <= firstEnd; ++x)
        slide(true, x);
    outputs(0);
    for (long long x = 1; x < width; ++x)
    {
        if (x - r > 0)
            slide(false, x - r - 1);
        if (x + r < width)
            slide(true, x + r);
        outputs(x);
    }
    clear();
}

/// Four rows of integer pixels through one QuadIntegerHistogram.
template <typename T>
IMAGE2D_WIDE_TARGET void processRowQuad(const Context& c, const T* in, T* out, int y, QuadIntegerHistogram<T>& h)
{
    const std::size_t width = static_cast<std::size_t>(c.width);
    const QuadRows rows(c, y);
    slideQuad(
        c,
        [&](bool add, long long x) IMAGE2D_INLINE_LAMBDA {
            const T* column = in + x;
            for (int yy = rows.shared0; yy <= rows.shared1; ++yy)
                add ? h.addShared(column[yy * width]) : h.removeShared(column[yy * width]);
            for (int k = 0; k < 4; ++k)
                for (const auto& run : rows.own[k])
                    for (int yy = run[0]; yy <= run[1]; ++yy)
                        add ? h.addOwn(k, column[yy * width]) : h.removeOwn(k, column[yy * width]);
        },
        [&](long long x) IMAGE2D_INLINE_LAMBDA IMAGE2D_WIDE_TARGET {
            double np[4], result[4];
            for (int k = 0; k < 4; ++k)
                np[k] = h.normalised(in[(y + k) * width + x]);
            windowOutputQuad(c, h, np, result);
            for (int k = 0; k < 4; ++k)
                out[(y + k) * width + x] = store::truncateWrap64<T>(result[k]);
        },
        [&] { h.clear(); });
}

/// Four rows of float pixels, each with its own histogram (an entry keeps the value of the
/// pixel that opened it in that window).
template <typename Histogram>
IMAGE2D_WIDE_TARGET void processRowQuad(const Context& c, const float* in, float* out, int y,
                                        Histogram* const (&h)[4])
{
    const std::size_t width = static_cast<std::size_t>(c.width);
    int top[4], bottom[4];
    for (int k = 0; k < 4; ++k)
    {
        top[k] = static_cast<int>(std::max<long long>(y + k - c.radius, 0));
        bottom[k] = static_cast<int>(std::min<long long>(y + k + c.radius, c.height - 1));
    }
    const Histogram* const windows[4] = {h[0], h[1], h[2], h[3]};
    slideQuad(
        c,
        [&](bool add, long long x) IMAGE2D_INLINE_LAMBDA {
            for (int k = 0; k < 4; ++k)
                for (int yy = top[k]; yy <= bottom[k]; ++yy)
                    add ? h[k]->add(in[yy * width + x]) : h[k]->remove(in[yy * width + x]);
        },
        [&](long long x) IMAGE2D_INLINE_LAMBDA IMAGE2D_WIDE_TARGET {
            float v[4];
            for (int k = 0; k < 4; ++k)
                v[k] = in[(y + k) * width + x];
            if (std::isnan(v[0]) || std::isnan(v[1]) || std::isnan(v[2]) || std::isnan(v[3]))
            {
                for (int k = 0; k < 4; ++k)
                    out[(y + k) * width + x] = store::truncateWrap64<float>(pixelOutput(c, *h[k], v[k]));
                return;
            }
            const double np[4] = {h[0]->normalised(v[0]), h[1]->normalised(v[1]), h[2]->normalised(v[2]),
                                  h[3]->normalised(v[3])};
            double result[4];
            windowOutputQuad(c, windows, np, result);
            for (int k = 0; k < 4; ++k)
                out[(y + k) * width + x] = store::truncateWrap64<float>(result[k]);
        },
        [&] {
            for (Histogram* histogram : h)
                histogram->clear();
        });
}
#endif

/// Runs every row. `make()` builds a histogram of one window; `makeQuad()` the state of four
/// windows slid together (integer pixels: a QuadIntegerHistogram; FLOAT: unused).
template <typename T, typename MakeHistogram, typename MakeQuad>
void runRows(const Context& c, const T* in, T* out, MakeHistogram&& make, MakeQuad&& makeQuad)
{
    // Each row starts from an empty histogram; the memory is only recycled per thread.
    using Histogram = decltype(make());
    using Quad = decltype(makeQuad());
    struct Set
    {
        std::unique_ptr<Histogram> h[4];
        std::unique_ptr<Quad> quad;
    };
    PerThread<Set> histograms;
    parallelFor(0, c.height, [&](int first, int last) {
        Set& set = histograms.local();
        if (!set.h[0])
            for (auto& h : set.h)
                h = std::make_unique<Histogram>(make());
        int y = first;
#if IMAGE2D_HAS_WIDE_TARGET
        // Four rows at a time in the four lanes of a wide register; the rest two or one at a time.
        if (!c.clampIndex && last - first >= 4)
            simd::runEither(
                [&]() IMAGE2D_WIDE_TARGET {
                    if constexpr (std::is_floating_point_v<T>)
                    {
                        Histogram* const quad[4] = {set.h[0].get(), set.h[1].get(), set.h[2].get(), set.h[3].get()};
                        for (; y + 3 < last; y += 4)
                            processRowQuad(c, in, out, y, quad);
                    }
                    else
                    {
                        if (!set.quad)
                            set.quad = std::make_unique<Quad>(makeQuad());
                        for (; y + 3 < last; y += 4)
                            processRowQuad(c, in, out, y, *set.quad);
                    }
                },
                [] {});
#endif
        for (; y + 1 < last; y += 2)
            processRowPair(c, in, out, y, *set.h[0], *set.h[1]);
        if (y < last)
            processRow(c, in, out, y, *set.h[0]);
    });
}

void warnOutsideUnitRange(const char* owner, const QString& key)
{
    warnInvalidKey(owner, key);
    warning(key, " range is: [0, ... , 1]");
}

constexpr ParameterMessages kUnitRangeMessages{warnMissingKey, warnInvalidKey, warnOutsideUnitRange};

} // namespace

std::shared_ptr<Image2D> starkAdaptiveHistogramEqualization(const Image2D& image, double alpha, double beta,
                                                            unsigned int radius)
{
    if (!image.isValid())
        return warnInvalidKey(kOwner, Algorithm::INPUT_IMAGE), nullptr;
    if (!StarkAdaptiveHistogramEqualization::ALPHA_PARAMETER.accepts(alpha, kOwner) ||
        !StarkAdaptiveHistogramEqualization::BETA_PARAMETER.accepts(beta, kOwner))
        return nullptr;
    const double lo = image.getMinFloatValue();
    const double hi = image.getMaxFloatValue();
    return dispatchDataType(
        StarkTypes{}, image.getDataType(),
        "image2d::StarkAdaptiveHistogramEqualization : stark adaptive histogram equalization algorithm not supported "
        "for data type: ",
        [&](auto tag) {
            using T = typename decltype(tag)::type;
            const int width = image.getWidth(), height = image.getHeight();
            auto output = std::make_shared<Image2D>(width, height, image.getDataType(), image.getPixelSize());
            if (!image.isValid() || !output->isValid() || width <= 0 || height <= 0)
                return output;
            const T* in = image.getConstData<T>();
            T* out = output->getData<T>();
            // No contrast to spread (a constant FLOAT image) or unusable bounds: keep the values.
            if (!(hi > lo) || !std::isfinite(lo) || !std::isfinite(hi))
            {
                std::memcpy(out, in, image.getByteCount());
                return output;
            }
            const std::vector<Step> table = cumulationTable(alpha, beta);
            const Context context{table, beta, lo, hi, image.getDataType() == Image2D::BINARY,
                                  static_cast<long long>(radius), width, height};
            if constexpr (std::is_floating_point_v<T>)
                runRows(context, in, out, [&] { return FloatHistogram(lo, hi); }, [] { return 0; });
            else
            {
                const std::vector<double> normalised = IntegerHistogram<T>::normalisedValues(lo, hi);
                runRows(context, in, out, [&] { return IntegerHistogram<T>(normalised); },
                        [&] { return QuadIntegerHistogram<T>(normalised); });
            }
            return output;
        });
}

const Parameter<double> StarkAdaptiveHistogramEqualization::ALPHA_PARAMETER{
    &ALPHA_VALUE, Bounds::between(0, 1), "shape of the cumulation: 1 local-mean subtraction, 0 histogram equalization",
    kUnitRangeMessages};
const Parameter<double> StarkAdaptiveHistogramEqualization::BETA_PARAMETER{
    &BETA_VALUE, Bounds::between(0, 1), "share of the pixel's own value mixed back", kUnitRangeMessages};
const Parameter<unsigned int> StarkAdaptiveHistogramEqualization::RADIUS_PARAMETER{
    &RADIUS_VALUE, Bounds::any(), "window radius in pixels"};

const ParameterList& StarkAdaptiveHistogramEqualization::parameters()
{
    static const ParameterList list{&ALPHA_PARAMETER, &BETA_PARAMETER, &RADIUS_PARAMETER};
    return list;
}

bool StarkAdaptiveHistogramEqualization::isInputValid() const
{
    if (!requireInputImage(kOwner, INPUT_IMAGE))
        return false;
    for (const ParameterInfo* parameter : parameters())
        if (!parameter->validate(*this, kOwner))
            return false;
    return true;
}

std::shared_ptr<Image2D> StarkAdaptiveHistogramEqualization::applyFilter(const Uniforms& parameters,
                                                                         const std::shared_ptr<Image2D>& image,
                                                                         const std::atomic<bool>&)
{
    // Rows are short and independent; the run is not interrupted.
    return starkAdaptiveHistogramEqualization(*image, ALPHA_PARAMETER(parameters), BETA_PARAMETER(parameters),
                                              RADIUS_PARAMETER(parameters));
}

bool StarkAdaptiveHistogramEqualization::process(const std::atomic<bool>& cancel)
{
    setSharedOutput(OUTPUT_IMAGE, applyFilter(*this, getSharedInput(INPUT_IMAGE), cancel));
    return true;
}

std::shared_ptr<Image2D> StarkAdaptiveHistogramEqualization::executeStadHieq(Image2D* input, double alpha, double beta,
                                                                            unsigned int radius)
{
    StarkAdaptiveHistogramEqualization algorithm;
    algorithm.setInput(INPUT_IMAGE, input);
    algorithm.setUniformValue(ALPHA_VALUE, alpha);
    algorithm.setUniformValue(BETA_VALUE, beta);
    algorithm.setUniformValue(RADIUS_VALUE, radius);
    algorithm.execute(neverCancelled());
    return algorithm.getSharedOutput(OUTPUT_IMAGE);
}

} // namespace image2d
