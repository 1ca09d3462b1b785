// JPEG 2000 frames checked before GDCM (OpenJPEG) decodes them: GDCM's streams, as written
// and edited in ways the format allows (tiles, tile-parts, a JP2 wrapper), pass and decode to
// their values; each damage the check knows is refused for its own reason, and a DICOM file
// carrying such a stream is the reader's error line, never a crash of the process.
#include "Dicom.h"
#include "Jpeg2000Stream.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include <gdcmImageChangeTransferSyntax.h>
#include <gdcmImageWriter.h>
#include <gdcmJPEG2000Codec.h>
#include <gdcmSequenceOfFragments.h>
#include <gdcmTrace.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;
using ctvolume::CodecExpectation;

struct Frame
{
    int width, height, samples, bits;
    bool lossless;
    int tile = 0;        ///< square tiles of this size; 0: one tile
    int resolutions = 0; ///< 0: GDCM's choice
};

// Stored values of a synthetic frame (interleaved samples), below 2^bits.
std::vector<std::uint16_t> values(const Frame& f)
{
    std::vector<std::uint16_t> v(std::size_t(f.width * f.height * f.samples));
    for (std::size_t i = 0; i < v.size(); ++i)
        v[i] = std::uint16_t((i * 2654435761u >> 7) % (1u << f.bits));
    return v;
}

gdcm::SmartPointer<gdcm::Image> nativeImage(const Frame& f)
{
    gdcm::SmartPointer<gdcm::Image> image = new gdcm::Image;
    image->SetNumberOfDimensions(2);
    image->SetDimension(0, unsigned(f.width));
    image->SetDimension(1, unsigned(f.height));
    const unsigned short allocated = f.bits > 8 ? 16 : 8;
    image->SetPixelFormat(gdcm::PixelFormat(static_cast<unsigned short>(f.samples), allocated,
                                            static_cast<unsigned short>(f.bits), static_cast<unsigned short>(f.bits - 1), 0));
    image->SetPhotometricInterpretation(f.samples == 3 ? gdcm::PhotometricInterpretation::RGB
                                                       : gdcm::PhotometricInterpretation::MONOCHROME2);
    image->SetTransferSyntax(gdcm::TransferSyntax::ExplicitVRLittleEndian);
    std::vector<char> bytes;
    for (const std::uint16_t v : values(f))
    {
        bytes.push_back(char(v & 0xff));
        if (allocated == 16)
            bytes.push_back(char(v >> 8));
    }
    gdcm::DataElement pixels(gdcm::Tag(0x7fe0, 0x0010));
    pixels.SetByteValue(bytes.data(), std::uint32_t(bytes.size()));
    image->SetDataElement(pixels);
    return image;
}

// The codestream GDCM writes for the frame.
Bytes encode(const Frame& f)
{
    gdcm::Trace::SetWarning(false);
    gdcm::JPEG2000Codec codec;
    if (f.tile)
        codec.SetTileSize(unsigned(f.tile), unsigned(f.tile));
    if (f.resolutions)
        codec.SetNumberOfResolutions(unsigned(f.resolutions));
    codec.SetReversible(f.lossless);
    if (!f.lossless)
        codec.SetQuality(0, 30);
    gdcm::ImageChangeTransferSyntax change;
    change.SetTransferSyntax(f.lossless ? gdcm::TransferSyntax::JPEG2000Lossless : gdcm::TransferSyntax::JPEG2000);
    change.SetUserCodec(&codec);
    change.SetInput(*nativeImage(f));
    if (!change.Change())
        return {};
    const gdcm::SequenceOfFragments* fragments = change.GetOutput().GetDataElement().GetSequenceOfFragments();
    if (!fragments || fragments->GetNumberOfFragments() != 1)
        return {};
    const gdcm::ByteValue* value = fragments->GetFragment(0).GetByteValue();
    Bytes stream(value->GetPointer(), value->GetPointer() + value->GetLength());
    while (!stream.empty() && stream.back() != 0xd9) // GDCM pads fragments to an even length
        stream.pop_back();
    return stream;
}

CodecExpectation expectationOf(const Frame& f)
{
    CodecExpectation e;
    e.rows = unsigned(f.height);
    e.columns = unsigned(f.width);
    e.samplesPerPixel = unsigned(f.samples);
    e.bitsAllocated = f.bits > 8 ? 16 : 8;
    e.bitsStored = unsigned(f.bits);
    e.lossless = f.lossless;
    return e;
}

