#include "ClassicRun.h"

#include "CommandError.h"
#include "ThreeBranch.h"
#include "TwoBranch.h"

#include <ostream>

namespace veltrane::cli {

namespace {

// entr3's guard message has no window to go to here.
class StderrMessages : public MessageSink {
public:
    explicit StderrMessages(std::ostream& err) : m_err(err) {}
    void showMessage(const std::string& text) override { m_err << text << '\n'; }

private:
    std::ostream& m_err;
};

} // namespace

AnalysisOutcome analyseTexts(const std::vector<std::string>& texts, const std::string& separator,
                             std::ostream& err, Module1& store) {
    const DecimalTextToSingle toSingle(separator);
    if (texts.size() == 1) {
        return runTwoBranch(FieldTexts{{Field::C, texts[0]}}, toSingle, store);
    }
    StderrMessages messages(err);
    return runThreeBranch(FieldTexts{{Field::C1, texts[0]}, {Field::C2, texts[1]}}, toSingle,
                          messages, store);
}

int failureStatus(const AnalysisOutcome& outcome) {
    return outcome.status == Status::Rejected || outcome.field ? kExitUsage : kExitRunTime;
}

std::string failureMessage(const AnalysisOutcome& outcome) {
    return outcome.status == Status::Rejected ? outcome.message : "veltrane: " + outcome.message;
}

} // namespace veltrane::cli
