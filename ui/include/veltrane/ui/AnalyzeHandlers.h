#pragma once

#include <veltrane/classic/Fields.h>
#include <veltrane/classic/Module1.h>
#include <veltrane/classic/Outcome.h>
#include <veltrane/classic/TextToSingle.h>
#include <veltrane/widgets/MessageSink.h>

namespace veltrane::ui {

// What a completed analysis is presented with: the graph window's show_spectrum. The outcome
// tells which map it was, for the name a saved picture is offered.
class SpectrumPresenter {
public:
    virtual ~SpectrumPresenter() = default;
    virtual void show_spectrum(const classic::AnalysisOutcome& outcome) = 0;
};

// Everything an Analyze click touches besides the fields. All references must outlive it.
struct AnalyzeContext {
    classic::Module1& store;
    const classic::TextToSingle& toSingle;
    widgets::MessageSink& messages;
    SpectrumPresenter& presenter;
};

// The text of the message box that reports an analysis that did not complete: the fixed
// rejection text, or the run-time error with its kind (and, for a conversion error, the
// field and its text).
std::string outcomeMessage(const classic::AnalysisOutcome& outcome);

// Completed: show_spectrum. Rejected or Failed: one message box and nothing more. A run-time
// error raised while presenting is reported the same way; what was drawn before it stays.
void presentOutcome(const classic::AnalysisOutcome& outcome, const AnalyzeContext& context);

// The two Analyze click handlers: run the analysis on the fields' texts at this moment and
// present its outcome. The fields are only read. Returns what the analysis did.
classic::AnalysisOutcome cmd2branchs_Click(const classic::FieldSource& fields,
                                           const AnalyzeContext& context);
classic::AnalysisOutcome cmd3branches_Click(const classic::FieldSource& fields,
                                            const AnalyzeContext& context);

} // namespace veltrane::ui
