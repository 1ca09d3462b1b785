#pragma once

#include "platform/pixeldata/LevelWindow.h"
#include "platform/pixeldata/VoxenImage3D.h"
#include "platform/utility/Optional.h"

#include <memory>
#include <mutex>

/// The volume of a CT document (document-model library); shares ownership of it.
class ImageVolume
{
public:
    explicit ImageVolume(std::shared_ptr<VoxenImage3D> image = nullptr);

    /// The volume, or null when the document has none.
    VoxenImage3D* getImage() const { return m_image.get(); }
    void setImage(std::shared_ptr<VoxenImage3D> image) { m_image = std::move(image); }

private:
    std::shared_ptr<VoxenImage3D> m_image;
};

/// A CT document: its image volume and the automatic level and window once computed.
/// The level/window accessors lock, so readers on several threads see a whole value.
class CTData
{
public:
    explicit CTData(std::shared_ptr<ImageVolume> volume = nullptr);

    ImageVolume* getImageVolume() const { return m_volume.get(); }
    void setImageVolume(std::shared_ptr<ImageVolume> volume) { m_volume = std::move(volume); }

    /// Level, then window (ints); empty until set.
    utility::Optional<data::LevelWindow> getAutoLevelWindow() const;
    void setAutoLevelWindow(const utility::Optional<data::LevelWindow>& levelWindow);

private:
    std::shared_ptr<ImageVolume> m_volume;
    mutable std::mutex m_mutex;
    utility::Optional<data::LevelWindow> m_autoLevelWindow;
};
