#pragma once

#include "Commands.h"
#include "SpectrumOptions.h"

#include <iosfwd>

namespace veltrane::cli {

// "veltrane spectrum --batch FILE [--json]": one map a line of FILE ("-": standard input), C or
// C1 C2 separated by blanks, "#" starting a comment; prints one CSV with a leading map column
// (the line's number) or, with --json, one array of the single runs' objects, each with its
// "map". The points are exactly those of one run a map. A line that is refused or fails is
// reported on err with its number and the others go on, as is a line longer than 4096 bytes.
// Returns 3 if a line failed with a run-time error, else 2 if a line was refused, else 0.
// Input that is no text (a control character) ends the run with CommandError (status 2).
int runBatch(const SpectrumOptions& options, std::ostream& out, std::ostream& err,
             const Services& services);

} // namespace veltrane::cli
