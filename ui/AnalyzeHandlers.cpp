#include <veltrane/classic/ThreeBranch.h>
#include <veltrane/classic/TwoBranch.h>
#include <veltrane/ui/AnalyzeHandlers.h>

namespace veltrane::ui {
using namespace veltrane::classic;

std::string outcomeMessage(const AnalysisOutcome& outcome) {
    if (outcome.status == Status::Failed) {
        // The analysis names the error kind and what failed ("type mismatch: the text "abc"
        // of field C is not a number"); the prefix tells it apart from a refused value.
        return "Run-time error: " + outcome.message;
    }
    return outcome.message;
}

void presentOutcome(const AnalysisOutcome& outcome, const AnalyzeContext& context) {
    if (outcome.status != Status::Completed) {
        context.messages.showMessage(outcomeMessage(outcome));
        return;
    }
    try {
        context.presenter.show_spectrum(outcome);
    } catch (const RuntimeError& error) {
        // A fault while drawing ends the drawing, not the program.
        context.messages.showMessage(std::string("Run-time error: ") + error.what());
    }
}

AnalysisOutcome cmd2branchs_Click(const FieldSource& fields, const AnalyzeContext& context) {
    AnalysisOutcome outcome = runTwoBranch(fields, context.toSingle, context.store);
    presentOutcome(outcome, context);
    return outcome;
}

AnalysisOutcome cmd3branches_Click(const FieldSource& fields, const AnalyzeContext& context) {
    AnalysisOutcome outcome = runThreeBranch(fields, context.toSingle, context.store);
    // entr3's messages came while the analysis ran: each in its box, before anything else.
    for (const std::string& message : outcome.messages) {
        context.messages.showMessage(message);
    }
    presentOutcome(outcome, context);
    return outcome;
}

} // namespace veltrane::ui
