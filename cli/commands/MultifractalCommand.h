#pragma once

#include "Commands.h"

#include <iosfwd>
#include <string>
#include <vector>

namespace veltrane::cli {

// "veltrane multifractal B_1 ... B_k --weights p_1 ... p_n": the multifractal spectrum of the
// Bernoulli measure with these weights on the map's branches, as CSV (index,alpha,f,q,tau) or
// JSON, N points evenly spaced in α; or with --dq FROM:TO:STEP the rows q,tau,D_q; or with
// --plot the picture of f against α in the graph window's style. Returns the exit status;
// throws UsageError for bad usage, InputError for a refused measure, and the run's errors.
int runMultifractal(const std::vector<std::string>& words, std::ostream& out, std::ostream& err,
                    const Services& services);

// Whether words that multifractal takes ask for a picture.
bool multifractalDrawsPicture(const std::vector<std::string>& words);

} // namespace veltrane::cli
