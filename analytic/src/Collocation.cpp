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

double norm(const std::vector<double>& v) {
    return std::sqrt(std::inner_product(v.begin(), v.end(), v.begin(), 0.0));
}

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

PressureSlope Collocation::pressureSlope(double beta, std::vector<double>& right,
                                         std::vector<double>& left) const {
    std::vector<double> matrix;
    std::vector<double> slope;
    assemble(beta, matrix, &slope);
    const double rho = leading(matrix, false, right);
    leading(matrix, true, left);
    if (!(rho > 0.0)) {
        throw RuntimeError(ErrorKind::Internal, "the transfer operator's leading eigenvalue is "
                                                "not positive");
    }
    const std::size_t m = m_nodes;
    double top = 0.0;
    double bottom = 0.0;
    for (std::size_t j = 0; j < m; ++j) {
        const double* slopeRow = &slope[j * m];
        const double* row = &matrix[j * m];
        top += left[j] * std::inner_product(slopeRow, slopeRow + m, right.begin(), 0.0);
        bottom += left[j] * std::inner_product(row, row + m, right.begin(), 0.0);
    }
    return {std::log(rho), top / bottom};
}

} // namespace veltrane::detail
