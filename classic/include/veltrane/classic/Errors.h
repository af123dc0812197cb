#pragma once

// The classic analyses' own errors, beside the core's arithmetic ones: a field text they cannot
// read, a value their range checks refuse, and an index outside the bounds of the graph data
// store or of their arrays.
#include <string>
#include <veltrane/classic/Fields.h>
#include <veltrane/errors.h>

namespace veltrane::classic {

// A field's text that is not a number (a type mismatch) or a number too large for a single (an
// overflow): "type mismatch: the text "abc" of field C is not a number", the text shortened
// when it is long. A refused input: the windows show it as their run-time error, the command
// line refuses it (status 2) and Python raises InputError.
class ConversionError : public InputError {
public:
    ConversionError(Field field, std::string text, bool tooLarge);
    Field field() const { return m_field; }
    const std::string& text() const { return m_text; }

private:
    Field m_field;
    std::string m_text;
};

// A value an analysis's range check refuses, in the analysis's own fixed words ("C must be >0
// and <1"), which the command line prints as they are.
class RefusedValue : public InputError {
public:
    using InputError::InputError;
};

// An index outside declared bounds: "subscript out of range: graph index 4". A fault of the
// program, which the core counts as an internal error.
class SubscriptError : public RuntimeError {
public:
    explicit SubscriptError(const std::string& detail);
};

} // namespace veltrane::classic
