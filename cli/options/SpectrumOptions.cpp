#include "SpectrumOptions.h"

#include <veltrane/text.h>
#include "OptionWords.h"

namespace veltrane::cli {

namespace {

std::optional<std::string> combinationProblem(const SpectrumOptions& options) {
    if (options.batchFile) {
        const bool alone = options.fieldTexts.empty() && !options.exact && !options.compare &&
                           !options.plotFile && !options.csv && !options.points &&
                           !options.threads && !options.grid &&
                           options.dpi == SpectrumOptions{}.dpi;
        return alone ? std::nullopt
                     : std::optional<std::string>("--batch reads the maps from its file and goes "
                                                  "with --json only");
    }
    if (options.threads && !options.exact) {
        return "--threads goes with --exact";
    }
    if (options.exact) {
        if (options.compare) {
            return "--compare goes with C, or C1 and C2, not with --exact or --from";
        }
        if (options.fromFile && !options.fieldTexts.empty()) {
            return "give the break points either as values or with --from, not both";
        }
        if (!options.fromFile && options.fieldTexts.empty()) {
            return "--exact takes the break points B_1 ... B_k";
        }
        return std::nullopt;
    }
    if (options.points) {
        return "--points goes with --exact";
    }
    if (options.compare && options.plotFile) {
        return "--compare prints a table and does not go with --plot";
    }
    if (options.fieldTexts.empty() || options.fieldTexts.size() > 2) {
        return "spectrum takes C, or C1 and C2";
    }
    return std::nullopt;
}

} // namespace

ParsedSpectrum parseSpectrumOptions(const std::vector<std::string>& words) {
    SpectrumOptions options;
    bool onlyFields = false;
    std::set<std::string> given;
    for (std::size_t i = 0; i < words.size(); ++i) {
        const std::string& word = words[i];
        if (onlyFields || (!isOption(word) && word != "--")) {
            options.fieldTexts.push_back(word);
            continue;
        }
        const bool hasValue = i + 1 < words.size();
        if (word == "--") {
            onlyFields = true;
        } else if (auto twice = givenTwice(given, word)) {
            return {std::nullopt, *twice};
        } else if (word == "--json") {
            options.json = true;
        } else if (word == "--csv") {
            options.csv = true;
        } else if (word == "--grid") {
            options.grid = true;
        } else if (word == "--exact") {
            options.exact = true;
        } else if (word == "--compare") {
            options.compare = true;
        } else if (word == "--from" && hasValue) {
            options.fromFile = words[++i];
            options.exact = true;
        } else if (word == "--points" && hasValue) {
            const auto points = parsePositive(words[++i]);
            if (!points || *points < 2 || *points > kMaxPoints) {
                return {std::nullopt,
                        "--points takes a whole number from 2 to " + std::to_string(kMaxPoints)};
            }
            options.points = *points;
        } else if (word == "--batch" && hasValue) {
            options.batchFile = words[++i];
        } else if (word == "--threads" && hasValue) {
            const auto threads = parsePositive(words[++i]);
            if (!threads || *threads > kMaxThreads) {
                return {std::nullopt,
                        "--threads takes a whole number from 1 to " + std::to_string(kMaxThreads)};
            }
            options.threads = *threads;
        } else if (word == "--plot" && hasValue) {
            options.plotFile = words[++i];
        } else if (word == "--dpi" && hasValue) {
            const auto dpi = parsePositive(words[++i]);
            if (!dpi || *dpi > kMaxDpi) {
                return {std::nullopt,
                        "--dpi takes a whole number from 1 to " + std::to_string(kMaxDpi)};
            }
            options.dpi = *dpi;
        } else if (word == "--plot" || word == "--dpi" || word == "--from" || word == "--points" ||
                   word == "--batch" || word == "--threads") {
            return {std::nullopt, word + " needs a value"};
        } else {
            return {std::nullopt, "unknown option " + elided(word)};
        }
    }
    if (const auto problem = combinationProblem(options)) {
        return {std::nullopt, *problem};
    }
    return {options, {}};
}

} // namespace veltrane::cli
