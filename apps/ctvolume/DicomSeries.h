#pragma once

// CT series on disk: a folder of DICOM files, one axial slice each.

#include "platform/pixeldata/VoxenImage3D.h"

#include <QString>
#include <QStringList>
#include <QVector3D>

namespace ctvolume {

/// A CT series as read from a folder.
struct CtSeries
{
    VoxenImage3D volume;   ///< SHORT, Hounsfield units; slice 0 lies lowest along the slice normal
    QString seriesUid;     ///< Series Instance UID
    QString description;   ///< Series Description, when the files have one
    QVector3D origin;      ///< Image Position (Patient) of slice 0, mm
    int files = 0;         ///< files of the series that were read
    QStringList notes;     ///< what the user should know (other series skipped, values clipped, ...)
};

/// Reads the CT series of `folder` (files directly in it; DICOM or not, whatever their names).
/// Files are grouped by Series Instance UID and the largest group is taken; its slices are
/// sorted by Image Position (Patient) along the normal of Image Orientation (Patient), must
/// share one orientation, pixel spacing and size, and must be evenly spaced (no slice
/// missing). Stored values become Hounsfield units with the rescale slope and intercept,
/// rounded half away from zero and clipped to the SHORT range. False with one line in `error`
/// (without the folder's name) when that is not possible. Slices are decoded in parallel.
bool readCtSeries(const QString& folder, CtSeries& out, QString& error);

/// Writes a SHORT volume of Hounsfield units as a CT series into `folder` (created when
/// missing): slice-0000.dcm upwards, one per axial slice, uncompressed, stored unsigned with
/// rescale intercept min(-1024, lowest voxel) so that every value is kept exactly; Image
/// Position (Patient) of slice k is `origin` + (0, 0, k * voxel size z), axial orientation.
bool writeCtSeries(const VoxenImage3D& volume, const QString& folder, QString& error,
                   const QVector3D& origin = QVector3D(0, 0, 0), const QString& description = {});

} // namespace ctvolume
