#pragma once

#include "Settings.h"

#include <QStringList>

#include <vector>

namespace tool {

/// Named filter settings. "default" is a gentle per-media choice meant for reading the
/// image clinically; "none" is level/window alone.
QStringList presetNames();
bool isPreset(const QString& name);

/// The filter elements of a preset for the media, in the order they are listed.
std::vector<FilterElement> presetFilters(const QString& name, Media media);

/// Adds the preset's elements to `settings` for kinds it does not hold yet, so a settings
/// file and the filter options given beside a preset override it element by element.
void applyPreset(const QString& name, EnhanceSettings& settings);

} // namespace tool
