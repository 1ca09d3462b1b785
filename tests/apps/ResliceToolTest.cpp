// `image2d reslice` on the CT phantom: the arch it finds follows the phantom's parabola, the
// panoramic section shows every tooth, root, the mandibular canal and the restoration where
// the phantom put them, the cephalogram seen from the other side is its mirror image, and
// the CT phantom series is written and described.
#include "CtPhantom.h"
#include "DentalArch.h"
#include "DicomSeries.h"
#include "ResliceJob.h"
#include "ToolFixture.h"

#include "image2d/enhancement/AutoLevelWindow3D.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>

#include <cmath>

namespace tooltest {
namespace {

constexpr double kPixel = 0.2;  // mm: half the phantom's 0.4 mm voxel
constexpr double kTop = 79.6;   // mm: z of the phantom's highest slice
constexpr double kLowerOcclusal = ctphantom::kLowerOcclusal, kUpperOcclusal = ctphantom::kUpperOcclusal;

double archY(double x)
{
    return ctphantom::kArchFront + ctphantom::kArchCurvature * (x - ctphantom::kMidline) * (x - ctphantom::kMidline);
}

// Arc length along the polyline to the point of it nearest to p.
double arcPosition(const QList<QPointF>& curve, const QPointF& p)
{
    double best = 1e300, at = 0.0, along = 0.0;
    for (qsizetype i = 1; i < curve.size(); ++i)
    {
        const QPointF a = curve[i - 1], d = curve[i] - a;
        const double length = std::hypot(d.x(), d.y());
        const double t = std::clamp(QPointF::dotProduct(p - a, d) / (length * length), 0.0, 1.0);
        const QPointF q = a + d * t;
        if (const double distance = std::hypot(p.x() - q.x(), p.y() - q.y()); distance < best)
            best = distance, at = along + t * length;
        along += length;
    }
    return at;
}

class ReslicedPhantom : public Tool, public ::testing::WithParamInterface<bool>
{
protected:
    // The picture and the curve the tool follows: found automatically, or given as the
    // phantom's own parabola.
    QImage reslice(const QStringList& options, QList<QPointF>& curve)
    {
        QStringList arguments{QStringLiteral("reslice"), QStringLiteral("--phantom"), QStringLiteral("-o"),
                              file(QStringLiteral("out.png"))};
        if (GetParam())
        {
            QString error;
            EXPECT_TRUE(tool::automaticArch(phantom(), curve, error)) << qPrintable(error);
        }
        else
        {
            QByteArray json = "[";
            for (double x = 24; x <= 78; x += 2)
                json += QStringLiteral("%1[%2, %3]").arg(QLatin1String(x > 24 ? "," : "")).arg(x).arg(archY(x)).toUtf8();
            writeBytes(file(QStringLiteral("arch.json")), json + "]");
            arguments << QStringLiteral("--arch") << file(QStringLiteral("arch.json"));
            QString error;
            EXPECT_TRUE(tool::readArchFile(file(QStringLiteral("arch.json")), curve, error)) << qPrintable(error);
        }
        const ToolRun run = runTool(arguments + options);
        EXPECT_EQ(run.exitCode, 0) << qPrintable(run.err);
        return QImage(file(QStringLiteral("out.png")));
    }
    static const VoxenImage3D& phantom()
    {
        static const VoxenImage3D volume = ctphantom::makeCtPhantom();
        return volume;
    }
    // The mean picture value over +-radius pixels around the place of arc position s and
    // height z.
    static double at(const QImage& image, const QList<QPointF>& curve, double s, double z, int radius = 1)
    {
        const int column = int(std::lround(s / tool::polylineLength(curve) * image.width() - 0.5));
        const int row = int(std::lround((kTop - z) / kTop * image.height() - 0.5));
        double sum = 0;
        int count = 0;
        for (int y = row - radius; y <= row + radius; ++y)
            for (int x = column - radius; x <= column + radius; ++x)
            {
                if (!image.valid(x, y))
                    return -1;
                sum += image.format() == QImage::Format_Grayscale16
                           ? reinterpret_cast<const std::uint16_t*>(image.constScanLine(y))[x] / 257.0
                           : image.constScanLine(y)[x];
                ++count;
            }
        return sum / count;
    }
};

TEST_P(ReslicedPhantom, TeethRootsAndCanalAreWhereThePhantomPutThem)
{
    QList<QPointF> curve;
    const QImage image = reslice({}, curve);
    ASSERT_EQ(image.format(), QImage::Format_Grayscale8);
    // Pixel size 0.2 mm, recorded in the file.
    EXPECT_EQ(image.width(), int(tool::polylineLength(curve) / kPixel));
    EXPECT_EQ(image.height(), int(kTop / kPixel + 1e-6));
    EXPECT_NEAR(image.dotsPerMeterX(), 5000, 10);
    // The arch runs within half a millimetre of the parabola the phantom's jaws follow.
    for (const QPointF& p : curve)
    {
        const double slope = 2 * ctphantom::kArchCurvature * (p.x() - ctphantom::kMidline);
        EXPECT_LT(std::abs(p.y() - archY(p.x())) / std::hypot(1.0, slope), 0.5) << p.x();
    }
    // Through the CT window (-1025 .. 1825 HU) crowns and roots are white (dentine 1800 and
    // more; 36 and 37 carry the metal's dark streaks), the pulp chamber low in the crown is
    // soft-tissue grey (35 HU: 96).
    for (const ctphantom::Tooth& tooth : ctphantom::teeth())
    {
        SCOPED_TRACE(tooth.number);
        const double s = arcPosition(curve, tooth.crownCentre.toPointF());
        const double occlusal = tooth.upper ? kUpperOcclusal : kLowerOcclusal;
        const float middle = tooth.crownCentre.z();
        EXPECT_GT(at(image, curve, s, (middle + occlusal) / 2), 225);
        EXPECT_LT(at(image, curve, s, middle + 0.4 * (middle - occlusal)), 120);
        // Beside the canal of a single root, halfway down it.
        if (tooth.width < 9.0f)
        {
            EXPECT_GT(at(image, curve, s + 0.8, (middle + tooth.apex.z()) / 2 + (tooth.upper ? 1 : -1), 0), 225);
        }
    }
    // The mandibular canal (30 HU inside a wall of 900) below the molars, darker than the
    // bone 3 mm above and below it.
    for (const double side : {-1.0, 1.0})
    {
        const double start = arcPosition(curve, ctphantom::archPoint(side * 36, 0).toPointF());
        double canal = 0, bone = 0;
        for (double s = start; std::abs(s - start) < 12; s += side * kPixel)
        {
            canal += at(image, curve, s, ctphantom::kCanalHeight, 0);
            bone += (at(image, curve, s, ctphantom::kCanalHeight + 3, 0) + at(image, curve, s, ctphantom::kCanalHeight - 3, 0)) / 2;
        }
        EXPECT_LT(canal, bone * 0.8) << side;
    }
}

// Through a window reaching 7000 HU the metal filling of 36 stands out of every crown.
TEST_P(ReslicedPhantom, RestorationStandsOutThroughAWideWindow)
{
    QList<QPointF> curve;
    const QImage image = reslice({"--level", "3000", "--window", "8000", "--depth", "16"}, curve);
    ASSERT_EQ(image.format(), QImage::Format_Grayscale16);
    for (const ctphantom::Tooth& tooth : ctphantom::teeth())
    {
        const double value = at(image, curve, arcPosition(curve, tooth.crownCentre.toPointF()), kLowerOcclusal - 1.2);
        if (tooth.number == 36)
        {
            EXPECT_GT(value, 250);
        }
        else if (!tooth.upper)
        {
            EXPECT_LT(value, 170) << tooth.number; // enamel and its metal streaks: below 3600 HU
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Tool, ReslicedPhantom, ::testing::Bool(),
                         [](const auto& info) { return std::string(info.param ? "AutomaticArch" : "ArchFile"); });

// Seen from the left the cephalogram is the mirror image of the one seen from the right:
// the same rays across the head, columns from the face to the back instead.
TEST_F(Tool, CephalogramFromTheLeftMirrorsTheRight)
{
    QImage views[2];
    for (const char* side : {"right", "left"})
    {
        const ToolRun run = runTool({"reslice", "--phantom", "--type", "ceph", "--view", side, "-o", file("ceph.png")});
        ASSERT_EQ(run.exitCode, 0) << qPrintable(run.err);
        views[side[0] == 'l'] = QImage(file("ceph.png"));
    }
    ASSERT_EQ(views[0].size(), QSize(510, 398));
    const std::vector<std::uint8_t> right = pixels8(views[0]), left = pixels8(views[1].mirrored(true, false));
    int differing = 0;
    for (std::size_t i = 0; i < right.size(); ++i)
        differing += std::abs(int(right[i]) - int(left[i])) > 1;
    EXPECT_EQ(differing, 0);
}

// `phantom --media ct` writes the series and `info FOLDER` describes it, or names the gap.
TEST_F(Tool, CtPhantomSeriesIsWrittenAndDescribed)
{
    const QString folder = file(QStringLiteral("ct"));
    ASSERT_EQ(runTool({"phantom", "--media", "ct", "-o", folder}).exitCode, 0);
    EXPECT_EQ(QDir(folder).entryList(QDir::Files).size(), 200);
    const QJsonObject o = infoJson(folder);
    EXPECT_EQ(o[QStringLiteral("size")].toArray(), (QJsonArray{256, 256, 200}));
    EXPECT_EQ(o[QStringLiteral("voxelSize")].toArray()[2].toDouble(), double(0.4f));
    const data::LevelWindow expected = image3d::calculateAutoLevelWindow(
        std::make_unique<VoxenImage3D>(ctphantom::makeCtPhantom()).get());
    EXPECT_EQ(o[QStringLiteral("autoLevel")].toInt(), expected.getLevel());
    EXPECT_EQ(o[QStringLiteral("autoWindow")].toInt(), expected.getWindow());
    QFile::remove(QDir(folder).filePath(QStringLiteral("slice-0100.dcm")));
    const ToolRun broken = runTool({QStringLiteral("info"), folder});
    EXPECT_EQ(broken.exitCode, 1);
    EXPECT_EQ(errorLines(broken.err), QStringList{QStringLiteral("image2d: error: %1: uneven slice spacing: 0.8 mm "
                                                                 "between slices 100 and 101, 0.4 mm elsewhere (a "
                                                                 "slice missing?)")
                                                      .arg(folder)});
}

// GDCM stops the whole process (a compiled-in assertion) on a slice cut inside its header
// while it scans the folder; the tool reads series in a child process, so that costs one
// error line.
TEST_F(Tool, CtSliceCutInItsHeaderIsAnErrorLineNotAnAbort)
{
    const QString folder = file(QStringLiteral("ct"));
    QString error;
    ASSERT_TRUE(ctvolume::writeCtSeries(ctphantom::makeCtPhantom(16), folder, error)) << qPrintable(error);
    QFile slice(QDir(folder).filePath(QStringLiteral("slice-0001.dcm")));
    ASSERT_TRUE(slice.resize(150));
    const ToolRun info = runTool({QStringLiteral("info"), folder});
    EXPECT_FALSE(info.crashed);
    EXPECT_EQ(info.exitCode, 1);
    EXPECT_EQ(errorLines(info.err),
              QStringList{QStringLiteral("image2d: error: %1: slice-0001.dcm: a damaged DICOM file (the file ends "
                                         "inside its header)")
                              .arg(folder)});
}

TEST_F(Tool, ResliceOfAFolderWithoutASeriesFailsWithItsReason)
{
    const ToolRun run = runTool({"reslice", dir.path(), "-o", file("never.png")});
    EXPECT_EQ(run.exitCode, 1);
    const QStringList errors = errorLines(run.err);
    ASSERT_EQ(errors.size(), 1) << qPrintable(run.err);
    EXPECT_TRUE(errors[0].startsWith(QStringLiteral("image2d: error: %1: ").arg(dir.path()))) << qPrintable(errors[0]);
    EXPECT_FALSE(QFile::exists(file("never.png")));
}

} // namespace
} // namespace tooltest
