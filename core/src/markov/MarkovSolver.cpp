#include "CycleMeans.h"
#include "DiagramBounds.h"
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

// Cycle means within this fraction of their size count as equal (CycleMeans.h): the exponents
// are rounded to a unit of 2^-53 each, and the means are formed in long double.
constexpr double kTie = 0x1p-40;

// Two tight evaluations whose slopes differ by more than this many times what F'' elsewhere in
// the search makes them (F'' varies by a few times over a search near one minimum) straddle a
// corner of F, whose slopes are not to be relied on.
constexpr double kCornerCurvature = 64.0;

// The entropy of each point is enclosed in bounds this close, relative to itself, or as close as
// the rounding of the Perron root's bounds allows where that is wider (near the ends, where the
// entropy is small beside the terms it is formed from): kRoundingWidths times the widest bounds
// of the evaluations it rests on.
constexpr double kEntropyTolerance = 1e-13;
constexpr double kRoundingWidths = 16.0;

// How close an evaluation's bounds are asked to be. Loose ones, on the way to the minimum: the
// Perron root and the mean (the slope) to about 1e-9, enough for their sign and Newton step.
// Tight ones, which the result rests on: the Perron root's bounds a kRoundingWidths-th of the
// width wanted of the entropy, or as close as rounding allows; the mean to about 1e-9 where its
// slope bounds the minimum (it enters times a distance of about 1e-7 from the minimizer, and in
// the last Newton correction times the slope itself), to about 1e-8 where only the value counts.
enum class Level { Loose, Center, Side };
constexpr double kLooseTolerance = 1e-9;
constexpr double kCenterSlopeTolerance = 1e-9;
constexpr double kSideSlopeTolerance = 1e-8;

// Far more than the search needs (a handful of evaluations a point): each fallback step halves
// the bracket of the minimum or doubles an open one.
constexpr int kMaxEvaluations = 400;

// refine ends where its bounds are no closer than this many times the width wanted, once its
// steps are spent or can no longer tell values apart; wider than that, it reports a fault.
constexpr double kWidestBounds = 8.0;

// Tight Newton steps before the search leaves the slopes for the values alone, and the part of
// |λ| the slopes of tight evaluations may be off by (their equilibrium weights converged to about
// kCenterSlopeTolerance).
constexpr int kMostNewtonNear = 8;
constexpr double kSlopeError = 1e-8;

// The tries of refine at bounding the minimum once it is near, each a pair of evaluations.
constexpr int kMostRefinements = 120;

} // namespace

namespace detail {

struct MarkovModel {
    TransitionMap map;
    CycleEnd smallest;
    CycleEnd largest;                  // mean λmax; potentials those of -f
    std::optional<ExactSolver> full;   // for maps whose every piece covers [0, 1]
    std::unique_ptr<PerronMap> perron; // for the others
    double topEntropy = 0.0;           // an upper bound of P(0), the topological entropy

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
    bool sloped = true;     // whether the slope is to be relied on (PerronRoot::meanReliable)
};

// The Perron vectors to start an evaluation from: those of the last evaluation, moved to the β
// asked as the last points' vectors move with β (the parabola through the logarithms of their
// entries at the last three points, in which the vectors of the balanced matrix move nearly
// linearly, its entries being exponentials in β; the line through two where there are two).
class VectorHistory {
public:
    void pushEvaluation(const PerronVectors& vectors, double beta) {
        copy(vectors, m_last);
        m_lastBeta = beta;
    }

    // The last evaluation's vectors are those of a point: near its minimizer.
    void pushPoint() {
        if (m_points.size() == kPoints) {
            m_points.erase(m_points.begin());
        }
        Logs logs{m_lastBeta, {}, {}};
        for (const auto& [from, to] :
             {std::pair(&m_last.right, &logs.right), std::pair(&m_last.left, &logs.left)}) {
            to->resize(from->size());
            std::transform(from->begin(), from->end(), to->begin(),
                           [](double x) { return std::log(x); });
        }
        m_points.push_back(std::move(logs));
    }

