#include <veltrane/errors.h>

namespace veltrane {

std::string errorKindName(ErrorKind kind) {
    switch (kind) {
    case ErrorKind::DivisionByZero:
        return "division by zero";
    case ErrorKind::InvalidOperation:
        return "invalid floating-point operation";
    case ErrorKind::Overflow:
        return "overflow";
    case ErrorKind::Internal:
        return "internal error";
    }
    return "run-time error";
}

RuntimeError::RuntimeError(ErrorKind kind, const std::string& detail)
    : RuntimeError(kind, errorKindName(kind), detail) {}

RuntimeError::RuntimeError(ErrorKind kind, const std::string& name, const std::string& detail)
    : Error(detail.empty() ? name : name + ": " + detail), m_kind(kind), m_detail(detail) {}

Cancelled::Cancelled() : Error("cancelled") {}

} // namespace veltrane
