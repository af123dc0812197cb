#include "CascadeCommand.h"

#include "CascadeOutput.h"
#include "MeasureInput.h"
#include "OptionParser.h"

#include <cmath>
#include <optional>
#include <span>
#include <veltrane/cascade.h>
#include <veltrane/errors.h>
#include <veltrane/internal/npy.h>
#include <veltrane/internal/run.h>
#include <veltrane/internal/text.h>
#include <veltrane/maps.h>
#include <veltrane/process/AtomicFile.h>
#include <veltrane/process/ExitStatus.h>
#include <veltrane/process/Progress.h>
#include <veltrane/run.h>

namespace veltrane::cli {
using namespace veltrane::classic;
using namespace veltrane::process;

namespace {

struct CascadeOptions {
    MeasureWords measure;
    std::optional<std::uint64_t> bins;
    std::optional<unsigned> levels;
    std::optional<std::string> outputFile;
    std::optional<int> threads;
};

CascadeOptions cascadeOptions(const GivenOptions& given) {
    return {measureWords(given), given.number<std::uint64_t>(option::bins),
            given.number<unsigned>(option::levels), given.text(option::output),
            given.number<int>(option::threads)};
}

Parsed<CascadeOptions> parse(const std::vector<std::string>& words) {
    const ParsedOptions parsed = parseOptions(words, Command::Cascade);
    if (!parsed.given) {
        return {std::nullopt, parsed.problem};
    }
    CascadeOptions o = cascadeOptions(*parsed.given);
    if (auto problem = measureProblem(o.measure)) {
        return {std::nullopt, *problem};
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

void writeBins(const Cascade& cascade, std::uint64_t bins, CascadeWriter& writer,
               const RunControl& control) {
    internal::forEachWindow<double>(
        static_cast<std::size_t>(bins), kBlock, control,
        [&](std::size_t first, std::span<double> masses) {
            cascade.binMasses(bins, first, masses, control);
            if (control.done != nullptr) {
                *control.done += masses.size();
            }
        },
        [&](std::size_t first, std::span<const double> masses) {
            writer.writeBins(first, masses, bins);
        });
}

void writeLevels(const Cascade& cascade, unsigned levels, std::uint64_t cells,
                 CascadeWriter& writer, const RunControl& control) {
    internal::forEachWindow<Cascade::Cell>(
        static_cast<std::size_t>(cells), kBlock, control,
        [&](std::size_t first, std::span<Cascade::Cell> some) {
            cascade.levelCells(levels, first, some);
            if (control.done != nullptr) {
                *control.done += some.size();
            }
        },
        [&](std::size_t first, std::span<const Cascade::Cell> some) {
            writer.writeCells(first, some);
        });
}

} // namespace

int runCascade(const std::vector<std::string>& words, std::ostream& out, std::ostream& /*err*/,
               const Services& services) {
    const CascadeOptions o = parse(words).orRefuse();
    const DataFormat format = dataFormat(o.outputFile);
    const Measure measure = readMeasure(o.measure, services);
    const Cascade cascade(measure.breakPoints, measure.weights);
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
                         writeLevels(cascade, *o.levels, values, writer, control);
                     } else {
                         writeBins(cascade, values, writer, control);
                     }
                 });
    writer.commit();
    return kExitOk;
}

} // namespace veltrane::cli
