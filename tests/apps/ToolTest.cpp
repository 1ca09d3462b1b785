// End-to-end tests of the image2d tool: each runs the built program as a process and
// checks the files it writes, pixel by pixel where the expected values are known.
#include "DicomWriter.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>

#include <gdcmImageReader.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstring>
#include <memory>
#include <random>
#include <vector>

using testing_dicom::DicomContent;
using testing_dicom::Syntax;

namespace {

struct ToolRun
{
    int exitCode = -1;
    bool crashed = false;
    QString out;
    QString err;
};

ToolRun runTool(const QStringList& arguments, const QString& workingDirectory = {})
{
    QProcess process;
    process.setProgram(QStringLiteral(IMAGE2D_TOOL));
    process.setArguments(arguments);
    if (!workingDirectory.isEmpty())
        process.setWorkingDirectory(workingDirectory);
    process.start();
    ToolRun run;
    if (!process.waitForFinished(900000))
    {
        process.kill();
        process.waitForFinished();
        run.crashed = true;
        return run;
    }
    run.crashed = process.exitStatus() != QProcess::NormalExit;
    run.exitCode = process.exitCode();
    run.out = QString::fromUtf8(process.readAllStandardOutput());
    run.err = QString::fromUtf8(process.readAllStandardError());
    return run;
}

QStringList errorLines(const QString& err)
{
    QStringList lines;
    for (const QString& line : err.split(QLatin1Char('\n')))
        if (line.startsWith(QLatin1String("image2d: error:")))
            lines << line;
    return lines;
}

QJsonObject infoJson(const QString& path, const QStringList& extra = {})
{
    const ToolRun run = runTool(QStringList{QStringLiteral("info"), QStringLiteral("--json"), path} + extra);
    EXPECT_EQ(run.exitCode, 0) << qPrintable(run.err);
    return QJsonDocument::fromJson(run.out.toUtf8()).object();
}

std::vector<std::uint16_t> pixels16(const QImage& image)
{
    std::vector<std::uint16_t> values;
    if (image.format() != QImage::Format_Grayscale16)
        return values;
    for (int y = 0; y < image.height(); ++y)
    {
        const auto* line = reinterpret_cast<const std::uint16_t*>(image.constScanLine(y));
        values.insert(values.end(), line, line + image.width());
    }
    return values;
}

std::vector<std::uint8_t> pixels8(const QImage& image)
{
    std::vector<std::uint8_t> values;
    if (image.format() != QImage::Format_Grayscale8)
        return values;
    for (int y = 0; y < image.height(); ++y)
        values.insert(values.end(), image.constScanLine(y), image.constScanLine(y) + image.width());
    return values;
}

// Index of the first differing element, or -1; the message names it.
template <typename T>
::testing::AssertionResult sameValues(const std::vector<T>& actual, const std::vector<T>& expected)
{
    if (actual.size() != expected.size())
        return ::testing::AssertionFailure() << "sizes differ: " << actual.size() << " vs " << expected.size();
    for (std::size_t i = 0; i < actual.size(); ++i)
        if (actual[i] != expected[i])
            return ::testing::AssertionFailure() << "first difference at element " << i << ": " << int(actual[i])
                                                 << " vs " << int(expected[i]);
    return ::testing::AssertionSuccess();
}

QByteArray readBytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeBytes(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    ASSERT_EQ(file.write(bytes), bytes.size());
}

QStringList filesIn(const QString& folder)
{
    return QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
}

// Level/window that maps stored values onto themselves: 16-bit output equals the input
// for unsigned data, and the input plus 32768 for signed data.
const QStringList identityUnsigned = {QStringLiteral("--level"), QStringLiteral("32767.5"), QStringLiteral("--window"),
                                      QStringLiteral("65535"), QStringLiteral("--depth"), QStringLiteral("16")};
const QStringList identitySigned = {QStringLiteral("--level"), QStringLiteral("-0.5"), QStringLiteral("--window"),
                                    QStringLiteral("65535"), QStringLiteral("--depth"), QStringLiteral("16")};

class Tool : public ::testing::Test
{
protected:
    // The phantom as the tool stores it, written once; DICOM tests use a crop of it.
    static void SetUpTestSuite()
    {
        // Written by the apps_make_phantom set-up test; made here when run alone.
        suiteDir = std::make_unique<QTemporaryDir>();
        rawPath = QStringLiteral(PHANTOM_PNG);
        if (!QFile::exists(rawPath))
        {
            rawPath = suiteDir->filePath(QStringLiteral("phantom.png"));
            const ToolRun run = runTool({QStringLiteral("phantom"), QStringLiteral("-o"), rawPath});
            ASSERT_EQ(run.exitCode, 0) << qPrintable(run.err);
        }
        phantom = QImage(rawPath);
        crop = phantom.copy(500, 150, 240, 180);
        cropValues = pixels16(crop);
    }
    static void TearDownTestSuite() { suiteDir.reset(); }

