#include "CycleMeans.h"
#include "EvenlySpaced.h"
#include "Perron.h"
#include "TransitionMap.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cmath>
#include <limits>
#include <optional>
#include <veltrane/errors.h>
#include <veltrane/markov.h>
#include <veltrane/text.h>

namespace veltrane {

namespace {

constexpr double kInfinity = std::numeric_limits<double>::infinity();

// Cycle means within this fraction of their size count as equal (CycleMeans.h): the exponents
// are rounded to a unit of 2^-53 each, and the means are formed in long double.
constexpr double kTie = 0x1p-40;

// The entropy of each point is enclosed in bounds this close, relative to itself, or as close as
// the rounding of the Perron root's bounds allows where that is wider (near the ends, where the
// entropy is small beside the terms it is formed from).
constexpr double kEntropyTolerance = 1e-14;

// The Perron root of an evaluation on the way to the minimum, before the last: enough for its
// sign and Newton step.
constexpr double kSearchTolerance = 1e-9;

// Far more than the search needs (a handful of evaluations a point): each fallback step halves
// the bracket of the minimum or doubles an open one.
constexpr int kMaxEvaluations = 400;

} // namespace

namespace detail {

struct MarkovModel {
    TransitionMap map;
    CycleEnd smallest;
    CycleEnd largest;                  // mean λmax; potentials those of -f
    std::optional<ExactSolver> full;   // for maps whose every piece covers [0, 1]
    std::unique_ptr<PerronMap> perron; // for the others

    double spread() const { return largest.mean - smallest.mean; }
    bool single() const { return !(spread() > 0.0); }
};

} // namespace detail

namespace {

using detail::MarkovModel;

// One evaluation of F(β) = P(β) + βλ, whose minimum over β is h(λ), with bounds.
struct Evaluation {
    double beta = 0.0;
    double value = 0.0; // F(β), from the Rayleigh quotient
    double lower = 0.0; // bounds of F(β) from those of the Perron root
    double upper = 0.0;
    double slope = 0.0;     // F'(β) = λ - the equilibrium mean exponent
    double curvature = 0.0; // F''(β): the variance of the exponents under the equilibrium
};

// The Perron vectors solved at the last two values of β, to start the next solution from their
// line taken to the next β: the vectors of the balanced matrix change smoothly with β, so that
// start is closer by an order of the step than the last vectors alone. Only near them (within
// twice their distance), and kept positive.
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

