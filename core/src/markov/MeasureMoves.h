#pragma once

// What the spectrum of a Markov measure is computed from: the moves of the map, each with the
// logarithm of its transition probability, the pieces' exponents ln|s_i|, the transfer matrix
// M_ij(q, τ) = A_ij P_ij^q |s_i|^τ with its Perron root and vectors, and the extreme ratios of
// Σ cost over Σ ln|s_i| along the cycles of the graph.
#include "Gth.h"
#include "IntervalGraph.h"
#include "TransitionMap.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>
#include <veltrane/markov_measure.h>
#include <veltrane/run.h>

namespace veltrane {

// A graph of moves by rows: the moves of piece i are start[i] .. start[i + 1] - 1, to the pieces
// in to[]; logP their ln P_ij (each row's P summing to 1 within a few units of rounding), logS
// the pieces' ln|s_i| > 0; lengths the pieces' lengths where the graph is a whole map (empty for a
// part of one), the right Perron vector of M(0, -1).
struct MeasureMoves {
    std::vector<std::size_t> start;
    std::vector<std::uint32_t> to;
    std::vector<double> logP;
    std::vector<double> logS;
    std::vector<double> lengths;

    std::size_t size() const { return logS.size(); }
    std::size_t moveCount() const { return to.size(); }
};

// Throws InputError where the map has more than kMostMoves moves.
void checkMoveCount(const IntervalRows& rows);

// The moves of map with the weights normalised a row; throws WeightError where the weights
// are not one row a piece, a row not one weight a move, a weight not positive and finite.
MeasureMoves measureMoves(const TransitionMap& map, const MarkovWeights& weights);

// The order and pattern of the Grassmann–Taksar–Heyman elimination of a large graph (more pieces
// than a dense elimination takes) whose moves are runs, where it costs a few dozen products with
// the matrix at most: what TransferSolver takes for Noda's steps and the equilibrium's law on
// chains and other sparse graphs. Nothing for a small graph, a dense one, or one not of runs.
std::optional<GthPattern> measurePattern(const MeasureMoves& moves);

// The strongly connected components of the graph of the moves kept (keep[e]), numbered from 0;
// each vertex's component, and their count.
std::vector<std::uint32_t> strongComponents(const MeasureMoves& moves,
                                            const std::vector<bool>& keep, std::uint32_t& count);

// The moves of components that hold a cycle, each as a graph of its own, of the moves kept.
std::vector<MeasureMoves> cyclicParts(const MeasureMoves& moves, const std::vector<bool>& keep);

// The smallest ratio Σ cost_e / Σ logS_i over the cycles of an irreducible graph (Howard's
// policy iteration, in long double), and which moves lie on cycles that attain it: those tight
// in the potentials x_i = min over moves e = (i, j) of cost_e - ratio logS_i + x_j, to about
// tie times the size of the terms. Throws RuntimeError (ErrorKind::Internal) where the iteration
// does not settle, Cancelled through control.
struct CycleRatio {
    long double ratio = 0.0L;
    std::vector<bool> tight;
    std::vector<double> potentials; // x_i
    // The vertices in ascending number of moves along the final policy (each vertex's tight move)
    // to a cycle of the ratio: where the measure concentrates on those cycles, the equilibrium is
    // eliminated from the far end of this order, so that no vertex is cut off by entries below
    // the doubles.
    std::vector<std::uint32_t> order;
};
CycleRatio smallestCycleRatio(const MeasureMoves& moves, std::span<const double> cost, double tie,
                              const RunControl& control);

// Whether a step of the transfer solver's iterations left at most half of what was left before
// it (the bounds' width, the law's move): while each does, they run plainly, at the rate of the
// second eigenvalue; from the first that does not, shifted or lazy, at a rate of at least 1/2
// that holds where other eigenvalues have the modulus of the first (a periodic graph).
inline bool halvedWhatIsLeft(double now, double before) {
    return now <= 0.5 * before;
}

// ln ρ(M(q, τ)) with Collatz–Wielandt bounds, and its derivatives in q and τ, which are the means
// of ln P_ij and of ln|s_i| over the moves under the weights u_i M_ij v_j.
struct TransferRoot {
    double logRoot = 0.0;
    double logWidth = 0.0; // of the bounds on ln ρ
    double meanLogP = 0.0;
    double meanLogS = 0.0;
    double alpha = 0.0;     // Σ w (-ln P) / Σ w ln|s|, the two sums of positive terms divided
    double dimension = 0.0; // the equilibrium's entropy over its Lyapunov exponent: f(α)
    long products = 0;
};

// The transfer matrix of one graph, for one thread: its entries and its vectors, which each solve
// starts from (those of the last, near at hand along a spectrum).
class TransferSolver {
public:
    // The matrix is taken balanced, D^-1 M D with D_i = e^(-q plus_i) for q ≥ 0 and
    // e^(q minus_i) below, where plus and minus are the potentials of the smallest cycle ratio of
    // -ln P and of ln P (empty: none). Every move then has an entry of at most about
    // |s_i|^(τ - q α_end), those on the cycles of the end's ratio that, so that the entries and the
    // vectors keep within the doubles as q grows. pattern: measurePattern(moves), or nothing.
    // moves, plus, minus and pattern must outlive the solver.
    explicit TransferSolver(const MeasureMoves& moves, const CycleRatio* plus = nullptr,
                            const CycleRatio* minus = nullptr, const GthPattern* pattern = nullptr);

    // Throws RuntimeError (overflow) where the entries or the vectors leave the range of the
    // doubles, (internal) where the bounds do not close, Cancelled through control.
    TransferRoot solve(double q, double tau, const RunControl& control);

    // τ with ln ρ(M(q, τ)) = 0 in [lower, upper], which must hold it, by Newton's steps from
    // guess (ln ρ is increasing and convex in τ) kept within the bracket as it closes, and the
    // root there.
    TransferRoot tauRoot(double q, double guess, double lower, double upper, double& tau,
                         const RunControl& control);

private:
    void entries(double q, double tau);
    long iterate(const RunControl& control, double& lower, double& upper);
    bool inverseStep(double sigma);
    void stationary(std::span<const std::uint32_t> order, const RunControl& control);
    void denseLaw(std::span<const std::uint32_t> order);
    // In LargeTransfer.cpp: the right vector where it is known in closed form (whatever the
    // size: power steps from another vector could not find it where the graph is nearly
    // uncoupled), and of a large graph Noda's step by the sparse elimination, when it turns to
    // the dense one, and the equilibrium's law.
    void startKnown();
    bool sparseInverseStep(double sigma);
    long stepsBeforeDense() const;
    void largeStationary(std::span<const std::uint32_t> order, const RunControl& control);
    bool eliminatedLaw();
    double lazyLaw(const RunControl& control, long mostSteps, bool stallSettles);

    const MeasureMoves& m_moves;
    const CycleRatio* m_plus;
    const CycleRatio* m_minus;
    double m_shift = 0.0; // ln of the factor taken out of the entries
    double m_q = 0.0;     // and the matrix's q and τ, for messages
    double m_tau = 0.0;
    std::vector<double> m_entries;   // of the balanced matrix B, over e^shift
    std::vector<double> m_exponents; // their logarithms
    std::vector<double> m_chain;     // the equilibrium chain on the moves
    std::vector<double> m_right;     // the right Perron vector v
    std::vector<double> m_law;       // the chain's stationary law π
    std::vector<double> m_next;
    std::optional<GthFactor> m_factor; // of a large sparse graph
    bool m_lawKept = false;            // whether m_law holds the last solve's law, to start from
};

} // namespace veltrane
