#pragma once

#include "Commands.h"

#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

namespace veltrane::cli {

// The words of "veltrane markov FILE|- ...".
struct MarkovOptions {
    std::string file; // "-": standard input
    std::optional<int> points;
    std::optional<int> threads;
    bool json = false;
    bool csv = false;
    std::optional<std::string> plotFile;
    bool grid = false;
    int dpi = 96;
};

struct ParsedMarkov {
    std::optional<MarkovOptions> options;
    std::string error; // set when options is empty
};

ParsedMarkov parseMarkovOptions(const std::vector<std::string>& words);

// "veltrane markov FILE": the exact spectral diagram of the Markov map whose pieces FILE holds,
// one a line ("left right image_left image_right"), as spectrum --exact prints it (CSV
// index,lyapunov,entropy,dimension, or JSON with the break points and the pieces' exponents
// ln|s_i|), N points evenly spaced from the smallest cycle mean of the exponents to the
// largest; or with --plot the curves drawn as the graph window would. Returns the exit status;
// throws CommandError for bad usage (2), InputError for a map that is refused, naming its piece
// and line (2), and run-time errors (3).
int runMarkov(const std::vector<std::string>& words, std::ostream& out, const Services& services);

} // namespace veltrane::cli
