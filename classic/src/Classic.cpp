#include <veltrane/classic.h>
#include <veltrane/text.h>

namespace veltrane::classic {

namespace {

// The analysis of texts that spell the values exactly, its outcome as points or as the error
// it stands for.
ClassicSpectrum spectrumOf(const AnalysisOutcome& outcome, const Module1& store) {
    throwUnlessCompleted(outcome);
    return {outcome.breakPoints, outcome.exponents, storedPoints(store), outcome.messages};
}

} // namespace

std::vector<ClassicPoint> storedPoints(const Module1& store) {
    std::vector<ClassicPoint> points;
    for (int j = 0; j <= store.graph_n(1); ++j) {
        points.push_back({store.graph_x(1, j), store.graph_y(1, j), store.graph_y(2, j)});
    }
    return points;
}

ClassicSpectrum twoBranchSpectrum(float c) {
    Module1 store;
    const AnalysisOutcome outcome =
        runTwoBranch(FieldTexts{{Field::C, shortest(c)}}, DecimalTextToSingle(), store);
    return spectrumOf(outcome, store);
}

ClassicSpectrum threeBranchSpectrum(float c1, float c2) {
    Module1 store;
    const AnalysisOutcome outcome =
        runThreeBranch(FieldTexts{{Field::C1, shortest(c1)}, {Field::C2, shortest(c2)}},
                       DecimalTextToSingle(), store);
    return spectrumOf(outcome, store);
}

} // namespace veltrane::classic
