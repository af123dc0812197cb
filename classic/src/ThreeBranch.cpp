#include "AnalysisRun.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <utility>
#include <veltrane/classic/Checked.h>
#include <veltrane/classic/ThreeBranch.h>

namespace veltrane::classic {

namespace {

using namespace checked;

constexpr float kWeightStep = 0.01F;   // the single nearest 0.01
constexpr double kInfeasible = -100.0; // entr3's marker for a weight outside [0, 1]
constexpr std::int16_t kBranches = 3;
constexpr std::int16_t kLastStep = 100;

float branchExponent(double length) {
    return toSingle(ln(div(1.0, std::fabs(length))));
}

void storePoint(Module1& store, std::int16_t k, float l, float entropy) {
    store.graph_y(1, k) = entropy;
    store.graph_y(2, k) = toSingle(div(store.graph_y(1, k), l));
    store.graph_x(1, k) = l;
    store.graph_x(2, k) = l;
}

// All three exponents equal: weights 1/3 each, one point at l = ln 3 with entropy ln 3.
void storeEqualExponents(Module1& store) {
    const float l = toSingle(ln(3.0));
    storePoint(store, 0, l, toSingle(ln(3.0)));
    store.graph_n(1) = 0;
    store.graph_n(2) = 0;
    store.graph_count = 2;
}

// The trial values of the third weight: a(3) = 0, then a(3) + 0.01 while a(3) <= 1, where
// 0.01 is the single nearest 0.01 and each sum is rounded to single. The sum of two singles
// below 2 is exact in double and then rounded once, which is what single addition does.
constexpr std::size_t kTrials = 101;
constexpr std::array<float, kTrials> trialGrid() {
    std::array<float, kTrials> grid{};
    std::size_t count = 0;
    for (float a3 = 0.0F; a3 <= 1.0F; a3 += kWeightStep) {
        grid[count++] = a3; // more than kTrials values would not compile
    }
    return grid;
}
constexpr std::array<float, kTrials> kTrialGrid = trialGrid();
static_assert(kTrialGrid.back() == 0.99999934F && kTrialGrid.back() + kWeightStep > 1.0F,
              "accumulating 0.01 in single gives 101 trials, the last 0.99999934");

// Adds a(i) ln a(i) of one weight to sum; false for a weight outside [0, 1], which makes the
// whole vector infeasible. A weight of 0 adds nothing. The products of weights in (0, 1] with
// their logarithms cannot fault.
[[gnu::always_inline]] inline bool addEntropyTerm(double weight, double& sum,
                                                  Entr3Context& context) {
    if (!(weight >= 0.0 && weight <= 1.0)) {
        return false;
    }
    if (weight > 0.0) {
        ++context.logarithms;
        sum += weight * std::log(weight);
    }
    return true;
}

// -(sum of a(i) ln a(i)) over a(1), a(2), a(3) tested in that order, or the infeasible marker.
[[gnu::always_inline]] inline double entropyOfWeights(float a1, float a2, float a3,
                                                      Entr3Context& context) {
    double sum = 0.0;
    for (const float weight : {a1, a2, a3}) {
        if (!addEntropyTerm(weight, sum, context)) {
            return kInfeasible;
        }
    }
    return -sum;
}

// Which operations here can fault: differences, products and sums of finite singles formed
// in double can neither overflow nor be invalid (|x| < 2^128, so |x y| < 2^256). Once z1 is
// known to be a nonzero single (|z1| >= 2^-149) the quotients stay below 2^(256+149), far
// inside the double range, so only their rounding to single can overflow. The logarithm is
// taken of weights already tested to lie in (0, 1], and its products with them are bounded by
// 1/e. So the rounding to single is the one test left to make, and it is made every time.
inline double entr3Inline(Weights& a, const float& l, const Exponents& lm, const std::int16_t& n,
                          Entr3Context& context) {
    const double lm1 = lm(1);
    const double lm2 = lm(2);
    const double lm3 = lm(3);
    const float z1 = toSingle(lm2 - lm1);
    if (z1 == 0.0F) {
        context.messages.emplace_back(kZ1ZeroMessage);
        return 0.0;
    }
    const double a3 = a(3);
    a(2) = toSingle(((lm1 - lm3) * a3 + (l - lm1)) / z1);
    a(1) = toSingle(((lm3 - lm2) * a3 + (lm2 - l)) / z1);
    double sum = 0.0;
    for (std::int16_t i = 1; i <= n; increment(i)) {
        if (!addEntropyTerm(a(i), sum, context)) {
            return kInfeasible;
        }
    }
    return -sum;
}

class Search {
public:
    // lm(1) and lm(2) must differ (the caller's swap sees to it), so entr3's divisor z1 is a
    // nonzero single: it is the same for every trial of the analysis.
    Search(const Exponents& lm, float lmin, float lmax, Entr3Context& context)
        : m_lm(lm), m_z1(toSingle(static_cast<double>(lm(2)) - lm(1))), m_lmin(lmin), m_lmax(lmax),
          m_context(context) {}

