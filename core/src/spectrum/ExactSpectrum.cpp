#include "Bracket.h"
#include "DiagramBounds.h"
#include "EvenlySpaced.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <stdexcept>
#include <string>
#include <veltrane/errors.h>
#include <veltrane/exact.h>
#include <veltrane/maps.h>
#include <veltrane/run.h>
#include <veltrane/text.h>

namespace veltrane {

namespace detail {

// The solver itself, shared by the copies of an ExactSolver.
class ExactModel {
public:
    explicit ExactModel(std::span<const double> exponents);

    double lambdaMin() const { return m_exponents.front(); }
    double lambdaMax() const { return m_exponents.back(); }
    std::size_t branchCount() const { return m_branchCount; }
    std::size_t distinctCount() const { return m_exponents.size(); }
    ExactPoint atBeta(double beta) const;
    ExactPoint atLyapunov(double lambda) const;
    long spectrum(std::size_t points, const RunControl& control,
                  const PointSink<ExactPoint>& sink) const;

private:
    struct Moments {
        double excess = 0.0;   // mean exponent of the weights minus λ
        double variance = 0.0; // variance of the exponents under the weights
        double entropy = 0.0;  // ln Σ_j m_j exp(-β (λ_j - λ)), the entropy where excess = 0
    };
    struct Root {
        double beta = 0.0;
        Moments moments;
        long evaluations = 0;
    };

    Moments evaluate(double beta, double lambda) const;
    // Points first .. first + out.size() - 1 of a spectrum of points points, into out; returns
    // the passes made.
    long solveBlock(std::size_t first, std::size_t points, std::span<ExactPoint> out,
                    BlockProgress& progress) const;
    Root solve(double lambda, double guess) const;
    ExactPoint endPoint(bool smallest) const;
    ExactPoint single() const;

