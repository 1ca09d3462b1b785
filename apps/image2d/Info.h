#pragma once

#include "Settings.h"

#include <QString>
#include <QStringList>

namespace tool {

/// Prints what is known about one image (or the phantom when `path` is empty) on
/// stdout, as text or as one JSON object. Returns the process exit status.
int runInfo(const QString& path, Media media, bool json);

} // namespace tool
