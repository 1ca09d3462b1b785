#pragma once

// What the fuzz targets share: quiet Qt messages, scratch files for readers that take a
// path, and the split of one input into several files.

#include <QByteArray>
#include <QString>

#include <cstddef>
#include <cstdint>
#include <vector>

namespace fuzzing {

/// Once per process: drops Qt's and the library's warnings (a run prints thousands) and
/// sends stdout to /dev/null (the DICOM decoder writes its result there).
void quietProcess();

/// A scratch folder of this process (in /dev/shm when there is one), created on first use.
QString scratchFolder();

/// Writes `bytes` to `name` in the scratch folder and returns its path.
QString scratchFile(const QString& name, const std::uint8_t* data, std::size_t size);

/// The input cut at every occurrence of `separator`; the parts of a multi-file input.
std::vector<QByteArray> splitInput(const std::uint8_t* data, std::size_t size, const QByteArray& separator);

} // namespace fuzzing
