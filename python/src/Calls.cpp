#include "Calls.h"

#include <cctype>
#include <stdexcept>
#include <type_traits>
#include <utility>

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

py::array_t<double, py::array::c_style> numbersOfAnyShape(const py::handle& values,
                                                          const std::string& what) {
    auto array = py::array_t<double, py::array::c_style | py::array::forcecast>::ensure(values);
    if (!array) {
        PyErr_Clear();
        throw InputError(what + " must be a number or an array of numbers");
    }
    return array;
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

// The kinds are learnt from the compiler rather than listed here, so that the package binds
// whatever kinds the library has: the signature of enumeratorOf<K>() names the enumerator K where
// K is one, and shows a mere number otherwise. GCC writes "[with veltrane::ErrorKind K =
// veltrane::ErrorKind::Overflow; ...]" and "K = (veltrane::ErrorKind)7", Clang "[K =
// veltrane::ErrorKind::Overflow]". The enumerator's name ("Overflow"), or empty.
template <ErrorKind K> std::string_view enumeratorOf() {
    std::string_view value = __PRETTY_FUNCTION__;
    const std::size_t at = value.find("K = ");
    if (at == std::string_view::npos) {
        return {};
    }
    value = value.substr(at + 4);
    value = value.substr(0, value.find_first_of(";]"));
    const std::size_t scope = value.rfind("::");
    if (value.starts_with('(') || scope == std::string_view::npos) {
        return {};
    }
    return value.substr(scope + 2);
}

// An enumerator's name as Python spells a constant: "DivisionByZero" as "DIVISION_BY_ZERO".
std::string constantName(std::string_view enumerator) {
    std::string name;
    bool afterLower = false;
    for (const char c : enumerator) {
        const auto letter = static_cast<unsigned char>(c);
        if (afterLower && std::isupper(letter) != 0) {
            name += '_';
        }
        afterLower = std::isupper(letter) == 0;
        name += static_cast<char>(std::toupper(letter));
    }
    return name;
}

using KindNumber = std::underlying_type_t<ErrorKind>;
// The numbers tried: the kinds are numbered from 0 as declared (seven so far).
constexpr KindNumber kMostKinds = 64;

// The kinds among the numbers N, with their Python names, in order.
template <KindNumber... N>
std::vector<std::pair<ErrorKind, std::string>> kindsAmong(std::integer_sequence<KindNumber, N...>) {
    std::vector<std::pair<ErrorKind, std::string>> kinds;
    const auto add = [&kinds](ErrorKind kind, std::string_view enumerator) {
        if (!enumerator.empty()) {
            kinds.emplace_back(kind, constantName(enumerator));
        }
    };
    (add(static_cast<ErrorKind>(N), enumeratorOf<static_cast<ErrorKind>(N)>()), ...);
    return kinds;
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
The members are the library's kinds of run-time error, read from its own enum when the module
is built; ``name`` is a member's name and ``__members__`` maps every name to its member.

Examples
--------
>>> veltrane.ErrorKind.OVERFLOW.name
'OVERFLOW'
>>> veltrane.ErrorKind.__members__["OVERFLOW"] is veltrane.ErrorKind.OVERFLOW
True
)";

// veltrane.ErrorKind, a member for each kind of the library's ErrorKind, with its docstring.
void bindErrorKinds(py::module_& module) {
    const auto found = kindsAmong(std::make_integer_sequence<KindNumber, kMostKinds>{});
    if (found.empty()) { // a compiler that writes signatures otherwise: the tests would say so
        throw std::logic_error("the kinds of ErrorKind cannot be read from this compiler's "
                               "signatures");
    }
    py::enum_<ErrorKind> kinds(module, "ErrorKind");
    std::string doc = std::string(kErrorKindSummary) + "\nAttributes\n----------\n";
    for (const auto& [kind, name] : found) {
        kinds.value(name.c_str(), kind); // the name is copied
        doc += name + " : ErrorKind\n    " + errorKindName(kind) + "\n";
    }
    // A kind raised or unpickled is the member itself, as with Python's enums (pybind11 would
    // make a copy), so that `kind is ErrorKind.OVERFLOW` holds on a Dask client too.
    kinds.def("__reduce__", [](ErrorKind kind) {
        return py::make_tuple(
            py::module_::import("builtins").attr("getattr"),
            py::make_tuple(py::type::of<ErrorKind>(), py::cast(kind).attr("name")));
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
    const py::object kind = py::type::of<ErrorKind>().attr(py::cast(e.kind()).attr("name"));
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
            // classic::SubscriptError among them, with the core's kind for a fault of the
            // program.
            raise(e);
        } catch (const Cancelled&) {
            PyErr_SetNone(PyExc_KeyboardInterrupt);
        } catch (const Error& e) {
            raise(RuntimeError(ErrorKind::InvalidOperation, e.what()));
        }
    });
}

} // namespace veltrane::python
