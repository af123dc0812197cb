// The C++ side of the Python benchmarks: the same work the package's calls do, timed inside
// C++ so that what a call costs over it can be told apart. Not part of the package.
#include <chrono>
#include <cstdint>
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <string>
#include <vector>
#include <veltrane/cascade.h>
#include <veltrane/classic.h>
#include <veltrane/multifractal.h>
#include <veltrane/run.h>

namespace py = pybind11;

namespace {

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

std::vector<double>
values(const py::array_t<double, py::array::c_style | py::array::forcecast>& a) {
    return {a.data(), a.data() + a.size()};
}

// Seconds per call of the three-branch analysis of C1 and C2, on a fresh store each time.
double spectrumSeconds(const std::string& c1, const std::string& c2, int calls) {
    const veltrane::classic::DecimalTextToSingle toSingle;
    const auto start = Clock::now();
    for (int i = 0; i < calls; ++i) {
        veltrane::classic::Module1 store;
        const veltrane::classic::AnalysisOutcome outcome = veltrane::classic::runThreeBranch(
            veltrane::classic::FieldTexts{{veltrane::classic::Field::C1, c1},
                                          {veltrane::classic::Field::C2, c2}},
            toSingle, store);
        if (outcome.status != veltrane::classic::Status::Completed) {
            throw std::runtime_error("the analysis did not complete");
        }
    }
    return secondsSince(start) / calls;
}

// Seconds per call of tau(q) on a solver made afresh each time, as the package makes it.
double tauSeconds(const py::array_t<double>& breaks, const py::array_t<double>& weights, double q,
                  int calls) {
    const std::vector<double> b = values(breaks);
    const std::vector<double> w = values(weights);
    double sink = 0.0;
    const auto start = Clock::now();
    for (int i = 0; i < calls; ++i) {
        const veltrane::MultifractalSolver solver(b, w);
        sink += solver.beta(q);
    }
    const double seconds = secondsSince(start) / calls;
    return sink == sink ? seconds : -seconds; // keeps the loop from being dropped
}

// Seconds for tau over every q, in blocks over the threads, as the package's tau runs.
double tauArraySeconds(const py::array_t<double>& breaks, const py::array_t<double>& weights,
                       const py::array_t<double>& q, unsigned threads) {
    const std::vector<double> qs = values(q);
    std::vector<double> out(qs.size());
    const py::gil_scoped_release release;
    const auto start = Clock::now();
    const veltrane::MultifractalSolver solver(values(breaks), values(weights));
    veltrane::forEachBlock(out.size(), 256, {threads}, [&](std::size_t first, std::size_t n) {
        for (std::size_t i = first; i < first + n; ++i) {
            out[i] = solver.beta(qs[i]);
        }
    });
    return secondsSince(start);
}

// Seconds for the masses of bins 0 .. out.size() - 1 of N into out, in the package's blocks.
double cascadeSeconds(const py::array_t<double>& breaks, const py::array_t<double>& weights,
                      std::uint64_t bins, py::array_t<double>& out, unsigned threads) {
    double* data = out.mutable_data();
    const auto n = static_cast<std::size_t>(out.size());
    const py::gil_scoped_release release;
    const auto start = Clock::now();
    const veltrane::Cascade measure(values(breaks), values(weights));
    constexpr std::size_t kBlock = std::size_t{1} << 14;
    veltrane::forEachBlock(n, kBlock, {threads}, [&](std::size_t at, std::size_t size) {
        measure.binMasses(bins, at, {data + at, size});
    });
    return secondsSince(start);
}

} // namespace

PYBIND11_MODULE(core_timing, module) {
    module.def("spectrum_seconds", &spectrumSeconds);
    module.def("tau_seconds", &tauSeconds);
    module.def("tau_array_seconds", &tauArraySeconds);
    module.def("cascade_seconds", &cascadeSeconds);
}
