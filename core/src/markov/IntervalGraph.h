#pragma once

// A directed graph on the vertices 0 .. n - 1 in which the successors of each vertex are a run
// of consecutive vertices: the transition graph of a Markov map, whose pieces map onto runs of
// neighbouring pieces, and the subgraphs taken from it in another order. Such a graph may have
// of the order of n^2 edges; everything here costs about n log n whatever their number.
#include <cstddef>
#include <cstdint>
#include <vector>

namespace veltrane {

struct IntervalRows {
    // The successors of vertex i are begin[i] .. end[i] - 1 (none when they are equal).
    std::vector<std::uint32_t> begin;
    std::vector<std::uint32_t> end;

    std::size_t size() const { return begin.size(); }
};

struct Components {
    // The component of each vertex. They are numbered in a topological order of the graph of
    // components: an edge never leads to a component numbered lower than its own, so component
    // 0 is reached from no other.
    std::vector<std::uint32_t> of;
    std::uint32_t count = 0;
};

// The cyclic classes of an irreducible graph: its period p (the greatest common divisor of its
// cycles' lengths) and the class 0 .. p - 1 of each vertex, every edge leading from class c to
// class c + 1 mod p. An aperiodic graph is one class.
struct CyclicClasses {
    std::vector<std::uint32_t> of;
    std::uint32_t period = 1;
};

CyclicClasses cyclicClasses(const IntervalRows& rows);

// The strongly connected components (Kosaraju's two searches, each vertex found once through
// structures that skip the vertices already found: n log n, with memory linear in n).
Components strongComponents(const IntervalRows& rows);

} // namespace veltrane
