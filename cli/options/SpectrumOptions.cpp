#include "SpectrumOptions.h"

#include "OptionParser.h"

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
    if (options.fieldTexts.empty() || options.fieldTexts.size() > 2) {
        return "spectrum takes C, or C1 and C2";
    }
    return std::nullopt;
}

SpectrumOptions spectrumOptions(const GivenOptions& given) {
    SpectrumOptions options;
    options.fieldTexts = given.values();
    options.json = given.has(option::json);
    options.csv = given.has(option::csv);
    options.plotFile = given.text(option::plot);
    options.grid = given.has(option::grid);
    options.dpi = given.number<int>(option::dpi).value_or(options.dpi);
    options.fromFile = given.text(option::from);
    options.exact = given.has(option::exact) || options.fromFile.has_value();
    options.points = given.number<int>(option::points);
    options.compare = given.has(option::compare);
    options.batchFile = given.text(option::batch);
    options.threads = given.number<int>(option::threads);
    return options;
}

} // namespace

ParsedSpectrum parseSpectrumOptions(const std::vector<std::string>& words) {
    const ParsedOptions parsed = parseOptions(words, Command::Spectrum);
    if (!parsed.given) {
        return {std::nullopt, parsed.problem};
    }
    const SpectrumOptions options = spectrumOptions(*parsed.given);
    if (const auto problem = combinationProblem(options)) {
        return {std::nullopt, *problem};
    }
    return {options, {}};
}

} // namespace veltrane::cli
