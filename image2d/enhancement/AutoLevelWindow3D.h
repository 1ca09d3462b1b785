#pragma once

#include "platform/pixeldata/LevelWindow.h"
#include "platform/pixeldata/VoxenImage3D.h"

namespace image3d {

/// Automatic level and window of a CT volume: the percentile window of every axial slice
/// (AutoContrast with the CT volume settings of MediaAutoContrastSettings), slices whose run
/// fails or gives [0, 0] dropped, then the upper medians (index n / 2 in ascending order) of
/// the minima and of the maxima, rounded to multiples of 50. Slices run on Qt's global thread
/// pool (blocking mapped-reduce, collected in slice order). (0, 0) when no slice counts, for
/// a null or invalid volume included.
data::LevelWindow calculateAutoLevelWindow(VoxenImage3D* volume);

} // namespace image3d
