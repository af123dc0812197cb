// The exact solver against closed forms, on the maps of tests/data/core/exact.tsv and a
// map of many branches; its printed figures are approved in the command-line table.
#include "TestSupport.h"

#include <cmath>
#include <gtest/gtest.h>
#include <numeric>
#include <sstream>
#include <veltrane/errors.h>
#include <veltrane/exact.h>
#include <veltrane/internal/run.h>
#include <veltrane/maps.h>

namespace veltrane {
namespace {

constexpr double kEps = std::numeric_limits<double>::epsilon();

using test::numbers;

// -(p ln p + q ln q) with 0 ln 0 = 0.
double entropy2(double p, double q) {
    return (p == 0.0 ? 0.0 : -p * std::log(p)) + (q == 0.0 ? 0.0 : -q * std::log(q));
}

void twoBranchClosedForm(const std::vector<double>& c) {
    const std::vector<double> e = branchExponents(c);
    const double lo = std::min(e[0], e[1]);
    const double hi = std::max(e[0], e[1]);
    for (const std::size_t n : {std::size_t{101}, std::size_t{1001}}) {
        const std::vector<ExactPoint> points = exactSpectrum(c, n).points;
        ASSERT_EQ(points.size(), n);
        EXPECT_EQ(points.front().lyapunov, lo);
        EXPECT_EQ(points.back().lyapunov, hi);
        for (std::size_t i = 0; i < n; ++i) {
            const double l = points[i].lyapunov;
            EXPECT_NEAR(l, lo + (hi - lo) * static_cast<double>(i) / static_cast<double>(n - 1),
                        4 * kEps * hi);
            const double h = entropy2((hi - l) / (hi - lo), (l - lo) / (hi - lo));
            EXPECT_NEAR(points[i].entropy, h, 1e-12 * h) << "at " << l;
            EXPECT_NEAR(points[i].dimension, h / l, 1e-12 * h / l) << "at " << l;
        }
    }
}

void endsAreLogsOfMultiplicities(const std::vector<double>& b, double small, double large) {
    const ExactSolver solver(branchExponents(b));
    const std::vector<ExactPoint> p = solver.spectrum(101).points;
    EXPECT_EQ(p.front().entropy, std::log(small));
    EXPECT_EQ(p.back().entropy, std::log(large));
    EXPECT_EQ(p.front().dimension, p.front().entropy / p.front().lyapunov);
    EXPECT_EQ(p.front().beta, INFINITY);
    EXPECT_EQ(p.back().beta, -INFINITY);
    EXPECT_GT(p[1].entropy, p.front().entropy);
    EXPECT_GT(p[99].entropy, p.back().entropy);
    // An abscissa just beyond an end, as rounding may give, is taken at that end.
    EXPECT_EQ(solver.atLyapunov(solver.lambdaMin() * (1 - 1e-9)).entropy, p.front().entropy);
    EXPECT_EQ(solver.atLyapunov(solver.lambdaMax() * (1 + 1e-9)).entropy, p.back().entropy);
}

void onePointWhenAllBranchesAreAlike(const std::vector<double>& b) {
    const double n = static_cast<double>(b.size() + 1);
    const ExactSolver solver(branchExponents(b));
    const ExactSpectrum spectrum = solver.spectrum(101);
    ASSERT_EQ(spectrum.points.size(), 1U);
    EXPECT_EQ(spectrum.points[0].lyapunov, std::log(n));
    EXPECT_EQ(spectrum.points[0].entropy, std::log(n));
    EXPECT_EQ(spectrum.points[0].dimension, 1.0);
    EXPECT_EQ(spectrum.passes, 0);
    EXPECT_EQ(solver.atLyapunov(0.1).entropy, std::log(n));
    EXPECT_EQ(solver.atBeta(5.0).entropy, std::log(n));
}

void momentsAtBetaZeroAndOne(const std::vector<double>& b) {
    const std::vector<double> e = branchExponents(b);
    const ExactSolver solver(e);
    const double n = static_cast<double>(e.size());
    const double mean = std::accumulate(e.begin(), e.end(), 0.0) / n;
    EXPECT_NEAR(solver.atBeta(0.0).lyapunov, mean, 1e-14 * mean);
    EXPECT_NEAR(solver.atBeta(0.0).entropy, std::log(n), 1e-14 * std::log(n));
    EXPECT_NEAR(solver.atLyapunov(mean).entropy, std::log(n), 1e-14 * std::log(n));
    // β = 1 weighs each branch with its length: dimension 1, and the root found again there.
    const ExactPoint one = solver.atBeta(1.0);
    EXPECT_NEAR(one.dimension, 1.0, 4 * kEps);
    const ExactPoint found = solver.atLyapunov(one.lyapunov);
    EXPECT_NEAR(found.beta, 1.0, 1e-6);
    EXPECT_NEAR(found.dimension, 1.0, 4 * kEps);
    EXPECT_LT(solver.atBeta(0.5).dimension, 1.0);
    EXPECT_LT(solver.atBeta(2.0).dimension, 1.0);
}

TEST(ExactSolver, MeetsTheClosedFormsOfTheTable) {
    for (const test::Row& row : test::readTable("core/exact.tsv")) {
        SCOPED_TRACE(row[0] + " " + row[1]);
        const std::vector<double> b = numbers(row[1]);
        if (row[0] == "two") {
            twoBranchClosedForm(b);
        } else if (row[0] == "ends") {
            endsAreLogsOfMultiplicities(b, std::stod(row[2]), std::stod(row[3]));
        } else if (row[0] == "equal") {
            onePointWhenAllBranchesAreAlike(b);
        } else if (row[0] == "moments") {
            momentsAtBetaZeroAndOne(b);
        } else {
            ADD_FAILURE() << "unknown kind";
        }
    }
}

// 2^15 branches of length 2^-16 and 2^16 of length 2^-17 have two distinct exponents: the
// two-exponent entropy plus that of spreading each weight evenly over its branches.
TEST(ExactSolver, MergesEqualExponentsOfManyBranches) {
    std::vector<double> b;
    for (int i = 1; i < (1 << 15) + (1 << 16); ++i) {
        b.push_back(i <= (1 << 15) ? std::ldexp(i, -16) : 0.5 + std::ldexp(i - (1 << 15), -17));
    }
    const ExactSolver solver(branchExponents(b));
    ASSERT_EQ(solver.distinctCount(), 2U);
    EXPECT_EQ(solver.branchCount(), 98304U);
    const ExactSpectrum spectrum = solver.spectrum(101);
    const double small = solver.lambdaMin();
    const double large = solver.lambdaMax();
    EXPECT_NEAR(small, 16 * std::log(2.0), 4 * kEps * small);
    for (const ExactPoint& p : spectrum.points) {
        const double q = (p.lyapunov - small) / (large - small);
        const double h = entropy2(1 - q, q) + (15 + q) * std::log(2.0);
        EXPECT_NEAR(p.entropy, h, 1e-12 * h) << "at " << p.lyapunov;
    }
    // Newton from the previous point's tangent needs only a few evaluations a point; the two
    // ends alone need none.
    EXPECT_LT(spectrum.passes, 101 * 10);
    EXPECT_EQ(solver.spectrum(2).passes, 0);
}

// The graph window holds 101 points; the command line refuses more before it gets here.
} // namespace
} // namespace veltrane

namespace veltrane {
namespace {

// A long run reaches its sink a window at a time, in order and within the window's bytes,
// with the points of the whole vector on any number of threads.
TEST(ExactSolver, HandsLongRunsOverInBoundedWindows) {
    const std::vector<double> breaks{0.1, 0.5, 0.7};
    const ExactSolver solver(branchExponents(breaks));
    const std::size_t points = internal::kWindowBytes / sizeof(ExactPoint) * 2 + 5;
    const std::vector<ExactPoint> whole = solver.spectrum(points, {1}).points;
    std::size_t next = 0;
    std::size_t calls = 0;
    solver.spectrum(points, {2}, [&](std::size_t first, std::span<const ExactPoint> some) {
        ASSERT_EQ(first, next);
        ASSERT_LE(some.size() * sizeof(ExactPoint), internal::kWindowBytes);
        for (std::size_t i = 0; i < some.size(); ++i) {
            ASSERT_EQ(some[i].entropy, whole[first + i].entropy) << first + i;
            ASSERT_EQ(some[i].beta, whole[first + i].beta) << first + i;
        }
        next += some.size();
        ++calls;
    });
    EXPECT_EQ(next, points);
    EXPECT_GT(calls, 3U);
}

} // namespace
} // namespace veltrane
