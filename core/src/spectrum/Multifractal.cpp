#include "Bracket.h"
#include "EvenlySpaced.h"
#include "PreciseLog.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>
#include <tuple>
#include <utility>
#include <veltrane/errors.h>
#include <veltrane/internal/run.h>
#include <veltrane/maps.h>
#include <veltrane/multifractal.h>
#include <veltrane/text.h>

namespace veltrane {

namespace detail {

// The solver itself, shared by the copies of a MultifractalSolver.
class MultifractalModel {
public:
    // breakPoints as branchExponents takes them (k of them make k + 1 branches); weights one per
    // branch, positive and finite, normalized here to sum 1. Throws BreakPointError or
    // WeightError. Any such map and weights are taken, a branch within the smallest subnormal
    // of length 1 included.
    MultifractalModel(std::span<const double> breakPoints, std::span<const double> weights);

    // The range of α: the smallest and largest ratio ln p_i / ln ℓ_i, the quotients of the
    // doubles ln p_i and ln ℓ_i, which are carried with their remainders in extended precision,
    // or to 106 bits where all lie within 1% of each other. αmax is +infinity where a branch within
    // a few subnormals of length 1 makes its ratio exceed the largest double; spectrum(),
    // atAlpha() and atQ() then throw RuntimeError (overflow), while beta() and dq() hold. They
    // throw so too where the orders of the interior points, about 1 / (e_max (αmax - αmin)),
    // fall below the normal doubles, as for a branch within about 1e-305 of length 1.
    // When the ratios all lie within kRatioTolerance of each other, alphaMin() = alphaMax() = 1.
    double alphaMin() const { return m_alphaMin; }
    double alphaMax() const { return m_alphaMax; }
    // True when the ratios lie within kRatioTolerance of each other, closer than the doubles
    // that would print α can space points. Σ p_i = Σ ℓ_i^(r_i) = 1 puts 1 between the smallest
    // ratio r_i and the largest, so the range is 1 to within that tolerance: the spectrum is
    // reported as its point at q = 0, α = f = 1, β(q) as 1 - q, each to within the tolerance.
    // Ratios that are equal (p_i = ℓ_i) give this exactly.
    bool singlePoint() const { return m_single; }
    std::size_t branchCount() const { return m_branchCount; }
    std::size_t distinctCount() const { return m_e.size(); }

    // As MultifractalSolver's, which hands its calls on to these.
    double beta(double q) const;
    Exponents exponents(double q) const;
    void exponentsMany(std::span<const double> qs, std::span<Exponents> out,
                       const RunControl& control) const;

    // The point of order q, finite. At q = 0, f is exactly 1; at q = 1, α = f = D_1; elsewhere
    // each value within about 1e-12 of itself for |q| up to some hundreds. Throws as beta does.
    // Any thread may call it and the other const functions at once.
    MultifractalPoint atQ(double q) const;

    // The point at α. An α at or beyond an end, as a rounded abscissa may be, gives that end
    // exactly: f is the dimension s of the branches reaching the end ratio, Σ ℓ_i^s = 1 over
    // them (0 for a single branch), with q and β infinite. Inside, each value within about
    // 1e-12 of itself; throws RuntimeError where no q is found, which no map tried has made
    // happen.
    MultifractalPoint atAlpha(double alpha) const;

    // D_q for a finite q, to the same precision as β also close to q = 1; throws as beta does.
    DqPoint dq(double q) const;

    // points ≥ 2 evenly spaced α_i = αmin + i (αmax - αmin) / (points - 1), the first exactly
    // αmin and the last exactly αmax with their exact f; the single point when singlePoint().
    // Throws InputError for points < 2. Each value is within about 1e-12 of itself, q near its
    // crossing of 0 within about 1e-15 of its scale 1 / (e_max (αmax - αmin)). Every point is
    // checked against SpectrumBounds before it is handed on. The
    // interior points are solved in blocks of kSpectrumBlock on the threads control asks for,
    // each block warm-started afresh, so the bits do not depend on the number of threads;
    // control.done counts the points solved, and a run cancelled through control throws
    // Cancelled.

    // The same points handed to sink in order, a window of blocks at a time (forEachWindow), so
    // that a run of any length is written as it is computed in bounded memory. Returns the
    // number of passes over the branches made.
    long spectrum(std::size_t points, const RunControl& control,
                  const PointSink<MultifractalPoint>& sink) const;
    // Ratios within this much of each other, relative to 1 (four units in the last place of
    // a double near 1), count as one: points evenly spaced over so narrow a range would fall
    // on a few doubles. Weights written as decimal lengths (0.3 and 0.7 on the break point
    // 0.3) differ from the lengths by rounding and give ratios that close to 1.
    static constexpr double kRatioTolerance = MultifractalSolver::kRatioTolerance;

    // The rows of D_q at q = from + k step, k = 0 .. count - 1, handed to sink in order a
    // window at a time, solved over the threads control asks for (the same bits on any
    // number); each row is checked against the bounds (DqBounds) before it is handed on.
    void dqRows(double from, double step, std::size_t count, const RunControl& control,
                const PointSink<DqPoint>& sink) const;
    // D_q at each of qs, into out (of the same length), over the threads control asks for,
    // checked against the bounds in order of q.
    void dqMany(std::span<const double> qs, std::span<DqPoint> out,
                const RunControl& control) const;

private:
    // Moments of the weights proportional to m_i exp(q x_i - s e_i), x_i = e_i (α - r_i), from
    // one pass: ln of their sum, and means and (co)variances of x and e.
    struct Sums {
        double phi = 0.0;
        double x = 0.0;
        double e = 0.0;
        double vxx = 0.0;
        double cxe = 0.0;
        double vee = 0.0;
        double scale = 0.0; // the size of what phi was formed from, which bounds its rounding
    };
    struct Root {
        double q = 0.0;
        double f = 0.0;
        Sums sums;
        long passes = 0;
    };

