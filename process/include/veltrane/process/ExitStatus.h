#pragma once

// The exit statuses of the program's two sides, the command line and the windows, and of the
// build's own tools. Every main returns one of these; which error ends a command with which is
// decided in one place, the command line's error report (cli/ErrorReport.h).
#include <csignal>

namespace veltrane::process {

inline constexpr int kExitOk = 0;
// The windows cannot be shown: no display, a build without them, or their program cannot be
// started; for a build tool, what it writes could not be written.
inline constexpr int kExitFailure = 1;
// Bad usage, a refused value or input, a text that is not a number or too large for a single,
// standard input closed or not open for reading when "-" is to be read.
inline constexpr int kExitUsage = 2;
// Any other run-time error, a failed write, a bound the mathematics guarantees broken.
inline constexpr int kExitRunTime = 3;

// A signal that ends a run ends it with 128 + its number, as a shell reports it: 129 for a
// closed terminal (SIGHUP), 130 for Ctrl+C (SIGINT), 143 for SIGTERM, 153 past a file size
// limit (SIGXFSZ).
constexpr int exitStatusOfSignal(int signal) {
    return 128 + signal;
}
// Ctrl+C, also where the run it cancelled unwinds to the command rather than ending there.
inline constexpr int kExitInterrupted = exitStatusOfSignal(SIGINT);

} // namespace veltrane::process
