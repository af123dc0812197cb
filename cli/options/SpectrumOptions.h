#pragma once

#include <optional>
#include <string>
#include <vector>

namespace veltrane::cli {

// The words of "veltrane spectrum ...". Every word that is not one of the options below is
// a field text exactly as typed, so "-0.3" is the value -0.3 and "" an empty field; after
// "--" every word is a field text.
struct SpectrumOptions {
    std::vector<std::string> fieldTexts;
    bool json = false;
    bool csv = false;                     // --csv: CSV even when --plot is given
    std::optional<std::string> plotFile;  // --plot FILE
    bool grid = false;                    // --grid
    int dpi = 96;                         // --dpi N
    bool exact = false;                   // --exact: the values are break points B_1 ... B_k
    std::optional<int> points;            // --points N, with --exact
    std::optional<std::string> fromFile;  // --from FILE ("-": standard input), implies --exact
    bool compare = false;                 // --compare: stored points beside the exact ones
    std::optional<std::string> batchFile; // --batch FILE ("-": standard input): a map a line
    std::optional<int> threads;           // --threads N, with --exact
};

struct ParsedSpectrum {
    std::optional<SpectrumOptions> options;
    std::string error; // set when options is empty
};

ParsedSpectrum parseSpectrumOptions(const std::vector<std::string>& words);

} // namespace veltrane::cli