    QString file(const QString& name) const { return dir.filePath(name); }

    // Writes the crop (or given words) as a DICOM file.
    QString writeCropDicom(const QString& name, DicomContent content) const
    {
        content.width = crop.width();
        content.height = crop.height();
        if (content.frames.empty())
            content.frames.push_back(cropValues);
        const QString path = file(name);
        EXPECT_TRUE(testing_dicom::writeDicom(path, content));
        return path;
    }

    std::vector<std::uint16_t> enhance16(const QString& input, const QStringList& window, QString* err = nullptr) const
    {
        static int counter = 0;
        const QString out = file(QStringLiteral("out16-%1.png").arg(++counter));
        const ToolRun run = runTool(QStringList{QStringLiteral("enhance"), input, QStringLiteral("-o"), out} + window);
        EXPECT_EQ(run.exitCode, 0) << qPrintable(run.err);
        if (err)
            *err = run.err;
        return pixels16(QImage(out));
    }

    std::vector<std::uint8_t> enhance8(const QString& input, const QStringList& options) const
    {
        static int counter = 0;
        const QString out = file(QStringLiteral("out8-%1.png").arg(++counter));
        const ToolRun run = runTool(QStringList{QStringLiteral("enhance"), input, QStringLiteral("-o"), out} + options);
        EXPECT_EQ(run.exitCode, 0) << qPrintable(run.err);
        return pixels8(QImage(out));
    }

