#pragma once

#include "Commands.h"
#include "SpectrumOptions.h"

#include <iosfwd>
#include <optional>
#include <string>
#include <vector>
#include <veltrane/classic/Module1.h>
#include <veltrane/exact.h>

namespace veltrane::cli {

// The number of points of an exact spectrum when --points is not given, as many as the
// classic analyses store.
inline constexpr int kDefaultExactPoints = 101;

// "veltrane spectrum --exact B_1 ... B_k [--points N] [--threads N] [--json]" and "--from FILE":
// prints the exact spectrum of the map with these break points, in the classic analyses' CSV
// or JSON. The break points are the options' values, or the numbers in FILE (standard input
// for "-"), read with the user's decimal separator beside ".". The points are shared out over
// the threads; with services.progress a long run shows its progress. With a plot (at most 101
// points) the curves are drawn as an analysis's would be, and nothing is printed unless --csv
// or --json is given. Returns the exit status; throws CommandError for bad usage, bad or
// unreadable break points (2) and run-time errors (3).
int runExact(const SpectrumOptions& options, std::ostream& out, const Services& services);

// The graph data store an analysis would leave with these points: graphs 1 (entropy) and 2
// (dimension) over the same exponents, rounded to singles, graph_n(1) = graph_n(2) = the last
// index and graph_count = 2. The graph window draws the exact spectrum from it. Throws
// std::length_error unless there are 1 to 101 points.
classic::Module1 exactStore(const std::vector<ExactPoint>& points);

} // namespace veltrane::cli
