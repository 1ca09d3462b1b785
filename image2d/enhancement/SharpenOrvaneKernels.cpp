// What SharpenOrvane sets up once when the library is loaded: its keys, the five constant
// kernel tables and the meta-type registration of its kernel type.
#include "image2d/enhancement/SharpenOrvane.h"

#include <QMetaType>

#include <array>
#include <cstdlib>
#include <initializer_list>

namespace image2d {

const QString SharpenOrvane::FILTER_ID = QStringLiteral("SharpenOrvane");
const QString SharpenOrvane::KERNEL_TYPE = QStringLiteral("kernelType");

namespace {

/// Expands the weights for dy, dx = 0..radius (row-major) into the full
/// (2 radius + 1)^2 kernel: weight(dy, dx) = quarter(|dy|, |dx|).
std::vector<float> expandQuarter(int radius, std::initializer_list<float> quarter)
{
    const int side = radius + 1;
    const int size = 2 * radius + 1;
    const float* q = quarter.begin();
    std::vector<float> values(static_cast<std::size_t>(size) * size);
    for (int dy = -radius; dy <= radius; ++dy)
        for (int dx = -radius; dx <= radius; ++dx)
            values[(dy + radius) * size + (dx + radius)] = q[std::abs(dy) * side + std::abs(dx)];
    return values;
}

// clang-format off
const std::array<std::vector<float>, 5> kKernels = {
    expandQuarter(2, {
        1.8846f,  0.25f,    -0.1883f,
        0.25f,   -0.0005f,  -0.1255f,
       -0.1883f, -0.1255f,  -0.0314f}),
    expandQuarter(3, {
        2.1467f, -0.0945f,  0.188f,  -0.1575f,
       -0.0945f,  0.1174f,  0.0466f, -0.1181f,
        0.188f,   0.0466f, -0.0947f, -0.0472f,
       -0.1575f, -0.1181f, -0.0472f, -0.0079f}),
    expandQuarter(4, {
        1.9695f,  0.094f,  -0.079f,   0.1571f, -0.1386f,
        0.094f,  -0.0634f,  0.0629f,  0.0624f, -0.1109f,
       -0.079f,   0.0629f,  0.0941f, -0.0637f, -0.0554f,
        0.1571f,  0.0624f, -0.0637f, -0.0634f, -0.0158f,
       -0.1386f, -0.1109f, -0.0554f, -0.0158f, -0.002f}),
    expandQuarter(5, {
        2.1339f, -0.0597f,  0.0787f, -0.0694f,  0.1378f, -0.1254f,
       -0.0597f,  0.0688f, -0.0399f,  0.0345f,  0.0685f, -0.1045f,
        0.0787f, -0.0399f, -0.0001f,  0.0984f, -0.0404f, -0.0597f,
       -0.0694f,  0.0345f,  0.0984f, -0.0132f, -0.0648f, -0.0224f,
        0.1378f,  0.0685f, -0.0404f, -0.0648f, -0.0299f, -0.005f,
       -0.1254f, -0.1045f, -0.0597f, -0.0224f, -0.005f,  -0.0005f}),
    expandQuarter(3, {
        10.87012f,    -0.4030869f,  -0.09450351f, -0.3326891f,
        -0.4030869f,  -0.1813735f,  -0.2293469f,  -0.2495168f,
        -0.09450351f, -0.2293469f,  -0.2819019f,  -0.09980673f,
        -0.3326891f,  -0.2495168f,  -0.09980673f, -0.01663445f}),
};
// clang-format on

/// Registers the kernel type with Qt's meta-type system when the library is loaded,
/// so that parameter values convert between the enumeration and integers.
struct KernelTypeRegistration
{
    KernelTypeRegistration()
    {
        using KernelType = SharpenOrvane::KernelType;
        qRegisterMetaType<KernelType>("image2d::SharpenOrvane::KernelType");
        if (!QMetaType::hasRegisteredConverterFunction<KernelType, int>())
            QMetaType::registerConverter<KernelType, int>([](KernelType type) { return static_cast<int>(type); });
        if (!QMetaType::hasRegisteredConverterFunction<int, KernelType>())
            QMetaType::registerConverter<int, KernelType>([](int value) { return static_cast<KernelType>(value); });
    }
};
const KernelTypeRegistration kKernelTypeRegistration;

} // namespace

const std::vector<float>& SharpenOrvane::kernelValues(KernelType kernelType)
{
    switch (kernelType)
    {
    case KERNEL_5X5: return kKernels[0];
    case KERNEL_7X7: return kKernels[1];
    case KERNEL_9X9: return kKernels[2];
    case KERNEL_11X11: return kKernels[3];
    default: return kKernels[4];
    }
}

} // namespace image2d
