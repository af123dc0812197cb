#include "Json.h"

#include <cmath>
#include <ostream>
#include <veltrane/text.h>

namespace veltrane::cli {

std::string jsonNumber(double value) {
    return std::isfinite(value) ? shortest(value) : "null";
}

std::string jsonNumber(float value) {
    return std::isfinite(value) ? shortest(value) : "null";
}

template <typename T> void writeJsonList(const std::vector<T>& values, std::ostream& out) {
    out << '[';
    for (std::size_t i = 0; i < values.size(); ++i) {
        out << (i == 0 ? "" : ",") << jsonNumber(values[i]);
    }
    out << ']';
}

template void writeJsonList(const std::vector<float>&, std::ostream&);
template void writeJsonList(const std::vector<double>&, std::ostream&);

} // namespace veltrane::cli
