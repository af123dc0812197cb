#pragma once

// One hierarchy for everything the library throws, so that a front end tells errors apart by
// their type, never by their text: a refused input, a run-time error of a computation, or a
// run cancelled through its RunControl.
#include <stdexcept>
#include <string>
#include <veltrane/export.h>

namespace veltrane {

// Every error the library throws.
class VELTRANE_API Error : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// An input that cannot be taken: a text that cannot be read as what it should hold, bad break
// points or weights, a count or range outside its limits. The message says where and why.
class VELTRANE_API InputError : public Error {
public:
    using Error::Error;
};

// Break points that cannot describe a map: the message names the offending value and where it
// stands ("break point 3 (0.2) must be greater than break point 2 (0.4)").
class VELTRANE_API BreakPointError : public InputError {
public:
    using InputError::InputError;
};

// Branch weights that cannot describe a measure: the message names the offending weight and
// its value ("weight 2 (-0.5) must be a positive finite number"), or the counts that differ.
class VELTRANE_API WeightError : public InputError {
public:
    using InputError::InputError;
};

// The kinds of run-time error the core's computations raise. Each ends the running operation;
// the caller reports it and the program goes on. The layers above add kinds of their own as
// classes of their own (the classic analyses' conversion and subscript errors).
enum class ErrorKind {
    DivisionByZero,   // x / 0 with x != 0, ln 0
    InvalidOperation, // 0 / 0, ln of a negative number, arithmetic on a NaN
    Overflow,         // a result beyond the range of its type, a 16-bit counter past 32767
    Internal,         // a result that breaks a bound the mathematics guarantees, or an index
                      // outside declared bounds: a fault of the program, reported in place of
                      // the result
};

// Short English name of the error kind, as shown to the user ("division by zero").
VELTRANE_API std::string errorKindName(ErrorKind kind);

// A computation that cannot go on: its message is the kind's name, then the detail.
class VELTRANE_API RuntimeError : public Error {
public:
    RuntimeError(ErrorKind kind, const std::string& detail);
    ErrorKind kind() const { return m_kind; }
    // What failed, without the kind's name; may be empty.
    const std::string& detail() const { return m_detail; }

protected:
    // A run-time error of a kind that a layer above names itself ("subscript out of range"):
    // the message is that name, then the detail; the core counts it as kind.
    RuntimeError(ErrorKind kind, const std::string& name, const std::string& detail);

private:
    ErrorKind m_kind;
    std::string m_detail;
};

// A long run stopped because its RunControl asked it to (run.h).
class VELTRANE_API Cancelled : public Error {
public:
    Cancelled();
};

} // namespace veltrane
