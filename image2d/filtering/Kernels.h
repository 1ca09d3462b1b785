#pragma once

#include <vector>

namespace image2d {

/// Square convolution kernel: coefficients in row-major order, row 0 first.
/// The side is the truncated square root of the value count; extra values are dropped.
class Kernel
{
public:
    explicit Kernel(std::vector<float> values);
    Kernel(const Kernel&) = default;
    Kernel& operator=(const Kernel&) = default;
    Kernel(Kernel&&) = default;
    Kernel& operator=(Kernel&&) = default;
    virtual ~Kernel();

    /// size / 2; the window reaches `radius` before the centre and size - radius - 1 after it.
    int getRadius() const { return m_radius; }
    int getSize() const { return m_size; }
    /// Element (row i, column j) is getValues()[i * getSize() + j].
    const std::vector<float>& getValues() const { return m_values; }

private:
    int m_radius = 0;
    int m_size = 0;
    std::vector<float> m_values;
};

/// Normalised 2D Gaussian of side 2 * radius + 1 (empty for a negative radius or one above 4096).
/// A zero or non-finite sigma gives the identity kernel, the limit of a shrinking Gaussian.
class Gaussian : public Kernel
{
public:
    Gaussian(int radius, float sigma);
};

/// 3 x 3 Laplacian: 1 1 1 / 1 -8 1 / 1 1 1.
class Laplacian : public Kernel
{
public:
    Laplacian();
};

/// 3 x 3 Sobel derivative, scaled by 1/8.
class Sobel : public Kernel
{
public:
    enum Direction
    {
        VERTICAL = 0,
        HORIZONTAL = 1
    };
    /// VERTICAL differentiates along the rows; any other value along the columns.
    explicit Sobel(Direction direction);
};

/// Disc of side 2 * radius + 1: 1 where hypot(column, row offset) <= radius, else 0
/// (empty for a negative radius or one above 4096).
class Dilation : public Kernel
{
public:
    explicit Dilation(int radius);
};

/// One-dimensional kernel applied along rows and then along columns; index 0 is offset -radius.
class SeparableKernel
{
public:
    explicit SeparableKernel(std::vector<float> values);
    SeparableKernel(const SeparableKernel&) = default;
    SeparableKernel& operator=(const SeparableKernel&) = default;
    SeparableKernel(SeparableKernel&&) = default;
    SeparableKernel& operator=(SeparableKernel&&) = default;
    virtual ~SeparableKernel();

    int getRadius() const { return m_radius; }
    int getSize() const { return m_size; }
    const std::vector<float>& getValues() const { return m_values; }

private:
    int m_radius = 0;
    int m_size = 0;
    std::vector<float> m_values;
};

/// Normalised 1D Gaussian of 2 * radius + 1 taps (empty for a negative radius or one above 2^20).
/// A zero or non-finite sigma gives the identity kernel.
class SeparableGaussian : public SeparableKernel
{
public:
    SeparableGaussian(int radius, float sigma);
};

} // namespace image2d
