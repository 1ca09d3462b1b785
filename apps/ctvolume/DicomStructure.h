#pragma once

// A bounded walk over the element structure of a DICOM file, done before GDCM is given it.
// GDCM stops the whole process (assertions compiled into release builds) when a file ends
// inside an element or its structure is broken in some ways; a library loaded into a host
// cannot let that happen, so only files that pass this walk are handed to GDCM.

#include <QByteArray>
#include <QString>

namespace ctvolume {

/// What the walk found.
struct DicomStructure
{
    enum Verdict
    {
        NotDicom, ///< neither "DICM" after the preamble nor a data set that reads as elements
        Damaged,  ///< starts as DICOM, but an element is cut or broken
        Sound     ///< every element (sequences and pixel fragments too) lies within the file
    };
    Verdict verdict = NotDicom;
    QString problem;         ///< why, when not Sound (no file name)
    QByteArray mediaStorage; ///< (0002,0002) of the meta header, when it has one
    qint64 pixelBytes = -1;  ///< bytes of pixel data (7FE0,0010) in the file; -1 without it
    qint64 pixelLength = -1; ///< the length native pixel data claims (more than is there when cut)
    bool encapsulated = false; ///< the pixel data is compressed, in fragments
};

/// Walks `bytes`: the meta group (explicit VR little endian), then the data set in its
/// transfer syntax (implicit or explicit VR, either byte order; without a meta header, the
/// form GDCM guesses from its first element, refused where GDCM cannot guess). Every element
/// header, value, item and pixel fragment must lie inside the file (native pixel data may be cut short, read padded with zeros, while
/// it claims at most twice what is there plus 1 MiB: GDCM allocates the claim),
/// delimiters must match, sequences nest at most 64 deep, pixel fragments come in OB, OW or UN and
/// the attributes read as text (rows, columns, position, ...) in their own value representation; no item of undefined
/// length holds an odd number of bytes where GDCM adds up lengths, and a header naming a non-image object GDCM knows
/// comes with a data set naming one (GDCM asserts on both). A deflated data set is
/// inflated (up to 256 MiB) and walked. Never reads past the end; no allocation per element.
DicomStructure checkDicomStructure(const QByteArray& bytes);

/// checkDicomStructure on the file at `path` (mapped, not copied); NotDicom when unreadable.
DicomStructure checkDicomFile(const QString& path);

} // namespace ctvolume