    QTemporaryDir dir;
    static inline std::unique_ptr<QTemporaryDir> suiteDir;
    static inline QString rawPath;
    static inline QImage phantom;
    static inline QImage crop;
    static inline std::vector<std::uint16_t> cropValues;
};

TEST_F(Tool, CommandLineBasics)
{
    const ToolRun help = runTool({QStringLiteral("--help")});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_TRUE(help.out.contains(QLatin1String("enhance")));
    const ToolRun version = runTool({QStringLiteral("--version")});
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_TRUE(version.out.startsWith(QLatin1String("image2d "))) << qPrintable(version.out);
    const ToolRun unknown = runTool({QStringLiteral("sharpen")});
    EXPECT_EQ(unknown.exitCode, 2);
    EXPECT_EQ(errorLines(unknown.err), QStringList{QStringLiteral("image2d: error: unknown command \"sharpen\"")});
    const ToolRun badOption = runTool({QStringLiteral("enhance"), QStringLiteral("--gamma"), QStringLiteral("-1"), QStringLiteral("-o"), file(QStringLiteral("x.png"))});
    EXPECT_EQ(badOption.exitCode, 2);
    EXPECT_TRUE(badOption.err.contains(QLatin1String("invalid gamma value \"-1\""))) << qPrintable(badOption.err);
    EXPECT_FALSE(QFile::exists(file(QStringLiteral("x.png"))));
}

TEST_F(Tool, PhantomIsTwelveBitAndDeterministic)
{
    ASSERT_EQ(phantom.format(), QImage::Format_Grayscale16);
    EXPECT_EQ(phantom.size(), QSize(1440, 960));
    const auto values = pixels16(phantom);
    const auto [lo, hi] = std::minmax_element(values.begin(), values.end());
    EXPECT_LE(*hi, 4095);
    EXPECT_GT(*hi - *lo, 2500) << "a radiograph spans most of its 12 bits";
    const QString again = file(QStringLiteral("again.png"));
    ASSERT_EQ(runTool({QStringLiteral("phantom"), QStringLiteral("-o"), again}).exitCode, 0);
    EXPECT_TRUE(sameValues(pixels16(QImage(again)), values));
    // The stored pixel size (0.025 mm) travels with the PNG.
    const QJsonObject info = infoJson(rawPath);
    EXPECT_TRUE(info[QStringLiteral("pixelSizeKnown")].toBool());
    EXPECT_NEAR(info[QStringLiteral("pixelSize")].toArray()[0].toDouble(), 0.025, 1e-4);
}

TEST_F(Tool, PhantomSizesFollowTheMedia)
{
    const QJsonObject pan = infoJson(QString(), {QStringLiteral("--media"), QStringLiteral("panoramic")});
    EXPECT_EQ(pan[QStringLiteral("width")].toInt(), 2800);
    EXPECT_EQ(pan[QStringLiteral("height")].toInt(), 1400);
    const QJsonObject ceph = infoJson(QString(), {QStringLiteral("--media"), QStringLiteral("ceph")});
    EXPECT_EQ(ceph[QStringLiteral("width")].toInt(), 2000);
    EXPECT_EQ(ceph[QStringLiteral("height")].toInt(), 2400);
    EXPECT_LE(ceph[QStringLiteral("maximum")].toDouble(), 4095.0);
}

TEST_F(Tool, EnhanceWithoutInputWritesTheDisplayImageOfThePhantom)
{
    const ToolRun run = runTool({QStringLiteral("enhance"), QStringLiteral("-o"), QStringLiteral("shown.png")}, dir.path());
    ASSERT_EQ(run.exitCode, 0) << qPrintable(run.err);
    const QImage shown(file(QStringLiteral("shown.png")));
    ASSERT_EQ(shown.format(), QImage::Format_Grayscale8);
    EXPECT_EQ(shown.size(), QSize(1440, 960));
    const auto values = pixels8(shown);
    const auto [lo, hi] = std::minmax_element(values.begin(), values.end());
    EXPECT_LE(*lo, 5);
    EXPECT_GE(*hi, 250);
    // The same as enhancing the stored phantom file.
    EXPECT_TRUE(sameValues(enhance8(rawPath, {}), values));
}

TEST_F(Tool, StoredValuesRoundTripThroughPngAndTiff)
{
    EXPECT_TRUE(sameValues(enhance16(rawPath, identityUnsigned), pixels16(phantom)));
    const QString tiff = file(QStringLiteral("crop.tif"));
    ASSERT_TRUE(crop.save(tiff));
    EXPECT_TRUE(sameValues(enhance16(tiff, identityUnsigned), cropValues));
    // TIFF output holds the same values as PNG output.
    const QString out = file(QStringLiteral("out.tiff"));
    ASSERT_EQ(runTool(QStringList{QStringLiteral("enhance"), tiff, QStringLiteral("-o"), out} + identityUnsigned).exitCode, 0);
    EXPECT_TRUE(sameValues(pixels16(QImage(out)), cropValues));
}

TEST_F(Tool, InversionAndGammaActOnEveryPixel)
{
    const QStringList window = {QStringLiteral("--level"), QStringLiteral("2300"), QStringLiteral("--window"), QStringLiteral("3000")};
    const auto base = enhance8(rawPath, window);
    ASSERT_EQ(base.size(), std::size_t(1440 * 960));
    auto inverted = base;
    for (auto& v : inverted)
        v = std::uint8_t(255 - v);
    EXPECT_TRUE(sameValues(enhance8(rawPath, window + QStringList{QStringLiteral("--invert")}), inverted));
    // Gamma 2 lifts the mid-tones and lowers nothing.
    const auto lifted = enhance8(rawPath, window + QStringList{QStringLiteral("--gamma"), QStringLiteral("2")});
    ASSERT_EQ(lifted.size(), base.size());
    std::size_t raised = 0;
    for (std::size_t i = 0; i < base.size(); ++i)
    {
        ASSERT_GE(lifted[i], base[i]) << "pixel " << i;
        raised += lifted[i] > base[i];
    }
    EXPECT_GT(raised, base.size() / 2);
}

TEST_F(Tool, GeometryOfTheDisplayRoadMovesPixelsExactly)
{
    const QString input = file(QStringLiteral("crop.png"));
    ASSERT_TRUE(crop.save(input));
    const QStringList window = {QStringLiteral("--level"), QStringLiteral("2300"), QStringLiteral("--window"), QStringLiteral("3000")};
    const int w = crop.width(), h = crop.height();
    const auto base = enhance8(input, window);
    ASSERT_EQ(base.size(), std::size_t(w * h));
    auto at = [&](int x, int y) { return base[std::size_t(y * w + x)]; };

    std::vector<std::uint8_t> mirrored, half, quarter;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
        {
            mirrored.push_back(at(w - 1 - x, y));
            half.push_back(at(w - 1 - x, h - 1 - y));
        }
    // Clockwise: the output is h wide; input (c, r) lands at (h - 1 - r, c).
    quarter.resize(base.size());
    for (int r = 0; r < h; ++r)
        for (int c = 0; c < w; ++c)
            quarter[std::size_t(c * h + (h - 1 - r))] = at(c, r);
    EXPECT_TRUE(sameValues(enhance8(input, window + QStringList{QStringLiteral("--mirror")}), mirrored));
    EXPECT_TRUE(sameValues(enhance8(input, window + QStringList{QStringLiteral("--rotate"), QStringLiteral("180")}), half));
    EXPECT_TRUE(sameValues(enhance8(input, window + QStringList{QStringLiteral("--rotate"), QStringLiteral("90")}), quarter));

    // Resizing keeps the image's orientation whichever way the size is written.
    for (const QString& size : {QStringLiteral("120x90"), QStringLiteral("90x120")})
    {
        const QString out = file(QStringLiteral("small.png"));
        ASSERT_EQ(runTool(QStringList{QStringLiteral("enhance"), input, QStringLiteral("-o"), out, QStringLiteral("--resize"), size} + window).exitCode, 0);
        EXPECT_EQ(QImage(out).size(), QSize(120, 90)) << qPrintable(size);
    }
}

TEST_F(Tool, JsonSettingsEqualTheSameOptionsOnTheCommandLine)
{
    const QString json = file(QStringLiteral("settings.json"));
    writeBytes(json, R"({
        "media": "intraoral",
        "level": 2400, "window": 2800,
        "filters": [
            {"filter": "gamma", "value": 1.3},
            {"filter": "invert"},
            {"filter": "sharpen", "value": 0.6},
            {"filter": "equalize", "value": 0.4},
            {"filter": "denoise", "value": 1.5}
        ],
        "mirror": true
    })");
    const QStringList options = {QStringLiteral("--level"),   QStringLiteral("2400"), QStringLiteral("--window"),
                                 QStringLiteral("2800"),      QStringLiteral("--gamma"), QStringLiteral("1.3"),
                                 QStringLiteral("--invert"),  QStringLiteral("--sharpen"), QStringLiteral("0.6"),
                                 QStringLiteral("--equalize"), QStringLiteral("0.4"), QStringLiteral("--denoise"),
                                 QStringLiteral("1.5"),       QStringLiteral("--mirror")};
    const QString input = file(QStringLiteral("crop.png"));
    ASSERT_TRUE(crop.save(input));
    const auto fromOptions = enhance8(input, options);
    ASSERT_FALSE(fromOptions.empty());
    EXPECT_TRUE(sameValues(enhance8(input, {QStringLiteral("--settings"), json}), fromOptions));
    // Settings saved from the command line read back to the same result.
    const QString saved = file(QStringLiteral("saved.json"));
    ASSERT_EQ(runTool(QStringList{QStringLiteral("enhance"), input, QStringLiteral("-o"), file(QStringLiteral("s.png")),
                                  QStringLiteral("--save-settings"), saved} + options)
                  .exitCode,
              0);
    EXPECT_TRUE(sameValues(enhance8(input, {QStringLiteral("--settings"), saved}), fromOptions));
    // An option beside the file overrides it.
    auto notInverted = enhance8(input, {QStringLiteral("--settings"), json, QStringLiteral("--level"), QStringLiteral("2400"),
                                        QStringLiteral("--window"), QStringLiteral("5600")});
    EXPECT_FALSE(sameValues(notInverted, fromOptions));
}

