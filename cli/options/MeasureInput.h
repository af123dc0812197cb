#pragma once

#include "Commands.h"

#include <functional>
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

// A command's own options, those that take no value and those that take one; option(word,
// value) takes each (value null for a flag) and returns the problem with it, if any.
struct CommandOptions {
    std::vector<std::string> flags;
    std::vector<std::string> valued;
    std::function<std::optional<std::string>(const std::string&, const std::string*)> option;
};

// Parses the words of a command about a measure into measure and, through own, the command's
// own options. Returns the first problem: an unknown option, a missing value, or the break
// points or weights given in no way or in two.
std::optional<std::string> parseMeasureWords(const std::vector<std::string>& words,
                                             MeasureWords& measure, const CommandOptions& own);

struct Measure {
    std::vector<double> breakPoints;
    std::vector<double> weights; // as given, not yet normalized
};

// Reads the numbers the words give, from the files where they name files, with the user's
// decimal separator. Throws CommandError (status 2) for a text that is not a number or what a
// file cannot hold, and for files that cannot be read (3 when reading fails part of the way).
Measure readMeasure(const MeasureWords& words, const Services& services);

} // namespace veltrane::cli
