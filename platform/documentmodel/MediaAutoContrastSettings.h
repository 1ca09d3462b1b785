#pragma once

#include "platform/documentmodel/MediaType.h"

/// Percentile window of the automatic level/window per media type: the fraction of pixels
/// left below the window, the fraction at or below its top, and whether the lowest
/// histogram bin (padding, unexposed border) is ignored.
class MediaAutoContrastSettings
{
public:
    static float getLowerFraction(MediaType type);
    static float getUpperFraction(MediaType type);
    static int getLowBinsToDiscard(MediaType type);
};
