#pragma once

// One registration function per family of the library, and the tool's parts.

#include <pybind11/pybind11.h>

#include <string>

namespace tool {
struct EnhanceSettings;
}

namespace bindings {

namespace py = pybind11;

void bindPointops(py::module_& m);
void bindFiltering(py::module_& m);
void bindEnhancement(py::module_& m);
void bindAnalysis(py::module_& m);
void bindSegmentation(py::module_& m);
void bindToolbox(py::module_& m);
void bindVolume(py::module_& m);
void bindTool(py::module_& m);

/// The tool's display settings from their JSON form (its settings file) and a preset name
/// (empty: none), with the tool's checks; ValueError with its reason.
tool::EnhanceSettings settingsOf(const std::string& json, const std::string& preset);

} // namespace bindings
