#include <algorithm>
#include <bit>
#include <cstdint>
#include <string>
#include <veltrane/classic/CheckedArray.h>
#include <veltrane/classic/Errors.h>
#include <veltrane/classic/Module1.h>

namespace veltrane::classic {

void raiseSubscriptOutOfRange(int index) {
    throw SubscriptError("index " + std::to_string(index));
}

namespace {
void checkBounds(int index, int last, const char* what) {
    if (index < 0 || index > last) {
        throw SubscriptError(std::string(what) + " index " + std::to_string(index));
    }
}
} // namespace

int Module1::graphIndex(int k) {
    checkBounds(k, kLastGraph, "graph");
    return k;
}

int Module1::pointIndex(int k, int j) {
    checkBounds(k, kLastGraph, "graph");
    checkBounds(j, kLastPoint, "point");
    return k * (kLastPoint + 1) + j;
}

namespace {
bool sameBitsEverywhere(const auto& a, const auto& b) {
    return std::equal(a.begin(), a.end(), b.begin(), [](float x, float y) {
        return std::bit_cast<std::uint32_t>(x) == std::bit_cast<std::uint32_t>(y);
    });
}
} // namespace

bool Module1::sameBits(const Module1& other) const {
    return graph_count == other.graph_count && m_n == other.m_n &&
           sameBitsEverywhere(m_x, other.m_x) && sameBitsEverywhere(m_y, other.m_y);
}

} // namespace veltrane::classic
