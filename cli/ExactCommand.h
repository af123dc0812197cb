#pragma once

#include "ExactSpectrum.h"
#include "Module1.h"
#include "SpectrumOptions.h"

#include <iosfwd>
#include <string>
#include <vector>

namespace veltrane::cli {

// The number of points of an exact spectrum when --points is not given, as many as the
// classic analyses store.
inline constexpr int kDefaultExactPoints = 101;

// "veltrane spectrum --exact B_1 ... B_k [--points N] [--json]" and "--from FILE": prints the
// exact spectrum of the map with these break points, in the classic analyses' CSV or JSON.
// The break points are the options' values, or the numbers in FILE, or in `in` when FILE is
// "-". decimalSeparator is the user's locale's, accepted beside ".". With --plot FILE (at most
// 101 points) the curves are drawn into the graph window's picture as an analysis's would be,
// and nothing is printed unless --csv or --json is given. Returns the exit status: 2 for bad
// usage, bad or unreadable break points or a picture that cannot be written, 3 for a run-time
// error.
int runExact(const SpectrumOptions& options, const std::string& decimalSeparator, std::istream& in,
             std::ostream& out, std::ostream& err);

// The graph data store an analysis would leave with these points: graphs 1 (entropy) and 2
// (dimension) over the same exponents, rounded to singles, graph_n(1) = graph_n(2) = the last
// index and graph_count = 2. The graph window draws the exact spectrum from it. Throws
// std::length_error unless there are 1 to 101 points.
Module1 exactStore(const std::vector<ExactPoint>& points);

// The same, reading "--from -" from the process's standard input.
int runExact(const SpectrumOptions& options, const std::string& decimalSeparator, std::ostream& out,
             std::ostream& err);

} // namespace veltrane::cli
