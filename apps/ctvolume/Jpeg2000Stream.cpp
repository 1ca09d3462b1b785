#include "Jpeg2000Stream.h"

#include "Jpeg2000Codestream.h"

#include <algorithm>
#include <array>
#include <bitset>

// One forward pass over the box and marker structure; every read is bounds-checked against
// `size`, nothing is allocated and nothing scales with a size the stream claims (the per-tile
// record is a fixed 8 KiB bitset: a codestream has at most 65535 tiles). Packet data is not
// looked at: what tier-1/tier-2 decoding does with damaged packets no header check predicts.

namespace ctvolume {

namespace {

using namespace jpeg2000;

// Csiz must equal Samples per Pixel, which the reader limits to 1, 3 or 4.
constexpr unsigned maxComponents = 4;
constexpr unsigned maxTiles = 65535;

// What a quantization marker (QCD/QCC) declares for the subbands of a component.
struct Quantization
{
    bool present = false;
    bool derived = false; ///< scalar derived: one step size for every subband
    unsigned entries = 0; ///< step sizes (exponents) given, one a subband otherwise
};

// What one header (the main header, or the first tile-part of a tile) sets; a tile's values
// override the main header's, a component's (COC/QCC) its header's defaults (COD/QCD).
struct Coding
{
    int levels = -1; ///< decomposition levels of COD; -1 without one
    unsigned progressionChanges = 0; ///< POC entries
    std::array<int, maxComponents> componentLevels{-1, -1, -1, -1};
    Quantization quantization;
    std::array<Quantization, maxComponents> componentQuantization{};
    bool any() const
    {
        bool set = levels >= 0 || quantization.present;
        for (unsigned c = 0; c < maxComponents; ++c)
            set = set || componentLevels[c] >= 0 || componentQuantization[c].present;
        return set;
    }
};

struct Image
{
    unsigned components = 0;
    std::uint32_t tileWidth = 0, tileHeight = 0;
    unsigned tiles = 0;
    bool packedHeadersInMain = false; ///< PPM: then no tile-part may carry PPT
};

class Checker
{
public:
    Checker(Bytes bytes, const CodecExpectation& expected) : b(bytes), expected(expected) {}

    const char* problem = nullptr;

    bool fail(const char* why)
    {
        if (!problem)
            problem = why;
        return false;
    }

    // An optional JP2 wrapper: GDCM hands a stream starting with the JP2 signature box to
    // OpenJPEG's JP2 reader (some writers put whole JP2 files in DICOM) and finds the
    // codestream itself by walking the boxes up to jp2c, without checking their lengths.
    bool stream()
    {
        if (startsAsJp2(b))
            return boxes();
        return codestream(0, b.size);
    }

private:
    Bytes b;
    const CodecExpectation& expected;
    Image image;
    Coding mainHeader;

    // One box header at `at` inside [at, end): its type, the offset of its contents and its end.
    bool boxAt(std::size_t at, std::size_t end, std::uint32_t& type, std::size_t& contents, std::size_t& boxEnd)
    {
        if (end - at < 8)
            return fail("a JP2 box header runs past its end");
        const std::uint32_t length = b.u32(at);
        type = b.u32(at + 4);
        contents = at + 8;
        std::uint64_t total = length;
        if (length == 1)
        {
            if (end - at < 16)
                return fail("a JP2 box header runs past its end");
            total = b.u64(at + 8);
            contents = at + 16;
            if (total < 16)
                return fail("a JP2 box shorter than its header");
        }
        else if (length == 0)
            total = end - at; // to the end of the file
        else if (length < 8)
            return fail("a JP2 box shorter than its header");
        if (total > end - at)
            return fail("a JP2 box runs past the end of the stream");
        boxEnd = at + std::size_t(total);
        return true;
    }

    bool boxes()
    {
        std::size_t at = 0;
        bool header = false;
        for (int index = 0; at < b.size; ++index)
        {
            std::uint32_t type = 0;
            std::size_t contents = 0, end = 0;
            if (!boxAt(at, b.size, type, contents, end))
                return false;
            // OpenJPEG reads the file type box right after the signature.
            if (index == 1 && type != box("ftyp"))
                return fail("a JP2 file without its file type box second");
            if (type == box("jp2h"))
            {
                if (header)
                    return fail("two JP2 header boxes");
                header = true;
                if (!jp2Header(contents, end))
                    return false;
            }
            else if (type == box("jp2c"))
            {
                if (!header)
                    return fail("a JP2 codestream box before the JP2 header box");
                return codestream(contents, end);
            }
            at = end;
        }
        return fail("a JP2 file without a codestream box");
    }

