#pragma once

// The Perron root of a Markov map's M_β = diag(e^{-β f}) A, with its right and left vectors, and a
// proof of its accuracy: the Collatz–Wielandt bounds. For positive vectors y and z,
//     min_i (By)_i / y_i  ≤  ρ(B)  ≤  max_i (By)_i / y_i,
// and the same for the ratios of zᵀB to zᵀ; the solver stops once the bounds of both vectors
// enclose ρ within the tolerance asked, never on a count of steps or a small change between
// them. It works on the balanced matrix B (Balanced.h), whose Perron vectors span few orders of
// magnitude at any β.
//
// Three ways of improving the vectors, cheapest first:
// - the power iteration, a product with B and one with Bᵀ a step, which converges fast where the
//   other eigenvalues of B are well below ρ (most maps, most β); on a periodic graph the sizes
//   of the cyclic classes are set apart from it, each step, so that the p eigenvalues of
//   modulus ρ do not hold it back;
// - Noda's iteration, inverse iteration shifted by the upper bound, which converges
//   quadratically on any irreducible graph, periodic or nearly decoupled, where its
//   Grassmann–Taksar–Heyman factorization is cheap (Gth.h: graphs of short runs, such as
//   chains, and small maps);
// - otherwise a Krylov subspace of B scaled by the current vector, whose Rayleigh–Ritz value and
//   vector resolve eigenvalues clustered near ρ (the nearly equal pressures of two loosely
//   coupled parts of a map), and the aggregation of such parts, whose sizes it sets from the
//   Perron vector of the small matrix of their couplings.
#include "Balanced.h"
#include "Gth.h"
#include "IntervalGraph.h"

#include <cstddef>
#include <memory>
#include <optional>
#include <span>
#include <vector>
#include <veltrane/run.h>

namespace veltrane {

// The right and left vectors of the balanced matrix at some β, which a nearby β starts from.
// Empty vectors start from the flat vector.
struct PerronVectors {
    std::vector<double> right;
    std::vector<double> left;
};

struct PerronRoot {
    double logRoot = 0.0;  // ln ρ(M_β): the two-sided Rayleigh quotient, within the bounds
    double logLower = 0.0; // ln of the Collatz–Wielandt bounds
    double logUpper = 0.0;
    // ln ρ(B), and the part -|β| η that ln ρ(M_β) adds to it (Balanced.h): the entropy is
    // formed from the first, which is at least 0, without the second's rounding.
    double logBalanced = 0.0;
    double logBalancedLower = 0.0;
    double logBalancedUpper = 0.0;
    double logScale = 0.0;
    // Of the exponents f under the equilibrium weights π_i ∝ left_i right_i: the mean, which is
    // -d ln ρ / dβ, and the variance, its derivative.
    double mean = 0.0;
    double variance = 0.0;
    // False where the left vector's bounds stalled far from its tolerance: the mean is then
    // that of weights the matrix leaves undetermined to rounding (parts of it coupled more
    // weakly than that), not to be relied on.
    bool meanReliable = true;
    long products = 0; // products with B or Bᵀ, and solves of Noda's iteration
};

// What every solve for one graph shares, read only: the frames of both signs of β, their trees of
// potentials, and the order of Noda's factorization where the graph takes it.
class PerronMap {
public:
    // rows: irreducible; exponents: f; plus and minus: the frames of β ≥ 0 and β < 0. rows and
    // exponents must outlive the map.
    PerronMap(const IntervalRows& rows, std::span<const double> exponents, BalancedFrame plus,
              BalancedFrame minus);

    const IntervalRows& rows() const { return m_rows; }
    std::span<const double> exponents() const { return m_exponents; }

private:
    friend class PerronSolver;
    const IntervalRows& m_rows;
    std::span<const double> m_exponents;
    BalancedFrame m_plus;
    BalancedFrame m_minus;
    PotentialTree m_plusTree;
    PotentialTree m_minusTree;
    std::optional<GthPattern> m_pattern;
    CyclicClasses m_classes;
};

// The frame of a graph whose matrix is A itself: no exponents, all potentials 0.
BalancedFrame flatFrame(std::size_t n);

// Solves for one thread: its own matrices and scratch space.
class PerronSolver {
public:
    explicit PerronSolver(const PerronMap& map);
    ~PerronSolver();
    PerronSolver(const PerronSolver&) = delete;
    PerronSolver& operator=(const PerronSolver&) = delete;

    // ρ(M_β), from vectors (those of a nearby β, or empty) and leaving them there. tolerance: the
    // relative width of the bounds on ρ asked for; below about 16 units of 2^-53 it is that.
    // leftTolerance: how far the left vector's ratios may be from ρ on the equilibrium's average,
    // which bounds the relative error of the mean. Throws Cancelled through control.
    PerronRoot solve(double beta, PerronVectors& vectors, double tolerance, double leftTolerance,
                     const RunControl& control);

    // The relative width the bounds reach at best: a few units of rounding of the ratios.
    static double floor();

private:
    class Run;
    const PerronMap& m_map;
    BalancedMatrix m_plus;
    BalancedMatrix m_minus;
    std::unique_ptr<GthFactor> m_factor;
    std::size_t m_krylov = 0; // the Krylov subspace's size the last solve needed
    bool m_slow = false;      // whether the last solve found the power iteration slow
};

} // namespace veltrane
