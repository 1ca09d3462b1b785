// Compressed pixel data checked before GDCM decodes it: streams GDCM writes (and the same
// streams with what real encoders add) decode exactly as without the checks; each damage a
// check exists for is refused by the reader, before a codec sees it; pydicom's compressed
// files read exactly as they did before the checks.
#include "DicomStructure.h"
#include "DicomWriter.h"
#include "SafeImageReader.h"

#include <gtest/gtest.h>

#include <QDirIterator>
#include <QFile>
#include <QTemporaryDir>

#include <gdcmImage.h>
#include <gdcmImageReader.h>
#include <gdcmReader.h>
#include <gdcmSequenceOfFragments.h>
#include <gdcmWriter.h>

#include <cstdint>
#include <cstring>
#include <functional>
#include <limits>
#include <optional>
#include <string>
#include <vector>

namespace {

using testing_dicom::Syntax;
using Bytes = std::vector<std::uint8_t>;
using Fragments = std::vector<Bytes>;
constexpr std::size_t none = std::numeric_limits<std::size_t>::max();

/// An image GDCM encodes for a case: size, frames, samples and the syntax.
struct Source
{
    Syntax syntax;
    enum Kind
    {
        Gray8,
        Gray12,
        Gray16,
        Rgb
    } kind = Gray16;
    int frames = 1;
    int width = 33;
    int height = 21;
};

// Flat runs (for RLE's repeat runs), a ramp and a little noise (for its literal runs and for
// the entropy coders).
testing_dicom::DicomContent contentOf(const Source& source)
{
    testing_dicom::DicomContent content;
    content.width = source.width;
    content.height = source.height;
    content.syntax = source.syntax;
    content.eightBit = source.kind == Source::Gray8;
    content.bitsStored = source.kind == Source::Gray12 ? 12 : 16;
    const unsigned mask = source.kind == Source::Gray8 ? 0xff : source.kind == Source::Gray12 ? 0xfff : 0xffff;
    std::uint32_t noise = 12345;
    auto value = [&](int x, int y, int f) {
        noise = noise * 1103515245u + 12345u;
        return y < 4 ? unsigned(100 + f) : (unsigned(x * 97 + y * 389 + f * 1000) + (noise >> 28)) & mask;
    };
    if (source.kind == Source::Rgb)
        for (int y = 0; y < source.height; ++y)
            for (int x = 0; x < source.width; ++x)
                for (int c = 0; c < 3; ++c)
                    content.rgb.push_back(std::uint8_t(value(x, y, c)));
    else
        for (int f = 0; f < source.frames; ++f)
        {
            content.frames.emplace_back();
            for (int y = 0; y < source.height; ++y)
                for (int x = 0; x < source.width; ++x)
                    content.frames.back().push_back(std::uint16_t(value(x, y, f)));
        }
    return content;
}

std::vector<char> nativeBytes(const testing_dicom::DicomContent& content)
{
    std::vector<char> bytes(content.rgb.begin(), content.rgb.end());
    for (const auto& frame : content.frames)
        for (std::uint16_t word : frame)
        {
            bytes.push_back(char(word & 0xff));
            if (!content.eightBit)
                bytes.push_back(char(word >> 8));
        }
    return bytes;
}

// Pixels as a reader decodes them; nullopt when the reader refuses the file or cannot decode it.
template <typename Reader>
std::optional<std::vector<char>> decoded(const QString& path)
{
    Reader reader;
    const QByteArray name = QFile::encodeName(path);
    reader.SetFileName(name.constData());
    if (!reader.Read())
        return std::nullopt;
    std::vector<char> buffer(reader.GetImage().GetBufferLength());
    if (buffer.empty() || !reader.GetImage().GetBuffer(buffer.data()))
        return std::nullopt;
    return buffer;
}

std::uint32_t u32(const Bytes& b, std::size_t at)
{
    return std::uint32_t(b[at]) | std::uint32_t(b[at + 1]) << 8 | std::uint32_t(b[at + 2]) << 16 |
           std::uint32_t(b[at + 3]) << 24;
}

void putU32(Bytes& b, std::size_t at, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        b[at + i] = std::uint8_t(v >> (8 * i));
}

void putBe16(Bytes& b, std::size_t at, unsigned v)
{
    b[at] = std::uint8_t(v >> 8);
    b[at + 1] = std::uint8_t(v);
}

// The FF of the first marker segment `marker` (any SOF when 0xc0..0xc3 is asked with
// `anySof`) before the entropy-coded data of the first scan; `none` when there is none.
std::size_t segmentAt(const Bytes& b, std::uint8_t marker, bool anySof = false)
{
    std::size_t at = 2;
    while (at + 4 <= b.size() && b[at] == 0xff)
    {
        const std::uint8_t m = b[at + 1];
        if (m == marker || (anySof && m >= 0xc0 && m <= 0xc3) || (anySof && m == 0xf7))
            return at;
        if (m == 0xda)
            return none;
        at += 2 + (unsigned(b[at + 2]) << 8 | b[at + 3]);
    }
    return none;
}

std::size_t sofAt(const Bytes& b)
{
    return segmentAt(b, 0, true);
}

void setWord(gdcm::DataSet& ds, std::uint16_t element, unsigned value)
{
    gdcm::DataElement e(gdcm::Tag(0x0028, element));
    e.SetVR(gdcm::VR::US);
    const char bytes[2] = {char(value & 0xff), char(value >> 8)};
    e.SetByteValue(bytes, 2);
    ds.Replace(e);
}

void setFrames(gdcm::DataSet& ds, const char* count)
{
    gdcm::DataElement e(gdcm::Tag(0x0028, 0x0008));
    e.SetVR(gdcm::VR::IS);
    std::string text(count);
    if (text.size() % 2)
        text += ' ';
    e.SetByteValue(text.data(), std::uint32_t(text.size()));
    ds.Replace(e);
}

using Edit = std::function<void(gdcm::DataSet&, Fragments&)>;

// Rewrites `path` with its fragments (and attributes) edited; fragments are padded to even
// lengths with a zero as encoders do.
bool rewrite(const QString& path, const Edit& edit)
{
    gdcm::Reader reader;
    const QByteArray name = QFile::encodeName(path);
    reader.SetFileName(name.constData());
    if (!reader.Read())
        return false;
    gdcm::DataSet& ds = reader.GetFile().GetDataSet();
    const gdcm::DataElement& pixels = ds.GetDataElement(gdcm::Tag(0x7fe0, 0x0010));
    const gdcm::SequenceOfFragments* sequence = pixels.GetSequenceOfFragments();
    if (!sequence)
        return false;
    Fragments fragments;
    for (unsigned i = 0; i < sequence->GetNumberOfFragments(); ++i)
    {
        const gdcm::ByteValue* value = sequence->GetFragment(i).GetByteValue();
        const auto* p = reinterpret_cast<const std::uint8_t*>(value->GetPointer());
        fragments.emplace_back(p, p + value->GetLength());
    }
    edit(ds, fragments);
    gdcm::SmartPointer<gdcm::SequenceOfFragments> edited = new gdcm::SequenceOfFragments;
    for (Bytes& fragment : fragments)
    {
        if (fragment.size() % 2)
            fragment.push_back(0);
        gdcm::Fragment item;
        item.SetByteValue(reinterpret_cast<const char*>(fragment.data()), std::uint32_t(fragment.size()));
        edited->AddFragment(item);
    }
    gdcm::DataElement replaced(gdcm::Tag(0x7fe0, 0x0010));
    replaced.SetValue(*edited);
    replaced.SetVLToUndefined();
    replaced.SetVR(gdcm::VR::OB);
    ds.Replace(replaced);
    gdcm::Writer writer;
    writer.SetFile(reader.GetFile());
    writer.SetFileName(name.constData());
    return writer.Write();
}

struct CodecCase
{
    const char* name;
    Source source;
    Edit edit; ///< nothing for the stream as GDCM writes it
};

std::string caseName(const testing::TestParamInfo<CodecCase>& info)
{
    return info.param.name;
}

class CodecStream : public testing::TestWithParam<CodecCase>
{
protected:
    QString write(bool edited)
    {
        const CodecCase& c = GetParam();
        const QString path = dir.filePath(QStringLiteral("image.dcm"));
        content = contentOf(c.source);
        EXPECT_TRUE(testing_dicom::writeDicom(path, content));
        if (edited && c.edit)
        {
            EXPECT_TRUE(rewrite(path, c.edit));
        }
        return path;
    }
    QTemporaryDir dir;
    testing_dicom::DicomContent content;
};

// Streams GDCM writes, and those with what other encoders add, decode exactly as they do
// without the checks (and as the original pixels, for the lossless syntaxes).
class CodecStreamAccepted : public CodecStream
{
};

TEST_P(CodecStreamAccepted, DecodesAsWithoutTheChecks)
{
    const QString path = write(true);
    const auto checked = decoded<ctvolume::SafeImageReader>(path);
    ASSERT_TRUE(checked.has_value()) << "refused";
    const auto plain = decoded<gdcm::ImageReader>(path);
    ASSERT_TRUE(plain.has_value());
    EXPECT_TRUE(*checked == *plain);
    const Syntax s = GetParam().source.syntax;
    if (s != Syntax::JpegBaseline && s != Syntax::JpegExtended)
    {
        EXPECT_TRUE(*checked == nativeBytes(content));
    }
}

const Source gray8Baseline{Syntax::JpegBaseline, Source::Gray8};
const Source rgbBaseline{Syntax::JpegBaseline, Source::Rgb, 1, 32};
const Source gray12Extended{Syntax::JpegExtended, Source::Gray12};
const Source gray16Lossless{Syntax::JpegLossless, Source::Gray16};
const Source gray12Lossless{Syntax::JpegLossless, Source::Gray12};
const Source lossless3Frames{Syntax::JpegLossless, Source::Gray12, 3};
const Source rle16{Syntax::Rle, Source::Gray16};
const Source rleRgb{Syntax::Rle, Source::Rgb, 1, 32}; // GDCM pads an odd-length value, then cannot split it in three
const Source rle2Frames{Syntax::Rle, Source::Gray12, 2};
const Source ls16{Syntax::JpegLs, Source::Gray16};
const Source ls12{Syntax::JpegLs, Source::Gray12};
const Source lsRgb{Syntax::JpegLs, Source::Rgb, 1, 32};
const Source ls2Frames{Syntax::JpegLs, Source::Gray12, 2};

// Inserts a marker segment right after the SOI.
Edit withSegment(Bytes segment)
{
    return [segment](gdcm::DataSet&, Fragments& f) { f[0].insert(f[0].begin() + 2, segment.begin(), segment.end()); };
}

const Bytes jfif1{0xff, 0xe0, 0x00, 0x10, 'J', 'F', 'I', 'F', 0, 1, 2, 0, 0, 1, 0, 1, 0, 0};
const Bytes lsDefaults{0xff, 0xf8, 0x00, 0x0d, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};

// A JPEG-LS preset parameters segment (LSE) after the SOF55.
Edit lsPreset(unsigned maxValue, unsigned t1, unsigned reset, std::uint8_t id = 1)
{
    return [=](gdcm::DataSet& ds, Fragments& f) {
        Bytes lse = lsDefaults;
        lse[4] = id;
        putBe16(lse, 5, maxValue);
        putBe16(lse, 7, t1);
        putBe16(lse, 13, reset);
        // After the SOF55: the presets need its precision.
        const std::size_t sof = sofAt(f[0]);
        f[0].insert(f[0].begin() + std::ptrdiff_t(sof + 2 + (unsigned(f[0][sof + 2]) << 8 | f[0][sof + 3])), lse.begin(),
                    lse.end());
        (void)ds;
    };
}


// A frame cut in two fragments after its first scan header (the decoder resumes with the next).
void splitAfterScanHeader(gdcm::DataSet&, Fragments& f)
{
    const std::size_t sos = segmentAt(f[0], 0xda);
    const std::size_t cut = (sos + 2 + (unsigned(f[0][sos + 2]) << 8 | f[0][sos + 3]) + 10) & ~std::size_t(1);
    f.insert(f.begin() + 1, Bytes(f[0].begin() + std::ptrdiff_t(cut), f[0].end()));
    f[0].resize(cut);
}

INSTANTIATE_TEST_SUITE_P(
    Streams, CodecStreamAccepted,
    testing::Values(CodecCase{"JpegBaselineGray", gray8Baseline, {}}, CodecCase{"JpegBaselineRgb", rgbBaseline, {}},
                    CodecCase{"JpegExtended12Bits", gray12Extended, {}}, CodecCase{"JpegLossless16Bits", gray16Lossless, {}},
                    CodecCase{"JpegLosslessThreeFrames", lossless3Frames, {}},
                    CodecCase{"JpegWithJfifMarker", gray8Baseline, withSegment(jfif1)},
                    CodecCase{"JpegFrameAcrossFragments", gray16Lossless, splitAfterScanHeader},
                    CodecCase{"JpegPaddingAfterEoi",
                              gray8Baseline, [](gdcm::DataSet&, Fragments& f) { f[0].insert(f[0].end(), 6, 0); }},
                    CodecCase{"Rle16Bits", rle16, {}}, CodecCase{"RleRgb", rleRgb, {}},
                    CodecCase{"RleTwoFrames", rle2Frames, {}},
                    CodecCase{"RleBytesAfterTheLastRun",
                              rle16, [](gdcm::DataSet&, Fragments& f) { f[0].insert(f[0].end(), {0, 0x80, 7, 7}); }},
                    CodecCase{"JpegLs16Bits", ls16, {}}, CodecCase{"JpegLsRgb", lsRgb, {}},
                    CodecCase{"JpegLsTwoFrames", ls2Frames, {}},
                    CodecCase{"JpegLsDefaultPresets", ls16, lsPreset(0, 0, 0)},
                    CodecCase{"JpegLsPresetsBeforeTheFrameHeader", ls16, withSegment(lsDefaults)}),
    caseName);

// Each damage breaks one rule; the reader refuses the file before a codec sees it.
class CodecStreamRefused : public CodecStream
{
};

TEST_P(CodecStreamRefused, ReaderRefusesIt)
{
    ASSERT_TRUE(decoded<ctvolume::SafeImageReader>(write(false)).has_value()) << "the undamaged stream reads";
    EXPECT_FALSE(decoded<ctvolume::SafeImageReader>(write(true)).has_value());
}

// Byte `offset` after the FF of the segment found by `find` set to `value`.
Edit setByte(std::size_t (*find)(const Bytes&), std::size_t offset, std::uint8_t value)
{
    return [=](gdcm::DataSet&, Fragments& f) {
        const std::size_t at = find(f[0]);
        ASSERT_NE(at, none);
        f[0][at + offset] = value;
    };
}

std::size_t dqtAt(const Bytes& b)
{
    return segmentAt(b, 0xdb);
}
std::size_t dhtAt(const Bytes& b)
{
    return segmentAt(b, 0xc4);
}
std::size_t sosAt(const Bytes& b)
{
    return segmentAt(b, 0xda);
}
std::size_t soiAt(const Bytes&)
{
    return 0;
}
// Offset of the scan parameters (Ss) in the SOS of a one-component scan.
constexpr std::size_t ss1 = 7;

Edit attribute(std::uint16_t element, unsigned value)
{
    return [=](gdcm::DataSet& ds, Fragments&) { setWord(ds, element, value); };
}

// Three samples of RGB in the attributes (GDCM counts samples from the photometric name).
void makeRgb(gdcm::DataSet& ds, Fragments&)
{
    setWord(ds, 0x0002, 3);
    setWord(ds, 0x0006, 0);
    gdcm::DataElement e(gdcm::Tag(0x0028, 0x0004));
    e.SetVR(gdcm::VR::CS);
    e.SetByteValue("RGB ", 4);
    ds.Replace(e);
}

Edit rleHeader(std::size_t at, std::uint32_t value)
{
    return [=](gdcm::DataSet&, Fragments& f) { putU32(f[0], at, value); };
}

// The first run of the first RLE segment.
Edit firstRun(std::uint8_t header)
{
    return [=](gdcm::DataSet&, Fragments& f) { f[0][64] = header; };
}

INSTANTIATE_TEST_SUITE_P(
    Jpeg, CodecStreamRefused,
    testing::Values(
        CodecCase{"NoSoi", gray8Baseline, setByte(soiAt, 1, 0xd9)},
        CodecCase{"HeightNotRows", gray8Baseline, setByte(sofAt, 6, 22)},
        CodecCase{"WidthNotColumns", gray8Baseline, setByte(sofAt, 8, 34)},
        CodecCase{"HeightZeroForDnl", gray8Baseline, setByte(sofAt, 6, 0)},
        CodecCase{"ComponentsNotSamplesPerPixel", gray8Baseline, makeRgb},
        CodecCase{"BaselinePrecisionNot8", gray8Baseline, setByte(sofAt, 4, 12)},
        CodecCase{"ExtendedPrecisionNot8Or12", gray12Extended, setByte(sofAt, 4, 10)},
        CodecCase{"LosslessPrecisionOver16", gray16Lossless, setByte(sofAt, 4, 17)},
        CodecCase{"PrecisionBytesNotBitsAllocated", gray8Baseline, attribute(0x0100, 16)},
        CodecCase{"ArithmeticCoding", gray8Baseline, setByte(sofAt, 1, 0xc9)},
        CodecCase{"HierarchicalCoding", gray8Baseline, setByte(sofAt, 1, 0xc5)},
        CodecCase{"SamplingFactorZero", gray8Baseline, setByte(sofAt, 11, 0x01)},
        CodecCase{"SamplingFactorFive", gray8Baseline, setByte(sofAt, 11, 0x51)},
        CodecCase{"QuantTableIdFour", gray8Baseline, setByte(sofAt, 12, 4)},
        CodecCase{"QuantTableNotDefined", gray8Baseline, setByte(dqtAt, 4, 0x03)},
        CodecCase{"SegmentPastTheEnd", gray8Baseline, setByte(dqtAt, 2, 0xff)},
        CodecCase{"SecondFrameHeader", gray8Baseline,
                  [](gdcm::DataSet&, Fragments& f) {
                      const std::size_t sof = sofAt(f[0]);
                      const Bytes copy(f[0].begin() + std::ptrdiff_t(sof), f[0].begin() + std::ptrdiff_t(sof + 13));
                      f[0].insert(f[0].begin() + std::ptrdiff_t(sof), copy.begin(), copy.end());
                  }},
        CodecCase{"ScanComponentNotInFrame", gray8Baseline, setByte(sosAt, 5, 9)},
        CodecCase{"HuffmanTableNotDefined", gray8Baseline, setByte(sosAt, 6, 0x33)},
        CodecCase{"HuffmanTableClassTwo", gray8Baseline, setByte(dhtAt, 4, 0x20)},
        CodecCase{"HuffmanCodeLengthsNotAPrefixCode", gray8Baseline, setByte(dhtAt, 5, 3)},
        CodecCase{"HuffmanValuesPastTheSegment", gray8Baseline, setByte(dhtAt, 20, 0xff)},
        CodecCase{"LosslessDcValueOver16", gray16Lossless,
                  [](gdcm::DataSet&, Fragments& f) {
                      const std::size_t dht = dhtAt(f[0]);
                      f[0][dht + 21] = 17; // the first value of the first table
                  }},
        CodecCase{"LosslessPredictorZero", gray16Lossless, setByte(sosAt, ss1, 0)},
        CodecCase{"LosslessPredictorEight", gray16Lossless, setByte(sosAt, ss1, 8)},
        CodecCase{"LosslessPointTransformNotBelowPrecision", gray12Lossless,
                  [](gdcm::DataSet& ds, Fragments& f) {
                      setByte(sofAt, 4, 12)(ds, f); // GDCM writes 16 bits for 12 stored
                      setByte(sosAt, ss1 + 2, 0x0c)(ds, f);
                  }},
        CodecCase{"AdobeTransformUnknown", rgbBaseline,
                  withSegment({0xff, 0xee, 0x00, 0x0e, 'A', 'd', 'o', 'b', 'e', 0, 100, 0, 0, 0, 0, 3})},
        CodecCase{"NoEoi", gray8Baseline,
                  [](gdcm::DataSet&, Fragments& f) {
                      while (f[0].back() != 0xd9)
                          f[0].pop_back();
                      f[0].resize(f[0].size() - 2);
                  }},
        CodecCase{"ScanHeaderAcrossFragments", gray8Baseline,
                  [](gdcm::DataSet&, Fragments& f) {
                      const std::size_t cut = (sosAt(f[0]) + 4) & ~std::size_t(1);
                      f.insert(f.begin() + 1, Bytes(f[0].begin() + std::ptrdiff_t(cut), f[0].end()));
                      f[0].resize(cut);
                  }},
        CodecCase{"FragmentAfterTheLastFrame", gray8Baseline, [](gdcm::DataSet&, Fragments& f) { f.push_back(f[0]); }},
        CodecCase{"FewerFramesThanNumberOfFrames", lossless3Frames,
                  [](gdcm::DataSet& ds, Fragments&) { setFrames(ds, "4"); }},
        CodecCase{"EmptyFragment", lossless3Frames, [](gdcm::DataSet&, Fragments& f) { f[1].clear(); }}),
    caseName);

// What the fuzzer's inputs made GDCM's JPEG codec assert on: a warning of the decoder while
// it reads the header (bytes between segments, a JFIF major version other than 1, a segment
// length below 2) and a DCT precision its decoders do not have.
INSTANTIATE_TEST_SUITE_P(
    FuzzFound, CodecStreamRefused,
    testing::Values(
        CodecCase{"JpegHeaderBytesBetweenSegments", gray8Baseline,
                  [](gdcm::DataSet&, Fragments& f) { f[0].insert(f[0].begin() + std::ptrdiff_t(dqtAt(f[0])), {0, 0}); }},
        CodecCase{"JpegHeaderJfifMajorVersion", gray8Baseline,
                  [](gdcm::DataSet& ds, Fragments& f) {
                      Bytes jfif = jfif1;
                      jfif[9] = 0xf1;
                      withSegment(jfif)(ds, f);
                  }},
        CodecCase{"JpegHeaderSegmentLengthBelowTwo", gray8Baseline, withSegment({0xff, 0xe0, 0x00, 0x00})},
        CodecCase{"JpegDctPrecision72", gray8Baseline, setByte(sofAt, 4, 72)}),
    caseName);

INSTANTIATE_TEST_SUITE_P(
    Rle, CodecStreamRefused,
    testing::Values(CodecCase{"SegmentCountZero", rle16, rleHeader(0, 0)},
                    CodecCase{"SegmentCountSixteen", rle16, rleHeader(0, 16)},
                    CodecCase{"SegmentCountNotSamplesTimesBytes", rle16, rleHeader(0, 1)},
                    CodecCase{"FirstOffsetNot64", rle16, rleHeader(4, 66)},
                    CodecCase{"OffsetsNotIncreasing", rleRgb,
                              [](gdcm::DataSet&, Fragments& f) { putU32(f[0], 12, u32(f[0], 8)); }},
                    CodecCase{"OffsetPastTheFragment", rle16, rleHeader(8, 1u << 20)},
                    CodecCase{"RunPastThePlane", rle16, firstRun(0x80 + 1)}, // repeat 127 times
                    CodecCase{"RunPastTheSegmentEnd", rle16, // the first segment ends two bytes early
                              [](gdcm::DataSet&, Fragments& f) { putU32(f[0], 8, u32(f[0], 8) - 2); }},
                    CodecCase{"ShortSegment", rle16,
                              [](gdcm::DataSet&, Fragments& f) { f[0].resize(f[0].size() - 8); }},
                    CodecCase{"HeaderCut", rle16, [](gdcm::DataSet&, Fragments& f) { f[0].resize(40); }},
                    CodecCase{"FragmentsNotFrames", rle2Frames, [](gdcm::DataSet&, Fragments& f) { f.pop_back(); }},
                    CodecCase{"BitsAllocated12", rle16, attribute(0x0100, 12)},
                    CodecCase{"NoRows", rle16, attribute(0x0010, 0)}),
    caseName);

INSTANTIATE_TEST_SUITE_P(
    JpegLs, CodecStreamRefused,
    testing::Values(CodecCase{"PrecisionOne", ls16, setByte(sofAt, 4, 1)},
                    CodecCase{"PrecisionInFewerBytesThanBitsStored", ls16, setByte(sofAt, 4, 8)},
                    CodecCase{"HeightNotRows", ls16, setByte(sofAt, 6, 22)},
                    CodecCase{"WidthNotColumns", ls16, setByte(sofAt, 8, 34)},
                    CodecCase{"ComponentsNotSamplesPerPixel", ls16, makeRgb},
                    CodecCase{"Subsampled", ls16, setByte(sofAt, 11, 0x21)},
                    CodecCase{"NearLosslessInTheLosslessSyntax", ls16, setByte(sosAt, ss1, 1)},
                    CodecCase{"InterleaveModeThree", lsRgb,
                              [](gdcm::DataSet&, Fragments& f) {
                                  const std::size_t sos = sosAt(f[0]);
                                  const unsigned count = f[0][sos + 4];
                                  f[0][sos + 5 + 2 * count + 1] = 3;
                              }},
                    CodecCase{"MaxValAbovePrecision", ls12,
                              [](gdcm::DataSet& ds, Fragments& f) {
                                  setByte(sofAt, 4, 12)(ds, f);
                                  lsPreset(4096, 0, 0)(ds, f);
                              }},
                    CodecCase{"ThresholdAboveMaxVal", ls16, lsPreset(1000, 1001, 0)},
                    CodecCase{"ResetBelowThree", ls16, lsPreset(0, 0, 2)},
                    CodecCase{"MaxValAbovePrecisionBeforeTheFrameHeader", ls12,
                              [](gdcm::DataSet& ds, Fragments& f) {
                                  setByte(sofAt, 4, 12)(ds, f);
                                  Bytes lse = lsDefaults;
                                  putBe16(lse, 5, 4096);
                                  withSegment(lse)(ds, f);
                              }},
                    CodecCase{"MappingTable", ls16, lsPreset(0, 0, 0, 2)},
                    CodecCase{"NoEoi", ls16,
                              [](gdcm::DataSet&, Fragments& f) {
                                  while (f[0].back() != 0xd9)
                                      f[0].pop_back();
                                  f[0].resize(f[0].size() - 2);
                              }},
                    CodecCase{"FragmentsNotFrames", ls2Frames, [](gdcm::DataSet&, Fragments& f) { f.pop_back(); }}),
    caseName);

// A fuzz input ended its pixel fragments with a sequence delimiter of length 4, which GDCM
// asserts on while it parses the file: the structure walk refuses it.
TEST(CodecStreamsFuzzFound, SequenceDelimiterWithALength)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("image.dcm"));
    ASSERT_TRUE(testing_dicom::writeDicom(path, contentOf(rle16)));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    QByteArray bytes = file.readAll();
    const qsizetype delimiter = bytes.lastIndexOf(QByteArray("\xfe\xff\xdd\xe0\0\0\0\0", 8));
    ASSERT_GT(delimiter, 0);
    EXPECT_EQ(ctvolume::checkDicomStructure(bytes).verdict, ctvolume::DicomStructure::Sound);
    bytes[delimiter + 4] = 4;
    const ctvolume::DicomStructure damaged = ctvolume::checkDicomStructure(bytes);
    EXPECT_EQ(damaged.verdict, ctvolume::DicomStructure::Damaged);
    EXPECT_EQ(damaged.problem, QStringLiteral("the encapsulated pixel data ends in a delimiter with a length"));
}

