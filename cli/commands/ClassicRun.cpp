#include "ClassicRun.h"

#include <ostream>
#include <veltrane/classic/ThreeBranch.h>
#include <veltrane/classic/TwoBranch.h>

namespace veltrane::cli {
using namespace veltrane::classic;

AnalysisOutcome analyseTexts(const std::vector<std::string>& texts, const std::string& separator,
                             std::ostream& err, Module1& store) {
    const DecimalTextToSingle toSingle(separator);
    if (texts.size() == 1) {
        return runTwoBranch(FieldTexts{{Field::C, texts[0]}}, toSingle, store);
    }
    AnalysisOutcome outcome =
        runThreeBranch(FieldTexts{{Field::C1, texts[0]}, {Field::C2, texts[1]}}, toSingle, store);
    // entr3's guard messages have no window to go to here.
    for (const std::string& message : outcome.messages) {
        err << message << '\n';
    }
    return outcome;
}

} // namespace veltrane::cli
