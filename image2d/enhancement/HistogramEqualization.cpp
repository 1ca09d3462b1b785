#include "image2d/enhancement/HistogramEqualization.h"
#include "image2d/enhancement/HistogramTiles.h"

#include "image2d/filtering/LocalStatistics.h"
#include "image2d/framework/Log.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <type_traits>
#include <vector>

namespace image2d {

const QString HistogramEqualization::FILTER_ID = QStringLiteral("HistogramEqualization");
const QString HistogramEqualization::BALANCE = QStringLiteral("balance");
const QString& HistogramEqualization::KERNEL_RELATIVE_RADIUS = RecursiveMinMax::KERNEL_RADIUS;
const QString HistogramEqualization::KERNEL_OVERLAP = QStringLiteral("kernelOverlap");

namespace {

using namespace hieq_detail;

/// Bin index and output value of each pixel type.
template <typename T>
struct Binning
{
    static constexpr int bins = sizeof(T) == 1 ? 256 : 512;
    std::vector<std::uint16_t> table; // 16-bit types: value (+ 32768 for SHORT) -> bin

    Binning()
    {
        if constexpr (std::is_same_v<T, std::uint16_t> || std::is_same_v<T, std::int16_t>)
        {
            table.resize(65536);
            for (int i = 0; i < 65536; ++i)
                table[i] = static_cast<std::uint16_t>(static_cast<float>(i) / 65535.0f * 511.0f);
        }
    }

    int bin(T v) const
    {
        if constexpr (std::is_same_v<T, std::uint8_t>)
            return v;
        else if constexpr (std::is_same_v<T, std::uint16_t>)
            return table[v];
        else if constexpr (std::is_same_v<T, std::int16_t>)
            return table[v + 32768];
        else
        {
            // Values are expected in [0, 1]; others (and NaN) go to the first or last bin.
            const float t = v * 511.0f;
            if (!(t >= 0.0f))
                return 0;
            return t >= 511.0f ? 511 : static_cast<int>(t);
        }
    }

    // Limited to [0, 1] first: the float weights may overshoot by an ulp.
    static T output(float c) { return store::unitToType<T>(c); }
};

/// One stretch of columns interpolated between the same two tiles (equal at the edges).
struct Segment
{
    int x0, x1; // inclusive
    int first, second;
};

template <typename T>
class Equalizer
{
public:
    Equalizer(const T* in, T* out, int width, int height, const Axis& ax, const Axis& ay, float factor,
              const std::atomic<bool>& cancel)
        : m_in(in), m_out(out), m_width(width), m_height(height), m_ax(ax), m_ay(ay), m_factor(factor),
          m_cancel(cancel)
    {
        // Strips: the columns between consecutive tile edges; every tile is a run of strips.
        std::vector<int> edges{0, width};
        for (int j = 0; j < ax.tiles(); ++j)
        {
            edges.push_back(ax.begin(j));
            edges.push_back(ax.end(j) + 1);
        }
        std::sort(edges.begin(), edges.end());
        edges.erase(std::unique(edges.begin(), edges.end()), edges.end());
        m_stripEdges = edges;
        for (int j = 0; j < ax.tiles(); ++j)
        {
            m_tileFirstStrip.push_back(static_cast<int>(
                std::lower_bound(edges.begin(), edges.end(), ax.begin(j)) - edges.begin()));
            m_tileEndStrip.push_back(static_cast<int>(
                std::lower_bound(edges.begin(), edges.end(), ax.end(j) + 1) - edges.begin()));
        }
        int x = 0;
        while (x < width)
        {
            int x1 = x;
            while (x1 + 1 < width && ax.first[x1 + 1] == ax.first[x] && ax.second[x1 + 1] == ax.second[x])
                ++x1;
            m_segments.push_back({x, x1, ax.first[x], ax.second[x]});
            x = x1 + 1;
        }
        if constexpr (!std::is_floating_point_v<T>)
            binRange();
        // Bands: rows sharing the same pair of tile rows.
        int y = 0;
        while (y < height)
        {
            int y1 = y;
            while (y1 + 1 < height && ay.first[y1 + 1] == ay.first[y] && ay.second[y1 + 1] == ay.second[y])
                ++y1;
            m_bands.push_back({y, y1});
            y = y1 + 1;
        }
    }

