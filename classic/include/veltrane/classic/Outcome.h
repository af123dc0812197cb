#pragma once

#include <optional>
#include <string>
#include <vector>
#include <veltrane/classic/Fields.h>
#include <veltrane/errors.h>

namespace veltrane::classic {

enum class Status {
    Completed, // the store holds the new run
    Rejected,  // an input failed its range check; message holds the fixed text
    Failed,    // a run-time error; message names it
};

// What an analysis did. After Rejected or Failed the store is exactly as before the call.
struct AnalysisOutcome {
    Status status = Status::Completed;
    std::string message;
    std::optional<ErrorKind> error; // Failed only, with what failed beside the kind
    std::string detail;
    std::optional<Field> field; // conversion errors: the field and its text
    std::string fieldText;
    // Messages the analysis had for the user on the way, in order (entr3's "z1=0"): the windows
    // show each in a message box before anything else; kept whatever the status.
    std::vector<std::string> messages;

    // Completed only: the break points as singles and the branch exponents in the order of
    // the branches, left to right.
    std::vector<float> breakPoints;
    std::vector<float> exponents;

    // Work done, for tests and benchmarks.
    long entr3Calls = 0;
    long logarithms = 0;
};

// A conversion error: the field's text is not a number (a type mismatch), or a number too
// large for a single (an overflow). The message quotes the text, shortened when it is long.
class ConversionError : public RuntimeError {
public:
    ConversionError(Field field, std::string text, bool tooLarge);
    Field field() const { return m_field; }
    const std::string& text() const { return m_text; }

private:
    Field m_field;
    std::string m_text;
};

} // namespace veltrane::classic
