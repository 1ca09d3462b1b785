#pragma once

#include <QString>

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

namespace gdcm {
class DataSet;
}

namespace testing_dicom {

enum class Syntax
{
    ExplicitLittle,
    ImplicitLittle,
    ExplicitBig,
    Rle,
    JpegLossless,
    JpegLs,
    Jpeg2000Lossless,
    JpegBaseline, ///< 8 bits (eightBit or rgb)
    JpegExtended  ///< 12 bits stored in 16
};

/// A grayscale (or RGB) DICOM file as the tests write it with GDCM, independently of the tool.
struct DicomContent
{
    int width = 0;
    int height = 0;
    /// Stored 16-bit words per frame (reinterpreted as signed when isSigned).
    std::vector<std::vector<std::uint16_t>> frames{};
    bool isSigned = false;
    int bitsStored = 16;
    bool monochrome1 = false;
    std::optional<double> slope{};
    std::optional<double> intercept{};
    std::optional<double> windowCenter{};
    std::optional<double> windowWidth{};
    double spacing = 0.025;
    Syntax syntax = Syntax::ExplicitLittle;
    /// Pixel Padding Value (0028,0120), written as US (SS when signed).
    std::optional<std::uint16_t> paddingValue{};
    /// When not empty: an 8-bit RGB image (interleaved samples) instead of the frames.
    std::vector<std::uint8_t> rgb{};
    /// The frames' words written as 8-bit samples (each word's low byte); bitsStored below 8
    /// (with highBit, -1: bitsStored - 1) and isSigned are then written as the file's attributes.
    bool eightBit = false;
    int highBit = -1;
    /// The storage class (SOP Class UID); digital X-ray for presentation when null.
    const char* sopClass = nullptr;
};

/// Writes the file; false when GDCM cannot encode it.
bool writeDicom(const QString& path, const DicomContent& content);

/// Reads the file at `path`, lets `edit` change its data set and writes it back as it is
/// (no image writer adjusting attributes to the pixels); false when either step fails.
bool rewriteDicom(const QString& path, const std::function<void(gdcm::DataSet&)>& edit);

} // namespace testing_dicom
