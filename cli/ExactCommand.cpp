#include "ExactCommand.h"

#include "BreakPoints.h"
#include "Cli.h"
#include "ExactOutput.h"
#include "ExactSpectrum.h"
#include "RuntimeError.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <new>
#include <ostream>
#include <vector>

namespace veltrane::cli {

namespace {

std::vector<double> readFile(const std::string& file, const std::string& separator,
                             std::istream& in) {
    if (file == "-") {
        try {
            return readBreakPoints(in, separator);
        } catch (const BreakPointError& e) {
            throw BreakPointError(std::string("standard input: ") + e.what());
        }
    }
    std::error_code ignored;
    if (std::filesystem::is_directory(file, ignored)) {
        throw BreakPointError(file + " is a folder, not a file of break points");
    }
    std::ifstream stream(file);
    if (!stream) {
        throw BreakPointError("cannot read " + file + ": " + std::strerror(errno));
    }
    try {
        return readBreakPoints(stream, separator);
    } catch (const BreakPointError& e) {
        throw BreakPointError(file + ": " + e.what());
    }
}

std::vector<double> breakPointsOf(const SpectrumOptions& options, const std::string& separator,
                                  std::istream& in) {
    if (options.fromFile) {
        return readFile(*options.fromFile, separator, in);
    }
    return parseBreakPoints(options.fieldTexts, separator);
}

} // namespace

int runExact(const SpectrumOptions& options, const std::string& decimalSeparator, std::istream& in,
             std::ostream& out, std::ostream& err) {
    if (options.plotFile) {
        err << "veltrane: --plot does not go with --exact\n";
        return kExitUsage;
    }
    if (options.grid || options.dpi != SpectrumOptions{}.dpi) {
        err << "veltrane: --grid and --dpi go with --plot\n";
        return kExitUsage;
    }
    std::vector<double> breakPoints;
    try {
        breakPoints = breakPointsOf(options, decimalSeparator, in);
    } catch (const BreakPointError& e) {
        err << "veltrane: " << e.what() << '\n';
        return kExitUsage;
    }
    const auto points = static_cast<std::size_t>(options.points.value_or(kDefaultExactPoints));
    try {
        const std::vector<double> exponents = branchExponents(breakPoints);
        const ExactSpectrum spectrum = ExactSolver(exponents).spectrum(points);
        if (options.json) {
            writeExactJson(breakPoints, exponents, spectrum.points, out);
        } else {
            writeExactCsv(spectrum.points, out);
        }
    } catch (const RuntimeError& e) {
        err << "veltrane: " << e.what() << '\n';
        return kExitRunTime;
    } catch (const std::bad_alloc&) {
        err << "veltrane: not enough memory for " << points << " points of "
            << breakPoints.size() + 1 << " branches\n";
        return kExitRunTime;
    }
    return kExitOk;
}

int runExact(const SpectrumOptions& options, const std::string& decimalSeparator, std::ostream& out,
             std::ostream& err) {
    return runExact(options, decimalSeparator, std::cin, out, err);
}

} // namespace veltrane::cli
