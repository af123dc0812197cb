#include "Partition.h"

#include "Calls.h"

#include <pybind11/numpy.h>
#include <pybind11/stl.h>
#include <veltrane/cascade.h>
#include <veltrane/partition.h>

namespace py = pybind11;

namespace veltrane::python {

namespace {

// Scaled sums as a float64 array of shape (..., 3): shift, sum, carry.
using Triples = py::array_t<double, py::array::c_style | py::array::forcecast>;

py::array_t<double> triples(const std::vector<ScaledSum>& sums, std::size_t rows,
                            std::size_t orders) {
    std::vector<double> flat;
    flat.reserve(sums.size() * 3);
    for (const ScaledSum& s : sums) {
        flat.insert(flat.end(), {s.shift, s.sum, s.carry});
    }
    return owned(std::move(flat))
        .reshape(
            {static_cast<py::ssize_t>(rows), static_cast<py::ssize_t>(orders), py::ssize_t{3}});
}

std::vector<ScaledSum> scaledSums(const py::handle& values, std::size_t orders) {
    const auto array = Triples::ensure(values);
    if (!array || orders == 0 || array.ndim() < 1 || array.shape(array.ndim() - 1) != 3 ||
        static_cast<std::size_t>(array.size()) % (3 * orders) != 0) {
        PyErr_Clear();
        throw InputError("scaled sums must be an array of (shift, sum, carry) for each order q");
    }
    std::vector<ScaledSum> sums(static_cast<std::size_t>(array.size()) / 3);
    for (std::size_t i = 0; i < sums.size(); ++i) {
        sums[i] = {array.data()[3 * i], array.data()[3 * i + 1], array.data()[3 * i + 2]};
    }
    return sums;
}

py::tuple resultOf(const PartitionSums& sums) {
    const auto rows = static_cast<py::ssize_t>(sums.bins.size());
    const auto orders = static_cast<py::ssize_t>(sums.q.size());
    return py::make_tuple(owned(std::vector<std::uint64_t>(sums.bins)),
                          owned(std::vector<double>(sums.q)),
                          owned(std::vector<double>(sums.logZ)).reshape({rows, orders}),
                          owned(std::vector<double>(sums.tauApparent)).reshape({rows - 1, orders}));
}

py::tuple partitionSumsOf(const py::handle& breaks, const py::handle& weights,
                          const std::vector<std::uint64_t>& bins, const py::handle& q,
                          unsigned threads) {
    const Cascade cascade(doubles(breaks, "break points"), doubles(weights, "weights"));
    const std::vector<double> orders = doubles(q, "q");
    double work = 0.0;
    for (const std::uint64_t n : bins) {
        work += static_cast<double>(n);
    }
    PartitionSums sums;
    runReleased(threads, work > kLengthyWork, [&](const RunControl& control) {
        sums = partitionSums(cascade, bins, orders, control);
    });
    return resultOf(sums);
}

// The scaled sums of blocks first .. first + count - 1 of N, shape (count, len(q), 3).
py::array_t<double> blockSumsOf(const py::handle& breaks, const py::handle& weights,
                                std::uint64_t bins, std::uint64_t first, std::uint64_t count,
                                const py::handle& q, unsigned threads) {
    const Cascade cascade(doubles(breaks, "break points"), doubles(weights, "weights"));
    const std::vector<double> orders = doubles(q, "q");
    std::vector<ScaledSum> sums;
    runReleased(threads, static_cast<double>(count * kPartitionBlock) > kLengthyWork,
                [&](const RunControl& control) {
                    sums = partitionBlockSums(cascade, bins, first, count, orders, control);
                });
    return triples(sums, static_cast<std::size_t>(count), orders.size());
}

// total (len(q), 3) with the blocks (k, len(q), 3) added in order: a new array.
py::array_t<double> foldOf(const py::handle& total, const py::handle& blocks, std::size_t orders) {
    std::vector<ScaledSum> sum = scaledSums(total, orders);
    if (sum.size() != orders) {
        throw InputError("a total holds one scaled sum for each order q");
    }
    foldBlockSums(sum, scaledSums(blocks, orders));
    return triples(sum, 1, orders).reshape({static_cast<py::ssize_t>(orders), py::ssize_t{3}});
}

// The checked result from the totals of each N, shape (len(bins), len(q), 3).
py::tuple resultFromTotals(const std::vector<std::uint64_t>& bins, const py::handle& q,
                           const py::handle& totals) {
    std::vector<double> orders = doubles(q, "q");
    const std::vector<ScaledSum> sums = scaledSums(totals, std::max<std::size_t>(orders.size(), 1));
    std::vector<double> logZ(sums.size());
    for (std::size_t i = 0; i < sums.size(); ++i) {
        logZ[i] = logOf(sums[i]);
    }
    return resultOf(partitionResult(bins, std::move(orders), std::move(logZ)));
}

} // namespace

void definePartition(py::module_& module) {
    module.attr("partition_block") = kPartitionBlock;
    module.def("partition_sums", &partitionSumsOf, py::arg("breaks"), py::arg("weights"),
               py::arg("bins"), py::arg("q"), py::arg("threads"));
    module.def("partition_block_sums", &blockSumsOf, py::arg("breaks"), py::arg("weights"),
               py::arg("bins"), py::arg("first"), py::arg("count"), py::arg("q"),
               py::arg("threads"));
    module.def("fold_block_sums", &foldOf, py::arg("total"), py::arg("blocks"), py::arg("orders"));
    module.def("partition_result", &resultFromTotals, py::arg("bins"), py::arg("q"),
               py::arg("totals"));
}

} // namespace veltrane::python
