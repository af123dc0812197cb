#include "BatchCommand.h"
#include "CascadeCommand.h"
#include "ClassicRun.h"
#include "Commands.h"
#include "CompareCommand.h"
#include "ExactCommand.h"
#include "MarkovCommand.h"
#include "MultifractalCommand.h"
#include "OptionParser.h"
#include "OptionTable.h"
#include "SpectrumOptions.h"
#include "SpectrumOutput.h"
#include "Version.h"

#include <cctype>
#include <iostream>
#include <new>
#include <ostream>
#include <unistd.h>
#include <veltrane/classic/TextToSingle.h>
#include <veltrane/internal/text.h>
#include <veltrane/process/Errors.h>
#include <veltrane/process/Output.h>
#include <veltrane/text.h>

namespace veltrane::cli {
using namespace veltrane::classic;
using namespace veltrane::process;

namespace {

int runClassic(const SpectrumOptions& options, std::ostream& out, std::ostream& err,
               const Services& services) {
    // An analysis stores at most as many points as a picture holds.
    const std::optional<PlotRequest> plot =
        plotRequest(options.plotFile, options.grid, options.dpi, PlotKind::Spectrum, kStorePoints);
    Module1 store;
    const AnalysisOutcome outcome =
        analyseTexts(options.fieldTexts, services.decimalSeparator, err, store);
    if (outcome.status != Status::Completed) {
        err << failureMessage(outcome) << '\n';
        return failureStatus(outcome);
    }
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

int runSpectrum(const std::vector<std::string>& words, std::ostream& out, std::ostream& err,
                const Services& services) {
    const ParsedSpectrum parsed = parseSpectrumOptions(words);
    if (!parsed.options) {
        throw usageError(parsed.error);
    }
    const SpectrumOptions& options = *parsed.options;
    if (options.batchFile) {
        return runBatch(options, out, err, services);
    }
    if (options.exact) {
        return runExact(options, out, services);
    }
    return runClassic(options, out, err, services);
}

std::string commandUsage(Command command); // below, with the rest of the usage text

std::optional<Command> commandOf(const std::string& word) {
    for (const CommandWord& command : kCommandWords) {
        if (command.word == word) {
            return command.command;
        }
    }
    return std::nullopt;
}

bool asksForHelp(const std::vector<std::string>& words, Command command) {
    return parseOptions(words, command).help;
}

int runCommand(Command command, const std::vector<std::string>& words, std::ostream& out,
               std::ostream& err, const Services& services) {
    if (asksForHelp(words, command)) {
        out << commandUsage(command);
        return kExitOk;
    }
    switch (command) {
    case Command::Spectrum:
        return runSpectrum(words, out, err, services);
    case Command::Multifractal:
        return runMultifractal(words, out, services);
    case Command::Cascade:
        return runCascade(words, out, services);
    case Command::Markov:
        return runMarkov(words, out, services);
    }
    return kExitUsage;
}

// What the command printed before its error still goes out, unless writing is what failed.
void flushWhatWasWritten(std::ostream& out) {
    try {
        out.flush();
    } catch (const WriteError&) {
        // reported as the command's own error already would be; the first error is the one
    } catch (const std::ios_base::failure&) {
        // a stream already failed: what it held is lost with it
    }
}

// Ends a command on an error: what it printed before still goes out, then the message.
int report(std::ostream& out, std::ostream& err, const std::string& message, int status) {
    flushWhatWasWritten(out);
    err << "veltrane: " << message << '\n';
    return status;
}

} // namespace

CommandError usageError(const std::string& problem) {
    std::string text = usage();
    text.pop_back(); // the message's own line end follows
    return CommandError(kExitUsage, problem + "\n\n" + text);
}

std::optional<PlotRequest> plotRequest(const std::optional<std::string>& file, bool grid, int dpi,
                                       PlotKind kind, std::size_t points) {
    if (!file) {
        if (grid || dpi != PlotRequest{}.dpi) {
            throw usageError("--grid and --dpi go with --plot");
        }
        return std::nullopt;
    }
    PlotRequest request{*file, requirePictureFormat(*file), grid, dpi, kind};
    if (points > kStorePoints) {
        const std::string most = std::to_string(kStorePoints);
        throw CommandError(kExitUsage, "--plot draws at most " + most +
                                           " points, as many as the graph window holds; give "
                                           "--points " +
                                           most + " or fewer");
    }
    return request;
}

int runOnStandardStreams(const std::vector<std::string>& args, PlotWriter* plots) {
    FdOutput buffer(STDOUT_FILENO);
    std::ostream out(&buffer);
    out.exceptions(std::ios::badbit);
    return run(
        args, out, std::cerr,
        {internal::cLocaleDecimalSeparator(), STDIN_FILENO, plots, isatty(STDERR_FILENO) != 0});
}

void drawPlot(Module1& store, const PlotRequest& request, const Services& services) {
    if (services.plots == nullptr) {
        throw CommandError(kExitRunTime, "pictures are drawn by the program's windows' side, "
                                         "which is not part of this process");
    }
    services.plots->write(store, request);
}

bool isToolkitOption(const std::string& word) {
    return word.size() > 1 && word[0] == '-' && std::isalpha(static_cast<unsigned char>(word[1])) &&
           word != "-h";
}

namespace {

// The parts of the usage text. "veltrane --help" prints them all; "veltrane COMMAND --help"
// the synopsis, paragraphs and options of that command, then what every command shares.

std::string synopsisOf(Command command) {
    switch (command) {
    case Command::Spectrum:
        return "  veltrane spectrum C [options]   spectral diagram of the two-branch map\n"
               "  veltrane spectrum C1 C2 [opts]  spectral diagram of the three-branch map\n"
               "  veltrane spectrum --batch FILE  the diagrams of many maps, one a line\n"
               "  veltrane spectrum --exact B_1 ... B_k [opts]\n"
               "                                  exact spectral diagram, any number of branches\n"
               "  veltrane spectrum C1 C2 --compare\n"
               "                                  the analysis's points beside the exact ones\n";
    case Command::Multifractal:
        return "  veltrane multifractal B_1 ... B_k --weights p_1 ... p_n [opts]\n"
               "                                  multifractal spectrum of a Bernoulli measure\n";
    case Command::Cascade:
        return "  veltrane cascade B_1 ... B_k --weights p_1 ... p_n --bins N|--levels M\n"
               "                                  that measure as data\n";
    case Command::Markov:
        return "  veltrane markov FILE|- [opts]   exact spectral diagram of a Markov map\n";
    }
    return {};
}

constexpr std::string_view kFieldsParagraph =
    "The values are taken exactly as typed into the fields: \"-0.3\" is a value,\n"
    "not an option. Output is CSV (index,lyapunov,entropy,dimension). Numbers are\n"
    "written with \".\" and read with \".\" or the decimal separator of the locale.\n"
    "\n";

constexpr std::string_view kBatchParagraph =
    "Many maps: --batch FILE (\"-\": standard input) reads one map a line, C or\n"
    "C1 C2 separated by blanks (\"#\" starts a comment), and prints one CSV with a\n"
    "leading map column, the map's line number, or with --json one array. A line\n"
    "that is refused (control bytes, more than 4096 bytes, not a map) or fails is\n"
    "reported on standard error with its number, and the other lines go on;\n"
    "standard output is always a whole CSV or a whole JSON array.\n"
    "\n";

constexpr std::string_view kExactParagraph =
    "Exact spectrum: --exact takes the break points 0 < B_1 < ... < B_k < 1 of a map\n"
    "with k + 1 branches and prints N evenly spaced exponents from the smallest\n"
    "branch exponent to the largest (the first and last exactly those), computed in\n"
    "double precision and printed as the shortest text that reads back the same.\n"
    "Branches of equal length everywhere give one point. --from FILE reads the break\n"
    "points from FILE (\"-\": standard input), at most 1000000 numbers separated by\n"
    "blanks or line ends. The points are shared out over the machine's cores; on a\n"
    "terminal a long run shows how far it is on standard error. --plot draws the\n"
    "exact curves as the graph window would, for at most 101 points.\n"
    "\n";

constexpr std::string_view kMultifractalParagraph =
    "Multifractal spectrum: the weights p_1 ... p_n (normalized to sum 1) on the\n"
    "n = k + 1 branches of lengths l_i make a Bernoulli measure. Printed are N\n"
    "points evenly spaced in the local dimension alpha, as CSV index,alpha,f,q,tau:\n"
    "tau(q) solves sum p_i^q l_i^tau = 1, and f(alpha) = tau(q) + q alpha; q and tau\n"
    "are infinite at the ends (inf in CSV, null in JSON). --dq FROM:TO:STEP prints\n"
    "q,tau,D_q instead, D_q = tau(q) / (1 - q). --from and --weights-from read the\n"
    "numbers from files. --plot draws f against alpha in the graph window's style.\n"
    "Example, the two-scale cascade on pieces of 1/3 and 2/3 with equal weights:\n"
    "  veltrane multifractal 0.3333333333333333 --weights 1 1 --points 11\n"
    "\n";

std::string cascadeParagraph() {
    const std::string mostBins = "2^" + std::to_string(kMostLevels);
    return "Cascade: the same measure's masses of N equal bins (--bins N, up to " + mostBins +
           "),\n"
           "as CSV bin,left,right,mass, or of the n^M cells of level M in order\n"
           "(--levels M, n^M up to " +
           mostBins +
           "), as CSV cell,left,width,mass; --output FILE writes\n"
           ".csv, .npy (NumPy, the masses) or .f64 (raw little-endian doubles) by its\n"
           "extension, 8 bytes a value, as they are computed. Each mass is exact to about\n"
           "1e-12 relative to itself, however small. The limit keeps that with a margin:\n"
           "a bin end is placed with 106 bits, within about N 2^-100 of a bin, and the\n"
           "mass so misplaced grows with N.\n"
           "\n";
}

constexpr std::string_view kMarkovParagraph =
    "Markov maps: markov FILE (\"-\": standard input) reads a piecewise-linear\n"
    "Markov map, one piece a line, \"left right image_left image_right\" (\"#\"\n"
    "starts a comment): [left,right] maps linearly onto the segment from image_left\n"
    "to image_right, decreasing when image_left > image_right. The pieces tile [0,1]\n"
    "in order, each image end is an end of a piece, each slope s_i has |s_i| > 1\n"
    "and every piece can be reached from every other. The golden-mean map:\n"
    "  0 0.6 0 1\n"
    "  0.6 1 0 0.6\n"
    "and a map of three pieces, the middle one decreasing:\n"
    "  0 0.25 0 1\n"
    "  0.25 0.5 1 0.25\n"
    "  0.5 1 0 1\n"
    "With A_ij = 1 where piece i covers piece j, the pressure is\n"
    "P(beta) = ln rho(M_beta), (M_beta)_ij = A_ij |s_i|^-beta, and at the Lyapunov\n"
    "exponent lambda the entropy is h = min over beta of P(beta) + beta lambda and\n"
    "the dimension h / lambda. N points (--points) as spectrum --exact prints them,\n"
    "evenly spaced from the smallest mean of ln|s_i| over the cycles of pieces to\n"
    "the largest; at those ends h is the entropy of the cycles attaining them (0 for\n"
    "a single cycle). A map whose every piece covers [0,1] gives spectrum --exact's\n"
    "points for its break points. At most 1000000 pieces, lines of 4096 bytes.\n"
    "\n";

constexpr std::string_view kComparisonParagraph =
    "Comparison: C --compare or C1 C2 --compare prints each point the analysis\n"
    "stores beside the exact values at the same exponent, as CSV with the header\n"
    "index,lyapunov,entropy,dimension,exact_entropy,exact_dimension,\n"
    "entropy_difference,dimension_difference (differences are exact minus stored)\n"
    "and the last line \"# largest entropy difference: V at index J; largest\n"
    "dimension difference: V at index J\" (largest in magnitude, with its sign).\n"
    "\n";

constexpr std::string_view kFilesParagraph =
    "Files: a picture or file is written to a hidden temporary file beside it,\n"
    "which takes its place whole; a run that fails or is ended by a signal leaves\n"
    "nothing behind. A file replaced keeps its mode, and its owner and group where\n"
    "allowed; a new one gets 0666 less the umask; a symbolic link is written\n"
    "through, to its target. A file with other hard links is copied over in place\n"
    "once complete, so that every link sees the new data: that last copy is not\n"
    "atomic, and a failure during it is reported as leaving the file in part.\n"
    "\n";

constexpr std::string_view kExitParagraph =
    "Exit status: 0 done; 1 the windows cannot be shown (no display); 2 bad usage,\n"
    "a refused value or input, a text that is not a number, standard input closed;\n"
    "3 any other run-time error, or a failed write (\"veltrane: write error: ...\");\n"
    "129 hung up (SIGHUP), 130 interrupted (Ctrl+C), 143 terminated (SIGTERM), and\n"
    "128 + N for any other signal N that ends a run.\n"
    "With --batch: 3 if a line failed with a run-time error, else 2 if a line was\n"
    "refused, else 0.\n";

constexpr std::string_view kOptionsHead =
    "Options, each given at most once (a repeated option is refused):\n";

std::string paragraphsOf(Command command) {
    switch (command) {
    case Command::Spectrum:
        return std::string(kFieldsParagraph) + std::string(kBatchParagraph) +
               std::string(kExactParagraph) + std::string(kComparisonParagraph);
    case Command::Multifractal:
        return std::string(kMultifractalParagraph);
    case Command::Cascade:
        return cascadeParagraph();
    case Command::Markov:
        return std::string(kMarkovParagraph);
    }
    return {};
}

// What follows the options in every usage text.
std::string closingParagraphs() {
    return "\n" + std::string(kFilesParagraph) + std::string(kExitParagraph);
}

// The usage text of one command, printed by its --help: its synopsis, what it does, its options
// (those of the option table it takes) and the files and exit statuses every command shares.
std::string commandUsage(Command command) {
    return "Usage:\n" + synopsisOf(command) + "\n" + paragraphsOf(command) +
           std::string(kOptionsHead) + optionList(command) + closingParagraphs();
}

} // namespace

std::string usage() {
    std::string text = "Usage:\n"
                       "  veltrane                        start the program's windows\n";
    for (const CommandWord& word : kCommandWords) {
        text += synopsisOf(word.command);
    }
    text += "  veltrane --help                 this text\n"
            "  veltrane --version              the version number\n"
            "\n";
    text += std::string(kFieldsParagraph) + std::string(kBatchParagraph) +
            std::string(kExactParagraph) + std::string(kMultifractalParagraph) +
            cascadeParagraph() + std::string(kMarkovParagraph) + std::string(kComparisonParagraph);
    return text + std::string(kOptionsHead) + optionList() + closingParagraphs();
}

bool needsWindows(const std::vector<std::string>& args) {
    if (args.empty() || isToolkitOption(args[0])) {
        return true;
    }
    const std::vector<std::string> words(args.begin() + 1, args.end());
    const std::optional<Command> command = commandOf(args[0]);
    if (command && asksForHelp(words, *command)) {
        return false;
    }
    if (args[0] == "multifractal") {
        const ParsedMultifractal parsed = parseMultifractalOptions(words);
        return parsed.options && parsed.options->plotFile;
    }
    if (args[0] == "markov") {
        const ParsedMarkov parsed = parseMarkovOptions(words);
        return parsed.options && parsed.options->plotFile;
    }
    if (args[0] != "spectrum") {
        return false;
    }
    const ParsedSpectrum parsed = parseSpectrumOptions(words);
    return parsed.options && parsed.options->plotFile && !parsed.options->batchFile;
}

int run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
        const Services& services) {
    try {
        int status = kExitOk;
        if (args.empty() || args[0] == "--help" || args[0] == "-h") {
            out << usage();
        } else if (args[0] == "--version") {
            out << "veltrane " << kVersion << '\n';
        } else if (const std::optional<Command> command = commandOf(args[0])) {
            status = runCommand(*command, {args.begin() + 1, args.end()}, out, err, services);
        } else {
            throw usageError("unknown command " + internal::elided(args[0]));
        }
        out.flush();
        return status;
    } catch (const WriteError& e) {
        // What was written up to the failure is all that goes out.
        err << "veltrane: " << e.what() << '\n';
        return kExitRunTime;
    } catch (const Cancelled&) {
        return kExitInterrupted; // Ctrl+C: nothing to add, as for any signal that ends a run
    } catch (const CommandError& e) {
        return report(out, err, e.what(), e.status());
    } catch (const InputError& e) {
        return report(out, err, e.what(), kExitUsage);
    } catch (const Error& e) {
        return report(out, err, e.what(), kExitRunTime);
    } catch (const std::bad_alloc&) {
        err << "veltrane: not enough memory\n";
        return kExitRunTime;
    } catch (const std::exception& e) {
        // Unwound to here, a file being written has been removed.
        err << "veltrane: " << e.what() << '\n';
        return kExitRunTime;
    }
}

} // namespace veltrane::cli
