#pragma once

// One registration function per family of the library, and the tool's parts.

#include <pybind11/pybind11.h>

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

} // namespace bindings