    // Bins are monotone in the value, so the value range bounds every bin; the per-bin
    // loops over strip histograms then skip what a 12-bit image never fills.
    void binRange()
    {
        T lo = m_in[0], hi = m_in[0];
        const std::size_t count = static_cast<std::size_t>(m_width) * m_height;
        for (std::size_t i = 1; i < count; ++i)
        {
            lo = std::min(lo, m_in[i]);
            hi = std::max(hi, m_in[i]);
        }
        m_binLo = m_binning.bin(lo);
        m_binHi = m_binning.bin(hi);
    }

    // The equalization runs on the calling thread, as the host expects of it; the flag is
    // read after every band, so a cancelled run keeps the rows written so far.
    void run()
    {
        State state(*this);
        for (const auto& band : m_bands)
        {
            mapBand(state, band.first, band.second);
            if (m_cancel.load())
                return;
        }
    }

private:
    static constexpr int B = Binning<T>::bins;
    // Neighbouring pixels mostly share a bin; spreading consecutive columns over separate
    // copies of a strip histogram keeps the increments from waiting on each other.
    static constexpr int kCopies = 4;

    struct State
    {
        explicit State(const Equalizer& e)
            : counts(e.m_stripEdges.size() * kCopies * e.span(), 0), running(B, 0),
              upper(static_cast<std::size_t>(e.m_ax.tiles()) * B), lower(upper.size())
        {
        }
        std::vector<std::uint32_t> counts; // per strip and copy, over the rows [row0, row1]
        int row0 = 0, row1 = -1;
        std::vector<std::uint32_t> running;
        std::vector<float> upper, lower; // cumulative histograms of two tile rows
        int upperRow = -1, lowerRow = -1;
    };

    template <int Delta>
    void addRows(State& s, int y0, int y1) const
    {
        const int strips = static_cast<int>(m_stripEdges.size()) - 1;
        const int* edges = m_stripEdges.data();
        const int span = this->span(), binLo = m_binLo;
        for (int y = y0; y <= y1; ++y)
        {
            const T* row = m_in + static_cast<std::size_t>(y) * m_width;
            for (int k = 0; k < strips; ++k)
            {
                // Only the bins the image can fill are stored, which keeps the strips cache-sized.
                std::uint32_t* h = s.counts.data() + static_cast<std::size_t>(k) * kCopies * span;
                // Bounds in locals: the counts could alias them as far as the compiler knows.
                const int xBegin = edges[k], xEnd = edges[k + 1];
                for (int x = xBegin; x < xEnd; ++x)
                    h[(x & (kCopies - 1)) * span + m_binning.bin(row[x]) - binLo] += static_cast<std::uint32_t>(Delta);
            }
        }
    }

    void moveStripsTo(State& s, int y0, int y1) const
    {
        const long long kept = std::max(0, std::min(y1, s.row1) - std::max(y0, s.row0) + 1);
        if (y0 < s.row0 || y1 < s.row1 || kept * 2 < static_cast<long long>(y1 - y0 + 1))
        {
            std::fill(s.counts.begin(), s.counts.end(), 0u);
            addRows<1>(s, y0, y1);
        }
        else
        {
            addRows<-1>(s, s.row0, y0 - 1);
            addRows<1>(s, s.row1 + 1, y1);
        }
        s.row0 = y0;
        s.row1 = y1;
    }

