#pragma once

#include "Commands.h"

#include <iosfwd>
#include <string>
#include <vector>

namespace veltrane::cli {

// "veltrane analytic --branch F ...": the map whose inverse branches are the formulas F (or
// those of --from FILE, a formula a line, or of --continued-fraction A,...), checked as
// AnalyticMap checks them; prints its Lyapunov spectrum as spectrum --exact does (CSV
// index,lyapunov,entropy,dimension, or JSON with the branches), or with --beta B the pressure
// P(B), with --dimension the dimension of the repeller, each in double precision or with
// --digits D to D significant digits. Returns the exit status; throws UsageError for bad usage,
// InputError for a map or value refused, and the run's errors (a point past a bound the
// mathematics guarantees: RuntimeError, status 3).
int runAnalytic(const std::vector<std::string>& words, std::ostream& out, std::ostream& err,
                const Services& services);

// Whether words that analytic takes ask for a picture.
bool analyticDrawsPicture(const std::vector<std::string>& words);

} // namespace veltrane::cli
