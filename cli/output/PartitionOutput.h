#pragma once

// The partition sums of a measure, as CSV or JSON.
#include "MeasureInput.h"

#include <iosfwd>
#include <veltrane/partition.h>

namespace veltrane::cli {

// A row for each N (ascending) and q (as given): CSV "n,q,log_z,tau_apparent", or JSON
// {"breakPoints":[...],"weights":[...],"rows":[{"n":..,"q":..,"log_z":..,"tau_apparent":..}]}
// with the weights normalized. tau_apparent is the apparent exponent between the N before and
// this one: empty in CSV, null in JSON, on the rows of the smallest N.
void writePartitionSums(const PartitionSums& sums, const Measure& measure, bool json,
                        std::ostream& out);

} // namespace veltrane::cli
