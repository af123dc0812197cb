// libFuzzer target: arbitrary bytes as a break-point list for the exact solver, as
// "--from FILE" reads it. Every run must end in a BreakPointError or in a spectrum whose
// points are finite, ordered, with entropy >= 0 and dimension <= 1.
#include "BreakPoints.h"
#include "ExactSpectrum.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>

namespace {

void require(bool condition) {
    if (!condition) {
        std::abort();
    }
}

void checkSpectrum(const veltrane::ExactSpectrum& spectrum) {
    double previous = -1.0;
    for (const veltrane::ExactPoint& p : spectrum.points) {
        require(std::isfinite(p.lyapunov) && std::isfinite(p.entropy) &&
                std::isfinite(p.dimension));
        require(p.lyapunov >= previous);
        require(p.entropy >= -1e-12);
        require(p.dimension <= 1.0 + 1e-9);
        previous = p.lyapunov;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
    try {
        const auto breakPoints = veltrane::readBreakPoints(in, ",");
        checkSpectrum(veltrane::exactSpectrum(breakPoints, 11));
    } catch (const veltrane::BreakPointError&) {
        // A refused list, with its message: the expected end for most inputs.
    }
    return 0;
}