// A DICOM file of one frame whose stream is `stream` cut into fragments at `cuts`.
bool writeEncapsulated(const QString& path, const Frame& f, const Bytes& stream, const std::vector<std::size_t>& cuts = {})
{
    gdcm::SmartPointer<gdcm::Image> image = nativeImage(f);
    gdcm::SmartPointer<gdcm::SequenceOfFragments> fragments = new gdcm::SequenceOfFragments;
    std::size_t from = 0;
    for (std::size_t i = 0; i <= cuts.size(); ++i)
    {
        const std::size_t to = i < cuts.size() ? cuts[i] : stream.size();
        Bytes piece(stream.begin() + std::ptrdiff_t(from), stream.begin() + std::ptrdiff_t(to));
        if (piece.size() % 2)
            piece.push_back(0); // the last one: GDCM drops what follows the last 0xD9 byte
        gdcm::Fragment fragment;
        fragment.SetByteValue(reinterpret_cast<const char*>(piece.data()), std::uint32_t(piece.size()));
        fragments->AddFragment(fragment);
        from = to;
    }
    gdcm::DataElement pixels(gdcm::Tag(0x7fe0, 0x0010));
    pixels.SetVR(gdcm::VR::OB);
    pixels.SetValue(*fragments);
    image->SetDataElement(pixels);
    image->SetTransferSyntax(f.lossless ? gdcm::TransferSyntax::JPEG2000Lossless : gdcm::TransferSyntax::JPEG2000);
    gdcm::ImageWriter writer;
    writer.SetImage(*image);
    writer.SetFileName(QFile::encodeName(path).constData());
    return writer.Write();
}

// Marker-level editing of a codestream (no JP2 wrapper).
unsigned u16(const Bytes& s, std::size_t at) { return unsigned(s[at]) << 8 | s[at + 1]; }
void put16(Bytes& s, std::size_t at, unsigned v) { s[at] = std::uint8_t(v >> 8), s[at + 1] = std::uint8_t(v); }
void put32(Bytes& s, std::size_t at, std::uint32_t v) { put16(s, at, v >> 16), put16(s, at + 2, v & 0xffff); }
std::uint32_t u32(const Bytes& s, std::size_t at) { return std::uint32_t(u16(s, at)) << 16 | u16(s, at + 2); }

// Offset of the first `marker` of the main header (or the first SOT), walking the segments.
std::size_t find(const Bytes& s, unsigned marker)
{
    for (std::size_t at = 2; at + 4 <= s.size(); at += 2 + u16(s, at + 2))
        if (u16(s, at) == marker || u16(s, at) == 0xff90)
            return u16(s, at) == marker ? at : std::string::npos;
    return std::string::npos;
}
std::size_t sot(const Bytes& s) { return find(s, 0xff90); }

// A marker segment inserted before the first tile-part.
void insertMain(Bytes& s, unsigned marker, const Bytes& parameters)
{
    Bytes segment = {std::uint8_t(marker >> 8), std::uint8_t(marker), 0, 0};
    segment.insert(segment.end(), parameters.begin(), parameters.end());
    put16(segment, 2, unsigned(parameters.size() + 2));
    s.insert(s.begin() + std::ptrdiff_t(sot(s)), segment.begin(), segment.end());
}

// A marker segment inserted into the header of the first tile-part (its Psot grown to match).
void insertTile(Bytes& s, unsigned marker, const Bytes& parameters)
{
    const std::size_t at = sot(s);
    Bytes segment = {std::uint8_t(marker >> 8), std::uint8_t(marker), 0, 0};
    segment.insert(segment.end(), parameters.begin(), parameters.end());
    put16(segment, 2, unsigned(parameters.size() + 2));
    s.insert(s.begin() + std::ptrdiff_t(at + 12), segment.begin(), segment.end());
    put32(s, at + 6, u32(s, at + 6) + std::uint32_t(segment.size()));
}

// An empty second tile-part of tile 0 (valid: a tile-part may carry no packets) before EOC.
void appendTilePart(Bytes& s, unsigned part = 1)
{
    put16(s, sot(s) + 10, 0); // TNsot unknown, as the writers that split tiles often leave it
    const Bytes tilePart = {0xff, 0x90, 0, 10, 0, 0, 0, 0, 0, 14, std::uint8_t(part), 0, 0xff, 0x93};
    s.insert(s.end() - 2, tilePart.begin(), tilePart.end());
}

