#pragma once

#include <charconv>
#include <optional>
#include <set>
#include <string>

// What the commands' option parsers share.
namespace veltrane::cli {

// "--name": an option; anything else, "-0.3" and "" included, is a value.
inline bool isOption(const std::string& word) {
    return word.size() > 2 && word.starts_with("--");
}

// Every option is given at most once, flags too: a second one, which could only override the
// first in silence or add to it, is refused. Records option in given and returns the problem
// when it was there already.
inline std::optional<std::string> givenTwice(std::set<std::string>& given,
                                             const std::string& option) {
    if (given.insert(option).second) {
        return std::nullopt;
    }
    return option + " is given twice";
}

// A whole number above 0 written in decimal digits only, or nothing.
template <typename Number = int> std::optional<Number> parsePositive(const std::string& text) {
    Number value = 0;
    const auto* end = text.data() + text.size();
    const auto result = std::from_chars(text.data(), end, value);
    if (result.ec != std::errc() || result.ptr != end || value <= 0) {
        return std::nullopt;
    }
    return value;
}

// The most points --points accepts: about 320 MB of results.
inline constexpr int kMaxPoints = 10'000'000;

// The most threads --threads accepts.
inline constexpr int kMaxThreads = 1024;

// The finest resolution --dpi accepts.
inline constexpr int kMaxDpi = 2400;

} // namespace veltrane::cli
