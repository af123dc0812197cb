#include "ExactCommand.h"

#include "CommandError.h"
#include "ExactOutput.h"
#include "SpectrumOutput.h"

#include <cstdint>
#include <new>
#include <optional>
#include <ostream>
#include <stdexcept>
#include <vector>
#include <veltrane/classic/Module1.h>
#include <veltrane/errors.h>
#include <veltrane/exact.h>
#include <veltrane/maps.h>
#include <veltrane/process/HeldOutput.h>
#include <veltrane/process/InputFiles.h>
#include <veltrane/process/Progress.h>

namespace veltrane::cli {
using namespace veltrane::classic;
using namespace veltrane::process;

namespace {

std::vector<double> breakPointsOf(const SpectrumOptions& options, const Services& services) {
    const std::string& separator = services.decimalSeparator;
    if (!options.fromFile) {
        return parseBreakPoints(options.fieldTexts, separator);
    }
    const std::string& file = *options.fromFile;
    const std::vector<std::string> texts =
        readNumberFile(file, services.input, separator, kMostBreakPoints, "break points");
    try {
        return parseBreakPoints(texts, separator);
    } catch (const BreakPointError& e) {
        throw BreakPointError(inputName(file) + ": " + e.what());
    }
}

// Runs the solver on the threads the options ask for, with progress, handing the points to
// sink in order as they are solved.
void solve(const std::vector<double>& exponents, std::size_t points, const SpectrumOptions& options,
           const Services& services, const PointSink<ExactPoint>& sink) {
    withProgress(services.progress, options.threads, points, [&](const RunControl& control) {
        ExactSolver(exponents).spectrum(points, control, sink);
    });
}

} // namespace

Module1 exactStore(const std::vector<ExactPoint>& points) {
    if (points.empty() || points.size() > kStorePoints) {
        throw std::length_error("the graph data store holds 1 to 101 points");
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

int runExact(const SpectrumOptions& options, std::ostream& out, const Services& services) {
    const auto points = static_cast<std::size_t>(options.points.value_or(kDefaultExactPoints));
    const std::optional<PlotRequest> plot =
        plotRequest(options.plotFile, options.grid, options.dpi, PlotKind::ExactSpectrum, points);
    const std::vector<double> breakPoints = breakPointsOf(options, services);
    const std::vector<double> exponents = branchExponents(breakPoints);
    if (plot) {
        // At most as many points as the store holds. The picture first: when it cannot be
        // written, nothing else is printed.
        std::vector<ExactPoint> spectrum;
        solve(exponents, points, options, services,
              [&](std::size_t, std::span<const ExactPoint> some) {
                  spectrum.insert(spectrum.end(), some.begin(), some.end());
              });
        Module1 store = exactStore(spectrum);
        drawPlot(store, *plot, services);
        if (options.json) {
            writeJson(breakPoints, exponents, exactPoints(spectrum), out);
            out << '\n';
        } else if (options.csv) {
            writeCsv(exactPoints(spectrum), out);
        }
        return kExitOk;
    }
    // Written as the points are solved, so that memory does not grow with their number; JSON
    // is held until it is whole, as a document cut short is no document.
    const auto write = [&](std::ostream& to) {
        solve(exponents, points, options, services,
              [&](std::size_t first, std::span<const ExactPoint> some) {
                  writeRows(exactPoints(some, first), options.json, to);
              });
    };
    if (options.json) {
        writeWhole(out, [&](std::ostream& document) {
            writeJsonHead(breakPoints, exponents, document);
            write(document);
            writeJsonTail(document);
            document << '\n';
        });
    } else {
        writeCsvHeader(out);
        write(out);
    }
    return kExitOk;
}

} // namespace veltrane::cli
