#include "AnalyticCommand.h"
#include "CascadeCommand.h"
#include "Commands.h"
#include "ErrorReport.h"
#include "MarkovCommand.h"
#include "MultifractalCommand.h"
#include "OptionParser.h"
#include "OptionTable.h"
#include "PartitionCommand.h"
#include "SpectrumCommand.h"
#include "Version.h"

#include <array>
#include <cctype>
#include <exception>
#include <iostream>
#include <optional>
#include <ostream>
#include <unistd.h>
#include <veltrane/classic/TextToSingle.h>
#include <veltrane/internal/text.h>
#include <veltrane/process/Errors.h>
#include <veltrane/process/ExitStatus.h>
#include <veltrane/process/Output.h>
#include <veltrane/text.h>

namespace veltrane::cli {
using namespace veltrane::classic;
using namespace veltrane::process;

namespace {

// Each command as the command line runs it: its run, and whether the words ask for a picture,
// which the windows' side of the program draws.
struct CommandEntry {
    Command command;
    int (*run)(const std::vector<std::string>& words, std::ostream& out, std::ostream& err,
               const Services& services);
    bool (*drawsPicture)(const std::vector<std::string>& words);
};

bool drawsNoPicture(const std::vector<std::string>& /*words*/) {
    return false;
}

constexpr std::array<CommandEntry, kCommandWords.size()> kCommands{{
    {Command::Spectrum, runSpectrum, spectrumDrawsPicture},
    {Command::Multifractal, runMultifractal, multifractalDrawsPicture},
    {Command::Cascade, runCascade, drawsNoPicture},
    {Command::Markov, runMarkov, markovDrawsPicture},
    {Command::Partition, runPartition, drawsNoPicture},
    {Command::Analytic, runAnalytic, analyticDrawsPicture},
}};

const CommandEntry& entryOf(Command command) {
    for (const CommandEntry& entry : kCommands) {
        if (entry.command == command) {
            return entry;
        }
    }
    std::terminate(); // every command has its entry
}

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
    return entryOf(command).run(words, out, err, services);
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

} // namespace

UsageError usageError(const std::string& problem) {
    std::string text = usage();
    text.pop_back(); // the message's own line end follows
    return UsageError(problem + "\n\n" + text);
}

std::optional<PlotRequest> plotRequest(const std::optional<std::string>& file, bool grid, int dpi,
                                       PlotKind kind, std::size_t points) {
    if (!file) {
        if (grid || dpi != static_cast<int>(option::dpi.byDefault)) {
            throw usageError("--grid and --dpi go with --plot");
        }
        return std::nullopt;
    }
    PlotRequest request{*file, requirePictureFormat(*file), grid, dpi, kind};
    if (points > kStorePoints) {
        const std::string most = std::to_string(kStorePoints);
        throw UsageError("--plot draws at most " + most +
                         " points, as many as the graph window holds; give --points " + most +
                         " or fewer");
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
        throw Error("pictures are drawn by the program's windows' side, which is not part of "
                    "this process");
    }
    services.plots->write(store, request);
}

bool isToolkitOption(const std::string& word) {
    return word.size() > 1 && word[0] == '-' && std::isalpha(static_cast<unsigned char>(word[1])) &&
           word != "-h";
}

bool needsWindows(const std::vector<std::string>& args) {
    if (args.empty() || isToolkitOption(args[0])) {
        return true;
    }
    const std::optional<Command> command = commandOf(args[0]);
    if (!command) {
        return false;
    }
    const std::vector<std::string> words(args.begin() + 1, args.end());
    return !asksForHelp(words, *command) && entryOf(*command).drawsPicture(words);
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
    } catch (...) {
        const ErrorReport report = reportOf(std::current_exception());
        if (report.keepsOutput) {
            flushWhatWasWritten(out);
        }
        err << report.line();
        return report.status;
    }
}

} // namespace veltrane::cli