    void start(double beta, PerronVectors& out) const {
        if (m_last.right.empty()) {
            return;
        }
        copy(m_last, out);
        const std::size_t k = m_points.size();
        if (k < 2) {
            return;
        }
        // Lagrange's weights of the points at beta less those at the last evaluation's β.
        const auto weights = [&](double at) {
            std::vector<double> w(k, 1.0);
            for (std::size_t a = 0; a < k; ++a) {
                for (std::size_t b = 0; b < k; ++b) {
                    if (a != b) {
                        w[a] *= (at - m_points[b].beta) / (m_points[a].beta - m_points[b].beta);
                    }
                }
            }
            return w;
        };
        std::vector<double> w = weights(beta);
        const std::vector<double> w0 = weights(m_lastBeta);
        for (std::size_t a = 0; a < k; ++a) {
            w[a] -= w0[a];
            if (!std::isfinite(w[a]) || std::fabs(w[a]) > kFarthest) {
                return; // far beyond the points, or points too close to tell apart
            }
        }
        const auto move = [&](std::vector<double> Logs::*logs, std::vector<double>& v) {
            for (std::size_t i = 0; i < v.size(); ++i) {
                double step = 0.0;
                for (std::size_t a = 0; a < k; ++a) {
                    step += w[a] * (m_points[a].*logs)[i];
                }
                step = std::clamp(step, -1.0, 1.0);
                v[i] *= std::fabs(step) < 1e-4 ? 1.0 + step * (1.0 + 0.5 * step) : std::exp(step);
            }
        };
        move(&Logs::right, out.right);
        move(&Logs::left, out.left);
    }

private:
    static constexpr std::size_t kPoints = 3;
    // Lagrange weights beyond this are extrapolation too far to trust.
    static constexpr double kFarthest = 8.0;

    struct Logs {
        double beta;
        std::vector<double> right;
        std::vector<double> left;
    };

    static void copy(const PerronVectors& from, PerronVectors& to) {
        to.right.assign(from.right.begin(), from.right.end());
        to.left.assign(from.left.begin(), from.left.end());
    }

    PerronVectors m_last;
    double m_lastBeta = 0.0;
    std::vector<Logs> m_points;
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
    Evaluation at(double beta, double lambda, double tolerance, double slopeTolerance) {
        const double end = beta >= 0.0 ? m_model.smallest.mean : m_model.largest.mean;
        m_history.start(beta, m_vectors);
        const PerronRoot root =
            m_solver.solve(beta, m_vectors, tolerance, slopeTolerance, m_control);
        m_products += root.products;
        m_history.pushEvaluation(m_vectors, beta);
        const double linear = beta * (lambda - end);
        return {beta,
                linear + root.logBalanced,
                linear + root.logBalancedLower,
                linear + root.logBalancedUpper,
                lambda - root.mean,
                root.variance,
                root.meanReliable};
    }

    // ln ρ(M_β) within bounds of relative width tolerance.
    PerronRoot pressure(double beta, double tolerance) {
        return m_solver.solve(beta, m_vectors, tolerance, kCenterSlopeTolerance, m_control);
    }

    long products() const { return m_products; }

    // The point at hand is solved: its last vectors start the next points'.
    void pointSolved() { m_history.pushPoint(); }

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
    double lower = 0.0;     // bounds of the entropy
    double upper = 0.0;
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
    // entropy: an estimate of the result (the point before's), which sets the tight tolerance
    // until the evaluations give it.
    Search(Evaluator& evaluator, double lambda, double curvature, double entropy)
        : m_evaluator(evaluator), m_lambda(lambda), m_curvature(curvature) {
        setTight(entropy);
    }