    // The image header must describe the frame; a palette (pclr, cmap) would make OpenJPEG
    // expand one component into several, which no DICOM frame of these attributes holds
    // (DICOM keeps its palettes in the data set).
    bool jp2Header(std::size_t at, std::size_t end)
    {
        bool first = true;
        while (at < end)
        {
            std::uint32_t type = 0;
            std::size_t contents = 0, boxEnd = 0;
            if (!boxAt(at, end, type, contents, boxEnd))
                return false;
            if (first && type != box("ihdr"))
                return fail("a JP2 header box without its image header first");
            if (type == box("ihdr"))
            {
                if (boxEnd - contents != 14)
                    return fail("a JP2 image header of the wrong length");
                if (b.u32(contents) != expected.rows || b.u32(contents + 4) != expected.columns ||
                    b.u16(contents + 8) != expected.samplesPerPixel)
                    return fail("a JP2 image header that does not describe the frame");
            }
            else if (type == box("pclr") || type == box("cmap"))
                return fail("a JP2 palette");
            first = false;
            at = boxEnd;
        }
        return !first || fail("an empty JP2 header box");
    }

    // One marker segment's length field at `at` (just past the marker), inside [at, end).
    bool segment(std::size_t at, std::size_t end, unsigned& length)
    {
        if (end - at < 2)
            return fail("a marker segment length outside the stream");
        length = b.u16(at);
        if (length < 2 || length > end - at)
            return fail("a marker segment length outside the stream");
        return true;
    }

    bool codestream(std::size_t at, std::size_t end)
    {
        if (end - at < 4 || b.u16(at) != SOC || b.u16(at + 2) != SIZ)
            return fail("a codestream not starting with SOC and SIZ");
        at += 4;
        unsigned length = 0;
        if (!segment(at, end, length) || !siz(at + 2, length - 2))
            return false;
        at += length;
        if (!headerSegments(at, end, SOT, mainHeader, true, "a codestream without tile-parts"))
            return false;
        if (mainHeader.levels < 0)
            return fail("a main header without COD");
        if (!mainHeader.quantization.present)
            return fail("a main header without QCD");
        if (!consistent(nullptr))
            return false;
        return tileParts(at, end);
    }

    bool siz(std::size_t at, unsigned length)
    {
        if (length < 36)
            return fail("SIZ shorter than its fixed part");
        const unsigned components = b.u16(at + 34);
        if (components == 0 || length != 36 + 3 * components)
            return fail("SIZ length does not match its component count");
        if (components != expected.samplesPerPixel || components > maxComponents)
            return fail("SIZ component count is not Samples per Pixel");
        const std::uint64_t width = b.u32(at + 2), height = b.u32(at + 6), x0 = b.u32(at + 10), y0 = b.u32(at + 14);
        const std::uint64_t tileWidth = b.u32(at + 18), tileHeight = b.u32(at + 22), tileX0 = b.u32(at + 26),
                            tileY0 = b.u32(at + 30);
        // GDCM copies the decoded components into a frame of Rows x Columns without looking
        // at their size: a larger image writes past it, and OpenJPEG allocates what SIZ says.
        if (x0 >= width || y0 >= height || width - x0 != expected.columns || height - y0 != expected.rows)
            return fail("SIZ image size is not Columns x Rows");
        if (tileWidth == 0 || tileHeight == 0)
            return fail("SIZ tile size of zero");
        if (tileX0 > x0 || tileY0 > y0 || tileX0 + tileWidth <= x0 || tileY0 + tileHeight <= y0)
            return fail("SIZ tile grid does not cover the image origin");
        const std::uint64_t across = (width - tileX0 + tileWidth - 1) / tileWidth,
                            down = (height - tileY0 + tileHeight - 1) / tileHeight;
        if (across * down > maxTiles)
            return fail("SIZ declares more than 65535 tiles");
        // GDCM writes each decoded sample in 8, 16 or 32 bits by its precision into a frame it
        // sized with Bits Allocated (whole bytes): a wider sample overruns it. A narrower one
        // is fine in a single frame (GDCM takes the storage size from the codestream's first
        // frame before decoding), not in one of several frames, which would then disagree
        // with the first about it. Precision above Bits Stored is accepted as GDCM does:
        // writers record 16 bits for 12 stored. One precision and sign for every component
        // (OpenJPEG asks it of a codestream, GDCM of three components; four would slip by).
        const unsigned allocated = expected.bitsAllocated / 8 * 8, first = b.u8(at + 36);
        for (unsigned c = 0; c < components; ++c)
        {
            const std::size_t at3 = at + 36 + 3 * c;
            const unsigned precision = (b.u8(at3) & 0x7f) + 1, storage = precision <= 8 ? 8 : precision <= 16 ? 16 : 32;
            if (storage > allocated)
                return fail("SIZ precision above Bits Allocated");
            // 38 bits are allowed in the format; OpenJPEG refuses more than 31.
            if (precision > 31)
                return fail("SIZ precision above 31 bits");
            if (expected.frames > 1 && storage != allocated)
                return fail("SIZ precision of another storage size than Bits Allocated in a multi-frame image");
            if (b.u8(at3) != first)
                return fail("SIZ components of different precision or sign");
            // A subsampled component decodes to fewer samples than the frame has.
            if (b.u8(at3 + 1) != 1 || b.u8(at3 + 2) != 1)
                return fail("SIZ subsampled component");
        }
        image.components = components;
        image.tileWidth = std::uint32_t(tileWidth);
        image.tileHeight = std::uint32_t(tileHeight);
        image.tiles = unsigned(across * down);
        return true;
    }