    // work: room for one value per distinct pair, reused from pass to pass.
    Sums evaluate(double alpha, double q, double s, std::vector<double>& work) const;
    // ln Σ m_i p_i exp(δ x_i) with x_i = e_i (D - r_i), and the mean of e, for a small |δ|;
    // nothing where a term is beyond the range of doubles.
    std::optional<Sums> evaluateNearOne(double d, double delta) const;
    // The Newton step on D at d for the order q, from the sums nearOne picks, or from
    // scaledStep where those cannot be formed.
    double stepD(double d, double q, bool nearOne, std::vector<double>& work) const;
    double scaledStep(double d, double delta) const;
    // D with Σ p_i^q ℓ_i^((1-q) D) = 1, for q ≠ 1.
    double solveD(double q, std::vector<double>& work) const;
    // h(q) = (1 - β(q)) / q, the limit α(0) at q = 0.
    // h(q) = (1 - β(q)) / q from β = beta(q), the limit α(0) at q = 0.
    double hurst(double q, double beta) const;
    // The point of order q ≠ 1 whose D_q is d (m_d1, the start for α, at q = 0).
    MultifractalPoint pointWithD(double q, double d, std::vector<double>& work) const;
    double solveHurstNearZero(double q) const;
    // Throws RuntimeError (internal) where the exponents break a bound: each point and the rows
    // of D_q as SpectrumBounds checks them, α = τ' = -β' not rising with q, and h within [αmin,
    // αmax], not rising with q (the slope of the chord of the concave τ from q = 0).
    void checkExponents(std::span<const Exponents> rows) const;
    Root solveAlpha(double alpha, double q, double s, std::vector<double>& work) const;
    // Points first .. first + out.size() - 1 of a spectrum of points points, into out; returns
    // the passes made.
    long solveBlock(std::size_t first, std::size_t points, std::span<MultifractalPoint> out,
                    BlockProgress& progress) const;
    double endDimension(std::size_t first, std::size_t last) const;
    MultifractalPoint endPoint(bool smallest) const;
    MultifractalPoint pointOf(double alpha, const Root& root) const;
    double xOf(std::size_t i, double alpha) const { return m_e[i] * (alpha - m_r[i]) + m_c[i]; }
    // Throws RuntimeError (overflow) where αmax is beyond the range of doubles.
    void checkRange() const;

