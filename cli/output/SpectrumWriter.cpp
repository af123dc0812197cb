#include "SpectrumWriter.h"

#include "SpectrumOutput.h"

#include <cstdint>
#include <ostream>
#include <span>
#include <stdexcept>
#include <veltrane/process/HeldOutput.h>

namespace veltrane::cli {
using namespace veltrane::classic;

namespace {

void drawAndPrint(const std::vector<double>& breakPoints, const std::vector<double>& exponents,
                  const SpectrumRequest& request, const SpectrumSolve& solve, std::ostream& out,
                  const Services& services) {
    std::vector<ExactPoint> spectrum;
    solve([&](std::size_t, std::span<const ExactPoint> some) {
        spectrum.insert(spectrum.end(), some.begin(), some.end());
    });
    Module1 store = exactStore(spectrum);
    drawPlot(store, *request.plot, services);
    if (request.json) {
        writeJson(breakPoints, exponents, exactPoints(spectrum), out);
        out << '\n';
    } else if (request.csv) {
        writeCsv(exactPoints(spectrum), out);
    }
}

} // namespace

void writeExactSpectrum(const std::vector<double>& breakPoints,
                        const std::vector<double>& exponents, const SpectrumRequest& request,
                        const SpectrumSolve& solve, std::ostream& out, const Services& services) {
    if (request.plot) {
        drawAndPrint(breakPoints, exponents, request, solve, out, services);
        return;
    }
    const auto write = [&](std::ostream& to) {
        solve([&](std::size_t first, std::span<const ExactPoint> some) {
            writeRows(exactPoints(some, first), request.json, to);
        });
    };
    if (request.json) {
        process::writeWhole(out, [&](std::ostream& document) {
            writeJsonHead(breakPoints, exponents, document);
            write(document);
            writeJsonTail(document);
            document << '\n';
        });
    } else {
        writeCsvHeader(out);
        write(out);
    }
}

Module1 exactStore(const std::vector<ExactPoint>& points) {
    if (points.empty() || points.size() > kStorePoints) {
        throw std::length_error("the graph data store holds 1 to " + std::to_string(kStorePoints) +
                                " points");
    }
    Module1 store;
    for (std::size_t i = 0; i < points.size(); ++i) {
        const int j = static_cast<int>(i);
        store.graph_x(1, j) = static_cast<float>(points[i].lyapunov);
        store.graph_x(2, j) = static_cast<float>(points[i].lyapunov);
        store.graph_y(1, j) = static_cast<float>(points[i].entropy);
        store.graph_y(2, j) = static_cast<float>(points[i].dimension);
    }
    const auto last = static_cast<std::int16_t>(points.size() - 1);
    store.graph_n(1) = last;
    store.graph_n(2) = last;
    store.graph_count = 2;
    return store;
}

} // namespace veltrane::cli
