#include "Calls.h"

#include <veltrane/classic/Errors.h>

namespace veltrane::python {

std::vector<double> doubles(const py::handle& values, const std::string& what) {
    const auto array =
        py::array_t<double, py::array::c_style | py::array::forcecast>::ensure(values);
    if (!array || array.ndim() > 1) {
        PyErr_Clear();
        throw InputError(what + " must be a sequence of numbers");
    }
    return {array.data(), array.data() + array.size()};
}

py::array_t<double> shaped(std::vector<double>&& values,
                           const py::array_t<double, py::array::c_style>& like) {
    std::vector<py::ssize_t> shape(like.shape(), like.shape() + like.ndim());
    return owned(std::move(values)).reshape(shape);
}

py::array_t<double> writableTarget(const py::object& out, std::uint64_t n) {
    if (!py::isinstance<py::array>(out)) {
        throw InputError("out must be a NumPy array");
    }
    const auto array = py::reinterpret_borrow<py::array>(out);
    if (!array.dtype().is(py::dtype::of<double>()) || array.ndim() != 1 ||
        (array.flags() & py::array::c_style) == 0 || !array.writeable()) {
        throw InputError("out must be a writable, C-contiguous, one-dimensional float64 array");
    }
    if (static_cast<std::uint64_t>(array.shape(0)) != n) {
        throw InputError("out holds " + std::to_string(array.shape(0)) + " values where " +
                         std::to_string(n) + " are asked for");
    }
    return py::reinterpret_borrow<py::array_t<double>>(out);
}

std::string visible(std::string_view text) {
    std::string shown;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7f) {
            constexpr std::string_view kHex = "0123456789abcdef";
            shown += {'\\', 'x', kHex[byte >> 4], kHex[byte & 15]};
        } else {
            shown += c;
        }
    }
    return shown;
}

namespace {

const char* kindName(ErrorKind kind) {
    switch (kind) {
    case ErrorKind::DivisionByZero:
        return "DIVISION_BY_ZERO";
    case ErrorKind::InvalidOperation:
        return "INVALID_OPERATION";
    case ErrorKind::Overflow:
        return "OVERFLOW";
    case ErrorKind::Internal:
        return "INTERNAL";
    }
    return "INVALID_OPERATION";
}

// The package's exception classes live in veltrane._errors, already imported by then (a look-up
// in sys.modules), so that Python code can raise, catch and pickle them as any other.
py::object errorClass(const char* name) {
    return py::module_::import("veltrane._errors").attr(name);
}

// The message as Python text, shown as visible() shows it, bytes that are not UTF-8 as
// Python's surrogate escapes.
py::str messageOf(const char* what) {
    const std::string shown = visible(what);
    return py::reinterpret_steal<py::str>(PyUnicode_DecodeUTF8(
        shown.data(), static_cast<py::ssize_t>(shown.size()), "surrogateescape"));
}

void raise(const InputError& e) {
    PyErr_SetObject(errorClass("InputError").ptr(), messageOf(e.what()).ptr());
}

void raise(const RuntimeError& e, const char* kind) {
    const py::object type = errorClass("AnalysisError");
    const py::object error = type(messageOf(e.what()), errorClass("ErrorKind").attr(kind));
    PyErr_SetObject(type.ptr(), error.ptr());
}

} // namespace

void registerErrors(py::module_& module) {
    const py::module_ errors = py::module_::import("veltrane._errors");
    module.attr("InputError") = errors.attr("InputError");
    module.attr("AnalysisError") = errors.attr("AnalysisError");
    // pybind11 takes translators of exactly this signature, the pointer by value.
    // NOLINTNEXTLINE(performance-unnecessary-value-param)
    py::register_exception_translator([](std::exception_ptr failure) {
        try {
            if (failure) {
                std::rethrow_exception(failure);
            }
        } catch (const InputError& e) {
            raise(e);
        } catch (const classic::SubscriptError& e) {
            raise(e, "SUBSCRIPT_OUT_OF_RANGE"); // the windows' store's kind, not the core's
        } catch (const RuntimeError& e) {
            raise(e, kindName(e.kind()));
        } catch (const Cancelled&) {
            PyErr_SetNone(PyExc_KeyboardInterrupt);
        } catch (const Error& e) {
            raise(RuntimeError(ErrorKind::InvalidOperation, e.what()), "INVALID_OPERATION");
        }
    });
}

} // namespace veltrane::python
