#pragma once

#include "ComparisonOutput.h"

#include <iosfwd>
#include <veltrane/classic/Module1.h>
#include <veltrane/classic/Outcome.h>

namespace veltrane::cli {

// Every point a completed classic analysis stored (graphs 1 and 2, indices 0 to graph_n(1))
// beside the exact entropy and dimension at the same λ, for the map with the break points the
// analysis read (its singles, widened exactly to double). The differences are exact minus
// stored. A stored λ that rounding put just outside the exact range is taken at the nearer
// end.
Comparison compareWithExact(const classic::Module1& store, const classic::AnalysisOutcome& outcome);

// Prints compareWithExact as CSV, or JSON when json is set. Throws the exact solver's
// RuntimeError.
void printComparison(const classic::Module1& store, const classic::AnalysisOutcome& outcome,
                     bool json, std::ostream& out);

} // namespace veltrane::cli
