#pragma once

#include <QString>

namespace tool {

/// `image2d info` of a CT series folder, or of the CT phantom when `folder` is empty: the
/// volume's size, voxel size, value range and automatic CT window, as text or one JSON
/// object on stdout. Returns the process exit status.
int runCtInfo(const QString& folder, bool json);

/// `image2d phantom --media ct`: writes the CT phantom as a DICOM series into `folder`.
int writeCtPhantomSeries(const QString& folder);

} // namespace tool
