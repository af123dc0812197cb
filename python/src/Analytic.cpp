#include "Analytic.h"

#include "Calls.h"

#include <optional>
#include <pybind11/stl.h>
#include <string>
#include <vector>
#include <veltrane/analytic.h>

namespace veltrane::python {

namespace {

// The map of the formulas, or of the continued-fraction digits when they are given.
AnalyticSolver solverOf(const std::vector<std::string>& branches,
                        const std::optional<std::vector<unsigned>>& digits) {
    const AnalyticMap map =
        digits ? AnalyticMap::continuedFraction(*digits) : AnalyticMap::fromFormulas(branches);
    // Checking the branches with balls and choosing the points takes some milliseconds.
    const py::gil_scoped_release release;
    return AnalyticSolver(map);
}

py::tuple precise(const PreciseValue& v) {
    return py::make_tuple(v.value, v.error, v.digits, v.nodes, v.bits);
}

py::tuple spectrum(const AnalyticSolver& solver, std::size_t points, unsigned threads) {
    Columns<double, 4> columns;
    runReleased(threads, true, [&](const RunControl& control) {
        const ExactSpectrum s = solver.spectrum(points, control);
        columns.grow(s.points.size());
        for (std::size_t i = 0; i < s.points.size(); ++i) {
            const ExactPoint& p = s.points[i];
            columns.set(i, {p.lyapunov, p.entropy, p.dimension, p.beta});
        }
    });
    return columns.take();
}

} // namespace

void defineAnalytic(py::module_& module) {
    py::class_<AnalyticSolver>(module, "AnalyticSolver")
        .def(py::init(&solverOf), py::arg("branches"), py::arg("digits"))
        .def(
            "pressure",
            [](const AnalyticSolver& s, double beta) {
                const py::gil_scoped_release release;
                return s.pressure(beta);
            },
            py::arg("beta"))
        .def("dimension", [](const AnalyticSolver& s) { return s.dimension(); })
        .def(
            "precise_pressure",
            [](const AnalyticSolver& s, const std::string& beta, unsigned digits) {
                std::optional<PreciseValue> v;
                {
                    const py::gil_scoped_release release;
                    v = s.pressure(beta, digits);
                }
                return precise(*v);
            },
            py::arg("beta"), py::arg("digits"))
        .def(
            "precise_dimension",
            [](const AnalyticSolver& s, unsigned digits) {
                std::optional<PreciseValue> v;
                {
                    const py::gil_scoped_release release;
                    v = s.dimension(digits);
                }
                return precise(*v);
            },
            py::arg("digits"))
        .def("range",
             [](const AnalyticSolver& s) {
                 double low = 0.0;
                 double high = 0.0;
                 bool atOrbits = false;
                 {
                     const py::gil_scoped_release release;
                     low = s.lambdaMin();
                     high = s.lambdaMax();
                     atOrbits = s.rangeAtOrbits();
                 }
                 return py::make_tuple(low, high, atOrbits, s.orbitPeriod());
             })
        .def("spectrum", &spectrum, py::arg("points"), py::arg("threads"));
}

} // namespace veltrane::python
