#pragma once

#include <stdexcept>
#include <string>

namespace veltrane {

// The kinds of run-time error the analyses and the plotter can raise. Each ends the
// running operation; the caller reports it and the program goes on.
enum class ErrorKind {
    Conversion,          // field text that is not a number, or too large for a single
    DivisionByZero,      // x / 0 with x != 0, ln 0
    InvalidOperation,    // 0 / 0, ln of a negative number, arithmetic on a NaN
    Overflow,            // a result beyond the single range, a 16-bit counter past 32767
    SubscriptOutOfRange, // an array index outside its declared bounds
    Platform,            // a failing platform service, such as printing
};

// Short English name of the error kind, as shown to the user ("division by zero").
std::string errorKindName(ErrorKind kind);

class RuntimeError : public std::runtime_error {
public:
    RuntimeError(ErrorKind kind, const std::string& detail);
    ErrorKind kind() const { return m_kind; }

private:
    ErrorKind m_kind;
};

} // namespace veltrane
