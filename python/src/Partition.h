#pragma once

#include <pybind11/pybind11.h>

namespace veltrane::python {

// The partition sums: the whole result on this machine, and the blocks' scaled sums and their
// fold in order for the Dask arrays, whose workers sum the blocks of their chunks.
void definePartition(pybind11::module_& module);

} // namespace veltrane::python
