#include "Bracket.h"
#include "CycleMeans.h"
#include "EvenlySpaced.h"
#include "Perron.h"
#include "TransitionMap.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <optional>
#include <veltrane/errors.h>
#include <veltrane/markov.h>
#include <veltrane/text.h>

namespace veltrane {

namespace {

constexpr double kInfinity = std::numeric_limits<double>::infinity();

// Cycle means this close, relative to the largest |exponent|, count as equal: the exponents
// are rounded to a unit of 2^-53 each, and a mean over a cycle of up to some thousands of
// pieces carries those errors.
constexpr double kTie = 0x1p-40;

// The secant search on β stops once its step is below this fraction of |β| + 1/(λmax - λmin).
// The entropy is stationary in β at the root, and where the search ends on a Newton step the
// value returned is corrected by that step, so what is left of it enters only at third order
// (at second order where it ends on a closed bracket). The entropies of the maps tested are
// within 1e-13 relative of long-double references; the suite checks 1e-12.
constexpr double kBetaTolerance = 1e-6;

// The Perron vectors are iterated until the weights π are this close (relative). The root, a
// two-sided Rayleigh quotient, has an error of the order of the square, below rounding; the
// mean exponent, F'(β), is within about this fraction of the range λmax - λmin, which moves
// the last Newton step by that over F'' and the entropy by the square of it. Tighter, each point
// costs about three times the products for no change beyond 1e-14 in the entropy.
constexpr double kVectorTolerance = 1e-8;

constexpr int kMaxEvaluations = 500;

// exp of more than this would overflow; the weights are scaled down so that none exceeds it.
constexpr double kLargestExponent = 700.0;

} // namespace

namespace detail {

struct MarkovModel {
    TransitionMap map;
    CycleEnd smallest;
    CycleEnd largest;
    std::optional<ExactSolver> full; // for maps whose every piece covers [0, 1]

    double spread() const { return largest.mean - smallest.mean; }
    bool single() const { return !(spread() > 0.0); }
};

} // namespace detail

namespace {

using detail::MarkovModel;

// One evaluation of F(β) = P(β) + βλ, the function whose minimum over β is h(λ).
struct Evaluation {
    double value = 0.0;     // F(β)
    double excess = 0.0;    // the equilibrium mean exponent minus λ, -F'(β)
    double curvature = 0.0; // the variance of the exponents under the equilibrium weights
};

// The Perron vectors solved at the last two values of β, to start the next solution from
// their line taken to the next β: the vectors change smoothly with β, so that start is closer
// by an order of the step than the last vectors alone. Only near them (within twice their
// distance), and kept positive.
struct VectorHistory {
    PerronVectors last;
    PerronVectors before;
    double lastBeta = 0.0;
    double beforeBeta = 0.0;

    void push(const PerronVectors& vectors, double beta) {
        std::swap(before, last);
        last.right.assign(vectors.right.begin(), vectors.right.end());
        last.left.assign(vectors.left.begin(), vectors.left.end());
        beforeBeta = lastBeta;
        lastBeta = beta;
    }

    void extend(double beta, PerronVectors& out) const {
        if (before.right.empty() || lastBeta == beforeBeta) {
            return;
        }
        const double t = (beta - lastBeta) / (lastBeta - beforeBeta);
        if (!(std::fabs(t) <= 2.0)) {
            return;
        }
        const auto line = [t](const std::vector<double>& a, const std::vector<double>& b,
                              std::vector<double>& to) {
            to.resize(a.size());
            for (std::size_t i = 0; i < a.size(); ++i) {
                to[i] = std::max(0.5 * a[i], a[i] + t * (a[i] - b[i]));
            }
        };
        line(last.right, before.right, out.right);
        line(last.left, before.left, out.left);
    }
};

// What the evaluations of one run of points share: scratch space and the last Perron vectors,
// from which the next evaluation starts.
class Evaluator {
public:
    Evaluator(const MarkovModel& model, const RunControl& control)
        : m_model(model), m_control(control), m_iteration(model.map.rows),
          m_weights(model.map.exponents.size()) {}

