#include "MultifractalCommand.h"

#include "MeasureInput.h"
#include "MeasureRun.h"
#include "MultifractalOutput.h"
#include "OptionParser.h"
#include "OrderRange.h"
#include "RandomInput.h"

#include <cmath>
#include <ostream>
#include <span>
#include <veltrane/classic/Module1.h>
#include <veltrane/errors.h>
#include <veltrane/multifractal.h>
#include <veltrane/process/ExitStatus.h>
#include <veltrane/process/HeldOutput.h>
#include <veltrane/process/Progress.h>
#include <veltrane/random.h>
#include <veltrane/run.h>
#include <veltrane/text.h>

namespace veltrane::cli {
using namespace veltrane::classic;
using namespace veltrane::process;

namespace {

// The words of "veltrane multifractal ...": the measure, and what to print or draw.
struct MultifractalOptions {
    MeasureWords measure;
    RandomWords random; // in place of the measure: a random cascade law's expected exponents
    int points = 0;
    std::optional<int> threads;
    std::optional<std::string> dq;        // FROM:TO:STEP
    std::optional<std::string> exponents; // FROM:TO:STEP
    bool json = false;
    bool csv = false;
    std::optional<std::string> plotFile;
    bool grid = false;
    int dpi = 0;
};

Parsed<MultifractalOptions> parse(const std::vector<std::string>& words) {
    const ParsedOptions parsed = parseOptions(words, Command::Multifractal);
    if (!parsed.given) {
        return {std::nullopt, parsed.problem};
    }
    const GivenOptions& given = *parsed.given;
    MultifractalOptions o;
    o.measure = measureWords(given);
    o.points = given.numberOrDefault<int>(option::points);
    o.threads = given.number<int>(option::threads);
    o.dq = given.text(option::dq);
    o.exponents = given.text(option::exponents);
    o.json = given.has(option::json);
    o.csv = given.has(option::csv);
    o.plotFile = given.text(option::plot);
    o.grid = given.has(option::grid);
    o.dpi = given.numberOrDefault<int>(option::dpi);
    o.random = randomWords(given);
    if (o.random.given()) {
        if (!o.measure.breakPointTexts.empty()) {
            return {std::nullopt, "--random and --random-from give a law, not break points"};
        }
        if (!o.exponents) {
            return {std::nullopt, "--random and --random-from print --exponents FROM:TO:STEP"};
        }
    } else if (auto problem = measureProblem(o.measure)) {
        return {std::nullopt, *problem};
    }
    return {o, {}};
}

// The expected exponents of a random cascade law at the orders of range, a window at a time,
// each window checked (RandomSpectrum::exponentsMany) before it is written.
void writeRandomExponents(const RandomModel& model, const OrderRange& range, bool json,
                          const RunControl& control, std::ostream& out) {
    const RandomSpectrum spectrum(model);
    if (range.count > 0) {
        spectrum.exponents(range.at(0)); // refuses an order below qMin before anything is printed
    }
    writeRandomHead(
        {model.describe(), spectrum.qStarMinus(), spectrum.qStarPlus(), spectrum.qCrit()}, json,
        out);
    writeExponentsHead(json, out);
    std::vector<double> qs;
    for (std::size_t first = 0; first < range.count; first += kExponentsWindow) {
        const std::size_t n = std::min(kExponentsWindow, range.count - first);
        qs.resize(n);
        for (std::size_t k = 0; k < n; ++k) {
            qs[k] = range.at(first + k);
        }
        checkCancelled(control);
        const std::vector<Exponents> rows = spectrum.exponentsMany(qs);
        if (control.done != nullptr) {
            *control.done += n;
        }
        writeExponentsRows(first, rows, json, out);
    }
    writeDqTail(json, out);
}

} // namespace

classic::Module1 multifractalStore(const std::vector<MultifractalPoint>& points) {
    classic::Module1 store;
    for (std::size_t i = 0; i < points.size(); ++i) {
        store.graph_x(1, static_cast<int>(i)) = static_cast<float>(points[i].alpha);
        store.graph_y(1, static_cast<int>(i)) = static_cast<float>(points[i].f);
    }
    store.graph_n(1) = static_cast<std::int16_t>(points.size() - 1);
    store.graph_count = 1;
    return store;
}

bool multifractalDrawsPicture(const std::vector<std::string>& words) {
    const Parsed<MultifractalOptions> parsed = parse(words);
    return parsed.options && parsed.options->plotFile;
}

int runMultifractal(const std::vector<std::string>& words, std::ostream& out, std::ostream& /*err*/,
                    const Services& services) {
    const MultifractalOptions o = parse(words).orRefuse();
    const auto points = static_cast<std::size_t>(o.points);
    const std::optional<PlotRequest> plot =
        plotRequest(o.plotFile, o.grid, o.dpi, PlotKind::Multifractal, points);
    const std::optional<std::string>& rowsText = o.dq ? o.dq : o.exponents;
    const OrderRange dq = rowsText ? orderRange(o.dq ? option::dq : option::exponents, *rowsText,
                                                services.decimalSeparator, "rows")
                                   : OrderRange{};
    if (o.random.given()) {
        const RandomModel model = *randomModelOf(o.random, services);
        withProgress(services.progress, o.threads, dq.count, [&](const RunControl& control) {
            const auto write = [&](std::ostream& to) {
                writeRandomExponents(model, dq, o.json, control, to);
            };
            if (o.json) {
                writeWhole(out, write);
            } else {
                write(out);
            }
        });
        return kExitOk;
    }
    const Measure measure = readMeasure(o.measure, services);
    const MultifractalSolver solver(measure.breakPoints, measure.weights);
    MeasureRequest request{points, std::nullopt, std::nullopt, o.json, o.csv, plot, o.threads};
    (o.dq ? request.dq : request.exponents) = rowsText ? std::optional(dq) : std::nullopt;
    writeMeasureRun(
        solver, request,
        [&](std::ostream& to) { writeMeasureHead(measure.breakPoints, measure.weights, to); },
        services, out);
    return kExitOk;
}

} // namespace veltrane::cli
