#include "image2d/filtering/Kernels.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numeric>

using namespace image2d;

TEST(Kernel, SideIsTheTruncatedSquareRootAndExtraValuesAreDropped)
{
    std::vector<float> values(10);
    std::iota(values.begin(), values.end(), 1.0f);
    const Kernel kernel(values);
    EXPECT_EQ(kernel.getSize(), 3);
    EXPECT_EQ(kernel.getRadius(), 1);
    EXPECT_EQ(kernel.getValues(), (std::vector<float>{1, 2, 3, 4, 5, 6, 7, 8, 9}));

    const Kernel even({1, 2, 3, 4});
    EXPECT_EQ(even.getSize(), 2);
    EXPECT_EQ(even.getRadius(), 1);
    const Kernel empty({});
    EXPECT_EQ(empty.getSize(), 0);
    EXPECT_EQ(empty.getRadius(), 0);
}

TEST(Kernel, GaussianIsNormalisedSymmetricAndFollowsTheExponential)
{
    const Gaussian gaussian(2, 1.5f);
    ASSERT_EQ(gaussian.getSize(), 5);
    const std::vector<float>& v = gaussian.getValues();
    EXPECT_NEAR(std::accumulate(v.begin(), v.end(), 0.0), 1.0, 1e-6);
    auto at = [&](int i, int j) { return v[(i + 2) * 5 + (j + 2)]; };
    for (int i = -2; i <= 2; ++i)
        for (int j = -2; j <= 2; ++j)
        {
            EXPECT_FLOAT_EQ(at(i, j), at(-i, j));
            EXPECT_FLOAT_EQ(at(i, j), at(j, i));
            EXPECT_NEAR(at(i, j) / at(0, 0), std::exp(-(i * i + j * j) / (2.0 * 1.5 * 1.5)), 1e-6);
        }
    EXPECT_EQ(Gaussian(-1, 1.0f).getSize(), 0);
    EXPECT_EQ(Gaussian(0, 1.0f).getValues(), std::vector<float>{1.0f});
}

TEST(Kernel, ZeroSigmaGivesTheIdentity)
{
    const Gaussian gaussian(1, 0.0f);
    EXPECT_EQ(gaussian.getValues(), (std::vector<float>{0, 0, 0, 0, 1, 0, 0, 0, 0}));
    const SeparableGaussian separable(2, std::nanf(""));
    EXPECT_EQ(separable.getValues(), (std::vector<float>{0, 0, 1, 0, 0}));
}

TEST(Kernel, FixedKernelsHaveTheirTables)
{
    EXPECT_EQ(Laplacian().getValues(), (std::vector<float>{1, 1, 1, 1, -8, 1, 1, 1, 1}));
    EXPECT_EQ(Sobel(Sobel::VERTICAL).getValues(),
              (std::vector<float>{0.125f, 0.25f, 0.125f, 0, 0, 0, -0.125f, -0.25f, -0.125f}));
    EXPECT_EQ(Sobel(Sobel::HORIZONTAL).getValues(),
              (std::vector<float>{-0.125f, 0, 0.125f, -0.25f, 0, 0.25f, -0.125f, 0, 0.125f}));
    EXPECT_EQ(Sobel(static_cast<Sobel::Direction>(7)).getValues(), Sobel(Sobel::HORIZONTAL).getValues());
}

TEST(Kernel, DilationIsADiscIncludingItsRim)
{
    const Dilation disc(2);
    EXPECT_EQ(disc.getValues(), (std::vector<float>{0, 0, 1, 0, 0, //
                                                    0, 1, 1, 1, 0, //
                                                    1, 1, 1, 1, 1, //
                                                    0, 1, 1, 1, 0, //
                                                    0, 0, 1, 0, 0}));
    EXPECT_EQ(Dilation(-3).getSize(), 0);
}

TEST(SeparableKernel, GaussianIsNormalisedAndSymmetric)
{
    const SeparableGaussian gaussian(4, 1.2f);
    ASSERT_EQ(gaussian.getSize(), 9);
    EXPECT_EQ(gaussian.getRadius(), 4);
    const std::vector<float>& v = gaussian.getValues();
    EXPECT_NEAR(std::accumulate(v.begin(), v.end(), 0.0), 1.0, 1e-6);
    for (int i = 0; i <= 4; ++i)
    {
        EXPECT_FLOAT_EQ(v[4 + i], v[4 - i]);
        EXPECT_NEAR(v[4 + i] / v[4], std::exp(-(i * i) / (2.0 * 1.2 * 1.2)), 1e-6);
    }
    EXPECT_EQ(SeparableGaussian(-2, 1.0f).getSize(), 0);
    const SeparableKernel plain({1, 2, 3, 4});
    EXPECT_EQ(plain.getSize(), 4);
    EXPECT_EQ(plain.getRadius(), 2);
}
