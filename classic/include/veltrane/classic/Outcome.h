#pragma once

#include <exception>
#include <string>
#include <vector>
#include <veltrane/classic/Errors.h>

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
    // Failed only: the error met, a ConversionError for a field text that cannot be read, else
    // a RuntimeError (SubscriptError among them).
    std::exception_ptr failure;
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

// Throws what an analysis that did not complete stands for, and returns for one that
// completed: RefusedValue with the analysis's text for a refused value, the ConversionError of
// a field text that cannot be read, the run-time error met otherwise. The command line, Python
// and the functions of classic.h turn an outcome into an error through it alone.
void throwUnlessCompleted(const AnalysisOutcome& outcome);

} // namespace veltrane::classic
