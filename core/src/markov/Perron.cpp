#include "Perron.h"

#include "DoubleDouble.h"
#include <veltrane/errors.h>

#include <algorithm>
#include <cmath>

namespace veltrane {

namespace {

// The iteration is stopped far beyond what any map tried has needed (a few hundred products
// for maps whose slopes come within 1e-3 of 1).
constexpr long kMostIterations = 200'000;

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

// Scales x to sum 1.
void normalize(std::span<double> x) {
    double sum = 0.0;
    for (const double e : x) {
        sum += e;
    }
    const double scale = 1.0 / sum;
    for (double& e : x) {
        e *= scale;
    }
}

} // namespace

PerronIteration::PerronIteration(const IntervalRows& rows)
    : m_rows(rows), m_prefixHi(rows.size() + 1), m_prefixLo(rows.size() + 1),
      m_endHi(rows.size() + 1), m_endLo(rows.size() + 1), m_begun(rows.size()), m_y(rows.size()),
      m_z(rows.size()) {}

void PerronIteration::rightProduct(std::span<const double> rowWeights, std::span<const double> v,
                                   std::span<double> out) {
    runningSums(v.size(), [&](std::size_t k) { return v[k]; }, m_prefixHi, m_prefixLo);
    for (std::size_t i = 0; i < out.size(); ++i) {
        out[i] = rowWeights[i] * difference(m_prefixHi, m_prefixLo, m_rows.end[i], m_rows.begin[i]);
    }
}

void PerronIteration::leftProduct(std::span<const double> rowWeights, std::span<const double> u,
                                  std::span<double> out) {
    // (uᵀR A)_j sums r_i u_i over the rows whose run holds j: those begun at or before j less
    // those ended at or before j. Each is a running sum of positive terms gathered by the
    // place a run begins or ends.
    std::fill(m_begun.begin(), m_begun.end(), 0.0);
    std::fill(out.begin(), out.end(), 0.0);
    const std::size_t n = u.size();
    for (std::size_t i = 0; i < n; ++i) {
        const double t = rowWeights[i] * u[i];
        m_begun[m_rows.begin[i]] += t;
        if (m_rows.end[i] < n) {
            out[m_rows.end[i]] += t;
        }
    }
    runningSums(n, [&](std::size_t k) { return m_begun[k]; }, m_prefixHi, m_prefixLo);
    runningSums(n, [&](std::size_t k) { return out[k]; }, m_endHi, m_endLo);
    for (std::size_t j = 0; j < n; ++j) {
        const DoubleDouble d = exactSum(m_prefixHi[j + 1], -m_endHi[j + 1]);
        out[j] = d.hi + (d.lo + (m_prefixLo[j + 1] - m_endLo[j + 1]));
    }
}

// The iteration multiplies by the shifted matrix R·A + σI with σ the current estimate of ρ.
// R·A is irreducible, so by Perron and Frobenius ρ is a simple eigenvalue with positive
// vectors and every other eigenvalue μ has |μ| ≤ ρ, μ ≠ ρ; then |μ + σ| < ρ + σ for any σ > 0,
// so the shifted iteration converges even where the graph is periodic (there |μ| = ρ for the
// d-th roots of unity times ρ, and the factor |μ + ρ| / 2ρ is cos(π/d)). The error of the
// vectors falls by the factor q = max |μ + σ| / (ρ + σ) each step; q is estimated from the
// ratio of successive changes, and the error left is the last change times q / (1 - q). The
// root itself is the two-sided Rayleigh quotient uᵀR A v / uᵀv, whose error is the product of
// the two vectors' errors, so it is accurate to rounding once they are to half of it.
PerronRoot PerronIteration::solve(std::span<const double> rowWeights,
                                  std::span<const double> values, PerronVectors& vectors,
                                  double tolerance, const RunControl& control) {
    const std::size_t n = m_rows.size();
    if (vectors.right.size() != n || vectors.left.size() != n) {
        vectors.right.assign(n, 1.0 / static_cast<double>(n));
        vectors.left.assign(n, 1.0 / static_cast<double>(n));
    }
    std::vector<double>& v = vectors.right;
    std::vector<double>& u = vectors.left;
    PerronRoot root;
    double change = 0.0;
    double worstRate = 1.0;
    double ratePrevious = 1.0;
    for (long iteration = 0;; ++iteration) {
        checkCancelled(control);
        rightProduct(rowWeights, v, m_y);
        leftProduct(rowWeights, u, m_z);
        root.products += 2;
        double uv = 0.0;
        double uy = 0.0;
        for (std::size_t i = 0; i < n; ++i) {
            uv += u[i] * v[i];
            uy += u[i] * m_y[i];
        }
        const double rho = uy / uv;
        if (!(rho > 0.0 && std::isfinite(rho))) {
            throw RuntimeError(ErrorKind::InvalidOperation,
                               "the transition matrix's weights left no finite positive root");
        }
        const bool settled = iteration >= 3 && worstRate < 1.0 &&
                             change * worstRate / (1.0 - worstRate) <= tolerance;
        if (settled || (change == 0.0 && iteration > 0)) {
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
        // The next vectors, and how far each moved, weighted by the other: the relative change
        // of the weights π.
        double movedRight = 0.0;
        double movedLeft = 0.0;
        for (std::size_t i = 0; i < n; ++i) {
            m_y[i] += rho * v[i];
            m_z[i] += rho * u[i];
        }
        normalize(m_y);
        normalize(m_z);
        for (std::size_t i = 0; i < n; ++i) {
            movedRight += u[i] * std::fabs(m_y[i] - v[i]);
            movedLeft += v[i] * std::fabs(m_z[i] - u[i]);
        }
        const double moved = std::max(movedRight, movedLeft) / uv;
        const double rate = change > 0.0 ? moved / change : 1.0;
        // Two rates in a row, since a complex pair of eigenvalues makes the changes swing.
        worstRate = std::max(rate, ratePrevious);
        ratePrevious = rate;
        change = moved;
        std::swap(v, m_y);
        std::swap(u, m_z);
    }
}

} // namespace veltrane
