#pragma once

#include <charconv>
#include <optional>
#include <string>

// What the commands' option parsers share.
namespace veltrane::cli {

// "--name": an option; anything else, "-0.3" and "" included, is a value.
inline bool isOption(const std::string& word) {
    return word.size() > 2 && word.starts_with("--");
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
