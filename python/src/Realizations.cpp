#include "Realizations.h"

#include "Calls.h"
#include "Random.h"

#include <optional>
#include <pybind11/numpy.h>
#include <pybind11/stl.h>
#include <veltrane/cascade.h>
#include <veltrane/partition.h>
#include <veltrane/random.h>

namespace py = pybind11;

namespace veltrane::python {

namespace {

// The masses of bins first .. first + count - 1 of N of one realization, into out when given.
py::array_t<double> randomCascade(const BoundModel& law, std::uint64_t seed, std::uint64_t bins,
                                  std::uint64_t first, std::optional<std::uint64_t> count,
                                  const py::object& out, std::uint64_t realization, unsigned levels,
                                  unsigned threads) {
    const RandomCascade cascade(law.model, seed, realization);
    const std::uint64_t n = count.value_or(bins > first ? bins - first : 0);
    Cascade::checkBins(bins, first, n);
    py::array_t<double> target =
        out.is_none() ? py::array_t<double>(static_cast<py::ssize_t>(n)) : writableTarget(out, n);
    double* data = target.mutable_data();
    constexpr std::size_t kBlock = std::size_t{1} << 14;
    runReleased(threads, static_cast<double>(n) > kLengthyWork, [&](const RunControl& control) {
        forEachBlock(static_cast<std::size_t>(n), kBlock, control,
                     [&](std::size_t at, std::size_t size) {
                         cascade.binMasses(bins, first + at, {data + at, size}, levels, control);
                     });
    });
    return target;
}

// ln Z_q(N) of realizations first .. first + count - 1, shape (count, len(bins), len(q)).
py::array_t<double> ensembleSums(const BoundModel& law, std::uint64_t seed, std::uint64_t first,
                                 std::uint64_t count, const std::vector<std::uint64_t>& bins,
                                 const py::handle& q, unsigned threads) {
    const std::vector<double> orders = doubles(q, "q");
    double work = 0.0;
    for (const std::uint64_t n : bins) {
        work += static_cast<double>(n) * static_cast<double>(count);
    }
    std::vector<double> logZ;
    runReleased(threads, work > kLengthyWork, [&](const RunControl& control) {
        logZ = ensembleLogSums(law.model, seed, first, count, bins, orders, control);
    });
    return owned(std::move(logZ))
        .reshape({static_cast<py::ssize_t>(count), static_cast<py::ssize_t>(bins.size()),
                  static_cast<py::ssize_t>(orders.size())});
}

} // namespace

void defineRealizations(py::module_& module) {
    module.def("random_cascade", &randomCascade, py::arg("model"), py::arg("seed"), py::arg("bins"),
               py::arg("first"), py::arg("count"), py::arg("out"), py::arg("realization"),
               py::arg("levels"), py::arg("threads"));
    module.def("random_partition_sums", &ensembleSums, py::arg("model"), py::arg("seed"),
               py::arg("first"), py::arg("count"), py::arg("bins"), py::arg("q"),
               py::arg("threads"));
}

} // namespace veltrane::python
