#pragma once

#include "Module1.h"
#include "Outcome.h"

#include <iosfwd>

namespace veltrane::cli {

// Graphs 1 and 2 of the store as CSV: a header "index,lyapunov,entropy,dimension" and one
// row for each stored point 0..graph_n(1).
void writeCsv(const Module1& store, std::ostream& out);

// The same points as a JSON object, with the analysis's break points and branch exponents.
void writeJson(const Module1& store, const AnalysisOutcome& outcome, std::ostream& out);

} // namespace veltrane::cli
