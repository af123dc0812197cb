#pragma once

#include "Cli.h"

#include <sstream>
#include <string>
#include <vector>

namespace veltrane::test {

// What one in-process run of the command line printed and returned.
struct CliRun {
    int status;
    std::string out;
    std::string err;
};

inline CliRun runCli(const std::vector<std::string>& args, const std::string& separator = ".") {
    std::ostringstream out;
    std::ostringstream err;
    const int status = cli::run(args, out, err, separator);
    return {status, out.str(), err.str()};
}

inline std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> result;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        result.push_back(line);
    }
    return result;
}

} // namespace veltrane::test
