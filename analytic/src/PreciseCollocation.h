#pragma once

// The collocated transfer operator of Collocation.h at any precision, with Arb: the points,
// the Lagrange basis at the branches' images of them and the logarithms of the slopes are
// formed at the working precision from the formulas' text, and the leading eigenvalue is
// found by inverse iteration. Arithmetic is on midpoints (Arb's approx functions): the
// error of the collocation itself, which dominates, is estimated by comparing runs.
#include "Ball.h"
#include "Branches.h"

#include <arb_mat.h>
#include <cstddef>
#include <vector>

namespace veltrane::detail {

// An Arb matrix, owned.
class BallMatrix {
public:
    BallMatrix(long rows, long columns) { arb_mat_init(m_x, rows, columns); }
    BallMatrix(BallMatrix&& other) noexcept {
        arb_mat_init(m_x, 0, 0);
        arb_mat_swap(m_x, other.m_x);
    }
    BallMatrix& operator=(BallMatrix&& other) noexcept {
        arb_mat_swap(m_x, other.m_x);
        return *this;
    }
    BallMatrix(const BallMatrix&) = delete;
    BallMatrix& operator=(const BallMatrix&) = delete;
    ~BallMatrix() { arb_mat_clear(m_x); }
    arb_mat_struct* get() { return m_x; }
    const arb_mat_struct* get() const { return m_x; }
    arb_ptr at(long row, long column) { return arb_mat_entry(m_x, row, column); }
    arb_srcptr at(long row, long column) const { return arb_mat_entry(m_x, row, column); }

private:
    arb_mat_t m_x;
};

// ln ρ and d ln ρ / dβ of the collocated operator at one β.
struct PrecisePressure {
    Ball pressure;
    Ball slope;
};

class PreciseCollocation {
public:
    // nodes ≥ 2 points, prec bits.
    PreciseCollocation(const AnalyticBranches& branches, long nodes, long prec);

    long nodes() const { return m_nodes; }
    long precision() const { return m_prec; }

    // P(β) and P'(β). guess: ln ρ to about double precision (for the shift of the inverse
    // iteration); right and left: starting vectors of m entries (doubles of a nearby β, or
    // empty), left holding this β's vectors' midpoints on return.
    PrecisePressure at(const Ball& beta, double guess, std::vector<double>& right,
                       std::vector<double>& left) const;

private:
    void assemble(const Ball& beta, BallMatrix& matrix, BallMatrix& slope) const;
    // The eigenvector of matrix for the eigenvalue nearest shift, by inverse iteration from
    // start, into vector (a column); transpose for the left one.
    void nearest(const BallMatrix& matrix, const Ball& shift, bool transpose,
                 const std::vector<double>& start, BallMatrix& vector) const;

    long m_nodes;
    long m_prec;
    std::size_t m_branches;
    std::vector<BallMatrix> m_basis;     // per branch: ℓ_k(ψ_i(x_j)) at (j, k)
    std::vector<BallMatrix> m_logSlopes; // per branch: ln |ψ_i'(x_j)| at (j, 0)
};

} // namespace veltrane::detail
