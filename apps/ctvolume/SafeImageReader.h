#pragma once

#include "CodecStreams.h"
#include "EnhancedGeometry.h"

#include <gdcmAttribute.h>
#include <gdcmDict.h>
#include <gdcmDicts.h>
#include <gdcmGlobal.h>
#include <gdcmImageReader.h>
#include <gdcmMediaStorage.h>
#include <gdcmPhotometricInterpretation.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>

namespace ctvolume {

/// gdcm::ImageReader that refuses, after parsing and before the image is built, what GDCM
/// asserts on (aborting the process), whether or not the file names a storage class: a public
/// element whose explicit value representation is not the dictionary's, Samples per Pixel
/// other than 1, 3 or 4, Bits Allocated missing or other than 1, 8, 12, 16, 32 or 64, signed
/// single bits, Bits Stored above 32, Pixel Representation other than 0 or 1, a palette image
/// without its three lookup tables, colour with a Planar Configuration other than 0 or 1,
/// enhanced multi-frame geometry GDCM cannot take (enhancedGeometryReadable), a Recognition
/// Code GDCM does not know, native 12-bit pixel data not unpacking to the frame, native pixel
/// data in a colour space GDCM's raw decoding does not take (partial YBR, YBR_ICT, CMYK, HSV), an RT dose Grid
/// Frame Offset Vector of fewer than two values.
/// What GDCM misreads is completed instead: a multi-frame storage class without Number of
/// Frames gets the value 1, an MR image with an intercept but no slope the slope 1, and fewer
/// than 8 bits stored of 8 allocated (every GDCM codec asserts on it) are handed to GDCM as
/// 8 of 8, the caller taking the stored bits out (keepStoredBits).
class SafeImageReader : public gdcm::ImageReader
{
public:
    /// Bits Stored and High Bit as the file states them, where GDCM was handed 8 of 8 bits
    /// instead; {0, 0} otherwise (GDCM's pixel format holds the file's values).
    struct StoredBits
    {
        int bits = 0, highBit = 0;
    };
    StoredBits storedBits() const { return m_narrowed; }

    /// Replaces `count` decoded 8-bit samples of a file read as 8 of 8 bits by their stored
    /// values (shifted down, sign-extended when signed); nothing otherwise.
    void keepStoredBits(char* samples, std::size_t count, bool isSigned) const
    {
        if (m_narrowed.bits == 0)
            return;
        const int shift = std::clamp(m_narrowed.highBit + 1 - m_narrowed.bits, 0, 8 - m_narrowed.bits);
        const unsigned mask = (1u << m_narrowed.bits) - 1, sign = 1u << (m_narrowed.bits - 1);
        for (std::size_t i = 0; i < count; ++i)
        {
            const unsigned bits = (static_cast<unsigned char>(samples[i]) >> shift) & mask;
            samples[i] = static_cast<char>(isSigned && (bits & sign) ? int(bits) - int(mask + 1) : int(bits));
        }
    }

protected:
    bool ReadImage(const gdcm::MediaStorage& ms) override
    {
        if (!attributesReadable() || !recognitionCodeReadable(false))
            return false;
        narrowBytes();
        completeRescale();
        gdcm::DataSet& ds = GetFile().GetDataSet();
        const gdcm::Tag frames(0x0028, 0x0008);
        if (ms.GetModalityDimension() > 2 && (!ds.FindDataElement(frames) || ds.GetDataElement(frames).IsEmpty()))
        {
            gdcm::DataElement count(frames);
            count.SetVR(gdcm::VR::IS);
            count.SetByteValue("1 ", 2);
            ds.Replace(count);
        }
        if (!codecStreamsFit(GetFile()))
            return false;
        return gdcm::ImageReader::ReadImage(ms) && packedPixelsFit() && nativeColourSpaceFits();
    }

    // A data set that names no storage class (ACR-NEMA, or no meta header) is read this way.
    bool ReadACRNEMAImage() override
    {
        if (!attributesReadable() || !recognitionCodeReadable(true))
            return false;
        narrowBytes();
        completeRescale();
        return codecStreamsFit(GetFile()) &&
               gdcm::ImageReader::ReadACRNEMAImage() && packedPixelsFit() && nativeColourSpaceFits();
    }

private:
    StoredBits m_narrowed;

