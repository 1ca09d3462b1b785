#pragma once

#include "ImageIO.h"
#include "Settings.h"

#include "platform/pixeldata/Image2D.h"

namespace tool {

/// Layout of the synthetic radiograph.
enum class PhantomLayout
{
    Intraoral, ///< three posterior teeth on a small sensor, 1440 x 960 at 0.025 mm
    Panoramic, ///< both arches, jaws and spine shadow, 2800 x 1400 at 0.1 mm
    Ceph       ///< lateral skull with face, teeth and spine, 2000 x 2400 at 0.12 mm
};

/// Phantom layout that fits the media type.
PhantomLayout phantomLayoutFor(Media media);

/// A deterministic synthetic dental radiograph: teeth with enamel, dentine and pulp,
/// roots in trabecular bone, soft tissue, a collimator edge and detector noise. 12-bit
/// values (brighter is denser, as displayed) in an UNSIGNED_SHORT image with its pixel size.
Image2D makePhantom(PhantomLayout layout);

/// The phantom of the media as a loaded image (12 bits stored, pixel size known).
bool loadPhantom(Media media, LoadedImage& out, QString& error);

} // namespace tool
