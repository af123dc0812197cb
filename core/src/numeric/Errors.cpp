#include <veltrane/errors.h>

namespace veltrane {

std::string errorKindName(ErrorKind kind) {
    switch (kind) {
    case ErrorKind::Conversion:
        return "type mismatch";
    case ErrorKind::DivisionByZero:
        return "division by zero";
    case ErrorKind::InvalidOperation:
        return "invalid floating-point operation";
    case ErrorKind::Overflow:
        return "overflow";
    case ErrorKind::SubscriptOutOfRange:
        return "subscript out of range";
    case ErrorKind::Platform:
        return "platform error";
    case ErrorKind::Internal:
        return "internal error";
    }
    return "run-time error";
}

RuntimeError::RuntimeError(ErrorKind kind, const std::string& detail)
    : Error(detail.empty() ? errorKindName(kind) : errorKindName(kind) + ": " + detail),
      m_kind(kind), m_detail(detail) {}

Cancelled::Cancelled() : Error("cancelled") {}

} // namespace veltrane
