// libFuzzer target: arbitrary bytes as the field texts of both analyses. The input is split
// at newlines into the texts of C, C1 and C2. Every run must end in Completed, Rejected or a
// named run-time error; a completed run leaves a store that keeps its invariants, anything
// else leaves the store exactly as it was, points included.
#include "Fields.h"
#include "TextToSingle.h"
#include "ThreeBranch.h"
#include "TwoBranch.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

using namespace veltrane;

class NoMessages : public MessageSink {
public:
    void showMessage(const std::string&) override { std::abort(); } // never reachable
};

void require(bool condition) {
    if (!condition) {
        std::abort();
    }
}

void checkCompleted(const Module1& before, const Module1& after) {
    require(after.graph_count == 2);
    require(after.graph_n(1) == after.graph_n(2));
    const int last = after.graph_n(1);
    require(last >= -1 && last <= 100);
    for (int j = 0; j <= last; ++j) {
        require(after.graph_x(1, j) == after.graph_x(2, j));
        require(std::isfinite(after.graph_y(1, j)) && std::isfinite(after.graph_y(2, j)));
        require(j == 0 || after.graph_x(1, j) >= after.graph_x(1, j - 1));
    }
    require(after.graph_n(3) == before.graph_n(3));
}

void checkOutcome(const AnalysisOutcome& outcome, const Module1& before, const Module1& after) {
    switch (outcome.status) {
    case Status::Completed:
        checkCompleted(before, after);
        break;
    case Status::Rejected:
        require(after.sameBits(before) && !outcome.message.empty());
        break;
    case Status::Failed:
        require(after.sameBits(before) && outcome.error.has_value());
        break;
    }
}

std::vector<std::string> splitLines(const std::uint8_t* data, std::size_t size) {
    std::vector<std::string> texts(3);
    std::size_t field = 0;
    for (std::size_t i = 0; i < size; ++i) {
        if (data[i] == '\n' && field < 2) {
            ++field;
        } else {
            texts[field] += static_cast<char>(data[i]);
        }
    }
    return texts;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::vector<std::string> texts = splitLines(data, size);
    static Module1 store;
    const DecimalTextToSingle toSingle(",");
    NoMessages messages;

    Module1 before = store;
    AnalysisOutcome outcome = runTwoBranch(FieldTexts{{Field::C, texts[0]}}, toSingle, store);
    checkOutcome(outcome, before, store);

    before = store;
    outcome = runThreeBranch(FieldTexts{{Field::C1, texts[1]}, {Field::C2, texts[2]}}, toSingle,
                             messages, store);
    checkOutcome(outcome, before, store);
    return 0;
}
