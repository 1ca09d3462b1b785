#pragma once

// The JPEG 2000 codestream of one frame checked against the image attributes before
// OpenJPEG (through GDCM) decodes it.

#include "CodecStreams.h"

#include <cstddef>
#include <cstdint>

namespace ctvolume {

/// True when the JPEG 2000 codestream (or JP2 file) of one frame, `size` bytes at `data`,
/// can be handed to the decoder for an image as `expected` describes.
bool jpeg2000StreamFits(const std::uint8_t* data, std::size_t size, const CodecExpectation& expected);

} // namespace ctvolume
