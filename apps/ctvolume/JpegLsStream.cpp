// The marker walk over one JPEG-LS frame (ITU T.87) that GDCM's JPEG-LS codec (CharLS) is
// given only after it passed. GDCM sizes CharLS's output from the stream's header and copies
// it into a buffer sized from the image attributes, so the two must agree; the preset
// parameters and the scan parameters are held to their legal ranges for the precision.

#include "CodecStreams.h"
#include "MarkerSegments.h"

#include <algorithm>
#include <array>

namespace ctvolume {

namespace {

using namespace markers;

constexpr std::uint8_t SOF55 = 0xf7, LSE = 0xf8;

struct LsFrame
{
    bool seen = false;
    unsigned precision = 0;
    unsigned count = 0;
    std::array<std::uint8_t, 3> ids{};
    unsigned maxValue = 0; ///< MAXVAL of the preset parameters (2^P - 1 by default)
};

// SOF55: the precision (2 to 16) in as many bytes a sample as Bits Stored and Bits Allocated
// give, the image size, one component a sample, none subsampled.
bool lsFrameHeaderFits(const std::uint8_t* p, unsigned length, const CodecExpectation& expected, LsFrame& frame)
{
    if (frame.seen || length < 6)
        return false;
    frame.seen = true;
    frame.precision = p[0];
    const unsigned bytes = (frame.precision + 7) / 8;
    if (frame.precision < 2 || frame.precision > 16 || bytes != (expected.bitsStored + 7) / 8 ||
        bytes * 8 != expected.bitsAllocated)
        return false;
    if (be16(p + 1) != expected.rows || be16(p + 3) != expected.columns)
        return false;
    frame.count = p[5];
    if (frame.count != expected.samplesPerPixel || (frame.count != 1 && frame.count != 3) || length != 6 + 3 * frame.count)
        return false;
    frame.maxValue = (1u << frame.precision) - 1;
    for (unsigned c = 0; c < frame.count; ++c)
    {
        const std::uint8_t* field = p + 6 + 3 * c;
        if (field[1] != 0x11 || field[2] != 0)
            return false;
        for (unsigned other = 0; other < c; ++other)
            if (frame.ids[other] == field[0])
                return false;
        frame.ids[c] = field[0];
    }
    return true;
}

// LSE with id 1, preset coding parameters (0 leaves a parameter at its default): MAXVAL below
// 2^P, thresholds NEAR + 1 <= T1 <= T2 <= T3 <= MAXVAL, RESET from 3 to max(255, MAXVAL).
// The thresholds are checked against NEAR at the scan, the whole segment against the
// precision once the frame header is read (it may come before). Mapping tables (ids 2 and 3)
// and oversize dimensions (id 4) are not decoded by GDCM's JPEG-LS path.
bool presetParametersFit(const std::uint8_t* p, unsigned length, LsFrame& frame, std::array<unsigned, 4>& thresholds)
{
    if (length != 11 || p[0] != 1)
        return false;
    if (!frame.seen)
        return true;
    const unsigned maxValue = be16(p + 1), t1 = be16(p + 3), t2 = be16(p + 5), t3 = be16(p + 7), reset = be16(p + 9);
    if (maxValue > (1u << frame.precision) - 1)
        return false;
    if (maxValue != 0)
        frame.maxValue = maxValue;
    if ((t1 && t1 > frame.maxValue) || (t2 && (t2 > frame.maxValue || t2 < t1)) ||
        (t3 && (t3 > frame.maxValue || t3 < std::max(t1, t2))))
        return false;
    if (reset && (reset < 3 || reset > std::max(255u, frame.maxValue)))
        return false;
    thresholds = {t1, t2, t3, reset};
    return true;
}

// SOS: components of the frame, each scanned once over the frame's scans; NEAR up to
// min(255, MAXVAL / 2) and 0 for the lossless syntax; interleave 0 (one component a scan),
// 1 (by line) or 2 (by sample, all components); no mapping table, no point transform.
bool lsScanHeaderFits(const std::uint8_t* p, unsigned length, const CodecExpectation& expected, const LsFrame& frame,
                      const std::array<unsigned, 4>& thresholds, std::array<bool, 3>& scanned)
{
    if (!frame.seen || length < 1)
        return false;
    const unsigned count = p[0];
    if (count < 1 || count > frame.count || length != 1 + 2 * count + 3)
        return false;
    for (unsigned s = 0; s < count; ++s)
    {
        unsigned c = 0;
        while (c < frame.count && frame.ids[c] != p[1 + 2 * s])
            ++c;
        if (c == frame.count || scanned[c] || p[2 + 2 * s] != 0)
            return false;
        scanned[c] = true;
    }
    const std::uint8_t* params = p + 1 + 2 * count;
    const unsigned nearLossless = params[0], interleave = params[1], pointTransform = params[2];
    if (nearLossless > std::min(255u, frame.maxValue / 2) || (expected.lossless && nearLossless != 0))
        return false;
    if (thresholds[0] != 0 && thresholds[0] < nearLossless + 1)
        return false;
    if (interleave > 2 || (interleave == 0) != (count == 1) || (interleave != 0 && count != frame.count))
        return false;
    return pointTransform == 0;
}

// Scan data from `at`: after an FF byte the encoder stuffs a zero bit, so a byte below 0x80
// after FF is data; a marker is FF and a byte from 0x80 up (restart markers stay in the scan).
std::size_t endOfScanData(const std::uint8_t* data, std::size_t size, std::size_t at)
{
    for (; at + 1 < size; ++at)
        if (data[at] == 0xff && data[at + 1] >= 0x80 && (data[at + 1] < 0xd0 || data[at + 1] > 0xd7))
            return at;
    return size;
}

} // namespace

bool jpegLsFrameFits(const std::uint8_t* data, std::size_t size, const CodecExpectation& expected)
{
    if (size < 4 || data[0] != 0xff || data[1] != SOI)
        return false;
    LsFrame frame;
    std::array<unsigned, 4> thresholds{};
    const std::uint8_t* earlyPresets = nullptr; ///< an LSE before the frame header
    std::array<bool, 3> scanned{};
    bool anyScan = false;
    std::size_t at = 2;
    while (true)
    {
        const int next = nextMarker(data, size, at);
        if (next < 0)
            return false;
        const std::uint8_t marker = static_cast<std::uint8_t>(next);
        if (marker == EOI)
        {
            // Every component scanned.
            for (unsigned c = 0; c < frame.count; ++c)
                if (!scanned[c])
                    return false;
            return anyScan;
        }
        const bool known = marker == SOF55 || marker == LSE || marker == SOS || marker == DRI || marker == COM ||
                           (marker >= 0xe0 && marker <= 0xef);
        if (!known || size - at < 2)
            return false;
        const unsigned segment = be16(data + at);
        if (segment < 2 || segment > size - at)
            return false;
        const std::uint8_t* p = data + at + 2;
        const unsigned length = segment - 2;
        at += segment;
        bool fits = true;
        if (marker == SOF55)
            fits = lsFrameHeaderFits(p, length, expected, frame) &&
                   (!earlyPresets || presetParametersFit(earlyPresets, 11, frame, thresholds));
        else if (marker == LSE)
        {
            fits = presetParametersFit(p, length, frame, thresholds);
            if (!frame.seen)
                earlyPresets = p;
        }
        else if (marker == DRI)
            fits = length >= 2 && length <= 4;
        else if (marker == SOS)
        {
            fits = lsScanHeaderFits(p, length, expected, frame, thresholds, scanned);
            anyScan = true;
            at = endOfScanData(data, size, at);
        }
        if (!fits)
            return false;
    }
}

} // namespace ctvolume
