#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace veltrane::cli {

// Exit statuses of the command line.
inline constexpr int kExitOk = 0;
inline constexpr int kExitUsage = 2;   // bad usage, rejected value, conversion error, bad file
inline constexpr int kExitRunTime = 3; // any other run-time error

// Runs the command line on the words after the program name and returns the exit status.
// decimalSeparator is the user's locale's, accepted in numbers beside ".".
int run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
        const std::string& decimalSeparator = ".");

// The usage text printed by --help.
std::string usage();

} // namespace veltrane::cli