TEST_F(Tool, BadSettingsFilesAreRefusedWithTheReason)
{
    struct Case
    {
        const char* json;
        const char* reason;
    };
    const Case cases[] = {
        {R"({"gama": 1.2})", "unknown key \"gama\""},
        {R"({"filters": [{"filter": "gamma", "value": 0}]})", "invalid gamma value"},
        {R"({"filters": [{"filter": "blur", "value": 1}]})", "each filter element needs \"filter\""},
        {R"({"level": 100})", "\"level\" and \"window\" go together"},
        {R"({"rotate": 45})", "\"rotate\" must be 0, 90, 180 or 270"},
        {R"({"media": )", "invalid JSON"},
    };
    for (const Case& c : cases)
    {
        const QString json = file(QStringLiteral("bad.json"));
        writeBytes(json, c.json);
        const QString out = file(QStringLiteral("never.png"));
        const ToolRun run = runTool({QStringLiteral("enhance"), rawPath, QStringLiteral("--settings"), json, QStringLiteral("-o"), out});
        EXPECT_EQ(run.exitCode, 2) << c.json;
        ASSERT_EQ(errorLines(run.err).size(), 1) << qPrintable(run.err);
        EXPECT_TRUE(errorLines(run.err)[0].contains(QLatin1String(c.reason))) << qPrintable(run.err);
        EXPECT_FALSE(QFile::exists(out));
    }
}

