// The CT phantom and DICOM series reading: the phantom holds what its header documents,
// series read back exactly whatever the file order, broken series are refused with one
// clear reason.
#include "CtPhantom.h"
#include "DicomSeries.h"
#include "DicomWriter.h"

#include "image2d/enhancement/AutoLevelWindow3D.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QTemporaryDir>

#include <gdcmAttribute.h>
#include <gdcmImageReader.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <functional>
#include <numeric>
#include <random>
#include <vector>

namespace {

const std::int16_t* voxels(const VoxenImage3D& volume)
{
    return volume.constData<std::int16_t>();
}

// Voxel nearest to a point in volume millimetres.
int voxelNear(const VoxenImage3D& volume, const QVector3D& mm)
{
    const math::Ivec3 n = volume.imageSize();
    const QVector3D v = volume.voxelSize();
    const int i = std::clamp(int(std::lround(mm.x() / v.x())), 0, n.x - 1);
    const int j = std::clamp(int(std::lround(mm.y() / v.y())), 0, n.y - 1);
    const int k = std::clamp(int(std::lround(mm.z() / v.z())), 0, n.z - 1);
    return voxels(volume)[(std::size_t(k) * n.y + j) * n.x + i];
}

bool sameVoxels(const VoxenImage3D& a, const VoxenImage3D& b)
{
    return a.imageSize() == b.imageSize() && a.voxelSize() == b.voxelSize() &&
           std::memcmp(a.dataPtr(), b.dataPtr(), a.getNumVoxels() * 2) == 0;
}

class CtPhantom : public testing::Test
{
protected:
    static void SetUpTestSuite() { phantom = new VoxenImage3D(ctphantom::makeCtPhantom()); }
    static void TearDownTestSuite() { delete phantom; }
    static inline VoxenImage3D* phantom = nullptr;
};

TEST_F(CtPhantom, TeethCanalRestorationAndAirwayAreWhereTheHeaderSays)
{
    const VoxenImage3D& v = *phantom;
    ASSERT_EQ(v.imageSize(), math::Ivec3(256, 256, 200));
    EXPECT_EQ(voxelNear(v, {0, 0, 0}), ctphantom::kPadding); // outside the scan field, no noise
    EXPECT_LT(voxelNear(v, {51, 73, 30}), -900);             // airway
    ASSERT_EQ(ctphantom::teeth().size(), 28u);
    for (const ctphantom::Tooth& tooth : ctphantom::teeth())
    {
        SCOPED_TRACE(tooth.number);
        // The crown centre lies in the pulp chamber, with enamel around it in that slice.
        const QVector3D c = tooth.crownCentre;
        EXPECT_LT(voxelNear(v, c), 250);
        int highest = -2000;
        for (float dx = -tooth.width / 2; dx <= tooth.width / 2; dx += 0.4f)
            for (float dy = -tooth.width / 2; dy <= tooth.width / 2; dy += 0.4f)
                highest = std::max(highest, voxelNear(v, c + QVector3D(dx, dy, 0)));
        EXPECT_GT(highest, ctphantom::kEnamel - 200);
        EXPECT_EQ(tooth.upper, c.z() > ctphantom::kLowerOcclusal);
        EXPECT_EQ(tooth.arc < 0, c.x() < ctphantom::kMidline);
    }
    // The canal runs below the premolars and molars only.
    for (const float s : {-45.0f, -30.0f, 30.0f, 45.0f})
        EXPECT_LT(voxelNear(v, ctphantom::archPoint(s, ctphantom::kCanalHeight)), 200) << s;
    for (const float s : {-15.0f, 15.0f})
        EXPECT_GT(voxelNear(v, ctphantom::archPoint(s, ctphantom::kCanalHeight)), 100) << s;
    // The one restoration: the brightest voxel, in the occlusal surface of 36.
    const auto brightest = std::max_element(voxels(v), voxels(v) + v.getNumVoxels()) - voxels(v);
    EXPECT_GT(voxels(v)[brightest], 9000);
    const auto restored = std::find_if(ctphantom::teeth().begin(), ctphantom::teeth().end(),
                                       [](const ctphantom::Tooth& t) { return t.restoration; });
    ASSERT_EQ(restored->number, 36);
    const QVector3D at(float(brightest % 256) * 0.4f, float(brightest / 256 % 256) * 0.4f, float(brightest / 65536) * 0.4f);
    EXPECT_LT(std::hypot(at.x() - restored->crownCentre.x(), at.y() - restored->crownCentre.y()), 4.0f);
    EXPECT_TRUE(at.z() >= 39.5f && at.z() <= 42.0f) << at.z();
}

TEST_F(CtPhantom, IsTheSameEveryTimeAndShowsSoftTissueAndBoneInItsWindow)
{
    EXPECT_TRUE(sameVoxels(ctphantom::makeCtPhantom(), *phantom));
    const data::LevelWindow window = image3d::calculateAutoLevelWindow(phantom);
    EXPECT_LE(window.getLevel() - window.getWindow() / 2, ctphantom::kSoftTissue - 200);
    EXPECT_GE(window.getLevel() + window.getWindow() / 2, ctphantom::kCorticalBone);
}

class CtSeries : public testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        QString error;
        ASSERT_TRUE(ctvolume::writeCtSeries(small, folder(), error, QVector3D(-40, 12.5f, 100))) << qPrintable(error);
    }
    QString folder() const { return dir.filePath(QStringLiteral("series")); }
    QStringList files() const { return QDir(folder()).entryList(QDir::Files, QDir::Name); }
    QString read(ctvolume::CtSeries& series) const
    {
        QString error;
        return ctvolume::readCtSeries(folder(), series, error) ? QString() : error;
    }

    QTemporaryDir dir;
    const VoxenImage3D small = ctphantom::makeCtPhantom(4); // 64 x 64 x 50 at 1.6 mm
};

