#pragma once

// The laws of random cascades and their expected spectra, as the class RandomModel of the
// compiled module.
#include <pybind11/pybind11.h>

namespace veltrane::python {

void defineRandom(pybind11::module_& module);

} // namespace veltrane::python
