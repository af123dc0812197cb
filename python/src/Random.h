#pragma once

// The laws of random cascades and their expected spectra, as the class RandomModel of the
// compiled module.
#include <pybind11/pybind11.h>
#include <utility>
#include <veltrane/random.h>

namespace veltrane::python {

// A law with its expected spectrum, made once: the spectrum's calls are what Python asks most.
// The class RandomModel of the compiled module; the realizations take its law.
struct BoundModel {
    RandomModel model;
    RandomSpectrum spectrum;
    explicit BoundModel(RandomModel m) : model(std::move(m)), spectrum(model) {}
};

void defineRandom(pybind11::module_& module);

} // namespace veltrane::python
