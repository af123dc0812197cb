#include "Perron.h"

#include "Hessenberg.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cmath>
#include <limits>
#include <veltrane/errors.h>

namespace veltrane {

namespace {

constexpr double kEpsilon = std::numeric_limits<double>::epsilon();
constexpr double kInfinity = std::numeric_limits<double>::infinity();

// Where the bounds are expected to need more power steps than this, the vectors are improved by
// Noda's iteration or a Krylov subspace instead.
constexpr double kPowerStepsWorthTaking = 12.0;

// The Krylov subspace's size, at first and at most; it doubles each time one falls short.
constexpr std::size_t kFirstKrylov = 12;
constexpr std::size_t kMostKrylov = 96;

// A Ritz vector's entries below this part of its largest are within its rounding; the power
// steps after it, this many before it is judged, give them their size.
constexpr double kUnresolved = 1e-14;
constexpr int kPolish = 2;

// Far beyond what any map needs (tens of steps): a solve that has not met its bounds by then
// is a fault of the program, reported as such.
constexpr long kMostSteps = 100'000;

// Bounds this close that have not halved in six steps are at the rounding of the ratios: a few
// units of 2^-53 each, and no step makes them better.
constexpr double kStalledWidth = 256.0 * kEpsilon;

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

double largest(std::span<const double> v) {
    double m = 0.0;
    for (const double x : v) {
        m = std::max(m, x);
    }
    return m;
}

void scaleToLargest(std::vector<double>& v) {
    const double m = largest(v);
    for (double& x : v) {
        x /= m;
    }
}

} // namespace

// One solve: the vectors, their products and bounds, and the steps that improve them.
class PerronSolver::Run {
public:
    Run(BalancedMatrix& b, PerronVectors& vectors, GthFactor* factor, const RunControl& control)
        : m_b(b), m_y(vectors.right), m_z(vectors.left), m_factor(factor), m_control(control),
          m_u(b.size()), m_w(b.size()) {}

    // Forms the products and the bounds of the vectors as they are.
    void measure() {
        checkCancelled(m_control);
        m_b.right(m_y, m_u);
        m_b.left(m_z, m_w);
        m_products += 2;
        double loRight = std::numeric_limits<double>::infinity();
        double hiRight = 0.0;
        double loLeft = loRight;
        double hiLeft = 0.0;
        double zu = 0.0;
        double zy = 0.0;
        for (std::size_t i = 0; i < m_y.size(); ++i) {
            // An entry that fell below the range of doubles carries no weight anywhere: the
            // bounds are those of the others.
            if (m_y[i] > 0.0) {
                const double r = m_u[i] / m_y[i];
                loRight = std::min(loRight, r);
                hiRight = std::max(hiRight, r);
            }
            if (m_z[i] > 0.0) {
                const double l = m_w[i] / m_z[i];
                loLeft = std::min(loLeft, l);
                hiLeft = std::max(hiLeft, l);
            }
            zu += m_z[i] * m_u[i];
            zy += m_z[i] * m_y[i];
        }
        if (std::getenv("VT_TRACE3")) {
            double nlo = 1e300, nhi = 0; std::size_t at = 0;
            for (std::size_t i = 0; i < m_y.size(); ++i) { long double sum = 0; m_b.row(i, [&](std::uint32_t j, double v){ sum += (long double)v*m_y[j]; }); double r = (double)(sum / m_y[i]); nlo = std::min(nlo, r); if (r > nhi) { nhi = r; at = i; } }
            std::fprintf(stderr, "    R [%.6g %.6g] L [%.6g %.6g] naive R [%.6g %.6g] at %zu u %.6g y %.6g\n", loRight, hiRight, loLeft, hiLeft, nlo, nhi, at, m_u[at], m_y[at]);
        }
        m_sigma = hiRight;
        m_lo = std::max(loRight, loLeft);
        m_hi = std::min(hiRight, hiLeft);
        m_rho = std::clamp(zu / zy, m_lo, m_hi);
    }

    double width() const { return (m_hi - m_lo) / m_rho; }

    void powerStep() {
        m_y.swap(m_u);
        m_z.swap(m_w);
        scaleToLargest(m_y);
        scaleToLargest(m_z);
    }

    // One step of Noda's iteration, shifted by the right vector's upper bound: false where the
    // shift is the root itself to rounding.
    bool nodaStep() {
        const std::size_t n = m_y.size();
        std::vector<double> deficit(n);
        for (std::size_t i = 0; i < n; ++i) {
            deficit[i] = std::max(0.0, m_sigma - m_u[i] / m_y[i]);
        }
        const auto entries = [&](std::size_t i, const auto& take) {
            const double scale = 1.0 / m_y[i];
            m_b.row(i, [&](std::uint32_t j, double value) { take(j, value * m_y[j] * scale); });
        };
        if (!m_factor->factor(entries, deficit)) {
            return false;
        }
        std::vector<double> x(n, 1.0);
        m_factor->solve(x);
        std::vector<double> t(n);
        for (std::size_t i = 0; i < n; ++i) {
            t[i] = m_y[i] * m_z[i];
        }
        m_factor->solveTransposed(t);
        for (std::size_t i = 0; i < n; ++i) {
            m_z[i] = t[i] / m_y[i];
            m_y[i] *= x[i];
        }
        scaleToLargest(m_y);
        scaleToLargest(m_z);
        m_products += 2;
        return true;
    }

