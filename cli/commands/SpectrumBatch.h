#pragma once

#include "Commands.h"

#include <iosfwd>
#include <string>

namespace veltrane::cli {

// "veltrane spectrum --batch FILE [--json]": one map a line of FILE ("-": standard input), C or
// C1 C2 separated by blanks, "#" starting a comment; prints one CSV with a leading map column
// (the line's number) or, with json, one array of the single runs' objects, each with its
// "map". The points are exactly those of one run a map. A line that is refused or fails is
// reported on err with its number and the others go on, as is a line longer than 4096 bytes
// (kLongestBatchLine) or one with a control byte. Returns the worst status of the lines as the
// error report gives them (3 if a line failed with a run-time error, else 2 if a line was
// refused, else 0); throws what keeps the file from being read, after ending standard output
// as a whole CSV or JSON array.
int runBatch(const std::string& file, bool json, std::ostream& out, std::ostream& err,
             const Services& services);

// The longest line a map is read from, in bytes.
inline constexpr std::size_t kLongestBatchLine = 4096;

} // namespace veltrane::cli
