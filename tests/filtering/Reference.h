#pragma once

// Plain, deliberately naive reference computations for the neighbourhood filters:
// every output pixel from its own window, with edge handling written out.

#include "platform/pixeldata/Image2D.h"
#include "platform/pixeldata/PixelTypes.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

namespace reference {

inline int clampIndex(int i, int size)
{
    return i < 0 ? 0 : (i >= size ? size - 1 : i);
}

/// Pixel as float, the way the convolutions read it.
inline float readFloat(const Image2D& image, int x, int y)
{
    float value = 0.0f;
    pixeldata::visitDataType(image.getDataType(), [&](auto tag) {
        using T = typename decltype(tag)::type;
        value = static_cast<float>(image.getConstData<T>()[static_cast<std::size_t>(y) * image.getWidth() + x]);
    });
    return value;
}

/// Float sum stored by the convolution rule: truncation toward zero, low-order bits kept.
inline void storeSum(Image2D& image, int x, int y, float sum)
{
    pixeldata::visitDataType(image.getDataType(), [&](auto tag) {
        using T = typename decltype(tag)::type;
        T& target = image.getData<T>()[static_cast<std::size_t>(y) * image.getWidth() + x];
        if constexpr (std::is_same_v<T, float>)
            target = sum;
        else
        {
            const auto truncated = static_cast<std::int64_t>(std::trunc(static_cast<double>(sum)));
            target = static_cast<T>(static_cast<std::uint32_t>(truncated & 0xffffffff));
        }
    });
}

inline void writeValue(Image2D& image, int x, int y, double value)
{
    pixeldata::visitDataType(image.getDataType(), [&](auto tag) {
        using T = typename decltype(tag)::type;
        image.getData<T>()[static_cast<std::size_t>(y) * image.getWidth() + x] = static_cast<T>(value);
    });
}

/// Full 2D correlation with a size x size kernel (window from -radius to size - radius - 1).
inline Image2D filter(const Image2D& in, const std::vector<float>& values, int size)
{
    const int radius = size / 2;
    Image2D out(in.getSize(), in.getDataType(), in.getPixelSize());
    for (int y = 0; y < in.getHeight(); ++y)
        for (int x = 0; x < in.getWidth(); ++x)
        {
            float sum = 0.0f;
            for (int i = 0; i < size; ++i)
                for (int j = 0; j < size; ++j)
                    sum += readFloat(in, clampIndex(x - radius + j, in.getWidth()),
                                     clampIndex(y - radius + i, in.getHeight())) *
                           values[i * size + j];
            if (in.getDataType() == Image2D::BINARY)
            {
                const auto truncated = static_cast<std::int64_t>(std::trunc(static_cast<double>(sum)));
                writeValue(out, x, y, (truncated & 0xff) != 0 ? 1 : 0);
            }
            else
                storeSum(out, x, y, sum);
        }
    return out;
}

/// Row pass into floats, column pass into `outType`, then the [0, 1] clamp for BINARY input.
inline Image2D separable(const Image2D& in, const std::vector<float>& values, Image2D::DataType outType)
{
    const int size = static_cast<int>(values.size()), radius = size / 2;
    const int w = in.getWidth(), h = in.getHeight();
    std::vector<float> temp(static_cast<std::size_t>(w) * h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
        {
            float sum = 0.0f;
            for (int k = 0; k < size; ++k)
                sum += readFloat(in, clampIndex(x - radius + k, w), y) * values[k];
            temp[static_cast<std::size_t>(y) * w + x] = sum;
        }
    Image2D out(in.getSize(), outType, in.getPixelSize());
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
        {
            float sum = 0.0f;
            for (int k = 0; k < size; ++k)
                sum += temp[static_cast<std::size_t>(clampIndex(y - radius + k, h)) * w + x] * values[k];
            storeSum(out, x, y, sum);
        }
    if (in.getDataType() == Image2D::BINARY)
        pixeldata::visitDataType(outType, [&](auto tag) {
            using T = typename decltype(tag)::type;
            T* p = out.getData<T>();
            for (std::size_t i = 0; i < out.getNumPixels(); ++i)
                p[i] = p[i] < T(0) ? T(0) : (p[i] > T(1) ? T(1) : p[i]);
        });
    return out;
}

/// Mean of the window clipped to the image; the radius shrinks to (n - 1) / 2 per axis
/// when the window is longer than the image. Integers rounded half away from zero.
inline Image2D areaAverage(const Image2D& in, int radius)
{
    const int w = in.getWidth(), h = in.getHeight();
    const int rx = 2 * radius + 1 > w ? (w - 1) / 2 : radius;
    const int ry = 2 * radius + 1 > h ? (h - 1) / 2 : radius;
    Image2D out(in.getSize(), in.getDataType(), in.getPixelSize());
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
        {
            double sum = 0.0;
            int count = 0;
            for (int v = std::max(0, y - ry); v <= std::min(h - 1, y + ry); ++v)
                for (int u = std::max(0, x - rx); u <= std::min(w - 1, x + rx); ++u)
                {
                    sum += static_cast<double>(readFloat(in, u, v));
                    ++count;
                }
            const double mean = sum / count;
            writeValue(out, x, y, in.getDataType() == Image2D::FLOAT ? mean : std::round(mean));
        }
    return out;
}

/// Window sum over columns x0 + 1 .. x1 and rows y0 + 1 .. y1, the bounds truncated
/// toward zero from float and clipped to the image.
inline Image2D windowSum(const Image2D& in, float radius)
{
    const int w = in.getWidth(), h = in.getHeight();
    const bool isFloat = in.getDataType() == Image2D::FLOAT;
    Image2D out(in.getSize(), isFloat ? Image2D::FLOAT : Image2D::INT, in.getPixelSize());
    auto lower = [](float v) { return std::max(-1.0, std::trunc(static_cast<double>(v))); };
    auto upper = [](float v, int last) { return std::min<double>(last, std::trunc(static_cast<double>(v))); };
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
        {
            const int x0 = static_cast<int>(lower(static_cast<float>(x) - radius - 1.0f));
            const int x1 = static_cast<int>(upper(static_cast<float>(x) + radius, w - 1));
            const int y0 = static_cast<int>(lower(static_cast<float>(y) - radius - 1.0f));
            const int y1 = static_cast<int>(upper(static_cast<float>(y) + radius, h - 1));
            double sum = 0.0;
            for (int v = y0 + 1; v <= y1; ++v)
                for (int u = x0 + 1; u <= x1; ++u)
                    sum += static_cast<double>(readFloat(in, u, v));
            writeValue(out, x, y, sum);
        }
    return out;
}

/// Minimum or maximum over the window clipped to the image.
inline Image2D extreme(const Image2D& in, int radius, bool maximum)
{
    const int w = in.getWidth(), h = in.getHeight();
    Image2D out(in.getSize(), in.getDataType(), in.getPixelSize());
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
        {
            double best = maximum ? -std::numeric_limits<double>::infinity() : std::numeric_limits<double>::infinity();
            for (int v = std::max(0, y - radius); v <= std::min(h - 1, y + radius); ++v)
                for (int u = std::max(0, x - radius); u <= std::min(w - 1, x + radius); ++u)
                {
                    const double value = readFloat(in, u, v);
                    best = maximum ? std::max(best, value) : std::min(best, value);
                }
            writeValue(out, x, y, best);
        }
    return out;
}

/// Element n / 2 of the sorted edge-replicated window.
inline Image2D median(const Image2D& in, int radius)
{
    const int w = in.getWidth(), h = in.getHeight();
    Image2D out(in.getSize(), in.getDataType(), in.getPixelSize());
    std::vector<double> window;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
        {
            window.clear();
            for (int i = -radius; i <= radius; ++i)
                for (int j = -radius; j <= radius; ++j)
                    window.push_back(readFloat(in, clampIndex(x + j, w), clampIndex(y + i, h)));
            std::sort(window.begin(), window.end());
            writeValue(out, x, y, window[window.size() / 2]);
        }
    return out;
}

} // namespace reference
