#include "Random.h"

#include "Calls.h"

#include <algorithm>
#include <numeric>
#include <pybind11/numpy.h>
#include <pybind11/stl.h>
#include <veltrane/errors.h>
#include <veltrane/random.h>

namespace py = pybind11;

namespace veltrane::python {

namespace {

BoundModel generatorList(const py::sequence& breaks, const py::sequence& weights,
                         const py::handle& probabilities) {
    if (breaks.size() != weights.size()) {
        throw InputError(std::to_string(breaks.size()) + " lists of break points given for " +
                         std::to_string(weights.size()) + " lists of weights");
    }
    std::vector<RandomModel::Generator> generators;
    for (std::size_t k = 0; k < breaks.size(); ++k) {
        generators.push_back({doubles(breaks[k], "break points"), doubles(weights[k], "weights")});
    }
    return BoundModel(RandomModel::generators(generators, doubles(probabilities, "probabilities")));
}

// Every exponent at q, as exponents() gives those of a measure: the distinct orders solved in
// ascending order and checked (RandomSpectrum::exponentsMany), then put back in q's order and
// shape.
py::tuple exponentsAt(const BoundModel& bound, const py::handle& q) {
    const auto qs = numbersOfAnyShape(q, "q");
    const std::span<const double> in(qs.data(), static_cast<std::size_t>(qs.size()));
    std::vector<double> sorted(in.begin(), in.end());
    std::sort(sorted.begin(), sorted.end());
    sorted.erase(std::unique(sorted.begin(), sorted.end()), sorted.end());
    std::vector<Exponents> rows;
    {
        const py::gil_scoped_release release;
        rows = bound.spectrum.exponentsMany(sorted);
    }
    py::tuple arrays(8);
    const auto column = [&](std::size_t k, double Exponents::*member) {
        std::vector<double> values(in.size());
        for (std::size_t i = 0; i < in.size(); ++i) {
            const auto at = std::lower_bound(sorted.begin(), sorted.end(), in[i]) - sorted.begin();
            values[i] = rows[static_cast<std::size_t>(at)].*member;
        }
        arrays[k] = shaped(std::move(values), qs);
    };
    column(0, &Exponents::q);
    column(1, &Exponents::tau);
    column(2, &Exponents::dq);
    column(3, &Exponents::hurst);
    column(4, &Exponents::zeta);
    column(5, &Exponents::beta);
    column(6, &Exponents::alpha);
    column(7, &Exponents::f);
    return arrays;
}

} // namespace

void defineRandom(py::module_& module) {
    py::class_<BoundModel>(module, "RandomModel")
        .def_static("generators", &generatorList, py::arg("breaks"), py::arg("weights"),
                    py::arg("probabilities"))
        .def_static(
            "permutation",
            [](const py::handle& w) {
                return BoundModel(RandomModel::permutation(doubles(w, "weights")));
            },
            py::arg("weights"))
        .def_static(
            "dirichlet",
            [](const py::handle& a) {
                return BoundModel(RandomModel::dirichlet(doubles(a, "alpha")));
            },
            py::arg("alpha"))
        .def_static(
            "beta", [](double a) { return BoundModel(RandomModel::beta(a)); }, py::arg("a"))
        .def_static(
            "log_normal",
            [](unsigned b, double sigma2) { return BoundModel(RandomModel::logNormal(b, sigma2)); },
            py::arg("b"), py::arg("sigma2"))
        .def_static(
            "two_valued",
            [](unsigned b, double p, double u) {
                return BoundModel(RandomModel::twoValued(b, p, u));
            },
            py::arg("b"), py::arg("p"), py::arg("u"))
        .def_static(
            "parse", [](const std::string& text) { return BoundModel(RandomModel::parse(text)); },
            py::arg("text"))
        .def_static(
            "read_generators",
            [](const std::string& text) { return BoundModel(RandomModel::readGenerators(text)); },
            py::arg("text"))
        .def("describe", [](const BoundModel& m) { return m.model.describe(); })
        .def_property_readonly("conservative",
                               [](const BoundModel& m) { return m.model.conservative(); })
        .def_property_readonly("base", [](const BoundModel& m) { return m.model.base(); })
        .def("exponents", &exponentsAt, py::arg("q"))
        .def_property_readonly("q_min", [](const BoundModel& m) { return m.spectrum.qMin(); })
        .def_property_readonly("q_star_minus",
                               [](const BoundModel& m) { return m.spectrum.qStarMinus(); })
        .def_property_readonly("q_star_plus",
                               [](const BoundModel& m) { return m.spectrum.qStarPlus(); })
        .def_property_readonly("q_crit", [](const BoundModel& m) { return m.spectrum.qCrit(); });
}

} // namespace veltrane::python
