#pragma once

#include "SpectrumOptions.h"

#include <iosfwd>
#include <string>

namespace veltrane::cli {

// The number of points of an exact spectrum when --points is not given, as many as the
// classic analyses store.
inline constexpr int kDefaultExactPoints = 101;

// "veltrane spectrum --exact B_1 ... B_k [--points N] [--json]" and "--from FILE": prints the
// exact spectrum of the map with these break points, in the classic analyses' CSV or JSON.
// The break points are the options' values, or the numbers in FILE, or in `in` when FILE is
// "-". decimalSeparator is the user's locale's, accepted beside ".". Returns the exit status:
// 2 for bad usage, bad or unreadable break points, 3 for a run-time error.
int runExact(const SpectrumOptions& options, const std::string& decimalSeparator, std::istream& in,
             std::ostream& out, std::ostream& err);

// The same, reading "--from -" from the process's standard input.
int runExact(const SpectrumOptions& options, const std::string& decimalSeparator, std::ostream& out,
             std::ostream& err);

} // namespace veltrane::cli