    void addStrips(State& s, int k0, int k1, bool subtract) const
    {
        std::uint32_t* r = s.running.data() + m_binLo;
        const int span = this->span();
        for (int k = k0; k < k1; ++k)
            for (int copy = 0; copy < kCopies; ++copy)
            {
                const std::uint32_t* h = s.counts.data() + (static_cast<std::size_t>(k) * kCopies + copy) * span;
                if (subtract)
                    for (int b = 0; b < span; ++b)
                        r[b] -= h[b];
                else
                    for (int b = 0; b < span; ++b)
                        r[b] += h[b];
            }
    }

    void tileRow(State& s, int i, float* tables) const
    {
        const int y0 = m_ay.begin(i), y1 = m_ay.end(i);
        moveStripsTo(s, y0, y1);
        int have0 = 0, have1 = 0; // strips currently summed in `running`
        float* batch[4];
        int batched = 0;
        for (int j = 0; j < m_ax.tiles(); ++j)
        {
            const int k0 = m_tileFirstStrip[j], k1 = m_tileEndStrip[j];
            if (k0 >= have1)
            {
                std::fill(s.running.begin(), s.running.end(), 0u);
                addStrips(s, k0, k1, false);
            }
            else
            {
                addStrips(s, have0, k0, true);
                addStrips(s, have1, k1, false);
            }
            have0 = k0;
            have1 = k1;
            const long long pixels =
                static_cast<long long>(y1 - y0 + 1) * static_cast<long long>(m_ax.end(j) - m_ax.begin(j) + 1);
            float* c = tables + static_cast<std::size_t>(j) * B;
            clipHistogram(s.running.data(), pixels, B, m_factor, m_binLo, m_binHi, c);
            batch[batched++] = c;
            if (batched == 4 || j + 1 == m_ax.tiles())
            {
                cumulateTiles(batch, batched, B);
                batched = 0;
            }
        }
    }

    void mapBand(State& s, int y0, int y1) const
    {
        const int iu = m_ay.first[y0], il = m_ay.second[y0];
        if (s.upperRow != iu)
        {
            if (s.lowerRow == iu)
            {
                std::swap(s.upper, s.lower);
                std::swap(s.upperRow, s.lowerRow);
            }
            else
            {
                tileRow(s, iu, s.upper.data());
                s.upperRow = iu;
            }
        }
        if (il != iu && s.lowerRow != il)
        {
            tileRow(s, il, s.lower.data());
            s.lowerRow = il;
        }
        for (int y = y0; y <= y1; ++y)
        {
            const T* in = m_in + static_cast<std::size_t>(y) * m_width;
            T* out = m_out + static_cast<std::size_t>(y) * m_width;
            if (il == iu)
                mapRow(in, out, s.upper.data());
            else
                mapRow(in, out, s.upper.data(), s.lower.data(), m_ay.weight[y]);
        }
    }

    // Rows before the first and after the last tile-row centre: one tile row.
    void mapRow(const T* in, T* out, const float* tables) const
    {
        for (const Segment& g : m_segments)
        {
            const float* a = tables + static_cast<std::size_t>(g.first) * B;
            if (g.first == g.second)
            {
                for (int x = g.x0; x <= g.x1; ++x)
                    out[x] = Binning<T>::output(a[m_binning.bin(in[x])]);
                continue;
            }
            const float* b = tables + static_cast<std::size_t>(g.second) * B;
            for (int x = g.x0; x <= g.x1; ++x)
            {
                const int bin = m_binning.bin(in[x]);
                const float w = m_ax.weight[x];
                out[x] = Binning<T>::output(a[bin] * (1.0f - w) + b[bin] * w);
            }
        }
    }