TEST_F(CtSeries, ReadsThePhantomBackExactly)
{
    ctvolume::CtSeries series;
    ASSERT_EQ(read(series), QString());
    EXPECT_TRUE(sameVoxels(series.volume, small));
    EXPECT_EQ(series.files, 50);
    EXPECT_EQ(series.origin, QVector3D(-40, 12.5f, 100));
    EXPECT_TRUE(series.notes.isEmpty()) << qPrintable(series.notes.join(QLatin1Char(';')));
}

TEST_F(CtSeries, OrdersSlicesByPositionWhateverTheFileNames)
{
    QStringList names = files();
    std::vector<int> order(names.size());
    std::iota(order.begin(), order.end(), 0);
    std::shuffle(order.begin(), order.end(), std::mt19937(42));
    QDir d(folder());
    for (int i = 0; i < names.size(); ++i)
        ASSERT_TRUE(d.rename(names[i], QStringLiteral("x%1").arg(order[i], 3, 10, QLatin1Char('0'))));
    ctvolume::CtSeries series;
    ASSERT_EQ(read(series), QString());
    EXPECT_TRUE(sameVoxels(series.volume, small));
}

TEST_F(CtSeries, RefusesAMissingSlice)
{
    ASSERT_TRUE(QFile::remove(QDir(folder()).filePath(files()[20])));
    ctvolume::CtSeries series;
    EXPECT_EQ(read(series), QStringLiteral("uneven slice spacing: 3.2 mm between slices 20 and 21, 1.6 mm elsewhere "
                                           "(a slice missing?)"));
}

TEST_F(CtSeries, RefusesSlicesOfAnotherSize)
{
    ASSERT_TRUE(testing_dicom::rewriteDicom(QDir(folder()).filePath(files()[7]), [](gdcm::DataSet& ds) {
        ds.Replace(gdcm::Attribute<0x0028, 0x0010>{32}.GetAsDataElement());
    }));
    ctvolume::CtSeries series;
    EXPECT_EQ(read(series), QStringLiteral("slices of different sizes (64 x 64 and 64 x 32)"));
}