    std::vector<double> m_exponents;    // distinct, ascending
    std::vector<double> m_multiplicity; // branches sharing each exponent
    std::size_t m_branchCount = 0;
};

} // namespace detail

using detail::ExactModel;

namespace {

// n full branches: the topological entropy is ln n.
double topEntropyOf(const ExactModel& solver) {
    return std::log(static_cast<double>(solver.branchCount()));
}

DiagramBounds boundsOf(const ExactModel& solver) {
    return {solver.lambdaMin(), solver.lambdaMax(), topEntropyOf(solver), 0};
}

constexpr double kInfinity = std::numeric_limits<double>::infinity();

// exp of anything below this is exactly 0 in double (the smallest subnormal is e^-744.4), so a
// term this far below the largest one contributes nothing and neither does any term after it.
constexpr double kVanishing = -746.0;

// Newton stops once its step is below this fraction of |β| + 1/(λmax - λmin). The entropy is
// stationary in β at the root, so its error is of the order of the square of this.
constexpr double kBetaTolerance = 1e-10;

// Far more than safeguarded Newton needs: each fallback step halves the bracket or doubles an
// open one, and the β of any double λ lies within about 2^70 of 0.
constexpr int kMaxEvaluations = 2000;

} // namespace

ExactModel::ExactModel(std::span<const double> exponents) : m_branchCount(exponents.size()) {
    if (exponents.empty()) {
        throw InputError("the exact spectrum needs at least one branch");
    }
    std::vector<double> sorted(exponents.begin(), exponents.end());
    for (const double e : sorted) {
        if (!(std::isfinite(e) && e > 0.0)) {
            throw InputError("branch exponents must be finite and positive");
        }
    }
    std::sort(sorted.begin(), sorted.end());
    for (const double e : sorted) {
        if (m_exponents.empty() || e != m_exponents.back()) {
            m_exponents.push_back(e);
            m_multiplicity.push_back(1.0);
        } else {
            m_multiplicity.back() += 1.0;
        }
    }
}

ExactModel::Moments ExactModel::evaluate(double beta, double lambda) const {
    // Every term m_j exp(-β (λ_j - λ)) is taken relative to the largest, exp(top), so no
    // power overflows. The exponents ascend, so the largest term is the first one for β ≥ 0
    // and the last one for β < 0, and the terms fall steadily from there.
    const std::size_t n = m_exponents.size();
    const bool fromSmallest = beta >= 0.0;
    const std::size_t first = fromSmallest ? 0 : n - 1;
    const double anchor = m_exponents[first];
    const double anchorWeight = m_multiplicity[first];
    const double anchorOffset = anchor - lambda;
    // The anchor's own term is exactly its multiplicity; the others are summed apart so that
    // log1p keeps the entropy accurate when they are small, near the ends and where h is small.
    double rest = 0.0;
    double s1 = anchorWeight * anchorOffset;
    double s2 = s1 * anchorOffset;
    for (std::size_t k = 1; k < n; ++k) {
        const std::size_t j = fromSmallest ? k : n - 1 - k;
        const double shift = -beta * (m_exponents[j] - anchor);
        if (shift < kVanishing) {
            break;
        }
        const double u = m_multiplicity[j] * std::exp(shift);
        const double x = m_exponents[j] - lambda;
        rest += u;
        s1 += u * x;
        s2 += u * x * x;
    }
    const double s0 = anchorWeight + rest;
    Moments moments;
    moments.excess = s1 / s0;
    moments.variance = std::max(0.0, s2 / s0 - moments.excess * moments.excess);
    moments.entropy =
        -beta * anchorOffset + std::log(anchorWeight) + std::log1p(rest / anchorWeight);
    return moments;
}

// The mean exponent μ(β) falls strictly from λmax to λmin as β grows, so μ(β) = λ has one
// root. Its entropy function F(β) = ln Σ m_j exp(-β (λ_j - λ)) is convex with F' = λ - μ and
// F'' = variance, and the entropy at λ is its minimum. Newton steps on F' are kept inside a
// bracket of the root; where a step would leave it, or does not shrink fast enough, the
// bracket is halved, or widened geometrically while one side is still open.
ExactModel::Root ExactModel::solve(double lambda, double guess) const {
    const double scale = 1.0 / (lambdaMax() - lambdaMin());
    Bracket bracket(scale);
    double beta = guess;
    for (long evaluations = 1; evaluations <= kMaxEvaluations; ++evaluations) {
        const Moments moments = evaluate(beta, lambda);
        if (moments.excess > 0.0) {
            bracket.lo = beta;
        } else if (moments.excess < 0.0) {
            bracket.hi = beta;
        } else {
            return {beta, moments, evaluations};
        }
        const double tolerance = kBetaTolerance * (std::fabs(beta) + scale);
        const double newton = moments.variance > 0.0 ? moments.excess / moments.variance
                                                     : std::copysign(kInfinity, moments.excess);
        if (std::fabs(newton) <= tolerance) {
            // The step left over is the error of β to first order, so β takes it; the
            // entropy, flat in β here, keeps this evaluation's value.
            return {beta + newton, moments, evaluations};
        }
        if (bracket.hi - bracket.lo <= tolerance) {
            return {beta, moments, evaluations};
        }
        const double next = bracket.next(beta, newton);
        if (next == beta) {
            return {beta, moments, evaluations};
        }
        beta = next;
    }
    throw RuntimeError(ErrorKind::InvalidOperation,
                       "no weights found for the Lyapunov exponent " + shortest(lambda));
}

ExactPoint ExactModel::endPoint(bool smallest) const {
    // All weight on the branches sharing the end exponent, spread evenly among them.
    const double lambda = smallest ? lambdaMin() : lambdaMax();
    const double h = std::log(smallest ? m_multiplicity.front() : m_multiplicity.back());
    return boundsOf(*this).point(lambda, h, smallest ? kInfinity : -kInfinity);
}

ExactPoint ExactModel::single() const {
    // ln n at -ln(1/n) rounded: the dimension is 1 up to rounding, and set at 1.
    return boundsOf(*this).point(lambdaMin(), std::log(static_cast<double>(m_branchCount)), 0.0);
}

ExactPoint ExactModel::atBeta(double beta) const {
    if (m_exponents.size() == 1) {
        ExactPoint point = single();
        point.beta = beta;
        return point;
    }
    if (std::isinf(beta)) {
        return endPoint(beta > 0.0);
    }
    // A first pass finds the mean roughly; centring the second pass on it keeps the entropy
    // free of the cancellation in βλ + ln Σ L^β.
    const double mean = evaluate(beta, 0.0).excess;
    const Moments moments = evaluate(beta, mean);
    const double lambda = mean + moments.excess;
    return boundsOf(*this).point(lambda, moments.entropy + beta * moments.excess, beta);
}

ExactPoint ExactModel::atLyapunov(double lambda) const {
    if (m_exponents.size() == 1) {
        return single();
    }
    if (!(lambda > lambdaMin())) {
        return endPoint(true);
    }
    if (!(lambda < lambdaMax())) {
        return endPoint(false);
    }
    const Root root = solve(lambda, 0.0);
    return boundsOf(*this).point(lambda, root.moments.entropy, root.beta);
}

long ExactModel::solveBlock(std::size_t first, std::size_t points, std::span<ExactPoint> out,
                            BlockProgress& progress) const {
    const std::size_t count = out.size();
    const DiagramBounds bounds = boundsOf(*this);
    const double spread = lambdaMax() - lambdaMin();
    const double last = static_cast<double>(points - 1);
    bool haveRoot = false;
    double previousLambda = 0.0;
    double previousBeta = 0.0;
    double previousVariance = 0.0;
    long blockEvaluations = 0;
    for (std::size_t i = first; i < first + count; ++i) {
        progress.point();
        const double lambda =
            std::min(lambdaMax(), lambdaMin() + spread * static_cast<double>(i) / last);
        if (!(lambda > lambdaMin() && lambda < lambdaMax())) {
            // Rounding put this abscissa on an end; its point is that end's.
            out[i - first] = endPoint(lambda <= lambdaMin());
            continue;
        }
        // β falls as λ grows with dβ/dλ = -1/variance, so the tangent from the previous root
        // is a close first guess.
        double guess = 0.0;
        if (haveRoot) {
            guess = previousVariance > 0.0
                        ? previousBeta - (lambda - previousLambda) / previousVariance
                        : previousBeta;
            if (!std::isfinite(guess)) {
                guess = previousBeta; // a vanishing variance near an end
            }
        }
        const Root root = solve(lambda, guess);
        blockEvaluations += root.evaluations;
        out[i - first] = bounds.point(lambda, root.moments.entropy, root.beta);
        haveRoot = true;
        previousLambda = lambda;
        previousBeta = root.beta;
        previousVariance = root.moments.variance;
    }
    return blockEvaluations;
}

long ExactModel::spectrum(std::size_t points, const RunControl& control,
                          const PointSink<ExactPoint>& sink) const {
    if (points < 2) {
        throw InputError("the exact spectrum needs at least 2 points");
    }
    if (m_exponents.size() == 1) {
        const ExactPoint one = single();
        DiagramBounds(lambdaMin(), lambdaMax(), topEntropyOf(*this), 1).check(0, {&one, 1});
        sink(0, {&one, 1});
        return 0;
    }
    DiagramBounds checked(lambdaMin(), lambdaMax(), topEntropyOf(*this), points);
    return solveEvenly<ExactPoint>(
        points, control, endPoint(true), endPoint(false),
        [&](std::size_t first, std::span<ExactPoint> out, detail::BlockProgress& progress) {
            return solveBlock(first, points, out, progress);
        },
        [&](std::size_t first, std::span<const ExactPoint> some) {
            checked.check(first, some);
            sink(first, some);
        });
}

ExactSolver::ExactSolver(std::span<const double> exponents)
    : m_model(std::make_shared<const ExactModel>(exponents)) {}

double ExactSolver::lambdaMin() const {
    return m_model->lambdaMin();
}
double ExactSolver::lambdaMax() const {
    return m_model->lambdaMax();
}
std::size_t ExactSolver::branchCount() const {
    return m_model->branchCount();
}
std::size_t ExactSolver::distinctCount() const {
    return m_model->distinctCount();
}
ExactPoint ExactSolver::atBeta(double beta) const {
    return m_model->atBeta(beta);
}
ExactPoint ExactSolver::atLyapunov(double lambda) const {
    return m_model->atLyapunov(lambda);
}

ExactSpectrum ExactSolver::spectrum(std::size_t points, const RunControl& control) const {
    return gathered<ExactPoint>(
        [&](const PointSink<ExactPoint>& sink) { return spectrum(points, control, sink); });
}

long ExactSolver::spectrum(std::size_t points, const RunControl& control,
                           const PointSink<ExactPoint>& sink) const {
    return m_model->spectrum(points, control, sink);
}

ExactSpectrum exactSpectrum(std::span<const double> breakPoints, std::size_t points,
                            const RunControl& control) {
    return ExactSolver(branchExponents(breakPoints)).spectrum(points, control);
}

} // namespace veltrane