    // Decomposition levels: OpenJPEG refuses, for the main header's first component only, a
    // tile smaller than 2^levels in either direction, and misbehaves on the others; the same
    // rule is applied to every COD and COC.
    bool levelsFit(unsigned levels)
    {
        if (levels > 32 || (std::uint64_t(1) << levels) > std::min(image.tileWidth, image.tileHeight))
            return fail("more decomposition levels than the tile size allows");
        return true;
    }

    // SPcod/SPcoc from `at`: levels, code-block size and style, transform, precinct sizes.
    bool codingParameters(std::size_t at, unsigned length, bool precincts, int& levels)
    {
        if (length < 5)
            return fail("COD/COC shorter than its parameters");
        const unsigned decompositions = b.u8(at), xcb = b.u8(at + 1), ycb = b.u8(at + 2), style = b.u8(at + 3),
                       transform = b.u8(at + 4);
        if (!levelsFit(decompositions))
            return false;
        if (xcb > 8 || ycb > 8 || xcb + ycb > 8)
            return fail("code-block size outside 4..1024 or above 4096 samples");
        // Bits 6 and 7 select the high-throughput block coder, not part of these transfer syntaxes.
        if (style & 0xc0)
            return fail("code-block style of another coding system");
        if (transform > 1)
            return fail("unknown wavelet transform");
        if (length != 5 + (precincts ? decompositions + 1 : 0))
            return fail("COD/COC length does not match its precinct sizes");
        if (precincts)
            for (unsigned r = 1; r <= decompositions; ++r)
            {
                const unsigned size = b.u8(at + 5 + r);
                if ((size & 0x0f) == 0 || (size >> 4) == 0)
                    return fail("precinct size of one sample above the lowest resolution");
            }
        levels = int(decompositions);
        return true;
    }

    bool quantization(std::size_t at, unsigned length, Quantization& q)
    {
        if (length < 1)
            return fail("QCD/QCC without its style");
        const unsigned style = b.u8(at) & 0x1f;
        const unsigned rest = length - 1;
        if (style == 0)
            q = {true, false, rest};
        else if (style == 1)
        {
            if (rest != 2)
                return fail("QCD/QCC scalar derived length is not one step size");
            q = {true, true, 1};
        }
        else if (style == 2)
        {
            if (rest == 0 || rest % 2)
                return fail("QCD/QCC scalar expounded length is not two bytes a subband");
            q = {true, false, rest / 2};
        }
        else
            return fail("unknown quantization style");
        if (q.entries == 0 || q.entries > 3 * 32 + 1)
            return fail("QCD/QCC subband count outside 1..97");
        return true;
    }

    bool component(std::size_t at, unsigned& c)
    {
        c = b.u8(at);
        return c < image.components || fail("COC/QCC/RGN component index beyond Csiz");
    }