TEST_F(Tool, BatchGoesOnPastBrokenFilesAndListsThem)
{
    const QString in = file(QStringLiteral("in"));
    QDir().mkpath(in);
    ASSERT_TRUE(crop.save(in + QStringLiteral("/a.png")));
    writeCropDicom(QStringLiteral("in/b.dcm"), DicomContent{});
    ASSERT_TRUE(crop.mirrored(true, false).save(in + QStringLiteral("/c.tif")));
    writeBytes(in + QStringLiteral("/broken.png"), readBytes(in + QStringLiteral("/a.png")).left(300));
    QByteArray junk(128, '\0');
    junk += "DICM";
    junk += QByteArray(500, '\x7f');
    writeBytes(in + QStringLiteral("/junk.dcm"), junk);

    const QString out = file(QStringLiteral("out"));
    const ToolRun run = runTool({QStringLiteral("enhance"), in, QStringLiteral("-o"), out, QStringLiteral("-j"), QStringLiteral("3")});
    EXPECT_FALSE(run.crashed);
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(filesIn(out), (QStringList{QStringLiteral("a.png"), QStringLiteral("b.png"), QStringLiteral("c.png")}))
        << "no output and no temporary file for the broken inputs";
    const QStringList errors = errorLines(run.err);
    ASSERT_EQ(errors.size(), 2) << qPrintable(run.err);
    EXPECT_EQ(errors.filter(QStringLiteral("broken.png: ")).size(), 1);
    EXPECT_EQ(errors.filter(QStringLiteral("junk.dcm: ")).size(), 1);
    EXPECT_TRUE(run.err.contains(QLatin1String("2 of 5 images failed"))) << qPrintable(run.err);
    EXPECT_EQ(run.err.count(QLatin1String("] ")), 3) << "one progress line per finished image";

    // The same inputs one at a time give the same pictures.
    const QString serial = file(QStringLiteral("serial"));
    EXPECT_EQ(runTool({QStringLiteral("enhance"), in, QStringLiteral("-o"), serial, QStringLiteral("-j"), QStringLiteral("1"),
                       QStringLiteral("-q")})
                  .exitCode,
              1);
    for (const QString& name : filesIn(out))
        EXPECT_EQ(readBytes(serial + QLatin1Char('/') + name), readBytes(out + QLatin1Char('/') + name)) << qPrintable(name);
    // The DICOM copy of the crop shows like the PNG copy.
    EXPECT_EQ(QImage(out + QStringLiteral("/a.png")), QImage(out + QStringLiteral("/b.png")));
}

TEST_F(Tool, AFailedRunLeavesAnExistingOutputUntouched)
{
    const QString broken = file(QStringLiteral("broken.png"));
    writeBytes(broken, readBytes(rawPath).left(1000));
    const QString out = file(QStringLiteral("out.png"));
    writeBytes(out, "previous picture");
    const ToolRun run = runTool({QStringLiteral("enhance"), broken, QStringLiteral("-o"), out});
    EXPECT_EQ(run.exitCode, 1);
    ASSERT_EQ(errorLines(run.err).size(), 1) << qPrintable(run.err);
    EXPECT_TRUE(errorLines(run.err)[0].startsWith(QStringLiteral("image2d: error: %1: ").arg(broken)));
    EXPECT_EQ(readBytes(out), QByteArray("previous picture"));
    EXPECT_EQ(filesIn(dir.path()), (QStringList{QStringLiteral("broken.png"), QStringLiteral("out.png")}));
    // An output folder that cannot be written is one error naming the output.
    const ToolRun unwritable = runTool({QStringLiteral("enhance"), rawPath, QStringLiteral("-o"), file(QStringLiteral("missing/out.png"))});
    EXPECT_EQ(unwritable.exitCode, 1);
    ASSERT_EQ(errorLines(unwritable.err).size(), 1) << qPrintable(unwritable.err);
    EXPECT_TRUE(errorLines(unwritable.err)[0].contains(QLatin1String("missing/out.png")));
}

TEST_F(Tool, TruncatedAndCorruptFilesNeverCrashTheTool)
{
    std::vector<QString> sources = {
        writeCropDicom(QStringLiteral("plain.dcm"), DicomContent{}),
        writeCropDicom(QStringLiteral("rle.dcm"), DicomContent{.syntax = Syntax::Rle}),
        writeCropDicom(QStringLiteral("j2k.dcm"), DicomContent{.syntax = Syntax::Jpeg2000Lossless}),
        writeCropDicom(QStringLiteral("jls.dcm"), DicomContent{.syntax = Syntax::JpegLs}),
    };
    const QString png = file(QStringLiteral("crop.png"));
    ASSERT_TRUE(crop.save(png));
    sources.push_back(png);
    std::mt19937 random(7);
    for (const QString& source : sources)
    {
        const QByteArray bytes = readBytes(source);
        ASSERT_GT(bytes.size(), 1000);
        const QString suffix = QFileInfo(source).suffix();
        // Cut anywhere before the end of the pixel data, a file must be refused; without
        // only its last byte it may still decode.
        std::vector<qsizetype> cuts = {10, 132, 140, 400, bytes.size() / 3, bytes.size() / 2, bytes.size() - 2000, bytes.size() - 1};
        for (qsizetype cut : cuts)
        {
            const QString damaged = file(QStringLiteral("cut.%1").arg(suffix));
            writeBytes(damaged, bytes.left(cut));
            const QString out = file(QStringLiteral("cut-out.png"));
            const ToolRun run = runTool({QStringLiteral("enhance"), damaged, QStringLiteral("-o"), out});
            ASSERT_FALSE(run.crashed) << qPrintable(source) << " cut at " << cut;
            if (cut == bytes.size() - 1 && run.exitCode == 0)
                continue;
            ASSERT_EQ(run.exitCode, 1) << qPrintable(source) << " cut at " << cut << qPrintable(run.err);
            EXPECT_EQ(errorLines(run.err).size(), 1) << qPrintable(run.err);
            EXPECT_FALSE(QFile::exists(out));
        }
        // Flipped bytes inside the pixel data: any outcome but a crash.
        QByteArray flipped = bytes;
        for (int i = 0; i < 50; ++i)
            flipped[qsizetype(random() % std::uint32_t(bytes.size() - 400)) + 400] = char(random());
        const QString damaged = file(QStringLiteral("flipped.%1").arg(suffix));
        writeBytes(damaged, flipped);
        const ToolRun run = runTool({QStringLiteral("info"), damaged});
        EXPECT_FALSE(run.crashed) << qPrintable(source);
        EXPECT_TRUE(run.exitCode == 0 || run.exitCode == 1) << qPrintable(source);
    }
}

