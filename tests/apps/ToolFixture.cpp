#include "ToolFixture.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QProcess>

namespace tooltest {

const QStringList identityUnsigned = {QStringLiteral("--level"), QStringLiteral("32767.5"), QStringLiteral("--window"),
                                      QStringLiteral("65535"), QStringLiteral("--depth"), QStringLiteral("16")};
const QStringList identitySigned = {QStringLiteral("--level"), QStringLiteral("-0.5"), QStringLiteral("--window"),
                                    QStringLiteral("65535"), QStringLiteral("--depth"), QStringLiteral("16")};
const QStringList phantomWindow = {QStringLiteral("--level"), QStringLiteral("2300"), QStringLiteral("--window"),
                                   QStringLiteral("3000")};

ToolRun runTool(const QStringList& arguments, const QString& workingDirectory)
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

::testing::AssertionResult usageError(const QStringList& arguments, const char* message, const QString& output)
{
    const ToolRun run = runTool(arguments);
    const QStringList errors = errorLines(run.err);
    if (run.exitCode != 2 || errors.size() != 1 || !errors[0].contains(QLatin1String(message)))
        return ::testing::AssertionFailure() << "exit status " << run.exitCode << ", stderr: " << qPrintable(run.err);
    if (QFile::exists(output))
        return ::testing::AssertionFailure() << qPrintable(output) << " was written";
    return ::testing::AssertionSuccess();
}

QJsonObject infoJson(const QString& path, const QStringList& extra)
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

void Tool::SetUpTestSuite()
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

void Tool::TearDownTestSuite()
{
    suiteDir.reset();
}

QString Tool::writeCropDicom(const QString& name, testing_dicom::DicomContent content) const
{
    if (content.width == 0)
    {
        content.width = crop.width();
        content.height = crop.height();
    }
    if (content.frames.empty() && content.rgb.empty())
        content.frames.push_back(cropValues);
    const QString path = file(name);
    EXPECT_TRUE(testing_dicom::writeDicom(path, content));
    return path;
}

QString Tool::cropPng() const
{
    const QString path = file(QStringLiteral("crop.png"));
    if (!QFile::exists(path))
    {
        EXPECT_TRUE(crop.save(path));
    }
    return path;
}

QImage Tool::enhanced(const QString& input, const QStringList& options, QString* err) const
{
    static int counter = 0;
    const QString out = file(QStringLiteral("out-%1.png").arg(++counter));
    const ToolRun run = runTool(QStringList{QStringLiteral("enhance"), input, QStringLiteral("-o"), out} + options);
    EXPECT_EQ(run.exitCode, 0) << qPrintable(run.err);
    if (err)
        *err = run.err;
    return QImage(out);
}

void PydicomFiles::SetUp()
{
    QFile unavailable(QStringLiteral(PYDICOM_DIR "/unavailable.txt"));
    if (unavailable.open(QIODevice::ReadOnly))
        GTEST_SKIP() << "pydicom test files unavailable: " << unavailable.readAll().toStdString();
    QDirIterator it(QStringLiteral(PYDICOM_DIR), {QStringLiteral("MR_small.dcm")}, QDir::Files, QDirIterator::Subdirectories);
    if (!it.hasNext())
        GTEST_SKIP() << "pydicom test files not fetched (run the apps_fetch_pydicom set-up test)";
    folder = QFileInfo(it.next()).path();
}

} // namespace tooltest