    // F(β) at λ. The matrix is taken as diag(exp(-β (λ_i - λ_end))) A with λ_end the end the
    // weights lean to (λmin for β ≥ 0, λmax below), so that a cycle attaining that end has
    // weights of product 1 and ln ρ ≥ 0; F is then β (λ - λ_end) + ln ρ, two terms of the
    // same sign as the entropy, and keeps its relative accuracy.
    Evaluation at(double beta, double lambda) {
        const std::vector<double>& f = m_model.map.exponents;
        const double end = beta >= 0.0 ? m_model.smallest.mean : m_model.largest.mean;
        double top = -kInfinity;
        for (const double e : f) {
            top = std::max(top, -beta * (e - end));
        }
        const double lift = std::max(0.0, top - kLargestExponent);
        for (std::size_t i = 0; i < f.size(); ++i) {
            m_weights[i] = std::exp(-beta * (f[i] - end) - lift);
        }
        // The first evaluation of a point starts from the line through the last two points,
        // the others from that through the last two evaluations, of this point's search.
        if (m_firstOfPoint) {
            m_points.extend(beta, m_vectors);
        } else {
            m_evaluations.extend(beta, m_vectors);
        }
        m_firstOfPoint = false;
        const PerronRoot root =
            m_iteration.solve(m_weights, f, m_vectors, kVectorTolerance, m_control);
        m_products += root.products;
        m_evaluations.push(m_vectors, beta);
        return {beta * (lambda - end) + lift + root.logRoot, root.mean - lambda, root.variance};
    }

    long products() const { return m_products; }

    // The next evaluation is the first of a point.
    void startPoint() { m_firstOfPoint = true; }

