#include "SpectrumOutput.h"

#include "NumberText.h"

#include <ostream>
#include <vector>

namespace veltrane::cli {

namespace {

void writeList(const std::vector<float>& values, std::ostream& out) {
    out << '[';
    for (std::size_t i = 0; i < values.size(); ++i) {
        out << (i == 0 ? "" : ",") << shortest(values[i]);
    }
    out << ']';
}

} // namespace

void writeCsv(const Module1& store, std::ostream& out) {
    out << "index,lyapunov,entropy,dimension\n";
    for (int j = 0; j <= store.graph_n(1); ++j) {
        out << j << ',' << shortest(store.graph_x(1, j)) << ',' << shortest(store.graph_y(1, j))
            << ',' << shortest(store.graph_y(2, j)) << '\n';
    }
}

void writeJson(const Module1& store, const AnalysisOutcome& outcome, std::ostream& out) {
    out << "{\"breakPoints\":";
    writeList(outcome.breakPoints, out);
    out << ",\"exponents\":";
    writeList(outcome.exponents, out);
    out << ",\"points\":[";
    for (int j = 0; j <= store.graph_n(1); ++j) {
        out << (j == 0 ? "" : ",") << "\n{\"index\":" << j
            << ",\"lyapunov\":" << shortest(store.graph_x(1, j))
            << ",\"entropy\":" << shortest(store.graph_y(1, j))
            << ",\"dimension\":" << shortest(store.graph_y(2, j)) << '}';
    }
    out << "]}\n";
}

} // namespace veltrane::cli
