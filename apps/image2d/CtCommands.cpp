#include "CtCommands.h"

#include "CtPhantom.h"
#include "DecoderChild.h"
#include "DicomSeries.h"

#include "image2d/enhancement/AutoLevelWindow3D.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cstdio>

namespace tool {

namespace {

int fail(const QString& what, const QString& error)
{
    std::fprintf(stderr, "image2d: error: %s: %s\n", qUtf8Printable(what), qUtf8Printable(error));
    return 1;
}

} // namespace

int runCtInfo(const QString& folder, bool json)
{
    ctvolume::CtSeries series;
    QString error;
    if (folder.isEmpty())
    {
        series.volume = ctphantom::makeCtPhantom();
        series.description = QStringLiteral("CT phantom");
        series.files = 0;
    }
    else if (!readCtSeriesIsolated(folder, series, error))
        return fail(folder, error);

    VoxenImage3D& volume = series.volume;
    const math::Ivec3 size = volume.imageSize();
    const QVector3D voxel = volume.voxelSize();
    const math::Range<float> range = volume.getValueRange();
    const data::LevelWindow window = image3d::calculateAutoLevelWindow(&volume);

    QJsonObject o;
    o[QStringLiteral("series")] = folder.isEmpty() ? QStringLiteral("phantom") : folder;
    o[QStringLiteral("description")] = series.description;
    o[QStringLiteral("files")] = series.files;
    o[QStringLiteral("size")] = QJsonArray{size.x, size.y, size.z};
    o[QStringLiteral("voxelSize")] = QJsonArray{voxel.x(), voxel.y(), voxel.z()};
    o[QStringLiteral("minimum")] = range.getMin();
    o[QStringLiteral("maximum")] = range.getMax();
    o[QStringLiteral("autoLevel")] = window.getLevel();
    o[QStringLiteral("autoWindow")] = window.getWindow();
    o[QStringLiteral("notes")] = QJsonArray::fromStringList(series.notes);
    if (json)
    {
        std::printf("%s\n", QJsonDocument(o).toJson(QJsonDocument::Indented).constData());
        return 0;
    }
    auto line = [](const char* key, const QString& value) {
        std::printf("%-22s %s\n", key, qUtf8Printable(value));
    };
    line("series:", o[QStringLiteral("series")].toString());
    if (!series.description.isEmpty())
        line("description:", series.description);
    if (series.files > 0)
        line("files:", QString::number(series.files));
    line("size:", QStringLiteral("%1 x %2 x %3 voxels").arg(size.x).arg(size.y).arg(size.z));
    line("voxel size:", QStringLiteral("%1 x %2 x %3 mm").arg(voxel.x()).arg(voxel.y()).arg(voxel.z()));
    line("value range:", QStringLiteral("%1 .. %2 HU").arg(range.getMin()).arg(range.getMax()));
    line("auto CT window:", QStringLiteral("level %1, window %2 (%3 .. %4 HU)")
                                .arg(window.getLevel())
                                .arg(window.getWindow())
                                .arg(window.getLevel() - window.getWindow() / 2.0)
                                .arg(window.getLevel() + window.getWindow() / 2.0));
    for (const QString& note : series.notes)
        line("note:", note);
    return 0;
}

int writeCtPhantomSeries(const QString& folder)
{
    QString error;
    if (!ctvolume::writeCtSeries(ctphantom::makeCtPhantom(), folder, error, QVector3D(0, 0, 0),
                                 QStringLiteral("image2d CT phantom")))
        return fail(folder, error);
    return 0;
}

} // namespace tool
