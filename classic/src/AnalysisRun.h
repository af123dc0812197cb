#pragma once

#include <veltrane/classic/Module1.h>
#include <veltrane/classic/Outcome.h>
#include <veltrane/classic/TextToSingle.h>

namespace veltrane::classic::detail {

// Reads one field as a single, or throws ConversionError.
float readSingle(const FieldSource& fields, Field field, const TextToSingle& toSingle);

// The outcome of an error the analysis met (the one being handled), with its message and the
// messages the analysis had before it.
AnalysisOutcome failure(const Error& error, std::vector<std::string> messages);

// Runs an analysis body on a scratch copy of the store and commits the copy only when the
// body completes, so a rejection or a run-time error leaves the store exactly as it was.
// The body fills the outcome and returns normally; run-time errors are thrown.
template <typename Body> AnalysisOutcome runCommitted(Module1& store, Body&& body) {
    AnalysisOutcome outcome;
    Module1 scratch = store;
    try {
        body(scratch, outcome);
    } catch (const ConversionError& e) {
        return failure(e, std::move(outcome.messages));
    } catch (const RuntimeError& e) {
        return failure(e, std::move(outcome.messages));
    }
    if (outcome.status == Status::Completed) {
        store = scratch;
    }
    return outcome;
}

inline void reject(AnalysisOutcome& outcome, const char* text) {
    outcome.status = Status::Rejected;
    outcome.message = text;
}

} // namespace veltrane::classic::detail