    // One marker segment of the main header (`main` true) or of a tile-part header, its
    // parameters `length` bytes at `at`.
    bool headerSegment(unsigned marker, std::size_t at, unsigned length, Coding& coding, bool isMain)
    {
        switch (marker)
        {
        case COD: {
            if (coding.levels >= 0)
                return fail("two COD in one header");
            if (length < 5)
                return fail("COD shorter than its parameters");
            const unsigned style = b.u8(at), order = b.u8(at + 1), layers = b.u16(at + 2), mct = b.u8(at + 4);
            if (style & ~0x07u)
                return fail("unknown COD coding style bits");
            if (order > 4)
                return fail("unknown progression order");
            if (layers == 0)
                return fail("COD with zero layers");
            // The component transform works on the first three components.
            if (mct > 1 || (mct == 1 && image.components != 3))
                return fail("component transform without three components");
            return codingParameters(at + 5, length - 5, style & 1, coding.levels);
        }
        case COC: {
            unsigned c = 0;
            if (length < 2 || !component(at, c))
                return fail("COC shorter than its parameters");
            if (coding.componentLevels[c] >= 0)
                return fail("two COC for one component in one header");
            const unsigned style = b.u8(at + 1);
            if (style & ~0x01u)
                return fail("unknown COC coding style bits");
            return codingParameters(at + 2, length - 2, style & 1, coding.componentLevels[c]);
        }
        case QCD:
            if (coding.quantization.present)
                return fail("two QCD in one header");
            return quantization(at, length, coding.quantization);
        case QCC: {
            unsigned c = 0;
            if (length < 2 || !component(at, c))
                return fail("QCC shorter than its parameters");
            if (coding.componentQuantization[c].present)
                return fail("two QCC for one component in one header");
            return quantization(at + 1, length - 1, coding.componentQuantization[c]);
        }
        case RGN: {
            unsigned c = 0;
            if (length != 3 || !component(at, c))
                return fail("RGN length is not 5");
            // OpenJPEG shifts 32-bit coefficients by the amount.
            if (b.u8(at + 1) != 0 || b.u8(at + 2) >= 31)
                return fail("RGN style or shift out of range");
            return true;
        }
        case POC: {
            if (length == 0 || length % 7)
                return fail("POC length is not seven bytes a change");
            // OpenJPEG keeps at most 31 changes a header.
            coding.progressionChanges += length / 7;
            if (coding.progressionChanges > 31)
                return fail("more than 31 progression order changes in one header");
            for (std::size_t p = at; p < at + length; p += 7)
            {
                const unsigned rs = b.u8(p), cs = b.u8(p + 1), layerEnd = b.u16(p + 2), re = b.u8(p + 4),
                               ce = b.u8(p + 5), order = b.u8(p + 6);
                // Component end 0 means 256, beyond Csiz here.
                if (rs > 32 || re <= rs || re > 33 || cs >= ce || ce > image.components || layerEnd == 0 ||
                    order > 4)
                    return fail("POC resolution, component, layer or order out of range");
            }
            return true;
        }
        case TLM: {
            if (!isMain || length < 2)
                return fail("TLM outside the main header or too short");
            const unsigned style = b.u8(at + 1), st = (style >> 4) & 3, sp = (style >> 6) & 1;
            if ((style & ~0x70u) || st == 3)
                return fail("unknown TLM style");
            const unsigned entry = st + (sp ? 4 : 2);
            if ((length - 2) % entry)
                return fail("TLM length is not whole entries");
            return true;
        }
        case PLM:
        case PPM:
            // OpenJPEG wants packed packet headers to hold more than their index.
            if (!isMain || length < (marker == PPM ? 2u : 1u))
                return fail("PLM/PPM outside the main header or empty");
            if (marker == PPM)
                image.packedHeadersInMain = true;
            return true;
        case PLT:
        case PPT:
            if (isMain || length < (marker == PPT ? 2u : 1u))
                return fail("PLT/PPT in the main header or empty");
            // OpenJPEG refuses packet lengths whose last one goes on past the segment.
            if (marker == PLT && length > 1 && (b.u8(at + length - 1) & 0x80))
                return fail("PLT ends inside a packet length");
            if (marker == PPT && image.packedHeadersInMain)
                return fail("PPT in a stream with PPM");
            return true;
        case CRG:
            if (!isMain || length != 4 * image.components)
                return fail("CRG outside the main header or of the wrong length");
            return true;
        case COM:
            return length >= 2 || fail("COM without its registration");
        default:
            // SIZ again, SOD or EOC out of place, the extensions' markers (component transforms,
            // high throughput), anything else: OpenJPEG skips unknown markers by searching for
            // the next known one.
            return fail("unexpected marker in a header");
        }
    }

