#pragma once

// What AnalyticSolver knows of a map once it is made: the collocation in double precision with
// enough points for about 14 digits, the dimension, the range of Lyapunov exponents from the
// periodic orbits, and how fast the collocation converges (for the precise runs).
#include "Branches.h"
#include "Collocation.h"

#include <memory>
#include <mutex>
#include <veltrane/exact.h>

namespace veltrane::detail {

// The extreme Lyapunov exponents among the periodic orbits of period up to `period`.
struct OrbitRange {
    double lambdaMin = 0.0;
    double lambdaMax = 0.0;
    unsigned period = 0;
};

// The smallest and largest -(1/p) ln |(ψ_w)'| over the fixed points of the compositions ψ_w of
// the words w of length p ≤ the longest whose words, all lengths together, number at most a
// few thousand (period 11 for two branches, 1 for 64).
OrbitRange periodicOrbits(const AnalyticBranches& branches);

class AnalyticModel {
public:
    explicit AnalyticModel(AnalyticBranches branches);

    const AnalyticBranches& branches() const { return m_branches; }
    const Collocation& collocation() const { return m_collocation; }
    double topEntropy() const { return m_topEntropy; }
    double dimension() const { return m_dimension; }
    const OrbitRange& orbits() const { return m_orbits; }
    // The digits a point more adds, as the double runs show it, and the points that gave
    // about 13 digits.
    double digitsPerNode() const { return m_digitsPerNode; }
    std::size_t nodesFor13Digits() const { return m_nodes13; }
    // The largest |β| whose weights |ψ'|^β stay within the range of doubles.
    double betaLimit() const { return m_betaLimit; }

    // The point of β: λ = -P'(β), h = P(β) + βλ, from the fewest points that resolve β (the
    // equilibrium states of large |β| sit near one orbit, and their densities need more).
    // Throws InputError for a β no collocation resolves, or beyond betaLimit().
    ExactPoint atBeta(double beta, Warm& warm) const;
    // P(β) alone, from the rung that resolves β; InputError as atBeta.
    double pressure(double beta) const;
    // The point at λ in [λmin, λmax] (the orbit range), from the β solving -P'(β) = λ, searched
    // from beta (updated); at the ends, where β runs to infinity, the limit of the points.
    // Where the collocations resolve no β far enough and unresolved is given, it is set and
    // the point of the farthest β they resolve is returned in place of λ's.
    ExactPoint atLyapunov(double lambda, double& beta, Warm& warm,
                          bool* unresolved = nullptr) const;

    // The ends of the spectrum: the extreme periodic orbits' exponents, or where the points of
    // the largest |β| the collocations resolve fall short of them, those points.
    struct Range {
        ExactPoint low;
        ExactPoint high;
        bool lowAtOrbit = true;
        bool highAtOrbit = true;
    };
    const Range& range() const;

private:
    // Collocations of more and more points, and for each the β range it resolves: P within
    // kResolved of the next one's at every β of the doubling sequence out to the ends of its
    // range. Made at the first call that needs them.
    struct Ladder {
        std::vector<std::unique_ptr<Collocation>> rungs;
        std::vector<double> lowest;  // the smallest β each rung resolves
        std::vector<double> highest; // the largest
    };
    const Ladder& ladder() const;
    // The ends of the β range the rungs resolve together.
    double highestResolved() const;
    double lowestResolved() const;
    // The rung resolving β, or null beyond them all.
    const Collocation* rungFor(double beta) const;

    AnalyticBranches m_branches;
    std::size_t m_nodes13 = 0;
    double m_digitsPerNode = 0.0;
    Collocation m_collocation;
    double m_topEntropy = 0.0;
    double m_dimension = 0.0;
    OrbitRange m_orbits;
    double m_betaLimit = 0.0;
    mutable std::once_flag m_ladderMade;
    mutable Ladder m_ladder;
    mutable std::once_flag m_rangeMade;
    mutable Range m_range;
};

} // namespace veltrane::detail
