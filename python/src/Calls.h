#pragma once

// What the bindings share: arrays handed to Python without a copy, numbers taken from any
// sequence, calls with the GIL released and answering Ctrl+C, and the library's errors as the
// package's exceptions.
#include <array>
#include <atomic>
#include <chrono>
#include <cstddef>
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <string>
#include <string_view>
#include <utility>
#include <vector>
#include <veltrane/errors.h>
#include <veltrane/internal/run.h>
#include <veltrane/run.h>

namespace veltrane::python {

namespace py = pybind11;

// The vector's values as a NumPy array that owns them: no copy is made.
template <typename T> py::array_t<T> owned(std::vector<T>&& values) {
    auto* heap = new std::vector<T>(std::move(values));
    const py::capsule free(heap, [](void* p) { delete static_cast<std::vector<T>*>(p); });
    return py::array_t<T>(static_cast<py::ssize_t>(heap->size()), heap->data(), free);
}

// K columns of the same length, filled row by row and handed over as K owned arrays.
template <typename T, std::size_t K> class Columns {
public:
    Columns() = default; // no rows yet: grown as they come
    explicit Columns(std::size_t rows) { grow(rows); }
    void reserve(std::size_t rows) {
        for (std::vector<T>& column : m_columns) {
            column.reserve(rows);
        }
    }
    void grow(std::size_t rows) {
        for (std::vector<T>& column : m_columns) {
            column.resize(std::max(column.size(), rows));
        }
    }
    void set(std::size_t row, const std::array<T, K>& values) {
        for (std::size_t k = 0; k < K; ++k) {
            m_columns[k][row] = values[k];
        }
    }
    py::tuple take() {
        py::tuple arrays(K);
        for (std::size_t k = 0; k < K; ++k) {
            arrays[k] = owned(std::move(m_columns[k]));
        }
        return arrays;
    }

private:
    std::array<std::vector<T>, K> m_columns;
};

// The numbers of any sequence or array (what names them in messages); InputError otherwise.
std::vector<double> doubles(const py::handle& values, const std::string& what);

// The numbers of a number or an array of any shape, as C-contiguous float64 (what names them in
// messages: "q", "x"); InputError otherwise.
py::array_t<double, py::array::c_style> numbersOfAnyShape(const py::handle& values,
                                                          const std::string& what);

// values in the shape of like (a 0-d array for a number).
py::array_t<double> shaped(std::vector<double>&& values,
                           const py::array_t<double, py::array::c_style>& like);

// out, checked to be a writable, C-contiguous, one-dimensional float64 array of n values.
py::array_t<double> writableTarget(const py::object& out, std::uint64_t n);

// Work units (points times branches, bins, cells) from which a call runs on a thread of its
// own and answers Ctrl+C; below, it ends within a few milliseconds anyway.
inline constexpr double kLengthyWork = 1e5;

// Runs work with the GIL released and a RunControl of the given threads (0: one a core). A
// lengthy call runs on a thread of its own while this one looks for signals every 20 ms: on
// Ctrl+C the run is cancelled, it stops within milliseconds leaving what it wrote, and
// KeyboardInterrupt is raised. Exceptions of work are thrown here.
template <typename Work> void runReleased(unsigned threads, bool lengthy, Work&& work) {
    std::atomic<bool> cancel{false};
    const RunControl control{threads, nullptr, &cancel};
    if (!lengthy) {
        const py::gil_scoped_release release;
        work(control);
        return;
    }
    bool interrupted = false;
    {
        const py::gil_scoped_release release;
        try {
            internal::runWatched([&] { work(control); }, std::chrono::milliseconds(20),
                                 [&] {
                                     if (interrupted) {
                                         return; // the run is stopping; the signal has been taken
                                     }
                                     const py::gil_scoped_acquire acquire;
                                     interrupted = PyErr_CheckSignals() != 0;
                                     cancel = interrupted;
                                 });
        } catch (...) {
            if (!interrupted) {
                throw;
            }
            // Cancelled, or whatever the run met as it stopped: the signal's exception, which
            // Python already holds, is the one raised.
        }
    }
    if (interrupted) {
        throw py::error_already_set(); // KeyboardInterrupt, or what the handler raised
    }
}

// text with each control byte (a NUL, which would end a C string there, or an escape
// sequence) written \xNN, for a message that quotes an input.
std::string visible(std::string_view text);

// InputError as veltrane.InputError (a ValueError), RuntimeError as veltrane.AnalysisError (an
// ArithmeticError) with its kind, Cancelled as KeyboardInterrupt.
void registerErrors(py::module_& module);

} // namespace veltrane::python
