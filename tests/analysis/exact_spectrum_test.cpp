#include "AnalysisFixtures.h"
#include "BreakPoints.h"
#include "ExactSpectrum.h"
#include "Module1.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <gtest/gtest.h>
#include <limits>
#include <numeric>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

namespace veltrane {
namespace {

constexpr double kEps = std::numeric_limits<double>::epsilon();
constexpr double kInf = std::numeric_limits<double>::infinity();

// |actual - expected| within rel of |expected|; exact where the expected value is 0.
testing::AssertionResult relativelyNear(double actual, double expected, double rel) {
    if (std::fabs(actual - expected) <= rel * std::fabs(expected)) {
        return testing::AssertionSuccess();
    }
    return testing::AssertionFailure() << actual << " differs from " << expected << " by "
                                       << std::fabs(actual - expected) / std::fabs(expected)
                                       << " relative (allowed " << rel << ")";
}

// Sorted, distinct break points of a map with the given number of branches.
std::vector<double> randomBreakPoints(std::size_t branches, unsigned seed) {
    std::mt19937_64 engine(seed);
    std::uniform_real_distribution<double> uniform(0.0, 1.0);
    std::vector<double> points;
    do {
        points.clear();
        for (std::size_t i = 0; i + 1 < branches; ++i) {
            points.push_back(uniform(engine));
        }
        std::sort(points.begin(), points.end());
    } while (std::adjacent_find(points.begin(), points.end()) != points.end() ||
             (!points.empty() && points.front() == 0.0));
    return points;
}

std::vector<double> lengthsOf(const std::vector<double>& breakPoints) {
    std::vector<double> lengths;
    double left = 0.0;
    for (const double b : breakPoints) {
        lengths.push_back(b - left);
        left = b;
    }
    lengths.push_back(1.0 - left);
    return lengths;
}

struct MapRow {
    const char* name;
    std::vector<double> breakPoints;
};

const auto kMaps = testing::Values(
    MapRow{"two_branches", {0.3}}, MapRow{"three_branches_defaults", {0.2, 0.6}},
    MapRow{"five_uneven", {0.05, 0.1, 0.5, 0.7}}, MapRow{"shared_exponents", {0.25, 0.5}},
    MapRow{"tiny_first_branch", {1e-12, 0.5}}, MapRow{"long_last_branch", {0.001, 0.002}});

class ExactMapTest : public testing::TestWithParam<MapRow> {};

TEST_P(ExactMapTest, BetaZeroIsLogOfBranchCountAtTheMeanExponent) {
    const std::vector<double> exponents = branchExponents(GetParam().breakPoints);
    const ExactSolver solver(exponents);
    const double n = static_cast<double>(exponents.size());
    const double mean = std::accumulate(exponents.begin(), exponents.end(), 0.0) / n;

    const ExactPoint atZero = solver.atBeta(0.0);
    EXPECT_TRUE(relativelyNear(atZero.lyapunov, mean, 1e-14));
    EXPECT_TRUE(relativelyNear(atZero.entropy, std::log(n), 1e-14));

    const ExactPoint atMean = solver.atLyapunov(mean);
    const double spread = solver.lambdaMax() - solver.lambdaMin();
    EXPECT_LE(std::fabs(atMean.beta) * spread, 1e-9);
    EXPECT_TRUE(relativelyNear(atMean.entropy, std::log(n), 1e-14));
}

TEST_P(ExactMapTest, BetaOneTakesTheLengthsAsWeightsWithDimensionOne) {
    const std::vector<double> exponents = branchExponents(GetParam().breakPoints);
    const std::vector<double> lengths = lengthsOf(GetParam().breakPoints);
    const ExactSolver solver(exponents);
    double mean = 0.0;
    for (std::size_t i = 0; i < lengths.size(); ++i) {
        mean += lengths[i] * exponents[i];
    }
    const ExactPoint atOne = solver.atBeta(1.0);
    EXPECT_TRUE(relativelyNear(atOne.lyapunov, mean, 1e-13));
    EXPECT_TRUE(relativelyNear(atOne.entropy, atOne.lyapunov, 1e-14));
    EXPECT_NEAR(atOne.dimension, 1.0, 4 * kEps);

    // Where few weight sits away from one exponent, λ hardly moves with β and β is poorly
    // determined by λ; what the root must satisfy is that its weights have mean λ.
    const ExactPoint found = solver.atLyapunov(atOne.lyapunov);
    EXPECT_TRUE(relativelyNear(solver.atBeta(found.beta).lyapunov, atOne.lyapunov, 1e-14));
    EXPECT_NEAR(found.beta, 1.0, 1e-6);
    EXPECT_NEAR(found.dimension, 1.0, 4 * kEps);
}

TEST_P(ExactMapTest, SolvingAPointAloneAgreesWithTheSweep) {
    const ExactSolver solver(branchExponents(GetParam().breakPoints));
    for (const ExactPoint& p : solver.spectrum(57).points) {
        const ExactPoint alone = solver.atLyapunov(p.lyapunov);
        EXPECT_EQ(alone.lyapunov, p.lyapunov);
        EXPECT_TRUE(relativelyNear(alone.entropy, p.entropy, 1e-13)) << "at " << p.lyapunov;
    }
}

TEST_P(ExactMapTest, GridIsEvenAndRunsFromEndToEnd) {
    const ExactSolver solver(branchExponents(GetParam().breakPoints));
    const std::size_t n = 1001;
    const std::vector<ExactPoint> points = solver.spectrum(n).points;
    ASSERT_EQ(points.size(), n);
    EXPECT_EQ(points.front().lyapunov, solver.lambdaMin());
    EXPECT_EQ(points.back().lyapunov, solver.lambdaMax());
    const double spread = solver.lambdaMax() - solver.lambdaMin();
    for (std::size_t i = 0; i < n; ++i) {
        const double expected = solver.lambdaMin() + spread * static_cast<double>(i) / 1000.0;
        EXPECT_NEAR(points[i].lyapunov, expected, 4 * kEps * solver.lambdaMax());
    }
}

INSTANTIATE_TEST_SUITE_P(Maps, ExactMapTest, kMaps,
                         [](const auto& row) { return std::string(row.param.name); });

struct EndRow {
    const char* name;
    std::vector<double> breakPoints;
    double sharingSmallest;
    double sharingLargest;
};

class ExactEndPointTest : public testing::TestWithParam<EndRow> {};

TEST_P(ExactEndPointTest, EntropyIsLogOfTheBranchesSharingTheEndExponent) {
    const EndRow& row = GetParam();
    const ExactSolver solver(branchExponents(row.breakPoints));
    const std::vector<ExactPoint> points = solver.spectrum(101).points;
    const ExactPoint& first = points.front();
    const ExactPoint& last = points.back();
    EXPECT_EQ(first.lyapunov, solver.lambdaMin());
    EXPECT_EQ(first.entropy, std::log(row.sharingSmallest));
    EXPECT_EQ(first.dimension, first.entropy / first.lyapunov);
    EXPECT_EQ(first.beta, kInf);
    EXPECT_EQ(last.lyapunov, solver.lambdaMax());
    EXPECT_EQ(last.entropy, std::log(row.sharingLargest));
    EXPECT_EQ(last.dimension, last.entropy / last.lyapunov);
    EXPECT_EQ(last.beta, -kInf);
    // Just inside the ends the curve rises from these values.
    EXPECT_GT(points[1].entropy, first.entropy);
    EXPECT_GT(points[99].entropy, last.entropy);
    // Abscissae beyond an end, as rounding may give, are taken at that end.
    EXPECT_EQ(solver.atLyapunov(solver.lambdaMin() * (1 - 1e-9)).entropy, first.entropy);
    EXPECT_EQ(solver.atLyapunov(solver.lambdaMax() * (1 + 1e-9)).entropy, last.entropy);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, ExactEndPointTest,
    testing::Values(EndRow{"two_branches", {0.3}, 1, 1},
                    // lengths 1/4, 1/4, 1/2
                    EndRow{"two_share_largest", {0.25, 0.5}, 1, 2},
                    // lengths 1/2, 1/4, 1/4
                    EndRow{"two_share_largest_at_right", {0.5, 0.75}, 1, 2},
                    // lengths 1/8, 1/8, 1/4, 1/4, 1/4
                    EndRow{"three_share_smallest", {0.125, 0.25, 0.5, 0.75}, 3, 2}),
    [](const auto& row) { return std::string(row.param.name); });

struct EqualRow {
    const char* name;
    std::vector<double> breakPoints;
};

class ExactEqualExponentsTest : public testing::TestWithParam<EqualRow> {};

TEST_P(ExactEqualExponentsTest, GiveOnePointWithLogNAndDimensionOne) {
    const std::vector<double> exponents = branchExponents(GetParam().breakPoints);
    const double n = static_cast<double>(exponents.size());
    const ExactSolver solver(exponents);
    EXPECT_EQ(solver.distinctCount(), 1U);
    const ExactSpectrum spectrum = solver.spectrum(101);
    ASSERT_EQ(spectrum.points.size(), 1U);
    const ExactPoint& p = spectrum.points.front();
    EXPECT_EQ(p.lyapunov, std::log(n));
    EXPECT_EQ(p.entropy, std::log(n));
    EXPECT_EQ(p.dimension, 1.0);
    EXPECT_EQ(spectrum.evaluations, 0);
    EXPECT_EQ(solver.atLyapunov(0.1).entropy, std::log(n));
    EXPECT_EQ(solver.atBeta(5.0).entropy, std::log(n));
}

INSTANTIATE_TEST_SUITE_P(
    Rows, ExactEqualExponentsTest,
    testing::Values(EqualRow{"halves", {0.5}}, EqualRow{"quarters", {0.25, 0.5, 0.75}},
                    EqualRow{"eighths", {0.125, 0.25, 0.375, 0.5, 0.625, 0.75, 0.875}}),
    [](const auto& row) { return std::string(row.param.name); });

struct TwoBranchRow {
    const char* name;
    double c;
};

class ExactTwoBranchTest : public testing::TestWithParam<TwoBranchRow> {};

// The two-branch analysis's closed form, in double: the weights are fixed by λ.
TEST_P(ExactTwoBranchTest, MatchesTheClosedFormOfTheTwoBranchAnalysis) {
    const double c = GetParam().c;
    const std::vector<double> exponents = branchExponents({c});
    const double lambdaMin = std::min(exponents[0], exponents[1]);
    const double lambdaMax = std::max(exponents[0], exponents[1]);
    for (const std::size_t n : {std::size_t{101}, std::size_t{1001}}) {
        const std::vector<ExactPoint> points = exactSpectrum({c}, n).points;
        ASSERT_EQ(points.size(), n);
        for (const ExactPoint& p : points) {
            const double l = p.lyapunov;
            const double p1 = std::fabs((l - lambdaMax) / (lambdaMin - lambdaMax));
            const double p2 = std::fabs((l - lambdaMin) / (lambdaMax - lambdaMin));
            const double h =
                (p1 == 0.0 ? 0.0 : -p1 * std::log(p1)) + (p2 == 0.0 ? 0.0 : -p2 * std::log(p2));
            EXPECT_TRUE(relativelyNear(p.entropy, h, 1e-12)) << "c " << c << " at " << l;
            EXPECT_TRUE(relativelyNear(p.dimension, h / l, 1e-12)) << "c " << c << " at " << l;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Rows, ExactTwoBranchTest,
    testing::Values(TwoBranchRow{"c_0_3", 0.3}, TwoBranchRow{"c_0_7", 0.7},
                    TwoBranchRow{"c_0_1", 0.1}, TwoBranchRow{"c_0_499", 0.499},
                    TwoBranchRow{"c_0_999", 0.999}, TwoBranchRow{"c_1e_10", 1e-10},
                    TwoBranchRow{"c_1e_300", 1e-300},
                    TwoBranchRow{"c_one_ulp_below_1", 1.0 - std::ldexp(1.0, -53)},
                    // exponents a few ulps apart: β of order 1e15
                    TwoBranchRow{"c_one_ulp_above_half", 0.5 + std::ldexp(1.0, -53)}),
    [](const auto& row) { return std::string(row.param.name); });

struct SearchRow {
    const char* name;
    const char* c1;
    const char* c2;
};

class ClassicSearchTest : public testing::TestWithParam<SearchRow> {};

// The grid search maximises over a subset of the weights the exact solution ranges over, on
// the same single exponents, so it can only exceed the exact entropy by its own rounding: its
// weights and its entropy are singles, about one single ulp of max(h, 1) together.
TEST_P(ClassicSearchTest, EntropyIsNeverAboveTheExactOneBeyondSingleRounding) {
    const SearchRow& row = GetParam();
    Module1 store;
    test::RecordingMessages messages;
    const AnalysisOutcome outcome = test::threeBranch(row.c1, row.c2, store, &messages);
    ASSERT_EQ(outcome.status, Status::Completed);
    EXPECT_TRUE(messages.shown.empty());
    const ExactSolver solver({outcome.exponents[0], outcome.exponents[1], outcome.exponents[2]});
    ASSERT_GE(store.graph_n(1), 0);
    for (int j = 0; j <= store.graph_n(1); ++j) {
        const double l = store.graph_x(1, j);
        const double exact = solver.atLyapunov(l).entropy;
        EXPECT_LE(store.graph_y(1, j), exact + FLT_EPSILON * std::max(1.0, exact))
            << "point " << j << " at " << l;
    }
}

INSTANTIATE_TEST_SUITE_P(Rows, ClassicSearchTest,
                         testing::Values(SearchRow{"defaults", "0.2", "0.6"},
                                         SearchRow{"first_step_infeasible", "0.3", "0.4"},
                                         SearchRow{"first_two_exponents_equal", "0.25", "0.5"},
                                         SearchRow{"wide_middle", "0.1", "0.9"},
                                         SearchRow{"narrow_middle", "0.45", "0.55"},
                                         SearchRow{"short_first_branches", "0.01", "0.02"},
                                         SearchRow{"near_thirds", "0.3333333", "0.6666667"},
                                         SearchRow{"long_first_branch", "0.7", "0.8"},
                                         SearchRow{"uneven", "0.0604135916", "0.616816342"}),
                         [](const auto& row) { return std::string(row.param.name); });

// Random maps with 2 to 50 branches: h is concave, 0 ≤ h ≤ ln n, β falls along the curve, and
// D ≤ 1 with equality only where β = 1.
TEST(ExactRandomMaps, AreConcaveWithDimensionOneOnlyAtBetaOne) {
    for (std::size_t branches = 2; branches <= 50; ++branches) {
        SCOPED_TRACE("branches " + std::to_string(branches));
        const ExactSolver solver(
            branchExponents(randomBreakPoints(branches, static_cast<unsigned>(branches))));
        const std::vector<ExactPoint> p = solver.spectrum(201).points;
        ASSERT_EQ(p.size(), 201U);
        const double logN = std::log(static_cast<double>(branches));
        for (std::size_t i = 0; i < p.size(); ++i) {
            EXPECT_GE(p[i].entropy, 0.0);
            EXPECT_LE(p[i].entropy, logN * (1 + 4 * kEps));
            EXPECT_LE(p[i].dimension, 1.0 + 4 * kEps) << "at " << p[i].lyapunov;
            if (std::fabs(p[i].beta - 1.0) > 1e-6) {
                EXPECT_LT(p[i].dimension, 1.0) << "beta " << p[i].beta;
            }
            if (i > 0) {
                EXPECT_LT(p[i].beta, p[i - 1].beta);
            }
            if (i > 0 && i + 1 < p.size()) {
                // Second differences on the even grid; the allowance covers the rounding of
                // each abscissa times the slope β there.
                const double second = p[i - 1].entropy - 2 * p[i].entropy + p[i + 1].entropy;
                const double allowance =
                    16 * kEps * (1 + std::fabs(p[i].beta)) * solver.lambdaMax();
                EXPECT_LE(second, allowance) << "at " << p[i].lyapunov;
            }
        }
        EXPECT_NEAR(solver.atBeta(1.0).dimension, 1.0, 4 * kEps);
        // Away from β = 1 the dimension drops clearly below 1.
        EXPECT_LT(solver.atBeta(0.5).dimension, 1.0 - 1e-6);
        EXPECT_LT(solver.atBeta(2.0).dimension, 1.0 - 1e-6);
    }
}

// 2^15 branches of length 2^-16 and 2^16 of length 2^-17: two distinct exponents, so the
// maximum is the two-exponent one plus the entropy of spreading each weight over its branches.
TEST(ExactLargeMaps, MergesEqualExponentsOfManyBranches) {
    std::vector<double> breakPoints;
    double b = 0.0;
    for (int i = 0; i < (1 << 15); ++i) {
        b += std::ldexp(1.0, -16);
        breakPoints.push_back(b);
    }
    for (int i = 0; i + 1 < (1 << 16); ++i) {
        b += std::ldexp(1.0, -17);
        breakPoints.push_back(b);
    }
    const ExactSolver solver(branchExponents(breakPoints));
    EXPECT_EQ(solver.branchCount(), 98304U);
    ASSERT_EQ(solver.distinctCount(), 2U);
    const ExactSpectrum spectrum = solver.spectrum(101);
    const double small = solver.lambdaMin(); // ln 2^16
    const double large = solver.lambdaMax(); // ln 2^17
    EXPECT_NEAR(small, 16 * std::log(2.0), 4 * kEps * small);
    EXPECT_NEAR(large, 17 * std::log(2.0), 4 * kEps * large);
    EXPECT_EQ(spectrum.points.front().entropy, std::log(32768.0));
    EXPECT_EQ(spectrum.points.back().entropy, std::log(65536.0));
    for (const ExactPoint& p : spectrum.points) {
        const double q = std::fabs((p.lyapunov - small) / (large - small)); // weight on 2^-17
        const double h = (q == 1.0 ? 0.0 : -(1 - q) * std::log(1 - q)) +
                         (q == 0.0 ? 0.0 : -q * std::log(q)) + (1 - q) * 15 * std::log(2.0) +
                         q * 16 * std::log(2.0);
        EXPECT_TRUE(relativelyNear(p.entropy, h, 1e-12)) << "at " << p.lyapunov;
    }
    // Newton from the previous point's tangent needs only a few evaluations per point.
    EXPECT_LT(spectrum.evaluations, 101 * 10);
}

TEST(ExactLargeMaps, HandleAHundredThousandBranchesAndAMillionPoints) {
    const ExactSolver many(branchExponents(randomBreakPoints(100000, 5)));
    EXPECT_EQ(many.branchCount(), 100000U);
    const std::vector<ExactPoint> few = many.spectrum(11).points;
    ASSERT_EQ(few.size(), 11U);
    EXPECT_EQ(few[5].lyapunov, many.lambdaMin() + (many.lambdaMax() - many.lambdaMin()) * 5 / 10);
    for (const ExactPoint& p : few) {
        EXPECT_TRUE(std::isfinite(p.entropy));
        EXPECT_LE(p.dimension, 1.0 + 4 * kEps);
    }

    const ExactSolver three(branchExponents({0.2, 0.6}));
    const std::vector<ExactPoint> dense = three.spectrum(1000000).points;
    ASSERT_EQ(dense.size(), 1000000U);
    EXPECT_EQ(dense.back().lyapunov, three.lambdaMax());
    for (std::size_t i = 1; i < dense.size(); ++i) {
        ASSERT_GE(dense[i].lyapunov, dense[i - 1].lyapunov);
        ASSERT_LE(dense[i].dimension, 1.0 + 4 * kEps);
    }
}

TEST(ExactSolverInput, RefusesWhatCannotBeAMap) {
    EXPECT_THROW(ExactSolver(std::vector<double>{}), std::invalid_argument);
    EXPECT_THROW(ExactSolver({0.5, -1.0}), std::invalid_argument);
    EXPECT_THROW(ExactSolver({0.5, 0.0}), std::invalid_argument);
    EXPECT_THROW(ExactSolver({0.5, kInf}), std::invalid_argument);
    EXPECT_THROW(ExactSolver({0.5, 1.0}).spectrum(1), std::invalid_argument);
    EXPECT_THROW(exactSpectrum({0.5, 0.5}, 101), BreakPointError);
    EXPECT_EQ(ExactSolver({0.5, 1.0}).spectrum(2).points.size(), 2U);
}

} // namespace
} // namespace veltrane