// The codestream in a JP2 file: signature, file type, header (image header, colour) and codestream boxes.
Bytes jp2(const Bytes& codestream, const CodecExpectation& e, const std::function<void(Bytes&)>& edit = {})
{
    auto box = [](const char* type, const Bytes& contents) {
        Bytes b = {0, 0, 0, 0, std::uint8_t(type[0]), std::uint8_t(type[1]), std::uint8_t(type[2]), std::uint8_t(type[3])};
        b.insert(b.end(), contents.begin(), contents.end());
        put32(b, 0, std::uint32_t(b.size()));
        return b;
    };
    Bytes ihdr(14, 0);
    put32(ihdr, 0, e.rows);
    put32(ihdr, 4, e.columns);
    put16(ihdr, 8, e.samplesPerPixel);
    ihdr[10] = std::uint8_t(e.bitsStored - 1), ihdr[11] = 7;
    Bytes header = box("ihdr", ihdr);
    const Bytes colour = box("colr", {1, 0, 0, 0, 0, 0, std::uint8_t(e.samplesPerPixel == 3 ? 16 : 17)});
    header.insert(header.end(), colour.begin(), colour.end());
    Bytes file = box("jP  ", {0x0d, 0x0a, 0x87, 0x0a});
    for (const Bytes& b : {box("ftyp", {'j', 'p', '2', ' ', 0, 0, 0, 0, 'j', 'p', '2', ' '}), box("jp2h", header),
                           box("jp2c", codestream)})
        file.insert(file.end(), b.begin(), b.end());
    if (edit)
        edit(file);
    return file;
}

const Frame mono16{24, 20, 1, 16, true, 0, 4};
const Frame signed12{17, 9, 1, 12, true, 0, 2};
const Frame lossy8{32, 32, 1, 8, false, 0, 3};
const Frame rgbLossy{16, 12, 3, 8, false, 0, 2};
const Frame tiled{40, 33, 1, 16, true, 16, 3};

struct Damage
{
    const char* name;
    Frame frame;
    std::function<void(Bytes&, CodecExpectation&)> damage;
    const char* problem; ///< null: the stream still fits
};

class Jpeg2000Streams : public ::testing::TestWithParam<Damage>
{
protected:
    static void SetUpTestSuite() { gdcm::Trace::SetWarning(false); }
    QTemporaryDir dir;
};

// Each stream, damaged as the row says, is refused for that reason; a DICOM file holding it is
// refused by the reader with its error for damaged files (or, when it fits, decodes to the
// frame's values when lossless), in this process.
TEST_P(Jpeg2000Streams, AreRefusedForTheirDamage)
{
    const Damage& d = GetParam();
    Bytes stream = encode(d.frame);
    ASSERT_FALSE(stream.empty());
    CodecExpectation expected = expectationOf(d.frame);
    ASSERT_EQ(ctvolume::jpeg2000StreamProblem(stream.data(), stream.size(), expected), nullptr);
    d.damage(stream, expected);
    const char* problem = ctvolume::jpeg2000StreamProblem(stream.data(), stream.size(), expected);
    if (d.problem)
    {
        EXPECT_STREQ(problem, d.problem);
    }
    else
    {
        EXPECT_EQ(problem, nullptr) << problem;
    }
    EXPECT_EQ(ctvolume::jpeg2000StreamFits(stream.data(), stream.size(), expected), problem == nullptr);
    // Through a file only where the attributes of the written frame are those checked.
    const CodecExpectation written = expectationOf(d.frame);
    if (std::memcmp(&written, &expected, sizeof expected) != 0)
        return;
    const QString path = dir.filePath(QStringLiteral("frame.dcm"));
    ASSERT_TRUE(writeEncapsulated(path, d.frame, stream));
    tool::LoadedImage image;
    QString error;
    const bool read = tool::readDicom(path, image, error);
    if (d.problem)
    {
        EXPECT_FALSE(read);
        EXPECT_EQ(error, QStringLiteral("not a readable DICOM image (damaged, truncated or without pixel data)"));
    }
    else
    {
        ASSERT_TRUE(read) << qPrintable(error);
        if (!d.frame.lossless || d.frame.samples != 1)
            return; // lossy, or colour made gray
        const auto expectedValues = values(d.frame);
        ASSERT_EQ(image.image.getNumPixels(), expectedValues.size());
        for (std::size_t i = 0; i < expectedValues.size(); ++i)
            ASSERT_EQ(image.image.getData<std::uint16_t>()[i], expectedValues[i]) << i;
    }
}

