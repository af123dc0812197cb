#include "AnalyzeHandlers.h"
#include "ThreeBranch.h"
#include "TwoBranch.h"

#include <gtest/gtest.h>
#include <optional>
#include <string>
#include <vector>

namespace veltrane {
namespace {

class RecordingMessages : public MessageSink {
public:
    void showMessage(const std::string& text) override { texts.push_back(text); }
    std::vector<std::string> texts;
};

class CountingPresenter : public SpectrumPresenter {
public:
    void show_spectrum() override {
        ++calls;
        if (fault) {
            throw RuntimeError(*fault, "while drawing");
        }
    }
    int calls = 0;
    std::optional<ErrorKind> fault;
};

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
        ClickCase{"TwoBranchZero",
                  Button::TwoBranch,
                  {{Field::C, "0"}},
                  Status::Rejected,
                  kTwoBranchRangeMessage},
        ClickCase{"TwoBranchNotANumber",
                  Button::TwoBranch,
                  {{Field::C, "abc"}},
                  Status::Failed,
                  "Run-time error: type mismatch: the text \"abc\" of field C is not a number"},
        ClickCase{"TwoBranchEmpty",
                  Button::TwoBranch,
                  {{Field::C, ""}},
                  Status::Failed,
                  "Run-time error: type mismatch: the text \"\" of field C is not a number"},
        ClickCase{"TwoBranchTooLargeForSingle",
                  Button::TwoBranch,
                  {{Field::C, "1e39"}},
                  Status::Failed,
                  "Run-time error: type mismatch: the text \"1e39\" of field C is not a number"},
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
        ClickCase{"ThreeBranchRange",
                  Button::ThreeBranch,
                  {{Field::C1, "0.2"}, {Field::C2, "1"}},
                  Status::Rejected,
                  kThreeBranchRangeMessage},
        ClickCase{"ThreeBranchSecondNotANumber",
                  Button::ThreeBranch,
                  {{Field::C1, "0.2"}, {Field::C2, "x"}},
                  Status::Failed,
                  "Run-time error: type mismatch: the text \"x\" of field C2 is not a number"}),
    [](const auto& row) { return std::string(row.param.name); });

TEST(AnalyzeClick, ArithmeticFaultIsReportedNamingTheError) {
    // C = 1e-20 makes the second branch exponent 0, and the dimension at λ = 0 is 0 / 0.
    Module1 store;
    const Module1 before = store;
    const DecimalTextToSingle toSingle;
    RecordingMessages messages;
    CountingPresenter presenter;
    const AnalysisOutcome outcome =
        cmd2branchs_Click(FieldTexts{{Field::C, "1e-20"}}, {store, toSingle, messages, presenter});
    EXPECT_EQ(outcome.status, Status::Failed);
    ASSERT_EQ(messages.texts.size(), 1U);
    EXPECT_EQ(messages.texts[0].rfind("Run-time error: " + errorKindName(*outcome.error), 0), 0U)
        << messages.texts[0];
    EXPECT_EQ(presenter.calls, 0);
    EXPECT_TRUE(store.sameBits(before));
}

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

TEST(AnalyzeClick, LocaleSeparatorIsAcceptedBesideThePoint) {
    Module1 store;
    const DecimalTextToSingle toSingle(",");
    RecordingMessages messages;
    CountingPresenter presenter;
    const AnalyzeContext context{store, toSingle, messages, presenter};
    EXPECT_EQ(cmd2branchs_Click(FieldTexts{{Field::C, "0,3"}}, context).status, Status::Completed);
    const Module1 comma = store;
    EXPECT_EQ(cmd2branchs_Click(FieldTexts{{Field::C, "0.3"}}, context).status, Status::Completed);
    EXPECT_TRUE(store.sameBits(comma));
    EXPECT_TRUE(messages.texts.empty());
}

} // namespace
} // namespace veltrane