// Debian's pydicom test files in compressed syntaxes: what the reader made of each before
// the checks (FNV-1a of the decoded pixels, computed with the reader as it was), unchanged.
TEST(CodecStreamsOfPydicom, ReadAsBeforeTheChecks)
{
    struct Known
    {
        const char* name;
        const char* digest; ///< "not read" where the reader refused it or could not decode it before too
    };
    const Known files[] = {
        {"693_J2KI.dcm", "c94d7bec9a5c3cb9"},
        {"GDCMJ2K_TextGBR.dcm", "c23976079cfdac9c"},
        {"J2K_pixelrep_mismatch.dcm", "a1db48134b35a310"},
        {"JPEG-lossy.dcm", "e72403008dc7d3b2"},
        {"JPEG2000-embedded-sequence-delimiter.dcm", "not read"},
        {"JPEG2000.dcm", "170b1afcc5912aec"},
        {"JPGExtended.dcm", "e72403008dc7d3b2"},
        {"MR_small_RLE.dcm", "e8f7e24d60a56108"},
        {"MR_small_jp2klossless.dcm", "e8f7e24d60a56108"},
        {"MR_small_jpeg_ls_lossless.dcm", "e8f7e24d60a56108"},
        {"SC_jpeg_no_color_transform.dcm", "81044ebd7e3362c2"},
        {"SC_jpeg_no_color_transform_2.dcm", "c6d517cdf323620d"},
        {"SC_rgb_dcmtk_+eb+cr.dcm", "9d237c072211cc8b"},
        {"SC_rgb_dcmtk_+eb+cy+n1.dcm", "8c27ac7e9ae45067"},
        {"SC_rgb_dcmtk_+eb+cy+n2.dcm", "3fd3633e8203695b"},
        {"SC_rgb_dcmtk_+eb+cy+np.dcm", "8c27ac7e9ae45067"},
        {"SC_rgb_dcmtk_+eb+cy+s2.dcm", "3fd3633e8203695b"},
        {"SC_rgb_dcmtk_+eb+cy+s4.dcm", "3fd3633e8203695b"},
        {"SC_rgb_gdcm_KY.dcm", "9bede46627a668bb"},
        {"SC_rgb_jpeg.dcm", "81044ebd7e3362c2"},
        {"SC_rgb_jpeg_app14_dcmd.dcm", "c6d517cdf323620d"},
        {"SC_rgb_jpeg_dcmtk.dcm", "3fd3633e8203695b"},
        {"SC_rgb_jpeg_gdcm.dcm", "9bede46627a668bb"},
        {"SC_rgb_jpeg_lossy_gdcm.dcm", "68516b785c30e65b"},
        {"SC_rgb_rle.dcm", "9bede46627a668bb"},
        {"SC_rgb_rle_16bit.dcm", "ec0fb21869ad7133"},
        {"SC_rgb_rle_16bit_2frame.dcm", "6b2b392576fdef23"},
        {"SC_rgb_rle_2frame.dcm", "7ad89b21b89afdd3"},
        {"SC_rgb_rle_32bit.dcm", "637e6d34c32ca563"},
        {"SC_rgb_rle_32bit_2frame.dcm", "31433a90921f5c43"},
        {"SC_rgb_small_odd_jpeg.dcm", "b7819dfec57fab3b"},
        {"rtdose_rle.dcm", "75b215d82c2c9413"},
        {"rtdose_rle_1frame.dcm", "b8cc1ac39d843527"},
    };
    QDirIterator it(QStringLiteral(PYDICOM_DIR), {QStringLiteral("MR_small_RLE.dcm")}, QDir::Files,
                    QDirIterator::Subdirectories);
    if (!it.hasNext())
        GTEST_SKIP() << "pydicom test files not fetched (run the apps_fetch_pydicom set-up test)";
    const QString folder = QFileInfo(it.next()).path();
    for (const Known& known : files)
    {
        const QString path = folder + QLatin1Char('/') + QLatin1String(known.name);
        ASSERT_TRUE(QFile::exists(path)) << known.name;
        ctvolume::SafeImageReader reader;
        const QByteArray name = QFile::encodeName(path);
        reader.SetFileName(name.constData());
        std::string digest = "not read";
        if (reader.Read())
        {
            std::vector<char> buffer(reader.GetImage().GetBufferLength());
            if (!buffer.empty() && reader.GetImage().GetBuffer(buffer.data()))
            {
                std::uint64_t h = 1469598103934665603ull;
                for (char c : buffer)
                    h = (h ^ std::uint8_t(c)) * 1099511628211ull;
                char text[17];
                std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(h));
                digest = text;
            }
        }
        EXPECT_EQ(digest, known.digest) << known.name;
    }
}

} // namespace
