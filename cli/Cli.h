#pragma once

#include "CommandError.h"
#include "Module1.h"
#include "Pictures.h"

#include <cstddef>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

namespace veltrane::cli {

// What a command may use besides its words.
struct Services {
    std::string decimalSeparator = "."; // the user's, accepted in numbers beside "."
    int input = 0;                      // the descriptor "-" reads: standard input
    PlotWriter* plots = nullptr;        // draws pictures; the windows' side provides it
    bool progress = false;              // standard error is a terminal: show long runs' progress
};

// Runs the command line on the words after the program's name and returns the exit status.
// Every write to out is checked: give out an FdOutput buffer and exceptions(badbit), and a
// failed write ends the command with "veltrane: write error: <reason>" and status 3.
int run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
        const Services& services);

// Whether these words are for the windows' side of the program: none at all (the windows),
// options of the windows' toolkit ("-platform xcb", "-style fusion", "-reverse" ...), or a
// command that draws a picture. The command line alone runs everything else.
bool needsWindows(const std::vector<std::string>& args);

// The error of words that make no command: the problem, then the usage text (status 2).
CommandError usageError(const std::string& problem);

// The most points a picture holds: the graph window draws from the graph data store.
inline constexpr std::size_t kStorePoints = Module1::kLastPoint + 1;

// The picture --plot FILE, --grid and --dpi ask for, or nothing without --plot, checked before
// any work is done. Throws CommandError (status 2) for --grid or --dpi without --plot, a file
// whose extension names no picture format, or more points than the graph window draws.
std::optional<PlotRequest> plotRequest(const std::optional<std::string>& file, bool grid, int dpi,
                                       PlotKind kind, std::size_t points);

// Runs the command line on the process's standard streams with the user's decimal separator;
// plots draws pictures when this process is the windows' side. Returns the exit status.
int runOnStandardStreams(const std::vector<std::string>& args, PlotWriter* plots);

// Draws the picture through services.plots, the windows' side of the program.
void drawPlot(Module1& store, const PlotRequest& request, const Services& services);

// Whether a word is an option of the windows' toolkit: a single "-" and a letter, but "-h".
bool isToolkitOption(const std::string& word);

// The usage text printed by --help.
std::string usage();

} // namespace veltrane::cli
