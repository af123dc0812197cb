#include "ExactCommand.h"

#include "BreakPoints.h"
#include "CommandError.h"
#include "ExactOutput.h"
#include "ExactSpectrum.h"
#include "InputFiles.h"
#include "Module1.h"
#include "Progress.h"
#include "RuntimeError.h"
#include "SpectrumOutput.h"

#include <cstdint>
#include <new>
#include <optional>
#include <ostream>
#include <stdexcept>
#include <vector>

namespace veltrane::cli {

namespace {

std::vector<double> breakPointsOf(const SpectrumOptions& options, const Services& services) {
    const std::string& separator = services.decimalSeparator;
    if (!options.fromFile) {
        try {
            return parseBreakPoints(options.fieldTexts, separator);
        } catch (const BreakPointError& e) {
            throw CommandError(kExitUsage, e.what());
        }
    }
    const std::string& file = *options.fromFile;
    const std::vector<std::string> texts =
        readNumberFile(file, services.input, separator, kMostBreakPoints, "break points");
    try {
        return parseBreakPoints(texts, separator);
    } catch (const BreakPointError& e) {
        throw CommandError(kExitUsage, inputName(file) + ": " + e.what());
    }
}

ExactSpectrum solve(const std::vector<double>& exponents, std::size_t points,
                    const SpectrumOptions& options, const Services& services) {
    ExactSpectrum spectrum;
    try {
        withProgress(services.progress, options.threads, points, [&](const RunControl& control) {
            spectrum = ExactSolver(exponents).spectrum(points, control);
        });
    } catch (const RuntimeError& e) {
        throw CommandError(kExitRunTime, e.what());
    } catch (const std::bad_alloc&) {
        throw CommandError(kExitRunTime, "not enough memory for " + std::to_string(points) +
                                             " points of " + std::to_string(exponents.size()) +
                                             " branches");
    }
    return spectrum;
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
    const ExactSpectrum spectrum = solve(exponents, points, options, services);
    if (plot) {
        // The picture first: when it cannot be written, nothing else is printed.
        Module1 store = exactStore(spectrum.points);
        drawPlot(store, *plot, services);
    }
    if (options.json) {
        writeJson(breakPoints, exponents, exactPoints(spectrum.points), out);
        out << '\n';
    } else if (options.csv || !plot) {
        writeCsv(exactPoints(spectrum.points), out);
    }
    return kExitOk;
}

} // namespace veltrane::cli
