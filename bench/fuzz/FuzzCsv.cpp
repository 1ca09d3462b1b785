// The CSV image loader: the first three bytes choose width, height (0 to 63) and pixel
// type, the rest is the file.
#include "FuzzSupport.h"

#include "image2d/toolbox/Image2DOperations.h"

#include <memory>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    fuzzing::quietProcess();
    if (size < 3)
        return 0;
    const int width = data[0] % 64, height = data[1] % 64;
    const auto type = static_cast<Image2D::DataType>(data[2] % 8); // 7: no type at all
    const QString path = fuzzing::scratchFile(QStringLiteral("input.csv"), data + 3, size - 3);
    std::unique_ptr<Image2D> image(image2d::Image2DOperations::createImage2DFromCSV(path, width, height, type));
    if (image && (image->getWidth() != width || image->getHeight() != height))
        std::abort();
    return 0;
}
