#include "BenchImages.h"

#include "platform/pixeldata/Conversions.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <mutex>
#include <random>
#include <utility>

namespace bench {

QSize sizeFor(int index)
{
    return index == 0 ? kIntraoral : index == 2 ? kIntraoral4x : kPanoramic;
}

const char* labelFor(int index)
{
    return index == 0 ? "intraoral_1500x2000" : index == 2 ? "intraoral4x_3000x4000" : "panoramic_2900x1450";
}

namespace {

Image2D makeRadiograph(const QSize& size)
{
    const int w = size.width(), h = size.height();
    Image2D image(w, h, Image2D::UNSIGNED_SHORT, QVector3D(0.02f, 0.02f, 1.0f));
    std::uint16_t* p = image.getData<std::uint16_t>();
    std::mt19937 rng(12345);
    std::uniform_real_distribution<float> uni(0.0f, 1.0f);
    struct Blob { float x, y, rx, ry, amplitude; };
    std::vector<Blob> blobs;
    for (int i = 0; i < 24; ++i)
        blobs.push_back({uni(rng) * w, uni(rng) * h, (0.03f + 0.12f * uni(rng)) * w, (0.05f + 0.2f * uni(rng)) * h,
                         400.0f + 1800.0f * uni(rng)});
    std::normal_distribution<float> noise(0.0f, 25.0f);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
        {
            float v = 600.0f + 500.0f * float(y) / float(h);
            for (const Blob& b : blobs)
            {
                const float dx = (x - b.x) / b.rx, dy = (y - b.y) / b.ry;
                v += b.amplitude * std::exp(-(dx * dx + dy * dy));
            }
            v += noise(rng);
            p[static_cast<std::size_t>(y) * w + x] = static_cast<std::uint16_t>(std::clamp(v, 0.0f, 4095.0f));
        }
    image.editFinished();
    return image;
}

std::mutex g_mutex;
std::map<std::pair<int, int>, Image2D> g_u16;
std::map<std::pair<int, int>, Image2D> g_f32;

} // namespace

const Image2D& radiograph(const QSize& size)
{
    std::lock_guard<std::mutex> lock(g_mutex);
    const auto key = std::make_pair(size.width(), size.height());
    auto it = g_u16.find(key);
    if (it == g_u16.end())
        it = g_u16.emplace(key, makeRadiograph(size)).first;
    return it->second;
}

const Image2D& radiographFloat(const QSize& size)
{
    const Image2D& source = radiograph(size);
    std::lock_guard<std::mutex> lock(g_mutex);
    const auto key = std::make_pair(size.width(), size.height());
    auto it = g_f32.find(key);
    if (it == g_f32.end())
        it = g_f32.emplace(key, conversions::convertToDataType(source, Image2D::FLOAT)).first;
    return it->second;
}

namespace {

std::map<std::pair<int, int>, Image2D> g_masks;
std::map<std::pair<int, int>, Image2D> g_noise;

} // namespace

const Image2D& radiographMask(const QSize& size)
{
    const Image2D& source = radiograph(size);
    std::lock_guard<std::mutex> lock(g_mutex);
    const auto key = std::make_pair(size.width(), size.height());
    auto it = g_masks.find(key);
    if (it == g_masks.end())
    {
        const std::uint16_t* p = source.getConstData<std::uint16_t>();
        const std::size_t n = source.getNumPixels();
        double mean = 0.0;
        for (std::size_t i = 0; i < n; ++i)
            mean += p[i];
        mean /= static_cast<double>(n);
        Image2D mask(size, Image2D::BINARY, source.getPixelSize());
        for (std::size_t i = 0; i < n; ++i)
            mask.getData<std::uint8_t>()[i] = p[i] > mean;
        it = g_masks.emplace(key, std::move(mask)).first;
    }
    return it->second;
}

const Image2D& noiseMask(const QSize& size)
{
    std::lock_guard<std::mutex> lock(g_mutex);
    const auto key = std::make_pair(size.width(), size.height());
    auto it = g_noise.find(key);
    if (it == g_noise.end())
    {
        Image2D mask(size, Image2D::BINARY, QVector3D(0.02f, 0.02f, 1.0f));
        std::mt19937 rng(4242);
        for (std::size_t i = 0; i < mask.getNumPixels(); ++i)
            mask.getData<std::uint8_t>()[i] = static_cast<std::uint8_t>(rng() & 1);
        it = g_noise.emplace(key, std::move(mask)).first;
    }
    return it->second;
}

#ifdef IMAGE2D_BENCH_WITH_OPENCV
cv::Mat asMat(const Image2D& image)
{
    int type = CV_16U;
    switch (image.getDataType())
    {
    case Image2D::UNSIGNED_SHORT: type = CV_16U; break;
    case Image2D::SHORT: type = CV_16S; break;
    case Image2D::UNSIGNED_CHAR:
    case Image2D::BINARY: type = CV_8U; break;
    case Image2D::FLOAT: type = CV_32F; break;
    case Image2D::INT: type = CV_32S; break;
    default: break;
    }
    return cv::Mat(image.getHeight(), image.getWidth(), type, const_cast<unsigned char*>(image.getConstData()));
}
#endif

} // namespace bench
