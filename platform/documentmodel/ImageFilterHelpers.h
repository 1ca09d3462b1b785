#pragma once

#include "platform/documentmodel/ImageFilter.h"

namespace dataobject {

/// Which sharpening algorithm the "Sharpen" element runs for a modality. At most one
/// predicate holds for any modality; when none does, plain unsharp masking is used.
class ImageFilterHelpers
{
public:
    /// Band-limited adaptive sharpening for direct intraoral sensors.
    static bool getUseNavrel(ImageFilterModality modality);
    /// Contrast-driven constrained sharpening for phosphor-plate scans, whose noise would
    /// be amplified by a fixed strength.
    static bool getUseConstrainedLocalAlpha(ImageFilterModality modality);
    /// Fixed kernel presets when nothing is known about the image.
    static bool getUseSharpenOrvane(ImageFilterModality modality);
};

} // namespace dataobject