    // GDCM's codecs (raw, RLE, JPEG) assert that all 8 bits of 8 allocated are stored, once
    // they decode through their common path (always for RLE and JPEG, for raw data as soon as
    // unused bits are to be cleaned, that is whenever fewer are stored).
    void narrowBytes()
    {
        gdcm::DataSet& ds = GetFile().GetDataSet();
        const int bitsAllocated = int(imageAttributeWord(ds, 0x0100, 0)), bitsStored = int(imageAttributeWord(ds, 0x0101, 0));
        if (bitsAllocated != 8 || bitsStored < 1 || bitsStored > 7)
            return;
        m_narrowed = {bitsStored, int(imageAttributeWord(ds, 0x0102, unsigned(bitsStored - 1)))};
        ds.Replace(gdcm::Attribute<0x0028, 0x0101>{8}.GetAsDataElement());
        ds.Replace(gdcm::Attribute<0x0028, 0x0102>{7}.GetAsDataElement());
    }

    // GDCM takes an MR image's rescale from a vector it starts at slope 0 and asserts on a slope
    // of 0 when the data set gives an intercept (or an empty slope) but no slope value. A
    // missing slope means 1, which is what it gets.
    void completeRescale()
    {
        gdcm::MediaStorage ms;
        ms.SetFromFile(GetFile());
        gdcm::DataSet& ds = GetFile().GetDataSet();
        const gdcm::Tag intercept(0x0028, 0x1052), slope(0x0028, 0x1053);
        if (ms != gdcm::MediaStorage::MRImageStorage || (ds.FindDataElement(slope) && !ds.GetDataElement(slope).IsEmpty()) ||
            (!ds.FindDataElement(intercept) && !ds.FindDataElement(slope)))
            return;
        gdcm::DataElement one(slope);
        one.SetVR(gdcm::VR::DS);
        one.SetByteValue("1 ", 2);
        ds.Replace(one);
    }

    // GDCM's raw codec asserts that native 12-bit pixel data unpacks (16 bits for every 12)
    // to exactly the image's buffer.
    bool packedPixelsFit()
    {
        const gdcm::Image& image = GetImage();
        const gdcm::PixelFormat format = image.GetPixelFormat();
        if (format != gdcm::PixelFormat::UINT12 && format != gdcm::PixelFormat::INT12)
            return true;
        const gdcm::ByteValue* value = image.GetDataElement().GetByteValue();
        return !value || std::uint64_t(value->GetLength()) * 16 / 12 == image.GetBufferLength();
    }

    // GDCM's raw codec asserts on uncompressed pixel data in a colour space only compressed
    // data has (partial YBR, irreversible colour transform) and, when it cleans unused bits or
    // swaps bytes, in one its decoding does not handle (CMYK, HSV, ...): only these pass.
    bool nativeColourSpaceFits()
    {
        using PI = gdcm::PhotometricInterpretation;
        const gdcm::Image& image = GetImage();
        switch (image.GetPhotometricInterpretation())
        {
        case PI::MONOCHROME1:
        case PI::MONOCHROME2:
        case PI::PALETTE_COLOR:
        case PI::RGB:
        case PI::ARGB:
        case PI::YBR_FULL:
        case PI::YBR_FULL_422:
        case PI::YBR_RCT:
            return true;
        default:
            return image.GetTransferSyntax().IsEncapsulated();
        }
    }

