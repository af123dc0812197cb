#include "AnalysisRun.h"

#include <utility>
#include <veltrane/classic/Checked.h>
#include <veltrane/classic/TwoBranch.h>

namespace veltrane::classic {

namespace {

using namespace checked;

// ln(1/length) from a single, the reciprocal in double, only the logarithm rounded.
float branchExponent(double length) {
    return toSingle(ln(div(1.0, length)));
}

// -(p1 ln p1 + p2 ln p2), the sum rounded to single before it is negated; a weight of
// exactly 1 means entropy 0 without taking a logarithm.
float entropyOf(float p1, float p2, long& logarithms) {
    if (p1 == 1.0F || p2 == 1.0F) {
        return 0.0F;
    }
    logarithms += 2;
    const double sum = add(mul(p1, ln(p1)), mul(p2, ln(p2)));
    return -toSingle(sum);
}

void fillPoints(float c, float lambdaMin, float lambdaMax, Module1& store, long& logarithms) {
    const float delta = toSingle(div(sub(lambdaMax, lambdaMin), 100.0));
    for (std::int16_t i = 0; i <= Module1::kLastPoint; increment(i)) {
        const float lambda = toSingle(add(mul(i, delta), lambdaMin));
        store.graph_x(1, i) = lambda;
        store.graph_x(2, i) = lambda;
        // C = 0.5 is the only single in (0,1) with equal exponents, the only zero divisor.
        const float p1 =
            c == 0.5F ? 0.5F
                      : toSingle(std::fabs(div(sub(lambda, lambdaMax), sub(lambdaMin, lambdaMax))));
        const float p2 = toSingle(sub(1.0, p1));
        const float h = entropyOf(p1, p2, logarithms);
        store.graph_y(1, i) = h;
        store.graph_y(2, i) = toSingle(div(h, lambda));
    }
}

} // namespace

AnalysisOutcome runTwoBranch(const FieldSource& fields, const TextToSingle& toSingle,
                             Module1& store) {
    return detail::runCommitted(store, [&](Module1& scratch, AnalysisOutcome& outcome) {
        const float c = detail::readSingle(fields, Field::C, toSingle);
        if (!(c > 0.0F && c < 1.0F)) {
            detail::reject(outcome, kTwoBranchRangeMessage);
            return;
        }
        const float lambdaA = branchExponent(c);
        const float lambdaB = branchExponent(sub(1.0, c));
        outcome.logarithms += 2;
        float lambdaMin = lambdaA;
        float lambdaMax = lambdaB;
        if (lambdaA > lambdaB) {
            std::swap(lambdaMin, lambdaMax);
        }
        fillPoints(c, lambdaMin, lambdaMax, scratch, outcome.logarithms);
        scratch.graph_n(1) = Module1::kLastPoint;
        scratch.graph_n(2) = Module1::kLastPoint;
        scratch.graph_count = 2;
        outcome.breakPoints = {c};
        outcome.exponents = {lambdaA, lambdaB};
    });
}

} // namespace veltrane::classic
