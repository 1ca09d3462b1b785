#include "image2d/enhancement/SharpenOrvane.h"

#include <gtest/gtest.h>

#include <QMetaType>
#include <QVariant>

#include <cmath>
#include <vector>

using image2d::SharpenOrvane;
using KernelType = SharpenOrvane::KernelType;

namespace {

struct KernelCase
{
    KernelType type;
    int size;
    float centre;
    double sum;
    float corner; // weight at (radius, radius)
    float axis;   // weight at (0, 1): row of the centre, one column to the right
};

using SharpenOrvaneKernelTable = ::testing::TestWithParam<KernelCase>;

TEST_P(SharpenOrvaneKernelTable, SizeCentreCornerAndSum)
{
    const KernelCase& c = GetParam();
    const std::vector<float>& values = SharpenOrvane::kernelValues(c.type);
    ASSERT_EQ(values.size(), static_cast<std::size_t>(c.size * c.size));
    const int radius = c.size / 2;
    EXPECT_EQ(values[radius * c.size + radius], c.centre);
    EXPECT_EQ(values[0], c.corner);
    EXPECT_EQ(values[radius * c.size + radius + 1], c.axis);

    double sum = 0.0;
    for (float v : values)
        sum += v;
    // The tables are given to four decimals (the strong one to float precision).
    EXPECT_NEAR(sum, c.sum, 2e-6);
}

TEST_P(SharpenOrvaneKernelTable, SymmetricUnderMirroringAndTransposition)
{
    const KernelCase& c = GetParam();
    const std::vector<float>& values = SharpenOrvane::kernelValues(c.type);
    const int n = c.size;
    for (int y = 0; y < n; ++y)
        for (int x = 0; x < n; ++x)
        {
            const float v = values[y * n + x];
            EXPECT_EQ(v, values[y * n + (n - 1 - x)]) << "mirror x at " << x << "," << y;
            EXPECT_EQ(v, values[(n - 1 - y) * n + x]) << "mirror y at " << x << "," << y;
            EXPECT_EQ(v, values[x * n + y]) << "transpose at " << x << "," << y;
        }
}

INSTANTIATE_TEST_SUITE_P(
    AllKernels, SharpenOrvaneKernelTable,
    ::testing::Values(KernelCase{SharpenOrvane::KERNEL_5X5, 5, 1.8846f, 0.9998, -0.0314f, 0.25f},
                      KernelCase{SharpenOrvane::KERNEL_7X7, 7, 2.1467f, 1.0003, -0.0079f, -0.0945f},
                      KernelCase{SharpenOrvane::KERNEL_9X9, 9, 1.9695f, 1.0007, -0.002f, 0.094f},
                      KernelCase{SharpenOrvane::KERNEL_11X11, 11, 2.1339f, 0.9999, -0.0005f, -0.0597f},
                      KernelCase{SharpenOrvane::KERNEL_7X7_STRONG, 7, 10.87012f, 0.99999912, -0.01663445f,
                                 -0.4030869f}));

TEST(SharpenOrvaneKernelTable, OffDiagonalWeightsOfTheQuarterTable)
{
    // Row dy = 1 of the 9 x 9 quarter table, read through the full kernel (centre at 4, 4).
    const std::vector<float>& values = SharpenOrvane::kernelValues(SharpenOrvane::KERNEL_9X9);
    const float expected[] = {0.094f, -0.0634f, 0.0629f, 0.0624f, -0.1109f};
    for (int dx = 0; dx <= 4; ++dx)
    {
        EXPECT_EQ(values[5 * 9 + 4 + dx], expected[dx]) << "dx " << dx;
        EXPECT_EQ(values[3 * 9 + 4 - dx], expected[dx]) << "dx " << -dx;
    }
}

TEST(SharpenOrvaneKernelTable, UnknownTypesUseTheStrongKernel)
{
    const std::vector<float>& strong = SharpenOrvane::kernelValues(SharpenOrvane::KERNEL_7X7_STRONG);
    EXPECT_EQ(&SharpenOrvane::kernelValues(static_cast<KernelType>(7)), &strong);
    EXPECT_EQ(&SharpenOrvane::kernelValues(static_cast<KernelType>(-1)), &strong);
}

TEST(SharpenOrvaneKernelType, RegisteredUnderItsFullName)
{
    const QMetaType byName = QMetaType::fromName("image2d::SharpenOrvane::KernelType");
    ASSERT_TRUE(byName.isValid());
    EXPECT_EQ(byName, QMetaType::fromType<KernelType>());
    EXPECT_STREQ(QMetaType::fromType<KernelType>().name(), "image2d::SharpenOrvane::KernelType");
}

} // namespace
