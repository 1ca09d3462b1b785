#include "Presets.h"

namespace tool {

namespace {

// Chosen on the phantoms by the numbers the tool test checks (clipping, noise in flat
// regions, dark halo next to edges) and by looking at the pictures: equalization light
// enough to keep the order of densities, sharpening that shows enamel and lamina dura
// without a dark rim, denoise (which the chain runs after sharpening) that takes the
// grain back down.
struct PresetRow
{
    Media media;
    float equalize, sharpen, denoise;
};

const PresetRow defaults[] = {
    {Media::Intraoral, 0.2f, 0.3f, 0.8f},
    {Media::Plate, 0.2f, 0.3f, 0.8f},
    {Media::Panoramic, 0.25f, 0.5f, 0.6f},
    {Media::Ceph, 0.25f, 0.5f, 0.6f},
};

} // namespace

QStringList presetNames()
{
    return {QStringLiteral("default"), QStringLiteral("none")};
}

bool isPreset(const QString& name)
{
    return presetNames().contains(name.trimmed().toLower());
}

std::vector<FilterElement> presetFilters(const QString& name, Media media)
{
    if (name.trimmed().toLower() != QLatin1String("default"))
        return {};
    for (const PresetRow& row : defaults)
        if (row.media == media)
            return {FilterElement{FilterKind::Equalize, row.equalize}, FilterElement{FilterKind::Sharpen, row.sharpen},
                    FilterElement{FilterKind::Denoise, row.denoise}};
    return {};
}

void applyPreset(const QString& name, EnhanceSettings& settings)
{
    for (const FilterElement& element : presetFilters(name, settings.media))
    {
        bool present = false;
        for (const FilterElement& f : settings.filters)
            present = present || f.kind == element.kind;
        if (!present)
            settings.filters.push_back(element);
    }
}

} // namespace tool
