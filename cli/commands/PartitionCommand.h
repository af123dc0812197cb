#pragma once

#include "Commands.h"

#include <iosfwd>
#include <string>
#include <vector>

namespace veltrane::cli {

// "veltrane partition B_1 ... B_k --weights p_1 ... p_n --bins N_1,N_2,... --q FROM:TO:STEP":
// the partition sums ln Z_q(N) = ln Σ_k μ([k/N, (k+1)/N])^q of the measure the weights make on
// the map's branches, and the apparent exponents between consecutive N, as CSV
// (n,q,log_z,tau_apparent) or JSON. Computed over the threads from the bins a block at a time,
// and checked against the bounds before anything is printed. Returns the exit status; throws
// UsageError for bad usage, InputError for a refused measure, and the run's errors.
int runPartition(const std::vector<std::string>& words, std::ostream& out, std::ostream& err,
                 const Services& services);

} // namespace veltrane::cli
