#pragma once

#include <stdexcept>
#include <string>

namespace veltrane::cli {

// Exit statuses of the command line. A signal that ends a run ends it with 128 + its number
// (Interrupt.h): 129 SIGHUP, 130 Ctrl+C, 143 SIGTERM.
inline constexpr int kExitOk = 0;
inline constexpr int kExitUsage = 2;         // bad usage, refused value or input, conversion error
inline constexpr int kExitRunTime = 3;       // any other run-time error, a failed write
inline constexpr int kExitInterrupted = 130; // Ctrl+C

// Ends a command: its message, printed after "veltrane: ", and the exit status.
class CommandError : public std::runtime_error {
public:
    CommandError(int status, const std::string& message)
        : std::runtime_error(message), m_status(status) {}
    int status() const { return m_status; }

private:
    int m_status;
};

} // namespace veltrane::cli
