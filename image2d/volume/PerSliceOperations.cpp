#include "image2d/volume/PerSliceOperations.h"

#include "image2d/analysis/DistanceTransform.h"
#include "image2d/framework/Log.h"
#include "platform/volume/VoxenImage3DReslicer.h"
#include "platform/volume/VoxenImageBinaryTools.h"

#include <memory>

namespace {

// Copies a 2D result into slice z; a failed slice (no image, or not one SHORT slice) is
// skipped and keeps the zeros the volume was created with.
void storeSlice(VoxenImage3D& volume, int z, const std::shared_ptr<Image2D>& result)
{
    const math::Ivec3 size = volume.imageSize();
    if (!result || !result->isValid() || result->getDataType() != Image2D::SHORT || result->getWidth() != size.x ||
        result->getHeight() != size.y)
        return;
    volume.setAxialSlice(z, result->getConstData<char>());
    volume.editFinished();
}

} // namespace

VoxenImagePerSliceDistanceMap::~VoxenImagePerSliceDistanceMap() = default;

bool VoxenImagePerSliceDistanceMap::execute()
{
    if (!m_input || !m_input->isValid() || m_input->dataType() != image::DataType::BINARY)
    {
        image2d::warning("invalid input image, not BINARY");
        return false;
    }
    auto output = std::make_unique<VoxenImage3D>(m_input->imageSize(), m_input->voxelSize(), image::DataType::SHORT);
    if (!output->isValid())
        return false;
    Image2D slice;
    for (int z = 0; z < m_input->imageSize().z; ++z)
    {
        VoxenImage3DReslicer::loadAxialSlice2D(m_input, z, &slice);
        storeSlice(*output, z, image2d::distanceTransform(slice));
    }
    m_output = output.release();
    return true;
}

VoxenImagePerSliceGrowChamfer::~VoxenImagePerSliceGrowChamfer() = default;

bool VoxenImagePerSliceGrowChamfer::execute()
{
    if (!m_limit || !m_zone || !m_limit->isValid() || !m_zone->isValid())
    {
        image2d::warning("VoxenImagePerSliceGrowChamfer: input not complete or invalid");
        return false;
    }
    const math::Ivec3 size = m_limit->imageSize();
    if (!(size == m_zone->imageSize()))
    {
        image2d::warning("SoftTissueSegmentation : limit image and zone image do not have equal dimensions.");
        return false;
    }
    // Grown distances per slice, then thresholded into the binary output.
    VoxenImage3D work(size, m_limit->voxelSize(), image::DataType::SHORT);
    for (int z = 0; z < size.z && work.isValid(); ++z)
    {
        Image2D limitSlice, zoneSlice;
        VoxenImage3DReslicer::loadAxialSlice2D(m_limit, z, &limitSlice);
        VoxenImage3DReslicer::loadAxialSlice2D(m_zone, z, &zoneSlice);
        storeSlice(work, z, image2d::growChamfer(limitSlice, zoneSlice, m_penetrationDepth));
    }
    if (!work.isValid())
        return false;
    auto output = std::make_unique<VoxenImage3D>(size, work.voxelSize(), image::DataType::BINARY);
    VoxenImageBinaryTools tools;
    tools.setInput(&work);
    tools.setOutput(output.get());
    if (!tools.thresholdFilter(0, true))
        return false;
    m_output = output.release();
    return true;
}