    // A Recognition Code (0008,0010) GDCM asserts on: in a DICOM image it must start as
    // ACR-NEMA's or MIPS 2.0's; in an ACR-NEMA image it must be one of four exact values.
    bool recognitionCodeReadable(bool acrNema)
    {
        const gdcm::DataSet& ds = GetFile().GetDataSet();
        const gdcm::Tag tag(0x0008, 0x0010);
        if (!ds.FindDataElement(tag) || ds.GetDataElement(tag).IsEmpty())
            return true;
        const gdcm::ByteValue* value = ds.GetDataElement(tag).GetByteValue();
        if (!value)
            return false;
        const std::string code(value->GetPointer(), value->GetLength());
        if (acrNema)
        {
            const std::string text = code.c_str(); // GDCM compares up to the first NUL here
            return text == "ACRNEMA_LIBIDO_1.1" || text == "ACRNEMA_LIBIDO_1.0" || code == "ACR-NEMA 2.0" ||
                   code == "ACR-NEMA 1.0";
        }
        return code.rfind("ACR-NEMA", 0) == 0 || code.rfind("ACRNEMA", 0) == 0 || code.rfind("MIPS 2.0", 0) == 0;
    }

    bool attributesReadable()
    {
        const gdcm::DataSet& ds = GetFile().GetDataSet();
        const gdcm::Dict& dictionary = gdcm::Global::GetInstance().GetDicts().GetPublicDict();
        for (const gdcm::DataElement& element : ds.GetDES())
        {
            const gdcm::VR expected = dictionary.GetDictEntry(element.GetTag()).GetVR();
            if (!element.GetTag().IsPrivate() && element.GetVR() != gdcm::VR::INVALID &&
                expected != gdcm::VR::INVALID && !expected.Compatible(element.GetVR()))
                return false;
        }
        auto word = [&ds](std::uint16_t element, int fallback) { return int(imageAttributeWord(ds, element, unsigned(fallback))); };
        const int samples = word(0x0002, 1), bitsAllocated = word(0x0100, 16), representation = word(0x0103, 0);
        if ((samples != 1 && samples != 3 && samples != 4) ||
            (bitsAllocated != 1 && bitsAllocated != 8 && bitsAllocated != 12 && bitsAllocated != 16 &&
             bitsAllocated != 32 && bitsAllocated != 64) ||
            (bitsAllocated == 1 && representation != 0))
            return false;
        // GDCM's pixel format asserts on these (its scalar type, its value range): a missing or
        // zero Bits Allocated leaves its default of 8 bits stored above 0 allocated.
        if (word(0x0100, 0) == 0 || word(0x0101, 0) > 32 || (representation != 0 && representation != 1))
            return false;
        // GDCM asserts on any other planar configuration of three samples (it ignores it otherwise).
        if (const int planar = word(0x0006, 0); samples == 3 && planar != 0 && planar != 1)
            return false;
        if (!enhancedGeometryReadable(GetFile()))
            return false;
        // GDCM takes an RT dose's z spacing from the first two values of its Grid Frame Offset Vector.
        const gdcm::Tag offsets(0x3004, 0x000c);
        if (gdcm::MediaStorage ms; ms.SetFromFile(GetFile()), ms == gdcm::MediaStorage::RTDoseStorage &&
                                   ds.FindDataElement(offsets) && !ds.GetDataElement(offsets).IsEmpty())
        {
            const gdcm::DataElement& element = ds.GetDataElement(offsets);
            gdcm::Attribute<0x3004, 0x000c> vector;
            if (!element.GetByteValue() || !vector.GetVR().Compatible(element.GetVR()))
                return false;
            vector.SetFromDataElement(element);
            if (vector.GetNumberOfValues() < 2)
                return false;
        }
        const gdcm::Tag photometric(0x0028, 0x0004);
        if (ds.FindDataElement(photometric))
            if (const gdcm::ByteValue* value = ds.GetDataElement(photometric).GetByteValue())
            {
                const std::string name(value->GetPointer(), value->GetLength());
                if (gdcm::PhotometricInterpretation::GetPIType(name.c_str()) == gdcm::PhotometricInterpretation::PALETTE_COLOR)
                    for (std::uint16_t element : {0x1101, 0x1102, 0x1103})
                        if (!ds.FindDataElement(gdcm::Tag(0x0028, element)) ||
                            (!ds.FindDataElement(gdcm::Tag(0x0028, element + 0x100)) &&
                             !ds.FindDataElement(gdcm::Tag(0x0028, element + 0x120))))
                            return false;
            }
        return true;
    }
};

} // namespace ctvolume