    // x_i(α) = e_i (α - r_i) = e_i (α - m_r[i]) + m_c[i] for the distinct pairs in ascending
    // order of r_i = ln p / ln ℓ: m_r the nearest double to r_i and m_c = -e_i (r_i - m_r[i])
    // what it leaves, so that x_i keeps its precision where α is close to r_i; where r_i
    // exceeds the largest double, m_r is 0 and m_c = ln p_i.
    std::vector<double> m_r;
    std::vector<double> m_c;
    std::vector<double> m_e; // their exponents ln(1/ℓ)
    std::vector<double> m_p; // their normalized weights
    std::vector<double> m_m; // branches sharing each pair
    std::size_t m_branchCount = 0;
    double m_alphaMin = 1.0;
    double m_alphaMax = 1.0;
    double m_fMin = 1.0;
    double m_fMax = 1.0;
    double m_d1 = 1.0;
    double m_eMax = 0.0;
    double m_qUnit = 1.0; // the change of q that moves the Gibbs weights by a factor of about e
    bool m_single = false;
};

} // namespace detail

using detail::MultifractalModel;

namespace {

constexpr double kInfinity = std::numeric_limits<double>::infinity();

// exp of anything below this is exactly 0 in double, so such a term adds nothing to a sum.
constexpr double kVanishing = -746.0;

// Newton on β stops once a step would move the Gibbs weights by less than this factor; the
// moments are then carried to the end of the step to first order, leaving errors of the order
// of its square.
constexpr double kWeightTolerance = 1e-8;

// Newton on q stops once its step is below this fraction of |q| + kQFloor m_qUnit; the point
// takes the step, which leaves an error of the order of its square in q and its cube in f. The
// floor keeps a q close to 0 (beside m_qUnit) accurate relative to itself, not only to m_qUnit,
// down to where the rounding of the moments, some 1e-15 m_qUnit, is what is left.
constexpr double kQTolerance = 1e-8;
constexpr double kQFloor = 1e-4;

// Newton on D stops once its step is below kDTolerance times D + (αmax - αmin), the width at
// most kWideRange D; D lies in [αmin, αmax], so it is positive. Without the cap, a range many
// orders wider than D, as where a branch is almost the whole interval, would stop Newton while
// D is still off by a large part of itself; with it the step left is at most 1e-7 of D, and
// Newton's next error of the order of its square.
constexpr double kDTolerance = 1e-10;
constexpr double kWideRange = 1e3;

// Where |δ| <e> D is at most this, D is solved from the excess of Σ p exp(δx) over 1: the
// rounding of Σ p = 1 would cost it up to 1e-16 / kNearOne of itself.
constexpr double kNearOne = 1e-3;

// Where |q| e_max (αmax - αmin) is at most this, h(q) is solved from its own equation, whose
// terms expm1(q x) then stay below e^30: beyond it, q h = 1 - β(q) is at least about
// 30 αmin / (e_max (αmax - αmin)), whose cancellation costs h a few units of 1e-16 / that.
constexpr double kHurstBand = 30.0;

// Far more than safeguarded Newton needs: a fallback step halves the bracket of q or doubles an
// open one.
constexpr long kMaxPasses = 4000;

// ln p_i of the normalized weights. The largest weight takes its logarithm from the others'
// total, so that a weight close to 1 keeps its relative accuracy, and no ratio of weights is
// formed where it would underflow.
std::vector<double> logWeights(std::span<const double> weights, std::size_t branches) {
    checkWeights(weights, branches);
    const auto top = static_cast<std::size_t>(std::max_element(weights.begin(), weights.end()) -
                                              weights.begin());
    double rest = 0.0;
    for (std::size_t i = 0; i < weights.size(); ++i) {
        rest += i == top ? 0.0 : weights[i] / weights[top];
    }
    const double logTotal = std::log1p(rest); // ln of the sum over the largest weight
    std::vector<double> logs;
    for (std::size_t i = 0; i < weights.size(); ++i) {
        const double share = weights[i] / weights[top];
        const double logShare =
            std::isnormal(share) ? std::log(share) : std::log(weights[i]) - std::log(weights[top]);
        logs.push_back((i == top ? 0.0 : logShare) - logTotal);
    }
    return logs;
}

// The same to about 106 bits.
std::vector<DoubleDouble> preciseLogWeights(std::span<const double> weights) {
    const auto top = static_cast<std::size_t>(std::max_element(weights.begin(), weights.end()) -
                                              weights.begin());
    const DoubleDouble largest{weights[top], 0.0};
    DoubleDouble rest; // Σ of the others over the largest
    for (std::size_t i = 0; i < weights.size(); ++i) {
        rest = rest + (i == top ? DoubleDouble{} : DoubleDouble{weights[i], 0.0} / largest);
    }
    const DoubleDouble logTotal = preciseLogOnePlus(rest);
    std::vector<DoubleDouble> logs;
    for (std::size_t i = 0; i < weights.size(); ++i) {
        const DoubleDouble share = DoubleDouble{weights[i], 0.0} / largest;
        const DoubleDouble logShare = std::isnormal(share.hi)
                                          ? preciseLog(share)
                                          : preciseLog(weights[i]) - preciseLog(weights[top]);
        logs.push_back((i == top ? DoubleDouble{} : logShare) - logTotal);
    }
    return logs;
}

// -a / e to about 106 bits, or nothing where it exceeds the largest double. A subnormal e is
// scaled up with a first, so that the quotient's remainder is formed exactly.
std::optional<DoubleDouble> ratioOf(DoubleDouble a, DoubleDouble e) {
    if (e.hi < 0x1p-900) {
        a = {std::ldexp(a.hi, 600), std::ldexp(a.lo, 600)};
        e = {std::ldexp(e.hi, 600), std::ldexp(e.lo, 600)};
    }
    const DoubleDouble r = -a / e;
    return std::isfinite(r.hi) && std::isfinite(r.lo) ? std::optional<DoubleDouble>(r)
                                                      : std::nullopt;
}

// β = (1 - q) D, which for |q| near the largest double may lie beyond the range of doubles.
double finiteTau(double q, double tau) {
    if (!std::isfinite(tau)) {
        throw RuntimeError(ErrorKind::Overflow,
                           "tau at q = " + shortest(q) + " is beyond the range of doubles");
    }
    return tau;
}

// Newton on a convex, monotone function moves one way after its first step; a second turn
// means that its steps are down to the rounding of the function, where no tolerance may hold.
class Settling {
public:
    bool settled(double step) {
        m_turns += m_last != 0.0 && (step > 0.0) != (m_last > 0.0) ? 1 : 0;
        m_last = step;
        return m_turns >= 2;
    }

private:
    int m_turns = 0;
    double m_last = 0.0;
};

// The roots solved so far in a block, extrapolated to the next α: along the spectrum f' = q and
// f'' = q' = -<e>/Var(x), and q'' comes from the last two slopes. The first guess is q = 0,
// where β = 1 and so f = 1.
class Track {
public:
    std::pair<double, double> guess(double alpha) const {
        if (m_roots == 0) {
            return {0.0, 1.0};
        }
        const double h = alpha - m_alpha;
        const double slope = std::isfinite(m_slope) ? m_slope : 0.0;
        const double curvature = m_roots > 1 && std::isfinite(m_curvature) ? m_curvature : 0.0;
        return {m_q + h * (slope + 0.5 * h * curvature),
                m_f + h * (m_q + h * (0.5 * slope + h * curvature / 6.0))};
    }
    void add(double alpha, double q, double f, double slope) {
        m_curvature = (slope - m_slope) / (alpha - m_alpha);
        m_alpha = alpha;
        m_q = q;
        m_f = f;
        m_slope = slope;
        ++m_roots;
    }

private:
    int m_roots = 0;
    double m_alpha = 0.0;
    double m_q = 0.0;
    double m_f = 0.0;
    double m_slope = 0.0;
    double m_curvature = 0.0;
};

} // namespace

namespace {

// The ratio r_i = ln p_i / ln ℓ_i of each branch as hi + lo, hi +infinity where it exceeds the
// largest double. x_i(α) = e_i (α - r_i) loses the digits r_i lacks where α is close to r_i,
// as it is at points near an end or where all the ratios are close. hi is the quotient of the
// doubles ln p_i and ln ℓ_i, and lo the rest of a quotient in extended precision (64 bits on
// x86), which keeps x_i to about 1e-19 r / |α - r_i| of itself: enough while the ratios spread
// over at least kPreciseSpread of themselves, so that even 10^7 points stay 1e-9 of it apart.
// Closer ratios, as of weights nearly the lengths, are formed to 106 bits, at some
// microseconds a branch.
constexpr double kPreciseSpread = 1e-2;

// ln p_i in extended precision, as logWeights forms it in doubles.
std::vector<long double> extendedLogWeights(std::span<const double> weights) {
    const auto top = static_cast<std::size_t>(std::max_element(weights.begin(), weights.end()) -
                                              weights.begin());
    const long double largest = weights[top];
    long double rest = 0.0L;
    for (std::size_t i = 0; i < weights.size(); ++i) {
        rest += i == top ? 0.0L : weights[i] / largest;
    }
    const long double logTotal = std::log1p(rest);
    std::vector<long double> logs;
    for (std::size_t i = 0; i < weights.size(); ++i) {
        const long double logShare =
            i == top ? 0.0L : std::log(static_cast<long double>(weights[i])) - std::log(largest);
        logs.push_back(logShare - logTotal);
    }
    return logs;
}

// lengthExponent in extended precision.
long double extendedLengthExponent(double left, double right) {
    const long double length = static_cast<long double>(right) - left;
    if (length > 0.5L) {
        return -std::log1p(-(static_cast<long double>(left) + (1.0L - right)));
    }
    return -std::log(length);
}

std::vector<DoubleDouble> ratiosOf(std::span<const double> breakPoints,
                                   std::span<const double> weights,
                                   std::span<const double> exponents,
                                   std::span<const double> logs) {
    const std::vector<long double> extended = extendedLogWeights(weights);
    std::vector<DoubleDouble> ratios;
    for (std::size_t i = 0; i < exponents.size(); ++i) {
        const double ratio = -logs[i] / exponents[i];
        const double left = i == 0 ? 0.0 : breakPoints[i - 1];
        const double right = i == breakPoints.size() ? 1.0 : breakPoints[i];
        const long double precise = -extended[i] / extendedLengthExponent(left, right);
        const auto rest = static_cast<double>(precise - ratio);
        ratios.push_back(std::isfinite(ratio) && std::isfinite(rest)
                             ? DoubleDouble{ratio, rest}
                             : DoubleDouble{kInfinity, 0.0});
    }
    const auto [low, high] = std::minmax_element(
        ratios.begin(), ratios.end(), [](DoubleDouble x, DoubleDouble y) { return x.hi < y.hi; });
    if (!(high->hi - low->hi <= kPreciseSpread * high->hi)) {
        return ratios;
    }
    const std::vector<DoubleDouble> precise = preciseLogWeights(weights);
    for (std::size_t i = 0; i < exponents.size(); ++i) {
        const double left = i == 0 ? 0.0 : breakPoints[i - 1];
        const double right = i == breakPoints.size() ? 1.0 : breakPoints[i];
        ratios[i] = ratioOf(precise[i], preciseLengthExponent(left, right))
                        .value_or(DoubleDouble{kInfinity, 0.0});
    }
    return ratios;
}

} // namespace

MultifractalModel::MultifractalModel(std::span<const double> breakPoints,
                                     std::span<const double> weights) {
    const std::vector<double> exponents = branchExponents(breakPoints);
    const std::vector<double> logs = logWeights(weights, exponents.size());
    const std::vector<DoubleDouble> branchRatios = ratiosOf(breakPoints, weights, exponents, logs);
    m_branchCount = exponents.size();
    // (ratio, its remainder, exponent, ln p) sorted, so that the ends of the α range are the
    // ends of the list; a ratio beyond the doubles sorts last as +infinity.
    std::vector<std::tuple<double, double, double, double>> pairs;
    double sumPA = 0.0;
    double sumPE = 0.0;
    for (std::size_t i = 0; i < exponents.size(); ++i) {
        pairs.emplace_back(branchRatios[i].hi, branchRatios[i].lo, exponents[i], logs[i]);
        sumPA += std::exp(logs[i]) * logs[i];
        sumPE += std::exp(logs[i]) * exponents[i];
    }
    m_d1 = -sumPA / sumPE;
    std::sort(pairs.begin(), pairs.end());
    std::vector<double> ratios;
    std::vector<double> remainders;
    for (const auto& [ratio, remainder, exponent, logP] : pairs) {
        if (ratios.empty() || ratio != ratios.back() || remainder != remainders.back() ||
            exponent != m_e.back()) {
            ratios.push_back(ratio);
            remainders.push_back(remainder);
            const bool finite = std::isfinite(ratio);
            m_r.push_back(finite ? ratio : 0.0);
            m_c.push_back(finite ? -exponent * remainder : logP);
            m_e.push_back(exponent);
            m_p.push_back(std::exp(logP));
            m_m.push_back(1.0);
        } else {
            m_m.back() += 1.0;
        }
    }
    m_eMax = *std::max_element(m_e.begin(), m_e.end());
    const double low = ratios.front();
    const double high = ratios.back();
    // Ratios within kRatioTolerance of the end's, which the doubles printing α cannot tell
    // from it, reach that end: its f is the dimension of all their branches, as where weights
    // equal on branches of lengths that differ by rounding. Ratio j is at least ratio k; an
    // infinite ratio (beyond the doubles) is apart from every finite one.
    const auto apart = [&](std::size_t j, std::size_t k) {
        if (std::isinf(ratios[j]) && std::isfinite(ratios[k])) {
            return true;
        }
        const double gap = (ratios[j] - ratios[k]) + (remainders[j] - remainders[k]);
        return gap > kRatioTolerance * ratios[j];
    };
    if (high - low <= kRatioTolerance || !apart(ratios.size() - 1, 0)) {
        m_single = true;
        return;
    }
    std::size_t lowEnd = 1;
    while (lowEnd < ratios.size() && !apart(lowEnd, 0)) {
        ++lowEnd;
    }
    m_alphaMin = low;
    m_alphaMax = high;
    m_fMin = endDimension(0, lowEnd);
    if (!std::isfinite(high)) {
        return; // no spectrum: checkRange refuses it
    }
    std::size_t highStart = ratios.size() - 1;
    while (highStart > 0 && !apart(ratios.size() - 1, highStart - 1)) {
        --highStart;
    }
    m_fMax = endDimension(highStart, ratios.size());
    m_qUnit = 1.0 / (m_eMax * (high - low));
}

// The s with Σ m_i exp(-s e_i) = 1 over entries [first, last). The left side is convex and
// falls in s and is at least 1 at s = 0, so Newton from 0 rises monotonically to the root.
double MultifractalModel::endDimension(std::size_t first, std::size_t last) const {
    const double eLow = *std::min_element(m_e.begin() + static_cast<long>(first),
                                          m_e.begin() + static_cast<long>(last));
    double s = 0.0;
    for (long pass = 0; pass < kMaxPasses; ++pass) {
        double sum = 0.0;
        double sumE = 0.0;
        for (std::size_t i = first; i < last; ++i) {
            const double u = m_m[i] * std::exp(-s * (m_e[i] - eLow));
            sum += u;
            sumE += u * m_e[i];
        }
        const double step = (std::log(sum) - s * eLow) / (sumE / sum);
        if (!(step > 0.0 && s + step > s)) {
            break;
        }
        s += step;
    }
    return s;
}

MultifractalModel::Sums MultifractalModel::evaluate(double alpha, double q, double s,
                                                    std::vector<double>& work) const {
    // The terms are taken relative to the largest, so that nothing overflows for any q, and the
    // moments are centred on its x and e, where the weight gathers near the ends of the range.
    // The exponentials get a loop of their own: a call inside the moments' loop would make the
    // compiler keep the six sums in memory.
    const std::size_t n = m_e.size();
    work.resize(n);
    std::size_t anchor = 0;
    double top = -kInfinity;
    for (std::size_t i = 0; i < n; ++i) {
        work[i] = m_e[i] * (q * (alpha - m_r[i]) - s) + q * m_c[i];
        if (work[i] > top) {
            top = work[i];
            anchor = i;
        }
    }
    for (double& w : work) {
        const double y = w - top;
        w = y < kVanishing ? 0.0 : std::exp(y);
    }
    work[anchor] = 0.0; // the anchor's term, its multiplicity, is added apart
    const double xA = xOf(anchor, alpha);
    const double eA = m_e[anchor];
    double rest = 0.0;
    double sx = 0.0;
    double se = 0.0;
    double sxx = 0.0;
    double sxe = 0.0;
    double see = 0.0;
    for (std::size_t i = 0; i < n; ++i) {
        const double u = m_m[i] * work[i];
        const double dx = xOf(i, alpha) - xA;
        const double de = m_e[i] - eA;
        rest += u;
        sx += u * dx;
        se += u * de;
        sxx += u * dx * dx;
        sxe += u * dx * de;
        see += u * de * de;
    }
    // log1p keeps ln of the sum accurate when the other terms are small, as where f is small.
    const double mA = m_m[anchor];
    const double z = mA + rest;
    const double mx = sx / z;
    const double me = se / z;
    Sums sums;
    sums.phi = top + std::log(mA) + std::log1p(rest / mA);
    // What phi's parts were formed from: its rounding error is about 1e-16 of this.
    sums.scale = std::fabs(m_e[anchor] * q * (alpha - m_r[anchor])) + std::fabs(m_e[anchor] * s) +
                 std::fabs(q * m_c[anchor]) + std::fabs(sums.phi - top);
    sums.x = xA + mx;
    sums.e = eA + me;
    sums.vxx = std::max(0.0, sxx / z - mx * mx);
    sums.cxe = sxe / z - mx * me;
    sums.vee = std::max(0.0, see / z - me * me);
    return sums;
}

std::optional<MultifractalModel::Sums> MultifractalModel::evaluateNearOne(double d,
                                                                          double delta) const {
    // Σ p_i = 1 is taken as exact here: ln Σ p exp(δx) = log1p(Σ p expm1(δx)) then vanishes with
    // δ, with an error proportional to δ instead of the rounding of the weights' sum.
    double excess = 0.0; // Σ p exp(δx) - 1
    double size = 0.0;   // Σ p |exp(δx) - 1|, which bounds the rounding of excess
    double sum = 0.0;
    double sumE = 0.0;
    for (std::size_t i = 0; i < m_e.size(); ++i) {
        // δ times x, not δ e times the rest: δ e may fall below the normal doubles where a
        // branch is almost the whole interval and q almost 1.
        const double g = std::expm1(delta * xOf(i, d));
        const double u = m_m[i] * m_p[i];
        excess += u * g;
        size += u * std::fabs(g);
        sum += u * (1.0 + g);
        sumE += u * (1.0 + g) * m_e[i];
    }
    if (!std::isfinite(sumE)) {
        return std::nullopt; // a term beyond the range of doubles, far from the root
    }
    Sums sums;
    sums.phi = std::log1p(excess);
    sums.scale = size;
    sums.e = sumE / sum;
    return sums;
}

// ψ = ln(Σ m p exp(δx)) / δ written as z* + ln(Σ m exp(δ(z - z*))) / δ with z = x + ln p / δ and
// z* the z of the largest term, so that no product of δ with anything overflows whatever q is;
// its slope in D is <e>.
double MultifractalModel::scaledStep(double d, double delta) const {
    const std::size_t n = m_e.size();
    std::size_t top = 0;
    // x + ln p / δ = e D + (q / δ) ln p = e (D - r q / δ), without the cancellation of the
    // two logarithms of the weight where q is near 0.
    const double share = (delta + 1.0) / delta;
    const auto z = [&](std::size_t i) { return m_e[i] * (d - m_r[i] * share) + m_c[i] * share; };
    for (std::size_t i = 1; i < n; ++i) {
        top = (delta > 0.0 ? z(i) > z(top) : z(i) < z(top)) ? i : top;
    }
    const double zTop = z(top);
    // The top term is its multiplicity; the rest apart, so that log1p keeps ψ where they are
    // small beside it.
    double rest = 0.0;
    double sumE = m_m[top] * m_e[top];
    for (std::size_t i = 0; i < n; ++i) {
        const double u = i == top ? 0.0 : m_m[i] * std::exp(delta * (z(i) - zTop));
        rest += u;
        sumE += u * m_e[i];
    }
    const double logSum = std::log(m_m[top]) + std::log1p(rest / m_m[top]);
    return -(zTop + logSum / delta) / (sumE / (m_m[top] + rest));
}

// Rounding the sum Σ m p exp(δx) costs its logarithm about 1e-16, and so D about
// 1e-16 / (|δ| <e> D) of itself. Where |δ| is small beside 1 / (eMax (αmax - αmin)) every term is
// close to p, and the logarithm comes from their excess over 1 alone; elsewhere from the sum,
// unless |δ| <e> D is below kNearOne at d, as it may be where the range of α is wide, and the
// excess can be formed. Terms beyond the range of doubles leave the scaled form.
double MultifractalModel::stepD(double d, double q, bool nearOne, std::vector<double>& work) const {
    const double delta = q - 1.0;
    // The step from the excess, unless it is no more accurate than the sums' (of phi formed
    // from parts of the given scale).
    const auto fromExcess = [&](double scale) -> std::optional<double> {
        const std::optional<Sums> sums = evaluateNearOne(d, delta);
        const double step = sums ? -sums->phi / (delta * sums->e) : 0.0;
        return sums && std::isfinite(step) && sums->scale < scale ? std::optional<double>(step)
                                                                  : std::nullopt;
    };
    if (nearOne) {
        return fromExcess(kInfinity).value_or(scaledStep(d, delta));
    }
    const Sums sums = evaluate(d, q, d, work);
    const double step = -sums.phi / (delta * sums.e);
    if (!std::isfinite(step)) {
        return scaledStep(d, delta);
    }
    // Where a term close to 1 dominates as q nears 0 (a branch almost the whole interval), the
    // sums form phi from small parts and are the more accurate.
    return std::fabs(delta) * sums.e * d < kNearOne ? fromExcess(sums.scale).value_or(step) : step;
}

// With β = (1 - q) D the equation reads Σ m p exp(δ x) = 1, δ = q - 1, x = e (D - r): its
// logarithm rises (δ > 0) or falls (δ < 0) in D and is convex, with slope δ<e>, so Newton
// converges from any start after at most one step past the root. D lies in [αmin, αmax].
double MultifractalModel::solveD(double q, std::vector<double>& work) const {
    const double delta = q - 1.0;
    const bool nearOne = std::fabs(delta) * m_eMax * (m_alphaMax - m_alphaMin) <= 1.0;
    double d = m_d1;
    Settling settling;
    for (long pass = 0; pass < kMaxPasses; ++pass) {
        const double step = stepD(d, q, nearOne, work);
        if (std::isinf(d + step)) {
            // Newton rises monotonically to the root after its first step: D, and so β, lies
            // beyond the doubles, as where a branch within a subnormal of length 1 carries a
            // ratio beyond them.
            finiteTau(q, d + step);
        }
        if (std::fabs(step) <=
                kDTolerance * (d + std::min(kWideRange * d, m_alphaMax - m_alphaMin)) ||
            d + step == d || settling.settled(step)) {
            return d + step;
        }
        d += step;
    }
    throw RuntimeError(ErrorKind::InvalidOperation, "no beta found for q = " + shortest(q));
}

namespace {

// q as an order the solver takes: a finite number.
double finiteOrder(double q) {
    if (!std::isfinite(q)) {
        throw InputError("q (" + shortest(q) + ") must be a finite number");
    }
    return q;
}

} // namespace

double MultifractalModel::beta(double q) const {
    finiteOrder(q);
    if (q == 0.0 || q == 1.0 || m_single) {
        return 1.0 - q;
    }
    std::vector<double> work;
    return finiteTau(q, (1.0 - q) * solveD(q, work));
}

DqPoint MultifractalModel::dq(double q) const {
    finiteOrder(q);
    if (m_single || q == 0.0) {
        return {q, 1.0 - q, 1.0};
    }
    if (q == 1.0) {
        return {q, 0.0, m_d1};
    }
    std::vector<double> work;
    const double d = solveD(q, work);
    return {q, finiteTau(q, (1.0 - q) * d), d};
}

// Near q = 0, 1 - β(q) = q h(q) is a small difference of numbers near 1. With β = 1 - q h the
// equation Σ p^q ℓ^β = 1 reads Σ ℓ_i exp(q x_i) = 1, x_i = e_i (h - r_i), and with Σ ℓ_i = 1
// taken as exact, G(h) = Σ ℓ_i expm1(q x_i) / q = 0: G rises in h with slope Σ ℓ e exp(q x),
// is convex (q > 0) or concave (q < 0), and tends to Σ ℓ x as q vanishes, so it loses no digits
// there. Where |q| e_max (αmax - αmin) ≤ kHurstBand no exponent exceeds that in size, and
// expm1 keeps every term; beyond it, 1 - β(q) = q h has lost few enough digits to be taken
// as it is. Newton from either side passes the root at most once; h = α(ξ) for some ξ
// between 0 and q keeps it in range.
double MultifractalModel::solveHurstNearZero(double q) const {
    double h = std::clamp(m_d1, m_alphaMin, m_alphaMax);
    Settling settling;
    for (long pass = 0; pass < kMaxPasses; ++pass) {
        double g = 0.0;
        double slope = 0.0;
        for (std::size_t i = 0; i < m_e.size(); ++i) {
            const double x = xOf(i, h);
            const double lm = m_m[i] * std::exp(-m_e[i]);
            g += lm * (q == 0.0 ? x : std::expm1(q * x) / q);
            slope += lm * m_e[i] * std::exp(q * x);
        }
        const double next = std::clamp(h - g / slope, m_alphaMin, m_alphaMax);
        const double step = next - h;
        if (std::fabs(step) <= kDTolerance * h || next == h || settling.settled(step)) {
            return next;
        }
        h = next;
    }
    throw RuntimeError(ErrorKind::InvalidOperation, "no h found for q = " + shortest(q));
}

double MultifractalModel::hurst(double q, double beta) const {
    if (m_single) {
        return 1.0;
    }
    // q = 0 also where αmax is beyond the doubles and the product is not a number.
    if (q == 0.0 || std::fabs(q) * m_eMax * (m_alphaMax - m_alphaMin) <= kHurstBand) {
        return solveHurstNearZero(q);
    }
    return (1.0 - beta) / q;
}

Exponents MultifractalModel::exponents(double q) const {
    const DqPoint row = dq(q);
    // The point from the D_q just solved, rather than atQ solving it again.
    std::vector<double> work;
    const bool special = m_single || q == 0.0 || q == 1.0;
    if (!special) {
        checkRange();
    }
    const MultifractalPoint point = special ? atQ(q) : pointWithD(q, row.dq, work);
    Exponents x;
    x.q = q;
    x.beta = row.beta;
    x.tau = convention::tauOfBeta(row.beta);
    x.dq = row.dq;
    x.hurst = hurst(q, row.beta);
    x.zeta = convention::zetaOfHurst(q, x.hurst);
    // At q = 0, h is α(0) = Σ ℓ ln p / Σ ℓ ln ℓ, solved in one step without the moments' rounding.
    x.alpha = q == 0.0 ? x.hurst : point.alpha;
    x.f = point.f;
    return x;
}

void MultifractalModel::checkRange() const {
    if (!std::isfinite(m_alphaMax)) {
        throw RuntimeError(ErrorKind::Overflow,
                           "the largest local dimension is beyond the range of doubles");
    }
    // The orders of the interior points are some multiples of m_qUnit; below the normal
    // doubles, Newton on them has no digits to work with (a branch within about 1e-305 of
    // length 1, whose ratio is some 1e307).
    if (!m_single && m_qUnit < std::numeric_limits<double>::min()) {
        throw RuntimeError(ErrorKind::Overflow,
                           "the local dimensions span " + shortest(m_alphaMax - m_alphaMin) +
                               ", too wide for the orders q of the spectrum to be doubles");
    }
}

MultifractalPoint MultifractalModel::atQ(double q) const {
    if (m_single) {
        return {1.0, 1.0, finiteOrder(q), 1.0 - q};
    }
    finiteOrder(q);
    checkRange();
    if (q == 1.0) {
        return {m_d1, m_d1, 1.0, 0.0};
    }
    std::vector<double> work;
    return pointWithD(q, q == 0.0 ? m_d1 : solveD(q, work), work);
}

MultifractalPoint MultifractalModel::pointWithD(double q, double d,
                                                std::vector<double>& work) const {
    const double t = q == 0.0 ? 1.0 : (1.0 - q) * d;
    // In the frame of an α close to α(q), s = β + qα is f and solves the sums' equation without
    // the cancellation of β + qα for large |q|. The first pass finds α(q) from the moments, the
    // second one f; <x> = <e> (α - α(q)) corrects both for the α used.
    double alpha = d;
    double f = 0.0;
    for (int pass = 0; pass < 2; ++pass) {
        const double s = t + q * alpha;
        const Sums sums = evaluate(alpha, q, s, work);
        const double shift = sums.x / sums.e;
        f = s + sums.phi / sums.e - q * shift;
        alpha -= shift;
    }
    // α(q) lies strictly inside the range; at large |q| its rounding may leave it by a unit.
    return {std::clamp(alpha, m_alphaMin, m_alphaMax), q == 0.0 ? 1.0 : f, q, t};
}

// The root of ρ(q) = <x>/<e> = α - α(q) along β(q). ρ rises with q, with slope
// Var(x - ρe)/<e>, so Newton steps on it are kept inside a bracket of the root as in the exact
// solver; where a step would leave it or does not shrink fast enough, the bracket is halved, or
// widened geometrically while one side is open. Each step first solves for s = β + qα at that
// q by Newton, which is convex there; from a close guess one pass suffices.
MultifractalModel::Root MultifractalModel::solveAlpha(double alpha, double q, double s,
                                                      std::vector<double>& work) const {
    Bracket bracket(m_qUnit);
    long passes = 0;
    const auto pass = [&] {
        if (++passes > kMaxPasses) {
            throw RuntimeError(ErrorKind::InvalidOperation,
                               "no order q found for the local dimension " + shortest(alpha));
        }
        return evaluate(alpha, q, s, work);
    };
    for (;;) {
        Sums sums;
        double ds = 0.0;
        Settling settling;
        for (;;) {
            sums = pass();
            ds = sums.phi / sums.e;
            if (std::fabs(ds) * m_eMax <= kWeightTolerance || settling.settled(ds)) {
                break;
            }
            s += ds;
        }
        s += ds;
        const double x = sums.x - ds * sums.cxe; // d<x>/ds = -Cov(x, e)
        if (x > 0.0) {
            bracket.hi = q;
        } else if (x < 0.0) {
            bracket.lo = q;
        } else {
            return {q, s, sums, passes};
        }
        const double rho = x / sums.e;
        // ρ² overflows where α is beyond about 1e154 although the slope does not; ρ then
        // multiplies the bracket instead.
        const double slope = std::isfinite(rho * rho)
                                 ? sums.vxx - 2.0 * rho * sums.cxe + rho * rho * sums.vee
                                 : sums.vxx - rho * (2.0 * sums.cxe - rho * sums.vee);
        const double newton = slope > 0.0 ? -x / slope : -std::copysign(kInfinity, x);
        const double tolerance = kQTolerance * (std::fabs(q) + kQFloor * m_qUnit);
        if (std::fabs(newton) <= tolerance) {
            // s(q) has slope ρ and curvature -ρ/newton, so half the tangent step is exact to
            // third order.
            return {q + newton, s + 0.5 * rho * newton, sums, passes};
        }
        if (bracket.hi - bracket.lo <= tolerance) {
            return {q, s, sums, passes};
        }
        const double next = bracket.next(q, newton);
        if (next == q) {
            return {q, s, sums, passes};
        }
        s += rho * (next - q); // along β(q): ds/dq = ρ
        q = next;
    }
}

MultifractalPoint MultifractalModel::endPoint(bool smallest) const {
    return smallest ? MultifractalPoint{m_alphaMin, m_fMin, kInfinity, -kInfinity}
                    : MultifractalPoint{m_alphaMax, m_fMax, -kInfinity, kInfinity};
}

MultifractalPoint MultifractalModel::pointOf(double alpha, const Root& root) const {
    return {alpha, root.f, root.q, root.f - root.q * alpha};
}

MultifractalPoint MultifractalModel::atAlpha(double alpha) const {
    if (m_single) {
        return {1.0, 1.0, 0.0, 1.0};
    }
    checkRange();
    if (!(alpha > m_alphaMin)) {
        return endPoint(true);
    }
    if (!(alpha < m_alphaMax)) {
        return endPoint(false);
    }
    std::vector<double> work;
    return pointOf(alpha, solveAlpha(alpha, 0.0, 1.0, work));
}

long MultifractalModel::solveBlock(std::size_t first, std::size_t points,
                                   std::span<MultifractalPoint> out,
                                   BlockProgress& progress) const {
    const std::size_t count = out.size();
    const double spread = m_alphaMax - m_alphaMin;
    const double last = static_cast<double>(points - 1);
    Track track;
    long blockPasses = 0;
    std::vector<double> work;
    for (std::size_t i = first; i < first + count; ++i) {
        progress.point();
        // spread i overflows where the range is near the largest double; i / last cannot.
        const double rise = spread * static_cast<double>(i);
        const double alpha =
            std::min(m_alphaMax,
                     m_alphaMin + (std::isfinite(rise) ? rise / last
                                                       : spread * (static_cast<double>(i) / last)));
        if (!(alpha > m_alphaMin && alpha < m_alphaMax)) {
            out[i - first] = endPoint(alpha <= m_alphaMin);
            continue;
        }
        const auto [q, s] = track.guess(alpha);
        const Root root = solveAlpha(alpha, q, s, work);
        blockPasses += root.passes;
        out[i - first] = pointOf(alpha, root);
        track.add(alpha, root.q, root.f, -root.sums.e / root.sums.vxx);
    }
    return blockPasses;
}

long MultifractalModel::spectrum(std::size_t points, const RunControl& control,
                                 const PointSink<MultifractalPoint>& sink) const {
    if (points < 2) {
        throw InputError("the multifractal spectrum needs at least 2 points");
    }
    SpectrumBounds bounds(m_alphaMin, m_alphaMax);
    const auto checked = [&](std::size_t first, std::span<const MultifractalPoint> some) {
        bounds.check(some);
        sink(first, some);
    };
    if (m_single) {
        const MultifractalPoint one = atAlpha(1.0);
        checked(0, {&one, 1});
        return 0;
    }
    checkRange();
    return solveEvenly<MultifractalPoint>(
        points, control, endPoint(true), endPoint(false),
        [&](std::size_t first, std::span<MultifractalPoint> out, detail::BlockProgress& progress) {
            return solveBlock(first, points, out, progress);
        },
        checked);
}

// Rows a block: each D_q is solved on its own, so the rows are the same on any threads.
constexpr std::size_t kDqBlock = 64;

void MultifractalModel::dqRows(double from, double step, std::size_t count,
                               const RunControl& control, const PointSink<DqPoint>& sink) const {
    SpectrumBounds bounds(m_alphaMin, m_alphaMax);
    internal::forEachWindow<DqPoint>(
        count, kDqBlock, control,
        [&](std::size_t first, std::span<DqPoint> rows) {
            for (std::size_t k = 0; k < rows.size(); ++k) {
                rows[k] = dq(from + static_cast<double>(first + k) * step);
            }
            if (control.done != nullptr) {
                *control.done += rows.size();
            }
        },
        [&](std::size_t first, std::span<const DqPoint> rows) {
            bounds.check(rows);
            sink(first, rows);
        });
}

namespace {

// out[i] = solve(qs[i]) for every order, a block of kDqBlock over the threads control asks for;
// each value is solved on its own, so the bits do not depend on the threads.
template <typename Row, typename Solve>
void solveEach(std::span<const double> qs, std::span<Row> out, const RunControl& control,
               const Solve& solve) {
    const auto block = [&](std::size_t first, std::size_t n) {
        for (std::size_t i = first; i < first + n; ++i) {
            out[i] = solve(qs[i]);
        }
        checkCancelled(control);
    };
    if (qs.size() <= kDqBlock) {
        block(0, qs.size()); // one block: not worth asking how many cores there are
    } else {
        forEachBlock(qs.size(), kDqBlock, control, block);
    }
}

} // namespace

void MultifractalModel::dqMany(std::span<const double> qs, std::span<DqPoint> out,
                               const RunControl& control) const {
    solveEach(qs, out, control, [&](double q) { return dq(q); });
    // In ascending q, so that D_q can be checked not to rise; NaN has been refused by dq.
    std::vector<DqPoint> sorted(out.begin(), out.end());
    std::sort(sorted.begin(), sorted.end(),
              [](const DqPoint& x, const DqPoint& y) { return x.q < y.q; });
    SpectrumBounds(m_alphaMin, m_alphaMax).check(std::span<const DqPoint>(sorted));
}

void MultifractalModel::exponentsMany(std::span<const double> qs, std::span<Exponents> out,
                                      const RunControl& control) const {
    solveEach(qs, out, control, [&](double q) { return exponents(q); });
    checkExponents(out);
}

namespace {

// Whether a ≤ b within SpectrumBounds::kSlack of the larger of |a|, |b| and scale.
bool atMost(double a, double b, double scale = 0.0) {
    const double slack =
        SpectrumBounds::kSlack * std::max({std::fabs(a), std::fabs(b), std::fabs(scale)});
    return a <= b || a <= b + slack; // the first also for equal infinities
}

[[noreturn]] void broken(const std::string& what) {
    throw RuntimeError(ErrorKind::Internal, what);
}

std::string pointText(const MultifractalPoint& p) {
    return "(alpha " + shortest(p.alpha) + ", f " + shortest(p.f) + ", q " + shortest(p.q) +
           ", beta " + shortest(p.beta) + ")";
}

std::string rowText(const DqPoint& row) {
    return "(q " + shortest(row.q) + ", beta " + shortest(row.beta) + ", D_q " + shortest(row.dq) +
           ")";
}

} // namespace

void SpectrumBounds::check(std::span<const MultifractalPoint> points) {
    for (const MultifractalPoint& p : points) {
        if (!(p.alpha >= m_alphaMin && p.alpha <= m_alphaMax)) {
            broken("the point " + pointText(p) + " lies outside the range of alpha [" +
                   shortest(m_alphaMin) + ", " + shortest(m_alphaMax) + "]");
        }
        if (!(atMost(0.0, p.f, 1.0) && atMost(p.f, std::min(p.alpha, 1.0)))) {
            broken("the point " + pointText(p) + " breaks 0 <= f <= min(alpha, 1)");
        }
        if (std::isfinite(p.q) && !atMost(std::fabs(p.beta - (p.f - p.q * p.alpha)), 0.0,
                                          std::fabs(p.f) + std::fabs(p.q * p.alpha))) {
            broken("the point " + pointText(p) + " breaks beta = f - q alpha");
        }
        if (m_point) {
            const MultifractalPoint& o = *m_point;
            const double step = p.alpha - o.alpha;
            const double rise = p.f - o.f;
            // The chord's slope lies between the slopes q at its ends; an end's q is infinite,
            // and bounds nothing there. An end's α is its ratio rounded, or a ratio within
            // kRatioTolerance of it, which moves q (α1 - α0) by up to q times that much.
            const double shift = std::isfinite(o.q) && std::isfinite(p.q)
                                     ? 0.0
                                     : 2.0 * MultifractalSolver::kRatioTolerance * p.alpha;
            const bool concave = atMost(p.q, o.q) &&
                                 (!std::isfinite(p.q) ||
                                  atMost(p.q * step - std::fabs(p.q) * shift, rise, o.f + p.f)) &&
                                 (!std::isfinite(o.q) ||
                                  atMost(rise, o.q * step + std::fabs(o.q) * shift, o.f + p.f));
            if (!(step >= 0.0 && concave)) {
                broken("the points " + pointText(o) + " and " + pointText(p) +
                       " break the concavity of f in alpha");
            }
        }
        m_point = p;
    }
}

void SpectrumBounds::checkRow(const DqPoint& row) const {
    const bool inRange = atMost(m_alphaMin, row.dq) && atMost(row.dq, m_alphaMax);
    if (!inRange) {
        broken("the row " + rowText(row) + " has D_q outside the range of alpha [" +
               shortest(m_alphaMin) + ", " + shortest(m_alphaMax) + "]");
    }
    if (!atMost(std::fabs(row.beta - (1.0 - row.q) * row.dq), 0.0, row.beta)) {
        broken("the row " + rowText(row) + " breaks beta = (1 - q) D_q");
    }
}

void SpectrumBounds::check(std::span<const DqPoint> rows) {
    for (const DqPoint& row : rows) {
        checkRow(row);
        if (m_row && !(row.q >= m_row->q && atMost(row.dq, m_row->dq))) {
            broken("the rows " + rowText(*m_row) + " and " + rowText(row) +
                   " break D_q not rising with q");
        }
        m_row = row;
    }
}

void SpectrumBounds::check(std::span<const Exponents> rows) const {
    // In descending q, that is ascending α, as SpectrumBounds takes points; D_q in ascending q.
    std::vector<Exponents> sorted(rows.begin(), rows.end());
    std::sort(sorted.begin(), sorted.end(),
              [](const Exponents& x, const Exponents& y) { return x.q > y.q; });
    std::vector<MultifractalPoint> points;
    std::vector<DqPoint> dqs;
    for (const Exponents& x : sorted) {
        points.push_back({x.alpha, x.f, x.q, x.beta});
        dqs.push_back({x.q, x.beta, x.dq});
        const bool inRange =
            atMost(m_alphaMin, x.hurst, m_alphaMin) && atMost(x.hurst, m_alphaMax, m_alphaMax);
        if (!inRange || !(x.tau == -x.beta && x.zeta == x.q * x.hurst)) {
            broken("h(" + shortest(x.q) + ") = " + shortest(x.hurst) +
                   " lies outside the range of alpha, or tau and zeta break their definitions");
        }
    }
    // Orders close together give points closer than their rounding, where the chords of f
    // say nothing: each point is checked alone, and α and h not to rise with q.
    for (std::size_t i = 0; i < sorted.size(); ++i) {
        SpectrumBounds(m_alphaMin, m_alphaMax).check(std::span(points).subspan(i, 1));
        if (i > 0 && !(atMost(sorted[i - 1].hurst, sorted[i].hurst) &&
                       atMost(sorted[i - 1].alpha, sorted[i].alpha))) {
            broken("h or alpha rises with q between q = " + shortest(sorted[i].q) + " and " +
                   shortest(sorted[i - 1].q));
        }
    }
    std::reverse(dqs.begin(), dqs.end());
    SpectrumBounds(m_alphaMin, m_alphaMax).check(std::span<const DqPoint>(dqs));
}

void MultifractalModel::checkExponents(std::span<const Exponents> rows) const {
    SpectrumBounds(m_alphaMin, m_alphaMax).check(rows);
}

MultifractalSolver::MultifractalSolver(std::span<const double> breakPoints,
                                       std::span<const double> weights)
    : m_model(std::make_shared<const MultifractalModel>(breakPoints, weights)) {}

double MultifractalSolver::alphaMin() const {
    return m_model->alphaMin();
}
double MultifractalSolver::alphaMax() const {
    return m_model->alphaMax();
}
bool MultifractalSolver::singlePoint() const {
    return m_model->singlePoint();
}
std::size_t MultifractalSolver::branchCount() const {
    return m_model->branchCount();
}
std::size_t MultifractalSolver::distinctCount() const {
    return m_model->distinctCount();
}
double MultifractalSolver::beta(double q) const {
    return m_model->beta(q);
}
Exponents MultifractalSolver::exponents(double q) const {
    return m_model->exponents(q);
}
void MultifractalSolver::exponentsMany(std::span<const double> qs, std::span<Exponents> out,
                                       const RunControl& control) const {
    m_model->exponentsMany(qs, out, control);
}
MultifractalPoint MultifractalSolver::atQ(double q) const {
    return m_model->atQ(q);
}
MultifractalPoint MultifractalSolver::atAlpha(double alpha) const {
    return m_model->atAlpha(alpha);
}
DqPoint MultifractalSolver::dq(double q) const {
    return m_model->dq(q);
}

MultifractalSpectrum MultifractalSolver::spectrum(std::size_t points,
                                                  const RunControl& control) const {
    return gathered<MultifractalPoint>(
        [&](const PointSink<MultifractalPoint>& sink) { return spectrum(points, control, sink); });
}

long MultifractalSolver::spectrum(std::size_t points, const RunControl& control,
                                  const PointSink<MultifractalPoint>& sink) const {
    return m_model->spectrum(points, control, sink);
}

void MultifractalSolver::dqRows(double from, double step, std::size_t count,
                                const RunControl& control, const PointSink<DqPoint>& sink) const {
    m_model->dqRows(from, step, count, control, sink);
}

void MultifractalSolver::dqMany(std::span<const double> qs, std::span<DqPoint> out,
                                const RunControl& control) const {
    m_model->dqMany(qs, out, control);
}

} // namespace veltrane
