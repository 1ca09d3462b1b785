#pragma once

#include "ImageIO.h"

namespace tool {

/// Internal command line of the child process that decodes one DICOM file.
extern const char* const decodeDicomCommand;

/// The child's side: bounds its own memory, decodes `path` and writes the result to
/// stdout. Returns its exit status.
int decodeDicomToStdout(const QString& path);

/// Reads a DICOM file through a child process of this program, so that a decoder that
/// crashes or runs away on a damaged file costs one error line. Without a running
/// application (library use, tests) the file is read in this process.
bool readDicomIsolated(const QString& path, LoadedImage& out, QString& error);

} // namespace tool
