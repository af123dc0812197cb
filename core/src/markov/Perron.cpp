#include "Perron.h"

#include "Hessenberg.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <veltrane/errors.h>
#include <veltrane/text.h>

namespace veltrane {

namespace {

constexpr double kEpsilon = std::numeric_limits<double>::epsilon();
constexpr double kInfinity = std::numeric_limits<double>::infinity();

// Where the bounds are expected to need more power steps than this, the vectors are improved by
// Noda's iteration or a Krylov subspace instead. A subspace costs a product a vector and its
// orthogonalization; its size starts at what the last solve needed (at least kFirstKrylov, where
// one or two eigenvalues near ρ hold the power iteration back) and doubles while it falls short.
constexpr double kPowerStepsWorthTaking = 12.0;

// The Krylov subspace's size, at first and at most; it doubles each time one falls short.
constexpr std::size_t kFirstKrylov = 4;
constexpr std::size_t kMostKrylov = 16;

// A Ritz vector's entries below this part of its largest are within its rounding; the power
// steps after it, this many before it is judged, give them their size.
constexpr double kUnresolved = 1e-14;
constexpr int kPolish = 2;

// A power iteration that keeps this much of its error a step (or more, as on a periodic graph or a
// chain, where it does not converge) makes the next solve start with the faster ways.
constexpr double kHopeless = 0.95;

// Groups of ratios an aggregation step takes at most, and the rounds of aggregation and power
// steps it makes at most.
constexpr std::uint32_t kMostGroups = 8;
constexpr int kAggregationRounds = 8;

// Far beyond what any map needs (tens of steps): a solve that has not met its bounds by then
// is a fault of the program, reported as such.
constexpr long kMostSteps = 100'000;

// Bounds this close that have not shrunk by a fifth in kStalledSteps steps are at the rounding of
// the ratios: a few units of 2^-53 each, and no step makes them better. (Bounds that halve a step,
// as Noda's iteration does where two parts of the map have nearly the same root, still improve.)
constexpr double kStalledWidth = 1024.0 * kEpsilon;
constexpr int kStalledSteps = 6;

// Bounds that have not shrunk by a fifth in this many steps, a restart among them, are at the
// rounding of this matrix's ratios, which where the parts of a nearly decoupled map differ in size
// by many orders lies above kStalledWidth: the root is handed on with the bounds as they are, and
// what uses it widens its own by them.
constexpr int kLongStall = 64;

// Steps without the right vector's bounds halving after which a solve starts again from the flat
// vectors, once.
constexpr int kRestartAfter = 24;

// Graphs taken by Noda's iteration: their runs at most this many entries a piece on average
// (and a few thousand in all for small maps), their elimination at most this many
// multiply-adds, a few dozen products' worth.
constexpr std::size_t kGthEdgesPerPiece = 16;
constexpr std::size_t kGthLeastEdges = 4096;
constexpr std::size_t kGthWorkPerPiece = 64;
constexpr std::size_t kGthLeastWork = 1 << 16;

// The solution of the small dense system (h - σ I) s = s0 by Gaussian elimination with partial
// pivoting; h is m × m, row-major.
std::vector<double> shiftedSolve(std::vector<double> h, std::size_t m, double sigma,
                                 std::vector<double> s) {
    for (std::size_t i = 0; i < m; ++i) {
        h[i * m + i] -= sigma;
    }
    for (std::size_t k = 0; k < m; ++k) {
        std::size_t p = k;
        for (std::size_t i = k + 1; i < m; ++i) {
            if (std::fabs(h[i * m + k]) > std::fabs(h[p * m + k])) {
                p = i;
            }
        }
        if (p != k) {
            for (std::size_t j = 0; j < m; ++j) {
                std::swap(h[k * m + j], h[p * m + j]);
            }
            std::swap(s[k], s[p]);
        }
        double pivot = h[k * m + k];
        if (pivot == 0.0) {
            pivot = h[k * m + k] = kEpsilon * (1.0 + std::fabs(sigma));
        }
        for (std::size_t i = k + 1; i < m; ++i) {
            const double f = h[i * m + k] / pivot;
            if (f != 0.0) {
                for (std::size_t j = k; j < m; ++j) {
                    h[i * m + j] -= f * h[k * m + j];
                }
                s[i] -= f * s[k];
            }
        }
    }
    for (std::size_t k = m; k-- > 0;) {
        double sum = s[k];
        for (std::size_t j = k + 1; j < m; ++j) {
            sum -= h[k * m + j] * s[j];
        }
        s[k] = sum / h[k * m + k];
    }
    return s;
}

// Whether v is a vector to start from: every entry finite and positive, up to rounding.
bool usable(std::span<const double> v) {
    return std::all_of(v.begin(), v.end(), [](double x) { return x > 0.0 && x < kInfinity; });
}

double largest(std::span<const double> v) {
    double m = 0.0;
    for (const double x : v) {
        m = std::max(m, x);
    }
    return m;
}

void scaleToLargest(std::vector<double>& v) {
    const double m = 1.0 / largest(v);
    for (double& x : v) {
        x *= m;
    }
}

// The Perron vector of the irreducible nonnegative m × m matrix c (row-major), each entry to a
// few units of rounding of itself: Noda's iteration with the Grassmann–Taksar–Heyman
// factorization of a full pattern. Nothing where it does not settle.
std::optional<std::vector<double>> smallPerronVector(const std::vector<double>& c, std::size_t m) {
    IntervalRows full;
    full.begin.assign(m, 0);
    full.end.assign(m, static_cast<std::uint32_t>(m));
    const std::optional<GthPattern> pattern = GthPattern::of(full, m * m, m * m * m + 16);
    if (!pattern) {
        return std::nullopt;
    }
    GthFactor factor(*pattern);
    std::vector<double> v(m, 1.0);
    std::vector<double> ratio(m);
    std::vector<double> deficit(m);
    for (int step = 0; step < 200; ++step) {
        double lo = kInfinity;
        double hi = 0.0;
        for (std::size_t i = 0; i < m; ++i) {
            double sum = 0.0;
            for (std::size_t j = 0; j < m; ++j) {
                sum += c[i * m + j] * v[j];
            }
            ratio[i] = sum / v[i];
            lo = std::min(lo, ratio[i]);
            hi = std::max(hi, ratio[i]);
        }
        if (!std::isfinite(hi)) {
            return std::nullopt;
        }
        if (hi - lo <= 4.0 * kEpsilon * hi) {
            return v;
        }
        for (std::size_t i = 0; i < m; ++i) {
            deficit[i] = hi - ratio[i];
        }
        const auto entries = [&](std::size_t i, const auto& take) {
            for (std::size_t j = 0; j < m; ++j) {
                take(static_cast<std::uint32_t>(j), c[i * m + j] * v[j] / v[i]);
            }
        };
        if (!factor.factor(entries, deficit)) {
            return v;
        }
        std::vector<double> x(m, 1.0);
        factor.solve(x);
        for (std::size_t i = 0; i < m; ++i) {
            v[i] *= x[i];
        }
        scaleToLargest(v);
    }
    return std::nullopt;
}

} // namespace

// One solve: the two vectors, their products and bounds, and the steps that improve them. The
// right vector's bounds are what the result rests on; the left vector only weighs the exponents
// for the mean, for which a looser tolerance does.
class PerronSolver::Run {
public:
    // One of the two vectors.
    struct Side {
        std::vector<double>& v;
        std::vector<double> product; // B v, or Bᵀ v
        bool right;
        double tolerance;
        double lo = 0.0; // Collatz–Wielandt bounds
        double hi = 0.0;
        double best = kInfinity; // the narrowest relative width so far
        double before = kInfinity;
        bool accelerate = false;
        int stalled = 0;
        int steps = 0;
        bool done = false;

