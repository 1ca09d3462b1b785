// DICOM input: every encoding gives the stored values back, colour becomes gray, padding
// stays out of the picture, and damaged or non-image files cost one line each.
#include "ToolFixture.h"

#include "Dicom.h"

#include <QDir>
#include <QDirIterator>
#include <QRegularExpression>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QPainter>

#include <gdcmDataSet.h>
#include <gdcmImageReader.h>

#include <sys/resource.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <numeric>
#include <random>

#if defined(__SANITIZE_ADDRESS__)
#define TOOL_TEST_UNDER_ASAN 1
#endif

namespace tooltest {
namespace {

using testing_dicom::DicomContent;
using testing_dicom::Syntax;
using Words = std::vector<std::uint16_t>;

struct DicomCase
{
    const char* name;
    std::function<DicomContent(const Words& crop)> content;
    std::function<int(int stored)> shown; ///< 16-bit output through the identity window
    bool isSigned;                         ///< which identity window applies
    const char* pixelType;
    int bitsStored;                        ///< 0: not checked
    const char* format;                    ///< part of the format info reports
    const char* note;                      ///< a note the run must print, or empty
    bool spacing = true;                   ///< the file keeps the pixel spacing (GDCM drops it for multi-frame)
};

DicomCase syntaxCase(const char* name, Syntax syntax, const char* format, int bitsStored = 12)
{
    return {name, [=](const Words&) { return DicomContent{.bitsStored = 12, .syntax = syntax}; }, [](int v) { return v; },
            false, "UNSIGNED_SHORT", bitsStored, format, ""};
}

class DicomStoredValues : public Tool, public ::testing::WithParamInterface<DicomCase>
{
};

// The crop written with GDCM in each encoding and form comes out of the identity window
// with exactly the values the form implies.
TEST_P(DicomStoredValues, ComeOutExactly)
{
    const DicomCase& c = GetParam();
    const QString path = writeCropDicom(QStringLiteral("crop.dcm"), c.content(cropValues));
    QString err;
    const auto shown = enhance16(path, c.isSigned ? identitySigned : identityUnsigned, &err);
    Words expected;
    for (const std::uint16_t v : cropValues)
        expected.push_back(std::uint16_t(c.shown(v)));
    EXPECT_TRUE(sameValues(shown, expected));
    if (*c.note)
    {
        EXPECT_TRUE(err.contains(QLatin1String(c.note))) << qPrintable(err);
    }
    const QJsonObject info = infoJson(path);
    EXPECT_TRUE(info[QStringLiteral("format")].toString().contains(QLatin1String(c.format))) << qPrintable(info[QStringLiteral("format")].toString());
    EXPECT_EQ(info[QStringLiteral("pixelType")].toString(), QLatin1String(c.pixelType));
    if (c.bitsStored)
    {
        EXPECT_EQ(info[QStringLiteral("bitsStored")].toInt(), c.bitsStored);
    }
    EXPECT_EQ(info[QStringLiteral("pixelSizeKnown")].toBool(), c.spacing);
    if (c.spacing)
    {
        EXPECT_EQ(info[QStringLiteral("pixelSize")].toArray()[0].toDouble(), 0.025);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Tool, DicomStoredValues,
    ::testing::Values(
        syntaxCase("ExplicitLittleEndian", Syntax::ExplicitLittle, "explicit VR little endian"),
        syntaxCase("ImplicitLittleEndian", Syntax::ImplicitLittle, "implicit VR little endian"),
        syntaxCase("ExplicitBigEndian", Syntax::ExplicitBig, "big endian"),
        syntaxCase("RleLossless", Syntax::Rle, "RLE lossless"),
        syntaxCase("JpegLossless", Syntax::JpegLossless, "JPEG lossless"),
        syntaxCase("JpegLsLossless", Syntax::JpegLs, "JPEG-LS lossless"),
        // GDCM's JPEG 2000 encoder records the full 16 bits.
        syntaxCase("Jpeg2000Lossless", Syntax::Jpeg2000Lossless, "JPEG 2000 lossless", 0),
        DicomCase{"SignedPixelsAreShort",
                  [](const Words& crop) {
                      Words words;
                      for (const std::uint16_t v : crop)
                          words.push_back(std::uint16_t(std::int16_t(int(v) - 2048)));
                      return DicomContent{.frames = {words}, .isSigned = true, .bitsStored = 13};
                  },
                  [](int v) { return v - 2048 + 32768; }, true, "SHORT", 13, "explicit VR", ""},
        DicomCase{"RescaleSlopeAndInterceptApplied",
                  [](const Words&) { return DicomContent{.slope = 2.0, .intercept = -7000.0}; },
                  [](int v) { return 2 * v - 7000 + 32768; }, true, "SHORT", 16, "explicit VR", ""},
        DicomCase{"BitsAboveBitsStoredIgnored",
                  [](const Words& crop) {
                      Words words;
                      for (const std::uint16_t v : crop)
                          words.push_back(std::uint16_t(v | 0xA000)); // overlay bits above bit 11
                      return DicomContent{.frames = {words}, .bitsStored = 12};
                  },
                  [](int v) { return v; }, false, "UNSIGNED_SHORT", 12, "explicit VR", ""},
        DicomCase{"MultiFrameTakesTheFirstFrame",
                  [](const Words& crop) {
                      Words second;
                      for (const std::uint16_t v : crop)
                          second.push_back(std::uint16_t(4095 - v));
                      return DicomContent{.frames = {crop, second, second}};
                  },
                  [](int v) { return v; }, false, "UNSIGNED_SHORT", 16, "explicit VR",
                  "multi-frame file (3 frames): using the first frame", false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(Tool, DicomMonochrome1IsShownInverted)
{
    const QString normal = writeCropDicom(QStringLiteral("m2.dcm"), DicomContent{});
    const QString inverse = writeCropDicom(QStringLiteral("m1.dcm"), DicomContent{.monochrome1 = true});
    for (const QStringList& options : {QStringList{"--level", "2000", "--window", "2500"}, QStringList{}})
    {
        auto expected = enhance8(normal, options);
        for (auto& v : expected)
            v = std::uint8_t(255 - v);
        EXPECT_TRUE(sameValues(enhance8(inverse, options), expected)) << qPrintable(options.join(QLatin1Char(' ')));
    }
    // --invert on a MONOCHROME1 image shows it the stored way round.
    EXPECT_TRUE(sameValues(enhance8(inverse, {QStringLiteral("--invert")}), enhance8(normal, {})));
    EXPECT_TRUE(infoJson(inverse)[QStringLiteral("shownInverted")].toBool());
}

TEST_F(Tool, DicomWindowFromTheFile)
{
    const QString withWindow = writeCropDicom(QStringLiteral("w.dcm"), DicomContent{.windowCenter = 2100.0, .windowWidth = 1700.0});
    EXPECT_TRUE(sameValues(enhance8(withWindow, {QStringLiteral("--window-from-file")}),
                           enhance8(withWindow, {"--level", "2100", "--window", "1700"})));
    // Without a stored window the automatic one is used, with a note.
    const QString without = writeCropDicom(QStringLiteral("nw.dcm"), DicomContent{});
    QString err;
    const auto fromFile = enhance8(without, {QStringLiteral("--window-from-file")}, &err);
    EXPECT_TRUE(err.contains(QLatin1String("no window stored in the file"))) << qPrintable(err);
    EXPECT_TRUE(sameValues(fromFile, enhance8(without, {})));
}

// A colour DICOM image becomes gray the way a colour PNG does, with the same note.
TEST_F(Tool, ColourDicomBecomesGrayLikeColourPng)
{
    QImage colour(crop.size(), QImage::Format_RGB888);
    std::vector<std::uint8_t> rgb;
    for (int y = 0; y < crop.height(); ++y)
        for (int x = 0; x < crop.width(); ++x)
        {
            const int v = cropValues[std::size_t(y * crop.width() + x)] >> 4;
            const int r = v, g = (v * 3) / 4, b = 255 - v;
            colour.setPixel(x, y, qRgb(r, g, b));
            rgb.insert(rgb.end(), {std::uint8_t(r), std::uint8_t(g), std::uint8_t(b)});
        }
    const QString png = file(QStringLiteral("colour.png"));
    ASSERT_TRUE(colour.save(png));
    const QString dcm = writeCropDicom(QStringLiteral("colour.dcm"), DicomContent{.rgb = rgb});
    QString pngErr, dcmErr;
    const QStringList window = {"--level", "127.5", "--window", "256"};
    const auto fromPng = enhance8(png, window, &pngErr);
    ASSERT_EQ(fromPng.size(), cropValues.size());
    EXPECT_TRUE(sameValues(enhance8(dcm, window, &dcmErr), fromPng));
    for (const QString& err : {pngErr, dcmErr})
        EXPECT_TRUE(err.contains(QLatin1String("colour image: converted to gray"))) << qPrintable(err);
    EXPECT_EQ(infoJson(dcm)[QStringLiteral("photometric")].toString(), QStringLiteral("RGB"));
}

// Pixels at the Pixel Padding Value are shown black and do not widen the automatic window:
// the crop framed by padding shows exactly like the crop alone.
TEST_F(Tool, DicomPaddingIsBlackAndOutOfTheAutomaticWindow)
{
    constexpr int frame = 20;
    const int w = crop.width() + 2 * frame, h = crop.height() + 2 * frame;
    Words framed(std::size_t(w * h), 0);
    for (int y = 0; y < crop.height(); ++y)
        for (int x = 0; x < crop.width(); ++x)
            framed[std::size_t((y + frame) * w + x + frame)] = cropValues[std::size_t(y * crop.width() + x)];
    const QString path = writeCropDicom(QStringLiteral("padded.dcm"),
                                        DicomContent{.width = w, .height = h, .frames = {framed}, .paddingValue = 0});
    const QJsonObject padded = infoJson(path), plain = infoJson(cropPng());
    EXPECT_EQ(padded[QStringLiteral("paddingPixels")].toInt(), w * h - int(cropValues.size()));
    EXPECT_EQ(padded[QStringLiteral("autoLevel")], plain[QStringLiteral("autoLevel")]);
    EXPECT_EQ(padded[QStringLiteral("autoWindow")], plain[QStringLiteral("autoWindow")]);
    const auto shown = enhance8(path, {}), expected = enhance8(cropPng(), {});
    ASSERT_EQ(shown.size(), framed.size());
    std::vector<std::uint8_t> inside, border;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
        {
            const bool in = x >= frame && x < w - frame && y >= frame && y < h - frame;
            (in ? inside : border).push_back(shown[std::size_t(y * w + x)]);
        }
    EXPECT_TRUE(sameValues(inside, expected));
    EXPECT_EQ(std::count(border.begin(), border.end(), 0), std::ptrdiff_t(border.size()));
}

// The DICOM fuzz target found GDCM's raw codec copying a whole frame out of a native pixel
// data element shorter than the header's size says (a read past the element): refused first.
TEST_F(Tool, NativePixelDataShorterThanItsFrameIsRefusedBeforeDecoding)
{
    QByteArray bytes = readBytes(writeCropDicom(QStringLiteral("plain.dcm"), DicomContent{}));
    const QByteArray columns("\x28\0\x11\0US\x02\0", 8);
    const qsizetype at = bytes.indexOf(columns);
    ASSERT_GE(at, 0);
    bytes[at + 8] = char(0xff), bytes[at + 9] = char(0xff);
    const QString path = file(QStringLiteral("wide.dcm"));
    writeBytes(path, bytes);
    tool::LoadedImage image;
    QString error;
    EXPECT_FALSE(tool::readDicom(path, image, error));
    EXPECT_EQ(error, QStringLiteral("pixel data size 86400 bytes does not fit 65535 x 180 x 1 frame(s) of 16 bits"));
}

// GDCM's codecs abort on 8 bits allocated of which fewer are stored (the DICOM fuzz target
// found it with an RLE colour file); such files are read as their stored values, every
// byte value through each encoding.
struct NarrowBytes
{
    const char* name;
    Syntax syntax;
    int bitsStored, highBit;
    bool isSigned;
};

class EightBitsAllocatedFewerStored : public Tool, public testing::WithParamInterface<NarrowBytes>
{
};

TEST_P(EightBitsAllocatedFewerStored, ReadAsTheirStoredValues)
{
    const NarrowBytes& c = GetParam();
    Words bytes(256);
    std::iota(bytes.begin(), bytes.end(), std::uint16_t(0));
    const QString path = file(QStringLiteral("narrow.dcm"));
    ASSERT_TRUE(testing_dicom::writeDicom(path, DicomContent{.width = 16, .height = 16, .frames = {bytes}, .isSigned = c.isSigned,
                                                             .bitsStored = c.bitsStored, .syntax = c.syntax, .eightBit = true,
                                                             .highBit = c.highBit}));
    tool::LoadedImage image;
    QString error;
    ASSERT_TRUE(tool::readDicom(path, image, error)) << qPrintable(error);
    EXPECT_EQ(image.bitsStored, c.bitsStored);
    ASSERT_EQ(image.image.getDataType(), c.isSigned ? Image2D::SHORT : Image2D::UNSIGNED_CHAR);
    const int field = (1 << c.bitsStored) - 1;
    for (int b = 0; b < 256; ++b)
    {
        int expected = (b >> (c.highBit - c.bitsStored + 1)) & field;
        if (c.isSigned && expected > field / 2)
            expected -= field + 1;
        const int read = c.isSigned ? image.image.getData<std::int16_t>()[b] : image.image.getData<std::uint8_t>()[b];
        ASSERT_EQ(read, expected) << "byte " << b;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Tool, EightBitsAllocatedFewerStored,
    testing::Values(NarrowBytes{"Explicit7Of8", Syntax::ExplicitLittle, 7, 6, false},
                    NarrowBytes{"ExplicitSigned7Of8", Syntax::ExplicitLittle, 7, 6, true},
                    NarrowBytes{"ExplicitHighNibble", Syntax::ExplicitLittle, 4, 7, false},
                    NarrowBytes{"Implicit1Of8", Syntax::ImplicitLittle, 1, 0, false},
                    NarrowBytes{"BigEndianSigned5Of8", Syntax::ExplicitBig, 5, 5, true},
                    NarrowBytes{"Rle7Of8", Syntax::Rle, 7, 6, false},
                    NarrowBytes{"JpegLossless6Of8", Syntax::JpegLossless, 6, 6, false},
                    NarrowBytes{"JpegLs7Of8", Syntax::JpegLs, 7, 6, false},
                    NarrowBytes{"Jpeg2000Signed7Of8", Syntax::Jpeg2000Lossless, 7, 6, true}),
    [](const testing::TestParamInfo<NarrowBytes>& info) { return std::string(info.param.name); });

// GDCM starts an MR image's rescale slope at 0 and asserted on one with a Rescale Intercept
// and no Rescale Slope (found by the DICOM fuzz target): its slope is 1 and the intercept applies.
TEST_F(Tool, MrImageWithAnInterceptAndNoSlope)
{
    const QString path = writeCropDicom(QStringLiteral("mr.dcm"), DicomContent{.intercept = -1000.0, .sopClass = "1.2.840.10008.5.1.4.1.1.4"});
    tool::LoadedImage image;
    QString error;
    ASSERT_TRUE(tool::readDicom(path, image, error)) << qPrintable(error);
    EXPECT_EQ(image.slope, 1.0);
    const bool isSigned = image.image.getDataType() == Image2D::SHORT;
    ASSERT_TRUE(isSigned || image.image.getDataType() == Image2D::UNSIGNED_SHORT);
    for (std::size_t i = 0; i < cropValues.size(); ++i)
        ASSERT_EQ(isSigned ? image.image.getData<std::int16_t>()[i] : image.image.getData<std::uint16_t>()[i],
                  int(cropValues[i]) - 1000) << i;
}

constexpr const char* notAnImage = "not a readable DICOM image (damaged, truncated or without pixel data)";

// GDCM's raw codec asserts on uncompressed pixel data in a colour space only compressed data
// has (the CT series fuzz target found it on a slice in partial YBR 4:2:2): refused.
TEST_F(Tool, UncompressedColourInACompressedColourSpaceIsRefused)
{
    const QString path = writeCropDicom(QStringLiteral("ybr.dcm"), DicomContent{.width = 4, .height = 2, .rgb = std::vector<std::uint8_t>(24, 77)});
    for (const char* space : {"YBR_PARTIAL_422 ", "YBR_PARTIAL_420 ", "YBR_ICT "})
    {
        ASSERT_TRUE(testing_dicom::rewriteDicom(path, [&](gdcm::DataSet& ds) {
            gdcm::DataElement photometric(gdcm::Tag(0x0028, 0x0004));
            photometric.SetVR(gdcm::VR::CS);
            photometric.SetByteValue(space, std::uint32_t(std::strlen(space)));
            ds.Replace(photometric);
        }));
        tool::LoadedImage image;
        QString error;
        EXPECT_FALSE(tool::readDicom(path, image, error)) << space;
        EXPECT_EQ(error, QLatin1String(notAnImage)) << space;
    }
}

// Inputs the DICOM fuzz target found stopping the process in GDCM outside its codecs (its
// assertions), kept in bench/fuzz/regressions/dicom: each is now refused here, in process.
struct FuzzFoundDicom
{
    const char* name;
    const char* input;
    const char* error;
};

class DicomFuzzInput : public testing::TestWithParam<FuzzFoundDicom>
{
};

TEST_P(DicomFuzzInput, IsAnErrorNotAnAbort)
{
    tool::LoadedImage image;
    QString error;
    EXPECT_FALSE(tool::readDicom(QStringLiteral(FUZZ_REGRESSIONS "/dicom/") + QLatin1String(GetParam().input), image, error));
    EXPECT_EQ(error, QLatin1String(GetParam().error));
}

constexpr const char* otherFragments = "not a readable DICOM image (encapsulated pixel data of a type other than OB or OW)";

INSTANTIATE_TEST_SUITE_P(
    FuzzFound, DicomFuzzInput,
    testing::Values(FuzzFoundDicom{"EncapsulatedPixelDataAsOV", "410ab06cf9a6596b03e133ff7f2add48d924952a", otherFragments},
                    FuzzFoundDicom{"EncapsulatedPixelDataAsOF", "486593a78fa73a3b436f80dbc5e88ded44e49d24", otherFragments},
                    FuzzFoundDicom{"EnhancedSpacingWithoutAnyOrientation", "516c8c87fe324c89334338c016a0aa3d625bc619", notAnImage},
                    FuzzFoundDicom{"ColourWithPlanarConfiguration63", "5426b61a6b694213f47d8a806ccebd88945088de", notAnImage},
                    FuzzFoundDicom{"ColourWithPlanarConfiguration32", "f7cdaed794cd685492d54de87b58fce34f576958", notAnImage},
                    FuzzFoundDicom{"Jpeg2000ComponentsAgainstMonochromeOfThreeSamples", "009ef86a95a159be2e70fb07ede8148e55a3ab38", notAnImage},
                    FuzzFoundDicom{"NonImageHeaderWithoutDataSetClass", "aa77f15b8ed40fc9b81955ab0b4b19c429b4bbc2",
                                   "not a readable DICOM image (its header names an object that is not an image and its data set none)"},
                    FuzzFoundDicom{"UnknownRecognitionCode", "980ddaca56124d5631855d2f9de8fa5643e78eee", notAnImage},
                    FuzzFoundDicom{"RtDoseGridFrameOffsetVectorOfOneValue", "2493f1c71ee85e3d9018f169f2be312cbf7514fe", notAnImage},
                    FuzzFoundDicom{"MultiFrameCaptureSpacingWithoutAnyOrientation", "8920e4c78891d2a3ecdaddc2fe31ad4324ae71ec", notAnImage},
                    FuzzFoundDicom{"SequenceInTheHeader", "117acdc0d116fedf9fb8010d0ad593bb1bd9124b",
                                   "not a readable DICOM image (a sequence in the header)"},
                    FuzzFoundDicom{"OddItemInADataSetReadAsAWhole", "68c4de4d48810d30203bbbd3a6e05481a5892d97",
                                   "not a readable DICOM image (an item of undefined length holds an odd number of bytes)"},
                    // Without a header, GDCM took this one for explicit big endian (its first tag has
                    // an element above 0xff) while the walk read it little endian, so GDCM then
                    // allocated a 4 GB length the walk never saw.
                    FuzzFoundDicom{"FormGuessedOtherwiseThanGdcm", "1549d68fa0e017f4b71468c770edce2eecf8c531", notAnImage},
                    // RLE of three samples called CMYK: GDCM takes four from the name, its RLE codec asserts.
                    FuzzFoundDicom{"RleSamplesCountedFromThePhotometricName", "2e37464ad579b96efacebaaebc5d87327ef4134c", notAnImage},
                    // Two storage classes in the header: GDCM keeps the first (a plan, not an image).
                    FuzzFoundDicom{"HeaderStorageClassGivenTwice", "8a53df7f48997fbf2c7ca26d4f47e2dabb1d4162",
                                   "not a readable DICOM image (its header names an object that is not an image and its data set none)"}),
    [](const testing::TestParamInfo<FuzzFoundDicom>& info) { return std::string(info.param.name); });

// Damaged files of every kind: one error line naming the file, exit status 1, no output
// and no temporary file, an existing output left as it was, and never a crash.
TEST_F(Tool, DamagedFilesCostOneLineAndLeaveOutputsAlone)
{
    std::vector<QString> sources = {
        writeCropDicom(QStringLiteral("plain.dcm"), DicomContent{}),
        writeCropDicom(QStringLiteral("rle.dcm"), DicomContent{.syntax = Syntax::Rle}),
        writeCropDicom(QStringLiteral("j2k.dcm"), DicomContent{.syntax = Syntax::Jpeg2000Lossless}),
        writeCropDicom(QStringLiteral("jls.dcm"), DicomContent{.syntax = Syntax::JpegLs}),
        cropPng(),
    };
    const QString out = file(QStringLiteral("out.png"));
    auto refused = [&](const QString& damaged, const QString& what) {
        writeBytes(out, "previous picture");
        const ToolRun run = runTool({QStringLiteral("enhance"), damaged, QStringLiteral("-o"), out});
        ASSERT_FALSE(run.crashed) << qPrintable(what);
        ASSERT_EQ(run.exitCode, 1) << qPrintable(what) << qPrintable(run.err);
        const QStringList errors = errorLines(run.err);
        ASSERT_EQ(errors.size(), 1) << qPrintable(run.err);
        EXPECT_TRUE(errors[0].startsWith(QStringLiteral("image2d: error: %1: ").arg(damaged))) << qPrintable(errors[0]);
        EXPECT_EQ(readBytes(out), QByteArray("previous picture")) << qPrintable(what);
    };
    std::mt19937 random(7);
    for (const QString& source : sources)
    {
        const QByteArray bytes = readBytes(source);
        ASSERT_GT(bytes.size(), 1000);
        const QString suffix = QFileInfo(source).suffix();
        const QString damaged = file(QStringLiteral("damaged.%1").arg(suffix));
        // Cut anywhere before the end of the pixel data, a file must be refused; without
        // only its last byte it may still decode.
        for (qsizetype cut : {qsizetype(10), qsizetype(132), qsizetype(140), qsizetype(400), bytes.size() / 3,
                              bytes.size() / 2, bytes.size() - 2000})
        {
            writeBytes(damaged, bytes.left(cut));
            refused(damaged, QStringLiteral("%1 cut at %2").arg(source).arg(cut));
        }
        writeBytes(damaged, bytes.left(bytes.size() - 1));
        EXPECT_FALSE(runTool({QStringLiteral("info"), damaged}).crashed) << qPrintable(source);
        // Flipped bytes inside the pixel data: any outcome but a crash.
        QByteArray flipped = bytes;
        for (int i = 0; i < 50; ++i)
            flipped[qsizetype(random() % std::uint32_t(bytes.size() - 400)) + 400] = char(random());
        writeBytes(damaged, flipped);
        const ToolRun run = runTool({QStringLiteral("info"), damaged});
        EXPECT_FALSE(run.crashed) << qPrintable(source);
        EXPECT_TRUE(run.exitCode == 0 || run.exitCode == 1) << qPrintable(source);
    }
    // An output folder that cannot be written is one error naming the output.
    const ToolRun unwritable = runTool({"enhance", rawPath, "-o", file(QStringLiteral("missing/out.png"))});
    EXPECT_EQ(unwritable.exitCode, 1);
    ASSERT_EQ(errorLines(unwritable.err).size(), 1) << qPrintable(unwritable.err);
    EXPECT_TRUE(errorLines(unwritable.err)[0].contains(QLatin1String("missing/out.png")));
    QFile::remove(out);
    EXPECT_EQ(filesIn(dir.path()).filter(QRegularExpression(QStringLiteral("^(out|\\.)"))), QStringList{})
        << "no temporary file is left behind";
}

TEST_F(PydicomFiles, EveryEncodingOfTheSameImageGivesTheSamePixels)
{
    const auto reference = enhance16(data("MR_small.dcm"), identitySigned);
    ASSERT_EQ(reference.size(), std::size_t(64 * 64));
    EXPECT_EQ(infoJson(data("MR_small.dcm"))[QStringLiteral("pixelType")].toString(), QStringLiteral("SHORT"));
    for (const char* name : {"MR_small_implicit.dcm", "MR_small_bigendian.dcm", "MR_small_expb.dcm", "MR_small_RLE.dcm",
                             "MR_small_jpeg_ls_lossless.dcm", "MR_small_jp2klossless.dcm", "MR_small_padded.dcm"})
        EXPECT_TRUE(sameValues(enhance16(data(name), identitySigned), reference)) << name;
}

TEST_F(PydicomFiles, RescaleInterceptOfACtSlice)
{
    const QString path = data("CT_small.dcm");
    const QJsonObject info = infoJson(path);
    EXPECT_EQ(info[QStringLiteral("rescaleIntercept")].toDouble(), -1024.0);
    EXPECT_EQ(info[QStringLiteral("pixelType")].toString(), QStringLiteral("SHORT"));
    // The stored values read independently here, then rescaled.
    gdcm::ImageReader reader;
    reader.SetFileName(QFile::encodeName(path).constData());
    ASSERT_TRUE(reader.Read());
    const gdcm::Image& image = reader.GetImage();
    std::vector<char> buffer(image.GetBufferLength());
    ASSERT_TRUE(image.GetBuffer(buffer.data()));
    ASSERT_EQ(image.GetPixelFormat().GetBitsAllocated(), 16);
    Words expected;
    for (std::size_t i = 0; i + 1 < buffer.size(); i += 2)
    {
        std::int16_t stored;
        std::memcpy(&stored, buffer.data() + i, 2);
        expected.push_back(std::uint16_t(int(stored) * int(image.GetSlope()) + int(image.GetIntercept()) + 32768));
    }
    EXPECT_TRUE(sameValues(enhance16(path, identitySigned), expected));
}

TEST_F(PydicomFiles, CompressedFilesDecode)
{
    for (const char* name : {"JPEG2000.dcm", "JPGExtended.dcm", "JPEG-lossy.dcm", "MR_small_jp2klossless.dcm", "693_J2KI.dcm",
                             "rtdose_rle_1frame.dcm"})
    {
        const QString out = file(QStringLiteral("c.png"));
        QFile::remove(out);
        const ToolRun run = runTool({QStringLiteral("enhance"), data(name), QStringLiteral("-o"), out});
        EXPECT_EQ(run.exitCode, 0) << name << qPrintable(run.err);
        const QImage image(out);
        const QJsonObject info = infoJson(data(name));
        EXPECT_EQ(image.size(), QSize(info[QStringLiteral("width")].toInt(), info[QStringLiteral("height")].toInt())) << name;
        const auto values = pixels8(image);
        ASSERT_FALSE(values.empty()) << name;
        const auto [lo, hi] = std::minmax_element(values.begin(), values.end());
        EXPECT_GT(*hi - *lo, 100) << name << ": the display spreads the values";
    }
}

// Colour files in every photometric form give the gray of the same picture stored as RGB.
TEST_F(PydicomFiles, ColourEncodingsGiveTheSameGray)
{
    const QStringList window = {"--level", "127.5", "--window", "256"};
    QString err;
    const auto reference = enhance8(data("SC_rgb_rle.dcm"), window, &err);
    ASSERT_EQ(reference.size(), std::size_t(100 * 100));
    EXPECT_TRUE(err.contains(QLatin1String("colour image: converted to gray"))) << qPrintable(err);
    struct Case
    {
        const char* name;
        QStringList window;
        double meanDifference; ///< lossy JPEG with halved colour resolution differs at colour edges
    };
    for (const Case& c : {Case{"SC_ybr_full_422_uncompressed.dcm", window, 1.0}, Case{"SC_rgb_jpeg_dcmtk.dcm", window, 1.0},
                          Case{"SC_rgb_dcmtk_+eb+cy+np.dcm", window, 2.0}})
    {
        const auto gray = enhance8(data(c.name), c.window);
        ASSERT_EQ(gray.size(), reference.size()) << c.name;
        double sum = 0;
        for (std::size_t i = 0; i < gray.size(); ++i)
            sum += std::abs(int(gray[i]) - int(reference[i]));
        EXPECT_LE(sum / double(gray.size()), c.meanDifference) << c.name;
    }
    // 16 bits a sample stay 16 bits of gray.
    const QJsonObject deep = infoJson(data("SC_rgb_rle_16bit.dcm"));
    EXPECT_EQ(deep[QStringLiteral("pixelType")].toString(), QStringLiteral("UNSIGNED_SHORT"));
    EXPECT_EQ(deep[QStringLiteral("bitsStored")].toInt(), 16);
}

// The lossy CT slice marks its outside with a padding value that compression smeared: the
// whole smeared cluster stays out of the automatic window.
TEST_F(PydicomFiles, LossyPaddingStaysOutOfTheWindow)
{
    const QJsonObject info = infoJson(data("693_J2KI.dcm"));
    EXPECT_GT(info[QStringLiteral("paddingPixels")].toInt(), 50000);
    EXPECT_LT(info[QStringLiteral("autoWindow")].toDouble(), 2500) << "the window spans the head, not the -3000 padding";
}

// A file that names explicit value representations and holds implicit ones, which GDCM
// reads by claiming a gigabyte for one element: refused before it is parsed, in bounded memory.
TEST_F(PydicomFiles, DecoderMemoryIsBounded)
{
#ifdef TOOL_TEST_UNDER_ASAN
    GTEST_SKIP() << "the sanitizer reserves its own memory; the bound is off in such builds";
#else
    rusage before{};
    getrusage(RUSAGE_CHILDREN, &before);
    if (before.ru_maxrss > 200 * 1024)
        GTEST_SKIP() << "an earlier test in this process ran a larger child";
    const ToolRun run = runTool({QStringLiteral("info"), data("SC_rgb_jpeg.dcm")});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.err.contains(QStringLiteral("not a readable DICOM image (an element without a valid value "
                                                "representation)")))
        << qPrintable(run.err);
    rusage after{};
    getrusage(RUSAGE_CHILDREN, &after);
    EXPECT_LT(after.ru_maxrss, 300 * 1024) << "kilobytes at the peak of the decoder";
#endif
}

// Folders: every file is either shown, refused with one line, or (an object without an
// image) skipped with a note; -r takes in subfolders, mirrored below the output folder.
TEST_F(PydicomFiles, FoldersShowImagesAndSkipObjectsWithoutOne)
{
    const QString out = file(QStringLiteral("all"));
    const ToolRun run = runTool({QStringLiteral("enhance"), folder, QStringLiteral("-o"), out, QStringLiteral("-q")});
    ASSERT_FALSE(run.crashed);
    EXPECT_EQ(run.exitCode, 1) << "the folder holds truncated files";
    const int inputs = QDir(folder).entryList({QStringLiteral("*.dcm")}, QDir::Files).size();
    const int skipped = int(run.err.count(QLatin1String(": skipped: a DICOM")));
    EXPECT_GE(skipped, 5) << "reports, plans and structure sets";
    EXPECT_EQ(filesIn(out).size() + errorLines(run.err).size() + skipped, inputs) << qPrintable(run.err);
    EXPECT_GE(filesIn(out).size(), 40);

    const QString tree = data("dicomdirtests");
    const QString shown = file(QStringLiteral("tree"));
    const ToolRun flat = runTool({QStringLiteral("enhance"), tree, QStringLiteral("-o"), shown, QStringLiteral("-q")});
    EXPECT_FALSE(flat.crashed);
    EXPECT_GE(flat.err.count(QLatin1String("skipped: a DICOMDIR")), 5) << qPrintable(flat.err);
    EXPECT_TRUE(filesIn(shown).isEmpty());
    const ToolRun deep = runTool({"enhance", tree, "-r", "-o", shown, "-q"});
    EXPECT_FALSE(deep.crashed);
    int pictures = 0;
    for (QDirIterator it(shown, QDir::Files, QDirIterator::Subdirectories); it.hasNext(); it.next())
        ++pictures;
    EXPECT_GT(pictures, 0) << qPrintable(deep.err);
}

} // namespace
} // namespace tooltest
