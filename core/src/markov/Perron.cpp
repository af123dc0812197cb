#include "Perron.h"

#include "DoubleDouble.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <veltrane/errors.h>

namespace veltrane {

namespace {

constexpr double kInfinity = std::numeric_limits<double>::infinity();

// The iteration is stopped far beyond what any map tried has needed (a few hundred products
// for maps whose slopes come within 1e-3 of 1).
constexpr long kMostIterations = 200'000;

// The plain iteration is replaced by the shifted one when its change over kRateWindow steps
// falls by less than kSlowOverWindow (a rate above about 0.92 a step; the shifted one's rate is
// at least 1/2 however fast the plain one would be).
constexpr long kRateWindow = 8;
constexpr double kSlowOverWindow = 0.5;

// For this many steps the rate is taken as at least that of the matrix solved before, which a
// nearby matrix shares, so that a close start settles in two or three steps.
constexpr long kTrustedSteps = 4;
// The shifted iteration is left again, for the next matrix, when it converges at about its
// best rate (1/2 where every other eigenvalue is small), since the plain one is then faster.
constexpr double kShiftedFast = 0.6;

// The vectors' rounding floor: where the entries span many orders of magnitude, a row's sum,
// a difference of prefix sums, carries the rounding of the larger sums before it, and the
// changes stop falling at some 1e-12 to 1e-9. An iteration whose change has not halved in
// kStalled steps and is below kRoundingFloor has reached that floor and stops: its root is
// still accurate to the square of the floor, and the mean to the floor.
constexpr long kStalled = 24;
constexpr double kRoundingFloor = 1e-7;

// Running sums s_k = x_0 + ... + x_{k-1} held as hi + lo: hi is the rounded running sum and lo
// gathers the rounding error of each addition (exact by Knuth's two-sum), so that hi + lo is
// within a few units of 2^-104 of s_k. lo is not on the chain of dependent additions, which
// keeps the loop as fast as a plain running sum.
template <typename Term>
void runningSums(std::size_t n, const Term& term, std::span<double> hi, std::span<double> lo) {
    double s = 0.0;
    double error = 0.0;
    hi[0] = 0.0;
    lo[0] = 0.0;
    for (std::size_t k = 0; k < n; ++k) {
        const double x = term(k);
        const double t = s + x;
        const double back = t - s;
        error += (s - (t - back)) + (x - back);
        s = t;
        hi[k + 1] = s;
        lo[k + 1] = error;
    }
}

// s_b - s_a for b ≥ a, from sums held as hi + lo.
double difference(std::span<const double> hi, std::span<const double> lo, std::size_t b,
                  std::size_t a) {
    const DoubleDouble d = exactSum(hi[b], -hi[a]);
    return d.hi + (d.lo + (lo[b] - lo[a]));
}

} // namespace

PerronIteration::PerronIteration(const IntervalRows& rows)
    : m_rows(rows), m_prefixHi(rows.size() + 1), m_prefixLo(rows.size() + 1), m_begun(rows.size()),
      m_y(rows.size()), m_z(rows.size()), m_scale(rows.size()) {}

void PerronIteration::rightProduct(std::span<const double> v, std::span<double> out) {
    runningSums(
        v.size(), [&](std::size_t k) { return m_scale[k] * v[k]; }, m_prefixHi, m_prefixLo);
    for (std::size_t i = 0; i < out.size(); ++i) {
        out[i] = m_scale[i] * difference(m_prefixHi, m_prefixLo, m_rows.end[i], m_rows.begin[i]);
    }
}

void PerronIteration::leftProduct(std::span<const double> u, std::span<double> out) {
    // (uᵀS A)_j sums s_i u_i over the rows whose run holds j: a running sum over j of the terms
    // of the runs begun at j less those of the runs ended at j, carried in double-double as in
    // runningSums, so that it keeps its accuracy where it falls after large terms.
    std::fill(m_begun.begin(), m_begun.end(), 0.0);
    const std::size_t n = u.size();
    for (std::size_t i = 0; i < n; ++i) {
        const double t = m_scale[i] * u[i];
        m_begun[m_rows.begin[i]] += t;
        if (m_rows.end[i] < n) {
            m_begun[m_rows.end[i]] -= t;
        }
    }
    double sum = 0.0;
    double error = 0.0;
    for (std::size_t j = 0; j < n; ++j) {
        const double x = m_begun[j];
        const double t = sum + x;
        const double back = t - sum;
        error += (sum - (t - back)) + (x - back);
        sum = t;
        out[j] = m_scale[j] * (sum + error);
    }
}

// The iteration multiplies by R·A + σI. R·A is irreducible, so by Perron and Frobenius ρ is a
// simple eigenvalue with positive vectors and every other eigenvalue μ has |μ| ≤ ρ, μ ≠ ρ. The
// plain iteration (σ = 0) converges at the rate max |μ| / ρ, small for the maps whose pieces
// cover many others; but a periodic graph has |μ| = ρ (ρ times the d-th roots of unity), and
// there it never settles. With σ the current estimate of ρ every |μ + σ| < ρ + σ, so the
// shifted iteration converges on any irreducible graph (for period d at the rate cos(π/d)),
// though no faster than 1/2. The plain one is used until it is seen to converge slowly, then
// the shifted one, until that runs at about its best rate again.
//
// The error of the vectors falls by the factor q each step; q is estimated from the ratio of
// successive changes (the larger of the last two, as a complex pair of eigenvalues makes the
// changes swing, and, in the first steps, not below the rate of the matrix solved before), and
// the error left is the last change times q / (1 - q). The root itself is the two-sided
// Rayleigh quotient uᵀR A v / uᵀv, whose error is of the order of the product of the two
// vectors' errors.
PerronRoot PerronIteration::solve(std::span<const double> rowWeights,
                                  std::span<const double> values, PerronVectors& vectors,
                                  double tolerance, const RunControl& control) {
    const std::size_t n = m_rows.size();
    // R·A is similar to S·A·S with S = R^(1/2), whose vectors span half the orders of magnitude
    // (the weights of a large β may span hundreds), with the same root and the same products
    // u_i v_i.
    for (std::size_t i = 0; i < n; ++i) {
        m_scale[i] = std::sqrt(rowWeights[i]);
    }
    if (vectors.right.size() != n || vectors.left.size() != n) {
        vectors.right.assign(n, 1.0 / static_cast<double>(n));
        vectors.left.assign(n, 1.0 / static_cast<double>(n));
        m_rate = 1.0;
    }
    std::vector<double>& v = vectors.right;
    std::vector<double>& u = vectors.left;
    PerronRoot root;
    std::array<double, kRateWindow + 1> changes{}; // the last changes, by step modulo the size
    double worstRate = 1.0;
    double ratePrevious = 1.0;
    double leastChange = kInfinity;
    long leastAt = 0;
    long measured = 0; // steps since the rate was last measured afresh
    bool restarted = false;
    for (long iteration = 0;; ++iteration) {
        checkCancelled(control);
        rightProduct(v, m_y);
        leftProduct(u, m_z);
        root.products += 2;
        double uv = 0.0;
        double uy = 0.0;
        for (std::size_t i = 0; i < n; ++i) {
            uv += u[i] * v[i];
            uy += u[i] * m_y[i];
        }
        const double rho = uy / uv;
        if (!(rho > 0.0 && std::isfinite(rho)) && !restarted) {
            // The vectors started from lost each other where the weights span hundreds of
            // orders of magnitude (their entries underflowed apart): again from flat ones.
            restarted = true;
            std::fill(v.begin(), v.end(), 1.0 / static_cast<double>(n));
            std::fill(u.begin(), u.end(), 1.0 / static_cast<double>(n));
            measured = 0;
            worstRate = 1.0;
            ratePrevious = 1.0;
            m_rate = 1.0;
            leastChange = kInfinity;
            leastAt = iteration;
            continue;
        }
        if (!(rho > 0.0 && std::isfinite(rho))) {
            throw RuntimeError(ErrorKind::InvalidOperation,
                               "the transition matrix's weights left no finite positive root");
        }
        const double change = changes[static_cast<std::size_t>(measured) % changes.size()];
        const double rate = measured < kTrustedSteps ? std::max(worstRate, m_rate) : worstRate;
        const bool settled =
            measured >= 2 && rate < 1.0 && change * rate / (1.0 - rate) <= tolerance;
        const bool atFloor = iteration - leastAt >= kStalled && leastChange <= kRoundingFloor;
        if (settled || atFloor || (measured >= 1 && change == 0.0)) {
            m_rate = worstRate;
            if (m_shifted && worstRate < kShiftedFast) {
                m_shifted = false;
            }
            root.logRoot = std::log(rho);
            double mean = 0.0;
            for (std::size_t i = 0; i < values.size(); ++i) {
                mean += u[i] * v[i] * values[i];
            }
            mean /= uv;
            double variance = 0.0;
            for (std::size_t i = 0; i < values.size(); ++i) {
                const double d = values[i] - mean;
                variance += u[i] * v[i] * d * d;
            }
            root.mean = mean;
            root.variance = variance / uv;
            return root;
        }
        if (iteration == kMostIterations) {
            throw RuntimeError(ErrorKind::InvalidOperation,
                               "the transition matrix's Perron vector did not settle");
        }
        if (!m_shifted && measured > kRateWindow &&
            change >
                kSlowOverWindow *
                    changes[static_cast<std::size_t>(measured - kRateWindow) % changes.size()]) {
            // Slow, or not converging at all on a periodic graph: shifted, and the rate measured
            // afresh.
            m_shifted = true;
            measured = 0;
            worstRate = 1.0;
            ratePrevious = 1.0;
            m_rate = 1.0;
            leastChange = kInfinity;
            leastAt = iteration;
        }
        // The next vectors, and how far each moved, weighted by the other: the relative change
        // of the weights π.
        const double sigma = m_shifted ? rho : 0.0;
        double sumRight = 0.0;
        double sumLeft = 0.0;
        for (std::size_t i = 0; i < n; ++i) {
            m_y[i] += sigma * v[i];
            m_z[i] += sigma * u[i];
            sumRight += m_y[i];
            sumLeft += m_z[i];
        }
        const double scaleRight = 1.0 / sumRight;
        const double scaleLeft = 1.0 / sumLeft;
        double movedRight = 0.0;
        double movedLeft = 0.0;
        for (std::size_t i = 0; i < n; ++i) {
            m_y[i] *= scaleRight;
            m_z[i] *= scaleLeft;
            movedRight += u[i] * std::fabs(m_y[i] - v[i]);
            movedLeft += v[i] * std::fabs(m_z[i] - u[i]);
        }
        const double moved = std::max(movedRight, movedLeft) / uv;
        if (measured >= 1) {
            const double before = changes[static_cast<std::size_t>(measured) % changes.size()];
            const double ratio = before > 0.0 ? moved / before : 1.0;
            worstRate = std::max(ratio, ratePrevious);
            ratePrevious = ratio;
        }
        if (moved < 0.5 * leastChange) {
            leastChange = moved;
            leastAt = iteration;
        }
        ++measured;
        changes[static_cast<std::size_t>(measured) % changes.size()] = moved;
        std::swap(v, m_y);
        std::swap(u, m_z);
    }
}

} // namespace veltrane
