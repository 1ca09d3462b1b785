// The exposure and sharpness report: the phantom taken at three doses and three blurs is
// classified as it was taken, and raw data goes through the acquisition enhancement.
#include "ToolFixture.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>

#include <map>

namespace tooltest {
namespace {

TEST_F(Tool, ReportClassifiesThePhantomAtThreeExposuresAndThreeBlurs)
{
    const QString folder = file(QStringLiteral("day"));
    ASSERT_TRUE(QDir().mkpath(folder));
    const std::map<QString, QStringList> takes = {
        {"under", {"--exposure", "under"}}, {"normal", {}}, {"over", {"--exposure", "over"}},
        {"blur2", {"--blur", "2"}},         {"blur5", {"--blur", "5"}}};
    for (const auto& [name, options] : takes)
        ASSERT_EQ(runTool(QStringList{"phantom", "-o", folder + "/" + name + ".png"} + options).exitCode, 0) << qPrintable(name);
    const QString csv = file(QStringLiteral("report.csv"));
    const ToolRun run = runTool({QStringLiteral("info"), folder, QStringLiteral("--csv"), csv});
    ASSERT_EQ(run.exitCode, 0) << qPrintable(run.err);
    QFile report(csv);
    ASSERT_TRUE(report.open(QIODevice::ReadOnly));
    const QStringList lines = QString::fromUtf8(report.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 6);
    EXPECT_EQ(lines[0], "file,width,height,pixelType,exposure,sharpness,fieldFraction,fieldMinimum,fieldMaximum");
    std::map<QString, QStringList> rows;
    for (const QString& line : lines.mid(1))
        rows[QFileInfo(line.section(QLatin1Char(','), 0, 0)).completeBaseName()] = line.split(QLatin1Char(','));
    EXPECT_EQ(rows["under"][4], "bright"); // too little dose leaves the image light
    EXPECT_EQ(rows["normal"][4], "balanced");
    EXPECT_EQ(rows["over"][4], "dark");
    EXPECT_EQ(rows["blur2"][4], "balanced");
    EXPECT_EQ(rows["blur5"][4], "balanced");
    EXPECT_GT(rows["normal"][5].toDouble(), rows["blur2"][5].toDouble());
    EXPECT_GT(rows["blur2"][5].toDouble(), rows["blur5"][5].toDouble());
    // The collimator's shadow is outside the field: its unexposed plateau is the brightest.
    EXPECT_LT(rows["normal"][6].toDouble(), 1.0);
    EXPECT_LT(rows["normal"][8].toDouble(), 4096.0);
    // The same through the JSON report of two files.
    const ToolRun json = runTool({QStringLiteral("info"), QStringLiteral("--json"), folder + "/under.png", folder + "/over.png"});
    ASSERT_EQ(json.exitCode, 0) << qPrintable(json.err);
    const QJsonArray array = QJsonDocument::fromJson(json.out.toUtf8()).array();
    ASSERT_EQ(array.size(), 2);
    EXPECT_EQ(array[1].toObject()[QStringLiteral("exposure")].toString(), "dark");
}

TEST_F(Tool, AcquisitionEnhancementRunsBeforeTheDisplayRoad)
{
    const QString out = file(QStringLiteral("acquired.png")), compare = file(QStringLiteral("compare.png"));
    const ToolRun run = runTool({QStringLiteral("enhance"), rawPath, QStringLiteral("--acquisition"), QStringLiteral("12"),
                                 QStringLiteral("-o"), out, QStringLiteral("--compare"), compare, QStringLiteral("-q")});
    ASSERT_EQ(run.exitCode, 0) << qPrintable(run.err);
    EXPECT_FALSE(sameValues(pixels8(QImage(out)), enhance8(rawPath, {})));
    EXPECT_TRUE(QImage(compare).width() > QImage(out).width());
    const ToolRun bad = runTool({QStringLiteral("enhance"), rawPath, QStringLiteral("--acquisition"), QStringLiteral("10")});
    EXPECT_EQ(bad.exitCode, 2);
    EXPECT_EQ(errorLines(bad.err), QStringList{"image2d: error: invalid acquisition \"10\": use 12 or 16 (bits of the raw data)"});
}

} // namespace
} // namespace tooltest
