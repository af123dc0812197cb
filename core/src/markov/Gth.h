#pragma once

// Solves with σI - C, where C ≥ 0 has the pattern of a transition graph and σ is at least every
// row sum of C: a (possibly singular) M-matrix, as in Noda's iteration for a Perron vector, where
// σ is the largest Collatz–Wielandt ratio. The elimination is that of Grassmann, Taksar and
// Heyman: each pivot is formed as the row's deficit σ - Σ_j C_ij plus its remaining entries, all
// of one sign, so that nothing cancels, the factors are exact to a few units of rounding each,
// and a solve with a positive right-hand side gives every entry of the solution to a few units of
// rounding relative to itself, however near σI - C is to singular.
//
// The elimination order is chosen once for a graph, by minimum degree on the pattern made
// symmetric; graphs whose elimination would cost more than a budget (most graphs with long runs,
// which have of the order of n^2 fill) are not taken.
#include "IntervalGraph.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace veltrane {

// The stationary law of the chain whose n x n matrix p holds (row major; overwritten), by the
// elimination on the dense matrix from the last state to the first: each pivot is the mass of its
// row to the states left, so that nothing is subtracted and every π_i is within a few units of
// rounding of itself (times n). Unnormalised, π_0 = 1. n^2 doubles, at most n^3 / 3 multiply-adds,
// fewer where the paths through the states eliminated leave entries 0. False where a state has
// no mass left to the states before it (an entry below the doubles cut it off).
bool denseStationary(std::vector<double>& p, std::size_t n, std::vector<double>& law);

class GthPattern {
public:
    // The order and the filled pattern of the graph's elimination, or nothing where the graph
    // has more than edgeBudget edges or its elimination needs more than workBudget
    // multiply-adds.
    static std::optional<GthPattern> of(const IntervalRows& rows, std::size_t edgeBudget,
                                        std::size_t workBudget);

    std::size_t size() const { return m_order.size(); }
    // Multiply-adds of one factorization.
    std::size_t work() const { return m_work; }

private:
    friend class GthFactor;
    std::vector<std::uint32_t> m_order; // the vertices in the order they are eliminated
    std::vector<std::uint32_t> m_rank;  // the place of each vertex in that order
    // The neighbours of each vertex eliminated after it, by rank, ascending: m_later[m_start[v]
    // .. m_start[v + 1]).
    std::vector<std::size_t> m_start;
    std::vector<std::uint32_t> m_later;
    // For each elimination and each pair (a, b) of its later neighbours, where the entry (a, b)
    // is kept: twice its index, plus 1 for the lower part; kDiagonal where a = b.
    std::vector<std::uint32_t> m_target;
    std::vector<std::size_t> m_targetStart;
    std::size_t m_work = 0;

    static constexpr std::uint32_t kDiagonal = UINT32_MAX;
};

class GthFactor {
public:
    explicit GthFactor(const GthPattern& pattern);

    // Factors σI - C for C given by entries(i, take), which calls take(j, C_ij) for the entries of
    // row i (j in the row's run), and deficit_i = σ - Σ_j C_ij ≥ 0. Returns false where a pivot is
    // 0: then σ is the Perron root and C's row sums all equal it.
    template <typename Entries>
    bool factor(const Entries& entries, std::span<const double> deficit);

    // x ← (σI - C)^-1 x and x ← (σI - C)^-T x.
    void solve(std::span<double> x) const;
    void solveTransposed(std::span<double> x) const;

private:
    // x in the elimination's order, in the scratch space; and back from it into x.
    std::vector<double>& ordered(std::span<const double> x) const;
    void unorder(std::span<double> x) const;
    double& at(std::uint32_t i, std::uint32_t j); // entry (i, j) of the pattern, i ≠ j
    bool eliminate(std::span<const double> deficit);

    const GthPattern* m_pattern;
    // For vertex v, over its later neighbours w: m_upper the entry (v, w) and m_lower the entry
    // (w, v), the latter replaced by the multiplier (w, v) / pivot(v) once v is eliminated.
    std::vector<double> m_upper;
    std::vector<double> m_lower;
    std::vector<double> m_pivot;
    std::vector<double> m_deficit;
    mutable std::vector<double> m_scratch;
};

template <typename Entries>
bool GthFactor::factor(const Entries& entries, std::span<const double> deficit) {
    std::fill(m_upper.begin(), m_upper.end(), 0.0);
    std::fill(m_lower.begin(), m_lower.end(), 0.0);
    const std::size_t n = m_pattern->size();
    for (std::size_t i = 0; i < n; ++i) {
        const auto row = static_cast<std::uint32_t>(i);
        entries(i, [&](std::uint32_t j, double value) {
            if (j != row) {
                at(row, j) += value;
            }
        });
    }
    return eliminate(deficit);
}

} // namespace veltrane
