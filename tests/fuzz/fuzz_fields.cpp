// libFuzzer target: arbitrary bytes as the field texts of both analyses, split at the first
// two newlines into C, C1 and C2. A completed run leaves a store that keeps its invariants;
// any other end leaves the store exactly as it was.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <veltrane/classic/ThreeBranch.h>
#include <veltrane/classic/TwoBranch.h>

using namespace veltrane::classic;

namespace {

using namespace veltrane;

void check(bool condition) {
    if (!condition) {
        std::abort();
    }
}

void checkOutcome(const AnalysisOutcome& outcome, const Module1& before, const Module1& after) {
    if (outcome.status != Status::Completed) {
        check(after.sameBits(before) && !outcome.message.empty());
        return;
    }
    const int last = after.graph_n(1);
    check(after.graph_count == 2 && last == after.graph_n(2) && last >= -1 && last <= 100);
    for (int j = 0; j <= last; ++j) {
        check(after.graph_x(1, j) == after.graph_x(2, j) && std::isfinite(after.graph_y(1, j)) &&
              std::isfinite(after.graph_y(2, j)));
        check(j == 0 || after.graph_x(1, j) >= after.graph_x(1, j - 1));
    }
    check(after.graph_n(3) == before.graph_n(3));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string texts[3];
    std::size_t field = 0;
    for (std::size_t i = 0; i < size; ++i) {
        if (data[i] == '\n' && field < 2) {
            ++field;
        } else {
            texts[field] += static_cast<char>(data[i]);
        }
    }
    static Module1 store;
    const DecimalTextToSingle toSingle(",");
    Module1 before = store;
    checkOutcome(runTwoBranch(FieldTexts{{Field::C, texts[0]}}, toSingle, store), before, store);
    before = store;
    const AnalysisOutcome three =
        runThreeBranch(FieldTexts{{Field::C1, texts[1]}, {Field::C2, texts[2]}}, toSingle, store);
    check(three.messages.empty()); // entr3's guard is never reached
    checkOutcome(three, before, store);
    return 0;
}
