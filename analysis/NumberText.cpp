#include "NumberText.h"

#include <array>
#include <charconv>

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

} // namespace veltrane
