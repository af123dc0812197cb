#pragma once

#include <iosfwd>
#include <string>
#include <vector>
#include <veltrane/classic/Module1.h>
#include <veltrane/classic/Outcome.h>

namespace veltrane::cli {

// The two-branch analysis of one field text, or the three-branch analysis of two, on store,
// as the Analyze buttons run them with the user's decimal separator.
classic::AnalysisOutcome analyseTexts(const std::vector<std::string>& texts,
                                      const std::string& separator, std::ostream& err,
                                      classic::Module1& store);

// For an analysis that did not complete: status 2 for a refused value or a text that is not a
// number (or too large for a single), 3 for any other run-time error.
int failureStatus(const classic::AnalysisOutcome& outcome);

// Its message: a refusal as the analysis words it, a run-time error after "veltrane: ".
std::string failureMessage(const classic::AnalysisOutcome& outcome);

} // namespace veltrane::cli
