#include "Module1.h"

#include "CheckedArray.h"
#include "RuntimeError.h"

#include <cstring>
#include <string>

namespace veltrane {

void raiseSubscriptOutOfRange(int index) {
    throw RuntimeError(ErrorKind::SubscriptOutOfRange, "index " + std::to_string(index));
}

namespace {
void checkBounds(int index, int last, const char* what) {
    if (index < 0 || index > last) {
        throw RuntimeError(ErrorKind::SubscriptOutOfRange,
                           std::string(what) + " index " + std::to_string(index));
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

bool Module1::sameBits(const Module1& other) const {
    return graph_count == other.graph_count && m_n == other.m_n &&
           std::memcmp(m_x.data(), other.m_x.data(), sizeof m_x) == 0 &&
           std::memcmp(m_y.data(), other.m_y.data(), sizeof m_y) == 0;
}

Module1& module1() {
    static Module1 store;
    return store;
}

} // namespace veltrane
