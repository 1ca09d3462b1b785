#include "platform/documentmodel/MediaAutoContrastSettings.h"

namespace {

struct Setting
{
    float lower;
    float upper;
    int lowBinsToDiscard;
};

Setting settingFor(MediaType type)
{
    switch (type)
    {
    // Sensors and plates: a small field with few outliers (a burned-out edge, dead pixels).
    case MediaType::IntraoralSensor: return {0.005f, 0.995f, 0};
    // Plate scans carry a black border outside the plate; its bin would pull the window down.
    case MediaType::IntraoralPhosphorPlate: return {0.005f, 0.995f, 1};
    // Extraoral images have large direct-exposure areas at one end of the histogram.
    case MediaType::Panoramic: return {0.01f, 0.995f, 0};
    case MediaType::Cephalometric: return {0.01f, 0.99f, 0};
    // Colour photographs are shown as taken.
    case MediaType::Photograph: return {0.0f, 1.0f, 0};
    case MediaType::GeneratedPanoramic:
    case MediaType::GeneratedCephalometric: return {0.01f, 0.999f, 0};
    // CT slices: the padding value outside the scan cylinder fills the lowest bin; the top
    // keeps metal and enamel inside the window only when they are more than 0.2 % of a slice.
    case MediaType::CtVolume: return {0.02f, 0.998f, 1};
    case MediaType::Unknown: break;
    }
    return {0.01f, 0.99f, 0};
}

} // namespace

float MediaAutoContrastSettings::getLowerFraction(MediaType type)
{
    return settingFor(type).lower;
}

float MediaAutoContrastSettings::getUpperFraction(MediaType type)
{
    return settingFor(type).upper;
}

int MediaAutoContrastSettings::getLowBinsToDiscard(MediaType type)
{
    return settingFor(type).lowBinsToDiscard;
}
