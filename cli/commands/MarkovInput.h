#pragma once

// A Markov map and the weights of a measure on it, read from the files the command line names.
#include "Commands.h"

#include <string>
#include <vector>
#include <veltrane/markov.h>
#include <veltrane/markov_measure.h>

namespace veltrane::cli {

// The pieces in file ("-": standard input), read a piece at a time; what refuses them names the
// file.
std::vector<MarkovPiece> piecesOf(const std::string& file, const Services& services);

// The transition weights in file, for the map of pieces; what refuses them names the file.
MarkovWeights weightsOf(const std::string& file, const std::vector<MarkovPiece>& pieces,
                        const Services& services);

} // namespace veltrane::cli
