#pragma once

// How Cascade::binMasses walks down through the cells that hold more than one bin end, to the
// cell each bin end holds alone; the branch tables it shares with the split.
#include "CascadeRun.h"
#include "DoubleDouble.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace veltrane {

// The measure's branches as the walk and the split use them.
struct CascadeBranches {
    CascadeBranches(std::span<const double> breakPoints, std::vector<double> normalized);

    std::size_t count() const { return weights.size(); }

    std::vector<double> breaks; // 0, the break points, 1
    std::vector<DoubleDouble> lengths;
    std::vector<double> weights;
    std::vector<double> before; // Σ_{i<k} p_i
    std::vector<double> after;  // Σ_{i>k} p_i
    CascadeRuns runs;

    // Σ p_i over branches first .. last, as a sum of positive terms: the weights summed in
    // aligned blocks of 2^s branches beforehand, at most two blocks of each size taken, so
    // that a run of many branches costs a few additions and keeps its relative precision.
    double weightOf(std::size_t first, std::size_t last) const;

private:
    // blockSums[s][i]: Σ p over branches [i 2^s, (i + 1) 2^s), for s ≥ 1 while blocks fit.
    std::vector<std::vector<double>> m_blockSums;
};

// One bin end j: the largest cell holding it and no other bin end, where it lies in that
// cell, and the masses that splitting the cell gives the bins left and right of it.
struct BinEnd {
    double mass = 0.0;       // of its own cell; 0 for an end with none (j = N)
    DoubleDouble distance;   // from the nearer end of its own cell, in units of width
    DoubleDouble width{1.0}; // of its own cell: in bins after the walk, 1 in the split
    bool fromRight = false;  // the nearer end is the right one
    double head = 0.0;       // the split's part of bin j - 1
    double tail = 0.0;       // the split's part of bin j
    double leftBin = 0.0;    // the rest of bin j - 1, and of bin j, when the walk is done
    double rightBin = 0.0;
};

// The bins [firstBin, lastBin] and bin ends [firstEnd, lastEnd] of N equal bins, a range
// that the walk covers.
struct WalkRange {
    std::uint64_t bins = 1;
    std::uint64_t firstBin = 0;
    std::uint64_t lastBin = 0;
    std::uint64_t firstEnd = 0;
    std::uint64_t lastEnd = 0;
};

// Walks down from [0, 1] through the cells that hold more than one bin end, measuring
// positions in bins ([0, 1] is [0, N]) with 106 bits, so that a bin end is placed in its own
// cell within about N 2^-100 of a bin, and visiting only cells that meet the range. Bin ends
// and cell ends in bins are doubles: N must be below 2^52. Adds
// the mass of each cell holding no bin end to the bin it lies in, sums[b - firstBin] for the
// bins of the range, in an order that the cells alone fix, so that a bin's sum does not
// depend on the range; fills ends[j - firstEnd] with the own cell of each end of the range.
void walkCells(const CascadeBranches& branches, const WalkRange& range, double* sums, BinEnd* ends);

} // namespace veltrane
