#include "support/TestVolumes.h"

#include "platform/pixeldata/PixelTypes.h"

#include <random>
#include <type_traits>

namespace testing_support {

VoxenImage3D makeVolume(const math::Ivec3& size, image::DataType type,
                        const std::function<double(int, int, int)>& value, const QVector3D& voxelSize)
{
    VoxenImage3D volume(size, voxelSize, type);
    pixeldata::visitDataType(volume.sliceDataType(), [&](auto tag) {
        using T = typename decltype(tag)::type;
        T* p = volume.data<T>();
        for (int z = 0; z < size.z; ++z)
            for (int y = 0; y < size.y; ++y)
                for (int x = 0; x < size.x; ++x)
                    *p++ = static_cast<T>(value(x, y, z));
    });
    volume.editFinished();
    return volume;
}

VoxenImage3D randomVolume(const math::Ivec3& size, image::DataType type, std::uint32_t seed, double lo, double hi)
{
    std::mt19937 rng(seed);
    const bool integral = type != image::DataType::FLOAT;
    std::uniform_real_distribution<double> real(lo, hi);
    std::uniform_int_distribution<long long> whole(static_cast<long long>(lo), static_cast<long long>(hi));
    return makeVolume(size, type, [&](int, int, int) { return integral ? double(whole(rng)) : real(rng); });
}

VoxenImage3D probeVolume(const math::Ivec3& size)
{
    return makeVolume(size, image::DataType::FLOAT, [](int x, int y, int z) { return probeValue(x, y, z); });
}

double voxelAt(const VoxenImage3D& volume, int x, int y, int z)
{
    double v = 0.0;
    const math::Ivec3 size = volume.imageSize();
    const std::size_t i = (static_cast<std::size_t>(z) * size.y + y) * size.x + x;
    pixeldata::visitDataType(volume.sliceDataType(), [&](auto tag) {
        v = static_cast<double>(volume.constData<typename decltype(tag)::type>()[i]);
    });
    return v;
}

} // namespace testing_support
