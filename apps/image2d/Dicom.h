#pragma once

#include "ImageIO.h"

#include <cstdint>
#include <functional>

namespace tool {

/// Called by readDicom once the header is parsed and before the pixel data is decoded,
/// with the bytes the decoded pixel data will take; the decoder child bounds its memory here.
using BeforeDecode = std::function<void(std::uint64_t decodedBytes)>;

/// Reads a DICOM image in this process (grayscale, or colour converted to gray like colour
/// PNG). DICOMDIR and other objects without an image fail with `out.notAnImage` set.
bool readDicom(const QString& path, LoadedImage& out, QString& error, const BeforeDecode& beforeDecode = {});

/// Writes an uncompressed MONOCHROME2 DICOM file of an UNSIGNED_SHORT, SHORT or
/// UNSIGNED_CHAR image, with the pixel spacing, through a temporary file.
bool writeDicom(const Image2D& image, int bitsStored, const QString& path, QString& error);

/// Whether the file starts like a DICOM file (preamble and "DICM").
bool looksLikeDicom(const QString& path);

} // namespace tool