    Evaluation at(double beta, Level level) {
        const double tolerance = level == Level::Loose ? kLooseTolerance : m_tight;
        const double slopeTolerance = level == Level::Loose    ? kLooseTolerance
                                      : level == Level::Center ? kCenterSlopeTolerance
                                                               : kSideSlopeTolerance;
        const Evaluation e = m_evaluator.at(beta, m_lambda, tolerance, slopeTolerance);
        if (level != Level::Loose && m_tight == PerronSolver::floor()) {
            setTight(e.value);
        }
        if (++m_evaluations > kMaxEvaluations) {
            throw RuntimeError(ErrorKind::Internal,
                               "no minimum of the pressure found for the Lyapunov exponent " +
                                   shortest(m_lambda));
        }
        if (!e.sloped) {
            // Only its value counts.
        } else if (e.slope > 0.0) {
            if (!m_hi || e.beta < m_hi->beta) {
                m_hi = {e, true};
            }
            if (level != Level::Loose && (!m_tightHi || e.beta < m_tightHi->beta)) {
                m_tightHi = {e, true};
            }
        } else if (e.slope < 0.0) {
            if (!m_lo || e.beta > m_lo->beta) {
                m_lo = {e, true};
            }
            if (level != Level::Loose && (!m_tightLo || e.beta > m_tightLo->beta)) {
                m_tightLo = {e, true};
            }
        }
        if (level == Level::Center && e.sloped &&
            (!m_flattest || std::fabs(e.slope) < std::fabs(m_flattest->slope))) {
            m_flattest = {e, true};
        }
        if (level != Level::Loose) {
            const auto at =
                std::lower_bound(m_tightOnes.begin(), m_tightOnes.end(), e.beta,
                                 [](const Evaluation& k, double b) { return k.beta < b; });
            if (at == m_tightOnes.end() || at->beta != e.beta) {
                m_tightOnes.insert(at, e);
            }
        }
        // F'' from the slopes of the last two evaluations where their difference is well above
        // what the loose ones may be off by; F'' is the asymptotic variance of the exponents, not
        // their variance under the equilibrium weights, which only starts the search.
        if (m_last && e.sloped && m_last->sloped && e.beta != m_last->beta) {
            const double secant = (e.slope - m_last->slope) / (e.beta - m_last->beta);
            const double noise = std::max(tolerance, m_lastTolerance) * std::fabs(m_lambda);
            if (secant > 0.0 && std::fabs(e.slope - m_last->slope) > 1e2 * noise) {
                m_curvature = secant;
                m_measured = true;
                if (level != Level::Loose && m_lastTolerance < kLooseTolerance) {
                    m_smoothest = std::min(m_smoothest, secant);
                }
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
        if (m_tightOnes.empty()) {
            return a;
        }
        const auto best = std::min_element(
            m_tightOnes.begin(), m_tightOnes.end(),
            [](const Evaluation& x, const Evaluation& y) { return x.upper < y.upper; });
        a.best = {*best, true};
        if (best != m_tightOnes.begin()) {
            a.below = {*(best - 1), true};
        }
        if (best + 1 != m_tightOnes.end()) {
            a.above = {*(best + 1), true};
        }
        return a;
    }

    // The two tight evaluations next below (or above) beta, nearest first.
    std::vector<Evaluation> tightSide(double beta, bool above) const {
        std::vector<Evaluation> side;
        for (const Evaluation& e : m_tightOnes) {
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

    // The bounds of the minimum that tight evaluations on both sides of the minimizer prove with
    // their slopes: F lies above its tangents, so above both where they meet, and F's least
    // evaluation is above the minimum. The slopes enter times the distance from the minimizer,
    // where their errors (those of the equilibrium weights, converged to about 1e-11) do not
    // count; slopes that contradict the values (a tangent above a value) are not taken.
    std::optional<std::pair<double, double>> tangentBounds() const {
        if (!(m_tightLo && m_tightHi)) {
            return std::nullopt;
        }
        const Evaluation& l = *m_tightLo;
        const Evaluation& r = *m_tightHi;
        if ((r.slope - l.slope) / (r.beta - l.beta) > kCornerCurvature * m_smoothest) {
            // F bends far more sharply between them than elsewhere: a corner of F, where two
            // loosely coupled parts of the map have nearly the same pressure and the equilibrium
            // weights, hence the slopes, are left to the rounding of their coupling. Only the
            // values bound the minimum there.
            return std::nullopt;
        }
        const double slack = 4.0 * std::max(l.upper - l.lower, r.upper - r.lower);
        if (l.lower + l.slope * (r.beta - l.beta) > r.upper + slack ||
            r.lower + r.slope * (l.beta - r.beta) > l.upper + slack) {
            return std::nullopt;
        }
        const double meet =
            (r.lower - l.lower + l.slope * l.beta - r.slope * r.beta) / (l.slope - r.slope);
        const double below = l.lower + l.slope * (std::clamp(meet, l.beta, r.beta) - l.beta);
        const double above = std::min(l.upper, r.upper);
        return std::pair(std::min(below, above), above);
    }

    // The bounds of the minimum that the values of all tight evaluations prove, by convexity
    // alone: outside the interval of two evaluations F lies above the line through them (taken
    // through the ends of their bounds that make it lowest), so between two neighbouring
    // evaluations above every line of a pair on either side; beyond the outermost ones above the
    // outermost pair's line, which must rise outward. Lines of pairs far apart count: beside a
    // corner of F the nearest pairs are so close that their values' bounds leave their slopes
    // to rounding. Nothing where fewer than three evaluations are tight.
    std::optional<std::pair<double, double>> valueBounds() const {
        const std::vector<Evaluation>& t = m_tightOnes;
        const std::size_t n = t.size();
        if (n < 3) {
            return std::nullopt;
        }
        struct Line {
            double at; // through (at, base) with the slope
            double base;
            double slope;
            double operator()(double x) const { return base + slope * (x - at); }
        };
        // Below F beyond t[k] on the side away from t[i].
        const auto line = [&](std::size_t i, std::size_t k) {
            const double d = t[k].beta - t[i].beta;
            return Line{t[k].beta, t[k].lower, (t[k].lower - t[i].upper) / d};
        };
        if (!(line(1, 0).slope <= 0.0) || !(line(n - 2, n - 1).slope >= 0.0)) {
            return std::nullopt; // not bracketed: F may fall beyond the evaluations
        }
        constexpr std::size_t kReach = 6; // evaluations on each side whose pairs count
        double lower = std::min(t[0].lower, t[n - 1].lower);
        double upper = kInfinity;
        for (const Evaluation& e : t) {
            upper = std::min(upper, e.upper);
        }
        std::vector<Line> lines;
        for (std::size_t j = 0; j + 1 < n; ++j) {
            const double lo = t[j].beta;
            const double hi = t[j + 1].beta;
            lines.clear();
            for (std::size_t i = j >= kReach ? j - kReach : 0; i < j; ++i) {
                lines.push_back(line(i, j)); // through t[i] and t[j], beyond t[j]
            }
            for (std::size_t k = j + 2; k < n && k <= j + 1 + kReach; ++k) {
                lines.push_back(line(k, j + 1));
            }
            if (lines.empty()) {
                return std::nullopt;
            }
            // The least of their upper envelope on [lo, hi]: at an end or where two cross.
            std::vector<double> xs{lo, hi};
            for (std::size_t p = 0; p < lines.size(); ++p) {
                for (std::size_t q = p + 1; q < lines.size(); ++q) {
                    const Line& u = lines[p];
                    const Line& v = lines[q];
                    if (u.slope != v.slope) {
                        const double x = (v.base - u.base + u.slope * u.at - v.slope * v.at) /
                                         (u.slope - v.slope);
                        if (x > lo && x < hi) {
                            xs.push_back(x);
                        }
                    }
                }
            }
            double least = kInfinity;
            for (const double x : xs) {
                double top = -kInfinity;
                for (const Line& l : lines) {
                    top = std::max(top, l(x));
                }
                least = std::min(least, top);
            }
            lower = std::min(lower, least);
        }
        if (!std::isfinite(lower)) {
            return std::nullopt;
        }
        return std::pair(std::min(lower, upper), upper);
    }

    bool evaluatedAt(double beta) const {
        return std::any_of(m_tightOnes.begin(), m_tightOnes.end(),
                           [&](const Evaluation& e) { return e.beta == beta; });
    }

    // The tight evaluation whose slope is nearest 0.
    const Kept& flattest() const { return m_flattest; }
    int tightCount() const { return static_cast<int>(m_tightOnes.size()); }

    double curvature() const { return m_curvature; }
    // Whether F'' is from this λ's own slopes.
    bool measuredCurvature() const { return m_measured; }
    double tight() const { return m_tight; }
    const Kept& lo() const { return m_lo; }
    const Kept& tightLo() const { return m_tightLo; }
    const Kept& tightHi() const { return m_tightHi; }
    const Kept& hi() const { return m_hi; }

private:
    Evaluator& m_evaluator;
    double m_lambda;
    double m_curvature;
    Kept m_lo;      // F' < 0 there: the minimizer lies above
    Kept m_hi;      // F' > 0 there: it lies below
    Kept m_tightLo; // the same among tight evaluations
    Kept m_tightHi;
    Kept m_flattest;
    Kept m_last;
    double m_lastTolerance = 0.0;
    std::vector<Evaluation> m_tightOnes; // by β
    double m_tight = 0.0;                // the Perron root's tolerance of tight evaluations
    bool m_measured = false;
    double m_smoothest = kInfinity; // the least F'' of two tight evaluations in a row
    int m_evaluations = 0;

    // For an entropy near the one given: a kRoundingWidths-th of kEntropyTolerance of it, or
    // the rounding floor.
    void setTight(double entropy) {
        m_tight = std::max(PerronSolver::floor(),
                           kEntropyTolerance * std::fabs(entropy) / kRoundingWidths);
    }
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

// The value where those lines meet.
std::optional<double> cornerValue(const Search& search, double b) {
    const std::optional<double> at = corner(search, b);
    if (!at) {
        return std::nullopt;
    }
    const std::vector<Evaluation> left = search.tightSide(b, false);
    const double sl = (left[0].value - left[1].value) / (left[0].beta - left[1].beta);
    return left[0].value + sl * (*at - left[0].beta);
}

// The width the bounds of the minimum should reach: kEntropyTolerance of the value, or as close
// as the bounds of the evaluations allow.
double wantedWidth(const Evaluation& e) {
    return std::max(kEntropyTolerance * e.value, kRoundingWidths * (e.upper - e.lower));
}

// Whether x is below y beyond doubt.
bool below(const Evaluation& x, const Evaluation& y) {
    return x.upper < y.lower;
}

// Where the tangents at l (F' < 0) and r (F' > 0) meet: the minimizer itself where F is two lines
// meeting at a corner between them.
double tangentsMeet(const Evaluation& l, const Evaluation& r) {
    return (r.value - l.value + l.slope * l.beta - r.slope * r.beta) / (l.slope - r.slope);
}

// The second stage of minimize: from b, tight evaluations whose values alone bound the minimum
// within the width wanted, as in a golden-section search. First three a < b < c with F(b) below
// F(a) and F(c) beyond doubt, from b and h on either side: moving on past the lower side, by the
// golden ratio times the bracket each time, while one is lower, or going farther out where the
// rise to the sides is lost in the bounds of the values. Then, while the bounds of the three are
// too wide, a new evaluation in the larger of [a, b] and [b, c] that takes the place of an end or
// of b: where the tangents of the nearest evaluations with slopes to be relied on on either side
// meet (the minimizer itself at a corner of F), else where the lines through the evaluations on
// either side meet, else at the vertex of the parabola through the three, else at the golden
// section.
// The root the tangents of the tight evaluations on both sides prove, where their bounds are
// within wanted: the flattest evaluation corrected to second order, its β moved by Newton's
// step, so that the next points' guesses start from the minimizer, not from beside it.
std::optional<Root> tangentRoot(const Search& search, double wanted) {
    const auto bounds = search.tangentBounds();
    if (!bounds || !(bounds->second - bounds->first <= wanted) || !search.flattest()) {
        return std::nullopt;
    }
    const double kappa = search.curvature();
    const Evaluation& b = *search.flattest();
    const double estimate = b.value - 0.5 * b.slope * b.slope / kappa;
    return Root{b.beta - b.slope / kappa, std::clamp(estimate, bounds->first, bounds->second),
                kappa, bounds->first, bounds->second};
}

// The intersection of two bounds of the minimum, either of which may be missing (not both).
std::pair<double, double> narrower(const std::optional<std::pair<double, double>>& x,
                                   const std::optional<std::pair<double, double>>& y) {
    if (!x || !y) {
        return x ? *x : *y;
    }
    const double upper = std::min(x->second, y->second);
    return {std::min(std::max(x->first, y->first), upper), upper};
}

Root refine(Search& search, double lambda, Evaluation b, double h) {
    const auto fail = [&] {
        throw RuntimeError(ErrorKind::Internal,
                           "the minimum of the pressure could not be bounded for the Lyapunov "
                           "exponent " +
                               shortest(lambda));
    };
    constexpr double kGolden = 0.3819660112501051; // 2 - the golden ratio
    // A tight evaluation already made at a fitting distance on one side serves as that side (as
    // the first evaluation of a point does when it falls short of the minimum by about h), and
    // the other side is taken as far on the other way.
    const std::vector<Evaluation> before = search.tightSide(b.beta, false);
    const std::vector<Evaluation> after = search.tightSide(b.beta, true);
    const auto fits = [&](const std::vector<Evaluation>& side) {
        return !side.empty() && std::fabs(side[0].beta - b.beta) >= 0.4 * h &&
               std::fabs(side[0].beta - b.beta) <= 1.4 * h;
    };
    Evaluation a;
    Evaluation c;
    if (fits(before)) {
        a = before[0];
        c = search.at(b.beta + (b.beta - a.beta), Level::Side);
    } else if (fits(after)) {
        c = after[0];
        a = search.at(b.beta - (c.beta - b.beta), Level::Side);
    } else {
        a = search.at(b.beta - h, Level::Side);
        c = search.at(b.beta + h, Level::Side);
    }
    double wanted = std::max({wantedWidth(a), wantedWidth(b), wantedWidth(c)});
    int tries = 0;
    while (!(below(b, a) && below(b, c))) {
        if (++tries > kMostRefinements) {
            fail();
        }
        if (below(a, b) || below(c, b)) {
            // On past the lower side, by the golden ratio times the bracket each time.
            const bool left = below(a, b) && (!below(c, b) || a.upper < c.upper);
            const double step = (c.beta - a.beta) * 1.618033988749895;
            if (left) {
                c = b;
                b = a;
                a = search.at(b.beta - step, Level::Side);
            } else {
                a = b;
                b = c;
                c = search.at(b.beta + step, Level::Side);
            }
        } else {
            // The rise to the sides is within the bounds of the values: farther out.
            h = 2.0 * std::max(b.beta - a.beta, c.beta - b.beta);
            a = search.at(b.beta - h, Level::Side);
            c = search.at(b.beta + h, Level::Side);
        }
        wanted = std::max({wanted, wantedWidth(a), wantedWidth(c)});
        if (const std::optional<Root> root = tangentRoot(search, wanted)) {
            return *root; // the slopes settle it after all, as at a corner of F
        }
    }
    std::pair<double, double> bounds = narrower(bracketOfMinimum(a, b, c), search.valueBounds());
    int undecided = 0;
    while (bounds.second - bounds.first > wanted) {
        if (++tries > kMostRefinements) {
            break; // as close as the bounds of the values allow
        }
        const bool leftLarger = b.beta - a.beta > c.beta - b.beta;
        const double lo = leftLarger ? a.beta : b.beta;
        const double hi = leftLarger ? b.beta : c.beta;
        const double margin = 0.01 * (hi - lo);
        const auto inside = [&](std::optional<double> x) {
            return x && *x > a.beta + margin && *x < c.beta - margin &&
                   std::fabs(*x - b.beta) > margin;
        };
        // P(1) = 0 for the whole map and for each part of it mapped into itself, so that two
        // loosely coupled parts cross, and F has its corner, at β = 1: tried first.
        std::optional<double> guess;
        if (inside(1.0) && !search.evaluatedAt(1.0)) {
            guess = 1.0;
        }
        const std::vector<Evaluation> left = search.tightSide(b.beta + 0.5 * margin, false);
        const std::vector<Evaluation> right = search.tightSide(b.beta - 0.5 * margin, true);
        if (!guess && search.tightLo() && search.tightHi()) {
            // Where the tangents of the nearest falling and rising evaluations meet: at a corner
            // of F the minimizer, however near b (which then lies on one of the two lines, and
            // the sides' bounds need points on both).
            const double meet = tangentsMeet(*search.tightLo(), *search.tightHi());
            if (meet > a.beta && meet < c.beta &&
                std::fabs(meet - b.beta) > 1e-6 * (c.beta - a.beta)) {
                guess = meet;
            }
        }
        const bool meeting = guess.has_value();
        if (!meeting && !inside(guess)) {
            guess = corner(search, b.beta);
        }
        if (!meeting && !inside(guess)) {
            const double r = (b.beta - a.beta) * (b.value - c.value);
            const double q = (b.beta - c.beta) * (b.value - a.value);
            guess = q != r ? std::optional<double>(b.beta -
                                                   ((b.beta - c.beta) * q - (b.beta - a.beta) * r) /
                                                       (2.0 * (q - r)))
                           : std::nullopt;
        }
        if (!meeting && !inside(guess)) {
            // Beside b, as near as the bounds need: F rises from b at most as steeply as the
            // secants to a and c, so sides within wanted / 4 of that rise bound it closely; at a
            // corner of F, where b already is, two steps do.
            const double steepest = std::max((a.value - b.value) / (b.beta - a.beta),
                                             (c.value - b.value) / (c.beta - b.beta));
            const double near = 0.25 * wanted / steepest;
            if (leftLarger && b.beta - a.beta > 2.0 * near) {
                guess = b.beta - near;
            } else if (!leftLarger && c.beta - b.beta > 2.0 * near) {
                guess = b.beta + near;
            }
            if (guess && std::fabs(*guess - b.beta) <= margin) {
                // Nearer than the margin of the golden steps: taken where it is not b itself.
                const double x = *guess;
                guess = std::nullopt;
                if (x != b.beta && x > a.beta && x < c.beta) {
                    guess = x;
                }
            } else if (!inside(guess)) {
                guess = std::nullopt;
            }
        }
        const double x = guess ? *guess
                               : (leftLarger ? b.beta - kGolden * (b.beta - a.beta)
                                             : b.beta + kGolden * (c.beta - b.beta));
        if (x <= a.beta || x >= c.beta || x == b.beta) {
            break;
        }
        const Evaluation e = search.at(x, Level::Side);
        wanted = std::max(wanted, wantedWidth(e));
        if (const std::optional<Root> root = tangentRoot(search, wanted)) {
            return *root;
        }
        if (below(e, b)) {
            (x < b.beta ? c : a) = b;
            b = e;
        } else if (below(b, e)) {
            (x < b.beta ? a : c) = e;
        } else {
            // Level with b within their bounds, as beside a corner of F: the side closes in on
            // b all the same, the bounds of all the values holding the minimum.
            (x < b.beta ? a : c) = e;
            if (++undecided > 8) {
                break; // as close as the bounds of the values allow
            }
        }
        const auto three = bracketOfMinimum(a, b, c);
        const auto all = search.valueBounds();
        if (!three && !all) {
            fail();
        }
        bounds = narrower(three, all);
    }
    if (bounds.second - bounds.first > kWidestBounds * wanted) {
        // The values do not bound the minimum as closely as the result promises: a fault of the
        // program, which no map tried has made happen, reported in place of a number.
        fail();
    }
    // The center, corrected to second order where F is smooth there. Near a corner of F, where
    // F rises from b to a and c as fast as its slopes there say (a line, not a parabola, which
    // rises half that), where their tangents meet, exact at a corner; where the slopes are not
    // to be relied on, where the lines through the evaluations on either side meet.
    double estimate = b.value - 0.5 * b.slope * b.slope / search.curvature();
    const auto linear = [&](const Evaluation& side) {
        return side.sloped &&
               (side.value - b.value) > 0.75 * std::fabs(side.slope * (side.beta - b.beta));
    };
    if (a.sloped && c.sloped && a.slope < 0.0 && c.slope > 0.0 && linear(a) && linear(c)) {
        const double meet = tangentsMeet(a, c);
        estimate = a.value + a.slope * (meet - a.beta);
    } else if (!b.sloped) {
        estimate = std::min(b.value, cornerValue(search, b.beta).value_or(b.value));
    }
    return {b.beta, std::clamp(estimate, bounds.first, bounds.second), search.curvature(),
            bounds.first, bounds.second};
}

// The minimum of the convex F over β. A Newton search on F', which rises with β, kept inside the
// bracket of the minimizer its slopes give (where a step would leave it, the meeting point of
// the tangents at its ends, or its middle), first with loose evaluations, then, near the
// minimum, with tight ones. Near it, each Newton step goes a little beyond the minimizer, so
// that the last two evaluations lie on both sides of it, as near as their tangents need to bound
// the minimum within the width wanted (Search::tangentBounds). Where the slopes are not to be
// relied on (near a corner of F, where two loosely coupled parts of the map have nearly the same
// pressure) or do not settle it, the values alone bound it (refine). guess comes with
// curvature, F'' there, where known, and entropy, the last point's; trusted where it is
// expected so near (from the points before) that the first evaluation may as well be tight.
Root minimize(Evaluator& evaluator, double lambda, double guess, double curvature, double entropy,
              double scale, bool trusted) {
    Search search(evaluator, lambda, curvature, entropy);
    double beta = guess;
    double stepBefore = kInfinity;
    Level level = trusted ? Level::Center : Level::Loose;
    for (;;) {
        const Evaluation e = search.at(beta, level);
        const double kappa = search.curvature();
        const double wanted = wantedWidth(e);
        // Sides this far from the minimizer rise by half the width wanted.
        const double h = std::sqrt(wanted / kappa);
        if (level != Level::Loose) {
            if (const std::optional<Root> root = tangentRoot(search, wanted)) {
                return *root;
            }
        }
        const double lower = search.lo() ? search.lo()->beta : -kInfinity;
        const double upper = search.hi() ? search.hi()->beta : kInfinity;
        if (!e.sloped || search.tightCount() > kMostNewtonNear) {
            // No slope to follow, or slopes that do not settle it: the values alone find the
            // minimum from here.
            return refine(search, lambda,
                          level != Level::Loose ? e : search.at(beta, Level::Center), h);
        }
        double newton = -e.slope / kappa;
        if (!search.measuredCurvature()) {
            // F'' is not yet measured at this λ: its guess may be far off, so the step is kept
            // within the scale of β and of the range.
            const double cap = std::max(4.0 * scale, std::fabs(beta));
            newton = std::clamp(newton, -cap, cap);
        }
        if (level == Level::Loose && (std::fabs(newton) <= 1e3 * h || upper - lower <= 1e3 * h)) {
            level = Level::Center; // near: the evaluations the result rests on
        } else if (level != Level::Loose && std::fabs(newton) <= 1e3 * h) {
            // From the flattest tight evaluation, past the minimizer by delta, which puts the two
            // on both sides of it and as near as the bounds need: their tangents meet within
            // kappa |its step| delta / 2 of the minimum, and the new value is within
            // kappa delta^2 / 2 of it. delta is at least what the slopes' errors could move the
            // minimizer by.
            const Evaluation& b = *search.flattest();
            const double step = -b.slope / kappa;
            const double least = kSlopeError * (std::fabs(lambda) + std::fabs(b.slope)) / kappa;
            const double delta =
                std::min(h, std::max(0.5 * wanted / (kappa * std::fabs(step)), least));
            const double next = b.beta + step + std::copysign(delta, step);
            if (next != beta && next > lower && next < upper) {
                stepBefore = next - beta;
                beta = next;
                continue;
            }
        }
        double next = beta + newton;
        const bool inside = next > lower && next < upper;
        const bool newtonUsable = inside && std::fabs(next - beta) <= 0.5 * std::fabs(stepBefore);
        if (!newtonUsable) {
            if (search.lo() && search.hi()) {
                // Where the tangents at the ends meet; the middle where that is not well inside.
                const double meet = tangentsMeet(*search.lo(), *search.hi());
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
            return refine(search, lambda, search.at(beta, Level::Center), h);
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
// The first guess of β at λ from the points solved before: the parabola through the last three
// in (λ, β), or the tangent from the last, dβ/dλ = -1/F''; trusted once three are known.
struct Prediction {
    double beta = 0.0;
    double curvature = 0.0;
    double entropy = 0.0; // the last point's, 0 where there is none
    bool trusted = false;
};

class Predictor {
public:
    // From the cubic through the last four points (the parabola through three), and F'' from its
    // slope, dβ/dλ = -1/F''.
    Prediction at(double lambda) const {
        const std::size_t k = m_known.size();
        if (k == 0) {
            return {};
        }
        const Known& p = m_known.back();
        Prediction out{p.beta - (lambda - p.lambda) / p.curvature, p.curvature, p.entropy, false};
        if (k >= 3) {
            // Newton's divided differences, and the interpolant and its slope at lambda.
            std::vector<double> d;
            for (const Known& q : m_known) {
                d.push_back(q.beta);
            }
            for (std::size_t level = 1; level < k; ++level) {
                for (std::size_t i = k - 1; i >= level; --i) {
                    d[i] = (d[i] - d[i - 1]) / (m_known[i].lambda - m_known[i - level].lambda);
                }
            }
            double value = d[k - 1];
            double slope = 0.0;
            for (std::size_t i = k - 1; i-- > 0;) {
                slope = slope * (lambda - m_known[i].lambda) + value;
                value = value * (lambda - m_known[i].lambda) + d[i];
            }
            const double curvature = -1.0 / slope;
            if (std::isfinite(value) && curvature > 0.0 && std::isfinite(curvature)) {
                out = {value, curvature, p.entropy, true};
            }
        }
        if (!std::isfinite(out.beta)) {
            out = {p.beta, p.curvature, p.entropy, false};
        }
        return out;
    }

    void push(double lambda, const Root& root) {
        if (m_known.size() == kPredictorPoints) {
            m_known.erase(m_known.begin());
        }
        m_known.push_back({lambda, root.beta, root.curvature, root.entropy});
    }

private:
    static constexpr std::size_t kPredictorPoints = 4;

    struct Known {
        double lambda;
        double beta;
        double curvature;
        double entropy;
    };
    std::vector<Known> m_known;
};

// The entropy of a point within what the mathematics allows: 0 ≤ h ≤ min(λ, P(0)), since P(1) = 0
// (the lengths of the pieces are a Perron vector of M_1) and h(λ) = min over β of P(β) + βλ. The
// value is taken into that range where its bounds meet it; where they do not, the bounds are
// wrong, which is a fault of the program.
double boundedEntropy(double lambda, const Root& root, double top) {
    const double ceiling = std::min(lambda, top);
    const double slack = 64.0 * std::numeric_limits<double>::epsilon() * std::max(lambda, 1.0);
    if (root.upper < -slack || root.lower > ceiling + slack) {
        throw RuntimeError(ErrorKind::Internal,
                           "the entropy at the Lyapunov exponent " + shortest(lambda) +
                               " was bounded by " + shortest(root.lower) + " and " +
                               shortest(root.upper) + ", outside [0, " + shortest(ceiling) + "]");
    }
    return std::clamp(root.entropy, 0.0, ceiling);
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
    Predictor predictor;
    for (std::size_t i = first; i < first + out.size(); ++i) {
        progress.point();
        const double lambda = std::min(hi, lo + model.spread() * static_cast<double>(i) / last);
        if (!(lambda > lo && lambda < hi)) {
            out[i - first] = endPoint(model, lambda <= lo);
            continue;
        }
        const Prediction guess = predictor.at(lambda);
        const Root root = minimize(evaluator, lambda, guess.beta, guess.curvature, guess.entropy,
                                   scale, guess.trusted);
        const double entropy = boundedEntropy(lambda, root, model.topEntropy);
        out[i - first] = {lambda, entropy, entropy / lambda, root.beta};
        predictor.push(lambda, root);
        evaluator.pointSolved();
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
    {
        Evaluator evaluator(*model, {});
        model->topEntropy = evaluator.pressure(0.0, PerronSolver::floor()).logUpper;
    }
    // The ends within the same bounds: the entropy of the cycles at an end is at most that end's
    // exponent and the topological entropy.
    for (CycleEnd* end : {&model->smallest, &model->largest}) {
        end->entropy = std::min({end->entropy, end->mean, model->topEntropy});
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
    if (m_model->full) {
        const ExactPoint at = m_model->full->atBeta(beta);
        return at.entropy - beta * at.lyapunov;
    }
    Evaluator evaluator(*m_model, {});
    return evaluator.pressure(beta, PerronSolver::floor()).logRoot;
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
    const Root root = minimize(evaluator, lambda, 0.0, 0.0, 0.0, 1.0 / m_model->spread(), false);
    const double entropy = boundedEntropy(lambda, root, m_model->topEntropy);
    return {lambda, entropy, entropy / lambda, root.beta};
}

ExactSpectrum MarkovSolver::spectrum(std::size_t points, const RunControl& control) const {
    return gathered<ExactPoint>(
        [&](const PointSink<ExactPoint>& sink) { return spectrum(points, control, sink); });
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
    const double lo = model.smallest.mean;
    const double hi = model.largest.mean;
    if (model.single()) {
        const ExactPoint one = singlePoint(model);
        DiagramBounds(lo, hi, model.topEntropy, 1).check(0, {&one, 1});
        sink(0, {&one, 1});
        return 0;
    }
    DiagramBounds checked(lo, hi, model.topEntropy, points);
    return solveEvenly<ExactPoint>(
        points, control, endPoint(model, true), endPoint(model, false),
        [&](std::size_t first, std::span<ExactPoint> out, detail::BlockProgress& progress) {
            return solveBlock(model, first, points, out, progress, control);
        },
        [&](std::size_t first, std::span<const ExactPoint> some) {
            checked.check(first, some);
            sink(first, some);
        });
}

ExactSpectrum markovSpectrum(std::span<const MarkovPiece> pieces, std::size_t points,
                             const RunControl& control) {
    return MarkovSolver(pieces).spectrum(points, control);
}

} // namespace veltrane
