#pragma once

#include "Commands.h"

#include <iosfwd>
#include <string>
#include <vector>

namespace veltrane::cli {

// "veltrane spectrum ...": the windows' analysis of C, or of C1 and C2, as CSV or JSON, or
// drawn as the graph window shows it, or beside the exact values (--compare); the exact
// spectrum of any number of break points (--exact, --from); or the analyses of many maps, one a
// line (--batch). Every word that is not an option is a field text exactly as typed, so "-0.3"
// is the value -0.3 and "" an empty field; after "--" every word is a field text. Returns the
// exit status; throws UsageError for bad usage, the analyses' RefusedValue and ConversionError,
// InputError for refused break points, and the run's errors.
int runSpectrum(const std::vector<std::string>& words, std::ostream& out, std::ostream& err,
                const Services& services);

// Whether words that spectrum takes ask for a picture.
bool spectrumDrawsPicture(const std::vector<std::string>& words);

} // namespace veltrane::cli
