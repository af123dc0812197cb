#include "Collocation.h"

#include <algorithm>
#include <cmath>
#include <numeric>
#include <veltrane/errors.h>

namespace veltrane::detail {

namespace {

// Power steps stop when the eigenvalue estimate moves by less than this, relative; a map
// whose operator has its second eigenvalue close to the first in size takes more of them.
constexpr double kSettled = 0x1p-50;
constexpr int kMostSteps = 5000;

// Inverse iteration from a guess good to a few digits gains as many each step.
constexpr int kMostInverseSteps = 60;

double norm(const std::vector<double>& v) {
    return std::sqrt(std::inner_product(v.begin(), v.end(), v.begin(), 0.0));
}

// M - σI = P L U with partial pivoting, for solves with it and with its transpose. A zero
// pivot (σ an eigenvalue to the last bit) is moved by a unit of rounding: inverse iteration
// needs only a matrix near M - σI.
class LuFactors {
public:
    LuFactors(const std::vector<double>& matrix, std::size_t m, double shift)
        : m_m(m), m_a(matrix), m_pivot(m) {
        for (std::size_t k = 0; k < m; ++k) {
            m_a[k * m + k] -= shift;
        }
        // A pivot below a unit of rounding of the matrix's largest entry is as good as 0.
        double largest = 0.0;
        for (const double a : m_a) {
            largest = std::max(largest, std::abs(a));
        }
        const double tiny = 0x1p-52 * largest;
        for (std::size_t k = 0; k < m; ++k) {
            std::size_t p = k;
            for (std::size_t i = k + 1; i < m; ++i) {
                if (std::abs(m_a[i * m + k]) > std::abs(m_a[p * m + k])) {
                    p = i;
                }
            }
            m_pivot[k] = p;
            if (p != k) {
                std::swap_ranges(&m_a[k * m], &m_a[k * m] + m, &m_a[p * m]);
            }
            double& pivot = m_a[k * m + k];
            if (std::abs(pivot) < tiny) {
                pivot = pivot < 0.0 ? -tiny : tiny;
            }
            for (std::size_t i = k + 1; i < m; ++i) {
                const double factor = m_a[i * m + k] / pivot;
                m_a[i * m + k] = factor;
                for (std::size_t j = k + 1; j < m; ++j) {
                    m_a[i * m + j] -= factor * m_a[k * m + j];
                }
            }
        }
    }

