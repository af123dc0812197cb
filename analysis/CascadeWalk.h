#pragma once

// The first part of Cascade::binMasses: the walk through the cells that hold more than one
// bin end, down to the cell each bin end holds alone.
#include "DoubleDouble.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace veltrane {

// The measure's branches as the walk and the split use them.
struct CascadeBranches {
    CascadeBranches(const std::vector<double>& breakPoints, std::vector<double> normalized);

    std::size_t count() const { return weights.size(); }
    // Σ_{a<k<b} p_k, term by term so that a small sum keeps its digits.
    double between(std::size_t a, std::size_t b) const;

    std::vector<double> breaks; // 0, the break points, 1
    std::vector<DoubleDouble> lengths;
    std::vector<double> weights;
    std::vector<double> before; // Σ_{i<k} p_i
    std::vector<double> after;  // Σ_{i>k} p_i
};

// One bin end: the cell in which it is the only bin end, and the mass found in the bins to
// its left (head) and right (tail).
struct BinEnd {
    double mass = 0.0;      // of its own cell
    DoubleDouble distance;  // from the nearer end of its own cell, in units of that cell
    bool fromRight = false; // the nearer end is the right one
    double head = 0.0;
    double tail = 0.0;
};

// Follows the bin ends j = first, first + 1, ... of N bins through the cells holding more
// than one of them, keeping the path from [0, 1] to the current one. A cell beside a path
// that holds no bin end lies in one bin and is added to it whole; each bin end stops at the
// largest cell holding it alone. Positions are measured in bins ([0, 1] is [0, N]) with 106
// bits, so that a bin end is placed in its own cell within about 2^-75 of that cell.
class BinWalk {
public:
    BinWalk(const CascadeBranches& branches, std::uint64_t bins);

    // Takes bin end x from the deepest cell of the path that holds it (the whole interval for
    // the first one) to its own cell. The cells left of its path that hold neither it nor
    // the end before go to its head; the branches between the two ends, in the cell where
    // their paths part, go to *middle when middle is given.
    void descend(double x, BinEnd& end, double* middle);
    // Leaves bin end x's cells that do not hold x + 1, adding the branches right of its path
    // to its tail.
    void rise(double x, BinEnd& end);

private:
    struct Level {
        DoubleDouble width;
        double mass = 1.0;
        std::size_t child = 0; // the branch holding the current bin end
        bool cutsReady = false;
    };

    // The ends of the branches of the cell at level L, in bins: n + 1 of them, first its left
    // end and last its right end.
    DoubleDouble* cuts(std::size_t level) { return &m_cuts[level * (m_branches.count() + 1)]; }
    std::size_t childOf(std::size_t level, double x);
    void push(std::size_t level, std::size_t child);
    void place(double x, BinEnd& end);

    const CascadeBranches& m_branches;
    std::vector<Level> m_path;
    std::vector<DoubleDouble> m_cuts;
};

} // namespace veltrane