    // The Rayleigh–Ritz vectors of Krylov subspaces of size m, for B and Bᵀ each scaled by its
    // current vector.
    // Keeps the vectors as they are where the subspaces did not make them better.
    bool krylovStep(std::size_t m) {
        const std::vector<double> y = m_y;
        const std::vector<double> z = m_z;
        const double before = width();
        const bool right = ritz(m, m_y, [this](std::span<const double> x, std::span<double> out) {
            m_b.right(x, out);
        });
        const bool left = ritz(m, m_z, [this](std::span<const double> x, std::span<double> out) {
            m_b.left(x, out);
        });
        measure();
        for (int polish = 0; polish < kPolish && right && left; ++polish) {
            powerStep();
            measure();
        }
        if (!(right && left) || !(width() < before)) {
            m_y = y;
            m_z = z;
            measure();
            return false;
        }
        return true;
    }

    long products() const { return m_products; }
    double lo() const { return m_lo; }
    double hi() const { return m_hi; }
    double rho() const { return m_rho; }

private:
    // Arnoldi's process on x ↦ (B (v ∘ x)) / v from the flat vector; v ← v ∘ the Ritz vector of
    // the Ritz value of largest real part (ρ's, which is real and the largest in size), where
    // that vector is positive, or kept positive by a floor where the subspace could not resolve
    // an entry (the power steps after it mend those). False where no real Ritz value leads.
    template <typename Product>
    bool ritz(std::size_t m, std::vector<double>& v, const Product& product) {
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
            product(scaled, w);
            ++m_products;
            for (std::size_t i = 0; i < n; ++i) {
                w[i] = v[i] > 0.0 ? w[i] / v[i] : 0.0;
            }
            // Gram–Schmidt twice, which keeps the basis orthogonal to rounding.
            double before = 0.0;
            for (const double x : w) {
                before += x * x;
            }
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
        // Entries below the rounding of the largest are not resolved: they are kept positive at
        // that level, and the power steps after it give them their size.
        for (std::size_t i = 0; i < n; ++i) {
            v[i] *= std::max(x[i], kUnresolved * most);
        }
        scaleToLargest(v);
        return true;
    }

    BalancedMatrix& m_b;
    std::vector<double>& m_y;
    std::vector<double>& m_z;
    GthFactor* m_factor;
    const RunControl& m_control;
    std::vector<double> m_u;
    std::vector<double> m_w;
    double m_sigma = 0.0;
    double m_lo = 0.0;
    double m_hi = 0.0;
    double m_rho = 1.0;
    long m_products = 0;
};

PerronMap::PerronMap(const IntervalRows& rows, std::span<const double> exponents,
                     BalancedFrame plus, BalancedFrame minus)
    : m_rows(rows), m_exponents(exponents), m_plus(std::move(plus)), m_minus(std::move(minus)),
      m_plusTree(m_plus.potentials), m_minusTree(m_minus.potentials) {
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
                               const RunControl& control) {
    BalancedMatrix& b = beta >= 0.0 ? m_plus : m_minus;
    b.setBeta(std::fabs(beta));
    const std::size_t n = m_map.m_rows.size();
    if (vectors.right.size() != n || vectors.left.size() != n) {
        vectors.right.assign(n, 1.0);
        vectors.left.assign(n, 1.0);
    }
    tolerance = std::max(tolerance, floor());
    if (std::getenv("VT_TRACE2")) std::fprintf(stderr, " solve beta %.17g tol %.2e\n", beta, tolerance);
    Run run(b, vectors, m_factor.get(), control);
    run.measure();
    double before = run.width();
    std::size_t krylov = kFirstKrylov;
    bool accelerate = false;
    int stalled = 0;
    for (long step = 0; run.width() > tolerance; ++step) {
        if (step == kMostSteps) {
            throw RuntimeError(ErrorKind::Internal,
                               "the Perron root's bounds did not close at beta " +
                                   std::to_string(beta));
        }
        if (!accelerate) {
            run.powerStep();
            run.measure();
            const double rate = run.width() / before;
            const double stepsLeft = std::log(tolerance / run.width()) / std::log(rate);
            accelerate = step >= 1 && !(rate < 1.0 && stepsLeft <= kPowerStepsWorthTaking) && !std::getenv("VT_NOACC");
        } else if (m_factor) {
            if (!run.nodaStep()) {
                break;
            }
            run.measure();
        } else {
            if (!run.krylovStep(krylov) || !(run.width() < 0.1 * before)) {
                krylov = std::min(2 * krylov, kMostKrylov);
            }
            accelerate = false; // the power steps after it polish the entries it left rough
        }
        if (std::getenv("VT_TRACE2")) std::fprintf(stderr, "  step %ld mode %s width %.3e rho %.17g\n", step, accelerate ? (m_factor ? "noda" : "krylov") : "power", run.width(), run.rho());
        // Bounds that no longer close are at the rounding of the ratios.
        stalled = run.width() < 0.5 * before ? 0 : stalled + 1;
        if (stalled >= 6 && run.width() < kStalledWidth) {
            break;
        }
        before = std::min(before, run.width());
    }
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
    return root;
}

} // namespace veltrane
