#include "Cli.h"

#include "CompareCommand.h"
#include "ExactCommand.h"
#include "PlotExport.h"
#include "SpectrumOptions.h"
#include "SpectrumOutput.h"
#include "ThreeBranch.h"
#include "TwoBranch.h"
#include "Version.h"

#include <optional>
#include <ostream>

namespace veltrane::cli {

namespace {

// entr3's guard message has no window to go to here.
class StderrMessages : public MessageSink {
public:
    explicit StderrMessages(std::ostream& err) : m_err(err) {}
    void showMessage(const std::string& text) override { m_err << text << '\n'; }

private:
    std::ostream& m_err;
};

AnalysisOutcome analyse(const SpectrumOptions& options, const std::string& separator,
                        std::ostream& err, Module1& store) {
    const DecimalTextToSingle toSingle(separator);
    FieldTexts fields;
    if (options.fieldTexts.size() == 1) {
        fields.set(Field::C, options.fieldTexts[0]);
        return runTwoBranch(fields, toSingle, store);
    }
    fields.set(Field::C1, options.fieldTexts[0]);
    fields.set(Field::C2, options.fieldTexts[1]);
    StderrMessages messages(err);
    return runThreeBranch(fields, toSingle, messages, store);
}

int reportFailure(const AnalysisOutcome& outcome, std::ostream& err) {
    if (outcome.status == Status::Rejected) {
        err << outcome.message << '\n';
        return kExitUsage;
    }
    err << "veltrane: " << outcome.message << '\n';
    return outcome.error == ErrorKind::Conversion ? kExitUsage : kExitRunTime;
}

int runSpectrum(const std::vector<std::string>& words, std::ostream& out, std::ostream& err,
                const std::string& separator) {
    const ParsedSpectrum parsed = parseSpectrumOptions(words);
    if (!parsed.options) {
        err << "veltrane: " << parsed.error << "\n\n" << usage();
        return kExitUsage;
    }
    const SpectrumOptions& options = *parsed.options;
    if (options.exact) {
        return runExact(options, separator, out, err);
    }
    if (!options.plotFile && (options.grid || options.dpi != SpectrumOptions{}.dpi)) {
        err << "veltrane: --grid and --dpi go with --plot\n\n" << usage();
        return kExitUsage;
    }
    // A picture type that cannot be written is found before any work is done.
    if (const auto problem =
            options.plotFile ? unknownPictureType(*options.plotFile) : std::nullopt) {
        err << "veltrane: " << *problem << '\n';
        return kExitUsage;
    }
    Module1 store;
    const AnalysisOutcome outcome = analyse(options, separator, err, store);
    if (outcome.status != Status::Completed) {
        return reportFailure(outcome, err);
    }
    if (options.compare) {
        return printComparison(store, outcome, options.json, out, err);
    }
    if (options.plotFile) {
        // The picture first: when it cannot be written, nothing else is printed.
        if (const auto error = writePlot(store, {*options.plotFile, options.grid, options.dpi})) {
            err << "veltrane: " << *error << '\n';
            return kExitUsage;
        }
    }
    if (options.json) {
        writeJson(outcome.breakPoints, outcome.exponents, storedPoints(store), out);
    } else if (options.csv || !options.plotFile) {
        writeCsv(storedPoints(store), out);
    }
    return kExitOk;
}

} // namespace

std::string usage() {
    return "Usage:\n"
           "  veltrane                        start the program's windows\n"
           "  veltrane spectrum C [options]   spectral diagram of the two-branch map\n"
           "  veltrane spectrum C1 C2 [opts]  spectral diagram of the three-branch map\n"
           "  veltrane spectrum --exact B_1 ... B_k [opts]\n"
           "                                  exact spectral diagram, any number of branches\n"
           "  veltrane spectrum C1 C2 --compare\n"
           "                                  the analysis's points beside the exact ones\n"
           "  veltrane --help                 this text\n"
           "  veltrane --version              the version number\n"
           "\n"
           "The values are taken exactly as typed into the fields: \"-0.3\" is a value,\n"
           "not an option. Output is CSV (index,lyapunov,entropy,dimension).\n"
           "\n"
           "Exact spectrum: --exact takes the break points 0 < B_1 < ... < B_k < 1 of a map\n"
           "with k + 1 branches and prints N evenly spaced exponents from the smallest\n"
           "branch exponent to the largest (the first and last exactly those), computed in\n"
           "double precision and printed as the shortest text that reads back the same.\n"
           "Branches of equal length everywhere give one point. --from FILE reads the break\n"
           "points from FILE (\"-\": standard input), numbers separated by blanks or line\n"
           "ends. --plot draws the exact curves as the graph window would, for at most 101\n"
           "points.\n"
           "\n"
           "Comparison: C --compare or C1 C2 --compare prints each point the analysis\n"
           "stores beside the exact values at the same exponent, as CSV with the header\n"
           "index,lyapunov,entropy,dimension,exact_entropy,exact_dimension,\n"
           "entropy_difference,dimension_difference (differences are exact minus stored)\n"
           "and the last line \"# largest entropy difference: V at index J; largest\n"
           "dimension difference: V at index J\" (largest in magnitude, with its sign).\n"
           "\n"
           "Options:\n"
           "  --json          print a JSON object instead of CSV\n"
           "  --exact         the values are the break points of the exact spectrum\n"
           "  --points N      with --exact: number of points, 2 to 10000000 (default 101)\n"
           "  --from FILE     read the break points from FILE, \"-\" for standard input\n"
           "                  (implies --exact)\n"
           "  --compare       with C, or C1 and C2: the stored points beside the exact ones\n"
           "  --csv           print CSV even with --plot\n"
           "  --plot FILE     draw the graph window as the analysis leaves it into FILE,\n"
           "                  a .png, .svg or .pdf picture (no display needed); nothing\n"
           "                  is printed then unless --json or --csv is given\n"
           "  --grid          with --plot: grid lines across the plot instead of ticks\n"
           "  --dpi N         with --plot: resolution of a .png, 1 to 2400 (default 96,\n"
           "                  the window's own size); .svg and .pdf are vector pictures\n"
           "  --              every later word is a value\n"
           "\n"
           "Exit status: 0 done, 2 bad usage, rejected value or conversion error,\n"
           "3 any other run-time error. A picture that cannot be written (unknown\n"
           "extension, folder missing or not writable) exits with 2 and leaves no file.\n";
}

int run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
        const std::string& decimalSeparator) {
    if (args.empty() || args[0] == "--help" || args[0] == "-h") {
        out << usage();
        return kExitOk;
    }
    if (args[0] == "--version") {
        out << "veltrane " << kVersion << '\n';
        return kExitOk;
    }
    if (args[0] == "spectrum") {
        return runSpectrum({args.begin() + 1, args.end()}, out, err, decimalSeparator);
    }
    err << "veltrane: unknown command " << args[0] << "\n\n" << usage();
    return kExitUsage;
}

} // namespace veltrane::cli
