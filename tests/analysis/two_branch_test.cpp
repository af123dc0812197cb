#include "AnalysisFixtures.h"

#include <bit>
#include <cmath>
#include <gtest/gtest.h>

namespace veltrane {
namespace {

using test::markedStore;
using test::twoBranch;

struct Point {
    int index;
    float lambda;
    float entropy;
    float dimension;
};

void expectPoint(const Module1& store, const Point& p) {
    SCOPED_TRACE(p.index);
    EXPECT_EQ(store.graph_x(1, p.index), p.lambda);
    EXPECT_EQ(store.graph_x(2, p.index), p.lambda);
    EXPECT_EQ(store.graph_y(1, p.index), p.entropy);
    EXPECT_EQ(store.graph_y(2, p.index), p.dimension);
}

TEST(TwoBranch, InitialTextGivesTheWorkedFiguresToTheLastBit) {
    Module1 store;
    const AnalysisOutcome outcome = twoBranch("0.3", store);
    ASSERT_EQ(outcome.status, Status::Completed);
    EXPECT_EQ(outcome.exponents, (std::vector<float>{1.2039728F, 0.35667497F}));
    expectPoint(store, {0, 0.35667497F, 0.0F, 0.0F});
    expectPoint(store, {1, 0.36514795F, 0.056001492F, 0.15336658F});
    expectPoint(store, {30, 0.61086434F, 0.61086434F, 1.0F});
    expectPoint(store, {50, 0.78032386F, 0.69314718F, 0.8882814F});
    expectPoint(store, {100, 1.2039728F, 0.0F, 0.0F});
    // Point 100 is 100 steps of 0.0084729781 above point 0, rounded once.
    EXPECT_EQ(store.graph_x(1, 100),
              static_cast<float>(100.0 * static_cast<double>(0.0084729781F) + 0.35667497));
    EXPECT_EQ(store.graph_n(1), 100);
    EXPECT_EQ(store.graph_n(2), 100);
    EXPECT_EQ(store.graph_count, 2);
    for (int j = 0; j <= 100; ++j) {
        EXPECT_LE(store.graph_y(2, j), 1.0F);
    }
}

TEST(TwoBranch, MirroredBreakPointGivesTheSameBits) {
    Module1 a;
    Module1 b;
    ASSERT_EQ(twoBranch("0.3", a).status, Status::Completed);
    ASSERT_EQ(twoBranch("0.7", b).status, Status::Completed);
    EXPECT_TRUE(a.sameBits(b));
}

TEST(TwoBranch, HalfHasOneExponentAndFullDimensionEverywhere) {
    Module1 store;
    ASSERT_EQ(twoBranch("0.5", store).status, Status::Completed);
    for (int j = 0; j <= 100; ++j) {
        expectPoint(store, {j, 0.69314718F, 0.69314718F, 1.0F});
    }
}

TEST(TwoBranch, ExtremeBreakPointsComplete) {
    Module1 store;
    ASSERT_EQ(twoBranch("0.999", store).status, Status::Completed);
    EXPECT_EQ(store.graph_x(1, 0), 0.0010004875F);
    EXPECT_EQ(store.graph_x(1, 100), 6.9077682F);

    ASSERT_EQ(twoBranch("1e-10", store).status, Status::Completed);
    EXPECT_EQ(store.graph_x(1, 0), 1.0000001e-10F);
    EXPECT_EQ(store.graph_x(1, 100), 23.02585F);
    EXPECT_EQ(store.graph_y(2, 1), 0.24321139F);
}

TEST(TwoBranch, BreakPointSoSmallThatOneMinusItIsOneEndsInZeroOverZero) {
    Module1 store = markedStore();
    const Module1 before = store;
    const AnalysisOutcome outcome = twoBranch("1e-20", store);
    EXPECT_EQ(outcome.status, Status::Failed);
    EXPECT_EQ(outcome.error, ErrorKind::InvalidOperation);
    EXPECT_TRUE(store.sameBits(before));
}

struct Refused {
    const char* name;
    const char* text;
    Status status;
    std::optional<ErrorKind> error;
};

class TwoBranchRefused : public ::testing::TestWithParam<Refused> {};

TEST_P(TwoBranchRefused, LeavesTheStoreExactlyAsItWas) {
    Module1 store = markedStore();
    const Module1 before = store;
    const AnalysisOutcome outcome = twoBranch(GetParam().text, store);
    EXPECT_EQ(outcome.status, GetParam().status);
    EXPECT_EQ(outcome.error, GetParam().error);
    if (outcome.status == Status::Rejected) {
        EXPECT_EQ(outcome.message, "C must be >0 and <1");
    } else {
        EXPECT_EQ(outcome.field, Field::C);
        EXPECT_EQ(outcome.fieldText, GetParam().text);
        EXPECT_NE(outcome.message.find(GetParam().text), std::string::npos);
    }
    EXPECT_TRUE(store.sameBits(before));
}

INSTANTIATE_TEST_SUITE_P(
    Inputs, TwoBranchRefused,
    ::testing::Values(Refused{"zero", "0", Status::Rejected, std::nullopt},
                      Refused{"one", "1", Status::Rejected, std::nullopt},
                      Refused{"negative", "-0.3", Status::Rejected, std::nullopt},
                      Refused{"aboveOne", "1.5", Status::Rejected, std::nullopt},
                      Refused{"negativeZero", "-0", Status::Rejected, std::nullopt},
                      Refused{"underflowsToZero", "1e-50", Status::Rejected, std::nullopt},
                      Refused{"empty", "", Status::Failed, ErrorKind::Conversion},
                      Refused{"word", "abc", Status::Failed, ErrorKind::Conversion},
                      Refused{"tooLarge", "1e39", Status::Failed, ErrorKind::Conversion}),
    [](const auto& row) { return std::string(row.param.name); });

} // namespace
} // namespace veltrane
