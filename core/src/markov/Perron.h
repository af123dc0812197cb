#pragma once

// The Perron root of R·A, where A is the 0/1 matrix of an irreducible IntervalRows graph (A_ij = 1
// when j is a successor of i) and R = diag(r) holds positive row weights, by power iteration
// on its right and left vectors. A product with A costs O(n) through prefix sums however many
// ones it holds; the sums are carried in double-double, so that a row's sum, a difference of
// two prefix sums, keeps its relative accuracy unless the vector spans more than about 30
// orders of magnitude over the pieces before it.
#include "IntervalGraph.h"

#include <cstddef>
#include <span>
#include <vector>
#include <veltrane/run.h>

namespace veltrane {

// The right and left vectors a run starts from and leaves behind, so that a nearby matrix
// starts from them. Empty vectors start from the flat vector.
struct PerronVectors {
    std::vector<double> right;
    std::vector<double> left;
};

struct PerronRoot {
    double logRoot = 0.0; // ln ρ
    // Of values f under the weights π_i ∝ left_i right_i (the equilibrium weights): the mean
    // Σ π_i f_i, which is -d ln ρ / dβ when r_i = exp(-β f_i), and the variance around it.
    double mean = 0.0;
    double variance = 0.0;
    long products = 0; // products with A and its transpose
};

class PerronIteration {
public:
    // rows: irreducible. The iteration keeps scratch space of a few vectors of the rows' size.
    explicit PerronIteration(const IntervalRows& rows);

    // ρ(R·A) and the equilibrium mean of values (which may be empty: mean and variance 0),
    // iterating from vectors and leaving the converged ones there. tolerance: the relative
    // error of the weights π left after the iteration, as estimated from its rate of
    // convergence. Throws Cancelled through control, and RuntimeError when the vectors have
    // not settled within a bound far beyond any map tried.
    PerronRoot solve(std::span<const double> rowWeights, std::span<const double> values,
                     PerronVectors& vectors, double tolerance, const RunControl& control);

private:
    // S·A·S v and uᵀ S·A·S, S = diag(m_scale).
    void rightProduct(std::span<const double> v, std::span<double> out);
    void leftProduct(std::span<const double> u, std::span<double> out);

    const IntervalRows& m_rows;
    std::vector<double> m_prefixHi; // running sums in double-double, one more than the rows
    std::vector<double> m_prefixLo;
    std::vector<double> m_begun; // row terms gathered where their runs begin, less where they end
    std::vector<double> m_y;
    std::vector<double> m_z;
    std::vector<double> m_scale; // the square roots of the row weights
    bool m_shifted = false;      // once the plain iteration has been seen to converge slowly
    double m_rate = 1.0;         // the rate of convergence of the last solve
};

} // namespace veltrane
