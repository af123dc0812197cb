#pragma once

// A Markov map's pieces checked and turned into what the solver works on: the runs of pieces
// each piece maps onto, and the pieces' exponents.
#include "IntervalGraph.h"

#include <cstddef>
#include <functional>
#include <span>
#include <string>
#include <vector>
#include <veltrane/markov.h>

namespace veltrane {

struct TransitionMap {
    IntervalRows rows;               // piece i maps onto pieces begin[i] .. end[i] - 1
    std::vector<double> exponents;   // ln|s_i|
    std::vector<double> breakPoints; // x_1 .. x_{n-1}
    bool fullBranch = false;         // every piece onto [0, 1]
};

// Checks the pieces as MarkovSolver promises, naming piece k (from 0) in messages as
// name(k), and throws InputError at the first that is wrong.
TransitionMap transitionMap(std::span<const MarkovPiece> pieces,
                            const std::function<std::string(std::size_t)>& name);

// "piece k + 1".
std::string pieceName(std::size_t k);

} // namespace veltrane
