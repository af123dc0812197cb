#include "MeasureInput.h"

#include <veltrane/errors.h>
#include <veltrane/internal/text.h>
#include <veltrane/maps.h>
#include <veltrane/process/InputFiles.h>
#include <veltrane/text.h>

namespace veltrane::cli {
using namespace veltrane::classic;
using namespace veltrane::process;

namespace {

std::vector<double> numbersOf(const std::vector<std::string>& texts, const std::string& separator,
                              const std::string& what) {
    std::vector<double> values;
    for (std::size_t i = 0; i < texts.size(); ++i) {
        const auto value = decimalToDouble(texts[i], separator);
        if (!value) {
            throw InputError(what + " " + std::to_string(i + 1) + " (\"" +
                             internal::elided(texts[i]) + "\") is not a number");
        }
        values.push_back(*value);
    }
    return values;
}

// The numbers of a list given as values or in a file, the file's messages led by its name.
std::vector<double> listOf(const std::vector<std::string>& texts,
                           const std::optional<std::string>& file, const Services& services,
                           const std::string& what, std::size_t most) {
    if (!file) {
        return numbersOf(texts, services.decimalSeparator, what);
    }
    const std::vector<std::string> read =
        readNumberFile(*file, services.input, services.decimalSeparator, most, what + "s");
    try {
        return numbersOf(read, services.decimalSeparator, what);
    } catch (const InputError& e) {
        throw InputError(inputName(*file) + ": " + e.what());
    }
}

// The break points from a file, checked at once so that what refuses them names the file, as
// "spectrum --from" does.
std::vector<double> breakPointsFrom(const std::string& file, const Services& services) {
    const std::vector<std::string> read = readNumberFile(
        file, services.input, services.decimalSeparator, kMostBreakPoints, "break points");
    try {
        return parseBreakPoints(read, services.decimalSeparator);
    } catch (const BreakPointError& e) {
        throw BreakPointError(inputName(file) + ": " + e.what());
    }
}

// One weight for each branch, checked when they come from a file, so that the file is named.
void checkWeightsFrom(const std::optional<std::string>& file, const Measure& measure) {
    if (!file) {
        return;
    }
    try {
        checkWeights(measure.weights, measure.breakPoints.size() + 1);
    } catch (const WeightError& e) {
        throw WeightError(inputName(*file) + ": " + e.what());
    }
}

} // namespace

MeasureWords measureWords(const GivenOptions& given) {
    return {given.values(), given.list(option::weights), given.text(option::from),
            given.text(option::weightsFrom), given.has(option::weights)};
}

std::optional<std::string> measureProblem(const MeasureWords& m) {
    if (m.fromFile && !m.breakPointTexts.empty()) {
        return "give the break points either as values or with --from, not both";
    }
    if (!m.fromFile && m.breakPointTexts.empty()) {
        return "the break points B_1 ... B_k are missing (values, or --from FILE)";
    }
    if (m.weightsGiven == m.weightsFile.has_value()) {
        return "give the weights with --weights p_1 ... p_n or with --weights-from FILE, one of "
               "the two";
    }
    if (m.fromFile == "-" && m.weightsFile == "-") {
        return "--from - and --weights-from - cannot both read standard input";
    }
    return std::nullopt;
}

Measure readMeasure(const MeasureWords& words, const Services& services) {
    Measure measure;
    measure.breakPoints =
        words.fromFile ? breakPointsFrom(*words.fromFile, services)
                       : numbersOf(words.breakPointTexts, services.decimalSeparator, "break point");
    // As many weights as a map of the most break points has branches.
    measure.weights =
        listOf(words.weightTexts, words.weightsFile, services, "weight", kMostBreakPoints + 1);
    checkWeightsFrom(words.weightsFile, measure);
    return measure;
}

std::vector<double> readPoints(const std::vector<std::string>& texts,
                               const std::optional<std::string>& file, const Services& services) {
    return listOf(texts, file, services, "point", kMostBreakPoints);
}

} // namespace veltrane::cli
