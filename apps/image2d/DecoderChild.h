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

/// Reads a DICOM file through a child process (`program`'s internal command, by default this
/// program when a QCoreApplication runs), so that a decoder that crashes, runs away or hangs
/// on a damaged file costs one error line; a child still running after its time limit (ten
/// minutes, or IMAGE2D_DECODER_SECONDS) is killed. Without a program, with one that cannot
/// be started, or with IMAGE2D_DICOM_IN_PROCESS set, the file is read in this process.
/// Needs no application or event loop; blocks the calling thread.
bool readDicomIsolated(const QString& path, LoadedImage& out, QString& error, const QString& program = {});

/// The child's side of readCtSeriesIsolated: bounds its memory, reads the series of `folder`
/// and writes it to stdout. Returns its exit status.
int readCtSeriesToStdout(const QString& folder);

/// ctvolume::readCtSeries through a child process, as readDicomIsolated (time limit ten
/// minutes plus two seconds per file of the folder): GDCM stops the process on some damaged
/// files while it scans a folder, which costs one error line this way.
bool readCtSeriesIsolated(const QString& folder, ctvolume::CtSeries& out, QString& error, const QString& program = {});

} // namespace tool
