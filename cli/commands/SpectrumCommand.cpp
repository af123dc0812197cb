#include "SpectrumCommand.h"

#include "ClassicRun.h"
#include "OptionParser.h"
#include "SpectrumBatch.h"
#include "SpectrumComparison.h"
#include "SpectrumOutput.h"
#include "SpectrumWriter.h"

#include <optional>
#include <ostream>
#include <veltrane/classic/Outcome.h>
#include <veltrane/errors.h>
#include <veltrane/exact.h>
#include <veltrane/maps.h>
#include <veltrane/process/ExitStatus.h>
#include <veltrane/process/InputFiles.h>
#include <veltrane/process/Progress.h>
#include <veltrane/run.h>

namespace veltrane::cli {
using namespace veltrane::classic;
using namespace veltrane::process;

namespace {

struct SpectrumOptions {
    std::vector<std::string> fieldTexts;
    bool json = false;
    bool csv = false;                     // --csv: CSV even when --plot is given
    std::optional<std::string> plotFile;  // --plot FILE
    bool grid = false;                    // --grid
    int dpi = 0;                          // --dpi N
    bool exact = false;                   // --exact: the values are break points B_1 ... B_k
    std::optional<int> points;            // --points N, with --exact
    std::optional<std::string> fromFile;  // --from FILE ("-": standard input), implies --exact
    bool compare = false;                 // --compare: stored points beside the exact ones
    std::optional<std::string> batchFile; // --batch FILE ("-": standard input): a map a line
    std::optional<int> threads;           // --threads N, with --exact
};

std::optional<std::string> combinationProblem(const SpectrumOptions& options) {
    if (options.batchFile) {
        const bool alone = options.fieldTexts.empty() && !options.exact && !options.compare &&
                           !options.plotFile && !options.csv && !options.points &&
                           !options.threads && !options.grid &&
                           options.dpi == static_cast<int>(option::dpi.byDefault);
        return alone ? std::nullopt
                     : std::optional<std::string>("--batch reads the maps from its file and goes "
                                                  "with --json only");
    }
    if (options.threads && !options.exact) {
        return "--threads goes with --exact";
    }
    if (options.exact) {
        if (options.fromFile && !options.fieldTexts.empty()) {
            return "give the break points either as values or with --from, not both";
        }
        if (!options.fromFile && options.fieldTexts.empty()) {
            return "--exact takes the break points B_1 ... B_k";
        }
        return std::nullopt;
    }
    if (options.points) {
        return "--points goes with --exact";
    }
    if (options.fieldTexts.empty() || options.fieldTexts.size() > 2) {
        return "spectrum takes C, or C1 and C2";
    }
    return std::nullopt;
}

Parsed<SpectrumOptions> parse(const std::vector<std::string>& words) {
    const ParsedOptions parsed = parseOptions(words, Command::Spectrum);
    if (!parsed.given) {
        return {std::nullopt, parsed.problem};
    }
    const GivenOptions& given = *parsed.given;
    SpectrumOptions options;
    options.fieldTexts = given.values();
    options.json = given.has(option::json);
    options.csv = given.has(option::csv);
    options.plotFile = given.text(option::plot);
    options.grid = given.has(option::grid);
    options.dpi = given.numberOrDefault<int>(option::dpi);
    options.fromFile = given.text(option::from);
    options.exact = given.has(option::exact) || options.fromFile.has_value();
    options.points = given.number<int>(option::points);
    options.compare = given.has(option::compare);
    options.batchFile = given.text(option::batch);
    options.threads = given.number<int>(option::threads);
    if (const auto problem = combinationProblem(options)) {
        return {std::nullopt, *problem};
    }
    return {options, {}};
}

// The windows' analysis of the field texts: its points, drawn or printed, or beside the exact
// values.
int runClassic(const SpectrumOptions& options, std::ostream& out, std::ostream& err,
               const Services& services) {
    // An analysis stores at most as many points as a picture holds.
    const std::optional<PlotRequest> plot =
        plotRequest(options.plotFile, options.grid, options.dpi, PlotKind::Spectrum, kStorePoints);
    Module1 store;
    const AnalysisOutcome outcome =
        analyseTexts(options.fieldTexts, services.decimalSeparator, err, store);
    throwUnlessCompleted(outcome);
    if (options.compare) {
        printComparison(store, outcome, options.json, out);
        return kExitOk;
    }
    if (plot) {
        // The picture first: when it cannot be written, nothing else is printed.
        drawPlot(store, *plot, services);
    }
    if (options.json) {
        writeJson(outcome.breakPoints, outcome.exponents, storedPoints(store), out);
        out << '\n';
    } else if (options.csv || !plot) {
        writeCsv(storedPoints(store), out);
    }
    return kExitOk;
}

// The break points of --exact: the values, or the numbers in the file of --from, read with the
// user's decimal separator beside ".".
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

// The exact spectrum, its points shared out over the threads; with services.progress a long
// run shows its progress.
int runExact(const SpectrumOptions& options, std::ostream& out, const Services& services) {
    const auto points = static_cast<std::size_t>(options.points.value_or(option::points.byDefault));
    const SpectrumRequest request{
        points, options.json, options.csv,
        plotRequest(options.plotFile, options.grid, options.dpi, PlotKind::ExactSpectrum, points)};
    const std::vector<double> breakPoints = breakPointsOf(options, services);
    const std::vector<double> exponents = branchExponents(breakPoints);
    writeExactSpectrum(
        breakPoints, exponents, request,
        [&](const PointSink<ExactPoint>& sink) {
            withProgress(services.progress, options.threads, points,
                         [&](const RunControl& control) {
                             ExactSolver(exponents).spectrum(points, control, sink);
                         });
        },
        out, services);
    return kExitOk;
}

} // namespace

bool spectrumDrawsPicture(const std::vector<std::string>& words) {
    const Parsed<SpectrumOptions> parsed = parse(words);
    return parsed.options && parsed.options->plotFile && !parsed.options->batchFile;
}

int runSpectrum(const std::vector<std::string>& words, std::ostream& out, std::ostream& err,
                const Services& services) {
    const SpectrumOptions options = parse(words).orRefuse();
    if (options.batchFile) {
        return runBatch(*options.batchFile, options.json, out, err, services);
    }
    if (options.exact) {
        return runExact(options, out, services);
    }
    return runClassic(options, out, err, services);
}

} // namespace veltrane::cli
