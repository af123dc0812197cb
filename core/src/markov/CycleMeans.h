#pragma once

// The ends of a Markov map's range of Lyapunov exponents: the smallest mean of the pieces'
// exponents over the cycles of its transition graph, and the topological entropy of the
// cycles that attain it.
#include "IntervalGraph.h"

#include <span>
#include <vector>
#include <veltrane/run.h>

namespace veltrane {

struct CycleEnd {
    double mean = 0.0;    // the smallest cycle mean
    double entropy = 0.0; // ln ρ of the graph of the cycles attaining it; 0 for a single cycle
    long double exactMean = 0.0L; // the mean as found, before rounding to a double
    // Potentials x with x_i = value_i - mean + min over i's successors of x_j.
    std::vector<double> potentials;
};

// Of values on the vertices of the irreducible graph rows: the smallest mean over its cycles,
// to a few units of 1e-16 of the values on the cycles that attain it (found by Howard's policy
// iteration with the best successor of each vertex taken from a tree of its run, n log n a
// round, in long double), and the entropy of the cycles that tie with it: whose means differ
// from it by at most relativeTie times the larger of the two, or of the values' median size. The
// largest mean is -smallestCycleMean of the negated values. Throws RuntimeError when the iteration
// does not settle, which no map tried has made happen, and Cancelled through control.
CycleEnd smallestCycleMean(const IntervalRows& rows, std::span<const double> values,
                           double relativeTie, const RunControl& control);

} // namespace veltrane