    // The last evaluation was at the point's root.
    void solved() { m_points.push(m_evaluations.last, m_evaluations.lastBeta); }

private:
    const MarkovModel& m_model;
    RunControl m_control; // a copy: callers may pass a temporary
    PerronIteration m_iteration;
    PerronVectors m_vectors;
    VectorHistory m_evaluations;
    VectorHistory m_points;
    bool m_firstOfPoint = false;
    std::vector<double> m_weights;
    long m_products = 0;
};

struct Root {
    double beta = 0.0;
    double entropy = 0.0;
    double curvature = 0.0; // -dλ/dβ near the root, for the next point's first guess
};

// The minimum of the convex F over β: a secant search on F' = -excess, which rises with β,
// kept inside a bracket of the root (halved, or widened while open, where a step would leave
// it). The first step takes the equilibrium variance for F''; later ones the secant's slope.
Root minimize(Evaluator& evaluator, double lambda, double guess, double curvatureGuess,
              double scale) {
    Bracket bracket(scale);
    double beta = guess;
    std::optional<std::pair<double, double>> before; // β and excess of the evaluation before
    double curvature = curvatureGuess;
    for (int evaluations = 1; evaluations <= kMaxEvaluations; ++evaluations) {
        const Evaluation e = evaluator.at(beta, lambda);
        if (e.excess > 0.0) {
            bracket.lo = beta;
        } else if (e.excess < 0.0) {
            bracket.hi = beta;
        } else {
            return {beta, e.value, curvature};
        }
        if (before && beta != before->first) {
            const double slope = (before->second - e.excess) / (beta - before->first);
            curvature = slope > 0.0 ? slope : e.curvature;
        } else if (!(curvature > 0.0)) {
            curvature = e.curvature;
        }
        before = std::pair(beta, e.excess);
        const double newton =
            curvature > 0.0 ? e.excess / curvature : std::copysign(kInfinity, e.excess);
        const double tolerance = kBetaTolerance * (std::fabs(beta) + scale);
        if (std::fabs(newton) <= tolerance) {
            // F at the root is F here less F'^2 / 2F'' to second order.
            return {beta + newton, e.value - 0.5 * e.excess * newton, curvature};
        }
        if (bracket.hi - bracket.lo <= tolerance) {
            return {beta, e.value, curvature};
        }
        const double next = bracket.next(beta, newton);
        if (next == beta) {
            return {beta, e.value, curvature};
        }
        beta = next;
    }
    throw RuntimeError(ErrorKind::InvalidOperation,
                       "no weights found for the Lyapunov exponent " + shortest(lambda));
}

ExactPoint endPoint(const MarkovModel& model, bool smallest) {
    const CycleEnd& end = smallest ? model.smallest : model.largest;
    return {end.mean, end.entropy, end.entropy / end.mean, smallest ? kInfinity : -kInfinity};
}

ExactPoint singlePoint(const MarkovModel& model) {
    ExactPoint point = endPoint(model, true);
    point.beta = 0.0;
    return point;
}

// Points first .. first + out.size() - 1 of an evenly spaced spectrum, from a fresh start.
long solveBlock(const MarkovModel& model, std::size_t first, std::size_t points,
                std::span<ExactPoint> out, detail::BlockProgress& progress,
                const RunControl& control) {
    Evaluator evaluator(model, control);
    const double lo = model.smallest.mean;
    const double hi = model.largest.mean;
    const double scale = 1.0 / model.spread();
    const double last = static_cast<double>(points - 1);
    std::optional<Root> previous;
    double previousLambda = 0.0;
    for (std::size_t i = first; i < first + out.size(); ++i) {
        progress.point();
        const double lambda = std::min(hi, lo + model.spread() * static_cast<double>(i) / last);
        if (!(lambda > lo && lambda < hi)) {
            out[i - first] = endPoint(model, lambda <= lo);
            continue;
        }
        // β falls as λ grows with dβ/dλ = -1/F'', so the tangent from the previous root is a
        // close first guess.
        double guess = 0.0;
        double curvature = 0.0;
        if (previous) {
            curvature = previous->curvature;
            guess = previous->beta - (lambda - previousLambda) / curvature;
            if (!std::isfinite(guess)) {
                guess = previous->beta;
            }
        }
        evaluator.startPoint();
        const Root root = minimize(evaluator, lambda, guess, curvature, scale);
        evaluator.solved();
        out[i - first] = {lambda, root.entropy, root.entropy / lambda, root.beta};
        previous = root;
        previousLambda = lambda;
    }
    return evaluator.products();
}

} // namespace

MarkovSolver::MarkovSolver(std::span<const MarkovPiece> pieces) {
    auto model = std::make_shared<MarkovModel>();
    model->map = transitionMap(pieces, pieceName);
    const std::vector<double>& f = model->map.exponents;
    if (model->map.fullBranch) {
        model->full.emplace(f);
        const ExactPoint lo = model->full->spectrum(2).points.front();
        const ExactPoint hi = model->full->spectrum(2).points.back();
        model->smallest = {lo.lyapunov, lo.entropy};
        model->largest = {hi.lyapunov, hi.entropy};
    } else {
        double largest = 0.0;
        for (const double e : f) {
            largest = std::max(largest, e);
        }
        const double tie = kTie * largest;
        model->smallest = smallestCycleMean(model->map.rows, f, tie, {});
        std::vector<double> negated(f.size());
        std::transform(f.begin(), f.end(), negated.begin(), [](double e) { return -e; });
        const CycleEnd top = smallestCycleMean(model->map.rows, negated, tie, {});
        model->largest = {-top.mean, top.entropy};
        if (model->largest.mean - model->smallest.mean <= tie) {
            model->largest = model->smallest;
        }
    }
    m_model = std::move(model);
}

std::size_t MarkovSolver::pieceCount() const {
    return m_model->map.exponents.size();
}

const std::vector<double>& MarkovSolver::exponents() const {
    return m_model->map.exponents;
}

double MarkovSolver::lambdaMin() const {
    return m_model->smallest.mean;
}

double MarkovSolver::lambdaMax() const {
    return m_model->largest.mean;
}

bool MarkovSolver::fullBranch() const {
    return m_model->map.fullBranch;
}

double MarkovSolver::pressure(double beta) const {
    // P(β) = F(β) - βλ at any λ; at λ_end the weights' own end, F has no βλ term to cancel.
    Evaluator evaluator(*m_model, {});
    const double end = beta >= 0.0 ? lambdaMin() : lambdaMax();
    return evaluator.at(beta, end).value - beta * end;
}

ExactPoint MarkovSolver::atLyapunov(double lambda) const {
    if (m_model->full) {
        return m_model->full->atLyapunov(lambda);
    }
    if (m_model->single()) {
        return singlePoint(*m_model);
    }
    if (!(lambda > lambdaMin())) {
        return endPoint(*m_model, true);
    }
    if (!(lambda < lambdaMax())) {
        return endPoint(*m_model, false);
    }
    Evaluator evaluator(*m_model, {});
    const Root root = minimize(evaluator, lambda, 0.0, 0.0, 1.0 / m_model->spread());
    return {lambda, root.entropy, root.entropy / lambda, root.beta};
}

ExactSpectrum MarkovSolver::spectrum(std::size_t points, const RunControl& control) const {
    ExactSpectrum result;
    result.passes = spectrum(points, control, [&](std::size_t, std::span<const ExactPoint> some) {
        result.points.insert(result.points.end(), some.begin(), some.end());
    });
    return result;
}

long MarkovSolver::spectrum(std::size_t points, const RunControl& control,
                            const PointSink<ExactPoint>& sink) const {
    if (m_model->full) {
        return m_model->full->spectrum(points, control, sink);
    }
    if (points < 2) {
        throw InputError("the exact spectrum needs at least 2 points");
    }
    const MarkovModel& model = *m_model;
    if (model.single()) {
        const ExactPoint one = singlePoint(model);
        sink(0, {&one, 1});
        return 0;
    }
    return solveEvenly<ExactPoint>(
        points, control, endPoint(model, true), endPoint(model, false),
        [&](std::size_t first, std::span<ExactPoint> out, detail::BlockProgress& progress) {
            return solveBlock(model, first, points, out, progress, control);
        },
        sink);
}

ExactSpectrum markovSpectrum(std::span<const MarkovPiece> pieces, std::size_t points,
                             const RunControl& control) {
    return MarkovSolver(pieces).spectrum(points, control);
}

} // namespace veltrane
