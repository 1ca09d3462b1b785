// The tool's command line: help, usage errors, settings files and the JSON it prints.
#include "ToolFixture.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>

namespace tooltest {
namespace {

TEST_F(Tool, HelpNamesTheCommandAndTellsExitCodesFormatAndExamples)
{
    const ToolRun help = runTool({QStringLiteral("--help")});
    EXPECT_EQ(help.exitCode, 0);
    for (const char* part : {"enhance", "info", "phantom", "Exit status:", "2  the command line is wrong"})
        EXPECT_TRUE(help.out.contains(QLatin1String(part))) << part;
    const ToolRun enhance = runTool({QStringLiteral("enhance"), QStringLiteral("--help")});
    EXPECT_EQ(enhance.exitCode, 0);
    EXPECT_TRUE(enhance.out.startsWith(QLatin1String("Usage: image2d enhance [options]"))) << qPrintable(enhance.out.left(200));
    for (const char* part : {"Settings file", "\"filters\": [", "Examples:", "--preset default", "Exit status:"})
        EXPECT_TRUE(enhance.out.contains(QLatin1String(part))) << part;
    const ToolRun version = runTool({QStringLiteral("--version")});
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_TRUE(version.out.startsWith(QLatin1String("image2d "))) << qPrintable(version.out);
    const ToolRun unknown = runTool({QStringLiteral("sharpen")});
    EXPECT_EQ(unknown.exitCode, 2);
    EXPECT_EQ(errorLines(unknown.err), QStringList{QStringLiteral("image2d: error: unknown command \"sharpen\"")});
}

class UsageErrors : public Tool, public ::testing::WithParamInterface<UsageCase>
{
};

// Every wrong command line is one error line with exit status 2, and nothing is written.
// The first argument is the command; ARCH stands for a broken arch file.
TEST_P(UsageErrors, OneLineExitTwoNothingWritten)
{
    writeBytes(file("arch.json"), "[[1, 2], [3]]");
    const QString out = file(QStringLiteral("never.png"));
    QStringList arguments{GetParam().arguments[0], QStringLiteral("-o"), out};
    for (const QString& a : GetParam().arguments.mid(1))
        arguments << (a == QLatin1String("ARCH") ? file("arch.json") : a);
    EXPECT_TRUE(usageError(arguments, GetParam().message, out));
}

INSTANTIATE_TEST_SUITE_P(
    Tool, UsageErrors,
    ::testing::Values(
        UsageCase{"GammaBelowZero", {"enhance", "--gamma", "-1"}, "invalid gamma value \"-1\": expected a gamma above 0"},
        UsageCase{"LevelWithoutWindow", {"enhance", "--level", "100"}, "--level and --window go together"},
        UsageCase{"LevelNotANumber", {"enhance", "--level", "abc", "--window", "100"}, "invalid level \"abc\": expected a number, the window centre"},
        UsageCase{"WindowZero", {"enhance", "--level", "1", "--window", "0"}, "invalid window \"0\": expected a number above 0"},
        UsageCase{"WindowFromFileWithLevel", {"enhance", "--level", "1", "--window", "9", "--window-from-file"},
                  "--window-from-file cannot be combined with --level/--window"},
        UsageCase{"TooManyJobs", {"enhance", "-j", "1000"}, "invalid job count \"1000\": use 1 to 64"},
        UsageCase{"NoJobs", {"enhance", "-j", "0"}, "invalid job count \"0\""},
        UsageCase{"ResizeTooLarge", {"enhance", "--resize", "99999x99999"}, "size \"99999x99999\" is too large: at most 16384 pixels a side"},
        UsageCase{"ResizeNotASize", {"enhance", "--resize", "big"}, "invalid size \"big\": expected WxH"},
        UsageCase{"RotateByFortyFive", {"enhance", "--rotate", "45"}, "invalid rotation \"45\""},
        UsageCase{"DepthTwelve", {"enhance", "--depth", "12"}, "invalid depth \"12\": use 8 or 16"},
        UsageCase{"UnknownCompression", {"enhance", "--compression", "best"}, "invalid compression \"best\": use fast or small"},
        UsageCase{"UnknownPreset", {"enhance", "--preset", "vivid"}, "unknown preset \"vivid\" (use default or none)"},
        UsageCase{"UnknownMedia", {"enhance", "--media", "xray"}, "unknown media \"xray\""},
        UsageCase{"OutputNotAPicture", {"enhance", "-o", "out.jpg"}, "output out.jpg: use a .png, .tif or .tiff file"},
        UsageCase{"ResliceWithoutInput", {"reslice"}, "give one CT series folder or --phantom"},
        UsageCase{"ResliceFolderAndPhantom", {"reslice", ".", "--phantom"}, "give one CT series folder or --phantom"},
        UsageCase{"ResliceNotAFolder", {"reslice", "series.dcm"}, "series.dcm is not a folder"},
        UsageCase{"ResliceUnknownType", {"reslice", "--phantom", "--type", "cbct"},
                  "unknown type \"cbct\" (use panoramic, xray or ceph)"},
        UsageCase{"ThicknessOfASection", {"reslice", "--phantom", "--thickness", "5"}, "--thickness is for --type xray and ceph"},
        UsageCase{"NegativeThickness", {"reslice", "--phantom", "--type", "xray", "--thickness", "-5"}, "invalid thickness \"-5\""},
        UsageCase{"ArchOfACeph", {"reslice", "--phantom", "--type", "ceph", "--arch", "auto"}, "--arch is for panoramic and xray"},
        UsageCase{"ViewOfAPanoramic", {"reslice", "--phantom", "--view", "left"}, "--view is for --type ceph"},
        UsageCase{"UnknownView", {"reslice", "--phantom", "--type", "ceph", "--view", "top"}, "invalid view \"top\""},
        UsageCase{"BrokenArchFile", {"reslice", "--phantom", "--arch", "ARCH"}, "point 2: expected [x, y] in mm"},
        UsageCase{"ResliceDisplayOptionsAsEnhance", {"reslice", "--phantom", "--level", "100"}, "--level and --window go together"},
        UsageCase{"ResliceOutputNotAPicture", {"reslice", "--phantom", "-o", "out.dcm"},
                  "output out.dcm: use a .png, .tif or .tiff file"}),
    [](const auto& info) { return std::string(info.param.name); });

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
    const QStringList options = {"--level", "2400", "--window", "2800", "--gamma", "1.3", "--invert", "--sharpen", "0.6",
                                 "--equalize", "0.4", "--denoise", "1.5", "--mirror"};
    const QString input = cropPng();
    const auto fromOptions = enhance8(input, options);
    ASSERT_FALSE(fromOptions.empty());
    EXPECT_TRUE(sameValues(enhance8(input, {QStringLiteral("--settings"), json}), fromOptions));
    // Settings saved from the command line read back to the same result, with the values
    // written as they were given (1.3, not 1.2999999523162842).
    const QString saved = file(QStringLiteral("saved.json"));
    ASSERT_EQ(runTool(QStringList{"enhance", input, "-o", file(QStringLiteral("s.png")), "--save-settings", saved} + options).exitCode, 0);
    EXPECT_TRUE(readBytes(saved).contains("\"value\": 1.3\n")) << readBytes(saved).toStdString();
    EXPECT_TRUE(sameValues(enhance8(input, {QStringLiteral("--settings"), saved}), fromOptions));
    // An option beside the file overrides it.
    EXPECT_FALSE(sameValues(enhance8(input, {"--settings", json, "--level", "2400", "--window", "5600"}), fromOptions));
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
        {R"({"level": 100, "window": 50, "windowFromFile": true})", "\"windowFromFile\" cannot be combined with \"level\""},
        {R"({"resize": "20000x100"})", "too large"},
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

// info --json prints every key, null where the image has no such value, and floats in
// their shortest form.
TEST_F(Tool, InfoJsonHasEveryKeyAndShortFloats)
{
    const ToolRun run = runTool({QStringLiteral("info"), QStringLiteral("--json"), cropPng()});
    ASSERT_EQ(run.exitCode, 0) << qPrintable(run.err);
    EXPECT_TRUE(run.out.contains(QLatin1String("\"pixelSize\": [\n        0.025,\n        0.025\n    ]"))) << qPrintable(run.out);
    const QJsonObject png = QJsonDocument::fromJson(run.out.toUtf8()).object();
    for (const char* key : {"photometric", "fileLevel", "fileWindow"})
        EXPECT_TRUE(png.contains(QLatin1String(key)) && png[QLatin1String(key)].isNull()) << key;
    EXPECT_TRUE(png[QStringLiteral("autoGamma")].isDouble());
    // A fractional rescale gives float pixels, for which no automatic window exists.
    const QJsonObject real = infoJson(writeCropDicom(QStringLiteral("half.dcm"), testing_dicom::DicomContent{.slope = 0.5}));
    for (const char* key : {"autoLevel", "autoWindow", "autoGamma", "fileLevel"})
        EXPECT_TRUE(real.contains(QLatin1String(key)) && real[QLatin1String(key)].isNull()) << key;
    EXPECT_EQ(real[QStringLiteral("photometric")].toString(), QStringLiteral("MONOCHROME2"));
}

} // namespace
} // namespace tooltest