        // For the right vector, the relative width of its bounds; for the left one, the mean of
        // its ratios' relative distances from ρ weighed by the equilibrium weights, which bounds
        // the error of the mean exponent: entries of no weight may be off by any factor.
        double deviation = 0.0;
        // Bounds that are not bounds (a vector with no entry left, or none finite) are as wide
        // as can be.
        double width() const {
            const double w = right ? (hi - lo) / hi : deviation;
            return w >= 0.0 ? w : kInfinity;
        }
    };

    Run(BalancedMatrix& b, const CyclicClasses& classes, PerronVectors& vectors, GthFactor* factor,
        double tolerance, double leftTolerance, std::size_t& krylov, bool& slow,
        const RunControl& control)
        : m_b(b), m_classes(classes), m_factor(factor), m_control(control), m_krylov(krylov),
          m_slow(slow), m_right{vectors.right, std::vector<double>(b.size()), true, tolerance},
          m_left{vectors.left, std::vector<double>(b.size()), false, leftTolerance} {}

    void solve(long mostSteps) {
        measure(m_right);
        measure(m_left);
        // Where the last solve found the power iteration slow (on a periodic graph, or a chain,
        // it does not converge at all), this one starts with the faster ways.
        m_right.accelerate = m_left.accelerate = m_slow;
        m_slow = false;
        for (long step = 0; !(m_right.done && m_left.done); ++step) {
            if (step == mostSteps) {
                throw RuntimeError(ErrorKind::Internal,
                                   "the Perron root's bounds did not close at beta " +
                                       shortest(m_b.beta()));
            }
            if (m_factor != nullptr && m_noda && (m_right.accelerate || m_left.accelerate)) {
                if (!nodaStep()) {
                    // A pivot of 0 or a solution beyond the doubles: the shift is the root to
                    // the rounding of the factorization, or the matrix is beyond what it
                    // resolves at this β (two parts of nearly equal roots, whose sizes it
                    // leaves to rounding); the other ways go on from here, and the bounds'
                    // stall ends the solve where nothing improves them.
                    m_noda = false;
                }
                const double before = m_right.width();
                measure(m_right);
                measure(m_left);
                if (!(m_right.width() < 0.5 * before)) {
                    // Far from the vector, where a few entries many orders too small set the
                    // shift far above ρ, Noda's steps barely move; a power step lifts those
                    // entries at once.
                    for (Side* side : {&m_right, &m_left}) {
                        side->v.swap(side->product);
                        scaleToLargest(side->v);
                        measure(*side);
                    }
                }
                judge(m_right);
                judge(m_left);
                continue;
            }
            for (Side* side : {&m_right, &m_left}) {
                if (!side->done) {
                    improve(*side);
                    judge(*side);
                }
            }
            if (!m_right.done && m_right.stalled >= kRestartAfter && !m_restarted) {
                // Stuck where the start leaned to a part of the map that no longer leads (two
                // loosely coupled parts whose pressures crossed since the vectors were solved):
                // again from the flat vectors, on which every part weighs alike.
                m_restarted = true;
                for (Side* side : {&m_right, &m_left}) {
                    std::fill(side->v.begin(), side->v.end(), 1.0);
                    side->best = side->before = kInfinity;
                    side->stalled = 0;
                    side->done = false;
                    side->accelerate = false;
                    measure(*side);
                }
            }
        }
    }

