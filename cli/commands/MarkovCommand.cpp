#include "MarkovCommand.h"

#include "OptionParser.h"
#include "SpectrumWriter.h"

#include <optional>
#include <veltrane/errors.h>
#include <veltrane/markov.h>
#include <veltrane/process/Errors.h>
#include <veltrane/process/ExitStatus.h>
#include <veltrane/process/InputFiles.h>
#include <veltrane/process/Progress.h>
#include <veltrane/run.h>

namespace veltrane::cli {
using namespace veltrane::process;

namespace {

struct MarkovOptions {
    std::string file; // "-": standard input
    int points = 0;
    std::optional<int> threads;
    bool json = false;
    bool csv = false;
    std::optional<std::string> plotFile;
    bool grid = false;
    int dpi = 0;
};

Parsed<MarkovOptions> parse(const std::vector<std::string>& words) {
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
    o.points = given.numberOrDefault<int>(option::points);
    o.threads = given.number<int>(option::threads);
    o.json = given.has(option::json);
    o.csv = given.has(option::csv);
    o.plotFile = given.text(option::plot);
    o.grid = given.has(option::grid);
    o.dpi = given.numberOrDefault<int>(option::dpi);
    return {o, {}};
}

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

bool markovDrawsPicture(const std::vector<std::string>& words) {
    const Parsed<MarkovOptions> parsed = parse(words);
    return parsed.options && parsed.options->plotFile;
}

int runMarkov(const std::vector<std::string>& words, std::ostream& out, std::ostream& /*err*/,
              const Services& services) {
    const MarkovOptions o = parse(words).orRefuse();
    const auto points = static_cast<std::size_t>(o.points);
    const SpectrumRequest request{
        points, o.json, o.csv,
        plotRequest(o.plotFile, o.grid, o.dpi, PlotKind::ExactSpectrum, points)};
    const std::vector<MarkovPiece> pieces = piecesOf(o.file, services);
    const MarkovSolver solver(pieces);
    writeExactSpectrum(
        breakPointsOf(pieces), solver.exponents(), request,
        [&](const PointSink<ExactPoint>& sink) {
            withProgress(services.progress, o.threads, points, [&](const RunControl& control) {
                solver.spectrum(points, control, sink);
            });
        },
        out, services);
    return kExitOk;
}

} // namespace veltrane::cli
