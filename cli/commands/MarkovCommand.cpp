#include "MarkovCommand.h"

#include "Json.h"
#include "MarkovInput.h"
#include "MeasureRun.h"
#include "OptionParser.h"
#include "SpectrumWriter.h"

#include <optional>
#include <veltrane/errors.h>
#include <veltrane/maps.h>
#include <veltrane/markov.h>
#include <veltrane/markov_measure.h>
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
    std::optional<std::string> weightsFile;
    std::optional<std::string> dq;        // FROM:TO:STEP, with weightsFile
    std::optional<std::string> exponents; // FROM:TO:STEP, with weightsFile
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
    o.weightsFile = given.text(option::weightsFrom);
    o.dq = given.text(option::dq);
    o.exponents = given.text(option::exponents);
    if (!o.weightsFile && (o.dq || o.exponents)) {
        return {std::nullopt, "--dq and --exponents are of a Markov measure: they go with "
                              "--weights-from FILE"};
    }
    if (o.weightsFile && *o.weightsFile == "-" && o.file == "-") {
        return {std::nullopt, "the map and --weights-from cannot both read standard input"};
    }
    return {o, {}};
}

std::vector<double> breakPointsOf(const std::vector<MarkovPiece>& pieces) {
    std::vector<double> breakPoints;
    for (std::size_t i = 0; i + 1 < pieces.size(); ++i) {
        breakPoints.push_back(pieces[i].right);
    }
    return breakPoints;
}

// JSON's opening for a Markov measure: {"breakPoints":[...],"weights":[[...],...], each row
// normalised to sum 1.
void writeMarkovMeasureHead(const std::vector<double>& breakPoints, const MarkovWeights& weights,
                            std::ostream& out) {
    out << "{\"breakPoints\":";
    writeJsonList(breakPoints, out);
    out << ",\"weights\":[";
    for (std::size_t i = 0; i < weights.size(); ++i) {
        out << (i == 0 ? "" : ",");
        writeJsonList(normalizedWeights(weights[i], weights[i].size()), out);
    }
    out << "],";
}

// markov FILE --weights-from WEIGHTS: the multifractal spectrum of the Markov measure, as
// multifractal prints a Bernoulli measure's.
void runMarkovMeasure(const MarkovOptions& o, std::ostream& out, const Services& services) {
    const auto points = static_cast<std::size_t>(o.points);
    MeasureRequest request{
        points,       std::nullopt,
        std::nullopt, o.json,
        o.csv,        plotRequest(o.plotFile, o.grid, o.dpi, PlotKind::Multifractal, points),
        o.threads};
    if (o.dq) {
        request.dq = orderRange(option::dq, *o.dq, services.decimalSeparator, "rows");
    } else if (o.exponents) {
        request.exponents =
            orderRange(option::exponents, *o.exponents, services.decimalSeparator, "rows");
    }
    const std::vector<MarkovPiece> pieces = piecesOf(o.file, services);
    const MarkovWeights weights = weightsOf(*o.weightsFile, pieces, services);
    const MarkovMeasureSolver solver(pieces, weights);
    const std::vector<double> breakPoints = breakPointsOf(pieces);
    writeMeasureRun(
        solver, request,
        [&](std::ostream& to) { writeMarkovMeasureHead(breakPoints, weights, to); }, services, out);
}

} // namespace

bool markovDrawsPicture(const std::vector<std::string>& words) {
    const Parsed<MarkovOptions> parsed = parse(words);
    return parsed.options && parsed.options->plotFile;
}

int runMarkov(const std::vector<std::string>& words, std::ostream& out, std::ostream& /*err*/,
              const Services& services) {
    const MarkovOptions o = parse(words).orRefuse();
    if (o.weightsFile) {
        runMarkovMeasure(o, out, services);
        return kExitOk;
    }
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
