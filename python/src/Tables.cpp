#include "Tables.h"

#include "Calls.h"
#include "Orders.h"

#include <algorithm>
#include <cstddef>
#include <limits>
#include <span>
#include <string>
#include <vector>
#include <veltrane/errors.h>
#include <veltrane/exact.h>
#include <veltrane/maps.h>
#include <veltrane/multifractal.h>
#include <veltrane/run.h>

namespace veltrane::python {

namespace {

// Rows are handed to the threads this many at a time: a row's work is some microseconds.
constexpr std::size_t kRowBlock = 64;

// A table of numbers, one map or measure a row, copied out of Python's hands.
class Table {
public:
    Table(const py::handle& values, const std::string& what) {
        const auto array =
            py::array_t<double, py::array::c_style | py::array::forcecast>::ensure(values);
        if (!array || array.ndim() != 2) {
            PyErr_Clear();
            throw InputError(what + " must be a table of numbers, one row a measure");
        }
        m_rows = static_cast<std::size_t>(array.shape(0));
        m_columns = static_cast<std::size_t>(array.shape(1));
        m_values.assign(array.data(), array.data() + array.size());
    }
    std::size_t rows() const { return m_rows; }
    std::size_t columns() const { return m_columns; }
    std::span<const double> row(std::size_t i) const {
        return std::span<const double>(m_values).subspan(i * m_columns, m_columns);
    }

private:
    std::vector<double> m_values;
    std::size_t m_rows = 0;
    std::size_t m_columns = 0;
};

// work(i) for every row over the threads; an error names the row it came from, counted from
// firstRow (the place of a Dask block's first row in the whole table).
template <typename Work>
void forEachRow(std::size_t rows, std::size_t firstRow, const RunControl& control,
                const Work& work) {
    forEachBlock(rows, kRowBlock, control, [&](std::size_t first, std::size_t count) {
        for (std::size_t i = first; i < first + count; ++i) {
            const std::string where = "measure " + std::to_string(firstRow + i) + ": ";
            try {
                work(i);
            } catch (const InputError& e) {
                throw InputError(where + e.what());
            } catch (const RuntimeError& e) {
                throw RuntimeError(e.kind(), where + e.detail());
            }
        }
        checkCancelled(control);
    });
}

// rows × perRow values, four arrays of doubles of them at most, must be addressable: the
// product is refused before it could wrap around.
void checkSize(std::size_t rows, std::size_t perRow) {
    constexpr std::size_t kMostValues = std::numeric_limits<std::ptrdiff_t>::max() / 32;
    if (rows != 0 && perRow > kMostValues / rows) {
        throw InputError(std::to_string(rows) + " rows of " + std::to_string(perRow) +
                         " values each are more than an array can hold");
    }
}

} // namespace

py::array_t<double> tableOrders(const py::handle& breaks, const py::handle& weights,
                                const py::handle& q, const std::string& exponent, unsigned threads,
                                std::size_t firstRow) {
    const Exponent which = exponentNamed(exponent);
    const Table breakTable(breaks, "break points");
    const Table weightTable(weights, "weights");
    if (weightTable.rows() != breakTable.rows()) {
        throw InputError(std::to_string(weightTable.rows()) + " rows of weights given for " +
                         std::to_string(breakTable.rows()) + " rows of break points");
    }
    const auto qs = numbersOfAnyShape(q, "q");
    const auto perRow = static_cast<std::size_t>(qs.size());
    checkSize(breakTable.rows(), perRow);
    std::vector<double> out(breakTable.rows() * perRow);
    const std::vector<double> orders(qs.data(), qs.data() + perRow);
    const double work = static_cast<double>(out.size() + breakTable.rows()) *
                        static_cast<double>(weightTable.columns());
    runReleased(threads, work > kLengthyWork, [&](const RunControl& control) {
        forEachRow(breakTable.rows(), firstRow, control, [&](std::size_t i) {
            const MultifractalSolver solver(breakTable.row(i), weightTable.row(i));
            solveExponent(solver, orders, which, std::span(out).subspan(i * perRow, perRow),
                          RunControl{1, nullptr, control.cancel});
        });
    });
    std::vector<py::ssize_t> shape{static_cast<py::ssize_t>(breakTable.rows())};
    shape.insert(shape.end(), qs.shape(), qs.shape() + qs.ndim());
    return owned(std::move(out)).reshape(shape);
}

py::tuple tableExact(const py::handle& breaks, std::size_t points, unsigned threads,
                     std::size_t firstRow) {
    const Table breakTable(breaks, "break points");
    const std::size_t rows = breakTable.rows();
    const std::size_t branches = breakTable.columns() + 1;
    checkSize(rows, points);
    std::vector<double> exponents(rows * branches);
    Columns<double, 4> columns(rows * points);
    const double work = static_cast<double>(rows * points) * static_cast<double>(branches);
    runReleased(threads, work > kLengthyWork, [&](const RunControl& control) {
        forEachRow(rows, firstRow, control, [&](std::size_t i) {
            const std::vector<double> own = branchExponents(breakTable.row(i));
            std::copy(own.begin(), own.end(), exponents.begin() + i * branches);
            const ExactSpectrum spectrum =
                ExactSolver(own).spectrum(points, RunControl{1, nullptr, control.cancel});
            for (std::size_t j = 0; j < points; ++j) {
                const ExactPoint& p = spectrum.points[std::min(j, spectrum.points.size() - 1)];
                columns.set(i * points + j, {p.lyapunov, p.entropy, p.dimension, p.beta});
            }
        });
    });
    const auto asTable = [rows](const py::handle& flat, std::size_t width) {
        return flat.cast<py::array>().reshape(
            {static_cast<py::ssize_t>(rows), static_cast<py::ssize_t>(width)});
    };
    const py::tuple flat = columns.take();
    py::tuple arrays(flat.size());
    for (std::size_t k = 0; k < flat.size(); ++k) {
        arrays[k] = asTable(flat[k], points);
    }
    return py::make_tuple(asTable(owned(std::move(exponents)), branches), arrays);
}

} // namespace veltrane::python