    long products() const { return m_products; }
    double lo() const { return m_right.lo; }
    double hi() const { return m_right.hi; }

    // The two-sided Rayleigh quotient zᵀBy / zᵀy, within the right vector's bounds.
    double rho() const {
        double zu = 0.0;
        double zy = 0.0;
        for (std::size_t i = 0; i < m_right.v.size(); ++i) {
            zu += m_left.v[i] * m_right.product[i];
            zy += m_left.v[i] * m_right.v[i];
        }
        return std::clamp(zu / zy, m_right.lo, m_right.hi);
    }

private:
    // A power step, or where those converge slowly a Krylov subspace's Ritz vector.
    void improve(Side& side) {
        if (!side.accelerate) {
            side.v.swap(side.product);
            scaleToLargest(side.v);
            measure(side);
            const double rate = side.width() / side.before;
            const double stepsLeft = std::log(side.tolerance / side.width()) / std::log(rate);
            side.accelerate = side.steps >= 1 && !side.done &&
                              !(rate < 1.0 && stepsLeft <= kPowerStepsWorthTaking);
            m_slow = m_slow || (side.accelerate && side.right && !(rate < kHopeless));
        } else {
            // The power iteration is slow here: a Krylov subspace (with its two power steps that
            // polish the entries it left rough), and again while it helps; where it does not,
            // the aggregation of loosely coupled parts, then a larger subspace.
            const double before = side.width();
            const bool subspace = krylovStep(side);
            if (!subspace || !(side.width() < 0.1 * before)) {
                const bool blocks = aggregationStep(side);
                if (!blocks || !(side.width() < 0.1 * before)) {
                    m_krylov = std::min(2 * m_krylov, kMostKrylov);
                }
            } else if (side.width() < 1e-8 * before) {
                m_krylov = std::max(kFirstKrylov, m_krylov - 1); // more than it needs
            }
            side.accelerate = side.width() < 0.1 * before;
        }
    }

