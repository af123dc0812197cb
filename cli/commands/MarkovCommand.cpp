#include "MarkovCommand.h"

#include "CommandError.h"
#include "ExactCommand.h"
#include "OptionParser.h"
#include "SpectrumOutput.h"

#include <ostream>
#include <span>
#include <veltrane/errors.h>
#include <veltrane/markov.h>
#include <veltrane/process/Errors.h>
#include <veltrane/process/HeldOutput.h>
#include <veltrane/process/InputFiles.h>
#include <veltrane/process/Progress.h>
#include <veltrane/run.h>

namespace veltrane::cli {
using namespace veltrane::classic;
using namespace veltrane::process;

ParsedMarkov parseMarkovOptions(const std::vector<std::string>& words) {
    const ParsedOptions parsed = parseOptions(words, Command::Markov);
    if (!parsed.given) {
        return {std::nullopt, parsed.problem};
    }
    const GivenOptions& given = *parsed.given;
    if (given.values().size() != 1) {
        return {std::nullopt, given.values().empty()
                                  ? "the map's file is missing (FILE, or \"-\" for standard input)"
                                  : "markov reads one map, from one FILE"};
    }
    MarkovOptions o;
    o.file = given.values().front();
    o.points = given.number<int>(option::points);
    o.threads = given.number<int>(option::threads);
    o.json = given.has(option::json);
    o.csv = given.has(option::csv);
    o.plotFile = given.text(option::plot);
    o.grid = given.has(option::grid);
    o.dpi = given.number<int>(option::dpi).value_or(o.dpi);
    return {o, {}};
}

namespace {

// The pieces in file, read a piece at a time; what refuses them names the file.
std::vector<MarkovPiece> piecesOf(const std::string& file, const Services& services) {
    MarkovPieceReader reader(services.decimalSeparator);
    try {
        readPieces(file, services.input, "pieces",
                   [&](std::string_view piece) { reader.feed(piece); });
        return reader.finish();
    } catch (const FileError&) {
        throw;
    } catch (const InputError& e) {
        throw InputError(inputName(file) + ": " + e.what());
    }
}

std::vector<double> breakPointsOf(const std::vector<MarkovPiece>& pieces) {
    std::vector<double> breakPoints;
    for (std::size_t i = 0; i + 1 < pieces.size(); ++i) {
        breakPoints.push_back(pieces[i].right);
    }
    return breakPoints;
}

} // namespace

int runMarkov(const std::vector<std::string>& words, std::ostream& out, const Services& services) {
    const ParsedMarkov parsed = parseMarkovOptions(words);
    if (!parsed.options) {
        throw usageError(parsed.error);
    }
    const MarkovOptions& o = *parsed.options;
    const auto points = static_cast<std::size_t>(o.points.value_or(kDefaultExactPoints));
    const std::optional<PlotRequest> plot =
        plotRequest(o.plotFile, o.grid, o.dpi, PlotKind::ExactSpectrum, points);
    const std::vector<MarkovPiece> pieces = piecesOf(o.file, services);
    const MarkovSolver solver(pieces);
    const std::vector<double> breakPoints = breakPointsOf(pieces);
    const std::vector<double>& exponents = solver.exponents();
    const auto solve = [&](const PointSink<ExactPoint>& sink) {
        withProgress(services.progress, o.threads, points,
                     [&](const RunControl& control) { solver.spectrum(points, control, sink); });
    };
    if (plot) {
        // At most as many points as the store holds. The picture first: when it cannot be
        // written, nothing else is printed.
        std::vector<ExactPoint> spectrum;
        solve([&](std::size_t, std::span<const ExactPoint> some) {
            spectrum.insert(spectrum.end(), some.begin(), some.end());
        });
        Module1 store = exactStore(spectrum);
        drawPlot(store, *plot, services);
        if (o.json) {
            writeJson(breakPoints, exponents, exactPoints(spectrum), out);
            out << '\n';
        } else if (o.csv) {
            writeCsv(exactPoints(spectrum), out);
        }
        return kExitOk;
    }
    // Written as the points are solved, so that memory does not grow with their number; JSON
    // is held until it is whole, as a document cut short is no document.
    const auto write = [&](std::ostream& to) {
        solve([&](std::size_t first, std::span<const ExactPoint> some) {
            writeRows(exactPoints(some, first), o.json, to);
        });
    };
    if (o.json) {
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
