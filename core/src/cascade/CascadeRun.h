#pragma once

// Runs of one branch taken in a single step. A branch longer than 1 - 1/64 of its cell (almost
// the whole interval), or with a weight above 1 - 1/64, can hold a bin end for millions of
// levels, or for ever at its fixed point, the mass falling slowly or not at all; the cells
// passed over on the way then go to the bins on either side in closed form, as sums of
// positive terms, and the end's own cell is the branch's cell that many levels down. Other
// branches lose a 64th of their length and weight at every level, so their runs are short and
// taken level by level, as before.
#include "DoubleDouble.h"

#include <cstddef>
#include <vector>

namespace veltrane {

// The levels from which a run is taken in one step: shorter ones are cheap step by step.
inline constexpr double kLongRun = 64.0;

// One branch as its runs see it: the map x -> (x - B) / ℓ on the branch's piece [B, B + ℓ] of
// a cell, in units of the cell, fixes the point x* = B / (1 - ℓ).
struct RunBranch {
    DoubleDouble fixedPoint;       // x*
    DoubleDouble beyondFixed;      // 1 - x*
    DoubleDouble length;           // ℓ
    DoubleDouble shortfall;        // 1 - ℓ, the other branches' total length
    double logLength = 0.0;        // ln ℓ
    DoubleDouble logLengthPrecise; // ln ℓ to about 2^-104 of itself
    double others = 0.0;           // 1 - p, the other branches' total weight
    double logWeight = 0.0;        // ln p
    double massPerLength = 0.0; // ln p / ln ℓ, so that p^m = (ℓ^m)^massPerLength; may be infinite
    bool takesRuns = false;     // whether its long runs are taken in one step
};

// ℓ^m and 1 - ℓ^m, each within a few units of 2^-100 of itself where ℓ^m is above 2^-960.
struct Shrink {
    DoubleDouble kept;
    DoubleDouble lost;
};

// What m levels of one branch give the cells passed over and the cell left: the weight of
// the cells passed over on the left and on the right, Σ_{i<k} p_i (1 + p + ... + p^(m-1)) and
// Σ_{i>k} p_i (...), and p^m, all relative to the cell's mass.
struct RunMass {
    double toLeft = 0.0;
    double toRight = 0.0;
    double kept = 0.0;
};

// Levels up to this many are counted and their ℓ^m formed by squaring; a longer run (only a
// branch within a subnormal of the whole length has one) is taken by its ℓ^m alone, since no
// position can tell its levels apart.
inline constexpr double kMostCountedLevels = 0x1p1000;

class CascadeRuns {
public:
    CascadeRuns() = default;
    // lengths and weights of the branches (breaks: 0, the break points, 1; before and after:
    // the weights left and right of each branch).
    CascadeRuns(const std::vector<double>& breaks, const std::vector<DoubleDouble>& lengths,
                const std::vector<double>& weights, const std::vector<double>& before,
                const std::vector<double>& after);

    const RunBranch& branch(std::size_t k) const { return m_branches[k]; }

    // m = levels levels, a whole number up to kMostCountedLevels.
    Shrink shrink(std::size_t k, double levels) const;
    // The run to the level λ = m ln ℓ that Chain counts in: where 1 - ℓ is tiny, ℓ^m as
    // exp(λ); elsewhere by squarings from the whole m, as shrink does, so that a dyadic ℓ^m is
    // exact and a cell's ends fall exactly where walking level by level puts them.
    Shrink shrinkToLevel(std::size_t k, DoubleDouble level) const;
    // base.kept^m and 1 - base.kept^m for m = levels, a whole number up to kMostCountedLevels,
    // by squarings, the second as a sum of positive terms: each within a few units of 2^-100
    // of itself where base.kept^m is above 2^-960 (base.lost is 1 - base.kept, given as itself
    // so that a base near 1 keeps it).
    static Shrink power(Shrink base, double levels);
    // levels may be infinite: a run that never ends, at the fixed point.
    RunMass mass(std::size_t k, double levels) const;

    // The run with ℓ^m = exp(logKept), for m beyond kMostCountedLevels.
    static Shrink shrinkTo(double logKept);
    // e^x and 1 - e^x for -745 < x ≤ 0, within a few units of 2^-104 of each.
    static Shrink exponential(DoubleDouble x);
    // ln t for 0 < t ≤ 1, within a few units of 2^-104 of itself however close t is to 1.
    static DoubleDouble logarithm(DoubleDouble t);
    RunMass massTo(std::size_t k, double logKept) const;

private:
    RunMass fromKept(std::size_t k, double lost, double kept) const;

    std::vector<RunBranch> m_branches;
    std::vector<double> m_before;
    std::vector<double> m_after;
};

} // namespace veltrane
