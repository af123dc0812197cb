#pragma once

#include <exception>
#include <string>

namespace veltrane::cli {

// How an error ends a command, or a line of --batch: its exit status and its message.
struct ErrorReport {
    int status = 0;
    std::string what;  // the error's own text; empty where nothing is said (Ctrl+C)
    bool bare = false; // printed as it is rather than after "veltrane: ": the analyses' refusals
    // What the command printed before the error still goes out; not after a failed write, which
    // is where that output went, nor after Ctrl+C or a fault that unwound everything.
    bool keepsOutput = true;

    // The line standard error gets, with its line end; empty for none.
    std::string line() const;
};

// The one place that decides which error ends a command with which status (ExitStatus.h):
// bad usage, a refused value or input (InputError: UsageError, FileError, the analyses'
// RefusedValue and ConversionError) 2; any other error of the library or of the process
// (RuntimeError, ReadError, WriteError, an Error of its own) and any other exception 3;
// Cancelled 130. error must not be null.
ErrorReport reportOf(const std::exception_ptr& error);

} // namespace veltrane::cli
