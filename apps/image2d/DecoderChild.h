#pragma once

#include "ImageIO.h"

namespace ctvolume {
struct CtSeries;
}

namespace tool {

/// Internal command lines of the child processes that decode one DICOM file and read a CT series.
extern const char* const decodeDicomCommand;
extern const char* const readCtSeriesCommand;

/// The child's side: bounds its own memory, decodes `path` and writes the result to
/// stdout. Returns its exit status.
int decodeDicomToStdout(const QString& path);

/// Reads a DICOM file through a child process of this program, so that a decoder that
/// crashes or runs away on a damaged file costs one error line. Without a running
/// application (library use, tests) the file is read in this process.
bool readDicomIsolated(const QString& path, LoadedImage& out, QString& error);

/// The child's side of readCtSeriesIsolated: bounds its memory, reads the series of `folder`
/// and writes it to stdout. Returns its exit status.
int readCtSeriesToStdout(const QString& folder);

/// ctvolume::readCtSeries through a child process of this program: GDCM stops the process
/// on some damaged files while it scans a folder, which costs one error line this way.
bool readCtSeriesIsolated(const QString& folder, ctvolume::CtSeries& out, QString& error);

} // namespace tool
