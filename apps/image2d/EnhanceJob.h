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
/// for the media type, padding left out), the filter set built from the settings, resize
/// and transform. False with a one-line reason, naming the failing step, when the image
/// cannot be processed.
bool runEnhance(const LoadedImage& input, const EnhanceSettings& settings, EnhanceOutcome& out, QString& error,
                const std::atomic<bool>& cancel);

/// Automatic level and window for the media type, from the pixels that `padding` (one byte
/// per pixel, may be empty) does not mark; nullopt when the image gives none.
std::optional<std::pair<double, double>> automaticLevelWindow(const Image2D& image, Media media,
                                                              const QByteArray& padding = {});
/// The library's display gamma for the image seen through the given level/window.
std::optional<float> automaticGamma(const Image2D& image, double level, double window);

} // namespace tool