TEST_F(CtSeries, TakesTheLargestSeriesOfAFolder)
{
    QString error;
    const QString other = dir.filePath(QStringLiteral("other"));
    ASSERT_TRUE(ctvolume::writeCtSeries(ctphantom::makeCtPhantom(8), other, error));
    for (const QString& name : QDir(other).entryList(QDir::Files))
        ASSERT_TRUE(QFile::copy(QDir(other).filePath(name), QDir(folder()).filePath(QLatin1String("b-") + name)));
    QFile junk(QDir(folder()).filePath(QStringLiteral("notes.txt")));
    ASSERT_TRUE(junk.open(QIODevice::WriteOnly) && junk.write("not an image") > 0);
    junk.close();
    ctvolume::CtSeries series;
    ASSERT_EQ(read(series), QString());
    EXPECT_TRUE(sameVoxels(series.volume, small));
    EXPECT_EQ(series.notes, QStringList{QStringLiteral("1 other series in the folder skipped")});
    EXPECT_FALSE(ctvolume::readCtSeries(dir.filePath(QStringLiteral("none")), series, error));
    EXPECT_EQ(error, QStringLiteral("not a folder"));
}

// GDCM stopped the whole process (an assertion) on a slice cut inside its header, and read
// a slice cut in its pixels padded with zeros. Every cut of one slice is now refused with a
// reason, in this process.
TEST(CtSeriesCut, SliceCutAnywhereIsAnErrorNotAnAbort)
{
    QTemporaryDir dir;
    QString error;
    ASSERT_TRUE(ctvolume::writeCtSeries(ctphantom::makeCtPhantom(16), dir.path(), error)) << qPrintable(error);
    const QString path = dir.filePath(QStringLiteral("slice-0001.dcm"));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray whole = file.readAll();
    file.close();
    const qsizetype pixels = whole.indexOf(QByteArray("\xe0\x7f\x10\x00OW", 6)) + 12;
    ASSERT_EQ(whole.size() - pixels, 32 * 32 * 2);
    auto readCut = [&](qsizetype size) {
        EXPECT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(whole.left(size)) == size);
        file.close();
        ctvolume::CtSeries series;
        QString reason;
        EXPECT_FALSE(ctvolume::readCtSeries(dir.path(), series, reason)) << size;
        EXPECT_FALSE(reason.isEmpty()) << size;
        return reason;
    };
    for (qsizetype size = 0; size < whole.size(); size += size < pixels ? 1 : 13)
        readCut(size);
    EXPECT_EQ(readCut(150), QStringLiteral("slice-0001.dcm: a damaged DICOM file (the file ends inside its header)"));
    EXPECT_EQ(readCut(pixels - 2), QStringLiteral("slice-0001.dcm: a damaged DICOM file (the file ends inside an element)"));
    EXPECT_EQ(readCut(pixels + 100), QStringLiteral("slice-0001.dcm: the pixel data is cut short (100 of 2048 bytes)"));
}

// Slices the CT series fuzz target found stopping the process (GDCM's assertions) or making
// GDCM allocate gigabytes; each is now one error. Every case edits the bytes of the first slice.
struct SliceDamage
{
    const char* name;
    std::function<void(QByteArray&)> edit;
    const char* error;
};

void replaceOnce(QByteArray& bytes, const QByteArray& from, const QByteArray& to)
{
    const qsizetype at = bytes.indexOf(from);
    ASSERT_GE(at, 0);
    bytes.replace(at, from.size(), to);
}

class CtSeriesDamage : public testing::TestWithParam<SliceDamage>
{
};

TEST_P(CtSeriesDamage, IsAnErrorNotAnAbort)
{
    QTemporaryDir dir;
    QString error;
    ASSERT_TRUE(ctvolume::writeCtSeries(ctphantom::makeCtPhantom(16), dir.path(), error)) << qPrintable(error);
    QFile file(dir.filePath(QStringLiteral("slice-0000.dcm")));
    ASSERT_TRUE(file.open(QIODevice::ReadWrite));
    QByteArray bytes = file.readAll();
    GetParam().edit(bytes);
    ASSERT_TRUE(file.resize(0) && file.seek(0) && file.write(bytes) == bytes.size());
    file.close();
    ctvolume::CtSeries series;
    EXPECT_FALSE(ctvolume::readCtSeries(dir.path(), series, error));
    EXPECT_EQ(error, QString::fromLatin1(GetParam().error));
}

