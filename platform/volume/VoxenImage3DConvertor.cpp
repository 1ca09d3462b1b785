#include "platform/volume/VoxenImage3DConvertor.h"

#include "image2d/framework/Dispatch.h"
#include "image2d/framework/Parallel.h"
#include "image2d/framework/PixelStore.h"

#include <cstring>

std::unique_ptr<VoxenImage3D> VoxenImage3DConvertor::convertToCopy(const VoxenImage3D& volume,
                                                                   image::DataType type, int copyValues)
{
    if (!volume.isValid())
        return nullptr;
    auto copy = std::make_unique<VoxenImage3D>(volume.imageSize(), volume.voxelSize(), type);
    if (!copy->isValid())
        return nullptr;
    if (!copyValues)
        return copy;
    const std::size_t count = volume.getNumVoxels();
    if (type == volume.dataType())
    {
        std::memcpy(copy->dataPtr(), volume.dataPtr(), count * static_cast<std::size_t>(volume.dataTypeSize()));
        copy->editFinished();
        return copy;
    }
    const auto supported = image2d::AllPixelTypes{};
    image2d::dispatchDataType(
        supported, volume.sliceDataType(),
        [&](auto fromTag) {
            using From = typename decltype(fromTag)::type;
            image2d::dispatchDataType(
                supported, copy->sliceDataType(),
                [&](auto toTag) {
                    using To = typename decltype(toTag)::type;
                    const From* in = volume.constData<From>();
                    To* out = copy->data<To>();
                    image2d::parallelFor<std::size_t>(0, count, [&](std::size_t first, std::size_t last) {
                        for (std::size_t i = first; i < last; ++i)
                        {
                            if constexpr (decltype(toTag)::code == Image2D::BINARY)
                                out[i] = static_cast<double>(in[i]) >= 0.5 ? 1 : 0;
                            else
                                out[i] = image2d::store::clampRoundHalfAway<To>(static_cast<double>(in[i]));
                        }
                    }, 1 << 16);
                },
                [] {});
        },
        [] {});
    copy->editFinished();
    return copy;
}
