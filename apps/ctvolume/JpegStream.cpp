// The marker walk over one JPEG frame (ITU T.81) that GDCM's JPEG codec is given only after
// it passed. GDCM runs the IJG decoder with an assertion on every warning it gives while
// reading the header (bytes between segments, a JFIF major version other than 1, an unknown
// Adobe colour transform), asserts on precisions and colour spaces it did not expect, and
// sizes its output from the image attributes, not from the stream.

#include "CodecStreams.h"
#include "MarkerSegments.h"

#include <algorithm>
#include <array>

namespace ctvolume {

namespace {

using namespace markers;

constexpr std::uint8_t DQT = 0xdb, DNL = 0xdc, DHT = 0xc4;

enum class Coding
{
    Sequential,
    Progressive,
    Lossless
};

struct Component
{
    std::uint8_t id = 0;
    std::uint8_t quantTable = 0;
};

struct FrameHeader
{
    bool seen = false;
    Coding coding = Coding::Sequential;
    unsigned precision = 0;
    std::array<Component, 4> components{};
    unsigned count = 0;
};

struct Tables
{
    std::array<bool, 4> quant{};
    std::array<std::array<bool, 4>, 2> huffman{}; ///< [class: 0 DC / lossless, 1 AC][id]
    std::array<unsigned, 4> dcLargest{};          ///< the largest value of each DC table
};

// SOF: precision for the syntax and the coding, the size of the image, its components.
bool frameHeaderFits(const std::uint8_t* p, unsigned length, std::uint8_t marker, const CodecExpectation& expected,
                     JpegProcess process, FrameHeader& frame)
{
    if (frame.seen || length < 6)
        return false;
    frame.seen = true;
    frame.coding = marker == 0xc3 ? Coding::Lossless : marker == 0xc2 ? Coding::Progressive : Coding::Sequential;
    frame.precision = p[0];
    const unsigned precision = frame.precision;
    // What the syntax allows, then what the coding allows (the IJG decoder asserts on a DCT
    // precision other than 8 or 12): a stream may be written with another process than its
    // syntax names, GDCM decodes what the stream says.
    // GDCM itself writes 16-bit sequential DCT in the extended syntax (its 16-bit decoder
    // reads it back); a progressive one it asserts on.
    const bool syntaxAllows = process == JpegProcess::Baseline   ? precision == 8
                              : process == JpegProcess::Extended ? precision == 8 || precision == 12 || precision == 16
                                                                 : precision >= 2 && precision <= 16;
    const bool codingAllows = frame.coding == Coding::Lossless   ? precision >= 2 && precision <= 16
                              : marker == 0xc0                   ? precision == 8
                              : frame.coding == Coding::Progressive ? precision == 8 || precision == 12
                                                                    : precision == 8 || precision == 12 || precision == 16;
    // GDCM retries with the decoder of the stream's precision and writes its samples into a
    // buffer sized by Bits Allocated: one byte a sample up to 8 bits, two above.
    const bool bytesAgree = precision <= 8 ? expected.bitsAllocated == 8 : expected.bitsAllocated == 16;
    if (!syntaxAllows || !codingAllows || !bytesAgree)
        return false;
    // A height of 0 defers it to a DNL marker after the first scan, which the decoder does not support.
    if (be16(p + 1) != expected.rows || be16(p + 3) != expected.columns)
        return false;
    frame.count = p[5];
    // One or three components: with two or four the decoder's colour space is one GDCM asserts on.
    if (frame.count != expected.samplesPerPixel || (frame.count != 1 && frame.count != 3) || length != 6 + 3 * frame.count)
        return false;
    for (unsigned c = 0; c < frame.count; ++c)
    {
        const std::uint8_t* field = p + 6 + 3 * c;
        const unsigned h = field[1] >> 4, v = field[1] & 15;
        if (h < 1 || h > 4 || v < 1 || v > 4 || field[2] > 3)
            return false;
        for (unsigned other = 0; other < c; ++other)
            if (frame.components[other].id == field[0])
                return false;
        frame.components[c] = {field[0], field[2]};
    }
    return true;
}

// DQT: whole tables of 64 entries, 8 or 16 bits, ids 0 to 3.
bool quantTablesFit(const std::uint8_t* p, unsigned length, Tables& tables)
{
    unsigned at = 0;
    while (at < length)
    {
        const unsigned entryBits = p[at] >> 4, id = p[at] & 15;
        const unsigned size = 1 + 64 * (entryBits + 1);
        if (entryBits > 1 || id > 3 || size > length - at)
            return false;
        tables.quant[id] = true;
        at += size;
    }
    return length > 0;
}

// DHT: class 0 or 1, ids 0 to 3, at most 256 codes forming a prefix code, the values that
// follow exactly as many (the decoder builds lookup tables indexed by them). It may come
// before the SOF, so DC values are checked against the coding at the scan.
bool huffmanTablesFit(const std::uint8_t* p, unsigned length, Tables& tables)
{
    unsigned at = 0;
    while (at < length)
    {
        if (length - at < 17)
            return false;
        const unsigned tableClass = p[at] >> 4, id = p[at] & 15;
        if (tableClass > 1 || id > 3)
            return false;
        unsigned total = 0;
        std::uint32_t code = 0;
        for (unsigned bits = 1; bits <= 16; ++bits)
        {
            const unsigned count = p[at + bits];
            total += count;
            code += count;
            if (code > (std::uint32_t(1) << bits))
                return false; // more codes of this length than a prefix code has room for
            code <<= 1;
        }
        if (total > 256 || total > length - at - 17)
            return false;
        if (tableClass == 0)
        {
            tables.dcLargest[id] = 0;
            for (unsigned i = 0; i < total; ++i)
                tables.dcLargest[id] = std::max<unsigned>(tables.dcLargest[id], p[at + 17 + i]);
        }
        tables.huffman[tableClass][id] = true;
        at += 17 + total;
    }
    return length > 0;
}

// SOS: components of the frame, each once, with their tables defined; the spectral
// selection and approximation of the coding (predictor and point transform for lossless).
bool scanHeaderFits(const std::uint8_t* p, unsigned length, const FrameHeader& frame, const Tables& tables)
{
    if (!frame.seen || length < 1)
        return false;
    const unsigned count = p[0];
    if (count < 1 || count > frame.count || length != 1 + 2 * count + 3)
        return false;
    const std::uint8_t* params = p + 1 + 2 * count;
    const unsigned ss = params[0], se = params[1], ah = params[2] >> 4, al = params[2] & 15;
    std::array<bool, 4> used{};
    for (unsigned s = 0; s < count; ++s)
    {
        const std::uint8_t id = p[1 + 2 * s], dc = p[2 + 2 * s] >> 4, ac = p[2 + 2 * s] & 15;
        unsigned c = 0;
        while (c < frame.count && frame.components[c].id != id)
            ++c;
        if (c == frame.count || used[c])
            return false;
        used[c] = true;
        if (dc > 3 || ac > 3)
            return false;
        const bool needsDc = frame.coding != Coding::Progressive || (ss == 0 && ah == 0);
        const bool needsAc = frame.coding != Coding::Lossless && (frame.coding == Coding::Sequential || ss > 0);
        if ((needsDc && !tables.huffman[0][dc]) || (needsAc && !tables.huffman[1][ac]))
            return false;
        // DC differences are categories of at most 15 bits in DCT coding (the decoder refuses
        // more), of at most 16 in lossless coding, where a larger one indexes past its tables.
        if (needsDc && tables.dcLargest[dc] > (frame.coding == Coding::Lossless ? 16u : 15u))
            return false;
        if (frame.coding != Coding::Lossless && !tables.quant[frame.components[c].quantTable])
            return false;
    }
    switch (frame.coding)
    {
    case Coding::Sequential:
        // Always 0, 63, 0, 0; the decoder ignores them (with a warning GDCM lets pass), and
        // a real encoder writes Se = 0, so only their ranges are held.
        return ss <= 63 && se <= 63 && ah <= 13 && al <= 13;
    case Coding::Progressive:
        // A DC scan (0, 0) or one component's AC band; refinement lowers the point transform by one.
        return se <= 63 && ss <= se && (ss == 0) == (se == 0) && (ss == 0 || count == 1) && al <= 13 &&
               (ah == 0 || ah == al + 1);
    case Coding::Lossless:
        return ss >= 1 && ss <= 7 && se == 0 && ah == 0 && al < frame.precision;
    }
    return false;
}

// Adobe and JFIF markers that make the decoder warn while it reads the header.
bool applicationSegmentFits(const std::uint8_t* p, unsigned length, std::uint8_t marker, bool& jfif, int& adobeTransform)
{
    static const std::uint8_t jfifName[5] = {'J', 'F', 'I', 'F', 0};
    static const std::uint8_t adobeName[5] = {'A', 'd', 'o', 'b', 'e'};
    auto named = [&](const std::uint8_t* name) {
        for (int i = 0; i < 5; ++i)
            if (p[i] != name[i])
                return false;
        return true;
    };
    if (marker == 0xe0 && length >= 14 && named(jfifName))
    {
        jfif = true;
        return p[5] == 1;
    }
    if (marker == 0xee && length >= 12 && named(adobeName))
        adobeTransform = p[11];
    return true;
}

// Entropy-coded data from `at`: stuffed zeros and restart markers belong to it; the offset of
// the next other marker's FF, or `size` when there is none.
std::size_t endOfEntropyData(const std::uint8_t* data, std::size_t size, std::size_t at)
{
    while (at + 1 < size)
    {
        if (data[at] != 0xff)
        {
            ++at;
            continue;
        }
        std::size_t next = at + 1;
        while (next < size && data[next] == 0xff)
            ++next; // fill bytes
        if (next == size)
            return size;
        if (data[next] != 0 && (data[next] < 0xd0 || data[next] > 0xd7))
            return next - 1;
        at = next + 1;
    }
    return size;
}

} // namespace

bool jpegFrameFits(const std::uint8_t* data, std::size_t size, const CodecExpectation& expected, JpegProcess process,
                   std::size_t& end, std::size_t& headerEnd)
{
    if (size < 4 || data[0] != 0xff || data[1] != SOI)
        return false;
    FrameHeader frame;
    Tables tables;
    bool jfif = false, scanned = false;
    int adobeTransform = -1;
    std::size_t at = 2;
    while (true)
    {
        // Every segment is followed by a marker: the decoder warns about bytes in between
        // (and GDCM asserts on that warning in the header). FF fill bytes are allowed.
        const int next = nextMarker(data, size, at);
        if (next < 0)
            return false;
        const std::uint8_t marker = static_cast<std::uint8_t>(next);
        if (marker == EOI)
        {
            if (!scanned)
                return false;
            end = at;
            return true;
        }
        // SOF of arithmetic or hierarchical coding, DAC, JPG extensions, DNL, reserved markers,
        // a second SOI and restart markers outside entropy-coded data are refused.
        const bool known = (marker >= 0xc0 && marker <= 0xc3) || marker == DHT || marker == DQT || marker == DRI ||
                           marker == SOS || marker == COM || (marker >= 0xe0 && marker <= 0xef);
        if (!known || marker == DNL)
            return false;
        if (size - at < 2)
            return false;
        const unsigned segment = be16(data + at);
        if (segment < 2 || segment > size - at)
            return false;
        const std::uint8_t* p = data + at + 2;
        const unsigned length = segment - 2;
        at += segment;
        bool fits = true;
        if (marker >= 0xc0 && marker <= 0xc3)
            fits = frameHeaderFits(p, length, marker, expected, process, frame);
        else if (marker == DQT)
            fits = quantTablesFit(p, length, tables);
        else if (marker == DHT)
            fits = huffmanTablesFit(p, length, tables);
        else if (marker == DRI)
            fits = length == 2;
        else if (marker >= 0xe0 && marker <= 0xef)
            fits = applicationSegmentFits(p, length, marker, jfif, adobeTransform);
        if (!fits)
            return false;
        if (marker == SOS)
        {
            if (!scanHeaderFits(p, length, frame, tables))
                return false;
            // The decoder guesses the colour space of three components from a JFIF or Adobe
            // marker; an Adobe transform other than 0 or 1 is a warning in the header.
            if (!scanned && frame.count == 3 && !jfif && adobeTransform > 1)
                return false;
            if (!scanned)
                headerEnd = at;
            scanned = true;
            at = endOfEntropyData(data, size, at);
        }
    }
}

} // namespace ctvolume