    // x := (M - σI)^-1 x, or (M - σI)^-T x.
    void solve(std::vector<double>& x, bool transpose) const {
        const std::size_t m = m_m;
        if (!transpose) {
            for (std::size_t k = 0; k < m; ++k) {
                std::swap(x[k], x[m_pivot[k]]);
            }
            for (std::size_t i = 0; i < m; ++i) {
                for (std::size_t j = 0; j < i; ++j) {
                    x[i] -= m_a[i * m + j] * x[j];
                }
            }
            for (std::size_t i = m; i-- > 0;) {
                for (std::size_t j = i + 1; j < m; ++j) {
                    x[i] -= m_a[i * m + j] * x[j];
                }
                x[i] /= m_a[i * m + i];
            }
            return;
        }
        // (P L U)^T y = x: U^T z = x, L^T w = z, y = P w.
        for (std::size_t i = 0; i < m; ++i) {
            for (std::size_t j = 0; j < i; ++j) {
                x[i] -= m_a[j * m + i] * x[j];
            }
            x[i] /= m_a[i * m + i];
        }
        for (std::size_t i = m; i-- > 0;) {
            for (std::size_t j = i + 1; j < m; ++j) {
                x[i] -= m_a[j * m + i] * x[j];
            }
        }
        for (std::size_t k = m; k-- > 0;) {
            std::swap(x[k], x[m_pivot[k]]);
        }
    }

private:
    std::size_t m_m;
    std::vector<double> m_a;
    std::vector<std::size_t> m_pivot;
};

} // namespace

std::vector<double> chebyshevNodes(std::size_t m, double low, double high) {
    std::vector<double> x(m);
    for (std::size_t j = 0; j < m; ++j) {
        const double c = std::cos(M_PI * (static_cast<double>(j) + 0.5) / static_cast<double>(m));
        x[j] = low + (high - low) * 0.5 * (1.0 + c);
    }
    return x;
}

// ℓ_k(y) = (w_k / (y - x_k)) / Σ_j w_j / (y - x_j), w_k = (-1)^k sin(π(k + 1/2)/m): the
// second barycentric form, exact at the nodes and stable for y anywhere in [0, 1].
void lagrangeBasis(const std::vector<double>& nodes, double y, double* out) {
    const std::size_t m = nodes.size();
    for (std::size_t k = 0; k < m; ++k) {
        if (y == nodes[k]) {
            std::fill(out, out + m, 0.0);
            out[k] = 1.0;
            return;
        }
    }
    double sum = 0.0;
    for (std::size_t k = 0; k < m; ++k) {
        const double w = (k % 2 == 0 ? 1.0 : -1.0) *
                         std::sin(M_PI * (static_cast<double>(k) + 0.5) / static_cast<double>(m));
        out[k] = w / (y - nodes[k]);
        sum += out[k];
    }
    for (std::size_t k = 0; k < m; ++k) {
        out[k] /= sum;
    }
}

Collocation::Collocation(const AnalyticBranches& branches, std::size_t nodes)
    : m_nodes(nodes), m_branches(branches.formulas.size()), m_basis(m_branches * nodes * nodes),
      m_logSlopes(m_branches * nodes) {
    const std::vector<double> x = chebyshevNodes(nodes, branches.low, branches.high);
    for (std::size_t i = 0; i < m_branches; ++i) {
        for (std::size_t j = 0; j < nodes; ++j) {
            const Jet<double> psi = branches.formulas[i].at(x[j]);
            m_logSlopes[i * nodes + j] = std::log(std::abs(psi.slope));
            lagrangeBasis(x, psi.value, &m_basis[(i * nodes + j) * nodes]);
        }
    }
}

void Collocation::assemble(double beta, std::vector<double>& matrix,
                           std::vector<double>* slope) const {
    const std::size_t m = m_nodes;
    matrix.assign(m * m, 0.0);
    if (slope != nullptr) {
        slope->assign(m * m, 0.0);
    }
    for (std::size_t i = 0; i < m_branches; ++i) {
        for (std::size_t j = 0; j < m; ++j) {
            const double a = m_logSlopes[i * m + j];
            const double weight = std::exp(beta * a);
            const double* basis = &m_basis[(i * m + j) * m];
            double* row = &matrix[j * m];
            for (std::size_t k = 0; k < m; ++k) {
                row[k] += weight * basis[k];
            }
            if (slope != nullptr) {
                double* slopeRow = &(*slope)[j * m];
                for (std::size_t k = 0; k < m; ++k) {
                    slopeRow[k] += a * weight * basis[k];
                }
            }
        }
    }
}

double Collocation::leading(const std::vector<double>& matrix, bool transpose,
                            std::vector<double>& vector) const {
    const std::size_t m = m_nodes;
    if (vector.size() != m || !(norm(vector) > 0.0)) {
        vector.assign(m, 1.0);
    }
    std::vector<double> next(m);
    double scale = norm(vector);
    for (double& v : vector) {
        v /= scale;
    }
    double estimate = 0.0;
    for (int step = 0; step < kMostSteps; ++step) {
        std::fill(next.begin(), next.end(), 0.0);
        for (std::size_t j = 0; j < m; ++j) {
            const double* row = &matrix[j * m];
            if (transpose) {
                for (std::size_t k = 0; k < m; ++k) {
                    next[k] += row[k] * vector[j];
                }
            } else {
                next[j] = std::inner_product(row, row + m, vector.begin(), 0.0);
            }
        }
        // The sign of the Perron vector is fixed by its sum, so that the estimate is the
        // eigenvalue (positive), not its size alone.
        const double sum = std::accumulate(next.begin(), next.end(), 0.0);
        scale = norm(next);
        const double value = sum < 0.0 ? -scale : scale;
        for (std::size_t k = 0; k < m; ++k) {
            vector[k] = next[k] / value;
        }
        if (step > 2 && std::abs(value - estimate) <= kSettled * std::abs(value)) {
            return value;
        }
        estimate = value;
    }
    throw RuntimeError(ErrorKind::Internal,
                       "the transfer operator's leading eigenvalue did not settle");
}

double Collocation::pressure(double beta, std::vector<double>& start) const {
    std::vector<double> matrix;
    assemble(beta, matrix, nullptr);
    const double rho = leading(matrix, false, start);
    if (!(rho > 0.0)) {
        throw RuntimeError(ErrorKind::Internal, "the transfer operator's leading eigenvalue is "
                                                "not positive");
    }
    return std::log(rho);
}

PressureSlope Collocation::pressureSlope(double beta, Warm& warm) const {
    std::vector<double> matrix;
    std::vector<double> slope;
    assemble(beta, matrix, &slope);
    const std::size_t m = m_nodes;
    double rho = 0.0;
    if (warm.valid && warm.right.size() == m && warm.left.size() == m) {
        const double guess = std::exp(warm.pressure + warm.slope * (beta - warm.beta));
        rho = nearest(matrix, guess, warm.right, warm.left);
    } else {
        rho = leading(matrix, false, warm.right);
        leading(matrix, true, warm.left);
    }
    // The leading eigenfunction is positive; an eigenvector of the collocation that changes
    // sign belongs to another eigenvalue, one the points do not resolve or the guess was
    // nearer to.
    if (!(rho > 0.0) || *std::min_element(warm.right.begin(), warm.right.end()) <= 0.0) {
        warm.valid = false;
        throw RuntimeError(ErrorKind::Internal, "the transfer operator's leading eigenvalue is "
                                                "not found");
    }
    double top = 0.0;
    double bottom = 0.0;
    for (std::size_t j = 0; j < m; ++j) {
        const double* slopeRow = &slope[j * m];
        const double* row = &matrix[j * m];
        top += warm.left[j] * std::inner_product(slopeRow, slopeRow + m, warm.right.begin(), 0.0);
        bottom += warm.left[j] * std::inner_product(row, row + m, warm.right.begin(), 0.0);
    }
    const PressureSlope out{std::log(rho), top / bottom};
    warm.beta = beta;
    warm.pressure = out.pressure;
    warm.slope = out.slope;
    warm.valid = std::isfinite(out.pressure) && std::isfinite(out.slope);
    return out;
}

double Collocation::nearest(const std::vector<double>& matrix, double shift,
                            std::vector<double>& right, std::vector<double>& left) const {
    const std::size_t m = m_nodes;
    LuFactors lu(matrix, m, shift);
    double value = shift;
    for (const bool transpose : {false, true}) {
        std::vector<double>& v = transpose ? left : right;
        double estimate = 0.0;
        bool settled = false;
        for (int step = 0; step < kMostInverseSteps && !settled; ++step) {
            std::vector<double> w = v;
            lu.solve(w, transpose);
            // w = (M - σ)^-1 v: along the eigenvector, v / (μ - σ).
            const double along = std::inner_product(v.begin(), v.end(), w.begin(), 0.0) /
                                 std::inner_product(v.begin(), v.end(), v.begin(), 0.0);
            const double mu = shift + 1.0 / along;
            const double scale = norm(w);
            const double sign = std::accumulate(w.begin(), w.end(), 0.0) < 0.0 ? -1.0 : 1.0;
            for (std::size_t k = 0; k < m; ++k) {
                v[k] = sign * w[k] / scale;
            }
            settled = step > 0 && std::abs(mu - estimate) <= kSettled * std::abs(mu);
            estimate = mu;
        }
        if (!settled) {
            throw RuntimeError(ErrorKind::Internal, "inverse iteration did not settle");
        }
        if (!transpose) {
            value = estimate;
        }
    }
    return value;
}

} // namespace veltrane::detail
