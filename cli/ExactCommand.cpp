#include "ExactCommand.h"

#include "BreakPoints.h"
#include "Cli.h"
#include "ExactOutput.h"
#include "ExactSpectrum.h"
#include "Module1.h"
#include "PlotExport.h"
#include "RuntimeError.h"
#include "SpectrumOutput.h"

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <new>
#include <optional>
#include <ostream>
#include <stdexcept>
#include <vector>

namespace veltrane::cli {

namespace {

std::vector<double> readFile(const std::string& file, const std::string& separator,
                             std::istream& in) {
    if (file == "-") {
        try {
            return readBreakPoints(in, separator);
        } catch (const BreakPointError& e) {
            throw BreakPointError(std::string("standard input: ") + e.what());
        }
    }
    std::error_code ignored;
    if (std::filesystem::is_directory(file, ignored)) {
        throw BreakPointError(file + " is a folder, not a file of break points");
    }
    std::ifstream stream(file);
    if (!stream) {
        throw BreakPointError("cannot read " + file + ": " + std::strerror(errno));
    }
    try {
        return readBreakPoints(stream, separator);
    } catch (const BreakPointError& e) {
        throw BreakPointError(file + ": " + e.what());
    }
}

// The graph window draws from the graph data store, 101 points in singles: an exact spectrum of
// no more points is drawn exactly as an analysis's run would be.
constexpr std::size_t kStorePoints = Module1::kLastPoint + 1;

// What keeps --plot from drawing these options' picture, found before any work is done.
std::optional<std::string> plotProblem(const SpectrumOptions& options, std::size_t points) {
    if (!options.plotFile) {
        return std::nullopt;
    }
    if (auto problem = unknownPictureType(*options.plotFile)) {
        return problem;
    }
    if (points > kStorePoints) {
        return "--plot draws at most " + std::to_string(kStorePoints) +
               " points, as many as the graph window holds; give --points " +
               std::to_string(kStorePoints) + " or fewer";
    }
    return std::nullopt;
}

std::vector<double> breakPointsOf(const SpectrumOptions& options, const std::string& separator,
                                  std::istream& in) {
    if (options.fromFile) {
        return readFile(*options.fromFile, separator, in);
    }
    return parseBreakPoints(options.fieldTexts, separator);
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

int runExact(const SpectrumOptions& options, const std::string& decimalSeparator, std::istream& in,
             std::ostream& out, std::ostream& err) {
    if (!options.plotFile && (options.grid || options.dpi != SpectrumOptions{}.dpi)) {
        err << "veltrane: --grid and --dpi go with --plot\n\n" << usage();
        return kExitUsage;
    }
    const auto points = static_cast<std::size_t>(options.points.value_or(kDefaultExactPoints));
    if (const auto problem = plotProblem(options, points)) {
        err << "veltrane: " << *problem << '\n';
        return kExitUsage;
    }
    std::vector<double> breakPoints;
    try {
        breakPoints = breakPointsOf(options, decimalSeparator, in);
    } catch (const BreakPointError& e) {
        err << "veltrane: " << e.what() << '\n';
        return kExitUsage;
    }
    try {
        const std::vector<double> exponents = branchExponents(breakPoints);
        const ExactSpectrum spectrum = ExactSolver(exponents).spectrum(points);
        if (options.plotFile) {
            // The picture first: when it cannot be written, nothing else is printed.
            Module1 store = exactStore(spectrum.points);
            if (const auto error =
                    writePlot(store, {*options.plotFile, options.grid, options.dpi})) {
                err << "veltrane: " << *error << '\n';
                return kExitUsage;
            }
        }
        if (options.json) {
            writeJson(breakPoints, exponents, exactPoints(spectrum.points), out);
        } else if (options.csv || !options.plotFile) {
            writeCsv(exactPoints(spectrum.points), out);
        }
    } catch (const RuntimeError& e) {
        err << "veltrane: " << e.what() << '\n';
        return kExitRunTime;
    } catch (const std::bad_alloc&) {
        err << "veltrane: not enough memory for " << points << " points of "
            << breakPoints.size() + 1 << " branches\n";
        return kExitRunTime;
    }
    return kExitOk;
}

int runExact(const SpectrumOptions& options, const std::string& decimalSeparator, std::ostream& out,
             std::ostream& err) {
    return runExact(options, decimalSeparator, std::cin, out, err);
}

} // namespace veltrane::cli