    // The product of side's vector and its bounds; whether it is done.
    void measure(Side& side) {
        checkCancelled(m_control);
        side.right ? m_b.right(side.v, side.product) : m_b.left(side.v, side.product);
        ++m_products;
        ++side.steps;
        if (m_classes.period > 1) {
            balanceClasses(side);
        }
        double lo = kInfinity;
        double hi = 0.0;
        for (std::size_t i = 0; i < side.v.size(); ++i) {
            // An entry that fell below the range of doubles carries no weight anywhere: the
            // bounds are those of the others.
            if (side.v[i] > 0.0) {
                const double r = side.product[i] / side.v[i];
                lo = std::min(lo, r);
                hi = std::max(hi, r);
            }
        }
        side.lo = lo;
        side.hi = hi;
        if (!side.right) {
            // Against the right vector's bounds as they are: before the right vector settles,
            // the deviation is that far too.
            const double rho = 0.5 * (m_right.lo + m_right.hi);
            double weight = 0.0;
            double off = 0.0;
            for (std::size_t i = 0; i < side.v.size(); ++i) {
                const double pi = side.v[i] * m_right.v[i];
                if (pi > 0.0) {
                    weight += pi;
                    off += pi * std::fabs(side.product[i] / side.v[i] - rho);
                }
            }
            side.deviation = off / (weight * rho) + (m_right.hi - m_right.lo) / m_right.hi;
        }
        side.done = side.done || side.width() <= side.tolerance;
    }

