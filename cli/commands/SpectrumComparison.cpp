#include "SpectrumComparison.h"

#include <cmath>
#include <ostream>
#include <veltrane/errors.h>
#include <veltrane/exact.h>
#include <veltrane/maps.h>

namespace veltrane::cli {
using namespace veltrane::classic;

namespace {

void keepLarger(std::optional<LargestDifference>& largest, double value, int index) {
    if (!largest || std::fabs(value) > std::fabs(largest->value)) {
        largest = LargestDifference{value, index};
    }
}

} // namespace

Comparison compareWithExact(const Module1& store, const AnalysisOutcome& outcome) {
    Comparison comparison;
    comparison.breakPoints = outcome.breakPoints;
    comparison.exponents = outcome.exponents;
    const std::vector<double> breakPoints(outcome.breakPoints.begin(), outcome.breakPoints.end());
    comparison.exactExponents = branchExponents(breakPoints);
    const ExactSolver solver(comparison.exactExponents);
    for (int j = 0; j <= store.graph_n(1); ++j) {
        ComparedPoint p;
        p.index = j;
        p.lyapunov = store.graph_x(1, j);
        p.entropy = store.graph_y(1, j);
        p.dimension = store.graph_y(2, j);
        const ExactPoint exact = solver.atLyapunov(p.lyapunov);
        p.exactEntropy = exact.entropy;
        // The dimension at the stored λ, also where the entropy was taken at an end.
        p.exactDimension = exact.entropy / static_cast<double>(p.lyapunov);
        keepLarger(comparison.largestEntropy, p.entropyDifference(), j);
        keepLarger(comparison.largestDimension, p.dimensionDifference(), j);
        comparison.points.push_back(p);
    }
    return comparison;
}

void printComparison(const Module1& store, const AnalysisOutcome& outcome, bool json,
                     std::ostream& out) {
    const Comparison comparison = compareWithExact(store, outcome);
    if (json) {
        writeComparisonJson(comparison, out);
    } else {
        writeComparisonCsv(comparison, out);
    }
}

} // namespace veltrane::cli
