#pragma once

// Checks of the compressed pixel streams of a DICOM file, done before GDCM decodes them.
// GDCM's codecs stop the process (assertions compiled into release builds) or read and
// write out of bounds on some damaged streams; the image attributes tell what every frame
// must decode to, so a stream whose headers disagree with them, or whose segments run past
// their end, is refused before it reaches a codec.

#include <cstddef>
#include <cstdint>

namespace gdcm {
class DataSet;
class File;
}

namespace ctvolume {

/// What the image attributes say one frame decodes to (and what the transfer syntax promises).
struct CodecExpectation
{
    unsigned rows = 0;                ///< (0028,0010)
    unsigned columns = 0;             ///< (0028,0011)
    unsigned samplesPerPixel = 1;     ///< (0028,0002); for JPEG 2000, as GDCM settles it with (0028,0004)
    unsigned bitsAllocated = 0;       ///< (0028,0100)
    unsigned bitsStored = 0;          ///< (0028,0101); Bits Allocated when absent
    unsigned frames = 1;              ///< (0028,0008); 1 when absent or not a positive number
    unsigned planarConfiguration = 0; ///< (0028,0006)
    bool signedPixels = false;        ///< Pixel Representation (0028,0103) is 1
    bool lossless = false;            ///< the transfer syntax promises lossless coding
};

/// An unsigned 16-bit image attribute (0028,`element`) as GDCM holds it (native order), or
/// `fallback` when it is absent or shorter than two bytes.
unsigned imageAttributeWord(const gdcm::DataSet& ds, std::uint16_t element, unsigned fallback);

/// True when the pixel data of `file` is native, in a compressed syntax not checked here, or
/// every frame of it is a stream its codec can take: frames found the way GDCM's decoders
/// find them (one fragment a frame in multi-frame RLE, JPEG-LS and JPEG 2000, all fragments
/// as one stream for a single frame, JPEG frames one after another across fragments), each
/// checked against the attributes. Reads only; bounded by the size of the pixel data.
bool codecStreamsFit(const gdcm::File& file);

/// One RLE frame: its header and a dry decode of every segment.
bool rleFrameFits(const std::uint8_t* data, std::size_t size, const CodecExpectation& expected);

/// The JPEG processes, as their transfer syntaxes name them.
enum class JpegProcess
{
    Baseline, ///< process 1: 8-bit Huffman DCT
    Extended, ///< processes 2 and 4 (and the retired DCT syntaxes): 8 or 12 bits
    Lossless  ///< processes 14 and 14 selection value 1: 2 to 16 bits
};

/// One JPEG frame from its SOI through its EOI; on success `end` is the offset just past the
/// EOI and `headerEnd` the offset just past the first scan header (what the decoder reads as
/// the header).
bool jpegFrameFits(const std::uint8_t* data, std::size_t size, const CodecExpectation& expected, JpegProcess process,
                   std::size_t& end, std::size_t& headerEnd);

/// One JPEG-LS frame from its SOI through its EOI.
bool jpegLsFrameFits(const std::uint8_t* data, std::size_t size, const CodecExpectation& expected);

} // namespace ctvolume
