// libFuzzer target: arbitrary bytes as a list of break points, as "--from FILE" reads them.
// Every run ends in a refusal with its message or in a spectrum whose points are finite and
// ordered, with entropy >= 0 and dimension <= 1.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <veltrane/errors.h>
#include <veltrane/exact.h>
#include <veltrane/maps.h>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
    try {
        double previous = -1.0;
        for (const veltrane::ExactPoint& p :
             veltrane::exactSpectrum(veltrane::readBreakPoints(in, ","), 11).points) {
            if (!(std::isfinite(p.entropy) && std::isfinite(p.dimension) &&
                  p.lyapunov >= previous && p.entropy >= -1e-12 && p.dimension <= 1.0 + 1e-9)) {
                std::abort();
            }
            previous = p.lyapunov;
        }
    } catch (const veltrane::InputError&) {
        // a refused list, its words or its values: the usual end for most inputs
    }
    return 0;
}
