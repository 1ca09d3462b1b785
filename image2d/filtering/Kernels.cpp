#include "image2d/filtering/Kernels.h"

#include <cmath>
#include <utility>

namespace image2d {

namespace {

int sideOf(std::size_t count)
{
    // The square root in double, narrowed to float, then truncated.
    return static_cast<int>(static_cast<float>(std::sqrt(static_cast<double>(count))));
}

std::vector<float> squareValues(std::vector<float> values)
{
    const std::size_t side = static_cast<std::size_t>(sideOf(values.size()));
    values.resize(side * side);
    return values;
}

// Beyond these radii a kernel would not fit any image the library handles; such
// requests give an empty kernel instead of an unbounded allocation.
constexpr int kMaxRadius1D = 1 << 20;
constexpr int kMaxRadius2D = 1 << 12;

bool usableSigma(float sigma)
{
    const float twoSigmaSquared = 2.0f * sigma * sigma;
    return std::isfinite(twoSigmaSquared) && twoSigmaSquared > 0.0f;
}

std::vector<float> identity(int radius, int dimensions)
{
    const int size = 2 * radius + 1;
    std::vector<float> values(dimensions == 2 ? static_cast<std::size_t>(size) * size : size, 0.0f);
    values[dimensions == 2 ? static_cast<std::size_t>(radius) * size + radius : radius] = 1.0f;
    return values;
}

std::vector<float> gaussian2D(int radius, float sigma)
{
    if (radius < 0 || radius > kMaxRadius2D)
        return {};
    if (!usableSigma(sigma))
        return identity(radius, 2);
    const int size = 2 * radius + 1;
    const float factor = 1.0f / (2.0f * static_cast<float>(M_PI) * sigma * sigma);
    std::vector<float> values(static_cast<std::size_t>(size) * size);
    float sum = 0.0f;
    for (int i = -radius; i <= radius; ++i)
        for (int j = -radius; j <= radius; ++j)
        {
            const float weight = factor * std::exp(-static_cast<float>(i * i + j * j) / (2.0f * sigma * sigma));
            values[static_cast<std::size_t>(i + radius) * size + (j + radius)] = weight;
            sum += weight;
        }
    for (float& value : values)
        value /= sum;
    return values;
}

std::vector<float> gaussian1D(int radius, float sigma)
{
    if (radius < 0 || radius > kMaxRadius1D)
        return {};
    if (!usableSigma(sigma))
        return identity(radius, 1);
    const float norm = static_cast<float>(std::sqrt(2.0 * M_PI * static_cast<double>(sigma) * sigma));
    std::vector<float> values(2 * radius + 1);
    float sum = 0.0f;
    for (int i = -radius; i <= radius; ++i)
    {
        const float weight = std::exp(-static_cast<float>(i * i) / (2.0f * sigma * sigma)) / norm;
        values[i + radius] = weight;
        sum += weight;
    }
    for (float& value : values)
        value /= sum;
    return values;
}

std::vector<float> disc(int radius)
{
    if (radius < 0 || radius > kMaxRadius2D)
        return {};
    const int size = 2 * radius + 1;
    std::vector<float> values(static_cast<std::size_t>(size) * size);
    for (int i = -radius; i <= radius; ++i)
        for (int j = -radius; j <= radius; ++j)
            values[static_cast<std::size_t>(i + radius) * size + (j + radius)] =
                std::hypot(static_cast<float>(j), static_cast<float>(i)) <= static_cast<float>(radius) ? 1.0f : 0.0f;
    return values;
}

} // namespace

Kernel::Kernel(std::vector<float> values)
    : m_values(squareValues(std::move(values)))
{
    m_size = sideOf(m_values.size());
    m_radius = m_size / 2;
}

Kernel::~Kernel() = default;

Gaussian::Gaussian(int radius, float sigma)
    : Kernel(gaussian2D(radius, sigma))
{
}

Laplacian::Laplacian()
    : Kernel({1.0f, 1.0f, 1.0f, 1.0f, -8.0f, 1.0f, 1.0f, 1.0f, 1.0f})
{
}

Sobel::Sobel(Direction direction)
    : Kernel(direction == VERTICAL
                 ? std::vector<float>{0.125f, 0.25f, 0.125f, 0.0f, 0.0f, 0.0f, -0.125f, -0.25f, -0.125f}
                 : std::vector<float>{-0.125f, 0.0f, 0.125f, -0.25f, 0.0f, 0.25f, -0.125f, 0.0f, 0.125f})
{
}

Dilation::Dilation(int radius)
    : Kernel(disc(radius))
{
}

SeparableKernel::SeparableKernel(std::vector<float> values)
    : m_values(std::move(values))
{
    m_size = static_cast<int>(m_values.size());
    m_radius = m_size / 2;
}

SeparableKernel::~SeparableKernel() = default;

SeparableGaussian::SeparableGaussian(int radius, float sigma)
    : SeparableKernel(gaussian1D(radius, sigma))
{
}

} // namespace image2d
