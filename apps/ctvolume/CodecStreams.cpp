#include "CodecStreams.h"

#include "Jpeg2000Stream.h"

#include <gdcmDataSet.h>
#include <gdcmFile.h>
#include <gdcmPhotometricInterpretation.h>
#include <gdcmSequenceOfFragments.h>
#include <gdcmTransferSyntax.h>

#include <string>
#include <vector>

namespace ctvolume {

namespace {

using Syntax = gdcm::TransferSyntax;

std::uint32_t u32le(const std::uint8_t* p)
{
    return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 | std::uint32_t(p[3]) << 24;
}

// Encapsulated syntaxes are explicit VR little endian, so a US value is two bytes low first.
// Number of Frames as GDCM reads it: the leading integer of the IS value; anything but a
// number above 1 is one frame.
unsigned frameCount(const gdcm::DataSet& ds)
{
    const gdcm::Tag tag(0x0028, 0x0008);
    const gdcm::ByteValue* value = ds.FindDataElement(tag) ? ds.GetDataElement(tag).GetByteValue() : nullptr;
    if (!value)
        return 1;
    const char* p = value->GetPointer();
    const char* end = p + value->GetLength();
    while (p != end && *p == ' ')
        ++p;
    if (p != end && *p == '+')
        ++p;
    std::uint64_t n = 0;
    for (; p != end && *p >= '0' && *p <= '9'; ++p)
        if ((n = n * 10 + unsigned(*p - '0')) > 0x7fffffffu)
            return 1;
    return n > 1 ? unsigned(n) : 1;
}

// Samples per Pixel as GDCM's image reader settles it: a Photometric Interpretation it
// recognises overrides (0028,0002), and its codecs assert on that count (RLE: 1 or 3; JPEG
// 2000: Csiz).
unsigned samplesGdcmUses(const gdcm::DataSet& ds)
{
    const unsigned samples = imageAttributeWord(ds, 0x0002, 1);
    const gdcm::Tag tag(0x0028, 0x0004);
    const gdcm::ByteValue* value = ds.FindDataElement(tag) ? ds.GetDataElement(tag).GetByteValue() : nullptr;
    if (!value || value->GetLength() == 0)
        return samples;
    const std::string name(value->GetPointer(), value->GetLength());
    const gdcm::PhotometricInterpretation pi = gdcm::PhotometricInterpretation::GetPIType(name.c_str());
    return pi == gdcm::PhotometricInterpretation::PI_END ? samples : pi.GetSamplesPerPixel();
}

enum class Family
{
    Unchecked,
    Rle,
    Jpeg,
    JpegLs,
    Jpeg2000
};

Family familyOf(const Syntax& syntax, JpegProcess& process)
{
    switch (Syntax::TSType(syntax))
    {
    case Syntax::RLELossless:
        return Family::Rle;
    case Syntax::JPEGBaselineProcess1:
        process = JpegProcess::Baseline;
        return Family::Jpeg;
    // The retired DCT syntaxes go to the same codec as process 2/4 and fail it the same way.
    case Syntax::JPEGExtendedProcess2_4:
    case Syntax::JPEGExtendedProcess3_5:
    case Syntax::JPEGSpectralSelectionProcess6_8:
    case Syntax::JPEGFullProgressionProcess10_12:
        process = JpegProcess::Extended;
        return Family::Jpeg;
    case Syntax::JPEGLosslessProcess14:
    case Syntax::JPEGLosslessProcess14_1:
        process = JpegProcess::Lossless;
        return Family::Jpeg;
    case Syntax::JPEGLSLossless:
    case Syntax::JPEGLSNearLossless:
        return Family::JpegLs;
    case Syntax::JPEG2000Lossless:
    case Syntax::JPEG2000:
    case Syntax::JPEG2000Part2Lossless:
    case Syntax::JPEG2000Part2:
        return Family::Jpeg2000;
    default:
        return Family::Unchecked;
    }
}

struct Span
{
    const std::uint8_t* data;
    std::size_t size;
};

// The fragments joined, for a frame that spans several of them.
class Joined
{
public:
    explicit Joined(const std::vector<Span>& parts)
    {
        if (parts.size() == 1)
        {
            m_span = parts.front();
            return;
        }
        std::size_t total = 0;
        for (const Span& part : parts)
            total += part.size;
        m_bytes.reserve(total);
        starts.clear();
        for (const Span& part : parts)
        {
            starts.push_back(m_bytes.size());
            m_bytes.insert(m_bytes.end(), part.data, part.data + part.size);
        }
        m_span = {m_bytes.data(), m_bytes.size()};
    }
    const std::uint8_t* data() const { return m_span.data; }
    std::size_t size() const { return m_span.size; }
    std::vector<std::size_t> starts{0}; ///< where each part begins

private:
    std::vector<std::uint8_t> m_bytes;
    Span m_span{};
};

// Pixel data of an encapsulated syntax written with a defined length: GDCM's JPEG 2000 codec
// reads the value again as items (the basic offset table, fragments, the sequence delimiter)
// and stops the process when the delimiter is missing, so the items are walked here first.
bool itemsOfValue(const std::uint8_t* p, std::size_t size, std::vector<Span>& fragments)
{
    std::size_t at = 0;
    for (bool table = true;; table = false)
    {
        if (size - at < 8)
            return false;
        const std::uint32_t tag = u32le(p + at), length = u32le(p + at + 4);
        at += 8;
        if (tag == 0xe0ddfffeu)
            return length == 0 && !table;
        if (tag != 0xe000fffeu || length > size - at)
            return false;
        if (!table)
            fragments.push_back({p + at, length});
        at += length;
    }
}

// JPEG frames follow one another across the fragments: GDCM's JPEG codec feeds the fragments
// in order to one decoder that suspends at the end of each and resumes with the next, and
// starts the next frame with the fragment after the one its EOI lies in (what follows an
// EOI inside a fragment is never read). The basic offset table is not used by GDCM.
bool jpegFramesFit(const std::vector<Span>& fragments, const CodecExpectation& expected, JpegProcess process)
{
    const Joined all(fragments);
    std::size_t part = 0;
    for (unsigned frame = 0; frame < expected.frames; ++frame)
    {
        if (part == fragments.size())
            return false; // fewer frames than Number of Frames
        const std::size_t start = all.starts[part];
        std::size_t end = 0, headerEnd = 0;
        if (!jpegFrameFits(all.data() + start, all.size() - start, expected, process, end, headerEnd))
            return false;
        // GDCM reads the header of the first fragment alone to learn the coding, and asserts
        // on what a header cut short leaves undefined; encoders write it whole in one fragment.
        if (headerEnd > fragments[part].size)
            return false;
        while (part < fragments.size() && all.starts[part] < start + end)
            ++part;
    }
    // A fragment after the last frame is decoded as one more image, which writes past the
    // frames' buffer (or trips an assertion when it fails).
    return part == fragments.size();
}

// A dry PackBits decode of one segment: a header byte n of 0..127 copies the next n + 1 bytes,
// -1..-127 repeats the next byte 1 - n times, -128 does nothing. The runs must fill the plane
// exactly (a run past its end would be written past the frame's buffer) without reading past
// the segment (GDCM would read on into the next one, or fail on the last). Bytes after the
// plane is full are never read by GDCM; encoders pad each segment to an even length, some
// with more, so they are accepted whatever they hold.
bool packBitsFills(const std::uint8_t* data, std::size_t size, std::uint64_t plane)
{
    std::size_t at = 0;
    std::uint64_t written = 0;
    while (written < plane)
    {
        if (at == size)
            return false;
        const int n = static_cast<std::int8_t>(data[at++]);
        if (n >= 0)
        {
            if (std::size_t(n) + 1 > size - at)
                return false;
            at += std::size_t(n) + 1;
            written += unsigned(n) + 1;
        }
        else if (n != -128)
        {
            if (at == size)
                return false;
            ++at;
            written += unsigned(1 - n);
        }
    }
    return written == plane;
}

} // namespace

unsigned imageAttributeWord(const gdcm::DataSet& ds, std::uint16_t element, unsigned fallback)
{
    const gdcm::Tag tag(0x0028, element);
    const gdcm::ByteValue* value = ds.FindDataElement(tag) ? ds.GetDataElement(tag).GetByteValue() : nullptr;
    if (!value || value->GetLength() < 2)
        return fallback;
    const auto* b = reinterpret_cast<const std::uint8_t*>(value->GetPointer());
    return unsigned(b[0] | b[1] << 8);
}

bool codecStreamsFit(const gdcm::File& file)
{
    JpegProcess process = JpegProcess::Baseline;
    const Syntax syntax = file.GetHeader().GetDataSetTransferSyntax();
    const Family family = familyOf(syntax, process);
    const gdcm::DataSet& ds = file.GetDataSet();
    const gdcm::Tag pixelTag(0x7fe0, 0x0010);
    if (family == Family::Unchecked || !ds.FindDataElement(pixelTag))
        return true;

    CodecExpectation expected;
    expected.rows = imageAttributeWord(ds, 0x0010, 0);
    expected.columns = imageAttributeWord(ds, 0x0011, 0);
    expected.samplesPerPixel = samplesGdcmUses(ds);
    expected.bitsAllocated = imageAttributeWord(ds, 0x0100, 0);
    expected.bitsStored = imageAttributeWord(ds, 0x0101, expected.bitsAllocated);
    expected.planarConfiguration = imageAttributeWord(ds, 0x0006, 0);
    expected.signedPixels = imageAttributeWord(ds, 0x0103, 0) == 1;
    expected.frames = frameCount(ds);
    expected.lossless = syntax.IsLossless();

    // GDCM's codecs assert on a frame of no bytes.
    if (expected.rows == 0 || expected.columns == 0)
        return false;

    std::vector<Span> fragments;
    const gdcm::DataElement& pixels = ds.GetDataElement(pixelTag);
    if (const gdcm::SequenceOfFragments* sequence = pixels.GetSequenceOfFragments())
    {
        for (gdcm::SequenceOfFragments::SizeType i = 0; i < sequence->GetNumberOfFragments(); ++i)
        {
            const gdcm::ByteValue* value = sequence->GetFragment(i).GetByteValue();
            // GDCM's decoders dereference the value of every fragment without looking.
            if (!value || value->GetLength() == 0)
                return false;
            fragments.push_back({reinterpret_cast<const std::uint8_t*>(value->GetPointer()), value->GetLength()});
        }
    }
    else if (const gdcm::ByteValue* value = pixels.GetByteValue())
    {
        const auto* p = reinterpret_cast<const std::uint8_t*>(value->GetPointer());
        // Only GDCM's JPEG codec (the value as one stream) and its JPEG 2000 codec (the value
        // read as items, single frame only) decode such pixel data; the others refuse it.
        if (family == Family::Jpeg)
            fragments.push_back({p, value->GetLength()});
        else if (family == Family::Jpeg2000 && expected.frames == 1)
        {
            if (!itemsOfValue(p, value->GetLength(), fragments) || fragments.empty())
                return false;
            for (const Span& fragment : fragments)
                if (fragment.size == 0)
                    return false;
        }
        else
            return true;
    }
    else
        return true;
    if (fragments.empty())
        return false;

    if (family == Family::Jpeg)
        return jpegFramesFit(fragments, expected, process);

    // RLE, JPEG-LS and JPEG 2000: a single frame is all fragments as one stream; with more
    // frames GDCM decodes one fragment a frame and refuses any other count.
    std::vector<std::vector<Span>> frames;
    if (expected.frames == 1)
        frames.push_back(fragments);
    else if (fragments.size() == expected.frames)
        for (const Span& fragment : fragments)
            frames.push_back({fragment});
    else
        return false;
    if (family == Family::Jpeg2000 && !jpeg2000FirstFragmentFits(fragments[0].data, fragments[0].size))
        return false;
    for (const std::vector<Span>& frame : frames)
    {
        const Joined stream(frame);
        const bool fits = family == Family::Rle      ? rleFrameFits(stream.data(), stream.size(), expected)
                          : family == Family::JpegLs ? jpegLsFrameFits(stream.data(), stream.size(), expected)
                                                     : jpeg2000StreamFits(stream.data(), stream.size(), expected);
        if (!fits)
            return false;
    }
    return true;
}

// The RLE frame: a 64-byte header of little-endian words (the segment count, then up to 15
// segment offsets from the frame's start), then one PackBits segment per byte plane, most
// significant byte first. GDCM divides the frame by the count it reads (0 is a division by
// zero, more than 15 reads offsets past the header), seeks to each offset and decodes until
// the plane is full; its output is copied into a buffer sized from the attributes.
bool rleFrameFits(const std::uint8_t* data, std::size_t size, const CodecExpectation& expected)
{
    // GDCM's RLE codec asserts on other sample sizes and sample counts.
    if ((expected.bitsAllocated != 8 && expected.bitsAllocated != 16 && expected.bitsAllocated != 32) ||
        (expected.samplesPerPixel != 1 && expected.samplesPerPixel != 3) || size < 64)
        return false;
    const std::uint32_t segments = u32le(data);
    if (segments < 1 || segments > 15 || segments != expected.samplesPerPixel * (expected.bitsAllocated / 8))
        return false;
    std::uint32_t offsets[16];
    for (std::uint32_t i = 0; i < segments; ++i)
    {
        offsets[i] = u32le(data + 4 + 4 * i);
        if ((i == 0 && offsets[i] != 64) || (i > 0 && offsets[i] <= offsets[i - 1]) || offsets[i] >= size)
            return false;
    }
    offsets[segments] = std::uint32_t(size);
    const std::uint64_t plane = std::uint64_t(expected.rows) * expected.columns;
    for (std::uint32_t i = 0; i < segments; ++i)
        if (!packBitsFills(data + offsets[i], offsets[i + 1] - offsets[i], plane))
            return false;
    return true;
}

} // namespace ctvolume
