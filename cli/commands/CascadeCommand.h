#pragma once

#include "Commands.h"

#include <iosfwd>
#include <string>
#include <vector>

namespace veltrane::cli {

// "veltrane cascade B_1 ... B_k --weights p_1 ... p_n --bins N | --levels M [--output FILE]":
// the self-similar measure the weights make on the map's branches, as data: the masses of N
// equal bins (bin,left,right,mass), or of the n^M level-M cells (cell,left,width,mass), as CSV
// on standard output or into FILE, whose extension chooses .csv, .npy (NumPy, one dimension of
// doubles: the masses) or .f64 (the masses as raw little-endian doubles). The masses are
// computed in blocks over the threads and written in order, a file whole or not at all.
// Returns the exit status; throws UsageError for bad usage, InputError for a refused measure or
// file, and the run's errors. It never draws a picture.
int runCascade(const std::vector<std::string>& words, std::ostream& out, std::ostream& err,
               const Services& services);

} // namespace veltrane::cli