// Offsets from the SIZ marker (itself at offset 2 of the stream) of its fields.
constexpr std::size_t Xsiz = 6, Ysiz = 10, XOsiz = 14, XTsiz = 22, YTsiz = 26, XTOsiz = 30, Ssiz = 40;
// COD parameters from the marker: Scod, progression, layers, MCT, levels, xcb, ycb, style, transform.
constexpr std::size_t Scod = 4, order = 5, layers = 6, mct = 8, levels = 9, xcb = 10, cbstyle = 12, transform = 13;
// SOT parameters from the marker.
constexpr std::size_t Lsot = 2, Isot = 4, Psot = 6, TPsot = 10, TNsot = 11;

auto at(unsigned marker, std::size_t offset, unsigned value)
{
    return [=](Bytes& s, CodecExpectation&) { s[find(s, marker) + offset] = std::uint8_t(value); };
}
auto at16(unsigned marker, std::size_t offset, unsigned value)
{
    return [=](Bytes& s, CodecExpectation&) { put16(s, find(s, marker) + offset, value); };
}
auto at32(unsigned marker, std::size_t offset, std::uint32_t value)
{
    return [=](Bytes& s, CodecExpectation&) { put32(s, find(s, marker) + offset, value); };
}
auto inMain(unsigned marker, Bytes parameters)
{
    return [=](Bytes& s, CodecExpectation&) { insertMain(s, marker, parameters); };
}
auto inTile(unsigned marker, Bytes parameters)
{
    return [=](Bytes& s, CodecExpectation&) { insertTile(s, marker, parameters); };
}

constexpr unsigned SIZ = 0xff51, COD = 0xff52, QCD = 0xff5c, COM = 0xff64, SOT = 0xff90;

INSTANTIATE_TEST_SUITE_P(
    Fits, Jpeg2000Streams,
    ::testing::Values(
        Damage{"Lossless16", mono16, [](Bytes&, CodecExpectation&) {}, nullptr},
        Damage{"Lossless12", signed12, [](Bytes&, CodecExpectation&) {}, nullptr},
        Damage{"Lossy8", lossy8, [](Bytes&, CodecExpectation&) {}, nullptr},
        Damage{"LossyRgb", rgbLossy, [](Bytes&, CodecExpectation&) {}, nullptr},
        Damage{"Tiled", tiled, [](Bytes&, CodecExpectation&) {}, nullptr},
        // GDCM records 16 bits of precision for 12 bits stored; a lower precision is read as is.
        Damage{"PrecisionAboveBitsStored", signed12, [](Bytes&, CodecExpectation& e) { e.bitsStored = 8; }, nullptr},
        // GDCM stores such a frame in 8 bits, taking the size from the codestream.
        Damage{"PrecisionBelowBitsAllocated", lossy8, [](Bytes&, CodecExpectation& e) { e.bitsAllocated = 16; }, nullptr},
        Damage{"PaddingAfterEoc", mono16, [](Bytes& s, CodecExpectation&) { s.push_back(0); }, nullptr},
        Damage{"LastTilePartToEoc", tiled,
               [](Bytes& s, CodecExpectation&) {
                   std::size_t last = sot(s);
                   while (u16(s, last + u32(s, last + Psot)) == 0xff90)
                       last += u32(s, last + Psot);
                   put32(s, last + Psot, 0);
               },
               nullptr},
        Damage{"EmptySecondTilePart", mono16, [](Bytes& s, CodecExpectation&) { appendTilePart(s); }, nullptr},
        // One writer counts tile-parts one short; OpenJPEG corrects for it.
        Damage{"TilePartCountOneShort", mono16,
               [](Bytes& s, CodecExpectation&) {
                   appendTilePart(s);
                   s[sot(s) + TNsot] = s[s.size() - 16 + TNsot] = 1;
               },
               nullptr},
        Damage{"CommentInTilePart", mono16, inTile(COM, {0, 1, 'x', 'y'}), nullptr},
        Damage{"Jp2File", mono16, [](Bytes& s, CodecExpectation& e) { s = jp2(s, e); }, nullptr}),
    [](const auto& info) { return std::string(info.param.name); });

