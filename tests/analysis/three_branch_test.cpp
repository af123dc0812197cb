#include "AnalysisFixtures.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <gtest/gtest.h>
#include <random>

namespace veltrane {
namespace {

using test::markedStore;
using test::RecordingMessages;
using test::threeBranch;

bool isNegativeZero(float value) {
    return value == 0.0F && std::signbit(value);
}

TEST(ThreeBranch, DefaultsStoreAllStepsWithTheEntropyPeakAt33And34) {
    Module1 store;
    const AnalysisOutcome outcome = threeBranch("0.2", "0.6", store);
    ASSERT_EQ(outcome.status, Status::Completed);
    EXPECT_EQ(outcome.exponents, (std::vector<float>{1.6094379F, 0.9162907F, 0.9162908F}));
    EXPECT_EQ(outcome.entr3Calls, 10302);
    EXPECT_EQ(store.graph_n(1), 100);
    EXPECT_EQ(store.graph_n(2), 100);
    EXPECT_EQ(store.graph_count, 2);
    EXPECT_EQ(store.graph_x(1, 0), 0.9162907F);
    EXPECT_EQ(store.graph_x(1, 100), 1.6094379F);
    for (const int end : {0, 100}) {
        EXPECT_TRUE(isNegativeZero(store.graph_y(1, end)));
        EXPECT_TRUE(isNegativeZero(store.graph_y(2, end)));
    }
    int peak = 0;
    for (int j = 1; j <= 100; ++j) {
        peak = store.graph_y(1, j) > store.graph_y(1, peak) ? j : peak;
    }
    EXPECT_EQ(peak, 33);
    EXPECT_EQ(store.graph_y(1, 34), store.graph_y(1, 33));
    EXPECT_NEAR(store.graph_y(1, 33), 1.0985, 5e-5);
    EXPECT_NEAR(store.graph_x(1, 33), 1.1450, 5e-5);
    EXPECT_NEAR(store.graph_x(1, 34), 1.1520, 5e-5);
    EXPECT_NEAR(store.graph_y(2, 33), 0.96, 5e-3);
    EXPECT_NEAR(store.graph_y(2, 34), 0.95, 5e-3);
}

TEST(ThreeBranch, EqualExponentsStoreOnePointWithoutSearching) {
    Module1 store = markedStore();
    const AnalysisOutcome outcome = threeBranch("0.33333333", "0.66666667", store);
    ASSERT_EQ(outcome.status, Status::Completed);
    EXPECT_EQ(outcome.entr3Calls, 0);
    EXPECT_EQ(store.graph_n(1), 0);
    EXPECT_EQ(store.graph_n(2), 0);
    EXPECT_EQ(store.graph_x(1, 0), 1.0986123F);
    EXPECT_EQ(store.graph_x(2, 0), 1.0986123F);
    EXPECT_EQ(store.graph_y(1, 0), 1.0986123F);
    EXPECT_EQ(store.graph_y(2, 0), 1.0F);
}

TEST(ThreeBranch, NearlyEqualExponentsRunTheFullSearch) {
    Module1 store;
    const AnalysisOutcome outcome = threeBranch("0.3333333", "0.6666667", store);
    ASSERT_EQ(outcome.status, Status::Completed);
    EXPECT_EQ(outcome.entr3Calls, 10302);
    for (int j = 0; j <= store.graph_n(1); ++j) {
        EXPECT_GE(store.graph_x(1, j), 1.0986122F);
        EXPECT_LE(store.graph_x(1, j), 1.0986123F);
    }
}

TEST(ThreeBranch, EqualFirstExponentsAreSwappedAwayFromTheDivisor) {
    Module1 store;
    RecordingMessages messages;
    const AnalysisOutcome outcome = threeBranch("0.25", "0.5", store, &messages);
    ASSERT_EQ(outcome.status, Status::Completed);
    EXPECT_TRUE(messages.shown.empty());
    // Reported in the order of the branches, whatever the search renumbered.
    EXPECT_EQ(outcome.exponents, (std::vector<float>{1.3862944F, 1.3862944F, 0.6931472F}));
    EXPECT_EQ(store.graph_n(1), 100);
    EXPECT_EQ(store.graph_x(1, 0), 0.6931472F);
    EXPECT_EQ(store.graph_y(1, 0), 0.0F);
    EXPECT_EQ(store.graph_x(1, 100), 1.3862944F);
    EXPECT_EQ(store.graph_y(1, 100), 0.6931472F);
    EXPECT_EQ(store.graph_y(2, 100), 0.5F);
}

TEST(ThreeBranch, StepWithoutFeasibleWeightsStoresNothing) {
    Module1 store = markedStore();
    const Module1 before = store;
    const AnalysisOutcome outcome = threeBranch("0.3", "0.4", store);
    ASSERT_EQ(outcome.status, Status::Completed);
    EXPECT_EQ(outcome.entr3Calls, 10302);
    EXPECT_EQ(store.graph_n(1), 99);
    EXPECT_EQ(store.graph_n(2), 99);
    EXPECT_NEAR(store.graph_x(1, 0), 0.52874, 5e-6);
    EXPECT_NEAR(store.graph_y(1, 0), 0.1076, 5e-5);
    EXPECT_EQ(store.graph_x(1, 99), 2.3025851F);
    EXPECT_EQ(store.graph_y(1, 99), 0.0F);
    EXPECT_EQ(store.graph_x(1, 100), before.graph_x(1, 100));
    EXPECT_EQ(store.graph_y(2, 100), before.graph_y(2, 100));
}

struct Refused {
    const char* name;
    const char* c1;
    const char* c2;
    const char* message;
};

class ThreeBranchRefused : public ::testing::TestWithParam<Refused> {};

TEST_P(ThreeBranchRefused, ShowsItsMessageAndLeavesTheStore) {
    Module1 store = markedStore();
    const Module1 before = store;
    const AnalysisOutcome outcome = threeBranch(GetParam().c1, GetParam().c2, store);
    EXPECT_EQ(outcome.status, Status::Rejected);
    EXPECT_EQ(outcome.message, GetParam().message);
    EXPECT_TRUE(store.sameBits(before));
}

constexpr const char* kRange = "These values must be >0 and <1";
constexpr const char* kOrder = "C1 must be less than C2";

INSTANTIATE_TEST_SUITE_P(Inputs, ThreeBranchRefused,
                         ::testing::Values(Refused{"c1Zero", "0", "0.5", kRange},
                                           Refused{"c2One", "0.5", "1", kRange},
                                           Refused{"bothNegative", "-0.2", "-0.1", kRange},
                                           Refused{"c1NegativeC2Large", "-1", "7", kRange},
                                           Refused{"reversed", "0.6", "0.4", kOrder},
                                           Refused{"equal", "0.5", "0.5", kOrder},
                                           Refused{"c1AboveOne", "1.5", "0.5", kOrder}),
                         [](const auto& row) { return std::string(row.param.name); });

TEST(ThreeBranch, ConversionErrorNamesTheFirstBadFieldBeforeAnyRangeCheck) {
    Module1 store = markedStore();
    const Module1 before = store;
    AnalysisOutcome outcome = threeBranch("x", "", store);
    EXPECT_EQ(outcome.status, Status::Failed);
    EXPECT_EQ(outcome.error, ErrorKind::Conversion);
    EXPECT_EQ(outcome.field, Field::C1);
    outcome = threeBranch("5", "1e39", store);
    EXPECT_EQ(outcome.field, Field::C2);
    EXPECT_EQ(outcome.fieldText, "1e39");
    EXPECT_TRUE(store.sameBits(before));
}

// The search one entr3 call after the other, as the steps read, for comparison with the
// analysis, which evaluates the trials of a step together.
Module1 searchCallByCall(const std::vector<float>& exponents) {
    RecordingMessages messages;
    Entr3Context context{messages};
    Exponents lm;
    for (int i = 1; i <= 3; ++i) {
        lm(i) = exponents[static_cast<std::size_t>(i - 1)];
    }
    const float lmin = std::min({lm(1), lm(2), lm(3)});
    const float lmax = std::max({lm(1), lm(2), lm(3)});
    if (lm(1) == lm(2)) {
        std::swap(lm(1), lm(3));
    }
    Module1 store;
    Weights a;
    float a3best = 0.0F;
    const std::int16_t n = 3;
    int k = -1;
    for (int step = 0; step <= 100; ++step) {
        const float l = static_cast<float>(lmin + (static_cast<double>(lmax) - lmin) * step / 100);
        float emax = 0.0F;
        for (a(3) = 0.0F; a(3) <= 1.0F; a(3) = a(3) + 0.01F) {
            const auto entropy = static_cast<float>(entr3(a, l, lm, n, context));
            if (entropy > emax) {
                emax = entropy;
                a3best = a(3);
            }
        }
        a(3) = a3best;
        emax = static_cast<float>(entr3(a, l, lm, n, context));
        if (emax >= 0.0F) {
            ++k;
            store.graph_y(1, k) = emax;
            store.graph_y(2, k) = static_cast<float>(static_cast<double>(emax) / l);
            store.graph_x(1, k) = l;
            store.graph_x(2, k) = l;
        }
    }
    store.graph_n(1) = static_cast<std::int16_t>(k);
    store.graph_n(2) = static_cast<std::int16_t>(k);
    store.graph_count = 2;
    return store;
}

TEST(ThreeBranch, StoresExactlyWhatCallingEntr3TrialByTrialGives) {
    std::mt19937 random(3);
    std::uniform_real_distribution<float> c(0.0F, 1.0F);
    std::vector<std::pair<float, float>> inputs = {{0.2F, 0.6F}, {0.3F, 0.4F}, {0.25F, 0.5F}};
    for (int i = 0; i < 60; ++i) {
        const float c1 = c(random);
        const float c2 = c(random);
        inputs.emplace_back(std::min(c1, c2), std::max(c1, c2));
    }
    for (const auto& [c1, c2] : inputs) {
        Module1 store;
        const AnalysisOutcome outcome = threeBranch(std::to_string(c1), std::to_string(c2), store);
        if (outcome.status != Status::Completed || outcome.entr3Calls == 0) {
            continue;
        }
        EXPECT_TRUE(store.sameBits(searchCallByCall(outcome.exponents)))
            << std::to_string(c1) << " " << std::to_string(c2);
    }
}

TEST(Entr3, GuardsAgainstEqualFirstExponentsWithItsMessage) {
    RecordingMessages messages;
    Entr3Context context{messages};
    Weights a;
    a(1) = 0.125F;
    a(2) = 0.25F;
    a(3) = 0.5F;
    Exponents lm;
    lm(1) = 1.0F;
    lm(2) = 1.0F;
    lm(3) = 2.0F;
    const float l = 1.5F;
    const std::int16_t n = 3;
    EXPECT_EQ(entr3(a, l, lm, n, context), 0.0);
    EXPECT_EQ(messages.shown, std::vector<std::string>{"z1=0"});
    EXPECT_EQ(a(1), 0.125F);
    EXPECT_EQ(a(2), 0.25F);
}

TEST(Entr3, SolvesTheConstraintsAndMarksInfeasibleWeights) {
    RecordingMessages messages;
    Entr3Context context{messages};
    Exponents lm;
    lm(1) = std::log(2.0F);
    lm(2) = std::log(4.0F);
    lm(3) = std::log(8.0F);
    Weights a;
    a(3) = 0.25F;
    const float l = 0.25F * lm(1) + 0.5F * lm(2) + 0.25F * lm(3);
    const std::int16_t n = 3;
    const double h = entr3(a, l, lm, n, context);
    EXPECT_NEAR(a(1), 0.25F, 1e-6);
    EXPECT_NEAR(a(2), 0.5F, 1e-6);
    EXPECT_NEAR(h, 1.5 * std::log(2.0), 1e-6);

    a(3) = 0.9F; // leaves a(1) + a(2) = 0.1 with a mean too low: a(2) = -0.8, a(1) = 0.9
    EXPECT_EQ(entr3(a, l, lm, n, context), -100.0);
    EXPECT_NEAR(a(2), -0.8F, 1e-6);
    EXPECT_NEAR(a(1), 0.9F, 1e-6);
    EXPECT_TRUE(messages.shown.empty());

    const std::int16_t tooMany = 6;
    a(3) = 0.25F;
    EXPECT_THROW(entr3(a, l, lm, tooMany, context), RuntimeError);
}

} // namespace
} // namespace veltrane
