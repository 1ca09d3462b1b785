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

/// Why jpeg2000StreamFits refuses the stream (a short fixed text), or null when it fits.
const char* jpeg2000StreamProblem(const std::uint8_t* data, std::size_t size, const CodecExpectation& expected);

/// True when the first fragment of a frame that spans several holds what GDCM reads of it
/// alone (for the lossy flag, before decoding): the boxes up to the codestream and its main
/// header through the first SOT marker (GDCM loses OpenJPEG's decoder when that read fails),
/// with GDCM's own walk, which trusts every length, staying inside.
bool jpeg2000FirstFragmentFits(const std::uint8_t* data, std::size_t size);

} // namespace ctvolume