struct SyntaxCase
{
    Syntax syntax;
    const char* name;
};

void PrintTo(const SyntaxCase& c, std::ostream* os)
{
    *os << c.name;
}

class DicomSyntax : public Tool, public ::testing::WithParamInterface<SyntaxCase>
{
};

TEST_P(DicomSyntax, PixelValuesRoundTripExactly)
{
    const QString path = writeCropDicom(QStringLiteral("crop.dcm"), DicomContent{.bitsStored = 12, .syntax = GetParam().syntax});
    EXPECT_TRUE(sameValues(enhance16(path, identityUnsigned), cropValues));
    const QJsonObject info = infoJson(path);
    EXPECT_TRUE(info[QStringLiteral("format")].toString().contains(QLatin1String(GetParam().name)))
        << qPrintable(info[QStringLiteral("format")].toString());
    EXPECT_EQ(info[QStringLiteral("pixelType")].toString(), QStringLiteral("UNSIGNED_SHORT"));
    // GDCM's JPEG 2000 encoder records the full 16 bits.
    if (GetParam().syntax != Syntax::Jpeg2000Lossless)
    {
        EXPECT_EQ(info[QStringLiteral("bitsStored")].toInt(), 12);
    }
    EXPECT_NEAR(info[QStringLiteral("pixelSize")].toArray()[0].toDouble(), 0.025, 1e-6);
}

INSTANTIATE_TEST_SUITE_P(Tool, DicomSyntax,
                         ::testing::Values(SyntaxCase{Syntax::ExplicitLittle, "explicit VR little endian"},
                                           SyntaxCase{Syntax::ImplicitLittle, "implicit VR little endian"},
                                           SyntaxCase{Syntax::ExplicitBig, "big endian"},
                                           SyntaxCase{Syntax::Rle, "RLE lossless"},
                                           SyntaxCase{Syntax::JpegLossless, "JPEG lossless"},
                                           SyntaxCase{Syntax::JpegLs, "JPEG-LS lossless"},
                                           SyntaxCase{Syntax::Jpeg2000Lossless, "JPEG 2000 lossless"}),
                         [](const auto& info) {
                             std::string name;
                             for (const char* c = info.param.name; *c; ++c)
                                 if (std::isalnum(static_cast<unsigned char>(*c)))
                                     name += *c;
                             return name;
                         });

