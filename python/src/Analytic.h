#pragma once

// Maps whose inverse branches are formulas, as the class AnalyticSolver of the compiled module.
#include <pybind11/pybind11.h>

namespace veltrane::python {

void defineAnalytic(pybind11::module_& module);

} // namespace veltrane::python
