#include "CascadeCommand.h"

#include "CascadeOutput.h"
#include "MarkovInput.h"
#include "MeasureInput.h"
#include "OptionParser.h"
#include "RandomInput.h"

#include <cmath>
#include <functional>
#include <optional>
#include <span>
#include <veltrane/cascade.h>
#include <veltrane/errors.h>
#include <veltrane/internal/npy.h>
#include <veltrane/internal/run.h>
#include <veltrane/internal/text.h>
#include <veltrane/maps.h>
#include <veltrane/markov_measure.h>
#include <veltrane/process/AtomicFile.h>
#include <veltrane/process/ExitStatus.h>
#include <veltrane/process/Progress.h>
#include <veltrane/random.h>
#include <veltrane/run.h>
#include <veltrane/text.h>

namespace veltrane::cli {
using namespace veltrane::classic;
using namespace veltrane::process;

namespace {

struct CascadeOptions {
    MeasureWords measure;
    RandomWords random;
    std::optional<std::uint64_t> seed;
    std::optional<std::uint64_t> realization;
    std::optional<std::uint64_t> bins;
    std::optional<unsigned> levels;
    std::optional<std::string> outputFile;
    std::optional<int> threads;
    std::vector<std::string> pointTexts; // of --cdf
    std::optional<std::string> pointsFile;
    bool cdf = false;                      // --cdf or --cdf-from
    std::optional<std::string> markovFile; // the map of a Markov measure
};

CascadeOptions cascadeOptions(const GivenOptions& given) {
    return {measureWords(given),
            randomWords(given),
            given.number<std::uint64_t>(option::seed),
            given.number<std::uint64_t>(option::realization),
            given.number<std::uint64_t>(option::bins),
            given.number<unsigned>(option::levels),
            given.text(option::output),
            given.number<int>(option::threads),
            given.list(option::cdf),
            given.text(option::cdfFrom),
            given.has(option::cdf) || given.has(option::cdfFrom),
            given.text(option::markov)};
}

// A realization takes --seed and --bins; its measure is the law's, not break points and
// weights.
Parsed<CascadeOptions> randomProblem(const CascadeOptions& o) {
    if (o.measure.fromFile || !o.measure.breakPointTexts.empty() || o.measure.weightsGiven ||
        o.measure.weightsFile || o.markovFile) {
        return {std::nullopt, "--random and --random-from give the law: no break points or "
                              "weights go with them"};
    }
    if (!o.seed) {
        return {std::nullopt, "a realization needs its seed: --seed S"};
    }
    if (!o.bins || o.levels || o.cdf) {
        return {std::nullopt, "a realization takes --bins N (b^M bins for the cells of level "
                              "M), not --levels or --cdf"};
    }
    return {o, {}};
}

// A Markov measure takes its map from --markov and its weights from --weights-from, and gives
// its bins or the cells of a level.
Parsed<CascadeOptions> markovProblem(const CascadeOptions& o) {
    if (o.measure.fromFile || !o.measure.breakPointTexts.empty() || o.measure.weightsGiven) {
        return {std::nullopt, "--markov gives the map: no break points, --from or --weights go "
                              "with it"};
    }
    if (!o.measure.weightsFile) {
        return {std::nullopt, "--markov needs its measure's weights: --weights-from FILE"};
    }
    if (*o.markovFile == "-" && *o.measure.weightsFile == "-") {
        return {std::nullopt, "the map and --weights-from cannot both read standard input"};
    }
    if (o.bins.has_value() == o.levels.has_value() || o.cdf || o.seed || o.realization) {
        return {std::nullopt, "--markov takes --bins N or --levels M, one of the two, not --cdf "
                              "or --seed"};
    }
    return {o, {}};
}

Parsed<CascadeOptions> parse(const std::vector<std::string>& words) {
    const ParsedOptions parsed = parseOptions(words, Command::Cascade);
    if (!parsed.given) {
        return {std::nullopt, parsed.problem};
    }
    CascadeOptions o = cascadeOptions(*parsed.given);
    if (o.random.given()) {
        return randomProblem(o);
    }
    if (o.markovFile) {
        return markovProblem(o);
    }
    if (o.seed || o.realization) {
        return {std::nullopt, "--seed and --realization go with --random or --random-from"};
    }
    if (auto problem = measureProblem(o.measure)) {
        return {std::nullopt, *problem};
    }
    if (o.cdf) {
        if (o.bins || o.levels || o.outputFile) {
            return {std::nullopt, "--cdf prints a table of points and does not go with --bins, "
                                  "--levels or --output"};
        }
        if (o.pointsFile.has_value() == !o.pointTexts.empty() ||
            (o.pointsFile && o.pointsFile == o.measure.fromFile) ||
            (o.pointsFile && o.pointsFile == o.measure.weightsFile)) {
            return {std::nullopt, "give the points with --cdf x_1 ... x_m or with --cdf-from "
                                  "FILE, one of the two, from a file of their own"};
        }
        return {o, {}};
    }
    if (o.bins.has_value() == o.levels.has_value()) {
        return {std::nullopt, "cascade takes --bins N or --levels M, one of the two"};
    }
    return {o, {}};
}

// Values a block holds: what one thread computes at a time. The threads share a window of
// blocks (forEachWindow), written as soon as it is whole, so that memory does not grow with
// the number of values.
constexpr std::size_t kBlock = std::size_t{1} << 14;

// The masses of the bins, fill(first, masses) computing those from first on, a window at a
// time.
template <typename Fill>
void writeMasses(std::uint64_t bins, CascadeWriter& writer, const RunControl& control,
                 const Fill& fill) {
    internal::forEachWindow<double>(
        static_cast<std::size_t>(bins), kBlock, control,
        [&](std::size_t first, std::span<double> masses) {
            fill(first, masses);
            if (control.done != nullptr) {
                *control.done += masses.size();
            }
        },
        [&](std::size_t first, std::span<const double> masses) {
            writer.writeBins(first, masses, bins);
        });
}

// The bins of realization R of seed S of the law, written as the deterministic cascade's.
int runRealization(const CascadeOptions& o, std::ostream& out, const Services& services) {
    const RandomCascade cascade(*randomModelOf(o.random, services), *o.seed,
                                o.realization.value_or(0));
    CascadeWriter writer(o.outputFile, dataFormat(o.outputFile), out);
    writer.begin(*o.bins, false);
    withProgress(services.progress, o.threads, static_cast<std::size_t>(*o.bins),
                 [&](const RunControl& control) {
                     writeMasses(*o.bins, writer, control,
                                 [&](std::size_t first, std::span<double> masses) {
                                     cascade.binMasses(*o.bins, first, masses, 0,
                                                       RunControl{1, nullptr, control.cancel});
                                 });
                 });
    writer.commit();
    return kExitOk;
}

// Each bin of a Markov measure is a mass: a finite number in [0, 1], or the run stops with an
// internal error before it is written.
void checkMasses(std::size_t first, std::span<const double> masses) {
    for (std::size_t i = 0; i < masses.size(); ++i) {
        if (!(masses[i] >= 0.0 && masses[i] <= 1.0)) {
            throw RuntimeError(ErrorKind::Internal, "bin " + std::to_string(first + i) +
                                                        " has the mass " + shortest(masses[i]) +
                                                        ", outside [0, 1]");
        }
    }
}

// The cells of a level, computed a block at a time by cellsOf over the threads and written in
// order.
void writeLevels(std::uint64_t cells, CascadeWriter& writer, const RunControl& control,
                 const std::function<void(std::uint64_t, std::span<Cascade::Cell>)>& cellsOf) {
    internal::forEachWindow<Cascade::Cell>(
        static_cast<std::size_t>(cells), kBlock, control,
        [&](std::size_t first, std::span<Cascade::Cell> some) {
            cellsOf(first, some);
            if (control.done != nullptr) {
                *control.done += some.size();
            }
        },
        [&](std::size_t first, std::span<const Cascade::Cell> some) {
            writer.writeCells(first, some);
        });
}

// A cell of a Markov measure lies in [0, 1] and its mass, a product of probabilities, in
// [0, 1]; one outside stops the run with an internal error rather than be written.
void checkCells(std::uint64_t first, std::span<const Cascade::Cell> cells) {
    for (std::size_t i = 0; i < cells.size(); ++i) {
        const Cascade::Cell& c = cells[i];
        if (!(c.left >= 0.0 && c.left <= 1.0 && c.width >= 0.0 && c.width <= 1.0 && c.mass >= 0.0 &&
              c.mass <= 1.0)) {
            throw RuntimeError(ErrorKind::Internal, "cell " + std::to_string(first + i) + " at " +
                                                        shortest(c.left) + " of width " +
                                                        shortest(c.width) + " has the mass " +
                                                        shortest(c.mass) + ", outside [0, 1]");
        }
    }
}

// The cells of level levels of a Markov measure.
int runMarkovCells(const MarkovCascade& measure, unsigned levels, CascadeWriter& writer,
                   const Services& services, std::optional<int> threads) {
    const std::uint64_t cells = measure.cellCount(levels);
    if (cells > option::bins.most) {
        throw UsageError("level " + std::to_string(levels) + " of the map has more than " +
                         mostText(option::bins) + " cells");
    }
    writer.begin(cells, true);
    withProgress(services.progress, threads, static_cast<std::size_t>(cells),
                 [&](const RunControl& control) {
                     writeLevels(cells, writer, control,
                                 [&](std::uint64_t first, std::span<Cascade::Cell> some) {
                                     measure.levelCells(levels, first, some);
                                     checkCells(first, some);
                                 });
                 });
    writer.commit();
    return kExitOk;
}

// The bins, or the cells of a level, of the Markov measure of --markov and --weights-from.
int runMarkovBins(const CascadeOptions& o, std::ostream& out, const Services& services) {
    const std::vector<MarkovPiece> pieces = piecesOf(*o.markovFile, services);
    const MarkovCascade measure(pieces, weightsOf(*o.measure.weightsFile, pieces, services));
    CascadeWriter writer(o.outputFile, dataFormat(o.outputFile), out);
    if (o.levels) {
        return runMarkovCells(measure, *o.levels, writer, services, o.threads);
    }
    writer.begin(*o.bins, false);
    withProgress(
        services.progress, o.threads, static_cast<std::size_t>(*o.bins),
        [&](const RunControl& control) {
            writeMasses(*o.bins, writer, control, [&](std::size_t first, std::span<double> masses) {
                measure.binMasses(*o.bins, first, masses, RunControl{1, nullptr, control.cancel});
                checkMasses(first, masses);
            });
        });
    writer.commit();
    return kExitOk;
}

// Each printed row must be within these bounds: F and 1 - F in [0, 1], adding up to 1 within
// 1e-12 (each is within about 2e-13 of itself), or the run stops with an internal error.
void checkPoint(double x, double f, double s) {
    if (!(f >= 0.0 && f <= 1.0 && s >= 0.0 && s <= 1.0 && std::fabs(f + s - 1.0) <= 1e-12)) {
        throw RuntimeError(ErrorKind::Internal, "at x = " + shortest(x) + " F = " + shortest(f) +
                                                    " and 1 - F = " + shortest(s) +
                                                    " break 0 <= F, 1 - F <= 1, F + (1 - F) = 1");
    }
}

// x,cdf,survival for each point, computed over the threads, checked, then printed.
void writeDistribution(const Cascade& cascade, const std::vector<double>& x,
                       std::optional<int> threads, bool progress, std::ostream& out) {
    std::vector<double> f(x.size());
    std::vector<double> s(x.size());
    withProgress(progress, threads, 2 * x.size(), [&](const RunControl& control) {
        cascade.cdf(x, f, control);
        cascade.survival(x, s, control);
    });
    std::string text = "x,cdf,survival\n";
    for (std::size_t i = 0; i < x.size(); ++i) {
        checkPoint(x[i], f[i], s[i]);
        text += shortest(x[i]) + ',' + shortest(f[i]) + ',' + shortest(s[i]) + '\n';
    }
    out << text;
}

} // namespace

int runCascade(const std::vector<std::string>& words, std::ostream& out, std::ostream& /*err*/,
               const Services& services) {
    const CascadeOptions o = parse(words).orRefuse();
    if (o.random.given()) {
        return runRealization(o, out, services);
    }
    if (o.markovFile) {
        return runMarkovBins(o, out, services);
    }
    const DataFormat format = dataFormat(o.outputFile);
    const Measure measure = readMeasure(o.measure, services);
    const Cascade cascade(measure.breakPoints, measure.weights);
    if (o.cdf) {
        writeDistribution(cascade, readPoints(o.pointTexts, o.pointsFile, services), o.threads,
                          services.progress, out);
        return kExitOk;
    }
    std::uint64_t values = o.bins.value_or(0);
    if (o.levels) {
        const std::uint64_t cells = cascade.cellCount(*o.levels);
        if (cells > option::bins.most) {
            throw UsageError(std::to_string(cascade.branches()) + "^" + std::to_string(*o.levels) +
                             " cells are more than " + mostText(option::bins));
        }
        values = static_cast<std::uint64_t>(cells);
    }
    CascadeWriter writer(o.outputFile, format, out);
    writer.begin(values, o.levels.has_value());
    withProgress(services.progress, o.threads, static_cast<std::size_t>(values),
                 [&](const RunControl& control) {
                     if (o.levels) {
                         writeLevels(values, writer, control,
                                     [&](std::uint64_t first, std::span<Cascade::Cell> some) {
                                         cascade.levelCells(*o.levels, first, some);
                                     });
                     } else {
                         writeMasses(values, writer, control,
                                     [&](std::size_t first, std::span<double> masses) {
                                         cascade.binMasses(values, first, masses, control);
                                     });
                     }
                 });
    writer.commit();
    return kExitOk;
}

} // namespace veltrane::cli