    // On a periodic graph B carries each cyclic class to the one before it (row i reads entries
    // of class c(i) + 1), and a power step turns the vector's classes around: a vector right
    // within each class may have its classes' sizes wrong by any factors, which the steps only
    // pass on. Rescaling the classes by constants (a diagonal similarity, so the bounds stay
    // bounds) to make the ratios of every class centre on their common geometric mean leaves
    // the power iteration converging at the rate of the eigenvalues below the p of modulus ρ.
    void balanceClasses(Side& side) {
        const std::uint32_t p = m_classes.period;
        std::vector<double> lo(p, kInfinity);
        std::vector<double> hi(p, 0.0);
        for (std::size_t i = 0; i < side.v.size(); ++i) {
            if (side.v[i] > 0.0) {
                const std::uint32_t c = m_classes.of[i];
                const double r = side.product[i] / side.v[i];
                lo[c] = std::min(lo[c], r);
                hi[c] = std::max(hi[c], r);
            }
        }
        std::vector<double> mid(p);
        double centre = 0.0;
        for (std::uint32_t c = 0; c < p; ++c) {
            if (!(lo[c] > 0.0 && hi[c] < kInfinity)) {
                return; // a class without weight: nothing to centre
            }
            mid[c] = 0.5 * (std::log(lo[c]) + std::log(hi[c]));
            centre += mid[c] / p;
        }
        // ln of the factors: the ratio of class c scales by a_{c+1} / a_c on the right, by
        // a_{c-1} / a_c on the left.
        std::vector<double> a(p, 0.0);
        for (std::uint32_t c = 1; c < p; ++c) {
            a[c] = side.right ? a[c - 1] + centre - mid[c - 1] : a[c - 1] + mid[c] - centre;
        }
        const double top = *std::max_element(a.begin(), a.end());
        std::vector<double> factor(p);
        for (std::uint32_t c = 0; c < p; ++c) {
            factor[c] = std::exp(a[c] - top);
        }
        for (std::size_t i = 0; i < side.v.size(); ++i) {
            const std::uint32_t c = m_classes.of[i];
            const std::uint32_t fed = side.right ? (c + 1) % p : (c + p - 1) % p;
            side.v[i] *= factor[c];
            side.product[i] *= factor[fed];
        }
    }

public:
    // Back to the best right vector met, where the last is not it (bounds at their rounding).
    void keepBest() {
        if (!m_bestRight.empty() && m_right.width() > m_right.best) {
            m_right.v = m_bestRight;
            measure(m_right);
        }
    }

private:
    // After an outer step: whether side's bounds have stalled. Bounds that no longer close at a
    // few units of rounding are at the rounding of the ratios.
    void judge(Side& side) {
        const double width = side.width();
        side.stalled = width < 0.8 * side.best ? 0 : side.stalled + 1;
        side.before = side.best;
        if (side.right && width < side.best) {
            m_bestRight = side.v; // where the bounds bounce at their rounding, the best is kept
        }
        side.best = std::min(side.best, width);
        // The left vector is only for the mean: where its bounds stall above the tolerance (as
        // where the matrix is nearly reducible and the weights of its parts are left to
        // rounding) it is as good as it gets, and the mean is marked as not to be relied on.
        side.done = side.done ||
                    (side.stalled >= kStalledSteps && (side.best < kStalledWidth || !side.right)) ||
                    side.stalled >= kLongStall;
    }

public:
    // Whether the left vector met its tolerance, and with it the mean.
    bool meanReliable() const { return m_left.width() <= 1e3 * m_left.tolerance; }

private:
    // One step of Noda's iteration on both vectors, shifted by the right vector's upper bound:
    // false where the shift is the root itself to rounding.
    bool nodaStep() {
        std::vector<double>& y = m_right.v;
        std::vector<double>& z = m_left.v;
        const std::size_t n = y.size();
        std::vector<double> deficit(n);
        for (std::size_t i = 0; i < n; ++i) {
            deficit[i] = std::max(0.0, m_right.hi - m_right.product[i] / y[i]);
        }
        const auto entries = [&](std::size_t i, const auto& take) {
            const double scale = 1.0 / y[i];
            m_b.row(i, [&](std::uint32_t j, double value) { take(j, value * y[j] * scale); });
        };
        if (!m_factor->factor(entries, deficit)) {
            return false;
        }
        std::vector<double> x(n, 1.0);
        m_factor->solve(x);
        std::vector<double> t(n);
        for (std::size_t i = 0; i < n; ++i) {
            t[i] = y[i] * z[i];
        }
        m_factor->solveTransposed(t);
        m_products += 2;
        if (!usable(x) || !usable(t)) {
            return false; // beyond the range of doubles: the shift is the root to rounding
        }
        for (std::size_t i = 0; i < n; ++i) {
            z[i] = t[i] / y[i];
            y[i] *= x[i];
        }
        scaleToLargest(y);
        scaleToLargest(z);
        return true;
    }

    // Where the ratios of side's vector fall into groups far apart, as where the matrix is nearly
    // the sum of blocks coupled by small entries (two parts of a map joined by short pieces, or
    // held apart at a large β), the vector's shape within each group is nearly right and only
    // the groups' sizes are off, by factors the power iteration corrects at the slow rate of the
    // coupling. The sizes are taken from the Perron vector of the small matrix of the blocks
    // (aggregation): C_kl = <w_k, B v_l> / <w_k, v_k> with v_l the vector on group l and w_k the
    // other vector on group k, whose entries are sums of terms of one sign, so that even a
    // coupling of 1e-100 keeps its relative accuracy; then power steps bring the shapes within
    // the groups to the new sizes. As the shapes settle the sizes improve, so rounds follow one
    // another while they help (iterative aggregation and disaggregation), and the best vector
    // met is kept. False where there are no groups, or nothing got better.
    bool aggregationStep(Side& side) {
        const std::vector<double> kept = side.v;
        const double before = side.width();
        std::vector<double> best = side.v;
        double bestWidth = before;
        // The groups as the stalled vector shows them, kept through the rounds: the shapes that
        // settle between them move the ratios, not the parts of the map.
        const std::vector<std::uint32_t> group = ratioGroups(side);
        for (int round = 0; round < kAggregationRounds && !side.done; ++round) {
            if (!aggregate(side, group)) {
                break;
            }
            // The power steps after it bring the shape within each group to the new sizes.
            for (int polish = 0; polish < kPolish && !side.done; ++polish) {
                side.v.swap(side.product);
                scaleToLargest(side.v);
                measure(side);
            }
            if (side.width() < bestWidth) {
                best = side.v;
                bestWidth = side.width();
            } else if (round > 0 && side.width() > 1e3 * bestWidth) {
                break;
            }
        }
        side.v = bestWidth < before ? best : kept;
        measure(side);
        return bestWidth < before;
    }

