// Writing an image as an uncompressed DICOM file (the phantom's stored form).
#include "Dicom.h"

#include "GdcmSession.h"
#include "RasterIO.h"

#include <gdcmImageWriter.h>

#include <algorithm>
#include <sstream>
#include <string>

namespace tool {

bool writeDicom(const Image2D& image, int bitsStored, const QString& path, QString& error)
{
    const GdcmSession session;
    const Image2D::DataType type = image.getDataType();
    if (!image.isValid() || (type != Image2D::UNSIGNED_SHORT && type != Image2D::SHORT && type != Image2D::UNSIGNED_CHAR))
    {
        error = QStringLiteral("DICOM output needs an 8- or 16-bit integer image");
        return false;
    }
    const int bitsAllocated = type == Image2D::UNSIGNED_CHAR ? 8 : 16;
    bitsStored = std::clamp(bitsStored, 1, bitsAllocated);
    try
    {
        gdcm::ImageWriter writer;
        gdcm::Image& dicom = writer.GetImage();
        dicom.SetNumberOfDimensions(2);
        dicom.SetDimension(0, unsigned(image.getWidth()));
        dicom.SetDimension(1, unsigned(image.getHeight()));
        gdcm::PixelFormat pf(type == Image2D::UNSIGNED_CHAR ? gdcm::PixelFormat::UINT8
                             : type == Image2D::SHORT       ? gdcm::PixelFormat::INT16
                                                            : gdcm::PixelFormat::UINT16);
        pf.SetBitsStored(static_cast<unsigned short>(bitsStored));
        pf.SetHighBit(static_cast<unsigned short>(bitsStored - 1));
        dicom.SetPixelFormat(pf);
        dicom.SetPhotometricInterpretation(gdcm::PhotometricInterpretation::MONOCHROME2);
        dicom.SetSpacing(0, image.getPixelSize().x());
        dicom.SetSpacing(1, image.getPixelSize().y());
        dicom.SetTransferSyntax(gdcm::TransferSyntax::ExplicitVRLittleEndian);
        gdcm::DataElement pixels(gdcm::Tag(0x7fe0, 0x0010));
        pixels.SetByteValue(image.getConstData<char>(), static_cast<std::uint32_t>(image.getByteCount()));
        dicom.SetDataElement(pixels);
        // Written as an element: GDCM keeps the spacing only for some storage classes.
        std::string spacingText = QStringLiteral("%1\\%2").arg(double(image.getPixelSize().y()), 0, 'g', 8)
                                      .arg(double(image.getPixelSize().x()), 0, 'g', 8).toStdString();
        if (spacingText.size() % 2)
            spacingText += ' ';
        gdcm::DataElement spacingElement(gdcm::Tag(0x0028, 0x0030));
        spacingElement.SetVR(gdcm::VR::DS);
        spacingElement.SetByteValue(spacingText.data(), static_cast<std::uint32_t>(spacingText.size()));
        writer.GetFile().GetDataSet().Replace(spacingElement);
        std::ostringstream stream;
        writer.SetStream(stream);
        if (!writer.Write())
        {
            error = QStringLiteral("cannot encode the DICOM file");
            return false;
        }
        const std::string bytes = stream.str();
        return commitBytes(path, QByteArray(bytes.data(), qsizetype(bytes.size())), error);
    }
    catch (const std::exception& e)
    {
        error = QStringLiteral("cannot write DICOM: %1").arg(QString::fromLocal8Bit(e.what()));
    }
    return false;
}

} // namespace tool
