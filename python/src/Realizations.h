#pragma once

#include <pybind11/pybind11.h>

namespace veltrane::python {

// Realizations of random cascades: one realization's bins, and the partition sums of an
// ensemble of realizations without their bins.
void defineRealizations(pybind11::module_& module);

} // namespace veltrane::python