TEST_F(Tool, DicomMonochrome1IsShownInverted)
{
    const QString normal = writeCropDicom(QStringLiteral("m2.dcm"), DicomContent{});
    const QString inverse = writeCropDicom(QStringLiteral("m1.dcm"), DicomContent{.monochrome1 = true});
    for (const QStringList& options : {QStringList{QStringLiteral("--level"), QStringLiteral("2000"), QStringLiteral("--window"), QStringLiteral("2500")},
                                       QStringList{}})
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

TEST_F(Tool, DicomSignedPixelsAreReadAsShort)
{
    std::vector<std::uint16_t> words;
    for (std::uint16_t v : cropValues)
        words.push_back(std::uint16_t(std::int16_t(int(v) - 2048)));
    const QString path = writeCropDicom(QStringLiteral("signed.dcm"), DicomContent{.frames = {words}, .isSigned = true, .bitsStored = 13});
    const QJsonObject info = infoJson(path);
    EXPECT_EQ(info[QStringLiteral("pixelType")].toString(), QStringLiteral("SHORT"));
    const auto [lo, hi] = std::minmax_element(cropValues.begin(), cropValues.end());
    EXPECT_EQ(info[QStringLiteral("minimum")].toDouble(), double(*lo) - 2048);
    EXPECT_EQ(info[QStringLiteral("maximum")].toDouble(), double(*hi) - 2048);
    // Signed values v come out at v + 32768.
    std::vector<std::uint16_t> expected;
    for (std::uint16_t v : cropValues)
        expected.push_back(std::uint16_t(int(v) - 2048 + 32768));
    EXPECT_TRUE(sameValues(enhance16(path, identitySigned), expected));
}

TEST_F(Tool, DicomRescaleSlopeAndInterceptAreApplied)
{
    const QString path = writeCropDicom(QStringLiteral("rescaled.dcm"), DicomContent{.slope = 2.0, .intercept = -5000.0});
    const QJsonObject info = infoJson(path);
    EXPECT_EQ(info[QStringLiteral("rescaleSlope")].toDouble(), 2.0);
    EXPECT_EQ(info[QStringLiteral("rescaleIntercept")].toDouble(), -5000.0);
    EXPECT_EQ(info[QStringLiteral("pixelType")].toString(), QStringLiteral("SHORT")) << "negative values after rescale";
    std::vector<std::uint16_t> expected;
    for (std::uint16_t v : cropValues)
        expected.push_back(std::uint16_t(2 * int(v) - 5000 + 32768));
    EXPECT_TRUE(sameValues(enhance16(path, identitySigned), expected));

    // A fractional slope keeps the values as float.
    const QString fractional = writeCropDicom(QStringLiteral("half.dcm"), DicomContent{.slope = 0.5});
    const QJsonObject half = infoJson(fractional);
    EXPECT_EQ(half[QStringLiteral("pixelType")].toString(), QStringLiteral("FLOAT"));
    const auto [lo, hi] = std::minmax_element(cropValues.begin(), cropValues.end());
    EXPECT_EQ(half[QStringLiteral("minimum")].toDouble(), *lo * 0.5);
    EXPECT_EQ(half[QStringLiteral("maximum")].toDouble(), *hi * 0.5);
}

TEST_F(Tool, DicomBitsOutsideBitsStoredAreIgnored)
{
    std::vector<std::uint16_t> words;
    for (std::uint16_t v : cropValues)
        words.push_back(std::uint16_t(v | 0xA000)); // overlay bits above bit 11
    const QString path = writeCropDicom(QStringLiteral("overlay.dcm"), DicomContent{.frames = {words}, .bitsStored = 12});
    EXPECT_TRUE(sameValues(enhance16(path, identityUnsigned), cropValues));
}

TEST_F(Tool, DicomMultiFrameTakesTheFirstFrameWithANote)
{
    std::vector<std::uint16_t> second;
    for (std::uint16_t v : cropValues)
        second.push_back(std::uint16_t(4095 - v));
    const QString path = writeCropDicom(QStringLiteral("frames.dcm"), DicomContent{.frames = {cropValues, second, second}});
    QString err;
    EXPECT_TRUE(sameValues(enhance16(path, identityUnsigned, &err), cropValues));
    EXPECT_TRUE(err.contains(QLatin1String("multi-frame file (3 frames): using the first frame"))) << qPrintable(err);
}

TEST_F(Tool, DicomWindowFromTheFile)
{
    const QString withWindow = writeCropDicom(QStringLiteral("w.dcm"), DicomContent{.windowCenter = 2100.0, .windowWidth = 1700.0});
    EXPECT_TRUE(sameValues(enhance8(withWindow, {QStringLiteral("--window-from-file")}),
                           enhance8(withWindow, {QStringLiteral("--level"), QStringLiteral("2100"), QStringLiteral("--window"), QStringLiteral("1700")})));
    // Without a stored window the automatic one is used, with a note.
    const QString without = writeCropDicom(QStringLiteral("nw.dcm"), DicomContent{});
    const QString out = file(QStringLiteral("nw.png"));
    const ToolRun run = runTool({QStringLiteral("enhance"), without, QStringLiteral("--window-from-file"), QStringLiteral("-o"), out});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_TRUE(run.err.contains(QLatin1String("no window stored in the file"))) << qPrintable(run.err);
    EXPECT_TRUE(sameValues(pixels8(QImage(out)), enhance8(without, {})));
}

// --- The DICOM files that Debian's python3-pydicom package ships. ---

class PydicomFiles : public Tool
{
protected:
    void SetUp() override
    {
        QFile unavailable(QStringLiteral(PYDICOM_DIR "/unavailable.txt"));
        if (unavailable.open(QIODevice::ReadOnly))
            GTEST_SKIP() << "pydicom test files unavailable: " << unavailable.readAll().toStdString();
        QDirIterator it(QStringLiteral(PYDICOM_DIR), {QStringLiteral("MR_small.dcm")}, QDir::Files, QDirIterator::Subdirectories);
        if (!it.hasNext())
            GTEST_SKIP() << "pydicom test files not fetched (run the apps_fetch_pydicom set-up test)";
        folder = QFileInfo(it.next()).path();
    }
    QString data(const char* name) const { return folder + QLatin1Char('/') + QLatin1String(name); }
    QString folder;
};

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
    std::vector<std::uint16_t> expected;
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
    for (const char* name : {"JPEG2000.dcm", "JPGExtended.dcm", "JPEG-lossy.dcm", 
                             "MR_small_jp2klossless.dcm", "693_J2KI.dcm", "rtdose_rle_1frame.dcm"})
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

TEST_F(PydicomFiles, BadFilesGetOneClearError)
{
    struct Case
    {
        const char* name;
        const char* reason;
    };
    for (const Case& c : {Case{"MR_truncated.dcm", "truncated"}, Case{"SC_rgb_rle.dcm", "colour DICOM images are not supported"},
                          Case{"SC_rgb_jpeg_dcmtk.dcm", "colour"}, Case{"rtplan.dcm", "not a readable DICOM image"}})
    {
        const QString out = file(QStringLiteral("bad.png"));
        const ToolRun run = runTool({QStringLiteral("enhance"), data(c.name), QStringLiteral("-o"), out});
        EXPECT_EQ(run.exitCode, 1) << c.name;
        const QStringList errors = errorLines(run.err);
        ASSERT_EQ(errors.size(), 1) << c.name << qPrintable(run.err);
        EXPECT_TRUE(errors[0].startsWith(QStringLiteral("image2d: error: %1: ").arg(data(c.name)))) << qPrintable(errors[0]);
        EXPECT_TRUE(errors[0].contains(QLatin1String(c.reason))) << qPrintable(errors[0]);
        EXPECT_FALSE(QFile::exists(out));
    }
}

TEST_F(PydicomFiles, AWholeFolderOfMixedFilesNeverCrashes)
{
    const QString out = file(QStringLiteral("all"));
    const ToolRun run = runTool({QStringLiteral("enhance"), folder, QStringLiteral("-o"), out, QStringLiteral("-q")});
    ASSERT_FALSE(run.crashed);
    EXPECT_EQ(run.exitCode, 1) << "the folder holds structured reports and colour images";
    const int inputs = QDir(folder).entryList({QStringLiteral("*.dcm")}, QDir::Files).size();
    EXPECT_EQ(filesIn(out).size() + errorLines(run.err).size(), inputs) << qPrintable(run.err);
    EXPECT_GE(filesIn(out).size(), 20);
}

} // namespace

