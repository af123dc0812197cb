#pragma once

// The exact spectral diagram as the commands that compute one (spectrum --exact, markov) print
// or draw it.
#include "Commands.h"

#include <cstddef>
#include <functional>
#include <iosfwd>
#include <optional>
#include <vector>
#include <veltrane/classic/Module1.h>
#include <veltrane/exact.h>

namespace veltrane::cli {

// What the words asked for: the number of points, JSON or CSV, a picture.
struct SpectrumRequest {
    std::size_t points = 0;
    bool json = false;
    bool csv = false; // CSV also with a picture
    std::optional<PlotRequest> plot;
};

// Solves the request's points, handing them to the sink in order.
using SpectrumSolve = std::function<void(const PointSink<ExactPoint>&)>;

// The map's spectrum, with its break points and branch exponents in JSON. With a picture (at
// most 101 points) the points are all solved and the picture drawn first, so that nothing is
// printed when it cannot be written, then JSON or CSV only if asked for. Otherwise CSV is
// written as the points are solved, so that memory does not grow with their number, and JSON
// held until it is whole, as a document cut short is no document.
void writeExactSpectrum(const std::vector<double>& breakPoints,
                        const std::vector<double>& exponents, const SpectrumRequest& request,
                        const SpectrumSolve& solve, std::ostream& out, const Services& services);

// The graph data store an analysis would leave with these points: graphs 1 (entropy) and 2
// (dimension) over the same exponents, rounded to singles, graph_n(1) = graph_n(2) = the last
// index and graph_count = 2. The graph window draws the exact spectrum from it. Throws
// std::length_error unless there are 1 to 101 points.
classic::Module1 exactStore(const std::vector<ExactPoint>& points);

} // namespace veltrane::cli
