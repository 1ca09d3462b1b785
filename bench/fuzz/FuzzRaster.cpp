// PNG and TIFF reading as the tool does it (the first byte chooses the format) and the
// conversion of what was read to gray.
#include "FuzzSupport.h"
#include "RasterIO.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    fuzzing::quietProcess();
    if (size < 1)
        return 0;
    const bool tiff = data[0] & 1;
    const QString path = fuzzing::scratchFile(QStringLiteral("input"), data + 1, size - 1);
    tool::LoadedImage image;
    QString error;
    tool::readRaster(path, tiff ? "tiff" : "png", image, error);
    return 0;
}
