#include "platform/documentmodel/CTData.h"

#include <utility>

ImageVolume::ImageVolume(std::shared_ptr<VoxenImage3D> image) : m_image(std::move(image))
{
}

CTData::CTData(std::shared_ptr<ImageVolume> volume) : m_volume(std::move(volume))
{
}

utility::Optional<data::LevelWindow> CTData::getAutoLevelWindow() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_autoLevelWindow;
}

void CTData::setAutoLevelWindow(const utility::Optional<data::LevelWindow>& levelWindow)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_autoLevelWindow = levelWindow;
}
