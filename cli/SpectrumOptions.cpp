#include "SpectrumOptions.h"

#include <charconv>

namespace veltrane::cli {

namespace {

bool isOption(const std::string& word) { return word.size() > 2 && word.starts_with("--"); }

std::optional<int> parsePositive(const std::string& text) {
    int value = 0;
    const auto* end = text.data() + text.size();
    const auto result = std::from_chars(text.data(), end, value);
    if (result.ec != std::errc() || result.ptr != end || value <= 0) {
        return std::nullopt;
    }
    return value;
}

} // namespace

ParsedSpectrum parseSpectrumOptions(const std::vector<std::string>& words) {
    SpectrumOptions options;
    bool onlyFields = false;
    for (std::size_t i = 0; i < words.size(); ++i) {
        const std::string& word = words[i];
        if (onlyFields || (!isOption(word) && word != "--")) {
            options.fieldTexts.push_back(word);
            continue;
        }
        const bool hasValue = i + 1 < words.size();
        if (word == "--") {
            onlyFields = true;
        } else if (word == "--json") {
            options.json = true;
        } else if (word == "--grid") {
            options.grid = true;
        } else if (word == "--plot" && hasValue) {
            options.plotFile = words[++i];
        } else if (word == "--dpi" && hasValue) {
            const auto dpi = parsePositive(words[++i]);
            if (!dpi || *dpi > 2400) {
                return {std::nullopt, "--dpi takes a whole number from 1 to 2400"};
            }
            options.dpi = *dpi;
        } else if (word == "--plot" || word == "--dpi") {
            return {std::nullopt, word + " needs a value"};
        } else {
            return {std::nullopt, "unknown option " + word};
        }
    }
    if (options.fieldTexts.empty() || options.fieldTexts.size() > 2) {
        return {std::nullopt, "spectrum takes C, or C1 and C2"};
    }
    return {options, {}};
}

} // namespace veltrane::cli
