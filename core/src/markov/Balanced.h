#pragma once

// The matrix whose Perron root gives a Markov map's pressure, M_β = diag(e^{-β f}) A, taken as a
// similar matrix whose entries are at most about 1, so that its Perron vectors span few orders
// of magnitude at any β and nothing overflows or underflows that matters.
//
// For β ≥ 0 let g = f, for β < 0 let g = -f, and b = |β|, so that M_β = diag(e^{-b g}) A. Let η
// be the smallest mean of g over the cycles of the graph and p potentials with
// p_i = g_i - η + min over the run of i of p_j (the optimal potentials of that cycle-mean
// problem, CycleMeans.h). With D = diag(e^{-b p}),
//     D^-1 M_β D = e^{-b η} B,   B_ij = A_ij e^{-b (g_i - η - p_i + p_j)},
// and the exponent g_i - η - p_i + p_j = p_j - min over the run of p is at least 0, and 0 for the
// best successor of each row: every row of B has an entry 1 and none above, so ρ(B) lies in
// [1, n] and ln ρ(M_β) = -b η + ln ρ(B). The potentials need not be exact for this: any p gives a
// matrix similar to M_β; near-optimal ones only keep B's entries near that range.
//
// A product with B costs O(n) for n pieces however long the runs: a row's sum over its run is a
// difference of prefix sums, carried in double-double. Where that difference would lose more
// than about 2^-56 of its value to the larger sums before it (a run of small terms after large
// ones), the row is summed again from a tree of partial sums, each a sum of terms of one sign, so
// that every entry of a product keeps its relative accuracy, or for vectors of both signs its
// accuracy relative to the sum of the magnitudes of its terms.
//
// Rows whose entries would fall below the range of doubles in one common scale (b (p_j - min p)
// beyond about 600) are held as a list of their entries above e^-60 of the row's largest, 1:
// what is left out of such a row is below e^-60 times its length of its sum.
#include "DoubleDouble.h"
#include "IntervalGraph.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace veltrane {

// The values, smallest cycle mean and potentials of one sign of β.
struct BalancedFrame {
    std::vector<double> values;     // g
    double mean = 0.0;              // η
    std::vector<double> potentials; // p
};

// The potentials of frame, ordered for finding the entries of a run whose potential lies below a
// bound: a tree of the least potential below each node.
class PotentialTree {
public:
    explicit PotentialTree(std::span<const double> potentials);

    // Calls take(j) for every j in [begin, end) with potential at most bound, in order.
    template <typename Take>
    void below(std::uint32_t begin, std::uint32_t end, double bound, const Take& take) const {
        visit(1, 0, m_leaves, begin, end, bound, take);
    }

private:
    template <typename Take>
    void visit(std::size_t node, std::size_t lo, std::size_t hi, std::size_t begin, std::size_t end,
               double bound, const Take& take) const {
        if (end <= lo || hi <= begin || m_least[node] > bound) {
            return;
        }
        if (hi - lo == 1) {
            take(static_cast<std::uint32_t>(lo));
            return;
        }
        const std::size_t mid = lo + (hi - lo) / 2;
        visit(2 * node, lo, mid, begin, end, bound, take);
        visit(2 * node + 1, mid, hi, begin, end, bound, take);
    }

    std::size_t m_leaves = 1;
    std::vector<double> m_least;
};

class BalancedMatrix {
public:
    // rows: the transition graph; frame and tree: of the sign of β the matrix is taken at. All
    // three must outlive the matrix.
    BalancedMatrix(const IntervalRows& rows, const BalancedFrame& frame, const PotentialTree& tree);

    // Takes B at b = |β| ≥ 0.
    void setBeta(double b);
    double beta() const { return m_beta; }
    // -b η: ln ρ(M_β) = logScale() + ln ρ(B).
    double logScale() const { return -m_beta * m_frame->mean; }

    std::size_t size() const { return m_rows->size(); }

    // out = B x and out = Bᵀ x (out_j = Σ_i x_i B_ij), each entry to a few units of 2^-53 of itself
    // for x ≥ 0, and of the sum of the magnitudes of its terms otherwise.
    void right(std::span<const double> x, std::span<double> out);
    void left(std::span<const double> x, std::span<double> out);

    // Calls take(j, B_ij) for the entries of row i that the products use.
    template <typename Take> void row(std::size_t i, const Take& take) const {
        if (m_far[i] == kNear) {
            for (std::uint32_t j = m_rows->begin[i]; j < m_rows->end[i]; ++j) {
                take(j, m_rowScale[i] * m_columnScale[j]);
            }
            return;
        }
        for (std::size_t k = m_farStart[m_far[i]]; k < m_farStart[m_far[i] + 1]; ++k) {
            take(m_farColumn[k], m_farValue[k]);
        }
    }

    // The products' sums that were taken again from the tree, for tests and benchmarks.
    long treeRows() const { return m_treeRows; }

private:
    static constexpr std::uint32_t kNear = UINT32_MAX;

    void buildFar();
    void sumsFromTree(std::span<const double> terms);
    double treeSum(std::size_t begin, std::size_t end) const;

    const IntervalRows* m_rows;
    const BalancedFrame* m_frame;
    const PotentialTree* m_tree;
    double m_beta = -1.0;
    double m_least = 0.0;                       // min p
    std::vector<DoubleDouble> m_columnExponent; // p_j - min p
    std::vector<DoubleDouble> m_rowExponent;    // g_i - η - p_i + min p
    std::vector<bool> m_long;                   // rows whose runs are summed through running sums
    bool m_anyLong = false;
    // The ends of the long runs by place, and the events at places up to each (left()).
    std::vector<std::uint32_t> m_eventRow;
    std::vector<std::int8_t> m_eventSign;
    std::vector<std::uint32_t> m_through;
    std::vector<double> m_columnScale; // e^{-b (p_j - min p)}, 0 where that is below e^-700
    std::vector<double> m_rowScale;    // e^{-b (g_i - η - p_i + min p)} for rows in common scale
    // Rows held as lists: m_far[i] indexes them, kNear for the others.
    std::vector<std::uint32_t> m_far;
    std::vector<std::size_t> m_farStart;
    std::vector<std::uint32_t> m_farRows;
    std::vector<std::uint32_t> m_farColumn;
    std::vector<double> m_farValue;
    // Scratch: the terms and their prefix sums, hi + lo and of magnitudes, and the tree.
    std::vector<double> m_terms;
    std::vector<double> m_hi;
    std::vector<double> m_lo;
    std::vector<double> m_magnitude;
    std::vector<double> m_held;
    std::vector<double> m_partial;
    std::size_t m_leaves = 1;
    long m_treeRows = 0;
};

} // namespace veltrane
