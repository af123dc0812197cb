#pragma once

#include <cmath>
#include <cstdint>
#include <veltrane/errors.h>

// Floating-point arithmetic that raises a RuntimeError where the hardware would raise an
// invalid-operation, division-by-zero or overflow exception; underflow and inexact results
// pass silently. Every operand reaching these helpers is finite unless the data itself holds
// a NaN or infinity, so testing the result after each operation is the same as testing the
// exception flags, without depending on how the compiler orders flag accesses.
//
// All helpers work in double: differences, products and quotients of singles are formed in
// double and rounded only where a result is stored, through toSingle().
namespace veltrane::classic::checked {

[[noreturn, gnu::cold]] void raise(ErrorKind kind, const char* what);

// Raises invalid operation for a NaN, overflow for an infinity.
[[noreturn, gnu::cold]] void raiseNonFinite(double r, const char* what);

inline double finite(double r, const char* what) {
    if (!std::isfinite(r)) [[unlikely]] {
        raiseNonFinite(r, what);
    }
    return r;
}

inline double add(double a, double b) {
    return finite(a + b, "addition");
}
inline double sub(double a, double b) {
    return finite(a - b, "subtraction");
}
inline double mul(double a, double b) {
    return finite(a * b, "multiplication");
}

inline double div(double a, double b) {
    if (b == 0.0) [[unlikely]] {
        // IEEE 754: 0/0 is an invalid operation, x/0 with x != 0 a division by zero.
        raise(a == 0.0 || std::isnan(a) ? ErrorKind::InvalidOperation : ErrorKind::DivisionByZero,
              "0 / 0");
    }
    return finite(a / b, "division");
}

inline double ln(double a) {
    if (!(a > 0.0)) [[unlikely]] {
        raise(a == 0.0 ? ErrorKind::DivisionByZero : ErrorKind::InvalidOperation,
              "logarithm of a number that is not positive");
    }
    return finite(std::log(a), "logarithm");
}

// Rounds a double to the nearest single. A finite double whose rounding would give an
// infinity is an overflow: the smallest such magnitude is halfway between FLT_MAX and 2^128.
inline float toSingle(double d) {
    constexpr double kOverflowThreshold = 0x1.ffffffp+127;
    if (!(std::fabs(d) < kOverflowThreshold)) [[unlikely]] {
        raise(std::isnan(d) ? ErrorKind::InvalidOperation : ErrorKind::Overflow,
              "rounding to single");
    }
    return static_cast<float>(d);
}

// 16-bit signed counters: a step past 32767 is an overflow.
inline void increment(std::int16_t& counter) {
    if (counter == INT16_MAX) [[unlikely]] {
        raise(ErrorKind::Overflow, "16-bit counter");
    }
    ++counter;
}

} // namespace veltrane::classic::checked
