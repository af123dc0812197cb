#pragma once

// The transfer operator L_β f(x) = Σ_i |ψ_i'(x)|^β f(ψ_i(x)) of an analytic map collocated at
// m Chebyshev points x_j of the interval the branches map into itself (AnalyticBranches): M(β)_jk =
// Σ_i |ψ_i'(x_j)|^β ℓ_k(ψ_i(x_j)), ℓ_k the Lagrange basis on the points. For branches analytic on a
// neighbourhood of [0, 1] the leading eigenvalue of M(β) tends to ρ(L_β) geometrically in m; P(β) =
// ln of it.
#include "Ball.h"
#include "Branches.h"

#include <cstddef>
#include <vector>

namespace veltrane::detail {

// P(β) and P'(β) = u'M'(β)v / u'M(β)v from the right and left Perron vectors v, u.
struct PressureSlope {
    double pressure = 0.0;
    double slope = 0.0;
};

// What one evaluation leaves for the next at a nearby β: the right and left Perron vectors,
// and P and P' there, from which the next eigenvalue is guessed.
struct Warm {
    std::vector<double> right;
    std::vector<double> left;
    double beta = 0.0;
    double pressure = 0.0;
    double slope = 0.0;
    bool valid = false;
};

// The collocation in double precision.
class Collocation {
public:
    Collocation(const AnalyticBranches& branches, std::size_t nodes);

    std::size_t nodes() const { return m_nodes; }

    // P(β) alone, by power steps from start (the right vector of a nearby β, or empty), which
    // is left holding this β's right vector.
    double pressure(double beta, std::vector<double>& start) const;
    // P(β) and P'(β). From a valid warm start of as many points, the eigenvalue nearest the
    // guess e^(P + P'(β - β_warm)) by inverse iteration, which a collocation's other
    // eigenvalues, however large, do not draw away; otherwise by power steps from the
    // constant function. warm is left holding this β's.
    PressureSlope pressureSlope(double beta, Warm& warm) const;

private:
    // M(β) into matrix (row-major), and M'(β) into slope if not null.
    void assemble(double beta, std::vector<double>& matrix, std::vector<double>* slope) const;
    // The leading eigenvalue of matrix (or its transpose) by power steps, vector its
    // eigenvector on return, normalised to unit 2-norm.
    double leading(const std::vector<double>& matrix, bool transpose,
                   std::vector<double>& vector) const;
    // The eigenvalue of matrix nearest shift and its right and left vectors (from their
    // starts), by inverse iteration with one factorisation.
    double nearest(const std::vector<double>& matrix, double shift, std::vector<double>& right,
                   std::vector<double>& left) const;

    std::size_t m_nodes;
    std::size_t m_branches;
    // ℓ_k(ψ_i(x_j)) at [(i m + j) m + k], and ln |ψ_i'(x_j)| at [i m + j].
    std::vector<double> m_basis;
    std::vector<double> m_logSlopes;
};

// Chebyshev points of the first kind on [low, high], x_j = low + (high - low)(1 + cos(π(j +
// 1/2)/m)) / 2, and the values at y of the Lagrange basis on them, by the barycentric formula.
std::vector<double> chebyshevNodes(std::size_t m, double low, double high);
void lagrangeBasis(const std::vector<double>& nodes, double y, double* out);

} // namespace veltrane::detail
