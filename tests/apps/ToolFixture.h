#pragma once

// What the tool tests share: running the built program, reading the pictures it writes,
// and the phantom crop that the DICOM tests store in every encoding.
#include "DicomWriter.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QJsonObject>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <cstdint>
#include <memory>
#include <vector>

namespace tooltest {

struct ToolRun
{
    int exitCode = -1;
    bool crashed = false;
    QString out;
    QString err;
};

/// Runs the tool with `arguments` and waits for it (15 minutes at most).
ToolRun runTool(const QStringList& arguments, const QString& workingDirectory = {});
/// The "image2d: error:" lines of stderr.
QStringList errorLines(const QString& err);
/// A wrong command line: exit status 2, one error line holding `message`, and `output` not
/// written.
::testing::AssertionResult usageError(const QStringList& arguments, const char* message, const QString& output);

/// One wrong command line of a table: its name, its arguments and the error it must give.
struct UsageCase
{
    const char* name;
    QStringList arguments;
    const char* message;
};

/// `image2d info --json PATH EXTRA...`, expecting success.
QJsonObject infoJson(const QString& path, const QStringList& extra = {});

std::vector<std::uint16_t> pixels16(const QImage& image);
std::vector<std::uint8_t> pixels8(const QImage& image);
QByteArray readBytes(const QString& path);
void writeBytes(const QString& path, const QByteArray& bytes);
QStringList filesIn(const QString& folder);

/// Equal element by element; the message names the first difference.
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

/// Level/window that maps stored values onto themselves: 16-bit output equals the input
/// for unsigned data, and the input plus 32768 for signed data.
extern const QStringList identityUnsigned;
extern const QStringList identitySigned;
/// A fixed window for 8-bit comparisons of the phantom.
extern const QStringList phantomWindow;

/// The phantom as the tool stores it (written once per test run), a crop of it, and a
/// temporary folder per test.
class Tool : public ::testing::Test
{
protected:
    static void SetUpTestSuite();
    static void TearDownTestSuite();

    QString file(const QString& name) const { return dir.filePath(name); }
    /// Writes the crop (or the given content) as a DICOM file.
    QString writeCropDicom(const QString& name, testing_dicom::DicomContent content) const;
    /// The crop as a 16-bit PNG in the test folder.
    QString cropPng() const;
    /// Enhances `input` into a PNG and returns it (stderr into `err` when given).
    QImage enhanced(const QString& input, const QStringList& options, QString* err = nullptr) const;
    /// The pixels of that PNG, for 16-bit or 8-bit output.
    std::vector<std::uint16_t> enhance16(const QString& input, const QStringList& options, QString* err = nullptr) const
    {
        return pixels16(enhanced(input, options, err));
    }
    std::vector<std::uint8_t> enhance8(const QString& input, const QStringList& options, QString* err = nullptr) const
    {
        return pixels8(enhanced(input, options, err));
    }

    QTemporaryDir dir;
    static inline std::unique_ptr<QTemporaryDir> suiteDir;
    static inline QString rawPath;
    static inline QImage phantom;
    static inline QImage crop;
    static inline std::vector<std::uint16_t> cropValues;
};

/// Tests on the DICOM files that Debian's python3-pydicom package ships; they skip when
/// the files could not be fetched.
class PydicomFiles : public Tool
{
protected:
    void SetUp() override;
    QString data(const char* name) const { return folder + QLatin1Char('/') + QLatin1String(name); }
    QString folder;
};

} // namespace tooltest