INSTANTIATE_TEST_SUITE_P(
    Damaged, Jpeg2000Streams,
    ::testing::Values(
        Damage{"NoSoc", mono16, [](Bytes& s, CodecExpectation&) { s[1] = 0x50; }, "a codestream not starting with SOC and SIZ"},
        Damage{"SizLength", mono16, at16(SIZ, 2, 41 + 3), "SIZ length does not match its component count"},
        Damage{"ComponentsNotSamples", mono16, [](Bytes&, CodecExpectation& e) { e.samplesPerPixel = 3; },
               "SIZ component count is not Samples per Pixel"},
        Damage{"WidthNotColumns", mono16, at32(SIZ, Xsiz, 25), "SIZ image size is not Columns x Rows"},
        Damage{"OffsetBeyondSize", mono16, at32(SIZ, XOsiz, 24), "SIZ image size is not Columns x Rows"},
        Damage{"TileWidthZero", mono16, at32(SIZ, XTsiz, 0), "SIZ tile size of zero"},
        Damage{"TileGridAfterOrigin", mono16, at32(SIZ, XTOsiz, 1), "SIZ tile grid does not cover the image origin"},
        Damage{"TileGridBeforeOrigin", mono16,
               [](Bytes& s, CodecExpectation&) { put32(s, 2 + Xsiz, 24 + 30), put32(s, 2 + XOsiz, 30), put32(s, 2 + XTsiz, 30); },
               "SIZ tile grid does not cover the image origin"},
        Damage{"MoreThan65535Tiles", mono16,
               [](Bytes& s, CodecExpectation& e) {
                   put32(s, 2 + Xsiz, 300), put32(s, 2 + Ysiz, 300), put32(s, 2 + XTsiz, 1), put32(s, 2 + YTsiz, 1);
                   e.columns = e.rows = 300;
               },
               "SIZ declares more than 65535 tiles"},
        Damage{"PrecisionAboveBitsAllocated", mono16, at(SIZ, Ssiz, 16), "SIZ precision above Bits Allocated"},
        Damage{"BitsAllocatedBelowPrecision", mono16, [](Bytes&, CodecExpectation& e) { e.bitsAllocated = 8; },
               "SIZ precision above Bits Allocated"},
        Damage{"PrecisionAboveWholeBytesAllocated", signed12, [](Bytes&, CodecExpectation& e) { e.bitsAllocated = 12; },
               "SIZ precision above Bits Allocated"},
        Damage{"FrameOfNarrowerPrecisionAmongSeveral", lossy8, [](Bytes&, CodecExpectation& e) { e.bitsAllocated = 16, e.frames = 2; },
               "SIZ precision of another storage size than Bits Allocated in a multi-frame image"},
        Damage{"ComponentsOfDifferentPrecision", rgbLossy, [](Bytes& s, CodecExpectation&) { s[2 + Ssiz + 3] = 6; },
               "SIZ components of different precision or sign"},
        Damage{"PrecisionAbove31", mono16, [](Bytes& s, CodecExpectation& e) { s[2 + Ssiz] = 31, e.bitsAllocated = 64; },
               "SIZ precision above 31 bits"},
        Damage{"SubsampledComponent", mono16, at(SIZ, Ssiz + 1, 2), "SIZ subsampled component"},
        Damage{"SegmentPastTheEnd", mono16, at16(COM, 2, 0xfff0), "a marker segment length outside the stream"},
        Damage{"SegmentLengthBelowTwo", mono16, at16(COM, 2, 1), "a marker segment length outside the stream"},
        Damage{"NoTilePart", mono16, [](Bytes& s, CodecExpectation&) { s.erase(s.begin() + std::ptrdiff_t(sot(s)), s.end()); }, "a codestream without tile-parts"},
        Damage{"NoCod", mono16, at16(COD, 0, COM), "a main header without COD"},
        Damage{"NoQcd", mono16, at16(QCD, 0, COM), "a main header without QCD"},
        Damage{"TwoCod", mono16, inMain(COD, {0, 0, 0, 1, 0, 4, 4, 4, 0, 1}), "two COD in one header"},
        Damage{"CodStyleBits", mono16, at(COD, Scod, 0x08), "unknown COD coding style bits"},
        Damage{"ProgressionOrder", mono16, at(COD, order, 5), "unknown progression order"},
        Damage{"ZeroLayers", mono16, at16(COD, layers, 0), "COD with zero layers"},
        Damage{"ComponentTransformOnGray", mono16, at(COD, mct, 1), "component transform without three components"},
        Damage{"LevelsAbove32", tiled, at(COD, levels, 33), "more decomposition levels than the tile size allows"},
        Damage{"LevelsAboveTheTile", mono16, at(COD, levels, 5), "more decomposition levels than the tile size allows"},
        Damage{"CodeBlockTooWide", mono16, at(COD, xcb, 9), "code-block size outside 4..1024 or above 4096 samples"},
        Damage{"CodeBlockTooLarge", mono16, at(COD, xcb, 7), "code-block size outside 4..1024 or above 4096 samples"},
        Damage{"HighThroughputBlocks", mono16, at(COD, cbstyle, 0x40), "code-block style of another coding system"},
        Damage{"WaveletTransform", mono16, at(COD, transform, 2), "unknown wavelet transform"},
        Damage{"PrecinctsWithoutSizes", mono16, at(COD, Scod, 1), "COD/COC length does not match its precinct sizes"},
        Damage{"PrecinctOfOneSample", mono16, inMain(0xff53, {0, 1, 3, 4, 4, 0, 1, 0x77, 0x77, 0x70, 0x77}),
               "precinct size of one sample above the lowest resolution"},
        Damage{"CocComponent", mono16, inMain(0xff53, {1, 0, 3, 4, 4, 0, 1}), "COC/QCC/RGN component index beyond Csiz"},
        Damage{"QccComponent", mono16, inMain(0xff5d, {2, 0x40, 0x80}), "COC/QCC/RGN component index beyond Csiz"},
        Damage{"QuantizationStyle", mono16, at(QCD, 4, 0x43), "unknown quantization style"},
        Damage{"SubbandsNotLevels", mono16, at(COD, levels, 2), "quantization subband count does not match the decomposition levels"},
        Damage{"ComponentSubbandsNotLevels", mono16, inMain(0xff53, {0, 0, 2, 4, 4, 0, 1}),
               "quantization subband count does not match the decomposition levels"},
        Damage{"DerivedWithTwoSteps", lossy8, inMain(0xff5d, {0, 0x21, 0x40, 0, 0x40, 0}),
               "QCD/QCC scalar derived length is not one step size"},
        Damage{"ExpoundedOddLength", lossy8, inMain(0xff5d, {0, 0x22, 0x40, 0, 0x40}),
               "QCD/QCC scalar expounded length is not two bytes a subband"},
        Damage{"RegionShift", mono16, inMain(0xff5e, {0, 0, 31}), "RGN style or shift out of range"},
        Damage{"RegionLength", mono16, inMain(0xff5e, {0, 0, 3, 0}), "RGN length is not 5"},
        Damage{"ProgressionChangeRange", mono16, inMain(0xff5f, {0, 0, 0, 1, 0, 1, 0}),
               "POC resolution, component, layer or order out of range"},
        Damage{"ProgressionChangeComponents", mono16, inMain(0xff5f, {0, 0, 0, 1, 5, 2, 0}),
               "POC resolution, component, layer or order out of range"},
        Damage{"ProgressionChangesAbove31", mono16,
               [](Bytes& s, CodecExpectation&) {
                   Bytes changes;
                   for (int i = 0; i < 32; ++i)
                       changes.insert(changes.end(), {0, 0, 0, 1, 4, 1, 0});
                   insertMain(s, 0xff5f, changes);
               },
               "more than 31 progression order changes in one header"},
        Damage{"ProgressionChangeLength", mono16, inMain(0xff5f, {0, 0, 0, 1, 5, 1}), "POC length is not seven bytes a change"},
        Damage{"TileLengthStyle", mono16, inMain(0xff55, {0, 0x30}), "unknown TLM style"},
        Damage{"TileLengthEntries", mono16, inMain(0xff55, {0, 0x50, 0, 0, 0, 14}), "TLM length is not whole entries"},
        Damage{"TileLengthInTilePart", mono16, inTile(0xff55, {0, 0x50, 0, 0, 0, 0, 14}), "TLM outside the main header or too short"},
        Damage{"PacketLengthsInMain", mono16, inMain(0xff58, {0, 0}), "PLT/PPT in the main header or empty"},
        Damage{"PackedHeadersOfOnlyTheirIndex", mono16, inMain(0xff60, {0}), "PLM/PPM outside the main header or empty"},
        Damage{"PacketLengthCut", mono16, inTile(0xff58, {0, 0x81}), "PLT ends inside a packet length"},
        Damage{"PacketHeadersTwice", mono16, [](Bytes& s, CodecExpectation&) { insertMain(s, 0xff60, {0, 0}), insertTile(s, 0xff61, {0, 0}); },
               "PPT in a stream with PPM"},
        Damage{"RegistrationLength", mono16, inMain(0xff63, {0, 0}), "CRG outside the main header or of the wrong length"},
        Damage{"CommentWithoutRegistration", mono16, inMain(COM, {}), "COM without its registration"},
        Damage{"ComponentTransformMarker", mono16, inMain(0xff74, {0, 0}), "unexpected marker in a header"},
        Damage{"SizInTilePart", mono16, inTile(SIZ, {0, 0}), "unexpected marker in a header"},
        Damage{"SotLength", mono16, at16(SOT, Lsot, 11), "SOT length is not 10"},
        Damage{"TileIndex", tiled, at16(SOT, Isot, 9), "SOT tile index beyond the tile count"},
        Damage{"TilePartIndex", mono16, at(SOT, TPsot, 2), "SOT tile-part index beyond the tile-part count"},
        Damage{"TilePartOutOfOrder", mono16, at(SOT, TPsot, 1), "SOT tile-part out of order"},
        Damage{"FirstTilePartTwice", mono16, [](Bytes& s, CodecExpectation&) { appendTilePart(s, 0); }, "SOT tile-part out of order"},
        Damage{"TilePartPastTheEnd", mono16, [](Bytes& s, CodecExpectation&) { put32(s, sot(s) + Psot, u32(s, sot(s) + Psot) + 3); },
               "SOT tile-part length outside the stream"},
        Damage{"TilePartShorterThanItsHeader", mono16, at32(SOT, Psot, 13), "SOT tile-part length outside the stream"},
        Damage{"TilePartHeaderWithoutSod", mono16,
               [](Bytes& s, CodecExpectation&) { insertTile(s, COM, {0, 1, 'x', 'y'}), put32(s, sot(s) + Psot, 20); },
               "a tile-part header without SOD"},
        Damage{"CodInALaterTilePart", mono16,
               [](Bytes& s, CodecExpectation&) {
                   appendTilePart(s);
                   const Bytes cod = {0xff, 0x52, 0, 12, 0, 0, 0, 1, 0, 4, 4, 4, 0, 1};
                   s.insert(s.end() - 4, cod.begin(), cod.end());
                   put32(s, s.size() - 2 - 14 - 14 + Psot, 28);
               },
               "COD/COC/QCD/QCC/RGN after a tile's first tile-part"},
        Damage{"TileCodSubbandsNotLevels", mono16, inTile(COD, {0, 0, 0, 1, 0, 2, 4, 4, 0, 1}),
               "quantization subband count does not match the decomposition levels"},
        Damage{"NoEoc", mono16, [](Bytes& s, CodecExpectation&) { s.erase(s.end() - 2, s.end()); }, "a codestream without EOC"},
        Damage{"JunkAfterTilePart", mono16, [](Bytes& s, CodecExpectation&) { s[s.size() - 1] = 0xd8; },
               "neither SOT nor EOC after a tile-part"},
        Damage{"LastTilePartToMissingEoc", mono16,
               [](Bytes& s, CodecExpectation&) { put32(s, sot(s) + Psot, 0), s.erase(s.end() - 2, s.end()); },
               "a last tile-part without EOC after it"},
        Damage{"Jp2ImageHeader", mono16,
               [](Bytes& s, CodecExpectation& e) {
                   e.columns = 23;
                   s = jp2(s, e);
                   e.columns = 24;
               },
               "a JP2 image header that does not describe the frame"},
        Damage{"Jp2Palette", mono16,
               [](Bytes& s, CodecExpectation& e) {
                   s = jp2(s, e, [](Bytes& f) {
                       // The colour box (15 bytes) renamed: a palette in the header box.
                       std::memcpy(f.data() + 12 + 20 + 8 + 22 + 4, "pclr", 4);
                   });
               },
               "a JP2 palette"},
        Damage{"Jp2BoxPastTheEnd", mono16,
               [](Bytes& s, CodecExpectation& e) { s = jp2(s, e, [](Bytes& f) { put32(f, 77, u32(f, 77) + 1); }); },
               "a JP2 box runs past the end of the stream"},
        Damage{"Jp2BoxShorterThanItsHeader", mono16, [](Bytes& s, CodecExpectation& e) { s = jp2(s, e, [](Bytes& f) { put32(f, 12, 7); }); },
               "a JP2 box shorter than its header"},
        Damage{"Jp2WithoutFileType", mono16,
               [](Bytes& s, CodecExpectation& e) { s = jp2(s, e, [](Bytes& f) { std::memcpy(f.data() + 16, "xxxx", 4); }); },
               "a JP2 file without its file type box second"},
        Damage{"Jp2WithoutCodestream", mono16,
               [](Bytes& s, CodecExpectation& e) { s = jp2(s, e, [](Bytes& f) { std::memcpy(f.data() + 12 + 20 + 45 + 4, "free", 4); }); },
               "a JP2 file without a codestream box"}),
    [](const auto& info) { return std::string(info.param.name); });

