#include "EvenlySpaced.h"
#include "MeasureMoves.h"
#include "TransitionMap.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <limits>
#include <optional>
#include <veltrane/errors.h>
#include <veltrane/internal/run.h>
#include <veltrane/markov_measure.h>
#include <veltrane/text.h>

namespace veltrane {

namespace {

constexpr double kInfinity = std::numeric_limits<double>::infinity();

// Moves whose gap in the potentials of the extreme cycle ratio lies within this fraction of the
// terms count as attaining it: the logarithms are rounded to a unit of 2^-53 each, and the
// potentials are summed in long double.
constexpr double kTie = 0x1p-40;

// Within this distance of q = 0 and q = 1, h = (τ + 1) / q and D_q = τ / (q - 1) would keep
// about 1e-16 / |q| of their digits; there they are the means of α over [0, q] and [1, q] by
// Simpson's rule, whose error is about |q|^5 |τ^(5)| / 2880, below 1e-16 for derivatives of
// τ up to some thousands.
constexpr double kNearOrder = 1e-3;

// How far the brackets of τ are widened beyond the bounds the mathematics puts on it, relative to
// their size, for the rounding of the ends of the range of α and of the root.
constexpr double kBracketSlack = 1e-9;

// The search for the q of an α: its evaluations, far beyond the tens it takes.
constexpr int kMostEvaluations = 400;

[[noreturn]] void fault(const std::string& what) {
    throw RuntimeError(ErrorKind::Internal, what);
}

void checkOrder(double q) {
    if (!std::isfinite(q)) {
        throw InputError("the order q must be a finite number, not " + shortest(q));
    }
}

// The rows of weights, each normalised, all equal.
bool equalRows(const MarkovWeights& weights) {
    const auto normalised = [](const std::vector<double>& row) {
        double sum = 0.0;
        for (const double w : row) {
            sum += w;
        }
        std::vector<double> p;
        p.reserve(row.size());
        for (const double w : row) {
            p.push_back(w / sum);
        }
        return p;
    };
    const std::vector<double> first = normalised(weights.front());
    return std::all_of(weights.begin(), weights.end(),
                       [&](const std::vector<double>& row) { return normalised(row) == first; });
}

} // namespace

namespace detail {

// One evaluation of the order q: τ(q) and α(q).
struct OrderRoot {
    double q = 0.0;
    double tau = 0.0;
    double alpha = 0.0;
    double f = 0.0; // q α - τ, formed as the equilibrium's entropy over its Lyapunov exponent
};

class MarkovMeasureModel {
public:
    MarkovMeasureModel(std::span<const MarkovPiece> pieces, const MarkovWeights& weights);

    std::size_t pieceCount() const { return m_map.rows.size(); }
    bool bernoulli() const { return m_bernoulli.has_value(); }
    double alphaMin() const { return m_bernoulli ? m_bernoulli->alphaMin() : m_alphaMin; }
    double alphaMax() const { return m_bernoulli ? m_bernoulli->alphaMax() : m_alphaMax; }
    bool singlePoint() const { return m_bernoulli ? m_bernoulli->singlePoint() : m_single; }

    double tau(double q) const;
    Exponents exponents(double q) const;
    void exponentsMany(std::span<const double> qs, std::span<Exponents> out,
                       const RunControl& control) const;
    MultifractalPoint atQ(double q) const;
    MultifractalPoint atAlpha(double alpha) const;
    DqPoint dq(double q) const;
    long spectrum(std::size_t points, const RunControl& control,
                  const PointSink<MultifractalPoint>& sink) const;
    void dqRows(double from, double step, std::size_t count, const RunControl& control,
                const PointSink<DqPoint>& sink) const;

private:
    TransferSolver transferSolver() const {
        return TransferSolver(m_moves, &m_plus, &m_minus, m_pattern ? &*m_pattern : nullptr);
    }
    OrderRoot order(double q, TransferSolver& solver, const OrderRoot* near) const;
    OrderRoot order(double q) const;
    // The mean of α over [from, to] by Simpson's rule.
    double meanAlpha(double from, double to) const;
    OrderRoot solveAlpha(double alpha, TransferSolver& solver, const OrderRoot& guess,
                         double step) const;
    MultifractalPoint endPoint(bool smallest) const;
    MultifractalPoint pointOf(double alpha, const OrderRoot& root) const;
    double clamped(double alpha) const;
    double endDimension(const CycleRatio& end) const;
    long solveBlock(std::size_t first, std::size_t points, std::span<MultifractalPoint> out,
                    detail::BlockProgress& progress) const;