INSTANTIATE_TEST_SUITE_P(
    FuzzFound, CtSeriesDamage,
    testing::Values(
        SliceDamage{"SamplesPerPixelFive",
                    [](QByteArray& b) { replaceOnce(b, QByteArray("\x28\0\x02\0US\x02\0\x01\0", 10), QByteArray("\x28\0\x02\0US\x02\0\x05\0", 10)); },
                    "slice 1 (slice-0000.dcm): not a readable DICOM image"},
        SliceDamage{"PixelRepresentationAsDecimalString",
                    [](QByteArray& b) { replaceOnce(b, QByteArray("\x28\0\x03\x01US", 6), QByteArray("\x28\0\x03\x01" "DS", 6)); },
                    "slice 1 (slice-0000.dcm): not a readable DICOM image"},
        SliceDamage{"PixelDataClaimingFourGigabytes",
                    [](QByteArray& b) {
                        replaceOnce(b, QByteArray("\xe0\x7f\x10\0OW\0\0\0\x08\0\0", 12), QByteArray("\xe0\x7f\x10\0OW\0\0\x3c\0\xff\xff", 12));
                    },
                    "slice-0000.dcm: a damaged DICOM file (an element runs past the end of the file)"},
        SliceDamage{"PaletteWithoutLookupTables",
                    [](QByteArray& b) { replaceOnce(b, QByteArray("MONOCHROME2 "), QByteArray("PALETTE COLO")); },
                    "slice 1 (slice-0000.dcm): not a readable DICOM image"},
        SliceDamage{"HeaderAndDataSetNamingDifferentObjects",
                    [](QByteArray& b) {
                        const QByteArray ct("1.2.840.10008.5.1.4.1.1.2");
                        b.replace(b.indexOf(ct, b.indexOf(ct) + 1), ct.size(), "1.2.840.10008.5.1.4.1.1.7");
                    },
                    "slice-0000.dcm: a damaged DICOM file (its header and its data set name different kinds of object)"},
        SliceDamage{"EncapsulatedPixelDataOfTypeOF",
                    [](QByteArray& b) {
                        const QByteArray pixels("\xe0\x7f\x10\0OW\0\0", 8);
                        ASSERT_GE(b.indexOf(pixels), 0);
                        b = b.left(b.indexOf(pixels)) +
                            QByteArray("\xe0\x7f\x10\0OF\0\0\xff\xff\xff\xff\xfe\xff\0\xe0\0\0\0\0\xfe\xff\xdd\xe0\0\0\0\0", 28);
                    },
                    "slice-0000.dcm: a damaged DICOM file (encapsulated pixel data of a type other than OB or OW)"},
        SliceDamage{"ColourWithPlanarConfiguration63",
                    [](QByteArray& b) {
                        replaceOnce(b, QByteArray("\x28\0\x02\0US\x02\0\x01\0", 10), QByteArray("\x28\0\x02\0US\x02\0\x03\0", 10));
                        replaceOnce(b, QByteArray("MONOCHROME2 "), QByteArray("RGB ", 4) + QByteArray("\x28\0\x06\0US\x02\0\x3f\0", 10));
                        replaceOnce(b, QByteArray("\x28\0\x04\0CS\x0c\0", 8), QByteArray("\x28\0\x04\0CS\x04\0", 8));
                    },
                    "slice 1 (slice-0000.dcm): not a readable DICOM image"},
        SliceDamage{"EnhancedPixelMeasuresWithoutItem",
                    [](QByteArray& b) {
                        // An enhanced CT slice whose shared functional groups hold an empty
                        // pixel measures sequence (GDCM throws from inside its reader).
                        for (int i = 0; i < 2; ++i)
                            replaceOnce(b, QByteArray("UI\x1a\0" "1.2.840.10008.5.1.4.1.1.2\0", 30),
                                        QByteArray("UI\x1c\0" "1.2.840.10008.5.1.4.1.1.2.1\0", 32));
                        const qsizetype group = b.indexOf(QByteArray("\x02\0\0\0UL\x04\0", 8)) + 8;
                        b[group] = char(b[group] + 2);
                        b.insert(b.indexOf(QByteArray("\xe0\x7f\x10\0OW", 6)),
                                 QByteArray("\0\x52\x29\x92SQ\0\0\xff\xff\xff\xff\xfe\xff\0\xe0\xff\xff\xff\xff", 20) +
                                     QByteArray("\x28\0\x10\x91SQ\0\0\xff\xff\xff\xff\xfe\xff\xdd\xe0\0\0\0\0", 20) +
                                     QByteArray("\xfe\xff\x0d\xe0\0\0\0\0\xfe\xff\xdd\xe0\0\0\0\0", 16));
                    },
                    "slice 1 (slice-0000.dcm): not a readable DICOM image"},
        SliceDamage{"PixelDataGivenTwice",
                    [](QByteArray& b) { b += QByteArray("\xe0\x7f\x10\0OW\0\0\x02\0\0\0\0\0", 14); },
                    "slice-0000.dcm: a damaged DICOM file (pixel data given twice)"},
        SliceDamage{"MetaGroupWithoutPreambleOrValueRepresentation",
                    [](QByteArray& b) { b = QByteArray("\x02\0\x44\0\0\0\0\0", 8); },
                    "slice-0000.dcm: a damaged DICOM file (a header element without a valid value representation)"}),
    [](const testing::TestParamInfo<SliceDamage>& info) { return std::string(info.param.name); });

