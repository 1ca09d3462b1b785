// enhance and phantom: the display road through the tool, pixel by pixel where the
// expected values are known, and the batch behaviour.
#include "ToolFixture.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>

#include <sys/resource.h>

#include <algorithm>
#include <cmath>

namespace tooltest {
namespace {

using testing_dicom::DicomContent;

TEST_F(Tool, PhantomIsTwelveBitAndDeterministic)
{
    ASSERT_EQ(phantom.format(), QImage::Format_Grayscale16);
    EXPECT_EQ(phantom.size(), QSize(1440, 960));
    const auto values = pixels16(phantom);
    const auto [lo, hi] = std::minmax_element(values.begin(), values.end());
    EXPECT_LE(*hi, 4095);
    EXPECT_GT(*hi - *lo, 2500) << "a radiograph spans most of its 12 bits";
    const QString again = file(QStringLiteral("again.png"));
    ASSERT_EQ(runTool({"phantom", "-o", again, "--masks", file(QStringLiteral("masks"))}).exitCode, 0);
    EXPECT_TRUE(sameValues(pixels16(QImage(again)), values));
    // The masks: 8-bit pictures of the same size, the four teeth labelled 1 to 4.
    for (const char* name : {"teeth.png", "pulp.png", "bone.png"})
    {
        const QImage mask(file(QStringLiteral("masks/%1").arg(QLatin1String(name))));
        EXPECT_EQ(mask.format(), QImage::Format_Grayscale8) << name;
        EXPECT_EQ(mask.size(), phantom.size()) << name;
    }
    const auto labels = pixels8(QImage(file(QStringLiteral("masks/teeth.png"))));
    EXPECT_EQ(*std::max_element(labels.begin(), labels.end()), 4);
    // The stored pixel size (0.025 mm) travels with the PNG.
    const QJsonObject info = infoJson(rawPath);
    EXPECT_TRUE(info[QStringLiteral("pixelSizeKnown")].toBool());
    EXPECT_EQ(info[QStringLiteral("pixelSize")].toArray()[0].toDouble(), 0.025);
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
    // TIFF output, and PNG output at either compression, hold the same values.
    for (const QStringList& form : {QStringList{"-o", file(QStringLiteral("out.tiff"))}, QStringList{"-o", file(QStringLiteral("fast.png"))},
                                    QStringList{"-o", file(QStringLiteral("small.png")), "--compression", "small"}})
    {
        ASSERT_EQ(runTool(QStringList{QStringLiteral("enhance"), tiff} + form + identityUnsigned).exitCode, 0);
        EXPECT_TRUE(sameValues(pixels16(QImage(form[1])), cropValues)) << qPrintable(form.join(QLatin1Char(' ')));
    }
    EXPECT_LT(QFileInfo(file(QStringLiteral("small.png"))).size(), QFileInfo(file(QStringLiteral("fast.png"))).size());
}

TEST_F(Tool, InversionAndGammaActOnEveryPixel)
{
    const auto base = enhance8(rawPath, phantomWindow);
    ASSERT_EQ(base.size(), std::size_t(1440 * 960));
    auto inverted = base;
    for (auto& v : inverted)
        v = std::uint8_t(255 - v);
    EXPECT_TRUE(sameValues(enhance8(rawPath, phantomWindow + QStringList{QStringLiteral("--invert")}), inverted));
    // Gamma 2 lifts the mid-tones and lowers nothing.
    const auto lifted = enhance8(rawPath, phantomWindow + QStringList{QStringLiteral("--gamma"), QStringLiteral("2")});
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
    const QString input = cropPng();
    const int w = crop.width(), h = crop.height();
    const auto base = enhance8(input, phantomWindow);
    ASSERT_EQ(base.size(), std::size_t(w * h));
    auto at = [&](int x, int y) { return base[std::size_t(y * w + x)]; };
    std::vector<std::uint8_t> mirrored, half, quarter(base.size());
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
        {
            mirrored.push_back(at(w - 1 - x, y));
            half.push_back(at(w - 1 - x, h - 1 - y));
            // Clockwise: the output is h wide; input (x, y) lands at (h - 1 - y, x).
            quarter[std::size_t(x * h + (h - 1 - y))] = at(x, y);
        }
    EXPECT_TRUE(sameValues(enhance8(input, phantomWindow + QStringList{QStringLiteral("--mirror")}), mirrored));
    EXPECT_TRUE(sameValues(enhance8(input, phantomWindow + QStringList{"--rotate", "180"}), half));
    EXPECT_TRUE(sameValues(enhance8(input, phantomWindow + QStringList{"--rotate", "90"}), quarter));
    // Resizing keeps the image's orientation whichever way the size is written.
    for (const QString& size : {QStringLiteral("120x90"), QStringLiteral("90x120")})
    {
        const QString out = file(QStringLiteral("small.png"));
        ASSERT_EQ(runTool(QStringList{"enhance", input, "-o", out, "--resize", size} + phantomWindow).exitCode, 0);
        EXPECT_EQ(QImage(out).size(), QSize(120, 90)) << qPrintable(size);
    }
}

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
    const QString input = cropPng();
    const int w = crop.width();
    const auto base = enhance8(input, phantomWindow);
    ASSERT_FALSE(base.empty());
    const auto sharp = enhance8(input, phantomWindow + QStringList{"--sharpen", "2"});
    const auto smooth = enhance8(input, phantomWindow + QStringList{"--denoise", "3"});
    const auto equalized = enhance8(input, phantomWindow + QStringList{"--equalize", "0.8"});
    ASSERT_EQ(sharp.size(), base.size());
    ASSERT_EQ(smooth.size(), base.size());
    ASSERT_EQ(equalized.size(), base.size());
    EXPECT_GT(roughness(sharp, w), roughness(base, w) * 1.05);
    EXPECT_LT(roughness(smooth, w), roughness(base, w) * 0.95);
    EXPECT_FALSE(sameValues(equalized, base));
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
    const QStringList filters = {"--sharpen", "1", "--equalize", "0.3"};
    const ToolRun run = runTool(QStringList{"enhance", in, "-o", out, "-j", "3"} + filters);
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
    EXPECT_EQ(runTool(QStringList{"enhance", in, "-o", serial, "-j", "1", "-q"} + filters).exitCode, 1);
    for (const QString& name : filesIn(out))
        EXPECT_EQ(readBytes(serial + QLatin1Char('/') + name), readBytes(out + QLatin1Char('/') + name)) << qPrintable(name);
    // The DICOM copy of the crop shows like the PNG copy.
    EXPECT_EQ(QImage(out + QStringLiteral("/a.png")), QImage(out + QStringLiteral("/b.png")));
}

// Largest resident size of the tool runs so far, kB (children that were waited for).
long largestToolRun()
{
    rusage usage{};
    getrusage(RUSAGE_CHILDREN, &usage);
    return usage.ru_maxrss;
}

// 200 inputs, a third of them damaged in six ways (cut short, empty, noise, a DICOM
// header over noise, a DICOM file cut in its pixels, a TIFF cut short): every good one
// written whole, every bad one reported once, no temporary file left, and no more memory
// for 200 images than for 20.
TEST_F(Tool, BatchOfTwoHundredWithAThirdDamaged)
{
    const QString in = file(QStringLiteral("in"));
    QDir().mkpath(in);
    const QImage small = crop.copy(0, 0, 48, 32);
    ASSERT_TRUE(small.save(in + QStringLiteral("/good.png")));
    ASSERT_TRUE(small.save(in + QStringLiteral("/good.tif")));
    const QByteArray png = readBytes(in + QStringLiteral("/good.png")), tif = readBytes(in + QStringLiteral("/good.tif"));
    const QByteArray dicom = readBytes(writeCropDicom(QStringLiteral("in/good.dcm"), DicomContent{}));
    QFile::remove(in + QStringLiteral("/good.png"));
    QFile::remove(in + QStringLiteral("/good.tif"));
    QFile::remove(in + QStringLiteral("/good.dcm"));
    QByteArray noise(700, '\0');
    for (int i = 0; i < noise.size(); ++i)
        noise[i] = char(i * 131 % 251);
    const QByteArray damaged[] = {png.left(png.size() / 2), QByteArray(), noise, QByteArray(128, '\0') + "DICM" + noise,
                                  dicom.left(dicom.size() - 500), tif.left(tif.size() / 3)};
    const char* damagedSuffix[] = {"png", "png", "png", "dcm", "dcm", "tif"};
    QStringList good;
    for (int i = 0; i < 200; ++i)
    {
        const QString name = QStringLiteral("%1/img-%2.").arg(in).arg(i, 3, 10, QLatin1Char('0'));
        if (i % 3 == 2)
            writeBytes(name + QLatin1String(damagedSuffix[i / 3 % 6]), damaged[i / 3 % 6]);
        else
        {
            const int kind = i % 4;
            writeBytes(name + (kind == 3 ? "dcm" : kind == 2 ? "tif" : "png"), kind == 3 ? dicom : kind == 2 ? tif : png);
            good << QStringLiteral("img-%1.png").arg(i, 3, 10, QLatin1Char('0'));
        }
    }

    QDir few(file(QStringLiteral("few")));
    few.mkpath(QStringLiteral("."));
    for (const QString& name : filesIn(in).mid(0, 20))
        QFile::copy(in + QLatin1Char('/') + name, few.filePath(name));
    ASSERT_EQ(runTool({"enhance", few.path(), "-o", file(QStringLiteral("few-out")), "-q"}).exitCode, 1);
    const long forTwenty = largestToolRun();

    const QString out = file(QStringLiteral("out"));
    const ToolRun run = runTool({"enhance", in, "-o", out, "-q", "--sharpen", "1"});
    EXPECT_FALSE(run.crashed);
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(filesIn(out), good);
    for (const QString& name : filesIn(out))
        EXPECT_EQ(QImage(out + QLatin1Char('/') + name).size(), name.mid(4, 3).toInt() % 4 == 3 ? crop.size() : small.size())
            << qPrintable(name);
    const QStringList errors = errorLines(run.err);
    EXPECT_EQ(errors.size(), 66) << qPrintable(run.err);
    for (int i = 2; i < 200; i += 3)
        EXPECT_EQ(errors.filter(QStringLiteral("img-%1.").arg(i, 3, 10, QLatin1Char('0'))).size(), 1) << i;
#ifndef __SANITIZE_ADDRESS__ // AddressSanitizer holds freed memory back in its quarantine
    EXPECT_LT(largestToolRun(), forTwenty + forTwenty / 4 + 16 * 1024) << "kB for 20 images: " << forTwenty;
#else
    (void)forTwenty;
#endif
}

// Rows of the picture that hold caption text (white on the black band below the images).
int captionLines(const QImage& picture, int from)
{
    int lines = 0;
    bool inLine = false;
    for (int y = from; y < picture.height(); ++y)
    {
        bool text = false;
        for (int x = 0; x < picture.width() && !text; ++x)
            text = qGray(picture.pixel(x, y)) > 128;
        lines += text && !inLine;
        inLine = text;
    }
    return lines;
}

// On a small image the labels shrink to fit each half and the caption wraps instead of
// being cut.
TEST_F(Tool, CompareFitsLabelsAndWrapsTheCaptionOnASmallImage)
{
    const QString small = file(QStringLiteral("small.png"));
    ASSERT_TRUE(crop.copy(0, 0, 64, 64).save(small));
    const QString picture = file(QStringLiteral("compare.png"));
    const ToolRun run = runTool({"enhance", small, "-o", file(QStringLiteral("s.png")), "--compare", picture, "--sharpen", "0.5",
                                 "--equalize", "0.2", "--denoise", "0.6"});
    ASSERT_EQ(run.exitCode, 0) << qPrintable(run.err);
    const QImage side(picture);
    ASSERT_EQ(side.width(), 64 + 4 + 64);
    EXPECT_GE(captionLines(side, 64), 4) << "the settings take several lines at this width";
}

} // namespace
} // namespace tooltest