    TransitionMap m_map;
    MeasureMoves m_moves;
    std::optional<GthPattern> m_pattern; // of a large sparse map, for its solvers
    std::optional<MultifractalSolver> m_bernoulli;
    CycleRatio m_plus;  // the smallest cycle ratio, whose potentials balance q ≥ 0
    CycleRatio m_minus; // and the largest, for q < 0
    double m_alphaMin = 1.0;
    double m_alphaMax = 1.0;
    double m_fMin = 1.0;
    double m_fMax = 1.0;
    bool m_single = false;
};

MarkovMeasureModel::MarkovMeasureModel(std::span<const MarkovPiece> pieces,
                                       const MarkovWeights& weights)
    : m_map(transitionMap(pieces, pieceName)), m_moves(measureMoves(m_map, weights)) {
    if (m_map.fullBranch && equalRows(weights)) {
        m_bernoulli.emplace(m_map.breakPoints, weights.front());
        return;
    }
    const RunControl control;
    std::vector<double> cost(m_moves.moveCount());
    std::transform(m_moves.logP.begin(), m_moves.logP.end(), cost.begin(),
                   [](double x) { return -x; });
    const CycleRatio smallest = smallestCycleRatio(m_moves, cost, kTie, control);
    std::transform(m_moves.logP.begin(), m_moves.logP.end(), cost.begin(),
                   [](double x) { return x; });
    const CycleRatio largest = smallestCycleRatio(m_moves, cost, kTie, control);
    m_plus = smallest;
    m_minus = largest;
    m_pattern = measurePattern(m_moves);
    m_alphaMin = static_cast<double>(smallest.ratio);
    m_alphaMax = static_cast<double>(-largest.ratio);
    if (!(m_alphaMax - m_alphaMin > MultifractalSolver::kRatioTolerance * m_alphaMax)) {
        // Every cycle has one ratio; Σ_I μ(I) = 1 over cylinders of length |I| makes it 1.
        m_single = true;
        m_alphaMin = m_alphaMax = 1.0;
        return;
    }
    m_fMin = endDimension(smallest);
    m_fMax = endDimension(largest);
}

// The dimension d of the cycles that attain an end: ρ(A_C |s_i|^-d) = 1 for the graph C of
// their moves, the largest over its components; 0 for a component that is a single cycle.
double MarkovMeasureModel::endDimension(const CycleRatio& end) const {
    double dimension = 0.0;
    for (const MeasureMoves& part : cyclicParts(m_moves, end.tight)) {
        if (part.moveCount() == part.size()) {
            continue; // one move a vertex in a strong component: a single cycle
        }
        TransferSolver solver(part);
        // A dimension lies in [0, 1]; the bracket is widened by what rounding may move it.
        double tau = -0.5;
        solver.tauRoot(0.0, tau, -1.0 - kBracketSlack, kBracketSlack, tau, {});
        dimension = std::max(dimension, -tau);
    }
    if (!(dimension >= 0.0 && dimension <= 1.0 + 1e-12)) {
        fault("the dimension " + shortest(dimension) +
              " of the cycles at an end of the range of alpha lies outside [0, 1]");
    }
    return std::min(dimension, 1.0);
}

OrderRoot MarkovMeasureModel::order(double q, TransferSolver& solver, const OrderRoot* near) const {
    checkOrder(q);
    OrderRoot root{q, 0.0, 0.0, 0.0};
    if (q == 0.0 || q == 1.0) {
        // τ(0) = -1: the lengths of the cylinders of a level sum to 1; τ(1) = 0: their masses do.
        root.tau = q - 1.0;
        const TransferRoot transfer = solver.solve(q, root.tau, {});
        root.alpha = transfer.alpha;
        root.f = q == 0.0 ? 1.0 : transfer.dimension;
        return root;
    }
    // τ(q) = min over α of q α - f(α) with 0 ≤ f ≤ 1 lies within [q α_end - 1, q α_end - f_end]
    // for the end α_end that q leans to; the tangent at a near order starts Newton's steps close.
    const double end = q >= 0.0 ? m_alphaMin : m_alphaMax;
    const double fEnd = q >= 0.0 ? m_fMin : m_fMax;
    const double slack = kBracketSlack * std::max(1.0, std::fabs(q * end));
    const double lower = q * end - 1.0 - slack;
    const double upper = q * end - fEnd + slack;
    const double guess =
        near != nullptr ? near->tau + near->alpha * (q - near->q) : 0.5 * (lower + upper);
    const TransferRoot transfer = solver.tauRoot(q, guess, lower, upper, root.tau, {});
    root.alpha = transfer.alpha;
    root.f = transfer.dimension;
    return root;
}

OrderRoot MarkovMeasureModel::order(double q) const {
    TransferSolver solver = transferSolver();
    return order(q, solver, nullptr);
}

double MarkovMeasureModel::meanAlpha(double from, double to) const {
    TransferSolver solver = transferSolver();
    const OrderRoot a = order(from, solver, nullptr);
    const OrderRoot b = order(0.5 * (from + to), solver, &a);
    const OrderRoot c = order(to, solver, &b);
    return (a.alpha + 4.0 * b.alpha + c.alpha) / 6.0;
}

double MarkovMeasureModel::clamped(double alpha) const {
    // α is a quotient of sums of positive terms, within a few units of rounding of itself; the
    // range's ends are found to about as close.
    const double slack = 64.0 * DBL_EPSILON * m_alphaMax;
    if (alpha < m_alphaMin && alpha >= m_alphaMin - slack) {
        return m_alphaMin;
    }
    if (alpha > m_alphaMax && alpha <= m_alphaMax + slack) {
        return m_alphaMax;
    }
    return alpha;
}

double MarkovMeasureModel::tau(double q) const {
    if (m_bernoulli) {
        return convention::tauOfBeta(m_bernoulli->beta(q));
    }
    checkOrder(q);
    if (m_single) {
        return q - 1.0;
    }
    if (q != 1.0 && std::fabs(q - 1.0) <= kNearOrder) {
        return (q - 1.0) * meanAlpha(1.0, q);
    }
    return order(q).tau;
}

DqPoint MarkovMeasureModel::dq(double q) const {
    if (m_bernoulli) {
        return m_bernoulli->dq(q);
    }
    checkOrder(q);
    if (m_single) {
        return {q, 1.0 - q, 1.0};
    }
    if (q == 1.0) {
        return {q, 0.0, clamped(order(q).alpha)};
    }
    if (std::fabs(q - 1.0) <= kNearOrder) {
        const double d = meanAlpha(1.0, q);
        return {q, (1.0 - q) * d, d};
    }
    const double tau = order(q).tau;
    return {q, convention::betaOfTau(tau), tau / (q - 1.0)};
}

Exponents MarkovMeasureModel::exponents(double q) const {
    if (m_bernoulli) {
        return m_bernoulli->exponents(q);
    }
    checkOrder(q);
    Exponents x;
    x.q = q;
    if (m_single) {
        x.tau = q - 1.0;
        x.dq = x.hurst = x.alpha = x.f = 1.0;
    } else {
        const OrderRoot root = order(q);
        x.alpha = clamped(root.alpha);
        const DqPoint row = dq(q);
        x.tau = convention::tauOfBeta(row.beta);
        x.dq = row.dq;
        if (q == 0.0) {
            x.hurst = x.alpha;
        } else if (std::fabs(q) <= kNearOrder) {
            x.hurst = meanAlpha(0.0, q);
        } else {
            x.hurst = (x.tau + 1.0) / q;
        }
        x.f = root.f;
    }
    x.beta = convention::betaOfTau(x.tau);
    x.zeta = convention::zetaOfHurst(q, x.hurst);
    return x;
}

void MarkovMeasureModel::exponentsMany(std::span<const double> qs, std::span<Exponents> out,
                                       const RunControl& control) const {
    if (m_bernoulli) {
        m_bernoulli->exponentsMany(qs, out, control);
        return;
    }
    constexpr std::size_t kBlock = 16;
    forEachBlock(qs.size(), kBlock, control, [&](std::size_t first, std::size_t n) {
        for (std::size_t i = first; i < first + n; ++i) {
            out[i] = exponents(qs[i]);
        }
        checkCancelled(control);
    });
    for (const Exponents& x : out) {
        if ((x.q == 0.0 && x.tau != -1.0) || (x.q == 1.0 && x.tau != 0.0)) {
            fault("tau(" + shortest(x.q) + ") = " + shortest(x.tau) +
                  ", where it is -1 at q = 0 and 0 at q = 1");
        }
    }
    SpectrumBounds(m_alphaMin, m_alphaMax).check(std::span<const Exponents>(out));
}

MultifractalPoint MarkovMeasureModel::atQ(double q) const {
    if (m_bernoulli) {
        return m_bernoulli->atQ(q);
    }
    checkOrder(q);
    if (m_single) {
        return {1.0, 1.0, 0.0, 1.0};
    }
    const OrderRoot root = order(q);
    return {clamped(root.alpha), root.f, q, convention::betaOfTau(root.tau)};
}

MultifractalPoint MarkovMeasureModel::endPoint(bool smallest) const {
    return smallest ? MultifractalPoint{m_alphaMin, m_fMin, kInfinity, -kInfinity}
                    : MultifractalPoint{m_alphaMax, m_fMax, -kInfinity, kInfinity};
}

MultifractalPoint MarkovMeasureModel::pointOf(double alpha, const OrderRoot& root) const {
    // f(α) = f(α(q)) + q (α - α(q)) to first order in the small α - α(q) left by the search
    // for q (f' = q); the rest is second order.
    return {alpha, root.f + root.q * (alpha - root.alpha), root.q, convention::betaOfTau(root.tau)};
}

// The order whose α(q) is alpha: α falls with q, so the root is bracketed by steps from the
// guess, doubling, then closed by regula falsi (Illinois), within a few units of rounding of q
// or of α.
OrderRoot MarkovMeasureModel::solveAlpha(double alpha, TransferSolver& solver,
                                         const OrderRoot& guess, double step) const {
    int evaluations = 0;
    const auto at = [&](double q, const OrderRoot& near) {
        if (++evaluations > kMostEvaluations) {
            fault("no order q was found where alpha is " + shortest(alpha));
        }
        return order(q, solver, &near);
    };
    OrderRoot a = at(guess.q, guess);
    const double direction = a.alpha > alpha ? 1.0 : -1.0;
    step = std::max(std::fabs(step), 1e-3 * std::max(1.0, std::fabs(a.q)));
    OrderRoot b = at(a.q + direction * step, a);
    while ((b.alpha - alpha) * direction > 0.0) {
        a = b;
        step *= 2.0;
        b = at(a.q + direction * step, a);
    }
    // a.alpha - alpha and b.alpha - alpha now differ in sign (or b's is 0).
    double ga = a.alpha - alpha;
    double gb = b.alpha - alpha;
    int side = 0;
    const double resolution = 4.0 * DBL_EPSILON * alpha;
    while (std::fabs(gb) > resolution &&
           std::fabs(b.q - a.q) > 4.0 * DBL_EPSILON * std::max(std::fabs(a.q), std::fabs(b.q))) {
        const double q = b.q - gb * (b.q - a.q) / (gb - ga);
        const OrderRoot c = at(std::isfinite(q) ? q : 0.5 * (a.q + b.q), b);
        const double gc = c.alpha - alpha;
        if ((gc > 0.0) == (gb > 0.0)) {
            ga = side == -1 ? 0.5 * ga : ga;
            side = -1;
        } else {
            a = b;
            ga = gb;
            side = 1;
        }
        b = c;
        gb = gc;
    }
    return std::fabs(gb) <= std::fabs(ga) ? b : a;
}

MultifractalPoint MarkovMeasureModel::atAlpha(double alpha) const {
    if (m_bernoulli) {
        return m_bernoulli->atAlpha(alpha);
    }
    if (m_single) {
        return {1.0, 1.0, 0.0, 1.0};
    }
    if (!(alpha > m_alphaMin && alpha < m_alphaMax)) {
        return endPoint(!(alpha >= m_alphaMax));
    }
    TransferSolver solver = transferSolver();
    const OrderRoot start = order(0.0, solver, nullptr);
    return pointOf(alpha, solveAlpha(alpha, solver, start, 1.0));
}

long MarkovMeasureModel::solveBlock(std::size_t first, std::size_t points,
                                    std::span<MultifractalPoint> out,
                                    detail::BlockProgress& progress) const {
    TransferSolver solver = transferSolver();
    const double spread = m_alphaMax - m_alphaMin;
    const double last = static_cast<double>(points - 1);
    std::optional<OrderRoot> previous;
    std::optional<OrderRoot> before;
    double previousAlpha = 0.0;
    double beforeAlpha = 0.0;
    for (std::size_t i = first; i < first + out.size(); ++i) {
        progress.point();
        const double alpha =
            std::min(m_alphaMax, m_alphaMin + spread * (static_cast<double>(i) / last));
        if (!(alpha > m_alphaMin && alpha < m_alphaMax)) {
            out[i - first] = endPoint(alpha <= m_alphaMin);
            continue;
        }
        OrderRoot guess = previous ? *previous : order(0.0, solver, nullptr);
        double step = 1.0;
        if (previous && before) {
            // q along the line through the last two points, in α.
            const double slope = (previous->q - before->q) / (previousAlpha - beforeAlpha);
            step = slope * (alpha - previousAlpha);
            guess = order(previous->q + step, solver, &*previous);
        }
        const OrderRoot root = solveAlpha(alpha, solver, guess, step);
        out[i - first] = pointOf(alpha, root);
        before = previous;
        beforeAlpha = previousAlpha;
        previous = root;
        previousAlpha = alpha;
    }
    return 0;
}

long MarkovMeasureModel::spectrum(std::size_t points, const RunControl& control,
                                  const PointSink<MultifractalPoint>& sink) const {
    if (m_bernoulli) {
        return m_bernoulli->spectrum(points, control, sink);
    }
    if (points < 2) {
        throw InputError("the multifractal spectrum needs at least 2 points");
    }
    SpectrumBounds bounds(m_alphaMin, m_alphaMax);
    const auto checked = [&](std::size_t first, std::span<const MultifractalPoint> some) {
        bounds.check(some);
        sink(first, some);
    };
    if (m_single) {
        const MultifractalPoint one{1.0, 1.0, 0.0, 1.0};
        checked(0, {&one, 1});
        return 0;
    }
    return solveEvenly<MultifractalPoint>(
        points, control, endPoint(true), endPoint(false),
        [&](std::size_t first, std::span<MultifractalPoint> out, detail::BlockProgress& progress) {
            return solveBlock(first, points, out, progress);
        },
        checked);
}

void MarkovMeasureModel::dqRows(double from, double step, std::size_t count,
                                const RunControl& control, const PointSink<DqPoint>& sink) const {
    if (m_bernoulli) {
        m_bernoulli->dqRows(from, step, count, control, sink);
        return;
    }
    constexpr std::size_t kBlock = 16;
    SpectrumBounds bounds(m_alphaMin, m_alphaMax);
    internal::forEachWindow<DqPoint>(
        count, kBlock, control,
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

} // namespace detail

MarkovMeasureSolver::MarkovMeasureSolver(std::span<const MarkovPiece> pieces,
                                         const MarkovWeights& weights)
    : m_model(std::make_shared<const detail::MarkovMeasureModel>(pieces, weights)) {}

std::size_t MarkovMeasureSolver::pieceCount() const {
    return m_model->pieceCount();
}
bool MarkovMeasureSolver::bernoulli() const {
    return m_model->bernoulli();
}
double MarkovMeasureSolver::alphaMin() const {
    return m_model->alphaMin();
}
double MarkovMeasureSolver::alphaMax() const {
    return m_model->alphaMax();
}
bool MarkovMeasureSolver::singlePoint() const {
    return m_model->singlePoint();
}
double MarkovMeasureSolver::tau(double q) const {
    return m_model->tau(q);
}
Exponents MarkovMeasureSolver::exponents(double q) const {
    return m_model->exponents(q);
}
void MarkovMeasureSolver::exponentsMany(std::span<const double> qs, std::span<Exponents> out,
                                        const RunControl& control) const {
    m_model->exponentsMany(qs, out, control);
}
MultifractalPoint MarkovMeasureSolver::atQ(double q) const {
    return m_model->atQ(q);
}
MultifractalPoint MarkovMeasureSolver::atAlpha(double alpha) const {
    return m_model->atAlpha(alpha);
}
DqPoint MarkovMeasureSolver::dq(double q) const {
    return m_model->dq(q);
}
MultifractalSpectrum MarkovMeasureSolver::spectrum(std::size_t points,
                                                   const RunControl& control) const {
    return gathered<MultifractalPoint>(
        [&](const PointSink<MultifractalPoint>& sink) { return spectrum(points, control, sink); });
}
long MarkovMeasureSolver::spectrum(std::size_t points, const RunControl& control,
                                   const PointSink<MultifractalPoint>& sink) const {
    return m_model->spectrum(points, control, sink);
}
void MarkovMeasureSolver::dqRows(double from, double step, std::size_t count,
                                 const RunControl& control, const PointSink<DqPoint>& sink) const {
    m_model->dqRows(from, step, count, control, sink);
}

} // namespace veltrane