// Folders the CT series fuzz target found stopping GDCM, kept in bench/fuzz/regressions/ctseries
// (the input is the folder's files cut at "\n--slice--\n", as the target writes them).
struct FuzzFoundSeries
{
    const char* name;
    const char* input;
    const char* error;
};

class CtSeriesFuzzInput : public testing::TestWithParam<FuzzFoundSeries>
{
};

TEST_P(CtSeriesFuzzInput, IsAnErrorNotAnAbort)
{
    QFile input(QStringLiteral(FUZZ_REGRESSIONS "/ctseries/") + QLatin1String(GetParam().input));
    ASSERT_TRUE(input.open(QIODevice::ReadOnly));
    const QByteArray all = input.readAll(), cut("\n--slice--\n");
    QTemporaryDir dir;
    for (qsizetype from = 0, file = 0; from >= 0; ++file)
    {
        const qsizetype at = all.indexOf(cut, from);
        const QByteArray part = all.mid(from, at < 0 ? -1 : at - from);
        QFile out(dir.filePath(QStringLiteral("slice-%1.dcm").arg(file)));
        ASSERT_TRUE(out.open(QIODevice::WriteOnly) && out.write(part) == part.size());
        from = at < 0 ? -1 : at + cut.size();
    }
    ctvolume::CtSeries series;
    QString error;
    EXPECT_FALSE(ctvolume::readCtSeries(dir.path(), series, error));
    EXPECT_EQ(error, QLatin1String(GetParam().error));
}

