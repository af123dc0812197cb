#include <array>
#include <charconv>
#include <veltrane/internal/text.h>
#include <veltrane/text.h>

namespace veltrane {

namespace {
template <typename T> std::string shortestText(T value) {
    std::array<char, 64> buffer{};
    const auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value);
    return std::string(buffer.data(), result.ptr);
}
} // namespace

std::string shortest(float value) {
    return shortestText(value);
}
std::string shortest(double value) {
    return shortestText(value);
}

std::string internal::elided(std::string_view text) {
    constexpr std::size_t kShown = 32;
    std::size_t end = 0;
    for (std::size_t characters = 0; end < text.size() && characters < kShown; ++characters) {
        ++end;
        // Continuation bytes of a UTF-8 sequence belong to the character before them.
        while (end < text.size() && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) {
            ++end;
        }
    }
    return end == text.size() ? std::string(text) : std::string(text.substr(0, end)) + "…";
}

} // namespace veltrane
