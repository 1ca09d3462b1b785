#include "support/TestImages.h"

#include "platform/pixeldata/PixelTypes.h"

#include <limits>
#include <random>
#include <type_traits>

namespace testing_support {

Image2D makeImage(int width, int height, Image2D::DataType type, const std::vector<double>& values)
{
    Image2D image(width, height, type);
    pixeldata::visitDataType(type, [&](auto tag) {
        using T = typename decltype(tag)::type;
        T* p = image.getData<T>();
        for (std::size_t i = 0; i < image.getNumPixels() && i < values.size(); ++i)
            p[i] = static_cast<T>(values[i]);
    });
    image.editFinished();
    return image;
}

Image2D makeImage(int width, int height, Image2D::DataType type, std::initializer_list<double> values)
{
    return makeImage(width, height, type, std::vector<double>(values));
}

Image2D maskFromRows(const std::vector<std::string>& rows)
{
    const int height = static_cast<int>(rows.size()), width = height ? static_cast<int>(rows[0].size()) : 0;
    Image2D mask(width, height, Image2D::BINARY);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            mask.getData<std::uint8_t>()[static_cast<std::size_t>(y) * width + x] = rows[y][x] == '#';
    return mask;
}

std::vector<std::string> rowsOf(const Image2D& mask)
{
    std::vector<std::string> rows;
    for (int y = 0; y < mask.getHeight(); ++y)
    {
        rows.emplace_back();
        for (int x = 0; x < mask.getWidth(); ++x)
            rows.back() += pixelAt(mask, x, y) != 0 ? '#' : '.';
    }
    return rows;
}

Image2D randomImage(int width, int height, Image2D::DataType type, std::uint32_t seed, double lo, double hi)
{
    std::mt19937 rng(seed);
    Image2D image(width, height, type);
    pixeldata::visitDataType(type, [&](auto tag) {
        using T = typename decltype(tag)::type;
        T* p = image.getData<T>();
        if constexpr (std::is_floating_point_v<T>)
        {
            std::uniform_real_distribution<double> dist(lo, hi);
            for (std::size_t i = 0; i < image.getNumPixels(); ++i)
                p[i] = static_cast<T>(dist(rng));
        }
        else
        {
            std::uniform_int_distribution<long long> dist(static_cast<long long>(lo), static_cast<long long>(hi));
            for (std::size_t i = 0; i < image.getNumPixels(); ++i)
                p[i] = static_cast<T>(dist(rng));
        }
    });
    image.editFinished();
    return image;
}

Image2D randomOfType(Image2D::DataType type, int width, int height, std::uint32_t seed, double floatLow,
                     double floatHigh)
{
    switch (type)
    {
    case Image2D::UNSIGNED_SHORT: return randomImage(width, height, type, seed, 0, 65535);
    case Image2D::SHORT: return randomImage(width, height, type, seed, -32768, 32767);
    case Image2D::UNSIGNED_CHAR: return randomImage(width, height, type, seed, 0, 255);
    case Image2D::BINARY: return randomImage(width, height, type, seed, 0, 1);
    case Image2D::FLOAT: return randomImage(width, height, type, seed, floatLow, floatHigh);
    case Image2D::INT: return randomImage(width, height, type, seed, -2147483648.0, 2147483647.0);
    default:
    {
        Image2D image(width, height, type);
        for (std::size_t i = 0; i < image.getNumPixels(); ++i)
            image.getData<std::uint32_t>()[i] = static_cast<std::uint32_t>(i * 2654435761u + seed);
        return image;
    }
    }
}

Image2D radiographRange(Image2D::DataType type, int width, int height, std::uint32_t seed, double floatLow,
                        double floatHigh)
{
    switch (type)
    {
    case Image2D::UNSIGNED_SHORT: return randomImage(width, height, type, seed, 0, 4095);
    case Image2D::SHORT: return randomImage(width, height, type, seed, -2000, 2000);
    case Image2D::FLOAT: return randomImage(width, height, type, seed, floatLow, floatHigh);
    default: return randomOfType(type, width, height, seed);
    }
}

double typeLowest(Image2D::DataType type)
{
    switch (type)
    {
    case Image2D::SHORT: return -32768.0;
    case Image2D::INT: return -2147483648.0;
    case Image2D::FLOAT: return -static_cast<double>(std::numeric_limits<float>::max());
    default: return 0.0;
    }
}

double typeHighest(Image2D::DataType type)
{
    switch (type)
    {
    case Image2D::UNSIGNED_SHORT: return 65535.0;
    case Image2D::SHORT: return 32767.0;
    case Image2D::INT: return 2147483647.0;
    case Image2D::FLOAT: return static_cast<double>(std::numeric_limits<float>::max());
    default: return 255.0;
    }
}

double pixelAt(const Image2D& image, int x, int y)
{
    double value = 0.0;
    pixeldata::visitDataType(image.getDataType(), [&](auto tag) {
        using T = typename decltype(tag)::type;
        value = static_cast<double>(image.getConstData<T>()[static_cast<std::size_t>(y) * image.getWidth() + x]);
    });
    return value;
}

std::vector<double> pixels(const Image2D& image)
{
    std::vector<double> out;
    out.reserve(image.getNumPixels());
    pixeldata::visitDataType(image.getDataType(), [&](auto tag) {
        using T = typename decltype(tag)::type;
        const T* p = image.getConstData<T>();
        for (std::size_t i = 0; i < image.getNumPixels(); ++i)
            out.push_back(static_cast<double>(p[i]));
    });
    return out;
}

} // namespace testing_support
