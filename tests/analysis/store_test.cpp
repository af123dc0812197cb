#include "AnalysisFixtures.h"

#include <cmath>
#include <gtest/gtest.h>
#include <random>
#include <sstream>

namespace veltrane {
namespace {

using test::markedStore;
using test::threeBranch;
using test::twoBranch;

TEST(Module1, StartsAtZero) {
    const Module1 store;
    EXPECT_EQ(store.graph_count, 0);
    for (int k = 0; k <= 3; ++k) {
        EXPECT_EQ(store.graph_n(k), 0);
        for (int j = 0; j <= 100; ++j) {
            EXPECT_EQ(store.graph_x(k, j), 0.0F);
            EXPECT_EQ(store.graph_y(k, j), 0.0F);
        }
    }
}

TEST(Module1, EveryIndexOutsideItsBoundsIsASubscriptError) {
    Module1 store;
    const std::pair<int, int> outside[] = {{-1, 0}, {4, 0}, {0, -1}, {0, 101}, {32767, 0}};
    for (const auto& [k, j] : outside) {
        EXPECT_THROW(store.graph_x(k, j), RuntimeError);
        EXPECT_THROW(store.graph_y(k, j), RuntimeError);
    }
    EXPECT_THROW(store.graph_n(-1), RuntimeError);
    EXPECT_THROW(store.graph_n(4), RuntimeError);
    try {
        store.graph_x(1, 101);
    } catch (const RuntimeError& e) {
        EXPECT_EQ(e.kind(), ErrorKind::SubscriptOutOfRange);
    }
    EXPECT_TRUE(store.sameBits(Module1{}));
}

TEST(Module1, SameBitsTellsNegativeZeroFromZero) {
    Module1 a;
    Module1 b;
    b.graph_y(3, 100) = -0.0F;
    EXPECT_FALSE(a.sameBits(b));
    b.graph_y(3, 100) = 0.0F;
    EXPECT_TRUE(a.sameBits(b));
}

// Invariants every completed analysis establishes, and its elements above graph_n kept.
void expectInvariants(const Module1& before, const Module1& after, const std::string& input) {
    SCOPED_TRACE(input);
    ASSERT_EQ(after.graph_count, 2);
    ASSERT_EQ(after.graph_n(1), after.graph_n(2));
    const int last = after.graph_n(1);
    ASSERT_GE(last, -1);
    ASSERT_LE(last, 100);
    for (int j = 0; j <= last; ++j) {
        ASSERT_EQ(after.graph_x(1, j), after.graph_x(2, j));
        ASSERT_TRUE(std::isfinite(after.graph_x(1, j)) && std::isfinite(after.graph_y(1, j)) &&
                    std::isfinite(after.graph_y(2, j)));
        ASSERT_GE(after.graph_y(1, j), 0.0F);
        ASSERT_LE(after.graph_y(1, j), 1.0986124F);
        ASSERT_GE(after.graph_y(2, j), 0.0F);
        if (j > 0) {
            ASSERT_GE(after.graph_x(1, j), after.graph_x(1, j - 1));
        }
    }
    for (int k = 1; k <= 2; ++k) {
        for (int j = last + 1; j <= 100; ++j) {
            ASSERT_EQ(std::bit_cast<std::uint32_t>(after.graph_y(k, j)),
                      std::bit_cast<std::uint32_t>(before.graph_y(k, j)));
        }
    }
    EXPECT_EQ(after.graph_n(3), before.graph_n(3));
    EXPECT_EQ(after.graph_n(0), before.graph_n(0));
}

std::string text(float value) {
    std::ostringstream out;
    out.precision(9);
    out << value;
    return out.str();
}

TEST(Module1, TwoBranchRunsOnRandomInputKeepTheInvariants) {
    std::mt19937 random(20261206);
    std::uniform_real_distribution<float> c(0.0F, 1.0F);
    Module1 store = markedStore();
    for (int run = 0; run < 3000; ++run) {
        const std::string input = text(c(random));
        const Module1 before = store;
        const AnalysisOutcome outcome = twoBranch(input, store);
        if (outcome.status != Status::Completed) {
            EXPECT_TRUE(store.sameBits(before)) << input;
            continue;
        }
        expectInvariants(before, store, input);
        ASSERT_EQ(store.graph_n(1), 100);
        ASSERT_LE(store.graph_y(2, 50), 1.0000001F);
    }
}

TEST(Module1, ThreeBranchRunsOnRandomInputKeepTheInvariants) {
    std::mt19937 random(61220);
    std::uniform_real_distribution<float> c(0.0F, 1.0F);
    Module1 store = markedStore();
    int completed = 0;
    for (int run = 0; run < 2000; ++run) {
        float c1 = c(random);
        float c2 = c(random);
        if (c1 > c2) {
            std::swap(c1, c2);
        }
        const Module1 before = store;
        const AnalysisOutcome outcome = threeBranch(text(c1), text(c2), store);
        if (outcome.status != Status::Completed) {
            EXPECT_TRUE(store.sameBits(before));
            continue;
        }
        ++completed;
        expectInvariants(before, store, text(c1) + " " + text(c2));
    }
    EXPECT_GT(completed, 1900);
}

TEST(Module1, ShorterRunLeavesTheEarlierPointsAboveItsLastIndex) {
    Module1 store;
    ASSERT_EQ(twoBranch("0.3", store).status, Status::Completed);
    const float stale = store.graph_x(1, 100);
    ASSERT_EQ(threeBranch("0.3", "0.4", store).status, Status::Completed);
    EXPECT_EQ(store.graph_n(1), 99);
    EXPECT_EQ(store.graph_x(1, 100), stale);
}

} // namespace
} // namespace veltrane
