#include "Cli.h"

#include "SpectrumOptions.h"
#include "SpectrumOutput.h"
#include "ThreeBranch.h"
#include "TwoBranch.h"

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
    Module1 store;
    const AnalysisOutcome outcome = analyse(options, separator, err, store);
    if (outcome.status != Status::Completed) {
        return reportFailure(outcome, err);
    }
    if (options.json) {
        writeJson(store, outcome, out);
    } else {
        writeCsv(store, out);
    }
    return kExitOk;
}

} // namespace

std::string usage() {
    return "Usage:\n"
           "  veltrane                        start the program's windows\n"
           "  veltrane spectrum C [options]   spectral diagram of the two-branch map\n"
           "  veltrane spectrum C1 C2 [opts]  spectral diagram of the three-branch map\n"
           "  veltrane --help                 this text\n"
           "\n"
           "The values are taken exactly as typed into the fields: \"-0.3\" is a value,\n"
           "not an option. Output is CSV (index,lyapunov,entropy,dimension).\n"
           "\n"
           "Options:\n"
           "  --json          print a JSON object instead of CSV\n"
           "  --              every later word is a value\n"
           "\n"
           "Exit status: 0 done, 2 bad usage, rejected value or conversion error,\n"
           "3 any other run-time error.\n";
}

int run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
        const std::string& decimalSeparator) {
    if (args.empty() || args[0] == "--help" || args[0] == "-h") {
        out << usage();
        return kExitOk;
    }
    if (args[0] == "spectrum") {
        return runSpectrum({args.begin() + 1, args.end()}, out, err, decimalSeparator);
    }
    err << "veltrane: unknown command " << args[0] << "\n\n" << usage();
    return kExitUsage;
}

} // namespace veltrane::cli