    // One aggregation over the groups given: false where there are none or no sizes.
    bool aggregate(Side& side, const std::vector<std::uint32_t>& group) {
        const std::size_t n = side.v.size();
        const std::uint32_t count =
            group.empty() ? 0 : 1 + *std::max_element(group.begin(), group.end());
        if (count < 2) {
            return false;
        }
        const std::vector<double>& other = side.right ? m_left.v : m_right.v;
        std::vector<double> c(static_cast<std::size_t>(count) * count, 0.0);
        std::vector<double> diagonal(count, 0.0);
        std::vector<double> part(n);
        std::vector<double> product(n);
        for (std::uint32_t l = 0; l < count; ++l) {
            for (std::size_t i = 0; i < n; ++i) {
                part[i] = group[i] == l ? side.v[i] : 0.0;
            }
            side.right ? m_b.right(part, product) : m_b.left(part, product);
            ++m_products;
            for (std::size_t i = 0; i < n; ++i) {
                c[group[i] * count + l] += other[i] * product[i];
                if (group[i] == l) {
                    diagonal[l] += other[i] * side.v[i];
                }
            }
        }
        for (std::uint32_t k = 0; k < count; ++k) {
            if (!(diagonal[k] > 0.0 && std::isfinite(diagonal[k]))) {
                return false; // the other vector has no weight on the group
            }
            for (std::uint32_t l = 0; l < count; ++l) {
                c[k * count + l] /= diagonal[k];
            }
        }
        const std::optional<std::vector<double>> sizes = smallPerronVector(c, count);
        if (!sizes || !usable(*sizes)) {
            return false;
        }
        for (std::size_t i = 0; i < n; ++i) {
            side.v[i] *= (*sizes)[group[i]];
        }
        scaleToLargest(side.v);
        measure(side);
        return true;
    }

    // The groups of side's ratios: sorted, split where two neighbours differ by more than a
    // quarter of the whole range, at most kMostGroups; empty where there is one.
    std::vector<std::uint32_t> ratioGroups(const Side& side) const {
        const std::size_t n = side.v.size();
        std::vector<std::pair<double, std::uint32_t>> ratios;
        ratios.reserve(n);
        for (std::size_t i = 0; i < n; ++i) {
            const double r = side.v[i] > 0.0 ? side.product[i] / side.v[i] : 0.0;
            ratios.emplace_back(r, static_cast<std::uint32_t>(i));
        }
        std::sort(ratios.begin(), ratios.end());
        const double range = ratios.back().first - ratios.front().first;
        std::vector<std::uint32_t> group(n, 0);
        std::uint32_t g = 0;
        for (std::size_t k = 0; k < n; ++k) {
            if (k > 0 && ratios[k].first - ratios[k - 1].first > 0.25 * range &&
                g + 1 < kMostGroups) {
                ++g;
            }
            group[ratios[k].second] = g;
        }
        if (g == 0) {
            return {};
        }
        return group;
    }

    // side's Ritz vector from a subspace of m_krylov vectors, and two power steps after it; the
    // vector as it was where that is no better.
    bool krylovStep(Side& side) {
        const std::vector<double> kept = side.v;
        const double before = side.width();
        const bool found = ritz(m_krylov, side.v, side.right);
        if (found) {
            measure(side);
            for (int polish = 0; polish < kPolish && !side.done; ++polish) {
                side.v.swap(side.product);
                scaleToLargest(side.v);
                measure(side);
            }
        }
        if (!found || !(side.width() < before)) {
            side.v = kept;
            measure(side);
            return false;
        }
        return true;
    }

