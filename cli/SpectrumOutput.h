#pragma once

#include "ExactSpectrum.h"
#include "Module1.h"

#include <cstddef>
#include <iosfwd>
#include <vector>

namespace veltrane::cli {

// One point of a spectral diagram as the output writes it: singles from the store, doubles
// from the exact solver.
template <typename T> struct SpectrumPoint {
    std::size_t index;
    T lyapunov;
    T entropy;
    T dimension;
};

// Graphs 1 and 2 of the store, points 0..graph_n(1).
std::vector<SpectrumPoint<float>> storedPoints(const Module1& store);
std::vector<SpectrumPoint<double>> exactPoints(const std::vector<ExactPoint>& points);

// "[v1,v2,...]", each value as the shortest text that reads back to it.
template <typename T> void writeList(const std::vector<T>& values, std::ostream& out);

// A header "index,lyapunov,entropy,dimension" and one row per point.
template <typename T> void writeCsv(const std::vector<SpectrumPoint<T>>& points, std::ostream& out);

// The same points as a JSON object, with the break points and the branch exponents.
template <typename T>
void writeJson(const std::vector<T>& breakPoints, const std::vector<T>& exponents,
               const std::vector<SpectrumPoint<T>>& points, std::ostream& out);

} // namespace veltrane::cli
