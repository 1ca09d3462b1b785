#include "image2d/enhancement/Ketrix.h"

#include "image2d/framework/Core.h"
#include "image2d/framework/Log.h"

#include <algorithm>
#include <bit>
#include <cmath>

namespace image2d {

namespace ketrix_detail {

Scale scaleFor(int type)
{
    return type == Ketrix::IMAGE_12_BIT ? Scale{4095, 4096, 8} : Scale{65535, 65536, 128};
}

std::uint64_t countBins(const std::uint16_t* pixels, const std::uint8_t* mask, std::size_t count, const Scale& scale,
                        Histogram& bins)
{
    // Four tables in turn, so that runs of one value do not wait on their own increments;
    // a counted pixel adds 512 to its index, so the masked loop has no branch.
    std::vector<std::uint64_t> tables(4 * 1024, 0);
    const int shift = std::countr_zero(static_cast<unsigned>(scale.binWidth));
    const unsigned maximum = static_cast<unsigned>(scale.maximum);
    const auto index = [&](std::size_t i) {
        const unsigned bin = std::min<unsigned>(pixels[i], maximum) >> shift;
        return (i & 3) * 1024 + (mask ? (mask[i] != 0) * 512u : 512u) + bin;
    };
    for (std::size_t i = 0; i < count; ++i)
        ++tables[index(i)];
    std::uint64_t counted = 0;
    for (int b = 0; b < 512; ++b)
    {
        bins[b] = tables[512 + b] + tables[1024 + 512 + b] + tables[2048 + 512 + b] + tables[3072 + 512 + b];
        counted += bins[b];
    }
    return counted;
}

Cuts findCuts(const Histogram& bins, std::uint64_t counted, const Scale& scale)
{
    Cuts cuts;
    std::uint64_t sum = 0;
    for (int i = 0; i < 512 && sum < counted * 10 / 1000; ++i)
    {
        cuts.low = i * scale.binWidth;
        sum += bins[i];
    }
    sum = 0;
    for (int i = 511; i >= 0 && sum < counted * 5 / 1000; --i)
    {
        sum += bins[i];
        cuts.high = i * scale.binWidth;
    }
    return cuts;
}

Table stretchTable(int high, const Scale& scale)
{
    Table table(static_cast<std::size_t>(scale.tableSize), static_cast<std::uint16_t>(scale.maximum));
    table[0] = 0;
    for (int v = 1; v <= high && v < scale.tableSize; ++v)
        table[v] = static_cast<std::uint16_t>(static_cast<std::int64_t>(v) * scale.maximum / high);
    return table;
}

Table gammaTable(double gamma, const Scale& scale)
{
    const int last = scale.tableSize - 1;
    Table table(static_cast<std::size_t>(scale.tableSize));
    for (int i = 0; i <= last; ++i)
    {
        const double curve = std::floor(std::pow(static_cast<double>(i) / last, 1.0 / gamma) * last + 0.5);
        table[last - i] = static_cast<std::uint16_t>(last - static_cast<int>(curve));
    }
    return table;
}

namespace {

// The window of grey values that ends where the bright end of the histogram falls below half
// its densest part: (base, top) of the central mass.
std::pair<int, int> centralRange(const Histogram& bins, int high, int w)
{
    const auto at = [&](int grey) { return bins[grey / w]; };
    const int span = high + 1;
    std::uint64_t sum = 0;
    int lower = high; // the window holds (lower, top]
    for (; lower > high - span / 32; lower -= w)
        sum += at(lower);
    std::uint64_t peak = sum;
    for (int top = high;;)
    {
        if (lower < span / 2 || lower < w)
            return {(static_cast<int>(std::floor(high * 0.08 / w)) + 1) * w, high};
        sum += at(lower);
        sum -= at(top);
        lower -= w;
        top -= w;
        peak = std::max(peak, sum);
        if (2 * sum < peak)
            return {0, lower};
    }
}

} // namespace

Analysis analyseHistogram(const Histogram& bins, int high, const Scale& scale)
{
    const int w = scale.binWidth;
    const std::int64_t maximum = scale.maximum, span = high + 1;
    const auto at = [&](int grey) { return bins[grey / w]; };
    Analysis a;
    std::tie(a.base, a.top) = centralRange(bins, high, w);
    for (int g = a.base; g <= a.top; g += w)
        a.mass += at(g);
    const std::uint64_t half = a.mass / 2;
    a.median = a.top;
    if (a.mass > 1)
    {
        std::uint64_t running = 0;
        for (int g = a.base; g <= a.top; g += w)
            if ((running += at(g)) >= half)
            {
                a.median = g;
                break;
            }
        a.median = std::min(a.median, a.top);
        std::uint64_t collected = 0;
        for (int lo = a.median, hi = a.median; collected < half && lo >= a.base && hi <= a.top; a.spread += w)
        {
            if (at(hi) > at(lo))
                collected += at(hi), hi += w;
            else
                collected += at(lo), lo -= w;
        }
    }
    a.spreadOut = static_cast<int>(a.spread * maximum / span);
    a.med = static_cast<int>(a.median * maximum / span);

    const std::int64_t med = a.med, spreadOut = a.spreadOut, halfRange = (maximum + 1) / 2;
    std::int64_t yc0, xc;
    if (med < halfRange)
    {
        const std::int64_t t = med + (halfRange - med) / 3;
        yc0 = (3 * maximum + t) / 4;
        xc = ((3 * maximum * med) / t + med) / 4;
    }
    else
        yc0 = xc = (maximum + 1 + med) / 2;
    const std::int64_t minSpread = (maximum + 1) / 20;
    std::int64_t xa = 0, ya = 0, yc = yc0;
    if (spreadOut < minSpread)
    {
        const std::int64_t extra = (minSpread - spreadOut) * (maximum - yc0) / minSpread;
        if (med > spreadOut)
        {
            std::int64_t reduced = extra;
            xa = maximum - xc;
            if (maximum - xc > med - spreadOut)
            {
                reduced = extra * (med - spreadOut) / (maximum - xc);
                xa = med - spreadOut;
            }
            ya = reduced < xa ? xa - reduced : 0;
        }
        yc = yc0 + extra;
    }
    a.points = {static_cast<int>(xa), static_cast<int>(ya), static_cast<int>(xc), static_cast<int>(yc)};
    return a;
}

} // namespace ketrix_detail

namespace {

constexpr const char* kOwner = "image2d::Ketrix";

// The checks of the enhancement after the input's presence, in order, with their warnings.
bool checkInputs(const Image2D& image, const Image2D* mask)
{
    if (!image.isValid() || image.getDataType() != Image2D::UNSIGNED_SHORT)
        return warnInvalidKey(kOwner, Algorithm::INPUT_IMAGE), false;
    if (mask && (!mask->isValid() || mask->getDataType() != Image2D::BINARY))
        return warnInvalidKey(kOwner, Ketrix::INPUT_MASK), false;
    if (mask && mask->getSize() != image.getSize())
        return warning("image2d::Ketrix : invalid input: mask size doesn't match input image size"), false;
    return true;
}

} // namespace

void Ketrix::ketrix16(Image2D& image, const unsigned char* mask, double gamma, ImageType type)
{
    using namespace ketrix_detail;
    if (!image.isValid() || image.getDataType() != Image2D::UNSIGNED_SHORT)
        return;
    const Scale scale = scaleFor(type);
    const std::size_t count = image.getNumPixels();
    std::uint16_t* pixels = image.getData<std::uint16_t>();
    Histogram bins;
    const std::uint64_t counted = countBins(pixels, mask, count, scale, bins);
    const Cuts cuts = findCuts(bins, counted, scale);
    if (cuts.high <= cuts.low)
        return;
    Table table = stretchTable(cuts.high, scale);
    if (gamma != 1.0 && gamma > 0.0 && std::isfinite(gamma))
    {
        const Table g = gammaTable(gamma, scale);
        for (std::uint16_t& t : table)
            t = g[t];
    }
    const Table curve = toneCurve(analyseHistogram(bins, cuts.high, scale).points, scale);
    for (std::uint16_t& t : table)
        t = curve[t];
    const auto maximum = static_cast<std::uint16_t>(scale.maximum);
    for (std::size_t i = 0; i < count; ++i)
        pixels[i] = (!mask || mask[i] != 0) ? table[std::min(pixels[i], maximum)] : maximum;
    image.editFinished();
}

bool enhanceAcquisition(Image2D& image, const Image2D* mask, double gamma, Ketrix::ImageType type)
{
    if (!checkInputs(image, mask))
        return false;
    if (type == Ketrix::IMAGE_12_BIT)
    {
        std::uint16_t* pixels = image.getData<std::uint16_t>();
        std::transform(pixels, pixels + image.getNumPixels(), pixels,
                       [](std::uint16_t v) { return std::min<std::uint16_t>(v, 4095); });
        image.editFinished();
    }
    Ketrix::ketrix16(image, mask ? mask->getConstData<unsigned char>() : nullptr, gamma, type);
    return true;
}

const QString Ketrix::INPUT_MASK = QStringLiteral("inputMask");
const QString Ketrix::INPUT_TYPE = QStringLiteral("inputType");
const QString Ketrix::GAMMA = QStringLiteral("gamma");
const Parameter<int> Ketrix::TYPE_PARAMETER{&INPUT_TYPE, IMAGE_16_BIT, Bounds::any(),
                                            "bit depth: 0 for 12-bit data (clipped to 4095), otherwise 16-bit"};
const Parameter<double> Ketrix::GAMMA_PARAMETER{&GAMMA, 1.0, Bounds::anyIncludingNaN(),
                                                "gamma of the intermediate curve; 1.0 (or a value not above 0) "
                                                "skips it"};

const ParameterList& Ketrix::parameters()
{
    static const ParameterList list{&TYPE_PARAMETER, &GAMMA_PARAMETER};
    return list;
}

std::shared_ptr<Image2D> Ketrix::executeKetrix(ImageType type, const Image2D& image, const Image2D* mask, double gamma)
{
    Ketrix algorithm;
    algorithm.setInput(INPUT_IMAGE, &image);
    if (mask)
        algorithm.setInput(INPUT_MASK, mask);
    algorithm.setUniformValue(INPUT_TYPE, static_cast<int>(type));
    algorithm.setUniformValue(GAMMA, gamma);
    algorithm.execute(neverCancelled());
    return algorithm.getSharedOutput(OUTPUT_IMAGE);
}

bool Ketrix::isInputValid() const
{
    if (!requireInputImage(kOwner, INPUT_IMAGE))
        return false;
    const std::shared_ptr<Image2D> mask = getSharedInput(INPUT_MASK);
    return checkInputs(*getSharedInput(INPUT_IMAGE), mask.get()) ||
           fail(FailureReason::Invalid, mask ? INPUT_MASK : INPUT_IMAGE);
}

bool Ketrix::process(const std::atomic<bool>&)
{
    const std::shared_ptr<Image2D> input = getSharedInput(INPUT_IMAGE);
    const std::shared_ptr<Image2D> mask = getSharedInput(INPUT_MASK);
    if (!enhanceAcquisition(*input, mask.get(), GAMMA_PARAMETER(*this),
                            static_cast<ImageType>(TYPE_PARAMETER(*this))))
        return fail(FailureReason::Invalid, INPUT_IMAGE);
    setSharedOutput(OUTPUT_IMAGE, input);
    return true;
}

} // namespace image2d