    // Arnoldi's process on x ↦ (B (v ∘ x)) / v (or with Bᵀ) from the flat vector; v ← v ∘ the
    // Ritz vector of the Ritz value of largest real part (ρ's, which is real and the largest in
    // size), kept positive by a floor where the subspace could not resolve an entry (the power
    // steps after it mend those). False where no real Ritz value leads.
    bool ritz(std::size_t m, std::vector<double>& v, bool right) {
        const std::size_t n = v.size();
        m = std::min(m, n);
        std::vector<std::vector<double>> basis(1, std::vector<double>(n, 1.0 / std::sqrt(n)));
        std::vector<double> h(m * m, 0.0);
        std::vector<double> scaled(n);
        std::vector<double> w(n);
        std::size_t size = m;
        for (std::size_t k = 0; k < m; ++k) {
            checkCancelled(m_control);
            for (std::size_t i = 0; i < n; ++i) {
                scaled[i] = v[i] * basis[k][i];
            }
            right ? m_b.right(scaled, w) : m_b.left(scaled, w);
            ++m_products;
            double before = 0.0;
            for (std::size_t i = 0; i < n; ++i) {
                w[i] = v[i] > 0.0 ? w[i] / v[i] : 0.0;
                before += w[i] * w[i];
            }
            // Gram–Schmidt twice, which keeps the basis orthogonal to rounding.
            for (int pass = 0; pass < 2; ++pass) {
                for (std::size_t j = 0; j <= k; ++j) {
                    double dot = 0.0;
                    for (std::size_t i = 0; i < n; ++i) {
                        dot += basis[j][i] * w[i];
                    }
                    h[j * m + k] += dot;
                    for (std::size_t i = 0; i < n; ++i) {
                        w[i] -= dot * basis[j][i];
                    }
                }
            }
            double norm = 0.0;
            for (const double x : w) {
                norm += x * x;
            }
            norm = std::sqrt(norm);
            if (k + 1 == m) {
                break;
            }
            if (!(norm > 4.0 * kEpsilon * std::sqrt(before))) {
                size = k + 1; // an invariant subspace
                break;
            }
            h[(k + 1) * m + k] = norm;
            for (double& x : w) {
                x /= norm;
            }
            basis.push_back(w);
        }
        std::vector<double> small(size * size);
        for (std::size_t i = 0; i < size; ++i) {
            for (std::size_t j = 0; j < size; ++j) {
                small[i * size + j] = h[i * m + j];
            }
        }
        const auto values = hessenbergEigenvalues(small, size);
        if (!values) {
            return false;
        }
        double theta = -kInfinity;
        for (const std::complex<double>& z : *values) {
            if (std::fabs(z.imag()) <= 1e-9 * std::abs(z) && z.real() > theta) {
                theta = z.real();
            }
        }
        for (const std::complex<double>& z : *values) {
            if (z.real() > theta && std::fabs(z.imag()) > 1e-9 * std::abs(z)) {
                return false; // a complex pair leads: ρ's value is not resolved yet
            }
        }
        if (!(theta > 0.0)) {
            return false;
        }
        std::vector<double> s(size, 1.0);
        for (int step = 0; step < 3; ++step) {
            s = shiftedSolve(small, size, theta * (1.0 + 1e-12), s);
            double most = 0.0;
            for (const double x : s) {
                most = std::max(most, std::fabs(x));
            }
            for (double& x : s) {
                x /= most;
            }
        }
        std::vector<double> x(n, 0.0);
        for (std::size_t j = 0; j < size; ++j) {
            for (std::size_t i = 0; i < n; ++i) {
                x[i] += s[j] * basis[j][i];
            }
        }
        double sum = 0.0;
        for (const double e : x) {
            sum += e;
        }
        const double sign = sum < 0.0 ? -1.0 : 1.0;
        double most = 0.0;
        for (double& e : x) {
            e *= sign;
            most = std::max(most, e);
        }
        // Entries below the rounding of the largest are not resolved (where the vector's parts
        // differ by more than the rounding, as when a loosely coupled part of the map is far
        // smaller than the rest): they are taken instead from one product of the resolved ones,
        // which is what feeds them, and kept positive at the least normal double beyond that.
        std::vector<double> resolved(n);
        bool unresolved = false;
        for (std::size_t i = 0; i < n; ++i) {
            const bool known = x[i] > kUnresolved * most;
            resolved[i] = known ? v[i] * x[i] : 0.0;
            unresolved = unresolved || !known;
        }
        if (unresolved) {
            std::vector<double> fed(n);
            right ? m_b.right(resolved, fed) : m_b.left(resolved, fed);
            ++m_products;
            for (std::size_t i = 0; i < n; ++i) {
                if (resolved[i] == 0.0) {
                    resolved[i] = std::max(fed[i] / theta, std::numeric_limits<double>::min());
                }
            }
        }
        v = resolved;
        scaleToLargest(v);
        return true;
    }

