#include "Jpeg2000Stream.h"

#include "Jpeg2000Codestream.h"

// The first fragment of a frame that spans several, as GDCM reads it on its own.

namespace ctvolume {

namespace {

using namespace jpeg2000;

// GDCM's marker walk (for the lossy flag): from the start, every segment skipped by its
// length up to SOD, or up to COD when that says irreversible; it reads COD's fifth and
// tenth parameter bytes whatever the length says. False when it would leave the bytes.
bool gdcmMarkerWalkStaysInside(Bytes b)
{
    std::size_t at = 0;
    while (b.size - at >= 2)
    {
        const unsigned marker = b.u16(at);
        at += 2;
        if (marker == SOD)
            return true;
        if (marker == SOC || marker == EOC || marker == 0xff92 || (marker >= 0xff30 && marker <= 0xff3f))
            continue;
        if (b.size - at < 2 || b.u16(at) < 2)
            return true; // GDCM stops here
        const std::size_t length = b.u16(at) - 2;
        at += 2;
        if (length > b.size - at)
            return false;
        if (marker == COD)
        {
            if (length < 10)
                return false;
            if (b.u8(at + 4) > 1 || b.u8(at + 9) != 1)
                return true; // GDCM stops at a transform other than reversible
        }
        at += length;
    }
    return true;
}

// The main header up to the first SOT marker, every segment inside: what OpenJPEG reads of a
// codestream before GDCM asks it for the image header.
bool mainHeaderInside(Bytes b)
{
    if (b.size < 4 || b.u16(0) != SOC)
        return false;
    std::size_t at = 2;
    while (b.size - at >= 4 && b.u16(at) != SOT)
    {
        const unsigned length = b.u16(at + 2);
        if (length < 2 || length > b.size - at - 2)
            return false;
        at += 2 + length;
    }
    return b.size - at >= 2 && b.u16(at) == SOT;
}

} // namespace

bool jpeg2000FirstFragmentFits(const std::uint8_t* data, std::size_t size)
{
    // GDCM compares the first 12 bytes with the JP2 signature whatever the size.
    if (!data || size < 12)
        return false;
    const Bytes b{data, size};
    if (!startsAsJp2(b))
        return gdcmMarkerWalkStaysInside(b) && mainHeaderInside(b);
    // Its box walk: every box skipped by its length up to jp2c, whose contents are walked.
    for (std::size_t at = 0; size - at >= 8;)
    {
        std::uint64_t length = b.u32(at);
        const std::uint32_t type = b.u32(at + 4);
        std::size_t header = 8;
        if (length == 1)
        {
            if (size - at < 16)
                return false;
            length = b.u64(at + 8), header = 16;
        }
        else if (length == 0 && type == box("jp2c")) // to the end
            length = size - at;
        if (length < header || length > size - at)
            return false;
        if (type == box("jp2c"))
        {
            const Bytes codestream{data + at + header, std::size_t(length) - header};
            return gdcmMarkerWalkStaysInside(codestream) && mainHeaderInside(codestream);
        }
        at += std::size_t(length);
    }
    return false;
}

} // namespace ctvolume
