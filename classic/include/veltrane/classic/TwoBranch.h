#pragma once

#include <veltrane/classic/Module1.h>
#include <veltrane/classic/Outcome.h>
#include <veltrane/classic/TextToSingle.h>

namespace veltrane::classic {

// The fixed rejection text of the two-branch analysis.
inline constexpr const char* kTwoBranchRangeMessage = "C must be >0 and <1";

// The two-branch analysis: reads C from the field C, rejects it unless 0 < C < 1, and fills
// graphs 1 (entropy) and 2 (fractal dimension) of the store with 101 points over the
// Lyapunov exponents from the smaller to the larger branch exponent, then graph_n(1),
// graph_n(2) = 100 and graph_count = 2. Nothing in the store changes unless it completes.
AnalysisOutcome runTwoBranch(const FieldSource& fields, const TextToSingle& toSingle,
                             Module1& store);

} // namespace veltrane::classic