INSTANTIATE_TEST_SUITE_P(FuzzFound, CtSeriesFuzzInput,
                         testing::Values(FuzzFoundSeries{"BitsStoredWithoutBitsAllocated",
                                                         "866f71c364176642ae0941439e129cc813581bfc",
                                                         "slice 1 (slice-1.dcm): not a readable DICOM image"},
                                         FuzzFoundSeries{"NeitherBitsAllocatedNorBitsStored",
                                                         "c4d4f8e2a325e04ad371c4a37b7f26495f48559a",
                                                         "slice 1 (slice-1.dcm): not a readable DICOM image"},
                                         FuzzFoundSeries{"RowsWrittenAsOtherVeryLong",
                                                         "8d09295263896b318a70bd6ce9572849f690fd12",
                                                         "slice-1.dcm: a damaged DICOM file (an image attribute written with "
                                                         "another value representation)"},
                                         // GDCM's raw codec asserts on uncompressed data in partial YBR 4:2:2.
                                         FuzzFoundSeries{"NativeSliceInACompressedColourSpace",
                                                         "722c2a2f5e8f6727d843b68eac67842947982318",
                                                         "slice 1 (slice-1.dcm): not a readable DICOM image"},
                                         // A header naming a non-image class up to a NUL inside its UID
                                         // (GDCM reads it as a C string) and a data set naming none.
                                         FuzzFoundSeries{"NonImageHeaderUidCutByANul",
                                                         "ac8ee74f1c6d21fe705cbc4e5a96e6a2a581c001",
                                                         "slice-0.dcm: a damaged DICOM file (its header names an object that is not "
                                                         "an image and its data set none)"},
                                         FuzzFoundSeries{"RawDecodingRefusedWhileCleaningUnusedBits",
                                                         "809e4ca2b3412f1b3c3121989487cd810cf04d5c",
                                                         "slice 1 (slice-1.dcm): not a readable DICOM image"},
                                         FuzzFoundSeries{"Native12BitPixelDataLongerThanPacked",
                                                         "94760d8c861cd75c2c71cedfbe94ce2c469ce05f",
                                                         "slice 1 (slice-0.dcm): not a readable DICOM image"}),
                         [](const testing::TestParamInfo<FuzzFoundSeries>& info) { return std::string(info.param.name); });

// The one real CT slice of Debian's python3-pydicom test files, read as a one-slice volume:
// every voxel is the stored value times the rescale slope plus the intercept.
TEST(CtSeriesOfPydicom, ReadsCtSmallAsOneSlice)
{
    QDirIterator it(QStringLiteral(PYDICOM_DIR), {QStringLiteral("CT_small.dcm")}, QDir::Files,
                    QDirIterator::Subdirectories);
    if (!it.hasNext())
        GTEST_SKIP() << "pydicom test files not fetched (run the apps_fetch_pydicom set-up test)";
    const QString source = it.next();
    QTemporaryDir dir;
    ASSERT_TRUE(QFile::copy(source, dir.filePath(QStringLiteral("CT_small.dcm"))));
    ctvolume::CtSeries series;
    QString error;
    ASSERT_TRUE(ctvolume::readCtSeries(dir.path(), series, error)) << qPrintable(error);
    ASSERT_EQ(series.volume.imageSize(), math::Ivec3(128, 128, 1));

    gdcm::ImageReader reader;
    const QByteArray name = QFile::encodeName(source);
    reader.SetFileName(name.constData());
    ASSERT_TRUE(reader.Read());
    const gdcm::DataSet& ds = reader.GetFile().GetDataSet();
    gdcm::Attribute<0x0028, 0x1052> intercept;
    gdcm::Attribute<0x0028, 0x1053> slope;
    gdcm::Attribute<0x0028, 0x0030> spacing;
    intercept.SetFromDataSet(ds);
    slope.SetFromDataSet(ds);
    spacing.SetFromDataSet(ds);
    EXPECT_EQ(intercept.GetValue(), -1024.0);
    EXPECT_FLOAT_EQ(series.volume.voxelSize().x(), float(spacing.GetValue(1)));
    EXPECT_FLOAT_EQ(series.volume.voxelSize().y(), float(spacing.GetValue(0)));
    std::vector<std::int16_t> stored(128 * 128);
    ASSERT_TRUE(reader.GetImage().GetBuffer(reinterpret_cast<char*>(stored.data())));
    for (std::size_t i = 0; i < stored.size(); ++i)
        ASSERT_EQ(voxels(series.volume)[i], std::lround(stored[i] * slope.GetValue() + intercept.GetValue())) << i;
    const data::LevelWindow window = image3d::calculateAutoLevelWindow(&series.volume);
    EXPECT_GT(window.getWindow(), 0);
}

} // namespace