    // The segments of a header from `at` up to the marker `stop` (SOT ends the main header,
    // SOD a tile-part's), each inside [at, end); `at` is left on `stop`. Coding, quantization
    // and region markers belong in the main header or a tile's first tile-part.
    bool headerSegments(std::size_t& at, std::size_t end, unsigned stop, Coding& coding, bool first, const char* missing)
    {
        const bool isMain = stop == SOT;
        for (;;)
        {
            if (end - at < 2)
                return fail(missing);
            const unsigned marker = b.u16(at);
            if (marker == stop)
                return true;
            if (!first && (marker == COD || marker == COC || marker == QCD || marker == QCC || marker == RGN))
                return fail("COD/COC/QCD/QCC/RGN after a tile's first tile-part");
            unsigned length = 0;
            if (!segment(at + 2, end, length) || !headerSegment(marker, at + 4, length - 2, coding, isMain))
                return false;
            at += 2 + length;
        }
    }

    // Per component, the levels and quantization in force (a tile's first tile-part
    // overriding the main header), and the subbands they must describe.
    bool consistent(const Coding* tile)
    {
        for (unsigned c = 0; c < image.components; ++c)
        {
            int levels = mainHeader.componentLevels[c] >= 0 ? mainHeader.componentLevels[c] : mainHeader.levels;
            Quantization q = mainHeader.componentQuantization[c].present ? mainHeader.componentQuantization[c]
                                                                       : mainHeader.quantization;
            if (tile)
            {
                if (tile->componentLevels[c] >= 0)
                    levels = tile->componentLevels[c];
                else if (tile->levels >= 0)
                    levels = tile->levels;
                if (tile->componentQuantization[c].present)
                    q = tile->componentQuantization[c];
                else if (tile->quantization.present)
                    q = tile->quantization;
            }
            if (!q.derived && q.entries != unsigned(3 * levels + 1))
                return fail("quantization subband count does not match the decomposition levels");
        }
        return true;
    }

    bool tileParts(std::size_t at, std::size_t end)
    {
        std::bitset<maxTiles> started;
        for (;;)
        {
            if (end - at < 2)
                return fail("a codestream without EOC");
            const unsigned marker = b.u16(at);
            if (marker == EOC)
                return true; // what follows is padding: OpenJPEG stops at EOC
            if (marker != SOT)
                return fail("neither SOT nor EOC after a tile-part");
            if (end - at < 12 || b.u16(at + 2) != 10)
                return fail("SOT length is not 10");
            const unsigned tile = b.u16(at + 4), part = b.u8(at + 10), parts = b.u8(at + 11);
            const std::uint32_t length = b.u32(at + 6);
            if (tile >= image.tiles)
                return fail("SOT tile index beyond the tile count");
            // TNsot one short of the tile-parts written is a known writer's fault (the JP2 of
            // pydicom's GDCMJ2K_TextGBR.dcm) that OpenJPEG corrects for; beyond that, refused.
            if (parts != 0 && part > parts)
                return fail("SOT tile-part index beyond the tile-part count");
            // Tile-parts of a tile come in order: the first one (index 0) before any other.
            if ((part == 0) == started[tile])
                return fail("SOT tile-part out of order");
            started[tile] = true;
            // Psot 0: the tile-part runs to the EOC that ends the stream. GDCM drops whatever
            // follows the last 0xD9 byte before OpenJPEG reads it.
            std::size_t partEnd = 0;
            if (length == 0)
            {
                std::size_t last = end;
                while (last > at && b.data[last - 1] != 0xd9)
                    --last;
                if (last < at + 14 + 2 || b.u16(last - 2) != EOC)
                    return fail("a last tile-part without EOC after it");
                partEnd = last - 2;
            }
            else
            {
                if (length < 14 || length > end - at)
                    return fail("SOT tile-part length outside the stream");
                partEnd = at + length;
            }
            if (!tilePartHeader(at + 12, partEnd, part == 0))
                return false;
            at = partEnd;
        }
    }

    bool tilePartHeader(std::size_t at, std::size_t end, bool first)
    {
        Coding tile;
        if (!headerSegments(at, end, SOD, tile, first, "a tile-part header without SOD"))
            return false;
        return !tile.any() || consistent(&tile);
    }
};

} // namespace

const char* jpeg2000StreamProblem(const std::uint8_t* data, std::size_t size, const CodecExpectation& expected)
{
    if (!data)
        return "no stream";
    Checker checker({data, size}, expected);
    return checker.stream() ? nullptr : checker.problem;
}

bool jpeg2000StreamFits(const std::uint8_t* data, std::size_t size, const CodecExpectation& expected)
{
    return jpeg2000StreamProblem(data, size, expected) == nullptr;
}

} // namespace ctvolume