// Sum of absolute differences between horizontal and vertical neighbours: falls when
// an image is smoothed, rises when it is sharpened.
double roughness(const std::vector<std::uint8_t>& v, int width)
{
    double sum = 0;
    const int height = int(v.size()) / width;
    for (int y = 0; y + 1 < height; ++y)
        for (int x = 0; x + 1 < width; ++x)
        {
            const int p = v[std::size_t(y * width + x)];
            sum += std::abs(p - v[std::size_t(y * width + x + 1)]) + std::abs(p - v[std::size_t((y + 1) * width + x)]);
        }
    return sum;
}

TEST_F(Tool, SharpeningDenoisingAndEqualizationChangeTheImageTheirWay)
{
    const QString input = file(QStringLiteral("crop.png"));
    ASSERT_TRUE(crop.save(input));
    const QStringList window = {QStringLiteral("--level"), QStringLiteral("2300"), QStringLiteral("--window"), QStringLiteral("3000")};
    const int w = crop.width();
    const auto base = enhance8(input, window);
    ASSERT_FALSE(base.empty());
    const auto sharp = enhance8(input, window + QStringList{QStringLiteral("--sharpen"), QStringLiteral("2")});
    const auto smooth = enhance8(input, window + QStringList{QStringLiteral("--denoise"), QStringLiteral("3")});
    const auto equalized = enhance8(input, window + QStringList{QStringLiteral("--equalize"), QStringLiteral("0.8")});
    ASSERT_EQ(sharp.size(), base.size());
    ASSERT_EQ(smooth.size(), base.size());
    ASSERT_EQ(equalized.size(), base.size());
    EXPECT_GT(roughness(sharp, w), roughness(base, w) * 1.05);
    EXPECT_LT(roughness(smooth, w), roughness(base, w) * 0.95);
    EXPECT_FALSE(sameValues(equalized, base));
}
