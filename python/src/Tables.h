#pragma once

// Sweeps: the same solver over a table of maps or measures, one a row, the rows shared out over
// the threads.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <string>

namespace veltrane::python {

namespace py = pybind11;

// The exponent named (Orders.h) of every measure of the tables (breaks: rows of k break
// points, weights: rows of k + 1 weights) at every q: shape (rows,) + q's shape, each row
// checked against the bounds. Messages name a row by firstRow + its index.
py::array_t<double> tableOrders(const py::handle& breaks, const py::handle& weights,
                                const py::handle& q, const std::string& exponent, unsigned threads,
                                std::size_t firstRow);

// The exact spectral diagram of every map of the table over points exponents: the branch
// exponents (rows, k + 1) and lyapunov, entropy, dimension, beta, each (rows, points). A map of
// branches of equal length, whose diagram is one point, has it at every column.
py::tuple tableExact(const py::handle& breaks, std::size_t points, unsigned threads,
                     std::size_t firstRow);

} // namespace veltrane::python
