#include "AnalysisRun.h"

#include <exception>
#include <veltrane/internal/text.h>
#include <veltrane/text.h>

namespace veltrane::classic {

namespace detail {

float readSingle(const FieldSource& fields, Field field, const TextToSingle& toSingle) {
    std::string text = fields.text(field);
    const auto value = toSingle.convert(text);
    if (!value) {
        const bool tooLarge = toSingle.tooLarge(text);
        throw ConversionError(field, std::move(text), tooLarge);
    }
    return *value;
}

AnalysisOutcome failure(const Error& error, std::vector<std::string> messages) {
    AnalysisOutcome outcome;
    outcome.messages = std::move(messages);
    outcome.status = Status::Failed;
    outcome.message = error.what();
    outcome.failure = std::current_exception();
    return outcome;
}

} // namespace detail

void throwUnlessCompleted(const AnalysisOutcome& outcome) {
    if (outcome.status == Status::Rejected) {
        throw RefusedValue(outcome.message);
    }
    if (outcome.status == Status::Failed) {
        std::rethrow_exception(outcome.failure);
    }
}
} // namespace veltrane::classic