    // Fills the store's graphs 1 and 2 from index 0 and returns the last index, -1 if none.
    std::int16_t run(Module1& store) {
        std::int16_t k = -1;
        for (std::int16_t step = 0; step <= kLastStep; increment(step)) {
            const float l = toSingle(add(m_lmin, div(mul(sub(m_lmax, m_lmin), step), kLastStep)));
            const float emax = bestEntropy(l);
            if (emax >= 0.0F) {
                increment(k);
                storePoint(store, k, l, emax);
            }
        }
        return k;
    }

    long entr3Calls() const { return m_calls; }

private:
    // 101 trials of a(3) = 0, 0.01, ... (the trial grid), the first of equal maxima kept; then
    // the final evaluation at the best a(3). A step where no trial beats 0 re-evaluates the best
    // a(3) of an earlier step.
    //
    // The trials are evaluated together: first the weights a(1), a(2) of all of them, then
    // their entropies, then the choice. Each trial's arithmetic is entr3's to the bit, so the
    // result is that of 101 calls in turn; apart from the logarithms the work is then straight
    // loops over arrays that the compiler keeps in registers and pipelines.
    float bestEntropy(const float& l) {
        const double lm1 = m_lm(1);
        const double lm2 = m_lm(2);
        const double lm3 = m_lm(3);
        const double slope2 = lm1 - lm3;
        const double offset2 = l - lm1;
        const double slope1 = lm3 - lm2;
        const double offset1 = lm2 - l;
        std::array<float, kTrials> a1{};
        std::array<float, kTrials> a2{};
        double largest = 0.0;
        for (std::size_t t = 0; t < kTrials; ++t) {
            const double weight2 = (slope2 * kTrialGrid[t] + offset2) / m_z1;
            const double weight1 = (slope1 * kTrialGrid[t] + offset1) / m_z1;
            largest = std::max(largest, std::max(std::fabs(weight1), std::fabs(weight2)));
            a2[t] = static_cast<float>(weight2);
            a1[t] = static_cast<float>(weight1);
        }
        toSingle(largest); // the rounding of every weight above is tested here
        float emax = 0.0F;
        for (std::size_t t = 0; t < kTrials; ++t) {
            const float entropy =
                toSingle(entropyOfWeights(a1[t], a2[t], kTrialGrid[t], m_context));
            if (entropy > emax) {
                emax = entropy;
                m_a3best = kTrialGrid[t];
            }
        }
        m_a(3) = m_a3best;
        m_calls += static_cast<long>(kTrials) + 1;
        return toSingle(entr3Inline(m_a, l, m_lm, kBranches, m_context));
    }

    const Exponents m_lm; // a copy, so stores to the weights cannot alias it
    const float m_z1;
    float m_lmin;
    float m_lmax;
    Entr3Context& m_context;
    Weights m_a;
    float m_a3best = 0.0F;
    long m_calls = 0;
};

void readExponents(float c1, float c2, Exponents& lm) {
    lm(1) = branchExponent(c1);
    lm(2) = branchExponent(sub(c2, c1));
    lm(3) = branchExponent(sub(1.0, c2));
}

} // namespace

double entr3(Weights& a, const float& l, const Exponents& lm, const std::int16_t& n,
             Entr3Context& context) {
    return entr3Inline(a, l, lm, n, context);
}

AnalysisOutcome runThreeBranch(const FieldSource& fields, const TextToSingle& toSingle,
                               Module1& store) {
    return detail::runCommitted(store, [&](Module1& scratch, AnalysisOutcome& outcome) {
        const float c1 = detail::readSingle(fields, Field::C1, toSingle);
        const float c2 = detail::readSingle(fields, Field::C2, toSingle);
        if (!(c1 > 0.0F && c2 < 1.0F)) {
            detail::reject(outcome, kThreeBranchRangeMessage);
            return;
        }
        if (!(c1 < c2)) {
            detail::reject(outcome, kThreeBranchOrderMessage);
            return;
        }
        Exponents lm;
        readExponents(c1, c2, lm);
        outcome.exponents = {lm(1), lm(2), lm(3)};
        outcome.logarithms = 3;
        outcome.breakPoints = {c1, c2};
        float lmin = lm(1);
        float lmax = lm(1);
        for (std::int16_t i = 2; i <= kBranches; increment(i)) {
            lmin = lm(i) < lmin ? lm(i) : lmin;
            lmax = lm(i) > lmax ? lm(i) : lmax;
        }
        if (lmin == lmax) {
            storeEqualExponents(scratch);
            outcome.logarithms += 2;
            return;
        }
        // Equal first two exponents would make entr3's divisor zero; only the entropy is
        // stored, so renumbering the branches leaves the result unchanged.
        if (lm(1) == lm(2)) {
            std::swap(lm(1), lm(3));
        }
        Entr3Context context{outcome.messages};
        Search search(lm, lmin, lmax, context);
        const std::int16_t k = search.run(scratch);
        scratch.graph_n(1) = k;
        scratch.graph_n(2) = k;
        scratch.graph_count = 2;
        outcome.entr3Calls = search.entr3Calls();
        outcome.logarithms += context.logarithms;
    });
}

} // namespace veltrane::classic
