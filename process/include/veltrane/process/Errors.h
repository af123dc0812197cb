#pragma once

// What the process's files and streams throw, beside the library's own errors: a file that
// cannot be made or read at all is a refused input, reading that fails part of the way and a
// failed write are errors of the run.
#include <cstring>
#include <string>
#include <veltrane/errors.h>

namespace veltrane::process {

// A file that cannot be made or opened, or is no file of the kind asked for: "cannot write
// \"name\": reason", "cannot read name: reason".
class FileError : public InputError {
public:
    using InputError::InputError;
};

// Reading that fails part of the way through: "cannot read name: reason".
class ReadError : public Error {
public:
    using Error::Error;
};

// A write that failed: "write error: <reason>", then what it leaves behind, if anything.
class WriteError : public Error {
public:
    explicit WriteError(int reason, const std::string& aftermath = {})
        : Error("write error: " + std::string(std::strerror(reason)) +
                (aftermath.empty() ? "" : "; " + aftermath)) {}
};

} // namespace veltrane::process
