#include "Calls.h"

#include <type_traits>

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

// The name of a kind in Python, or nullptr for a number that is no kind. This switch is the one
// list of the kinds outside the library: -Wswitch (an error here) stops a build in which a kind
// of ErrorKind is missing from it, and the enum of the package and its type stubs are made
// from it.
const char* pythonName(ErrorKind kind) {
    switch (kind) {
    case ErrorKind::Conversion:
        return "CONVERSION";
    case ErrorKind::DivisionByZero:
        return "DIVISION_BY_ZERO";
    case ErrorKind::InvalidOperation:
        return "INVALID_OPERATION";
    case ErrorKind::Overflow:
        return "OVERFLOW";
    case ErrorKind::SubscriptOutOfRange:
        return "SUBSCRIPT_OUT_OF_RANGE";
    case ErrorKind::Platform:
        return "PLATFORM";
    case ErrorKind::Internal:
        return "INTERNAL";
    }
    return nullptr;
}

// The docstring of veltrane.ErrorKind, whose Attributes, a kind each, are written in between.
constexpr const char* kErrorKindSummary =
    "What went wrong in an analysis: the kind of an AnalysisError.\n";
constexpr const char* kErrorKindNotes = R"(
See Also
--------
AnalysisError : The error whose ``kind`` it is.

Notes
-----
The members are the library's kinds of run-time error, bound from its own list; ``name``
is a member's name and ``__members__`` maps every name to its member.

Examples
--------
>>> veltrane.ErrorKind.OVERFLOW.name
'OVERFLOW'
>>> veltrane.ErrorKind.__members__["OVERFLOW"] is veltrane.ErrorKind.OVERFLOW
True
)";

// veltrane.ErrorKind, a member for each kind of the library's ErrorKind. Its kinds are numbered
// from 0 in the order they are declared; every number a byte holds is tried, so that a kind
// given a number of its own further on is bound as well.
void bindErrorKinds(py::module_& module) {
    py::enum_<ErrorKind> kinds(module, "ErrorKind");
    std::string doc = std::string(kErrorKindSummary) + "\nAttributes\n----------\n";
    using Number = std::underlying_type_t<ErrorKind>;
    for (Number n = 0; n < 256; ++n) {
        const auto kind = static_cast<ErrorKind>(n);
        if (const char* name = pythonName(kind)) {
            kinds.value(name, kind);
            doc += std::string(name) + " : ErrorKind\n    " + errorKindName(kind) + "\n";
        }
    }
    // A kind raised or unpickled is the member itself, as with Python's enums (pybind11 would
    // make a copy), so that `kind is ErrorKind.OVERFLOW` holds on a Dask client too.
    kinds.def("__reduce__", [](ErrorKind kind) {
        return py::make_tuple(py::module_::import("builtins").attr("getattr"),
                              py::make_tuple(py::type::of<ErrorKind>(), pythonName(kind)));
    });
    // pybind11 makes the docstring a property of the class, which help() does not read (it
    // shows none): the class gets its text instead.
    py::delattr(kinds, "__doc__");
    py::setattr(kinds, "__doc__", py::str(doc + kErrorKindNotes));
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

void raise(const RuntimeError& e) {
    const py::object type = errorClass("AnalysisError");
    const py::object kind = py::type::of<ErrorKind>().attr(pythonName(e.kind()));
    const py::object error = type(messageOf(e.what()), kind);
    PyErr_SetObject(type.ptr(), error.ptr());
}

} // namespace

void registerErrors(py::module_& module) {
    bindErrorKinds(module);
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
        } catch (const RuntimeError& e) {
            raise(e);
        } catch (const Cancelled&) {
            PyErr_SetNone(PyExc_KeyboardInterrupt);
        } catch (const Error& e) {
            raise(RuntimeError(ErrorKind::InvalidOperation, e.what()));
        }
    });
}

} // namespace veltrane::python
