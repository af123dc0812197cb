#include "AnalyticCommand.h"

#include "Json.h"
#include "OptionParser.h"
#include "SpectrumOutput.h"
#include "SpectrumWriter.h"

#include <cmath>
#include <cstdio>
#include <optional>
#include <ostream>
#include <sstream>
#include <veltrane/analytic.h>
#include <veltrane/errors.h>
#include <veltrane/internal/text.h>
#include <veltrane/process/Errors.h>
#include <veltrane/process/ExitStatus.h>
#include <veltrane/process/HeldOutput.h>
#include <veltrane/process/InputFiles.h>
#include <veltrane/process/Progress.h>
#include <veltrane/text.h>

namespace veltrane::cli {
using namespace veltrane::process;

namespace {

static_assert(option::digits.most == AnalyticSolver::kMostDigits);

// A branch file holds at most 64 formulas of 4096 characters; comments and blank lines around
// them are bounded too, so that no input is read without end.
constexpr std::size_t kLongestBranchFile = 1 << 20;
// A continued-fraction digit has at most 7 figures (1 to 1000000).
constexpr std::size_t kLongestDigit = 7;

struct AnalyticOptions {
    std::vector<std::string> branches;
    std::optional<std::string> file; // "-": standard input
    std::optional<std::string> digitList;
    std::optional<std::string> beta;
    bool dimension = false;
    std::optional<unsigned> digits;
    int points = 0;
    std::optional<int> threads;
    bool json = false;
    bool csv = false;
    std::optional<std::string> plotFile;
    bool grid = false;
    int dpi = 0;
};

Parsed<AnalyticOptions> parse(const std::vector<std::string>& words) {
    const ParsedOptions parsed = parseOptions(words, Command::Analytic);
    if (!parsed.given) {
        return {std::nullopt, parsed.problem};
    }
    const GivenOptions& given = *parsed.given;
    if (!given.values().empty()) {
        return {std::nullopt, "analytic takes the map from --branch, --from or "
                              "--continued-fraction, not from values"};
    }
    AnalyticOptions o;
    o.branches = given.list(option::branch);
    o.file = given.text(option::from);
    o.digitList = given.text(option::continuedFraction);
    if (o.branches.empty() && !o.file && !o.digitList) {
        return {std::nullopt, "the map is missing: --branch F for each branch, --from FILE or "
                              "--continued-fraction A,..."};
    }
    o.beta = given.text(option::beta);
    o.dimension = given.has(option::dimension);
    o.digits = given.number<unsigned>(option::digits);
    if (o.digits && !o.beta && !o.dimension) {
        return {std::nullopt, "--digits goes with --beta or --dimension"};
    }
    o.points = given.numberOrDefault<int>(option::points);
    o.threads = given.number<int>(option::threads);
    o.json = given.has(option::json);
    o.csv = given.has(option::csv);
    o.plotFile = given.text(option::plot);
    o.grid = given.has(option::grid);
    o.dpi = given.numberOrDefault<int>(option::dpi);
    return {o, {}};
}

std::vector<unsigned> digitsOf(const std::string& list) {
    std::vector<unsigned> digits;
    std::istringstream in(list);
    for (std::string digit; std::getline(in, digit, ',');) {
        if (digit.empty() || digit.size() > kLongestDigit ||
            digit.find_first_not_of("0123456789") != std::string::npos) {
            throw InputError("--continued-fraction takes whole numbers separated by commas, not " +
                             internal::elided(digit.empty() ? std::string("an empty digit")
                                                            : "\"" + digit + "\""));
        }
        digits.push_back(static_cast<unsigned>(std::stoul(digit)));
    }
    if (list.empty() || list.back() == ',') {
        throw InputError("--continued-fraction takes whole numbers separated by commas, not "
                         "an empty digit");
    }
    return digits;
}

// The map in file; what refuses it names the file.
AnalyticMap mapFromFile(const std::string& file, const Services& services) {
    std::string text;
    try {
        readPieces(file, services.input, "branches", [&](std::string_view piece) {
            if (text.size() + piece.size() > kLongestBranchFile) {
                throw InputError("more than " + std::to_string(kLongestBranchFile) + " bytes");
            }
            text += piece;
        });
        std::istringstream in(text);
        return AnalyticMap::read(in);
    } catch (const FileError&) {
        throw;
    } catch (const InputError& e) {
        throw InputError(inputName(file) + ": " + e.what());
    }
}

AnalyticMap mapOf(const AnalyticOptions& o, const Services& services) {
    if (o.file) {
        return mapFromFile(*o.file, services);
    }
    if (o.digitList) {
        return AnalyticMap::continuedFraction(digitsOf(*o.digitList));
    }
    return AnalyticMap::fromFormulas(o.branches);
}

// A text as a JSON string: the formulas hold no quote or backslash, but may hold a tab.
std::string jsonText(const std::string& text) {
    std::string quoted = "\"";
    for (const char c : text) {
        if (c == '"' || c == '\\') {
            quoted += '\\';
            quoted += c;
        } else if (static_cast<unsigned char>(c) < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(c));
            quoted += escaped;
        } else {
            quoted += c;
        }
    }
    return quoted + "\"";
}

// {"branches":["1/(1+x)",...], in the order given.
void writeBranchesHead(const AnalyticMap& map, std::ostream& out) {
    out << "{\"branches\":[";
    const std::vector<std::string> formulas = map.formulas();
    for (std::size_t i = 0; i < formulas.size(); ++i) {
        out << (i == 0 ? "" : ",") << jsonText(formulas[i]);
    }
    out << "],";
}

// The value β is read as, in double precision: as the user types numbers.
double betaOf(const std::string& text, const Services& services) {
    const std::optional<double> beta = decimalToDouble(text, services.decimalSeparator);
    if (!beta) {
        throw InputError("--beta takes a number, not " + internal::elided(text));
    }
    return *beta;
}

// One value: its name and, to D digits, its error and the run that gave it. Precise values are
// JSON strings, as JSON's numbers are doubles to most readers.
void writeValue(const AnalyticMap& map, const std::optional<std::string>& beta,
                const std::string& name, const std::string& value,
                const std::optional<PreciseValue>& precise, bool json, std::ostream& out) {
    if (json) {
        writeBranchesHead(map, out);
        if (beta) {
            out << "\"beta\":" << jsonText(*beta) << ',';
        }
        out << jsonText(name) << ':' << (precise ? jsonText(value) : value);
        if (precise) {
            out << ",\"error\":" << jsonText(precise->error) << ",\"digits\":" << precise->digits
                << ",\"nodes\":" << precise->nodes << ",\"bits\":" << precise->bits;
        }
        out << "}\n";
        return;
    }
    out << (beta ? "beta," : "") << name << (precise ? ",error,digits,nodes,bits" : "") << '\n';
    out << (beta ? *beta + "," : "") << value;
    if (precise) {
        out << ',' << precise->error << ',' << precise->digits << ',' << precise->nodes << ','
            << precise->bits;
    }
    out << '\n';
}

void runValue(const AnalyticOptions& o, const AnalyticMap& map, std::ostream& out,
              const Services& services) {
    const AnalyticSolver solver(map);
    std::optional<PreciseValue> precise;
    std::string value;
    if (o.beta) {
        const double beta = betaOf(*o.beta, services);
        if (o.digits) {
            std::string exact = *o.beta;
            if (const auto at = exact.find(services.decimalSeparator);
                services.decimalSeparator != "." && at != std::string::npos) {
                exact.replace(at, services.decimalSeparator.size(), ".");
            }
            precise = solver.pressure(exact, *o.digits);
        } else {
            const double pressure = solver.pressure(beta);
            if (!std::isfinite(pressure)) {
                throw RuntimeError(ErrorKind::Internal, "the pressure at " + shortest(beta) +
                                                            " is " + shortest(pressure));
            }
            value = jsonNumber(pressure);
        }
    } else if (o.digits) {
        precise = solver.dimension(*o.digits);
    } else {
        const double dimension = solver.dimension();
        if (!(dimension >= 0.0 && dimension <= 1.0)) {
            throw RuntimeError(ErrorKind::Internal,
                               "the dimension " + shortest(dimension) + " is outside [0, 1]");
        }
        value = jsonNumber(dimension);
    }
    if (precise) {
        value = precise->value;
    }
    writeValue(map, o.beta, o.beta ? "pressure" : "dimension", value, precise, o.json, out);
}

// How far the spectrum's ends fall short of the periodic orbits' extreme exponents, relative
// to the orbits' range.
double shortOfOrbits(const AnalyticSolver& solver) {
    const double low = solver.orbitLambdaMin();
    const double high = solver.orbitLambdaMax();
    const double range = high - low;
    return range > 0.0 ? ((solver.lambdaMin() - low) + (high - solver.lambdaMax())) / range : 0.0;
}

void runSpectrum(const AnalyticOptions& o, const AnalyticMap& map, std::ostream& out,
                 std::ostream& err, const Services& services) {
    const auto points = static_cast<std::size_t>(o.points);
    const std::optional<PlotRequest> plot =
        plotRequest(o.plotFile, o.grid, o.dpi, PlotKind::ExactSpectrum, points);
    const AnalyticSolver solver(map);
    ExactSpectrum spectrum;
    withProgress(services.progress, o.threads, points,
                 [&](const RunControl& control) { spectrum = solver.spectrum(points, control); });
    if (!solver.rangeAtOrbits() && shortOfOrbits(solver) > 1e-9) {
        // The numbers are right, but the range is visibly shorter than the orbits': said once,
        // on standard error, so that the output stays what it is for a script.
        err << "veltrane: note: the spectrum runs from " << shortest(solver.lambdaMin()) << " to "
            << shortest(solver.lambdaMax())
            << ", short of the periodic orbits' ends: the collocation resolves no larger |beta|\n";
    }
    if (plot) {
        classic::Module1 store = exactStore(spectrum.points);
        drawPlot(store, *plot, services);
        if (!o.json && !o.csv) {
            return;
        }
    }
    if (o.json) {
        writeWhole(out, [&](std::ostream& document) {
            writeBranchesHead(map, document);
            document << "\"points\":[";
            writeJsonPoints<double>(exactPoints(spectrum.points), document);
            writeJsonTail(document);
            document << '\n';
        });
        return;
    }
    writeCsv(exactPoints(spectrum.points), out);
}

} // namespace

bool analyticDrawsPicture(const std::vector<std::string>& words) {
    const Parsed<AnalyticOptions> parsed = parse(words);
    return parsed.options && parsed.options->plotFile;
}

int runAnalytic(const std::vector<std::string>& words, std::ostream& out, std::ostream& err,
                const Services& services) {
    const AnalyticOptions o = parse(words).orRefuse();
    const AnalyticMap map = mapOf(o, services);
    if (o.beta || o.dimension) {
        runValue(o, map, out, services);
    } else {
        runSpectrum(o, map, out, err, services);
    }
    return kExitOk;
}

} // namespace veltrane::cli