// Faults the DICOM fuzz target found in GDCM and OpenJPEG, each now refused by the check
// (the inputs are kept in bench/fuzz/regressions/dicom).
INSTANTIATE_TEST_SUITE_P(
    FuzzFound, Jpeg2000Streams,
    ::testing::Values(
        // GDCM copies every decoded sample into a frame of Rows x Columns: a taller image wrote past it.
        Damage{"ImageTallerThanRowsOverranGdcmsFrameCopy", mono16, at32(SIZ, Ysiz, 21), "SIZ image size is not Columns x Rows"},
        // OpenJPEG allocates its output image from SIZ: 512 x 2097664 samples took 4.3 GB.
        Damage{"ImageOfGigabytesAllocatedByOpenJpeg", mono16, at32(SIZ, Ysiz, 2097664), "SIZ image size is not Columns x Rows"},
        // GDCM's own marker walk (for the lossy flag) skips segments by their length without
        // looking at the end: a length past the stream sent it reading far beyond the fragment.
        Damage{"SegmentPastTheEndSentGdcmsWalkAstray", mono16, at16(SOT, Lsot, 0xba6d), "SOT length is not 10"}),
    [](const auto& info) { return std::string(info.param.name); });

// GDCM reads the first fragment of a frame alone (for the lossy flag) with a marker walk that
// trusts every length, and loses OpenJPEG's decoder when the main header is not all there: a
// frame cut anywhere into two fragments decodes exactly or is refused, refused exactly when
// the first fragment does not hold its main header or that walk would leave it.
TEST(Jpeg2000Fragments, FirstFragmentAloneKeepsGdcmsWalkInside)
{
    gdcm::Trace::SetWarning(false);
    const Bytes stream = encode(signed12);
    ASSERT_FALSE(stream.empty());
    const std::size_t cod = find(stream, COD), sod = sot(stream) + 12;
    ASSERT_EQ(u16(stream, sod), 0xff93u);
    EXPECT_FALSE(ctvolume::jpeg2000FirstFragmentFits(stream.data(), cod + 8)) << "COD cut";
    EXPECT_FALSE(ctvolume::jpeg2000FirstFragmentFits(stream.data(), sod - 2)) << "SOT cut";
    EXPECT_TRUE(ctvolume::jpeg2000FirstFragmentFits(stream.data(), sod + 2));
    EXPECT_TRUE(ctvolume::jpeg2000FirstFragmentFits(stream.data(), sot(stream) + 2)) << "the main header and SOT";
    EXPECT_FALSE(ctvolume::jpeg2000FirstFragmentFits(stream.data(), cod)) << "OpenJPEG cannot read the header alone";
    EXPECT_FALSE(ctvolume::jpeg2000FirstFragmentFits(stream.data(), 11)) << "GDCM compares 12 bytes";
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("cut.dcm"));
    const auto expected = values(signed12);
    // Even cuts: fragments have even lengths, and a padded one would change the joined stream.
    for (std::size_t cut = 12; cut < stream.size(); cut += cut < sod + 4 ? 2 : 62)
    {
        ASSERT_TRUE(writeEncapsulated(path, signed12, stream, {cut}));
        tool::LoadedImage image;
        QString error;
        const bool read = tool::readDicom(path, image, error);
        EXPECT_EQ(read, ctvolume::jpeg2000FirstFragmentFits(stream.data(), cut)) << cut << ": " << qPrintable(error);
        if (read)
        {
            ASSERT_EQ(image.image.getNumPixels(), expected.size());
            EXPECT_TRUE(std::equal(expected.begin(), expected.end(), image.image.getData<std::uint16_t>())) << cut;
        }
    }
}

} // namespace
