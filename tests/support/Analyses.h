#pragma once

#include <gtest/gtest.h>
#include <string>
#include <veltrane/classic/ThreeBranch.h>
#include <veltrane/classic/TwoBranch.h>

namespace veltrane::test {

// The analysis of the field texts written "C" or "C1|C2", as the Analyze buttons run it with
// the locale's decimal separator.
inline classic::AnalysisOutcome analyse(const std::string& input, classic::Module1& store,
                                        const std::string& separator = ".") {
    const classic::DecimalTextToSingle toSingle(separator);
    const std::size_t bar = input.find('|');
    if (bar == std::string::npos) {
        return runTwoBranch(classic::FieldTexts{{classic::Field::C, input}}, toSingle, store);
    }
    classic::AnalysisOutcome outcome =
        runThreeBranch(classic::FieldTexts{{classic::Field::C1, input.substr(0, bar)},
                                           {classic::Field::C2, input.substr(bar + 1)}},
                       toSingle, store);
    EXPECT_TRUE(outcome.messages.empty()) << "entr3's message, which the analyses never reach";
    return outcome;
}

} // namespace veltrane::test