    // Into out, the vectors to start β from.
    void start(double beta, PerronVectors& out) const {
        if (last.right.empty()) {
            return;
        }
        const double t = (beta - lastBeta) / (lastBeta - beforeBeta);
        if (before.right.empty() || lastBeta == beforeBeta || !(std::fabs(t) <= 2.0)) {
            out.right.assign(last.right.begin(), last.right.end());
            out.left.assign(last.left.begin(), last.left.end());
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

// What the evaluations of one run of points share: a Perron solver with its scratch space, and
// the vectors of the last evaluations, from which the next one starts.
class Evaluator {
public:
    Evaluator(const MarkovModel& model, const RunControl& control)
        : m_model(model), m_control(control), m_solver(*model.perron) {}

    // F(β) at λ with the Perron root's bounds within tolerance. F is β (λ - λ_end) + ln ρ(B),
    // with λ_end the end the weights lean to (λmin for β ≥ 0, λmax below) and B the balanced
    // matrix: two terms of the sign of the entropy, so that F keeps its relative accuracy.
    Evaluation at(double beta, double lambda, double tolerance) {
        const double end = beta >= 0.0 ? m_model.smallest.mean : m_model.largest.mean;
        m_history.start(beta, m_vectors);
        const PerronRoot root = m_solver.solve(beta, m_vectors, tolerance, m_control);
        m_products += root.products;
        m_history.push(m_vectors, beta);
        const double linear = beta * (lambda - end);
        return {beta,
                linear + root.logBalanced,
                linear + root.logBalancedLower,
                linear + root.logBalancedUpper,
                lambda - root.mean,
                root.variance};
    }

    // ln ρ(M_β) within bounds of relative width tolerance.
    PerronRoot pressure(double beta, double tolerance) {
        return m_solver.solve(beta, m_vectors, tolerance, m_control);
    }

    long products() const { return m_products; }

private:
    const MarkovModel& m_model;
    RunControl m_control; // a copy: callers may pass a temporary
    PerronSolver m_solver;
    PerronVectors m_vectors;
    VectorHistory m_history;
    long m_products = 0;
};

struct Root {
    double beta = 0.0;
    double entropy = 0.0;
    double curvature = 0.0; // F'' at the root: -dλ/dβ, for the next point's first guess
};

// An evaluation the search keeps, once there is one.
struct Kept {
    Evaluation e;
    bool set = false;

    explicit operator bool() const { return set; }
    const Evaluation* operator->() const { return &e; }
    const Evaluation& operator*() const { return e; }
};

// The bounds of the minimum of F that three evaluations a < b < c prove, when F(b) is below F(a)
// and F(c) beyond doubt: F is convex, so on [a, b] it lies above the line through b and c, on
// [b, c] above that through a and b, and outside [a, c] above min(F(a), F(c)) > F(b). Only values
// enter, no slopes: near a corner of F, where two loosely coupled parts of a map have nearly the
// same pressure, the equilibrium weights and with them the slopes are known far less well than
// the values.
std::optional<std::pair<double, double>> bracketOfMinimum(const Evaluation& a, const Evaluation& b,
                                                          const Evaluation& c) {
    if (!(a.beta < b.beta && b.beta < c.beta && b.upper < a.lower && b.upper < c.lower)) {
        return std::nullopt;
    }
    const double rise = std::max((a.upper - b.lower) * (c.beta - b.beta) / (b.beta - a.beta),
                                 (c.upper - b.lower) * (b.beta - a.beta) / (c.beta - b.beta));
    return std::pair(b.lower - rise, b.upper);
}

// The search for the minimum of the convex F over β at one λ: the evaluations so far, those that
// bracket the minimizer by their slopes, and F'' as the slopes of the last two show it.
class Search {
public:
    Search(Evaluator& evaluator, double lambda, double curvature)
        : m_evaluator(evaluator), m_lambda(lambda), m_curvature(curvature) {}

    Evaluation at(double beta, double tolerance) {
        const Evaluation e = m_evaluator.at(beta, m_lambda, tolerance);
        if (++m_evaluations > kMaxEvaluations) {
            throw RuntimeError(ErrorKind::Internal,
                               "no minimum of the pressure found for the Lyapunov exponent " +
                                   shortest(m_lambda));
        }
        if (std::getenv("VT_TRACE")) std::fprintf(stderr, "lam %.17g beta %.17g tol %.1e F %.17g [%.3e %.3e] slope %.6e kappa %.4e\n", m_lambda, beta, tolerance, e.value, e.lower-e.value, e.upper-e.value, e.slope, m_curvature);
        if (e.slope > 0.0 && (!m_hi || e.beta < m_hi->beta)) {
            m_hi = {e, true};
        } else if (e.slope < 0.0 && (!m_lo || e.beta > m_lo->beta)) {
            m_lo = {e, true};
        }
        if (tolerance <= kEntropyTolerance) {
            const auto at = std::lower_bound(
                m_tight.begin(), m_tight.end(), e.beta,
                [](const Evaluation& k, double b) { return k.beta < b; });
            if (at == m_tight.end() || at->beta != e.beta) {
                m_tight.insert(at, e);
            }
        }
        // F'' from the slopes of the last two evaluations where their difference is well above
        // what the loose ones may be off by; F'' is the asymptotic variance of the exponents, not
        // their variance under the equilibrium weights, which only starts the search.
        if (m_last && e.beta != m_last->beta) {
            const double secant = (e.slope - m_last->slope) / (e.beta - m_last->beta);
            const double noise = std::max(tolerance, m_lastTolerance) * std::fabs(m_lambda);
            if (secant > 0.0 && std::fabs(e.slope - m_last->slope) > 1e2 * noise) {
                m_curvature = secant;
            }
        }
        if (!(m_curvature > 0.0)) {
            m_curvature = e.curvature > 0.0 ? e.curvature : 1.0;
        }
        m_last = {e, true};
        m_lastTolerance = tolerance;
        return e;
    }

    // The tight evaluation of least F, and its nearest tight neighbours below and above.
    struct Around {
        Kept below;
        Kept best;
        Kept above;
    };
    Around around() const {
        Around a;
        if (m_tight.empty()) {
            return a;
        }
        const auto best = std::min_element(
            m_tight.begin(), m_tight.end(),
            [](const Evaluation& x, const Evaluation& y) { return x.upper < y.upper; });
        a.best = {*best, true};
        if (best != m_tight.begin()) {
            a.below = {*(best - 1), true};
        }
        if (best + 1 != m_tight.end()) {
            a.above = {*(best + 1), true};
        }
        return a;
    }

    // The two tight evaluations next below (or above) beta, nearest first.
    std::vector<Evaluation> tightSide(double beta, bool above) const {
        std::vector<Evaluation> side;
        for (const Evaluation& e : m_tight) {
            if (above ? e.beta > beta : e.beta < beta) {
                side.push_back(e);
            }
        }
        if (!above) {
            std::reverse(side.begin(), side.end());
        }
        side.resize(std::min<std::size_t>(side.size(), 2));
        return side;
    }

    double curvature() const { return m_curvature; }
    const Kept& lo() const { return m_lo; }
    const Kept& hi() const { return m_hi; }

private:
    Evaluator& m_evaluator;
    double m_lambda;
    double m_curvature;
    Kept m_lo; // F' < 0 there: the minimizer lies above
    Kept m_hi; // F' > 0 there: it lies below
    Kept m_last;
    double m_lastTolerance = 0.0;
    std::vector<Evaluation> m_tight; // by β
    int m_evaluations = 0;
};

// Where the lines through the two tight evaluations nearest b on each side meet: the corner of F
// where F is two lines there, a close guess where it is smooth. Nothing where a side lacks two.
std::optional<double> corner(const Search& search, double b) {
    const std::vector<Evaluation> left = search.tightSide(b, false);
    const std::vector<Evaluation> right = search.tightSide(b, true);
    if (left.size() < 2 || right.size() < 2) {
        return std::nullopt;
    }
    const double sl = (left[0].value - left[1].value) / (left[0].beta - left[1].beta);
    const double sr = (right[1].value - right[0].value) / (right[1].beta - right[0].beta);
    if (!(sl < sr)) {
        return std::nullopt;
    }
    return (right[0].value - left[0].value + sl * left[0].beta - sr * right[0].beta) / (sl - sr);
}

// The second stage of minimize: tight evaluations at center and h on either side, until the
// three of them bound the minimum within wanted. The sides come nearer where the bounds are too
// wide, go farther where F's rise to them is lost in the bounds of the values, and the center
// moves where a side is lower: to the corner where F has one, else to the vertex of the parabola
// through the three, else four times h on.
Root refine(Search& search, double lambda, double center, double h, double wanted) {
    Evaluation b = search.at(center, kEntropyTolerance);
    std::optional<std::pair<double, double>> bestBounds;
    Evaluation bestCenter = b;
    for (int tries = 0; tries < 60; ++tries) {
        const Evaluation a = search.at(b.beta - h, kEntropyTolerance);
        const Evaluation c = search.at(b.beta + h, kEntropyTolerance);
        if (const auto bounds = bracketOfMinimum(a, b, c)) {
            if (!bestBounds || bounds->second - bounds->first <
                                   bestBounds->second - bestBounds->first) {
                bestBounds = bounds;
                bestCenter = b;
            }
            if (bounds->second - bounds->first <= wanted) {
                break;
            }
            h *= 0.25;
            continue;
        }
        if (a.upper < b.lower || c.upper < b.lower) {
            const Evaluation& side = a.upper < c.upper ? a : c;
            const double direction = side.beta < b.beta ? -1.0 : 1.0;
            std::optional<double> guess = corner(search, side.beta);
            if (!guess && search.lo() && search.hi() && search.lo()->beta < search.hi()->beta) {
                const Evaluation& l = *search.lo();
                const Evaluation& r = *search.hi();
                guess = (r.value - l.value + l.slope * l.beta - r.slope * r.beta) /
                        (l.slope - r.slope);
            }
            if (!guess) {
                const double r = (b.beta - a.beta) * (b.value - c.value);
                const double q = (b.beta - c.beta) * (b.value - a.value);
                if (q != r) {
                    guess = b.beta - ((b.beta - c.beta) * q - (b.beta - a.beta) * r) / (2.0 * (q - r));
                }
            }
            const double step = guess ? (*guess - b.beta) * direction : 0.0;
            const double next =
                step > h && step < 1e6 * h ? *guess : b.beta + direction * 4.0 * h;
            b = search.at(next, kEntropyTolerance);
            if (b.upper > side.upper) {
                b = side;
            }
            continue;
        }
        h *= 2.0; // the rise to the sides is within the bounds of the values
    }
    if (!bestBounds) {
        throw RuntimeError(ErrorKind::Internal,
                           "the minimum of the pressure could not be bounded for the Lyapunov "
                           "exponent " +
                               shortest(lambda));
    }
    // The best center, corrected to second order where F is smooth there.
    const double estimate =
        bestCenter.value - 0.5 * bestCenter.slope * bestCenter.slope / search.curvature();
    return {bestCenter.beta, std::clamp(estimate, bestBounds->first, bestBounds->second),
            search.curvature()};
}

// The minimum of the convex F over β, in two stages. A Newton search on F', which rises with β,
// kept inside the bracket of the minimizer its slopes give (where a step would leave it, the
// meeting point of the tangents at its ends, or its middle), until the step is so small that F's
// curvature no longer matters. Then tight evaluations on both sides of the best, moved closer
// until their values alone bound the minimum within the tolerance: by the parabola through the
// best three, or where F has a corner, the meeting point of the lines through the two nearest
// on each side.
Root minimize(Evaluator& evaluator, double lambda, double guess, double curvature, double scale) {
    Search search(evaluator, lambda, curvature);
    double beta = guess;
    double stepBefore = kInfinity;
    double tolerance = kSearchTolerance;
    for (;;) {
        const Evaluation e = search.at(beta, tolerance);
        const double kappa = search.curvature();
        const double wanted = std::max(kEntropyTolerance * e.value, 4.0 * (e.upper - e.lower));
        // Within this of the minimizer F is within a third of the width wanted of its minimum.
        const double close = std::sqrt(2.0 * wanted / (3.0 * kappa));
        const double newton = -e.slope / kappa;
        const double lower = search.lo() ? search.lo()->beta : -kInfinity;
        const double upper = search.hi() ? search.hi()->beta : kInfinity;
        if (tolerance == kEntropyTolerance &&
            (std::fabs(newton) <= close || upper - lower <= close)) {
            return refine(search, lambda, beta + (std::fabs(newton) <= close ? newton : 0.0),
                          close, wanted);
        }
        if (std::fabs(newton) <= 1e3 * close || upper - lower <= 1e3 * close) {
            tolerance = kEntropyTolerance; // near: the evaluations the result rests on
        }
        double next = beta + newton;
        const bool inside = next > lower && next < upper;
        const bool newtonUsable = inside && std::fabs(next - beta) <= 0.5 * std::fabs(stepBefore);
        if (!newtonUsable) {
            if (search.lo() && search.hi()) {
                // Where the tangents at the ends meet; the middle where that is not well inside.
                const Evaluation& l = *search.lo();
                const Evaluation& r = *search.hi();
                const double meet =
                    (r.value - l.value + l.slope * l.beta - r.slope * r.beta) / (l.slope - r.slope);
                const double margin = 0.01 * (upper - lower);
                next = meet > lower + margin && meet < upper - margin
                           ? meet
                           : lower + 0.5 * (upper - lower);
            } else if (!inside || (next > beta) == (stepBefore > 0.0)) {
                // Toward the open side, at least twice as far as the step before: F'' is less
                // than it was taken to be.
                const double widening =
                    std::max({std::isfinite(stepBefore) ? 2.0 * std::fabs(stepBefore) : 0.0,
                              std::fabs(next - beta), inside ? 0.0 : scale,
                              inside ? 0.0 : 0.5 * std::fabs(beta)});
                next = search.lo() ? beta + widening : beta - widening;
            }
        }
        if (next == beta) {
            return refine(search, lambda, beta, close, wanted);
        }
        stepBefore = next - beta;
        beta = next;
    }
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
        const Root root = minimize(evaluator, lambda, guess, curvature, scale);
        out[i - first] = {lambda, root.entropy, root.entropy / lambda, root.beta};
        previous = root;
        previousLambda = lambda;
    }
    return evaluator.products();
}

BalancedFrame frameOf(std::span<const double> values, const CycleEnd& end) {
    BalancedFrame frame;
    frame.values.assign(values.begin(), values.end());
    frame.mean = end.mean;
    frame.potentials = end.potentials;
    return frame;
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
        model->smallest.mean = lo.lyapunov;
        model->smallest.entropy = lo.entropy;
        model->largest.mean = hi.lyapunov;
        model->largest.entropy = hi.entropy;
        m_model = std::move(model);
        return;
    }
    model->smallest = smallestCycleMean(model->map.rows, f, kTie, {});
    std::vector<double> negated(f.size());
    std::transform(f.begin(), f.end(), negated.begin(), [](double e) { return -e; });
    CycleEnd top = smallestCycleMean(model->map.rows, negated, kTie, {});
    BalancedFrame minus = frameOf(negated, top);
    model->largest = top;
    model->largest.mean = -top.mean;
    if (model->largest.mean - model->smallest.mean <=
        kTie * std::max(std::fabs(model->largest.mean), std::fabs(model->smallest.mean))) {
        model->largest = model->smallest;
    }
    model->perron = std::make_unique<PerronMap>(model->map.rows, model->map.exponents,
                                                frameOf(f, model->smallest), std::move(minus));
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
    if (m_model->full) {
        const ExactPoint at = m_model->full->atBeta(beta);
        return at.entropy - beta * at.lyapunov;
    }
    Evaluator evaluator(*m_model, {});
    return evaluator.pressure(beta, kEntropyTolerance).logRoot;
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
