#include "platform/volume/VoxenImageBinaryTools.h"

#include "image2d/framework/Dispatch.h"
#include "image2d/framework/Parallel.h"

#include <cstdint>

bool VoxenImageBinaryTools::thresholdFilter(int threshold, bool above)
{
    if (!m_input || !m_output || !m_input->isValid() || !m_output->isValid() ||
        m_output->dataType() != image::DataType::BINARY || !(m_input->imageSize() == m_output->imageSize()))
        return false;
    const std::size_t count = m_input->getNumVoxels();
    const bool done = image2d::dispatchDataType(
        image2d::AllPixelTypes{}, m_input->sliceDataType(),
        [&](auto tag) {
            using T = typename decltype(tag)::type;
            const T* in = m_input->constData<T>();
            std::uint8_t* out = m_output->data<std::uint8_t>();
            // Compared in double: exact for every element type and threshold.
            const double t = threshold;
            image2d::parallelFor<std::size_t>(0, count, [&](std::size_t first, std::size_t last) {
                for (std::size_t i = first; i < last; ++i)
                    out[i] = (static_cast<double>(in[i]) > t) == above ? 1 : 0;
            }, 1 << 16);
            return true;
        },
        [] {});
    m_output->editFinished();
    return done;
}
