#pragma once

#include "Commands.h"
#include "MeasureInput.h"

#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

namespace veltrane::cli {

// The words of "veltrane multifractal ...": the measure, and what to print or draw.
struct MultifractalOptions {
    MeasureWords measure;
    std::optional<int> points;
    std::optional<int> threads;
    std::optional<std::string> dq; // FROM:TO:STEP
    bool json = false;
    bool csv = false;
    std::optional<std::string> plotFile;
    bool grid = false;
    int dpi = 96;
};

struct ParsedMultifractal {
    std::optional<MultifractalOptions> options;
    std::string error; // set when options is empty
};

ParsedMultifractal parseMultifractalOptions(const std::vector<std::string>& words);

// "veltrane multifractal B_1 ... B_k --weights p_1 ... p_n": the multifractal spectrum of the
// Bernoulli measure with these weights on the map's branches, as CSV (index,alpha,f,q,tau) or
// JSON, N points evenly spaced in α; or with --dq FROM:TO:STEP the rows q,tau,D_q; or with
// --plot the picture of f against α in the graph window's style. Returns the exit status;
// throws CommandError for bad usage or input (2) and run-time errors (3).
int runMultifractal(const std::vector<std::string>& words, std::ostream& out,
                    const Services& services);

} // namespace veltrane::cli
