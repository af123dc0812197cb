#pragma once

#include "Fields.h"
#include "Outcome.h"
#include "TextToSingle.h"
#include "ThreeBranch.h"
#include "TwoBranch.h"

#include <string>
#include <vector>

namespace veltrane::test {

// A message box that records what it was asked to show.
class RecordingMessages : public MessageSink {
public:
    void showMessage(const std::string& text) override { shown.push_back(text); }
    std::vector<std::string> shown;
};

inline AnalysisOutcome twoBranch(const std::string& c, Module1& store) {
    return runTwoBranch(FieldTexts{{Field::C, c}}, DecimalTextToSingle(), store);
}

inline AnalysisOutcome threeBranch(const std::string& c1, const std::string& c2, Module1& store,
                                   MessageSink* messages = nullptr) {
    RecordingMessages unused;
    return runThreeBranch(FieldTexts{{Field::C1, c1}, {Field::C2, c2}}, DecimalTextToSingle(),
                          messages != nullptr ? *messages : unused, store);
}

// A store whose every element holds a distinct recognisable value, so that any write shows.
inline Module1 markedStore() {
    Module1 store;
    for (int k = 0; k <= Module1::kLastGraph; ++k) {
        for (int j = 0; j <= Module1::kLastPoint; ++j) {
            store.graph_x(k, j) = static_cast<float>(1000 * k + j) + 0.25F;
            store.graph_y(k, j) = -static_cast<float>(1000 * k + j) - 0.5F;
        }
        store.graph_n(k) = static_cast<std::int16_t>(7 + k);
    }
    store.graph_count = 1;
    return store;
}

} // namespace veltrane::test
