#pragma once

#include "Commands.h"
#include "OptionParser.h"

#include <optional>
#include <string>
#include <vector>

namespace veltrane::cli {

// The words that give a measure on a map: its break points (values, or --from FILE) and its
// branches' weights (the values after --weights, or --weights-from FILE); "-" reads standard
// input, and after "--" every word is a value.
struct MeasureWords {
    std::vector<std::string> breakPointTexts;
    std::vector<std::string> weightTexts;
    std::optional<std::string> fromFile;
    std::optional<std::string> weightsFile;
    bool weightsGiven = false; // --weights, with or without values after it
};

// The measure the options give: the values are the break points, those after --weights the
// weights.
MeasureWords measureWords(const GivenOptions& given);

// The problem with how the break points and weights are given: in no way or in two, or both
// from standard input.
std::optional<std::string> measureProblem(const MeasureWords& measure);

struct Measure {
    std::vector<double> breakPoints;
    std::vector<double> weights; // as given, not yet normalized
};

// Reads the numbers the words give, from the files where they name files, with the user's
// decimal separator. Throws InputError for a text that is not a number or what a file cannot
// hold, FileError for a file that cannot be read, ReadError when reading fails part of the way.
Measure readMeasure(const MeasureWords& words, const Services& services);

// The points of --cdf: the texts, or the numbers of file when one is named ("-": standard
// input), at most kMostBreakPoints of them. Throws as readMeasure does.
std::vector<double> readPoints(const std::vector<std::string>& texts,
                               const std::optional<std::string>& file, const Services& services);

} // namespace veltrane::cli
