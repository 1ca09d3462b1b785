#pragma once

#include "Batch.h"
#include "EnhanceOptions.h"

#include <vector>

namespace tool {

/// The images of a folder: known suffixes, and suffix-less files that are DICOM; with
/// `recursive` those of its subfolders too. Sorted by path.
QStringList imagesInFolder(const QString& folder, bool recursive);

/// Expands folders into their images and names an output for each input: the -o file, a
/// file in the -o folder, or NAME_display.SUFFIX next to the input; never an input and
/// never one output for two inputs. False with a one-line reason (a usage error).
bool planOutputs(const EnhanceRequest& request, std::vector<BatchItem>& items, QString& error);

} // namespace tool
