#include "AnalyzeHandlers.h"
#include "QtTestSupport.h"

#include <gtest/gtest.h>
#include <optional>
#include <string>
#include <vector>

namespace veltrane {
namespace {

using test::CountingPresenter;
using test::RecordingMessages;

enum class Button { TwoBranch, ThreeBranch };

struct ClickCase {
    const char* name;
    Button button;
    FieldTexts fields;
    Status status;
    std::string message; // empty: no message box
};

void PrintTo(const ClickCase& c, std::ostream* os) {
    *os << c.name;
}

class AnalyzeClick : public ::testing::TestWithParam<ClickCase> {};

TEST_P(AnalyzeClick, PresentsTheOutcomeAndChangesTheStoreOnlyWhenCompleted) {
    const ClickCase& c = GetParam();
    Module1 store;
    store.graph_x(1, 5) = 42.0F; // something the analysis would overwrite
    const Module1 before = store;
    const DecimalTextToSingle toSingle;
    RecordingMessages messages;
    CountingPresenter presenter;
    const AnalyzeContext context{store, toSingle, messages, presenter};

    const FieldTexts fieldsBefore = c.fields;
    const AnalysisOutcome outcome = c.button == Button::TwoBranch
                                        ? cmd2branchs_Click(c.fields, context)
                                        : cmd3branches_Click(c.fields, context);

    EXPECT_EQ(outcome.status, c.status);
    if (c.status == Status::Completed) {
        EXPECT_EQ(presenter.calls, 1);
        EXPECT_TRUE(messages.texts.empty());
        EXPECT_EQ(store.graph_count, 2);
        EXPECT_FALSE(store.sameBits(before));
    } else {
        EXPECT_EQ(presenter.calls, 0);
        ASSERT_EQ(messages.texts.size(), 1U);
        EXPECT_EQ(messages.texts[0], c.message);
        EXPECT_TRUE(store.sameBits(before));
    }
    for (const Field f : {Field::C, Field::C1, Field::C2}) {
        EXPECT_EQ(c.fields.text(f), fieldsBefore.text(f)) << fieldName(f);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, AnalyzeClick,
    ::testing::Values(
        ClickCase{
            "TwoBranchDefault", Button::TwoBranch, {{Field::C, "0.3"}}, Status::Completed, ""},
        ClickCase{"TwoBranchAboveOne",
                  Button::TwoBranch,
                  {{Field::C, "1.5"}},
                  Status::Rejected,
                  kTwoBranchRangeMessage},
        ClickCase{"TwoBranchNotANumber",
                  Button::TwoBranch,
                  {{Field::C, "abc"}},
                  Status::Failed,
                  "Run-time error: type mismatch: the text \"abc\" of field C is not a number"},
        // C = 1e-20 makes the second branch exponent 0: the dimension at λ = 0 is 0 / 0.
        ClickCase{"TwoBranchArithmeticFault",
                  Button::TwoBranch,
                  {{Field::C, "1e-20"}},
                  Status::Failed,
                  "Run-time error: invalid floating-point operation: 0 / 0"},
        ClickCase{"ThreeBranchDefaults",
                  Button::ThreeBranch,
                  {{Field::C1, "0.2"}, {Field::C2, "0.6"}},
                  Status::Completed,
                  ""},
        ClickCase{"ThreeBranchOrder",
                  Button::ThreeBranch,
                  {{Field::C1, "0.6"}, {Field::C2, "0.4"}},
                  Status::Rejected,
                  kThreeBranchOrderMessage},
        ClickCase{"ThreeBranchSecondNotANumber",
                  Button::ThreeBranch,
                  {{Field::C1, "0.2"}, {Field::C2, "x"}},
                  Status::Failed,
                  "Run-time error: type mismatch: the text \"x\" of field C2 is not a number"}),
    [](const auto& row) { return std::string(row.param.name); });

TEST(AnalyzeClick, FaultWhileDrawingIsReportedAndKeepsTheNewStore) {
    Module1 store;
    const DecimalTextToSingle toSingle;
    RecordingMessages messages;
    CountingPresenter presenter;
    presenter.fault = ErrorKind::Overflow;
    const AnalysisOutcome outcome =
        cmd2branchs_Click(FieldTexts{{Field::C, "0.3"}}, {store, toSingle, messages, presenter});
    EXPECT_EQ(outcome.status, Status::Completed);
    EXPECT_EQ(presenter.calls, 1);
    ASSERT_EQ(messages.texts.size(), 1U);
    EXPECT_EQ(messages.texts[0], "Run-time error: overflow: while drawing");
    EXPECT_EQ(store.graph_count, 2);
}

} // namespace
} // namespace veltrane
