#pragma once

#include "ThreeBranch.h"
#include "TwoBranch.h"

#include <gtest/gtest.h>
#include <string>

namespace veltrane::test {

// entr3's message, which the analyses never reach.
class NoMessages : public MessageSink {
public:
    void showMessage(const std::string& text) override { ADD_FAILURE() << text; }
};

// The analysis of the field texts written "C" or "C1|C2", as the Analyze buttons run it with
// the locale's decimal separator.
inline AnalysisOutcome analyse(const std::string& input, Module1& store,
                               const std::string& separator = ".") {
    const DecimalTextToSingle toSingle(separator);
    const std::size_t bar = input.find('|');
    if (bar == std::string::npos) {
        return runTwoBranch(FieldTexts{{Field::C, input}}, toSingle, store);
    }
    NoMessages messages;
    return runThreeBranch(
        FieldTexts{{Field::C1, input.substr(0, bar)}, {Field::C2, input.substr(bar + 1)}}, toSingle,
        messages, store);
}

} // namespace veltrane::test
