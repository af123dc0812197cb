#pragma once

#include "Commands.h"

#include <iosfwd>
#include <string>
#include <vector>

namespace veltrane::cli {

// "veltrane markov FILE": the exact spectral diagram of the Markov map whose pieces FILE holds,
// one a line ("left right image_left image_right"), as spectrum --exact prints it (CSV
// index,lyapunov,entropy,dimension, or JSON with the break points and the pieces' exponents
// ln|s_i|), N points evenly spaced from the smallest cycle mean of the exponents to the
// largest; or with --plot the curves drawn as the graph window would. Returns the exit status;
// throws UsageError for bad usage, InputError for a map that is refused, naming its piece and
// line, and the run's errors.
int runMarkov(const std::vector<std::string>& words, std::ostream& out, std::ostream& err,
              const Services& services);

// Whether words that markov takes ask for a picture.
bool markovDrawsPicture(const std::vector<std::string>& words);

} // namespace veltrane::cli
