#pragma once

// What the JPEG 2000 checks share: the marker codes, big-endian reads bounded by the caller,
// and how GDCM tells a JP2 file from a bare codestream.

#include <algorithm>
#include <cstddef>
#include <cstdint>

namespace ctvolume::jpeg2000 {

enum Marker : unsigned
{
    SOC = 0xff4f, SIZ = 0xff51, COD = 0xff52, COC = 0xff53, TLM = 0xff55, PLM = 0xff57, PLT = 0xff58,
    QCD = 0xff5c, QCC = 0xff5d, RGN = 0xff5e, POC = 0xff5f, PPM = 0xff60, PPT = 0xff61, CRG = 0xff63,
    COM = 0xff64, SOT = 0xff90, SOD = 0xff93, EOC = 0xffd9
};

struct Bytes
{
    const std::uint8_t* data;
    std::size_t size;

    unsigned u8(std::size_t at) const { return data[at]; }
    unsigned u16(std::size_t at) const { return unsigned(data[at]) << 8 | data[at + 1]; }
    std::uint32_t u32(std::size_t at) const { return std::uint32_t(u16(at)) << 16 | u16(at + 2); }
    std::uint64_t u64(std::size_t at) const { return std::uint64_t(u32(at)) << 32 | u32(at + 4); }
};

// A JP2 box type from its four letters.
constexpr std::uint32_t box(const char (&name)[5])
{
    return std::uint32_t(std::uint8_t(name[0])) << 24 | std::uint32_t(std::uint8_t(name[1])) << 16 |
           std::uint32_t(std::uint8_t(name[2])) << 8 | std::uint8_t(name[3]);
}

// GDCM takes a stream for a JP2 file when it starts with these 12 bytes (the signature box).
inline bool startsAsJp2(Bytes b)
{
    static constexpr std::uint8_t signature[12] = {0, 0, 0, 12, 'j', 'P', ' ', ' ', 0x0d, 0x0a, 0x87, 0x0a};
    return b.size >= 12 && std::equal(signature, signature + 12, b.data);
}

} // namespace ctvolume::jpeg2000
