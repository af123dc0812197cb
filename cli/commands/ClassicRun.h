#pragma once

#include <iosfwd>
#include <string>
#include <vector>
#include <veltrane/classic/Module1.h>
#include <veltrane/classic/Outcome.h>

namespace veltrane::cli {

// The two-branch analysis of one field text, or the three-branch analysis of two, on store,
// as the Analyze buttons run them with the user's decimal separator. entr3's messages, which
// have no window to go to here, go to err. throwUnlessCompleted (Outcome.h) turns an outcome
// that did not complete into its error.
classic::AnalysisOutcome analyseTexts(const std::vector<std::string>& texts,
                                      const std::string& separator, std::ostream& err,
                                      classic::Module1& store);

} // namespace veltrane::cli
