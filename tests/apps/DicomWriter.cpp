#include "DicomWriter.h"

#include <QFile>

#include <gdcmAttribute.h>
#include <gdcmReader.h>
#include <gdcmWriter.h>
#include <gdcmImageChangeTransferSyntax.h>
#include <gdcmImageWriter.h>
#include <gdcmMediaStorage.h>
#include <gdcmSmartPointer.h>
#include <gdcmTrace.h>
#include <gdcmUIDGenerator.h>

#include <cstring>
#include <string>

namespace testing_dicom {

namespace {

gdcm::TransferSyntax::TSType toGdcm(Syntax s)
{
    switch (s)
    {
    case Syntax::ImplicitLittle: return gdcm::TransferSyntax::ImplicitVRLittleEndian;
    case Syntax::ExplicitBig: return gdcm::TransferSyntax::ExplicitVRBigEndian;
    case Syntax::Rle: return gdcm::TransferSyntax::RLELossless;
    case Syntax::JpegLossless: return gdcm::TransferSyntax::JPEGLosslessProcess14_1;
    case Syntax::JpegLs: return gdcm::TransferSyntax::JPEGLSLossless;
    case Syntax::Jpeg2000Lossless: return gdcm::TransferSyntax::JPEG2000Lossless;
    case Syntax::JpegBaseline: return gdcm::TransferSyntax::JPEGBaselineProcess1;
    case Syntax::JpegExtended: return gdcm::TransferSyntax::JPEGExtendedProcess2_4;
    case Syntax::ExplicitLittle: break;
    }
    return gdcm::TransferSyntax::ExplicitVRLittleEndian;
}

// A decimal string element, padded to an even length as DICOM wants.
void putDecimal(gdcm::DataSet& ds, const gdcm::Tag& tag, double value)
{
    std::string text = QString::number(value, 'g', 10).toStdString();
    if (text.size() % 2)
        text += ' ';
    gdcm::DataElement element(tag);
    element.SetVR(gdcm::VR::DS);
    element.SetByteValue(text.data(), static_cast<std::uint32_t>(text.size()));
    ds.Replace(element);
}

} // namespace

bool writeDicom(const QString& path, const DicomContent& content)
{
    gdcm::Trace::SetWarning(false);
    // GDCM's writer and filters hold images by reference count: never a stack object.
    gdcm::SmartPointer<gdcm::Image> owned = new gdcm::Image;
    gdcm::Image& image = *owned;
    const bool multi = content.frames.size() > 1;
    image.SetNumberOfDimensions(multi ? 3 : 2);
    image.SetDimension(0, unsigned(content.width));
    image.SetDimension(1, unsigned(content.height));
    if (multi)
        image.SetDimension(2, unsigned(content.frames.size()));
    const bool rgb = !content.rgb.empty();
    gdcm::PixelFormat pf(rgb || content.eightBit ? gdcm::PixelFormat::UINT8
                         : content.isSigned      ? gdcm::PixelFormat::INT16
                                                 : gdcm::PixelFormat::UINT16);
    if (rgb)
        pf.SetSamplesPerPixel(3);
    else if (!content.eightBit)
    {
        pf.SetBitsStored(static_cast<unsigned short>(content.bitsStored));
        pf.SetHighBit(static_cast<unsigned short>(content.bitsStored - 1));
    }
    image.SetPixelFormat(pf);
    image.SetPhotometricInterpretation(rgb ? gdcm::PhotometricInterpretation::RGB
                                       : content.monochrome1 ? gdcm::PhotometricInterpretation::MONOCHROME1
                                                             : gdcm::PhotometricInterpretation::MONOCHROME2);
    image.SetSpacing(0, content.spacing);
    image.SetSpacing(1, content.spacing);
    image.SetTransferSyntax(gdcm::TransferSyntax::ExplicitVRLittleEndian);
    std::vector<char> bytes(content.rgb.begin(), content.rgb.end());
    for (const auto& frame : content.frames)
    {
        const std::size_t at = bytes.size();
        if (content.eightBit)
        {
            for (std::uint16_t word : frame)
                bytes.push_back(char(word & 0xff));
            continue;
        }
        bytes.resize(at + frame.size() * 2);
        std::memcpy(bytes.data() + at, frame.data(), frame.size() * 2);
    }
    gdcm::DataElement pixels(gdcm::Tag(0x7fe0, 0x0010));
    pixels.SetByteValue(bytes.data(), static_cast<std::uint32_t>(bytes.size()));
    image.SetDataElement(pixels);

    gdcm::ImageWriter writer;
    if (content.syntax == Syntax::ExplicitLittle)
        writer.SetImage(image);
    else
    {
        gdcm::ImageChangeTransferSyntax change;
        change.SetTransferSyntax(toGdcm(content.syntax));
        change.SetInput(image);
        if (!change.Change())
            return false;
        writer.SetImage(change.GetOutput());
    }
    gdcm::DataSet& ds = writer.GetFile().GetDataSet();
    const gdcm::MediaStorage ms(gdcm::MediaStorage::DigitalXRayImageStorageForPresentation);
    gdcm::DataElement sopClass(gdcm::Tag(0x0008, 0x0016));
    const char* uid = content.sopClass ? content.sopClass : ms.GetString();
    sopClass.SetByteValue(uid, static_cast<std::uint32_t>(std::strlen(uid)));
    sopClass.SetVR(gdcm::VR::UI);
    ds.Replace(sopClass);
    // Rescale written as plain elements: GDCM's writer refuses it for some storage classes.
    if (content.slope)
        putDecimal(ds, gdcm::Tag(0x0028, 0x1053), *content.slope);
    if (content.intercept)
        putDecimal(ds, gdcm::Tag(0x0028, 0x1052), *content.intercept);
    if (content.windowCenter)
        putDecimal(ds, gdcm::Tag(0x0028, 0x1050), *content.windowCenter);
    if (content.windowWidth)
        putDecimal(ds, gdcm::Tag(0x0028, 0x1051), *content.windowWidth);
    if (content.paddingValue)
    {
        gdcm::DataElement padding(gdcm::Tag(0x0028, 0x0120));
        padding.SetVR(content.isSigned ? gdcm::VR::SS : gdcm::VR::US);
        const std::uint16_t word = *content.paddingValue;
        const char value[2] = {char(word & 0xff), char(word >> 8)};
        padding.SetByteValue(value, 2);
        ds.Replace(padding);
    }
    writer.SetFileName(QFile::encodeName(path).constData());
    if (!writer.Write())
        return false;
    if (!content.eightBit || content.bitsStored >= 8)
        return true;
    // GDCM's codecs do not take fewer than 8 bits stored of 8 (and its image writer sets the
    // attributes from the pixel format): the bytes are encoded as 8 of 8 and the attributes
    // rewritten afterwards to say what they hold.
    const int highBit = content.highBit < 0 ? content.bitsStored - 1 : content.highBit;
    return rewriteDicom(path, [&](gdcm::DataSet& written) {
        written.Replace(gdcm::Attribute<0x0028, 0x0101>{std::uint16_t(content.bitsStored)}.GetAsDataElement());
        written.Replace(gdcm::Attribute<0x0028, 0x0102>{std::uint16_t(highBit)}.GetAsDataElement());
        written.Replace(gdcm::Attribute<0x0028, 0x0103>{std::uint16_t(content.isSigned)}.GetAsDataElement());
    });
}

bool rewriteDicom(const QString& path, const std::function<void(gdcm::DataSet&)>& edit)
{
    const QByteArray name = QFile::encodeName(path);
    gdcm::Reader reader;
    reader.SetFileName(name.constData());
    if (!reader.Read())
        return false;
    edit(reader.GetFile().GetDataSet());
    gdcm::Writer writer;
    writer.SetFile(reader.GetFile());
    writer.SetFileName(name.constData());
    return writer.Write();
}

} // namespace testing_dicom
