#pragma once

// The pixel steps of reading a DICOM radiograph, after its header has been checked: the
// stored integers of the first frame, the rescaled gray image, colour converted to gray.

#include "ImageIO.h"

#include <gdcmImage.h>
#include <gdcmPhotometricInterpretation.h>

#include <QVector3D>

#include <cstdint>
#include <vector>

namespace tool::dicom_pixels {

/// Whether a photometric interpretation is a colour model read as colour (three samples).
bool isColour(gdcm::PhotometricInterpretation::PIType pi);

/// The first frame of a decoded colour image converted to gray like colour PNG, into `out`.
bool readColour(const gdcm::Image& dicom, const char* buffer, const QVector3D& pixelSize, LoadedImage& out,
                QString& error);

/// The first `count` samples of `bitsAllocated` (8, 16 or 32) as integers, the bits above
/// `highBit` and below its stored field removed and the field sign-extended when signed.
std::vector<std::int64_t> storedValues(const char* buffer, std::size_t count, int bitsAllocated, int bitsStored,
                                       int highBit, bool isSigned);

/// `out.image` from the stored values with `out.slope` and `out.intercept` applied: FLOAT for a
/// fractional rescale, else the stored type or the smallest integer type that holds the
/// values (FLOAT beyond 16 bits); `values` become the rescaled integers then.
bool rescaledImage(std::vector<std::int64_t>& values, int width, int height, bool isSigned, int bitsAllocated,
                   const QVector3D& pixelSize, LoadedImage& out, QString& error);

} // namespace tool::dicom_pixels