    void mapRow(const T* in, T* out, const float* upper, const float* lower, float wy) const
    {
        const float vy = 1.0f - wy;
        for (const Segment& g : m_segments)
        {
            const float* ua = upper + static_cast<std::size_t>(g.first) * B;
            const float* la = lower + static_cast<std::size_t>(g.first) * B;
            if (g.first == g.second)
            {
                for (int x = g.x0; x <= g.x1; ++x)
                {
                    const int bin = m_binning.bin(in[x]);
                    out[x] = Binning<T>::output(ua[bin] * vy + la[bin] * wy);
                }
                continue;
            }
            const float* ub = upper + static_cast<std::size_t>(g.second) * B;
            const float* lb = lower + static_cast<std::size_t>(g.second) * B;
            for (int x = g.x0; x <= g.x1; ++x)
            {
                const int bin = m_binning.bin(in[x]);
                const float w = m_ax.weight[x], v = 1.0f - w;
                const float top = ua[bin] * v + ub[bin] * w;
                const float bottom = la[bin] * v + lb[bin] * w;
                out[x] = Binning<T>::output(top * vy + bottom * wy);
            }
        }
    }

    const T* m_in;
    T* m_out;
    int m_width, m_height;
    const Axis& m_ax;
    const Axis& m_ay;
    float m_factor;
    const std::atomic<bool>& m_cancel;
    Binning<T> m_binning;
    std::vector<int> m_stripEdges, m_tileFirstStrip, m_tileEndStrip;
    std::vector<Segment> m_segments;
    int m_binLo = 0, m_binHi = B - 1; // every pixel's bin lies in this range
    int span() const { return m_binHi - m_binLo + 1; }
    std::vector<std::pair<int, int>> m_bands;
};

} // namespace

// ---- Core functions -------------------------------------------------------------------

namespace {

constexpr const char* kInvalidInput = "image2d::HistogramEqualization : invalid input.";

void warnMissingParameter(const char*, const QString& key)
{
    warning("missing parameter: ", key);
    warning(kInvalidInput);
}

void warnInvalidParameter(const char*, const QString& key)
{
    warning("invalid parameter: ", key);
    warning(kInvalidInput);
}

void warnNotWithinRange(const char*, const QString& key)
{
    for (const ParameterInfo* parameter : HistogramEqualization::parameters())
        if (parameter->key() == key)
            warning("parameter", key, "not within range [", static_cast<float>(parameter->bounds().low), ", ... ,",
                    static_cast<float>(parameter->bounds().high), "]");
    warning(kInvalidInput);
}

constexpr ParameterMessages kMessages{warnMissingParameter, warnInvalidParameter, warnNotWithinRange};
constexpr const char* kOwner = "image2d::HistogramEqualization";

// The equalization proper, for a supported type and a balance above 0.
template <typename T>
std::shared_ptr<Image2D> equalize(const Image2D& input, float balance, float relativeRadius, float overlap,
                                  const std::atomic<bool>& cancel)
{
    const int width = input.getWidth(), height = input.getHeight();
    const long long r = std::max(1LL, static_cast<long long>(static_cast<float>(width) * relativeRadius));
    const long long step = static_cast<long long>(2.0f * (1.0f - overlap) * static_cast<float>(r) + 1.0f);
    const float factor = static_cast<float>(0.5 * std::pow(static_cast<double>(balance), 5.0));
    auto result = std::make_shared<Image2D>(width, height, input.getDataType(), input.getPixelSize());
    if (!result->isValid() || width <= 0 || height <= 0 || cancel.load())
        return result;
    const Axis ax = makeAxis(width, r, std::max(1LL, step));
    const Axis ay = makeAxis(height, r, std::max(1LL, step));
    Equalizer<T>(input.getConstData<T>(), result->getData<T>(), width, height, ax, ay, factor, cancel).run();
    return result;
}

} // namespace

std::shared_ptr<Image2D> histogramEqualization(std::shared_ptr<Image2D> image, float balance, float relativeRadius,
                                               float overlap, const std::atomic<bool>& cancel)
{
    if (!image || !image->isValid())
    {
        warning(image ? "invalid input image: " : "missing input image: ", Algorithm::INPUT_IMAGE);
        warning(kInvalidInput);
        return nullptr;
    }
    if (!HistogramEqualization::BALANCE_PARAMETER.accepts(balance, kOwner) ||
        !HistogramEqualization::RADIUS_PARAMETER.accepts(relativeRadius, kOwner) ||
        !HistogramEqualization::OVERLAP_PARAMETER.accepts(overlap, kOwner))
        return nullptr;
    if (balance <= 0.0f)
        return image;
    std::shared_ptr<Image2D> output = dispatchDataType(
        HistogramEqualizationTypes{}, image->getDataType(),
        [&](auto tag) { return equalize<typename decltype(tag)::type>(*image, balance, relativeRadius, overlap, cancel); },
        [&] {
            warning("image2d::HistogramEqualization : histogram equalization algorithm not supported for data type: ",
                    static_cast<int>(image->getDataType()));
        });
    return output ? output : image;
}

std::shared_ptr<Image2D> histogramEqualization(const Image2D& image, float balance, float relativeRadius,
                                               float overlap, const std::atomic<bool>& cancel)
{
    // The caller's image is lent for the run; an unchanged result becomes a copy of it.
    const std::shared_ptr<Image2D> lent = borrowImage(image);
    std::shared_ptr<Image2D> result = histogramEqualization(lent, balance, relativeRadius, overlap, cancel);
    return result == lent ? std::make_shared<Image2D>(image) : result;
}

// ---- HistogramEqualization ----------------------------------------------------------------

const Parameter<float> HistogramEqualization::BALANCE_PARAMETER{
    &BALANCE, Bounds::between(0, 1), "clip limit from none (0, the image unchanged) to full equalization (1)",
    kMessages};
const Parameter<float> HistogramEqualization::RADIUS_PARAMETER{
    &KERNEL_RELATIVE_RADIUS, Bounds::between(0, 0.5), "tile radius as a fraction of the image width", kMessages};
const Parameter<float> HistogramEqualization::OVERLAP_PARAMETER{
    &KERNEL_OVERLAP, Bounds::between(0, 1), "fraction of a tile shared with the next", kMessages};

const ParameterList& HistogramEqualization::parameters()
{
    static const ParameterList list{&BALANCE_PARAMETER, &RADIUS_PARAMETER, &OVERLAP_PARAMETER};
    return list;
}

bool HistogramEqualization::isInputValid() const
{
    if (!checkInputImage(INPUT_IMAGE))
        return warning(kInvalidInput), false;
    for (const ParameterInfo* parameter : parameters())
        if (!parameter->validate(*this, kOwner))
            return false;
    return true;
}

std::shared_ptr<Image2D> HistogramEqualization::applyFilter(const Uniforms& parameters,
                                                            const std::shared_ptr<Image2D>& image,
                                                            const std::atomic<bool>& cancel)
{
    return histogramEqualization(image, BALANCE_PARAMETER(parameters), RADIUS_PARAMETER(parameters),
                                 OVERLAP_PARAMETER(parameters), cancel);
}

bool HistogramEqualization::process(const std::atomic<bool>& cancel)
{
    setSharedOutput(OUTPUT_IMAGE, applyFilter(*this, getSharedInput(INPUT_IMAGE), cancel));
    return true;
}

std::shared_ptr<Image2D> HistogramEqualization::executeHieq(Image2D* input, float balance, float kernelRadius,
                                                            float kernelOverlap)
{
    HistogramEqualization algorithm;
    algorithm.setInput(INPUT_IMAGE, input);
    algorithm.setUniformValue(BALANCE, balance);
    algorithm.setUniformValue(KERNEL_RELATIVE_RADIUS, kernelRadius);
    algorithm.setUniformValue(KERNEL_OVERLAP, kernelOverlap);
    algorithm.execute(neverCancelled());
    return algorithm.getSharedOutput(OUTPUT_IMAGE);
}

} // namespace image2d
