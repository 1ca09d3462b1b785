#include "image2d/toolbox/Image2DOperations.h"

#include "image2d/framework/Dispatch.h"
#include "image2d/framework/Log.h"
#include "image2d/framework/PixelStore.h"

#include <QFile>
#include <QStringList>
#include <QTextStream>

#include <algorithm>
#include <cstdint>
#include <type_traits>

namespace image2d {

namespace {

// Integers by truncation and their low-order bits, BINARY clamped to 0 ... 1, floats as read.
template <typename T>
T csvValue(float value, Image2D::DataType type)
{
    if constexpr (std::is_floating_point_v<T>)
        return value;
    else if (type == Image2D::BINARY)
        return static_cast<T>(std::clamp(store::truncateToInt32Saturating(value), 0, 1));
    else
        return store::castElement<T>(value);
}

} // namespace

Image2D* Image2DOperations::createImage2DFromCSV(const QString& path, int width, int height, Image2D::DataType type)
{
    return dispatchDataType(
        AllPixelTypes{}, type,
        [&](auto tag) -> Image2D* {
            using T = typename decltype(tag)::type;
            auto image = std::make_unique<Image2D>(width, height, type, QVector3D(1, 1, 1), true);
            if (!image->isValid())
            {
                warning("Image2DOperations::createImage2DFromCSV : cannot create an image of size", width, height);
                return nullptr;
            }
            QFile file(path);
            if (!file.open(QIODevice::ReadOnly))
            {
                warning("Image2DHelper : failed to open CSV file: ", file.errorString());
                return nullptr;
            }
            // The values fill the image one after the other, whatever the lines.
            T* pixels = image->getData<T>();
            const std::size_t count = image->getNumPixels();
            std::size_t next = 0;
            QTextStream in(&file);
            while (next < count && !in.atEnd())
            {
                const QStringList parts = in.readLine().split(QLatin1Char(','), Qt::SkipEmptyParts);
                for (auto part = parts.cbegin(); part != parts.cend() && next < count; ++part)
                    pixels[next++] = csvValue<T>(part->toFloat(), type);
            }
            image->editFinished();
            return image.release();
        },
        [&] {
            warning("Image2DOperations::createImage2DFromCSV is not supported for the given data type: ",
                    static_cast<int>(type));
        });
}

} // namespace image2d
