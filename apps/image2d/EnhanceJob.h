#pragma once

#include "ImageIO.h"
#include "Settings.h"

#include <atomic>
#include <optional>

namespace tool {

/// What the display road made of one image.
struct EnhanceOutcome
{
    Image2D display;           ///< level/windowed and filtered, spanning its pixel type's range
    double level = 0.0;
    double window = 0.0;
    QString levelWindowSource; ///< "given", "from file" or "automatic"
    QStringList notes;
};

/// Runs the display road on one image: level/window (given, from the file or automatic
/// for the media type), the filter set built from the settings, resize and transform.
/// False with a one-line reason when the image cannot be processed.
bool runEnhance(const LoadedImage& input, const EnhanceSettings& settings, EnhanceOutcome& out, QString& error,
                const std::atomic<bool>& cancel);

/// Automatic level and window for the media type; nullopt when the image gives none.
std::optional<std::pair<double, double>> automaticLevelWindow(const Image2D& image, Media media);

} // namespace tool
