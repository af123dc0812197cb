#pragma once

// The command line as the windows' side of the program runs it: for pictures, which need the
// window toolkit, and to tell its own words from the command line's.
#include <iosfwd>
#include <string>
#include <vector>
#include <veltrane/cli/Pictures.h>

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
// failed write ends the command with "veltrane: write error: <reason>" and status 3. Every
// error a command meets becomes its message and exit status here.
int run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
        const Services& services);

// Whether these words are for the windows' side of the program: none at all (the windows),
// options of the windows' toolkit ("-platform xcb", "-style fusion", "-reverse" ...), or a
// command that draws a picture. The command line alone runs everything else.
bool needsWindows(const std::vector<std::string>& args);

// Runs the command line on the process's standard streams with the user's decimal separator;
// plots draws pictures when this process is the windows' side. Returns the exit status.
int runOnStandardStreams(const std::vector<std::string>& args, PlotWriter* plots);

// Whether a word is an option of the windows' toolkit: a single "-" and a letter, but "-h".
bool isToolkitOption(const std::string& word);

} // namespace veltrane::cli