    BalancedMatrix& m_b;
    const CyclicClasses& m_classes;
    GthFactor* m_factor;
    const RunControl& m_control;
    std::size_t& m_krylov;
    bool& m_slow;
    Side m_right;
    Side m_left;
    bool m_noda = true; // whether Noda's iteration is still of use in this solve
    std::vector<double> m_bestRight;
    bool m_restarted = false;
    long m_products = 0;
};

PerronMap::PerronMap(const IntervalRows& rows, std::span<const double> exponents,
                     BalancedFrame plus, BalancedFrame minus)
    : m_rows(rows), m_exponents(exponents), m_plus(std::move(plus)), m_minus(std::move(minus)),
      m_plusTree(m_plus.potentials), m_minusTree(m_minus.potentials),
      m_classes(cyclicClasses(rows)) {
    const std::size_t n = rows.size();
    m_pattern = GthPattern::of(rows, std::max(kGthLeastEdges, kGthEdgesPerPiece * n),
                               std::max(kGthLeastWork, kGthWorkPerPiece * n));
}

BalancedFrame flatFrame(std::size_t n) {
    BalancedFrame frame;
    frame.values.assign(n, 0.0);
    frame.potentials.assign(n, 0.0);
    return frame;
}

PerronSolver::PerronSolver(const PerronMap& map)
    : m_map(map), m_plus(map.m_rows, map.m_plus, map.m_plusTree),
      m_minus(map.m_rows, map.m_minus, map.m_minusTree) {
    if (map.m_pattern) {
        m_factor = std::make_unique<GthFactor>(*map.m_pattern);
    }
}

PerronSolver::~PerronSolver() = default;

double PerronSolver::floor() {
    return 16.0 * kEpsilon;
}

PerronRoot PerronSolver::solve(double beta, PerronVectors& vectors, double tolerance,
                               double leftTolerance, const RunControl& control) {
    BalancedMatrix& b = beta >= 0.0 ? m_plus : m_minus;
    b.setBeta(std::fabs(beta));
    const std::size_t n = m_map.m_rows.size();
    for (std::vector<double>* v : {&vectors.right, &vectors.left}) {
        if (v->size() != n || !usable(*v)) {
            v->assign(n, 1.0);
        }
    }
    tolerance = std::max(tolerance, floor());
    m_krylov = std::max(kFirstKrylov, m_krylov / 2);
    Run run(b, m_map.m_classes, vectors, m_factor.get(), tolerance,
            std::max(tolerance, leftTolerance), m_krylov, m_slow, control);
    run.solve(kMostSteps);
    run.keepBest();
    PerronRoot root;
    root.products = run.products();
    root.logScale = b.logScale();
    root.logBalanced = std::log(run.rho());
    root.logBalancedLower = std::log(run.lo());
    root.logBalancedUpper = std::log(run.hi());
    root.logRoot = root.logScale + root.logBalanced;
    root.logLower = root.logScale + root.logBalancedLower;
    root.logUpper = root.logScale + root.logBalancedUpper;
    const std::vector<double>& y = vectors.right;
    const std::vector<double>& z = vectors.left;
    double weight = 0.0;
    double mean = 0.0;
    for (std::size_t i = 0; i < n; ++i) {
        const double pi = y[i] * z[i];
        weight += pi;
        mean += pi * m_map.m_exponents[i];
    }
    mean /= weight;
    double variance = 0.0;
    for (std::size_t i = 0; i < n; ++i) {
        const double d = m_map.m_exponents[i] - mean;
        variance += y[i] * z[i] * d * d;
    }
    root.mean = mean;
    root.variance = variance / weight;
    root.meanReliable = run.meanReliable();
    return root;
}

} // namespace veltrane
