#pragma once

// What the JPEG and JPEG-LS stream checks share: both codestreams are marker segments
// with big-endian lengths.

#include <cstddef>
#include <cstdint>

namespace ctvolume::markers {

constexpr std::uint8_t SOI = 0xd8, EOI = 0xd9, SOS = 0xda, DRI = 0xdd, COM = 0xfe;

/// The big-endian 16-bit value at `p` (segment lengths and most header fields).
inline unsigned be16(const std::uint8_t* p)
{
    return unsigned(p[0]) << 8 | p[1];
}

/// The marker code at `at` after its FF fill bytes, with `at` moved past it; -1 when the
/// byte at `at` does not start a marker or the stream ends first. A segment must be
/// followed by a marker: the decoder warns about bytes in between.
inline int nextMarker(const std::uint8_t* data, std::size_t size, std::size_t& at)
{
    if (at >= size || data[at] != 0xff)
        return -1;
    while (at < size && data[at] == 0xff)
        ++at;
    if (at >= size)
        return -1;
    return data[at++];
}

} // namespace ctvolume::markers
