#pragma once

#include <QDebug>
#include <QMessageLogger>

namespace image2d {

/// Logs one warning through Qt's message logger. Items are streamed into one QDebug,
/// so they are separated by one blank and QStrings print in double quotes; pass
/// fixed texts as string literals (printed as they are) and keys as QString.
template <typename... Items>
void warning(const Items&... items)
{
    QDebug stream = QMessageLogger().warning();
    ((stream << items), ...);
}

} // namespace image2d
