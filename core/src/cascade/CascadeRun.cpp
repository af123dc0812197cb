#include "CascadeRun.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>

namespace veltrane {

namespace {

// Branches this close to the whole length or weight take their runs in one step.
constexpr double kRunShare = 1.0 / 64.0;

// Below this shortfall 1 - ℓ, ℓ^m is the exponential of m ln ℓ, with ln ℓ from its series;
// above it the runs that matter are at most about 2^30 levels and ℓ^m comes from squarings.
constexpr double kSeriesShortfall = 0x1p-20;

// Runs longer than this many levels are multiplied out with their factors scaled.
constexpr double kHugeLevels = 0x1p900;

// ℓ^m beside 1 - ℓ^m: while 1 - ℓ^m is below 1/2, ℓ^m is 1 minus it, since ℓ^m near 1 held by
// itself carries an error of a unit of 2^-106 of 1, which every squaring after would double.
// Beyond, ℓ^m is at most 1/2, held to its own precision, and otherwise the given product.
Shrink settled(DoubleDouble lost, DoubleDouble product) {
    return {lost.hi < 0.5 ? DoubleDouble{1.0} - lost : product, lost};
}

// ℓ^(a + b) and 1 - ℓ^(a + b) from those of a and b, the second as the sum of positive terms
// (1 - ℓ^a) + ℓ^a (1 - ℓ^b), whose relative error is at most the larger of its terms'.
Shrink combine(const Shrink& a, const Shrink& b) {
    return settled(looseSum(a.lost, a.kept * b.lost), a.kept * b.kept);
}

} // namespace

// 1 - e^y by its series at y = x / 2^k of at most 2^-10, then doubled k times,
// 1 - e^(2y) = (1 - e^y) + e^y (1 - e^y).
Shrink CascadeRuns::exponential(DoubleDouble x) {
    int halvings = 0;
    for (; - x.hi > 0x1p-10; ++halvings) {
        x = x * 0.5;
    }
    DoubleDouble term = x;
    DoubleDouble sum = x; // e^x - 1
    for (int i = 2; i <= 10; ++i) {
        term = term * x / DoubleDouble{static_cast<double>(i)};
        sum = sum + term;
    }
    Shrink result = settled(-sum, DoubleDouble{1.0} + sum);
    for (; halvings > 0; --halvings) {
        result = combine(result, result);
    }
    return result;
}

// One Newton step from the double logarithm: near 1 on ln(1 + s), s = t - 1, with e^y - 1
// formed as itself, elsewhere on ln t with e^y formed as itself, so that the step keeps ln t
// to its own precision.
DoubleDouble CascadeRuns::logarithm(DoubleDouble t) {
    if (t.hi > 0.5) {
        const DoubleDouble s = t - DoubleDouble{1.0};
        const double y = std::log1p(s.hi + s.lo);
        const DoubleDouble e = -exponential(DoubleDouble{y}).lost; // e^y - 1
        return DoubleDouble{y} - (e - s) / (DoubleDouble{1.0} + e);
    }
    const double y = std::log(t.hi) + std::log1p(t.lo / t.hi);
    return DoubleDouble{y} + (t / exponential(DoubleDouble{y}).kept - DoubleDouble{1.0});
}

namespace {

// ln ℓ = ln(1 - s) = -(s + s^2 / 2 + ... + s^6 / 6) for a shortfall s below kSeriesShortfall,
// to about 2^-104 of itself.
DoubleDouble logOfLength(DoubleDouble shortfall) {
    DoubleDouble power = shortfall;
    DoubleDouble sum = shortfall;
    for (int i = 2; i <= 6; ++i) {
        power = power * shortfall;
        sum = sum + power / DoubleDouble{static_cast<double>(i)};
    }
    return -sum;
}

} // namespace

CascadeRuns::CascadeRuns(const std::vector<double>& breaks,
                         const std::vector<DoubleDouble>& lengths,
                         const std::vector<double>& weights, const std::vector<double>& before,
                         const std::vector<double>& after)
    : m_before(before), m_after(after) {
    for (std::size_t k = 0; k < weights.size(); ++k) {
        RunBranch b;
        const DoubleDouble right = exactSum(1.0, -breaks[k + 1]); // 1 - B_k, exact
        b.length = lengths[k];
        b.shortfall = right + DoubleDouble{breaks[k]};
        b.fixedPoint = DoubleDouble{breaks[k]} / b.shortfall;
        b.beyondFixed = right / b.shortfall;
        b.logLength = std::log1p(-(b.shortfall.hi + b.shortfall.lo));
        // To 106 bits either way: a chain's cells come from exp(M ln ℓ), and an error of ln ℓ
        // would move their ends by that much of the chain's first cell, which may be all N
        // bins wide.
        b.logLengthPrecise =
            b.shortfall.hi < kSeriesShortfall ? logOfLength(b.shortfall) : logarithm(b.length);
        b.others = before[k] + after[k];
        b.logWeight = std::log1p(-b.others);
        b.massPerLength = b.logWeight / b.logLength;
        b.takesRuns = b.shortfall.hi < kRunShare || b.others < kRunShare;
        m_branches.push_back(b);
    }
}

Shrink CascadeRuns::shrinkToLevel(std::size_t k, DoubleDouble level) const {
    const RunBranch& b = m_branches[k];
    if (b.shortfall.hi < kSeriesShortfall) {
        return exponential(level);
    }
    // The runs that matter here are at most about 2^30 levels: m is recovered whole.
    return shrink(k, std::round((level / b.logLengthPrecise).hi));
}

Shrink CascadeRuns::shrink(std::size_t k, double levels) const {
    const RunBranch& b = m_branches[k];
    if (b.shortfall.hi < kSeriesShortfall) {
        if (levels > kHugeLevels) {
            // Splitting the factors of the product scales them by 2^27, past the largest double
            // for m above about 2^996 (a branch within 1e-300 of the whole); scaled by 2^±64
            // first, exactly, the product is the same.
            const DoubleDouble log{std::ldexp(b.logLengthPrecise.hi, 64),
                                   std::ldexp(b.logLengthPrecise.lo, 64)};
            return exponential(log * std::ldexp(levels, -64));
        }
        return exponential(b.logLengthPrecise * levels);
    }
    return power({b.length, b.shortfall}, levels);
}

Shrink CascadeRuns::power(Shrink base, double levels) {
    // levels = mantissa 2^shift with a whole mantissa below 2^53: the mantissa's binary digits,
    // then as many squarings.
    int exponent = 0;
    const double fraction = std::frexp(levels, &exponent);
    const int shift = std::max(0, exponent - 53);
    auto mantissa = static_cast<std::uint64_t>(std::ldexp(fraction, exponent - shift));
    Shrink result{DoubleDouble{1.0}, DoubleDouble{}};
    for (; mantissa != 0; mantissa >>= 1U) {
        if ((mantissa & 1U) != 0) {
            result = combine(result, base);
        }
        base = combine(base, base);
    }
    for (int i = 0; i < shift; ++i) {
        result = combine(result, result);
    }
    return result;
}

RunMass CascadeRuns::mass(std::size_t k, double levels) const {
    const double logWeight = m_branches[k].logWeight;
    if (std::isinf(levels)) {
        return fromKept(k, 1.0, 0.0);
    }
    return fromKept(k, -std::expm1(levels * logWeight), std::exp(levels * logWeight));
}

Shrink CascadeRuns::shrinkTo(double logKept) {
    return exponential(DoubleDouble{logKept});
}

RunMass CascadeRuns::massTo(std::size_t k, double logKept) const {
    // ln p^m = m ln p = logKept ln p / ln ℓ; the ratio is beyond the range of doubles only
    // where p^m is 0 anyway.
    const double ratio = m_branches[k].massPerLength;
    const double logMass = std::isinf(ratio) ? -ratio : logKept * ratio;
    return fromKept(k, -std::expm1(logMass), std::exp(logMass));
}

// 1 + p + ... + p^(m-1) = (1 - p^m) / (1 - p), with 1 - p the others' weight, which may be
// subnormal: the shares of the others left and right are formed first.
RunMass CascadeRuns::fromKept(std::size_t k, double lost, double kept) const {
    const double others = m_branches[k].others;
    return {lost * (m_before[k] / others), lost * (m_after[k] / others), kept};
}

} // namespace veltrane
