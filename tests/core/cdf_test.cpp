// The distribution function of a Bernoulli measure and its survival function against 50-digit
// references (tests/data/core/cdf.tsv, written by cdf-reference.py beside it), and against the
// bin masses they are the sums of.
#include "TestSupport.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <gtest/gtest.h>
#include <limits>
#include <quadmath.h>
#include <random>
#include <veltrane/cascade.h>
#include <veltrane/errors.h>

namespace veltrane {
namespace {

__extension__ typedef __float128 Quad;

using test::numbers;

// The one tolerance of these tests: got within tolerance of want relative to want; a value
// below the normal range of doubles (which loses digits) only has to stay there.
bool within(double got, Quad want, double tolerance) {
    const Quad allowed = tolerance * (want < 0 ? -want : want) + (want < DBL_MIN ? DBL_MIN : 0);
    const Quad error = got - want;
    return (error < 0 ? -error : error) <= allowed;
}

std::string text(Quad value) {
    char buffer[64];
    quadmath_snprintf(buffer, sizeof buffer, "%.30Qg", value);
    return buffer;
}

double at(const Cascade& cascade, double x, bool survival) {
    double out = 0.0;
    if (survival) {
        cascade.survival({&x, 1}, {&out, 1});
    } else {
        cascade.cdf({&x, 1}, {&out, 1});
    }
    return out;
}

TEST(CascadeCdf, MatchesTheReference) {
    for (const test::Row& row : test::readTable("core/cdf.tsv")) {
        SCOPED_TRACE(row[0] + " at " + row[3]);
        const Cascade cascade(numbers(row[1]), numbers(row[2]));
        const double x = std::strtod(row[3].c_str(), nullptr); // stod refuses subnormals
        const double tolerance = std::stod(row[6]);
        const Quad f = strtoflt128(row[4].c_str(), nullptr);
        const Quad s = strtoflt128(row[5].c_str(), nullptr);
        const double gotF = at(cascade, x, false);
        const double gotS = at(cascade, x, true);
        EXPECT_TRUE(within(gotF, f, tolerance)) << gotF << " against " << text(f);
        EXPECT_TRUE(within(gotS, s, tolerance)) << gotS << " against " << text(s);
        if (x == 0.0 || x == 1.0) {
            EXPECT_EQ(gotF, x); // exactly
            EXPECT_EQ(gotS, 1.0 - x);
        }
    }
}

// The measures of the reference table, for the checks that need no reference.
std::vector<Cascade> measures() {
    std::vector<Cascade> all;
    std::string last;
    for (const test::Row& row : test::readTable("core/cdf.tsv")) {
        if (row[0] != last) {
            all.emplace_back(numbers(row[1]), numbers(row[2]));
            last = row[0];
        }
    }
    return all;
}

// F at the ends k / N against the bins: F((k + 1) / N) - F(k / N) is bin k and F(k / N) the sum
// of bins 0 .. k - 1, each within 2e-15 of F((k + 1) / N): the rounding of two values of F and
// of the bins, each a few units of 2^-53 of itself, that of the weights included (1e-15 is the
// largest seen); F(0) = 0 and F(1) = 1 exactly.
void endsAreSumsOfBins(const Cascade& cascade, std::uint64_t n) {
    SCOPED_TRACE("N = " + std::to_string(n));
    constexpr double kTolerance = 2e-15;
    std::vector<double> ends(n + 1);
    std::vector<double> bins(n);
    cascade.cdfAtBins(n, 0, ends);
    cascade.binMasses(n, 0, bins);
    EXPECT_EQ(ends.front(), 0.0);
    EXPECT_EQ(ends.back(), 1.0);
    Quad sum = 0;
    for (std::uint64_t k = 0; k < n; ++k) {
        sum += bins[k];
        ASSERT_TRUE(within(ends[k + 1] - ends[k], bins[k], kTolerance * ends[k + 1] / bins[k]))
            << k;
        ASSERT_TRUE(within(ends[k + 1], sum, kTolerance)) << k;
    }
    // A range holds the same bits as the whole.
    const std::uint64_t first = n / 3;
    std::vector<double> part(std::min<std::uint64_t>(n - first, 5) + 1);
    cascade.cdfAtBins(n, first, part);
    EXPECT_TRUE(std::equal(part.begin(), part.end(), ends.begin() + static_cast<long>(first)));
}

TEST(CascadeCdf, AtBinEndsIsTheSumOfTheBins) {
    const std::vector<Cascade> all = measures();
    for (const Cascade& cascade : all) {
        for (const std::uint64_t n : {1, 2, 3, 1000, 4096}) {
            endsAreSumsOfBins(cascade, n);
        }
    }
    endsAreSumsOfBins(all[1], (std::uint64_t{1} << 20) + 1);
}

// On sorted random points F does not fall and 1 - F does not rise by more than their rounding
// (two units of 2^-53 of either value: where the measure between two points is below a unit in
// the last place of F, as it is across the light cells of uneven weights, the two values may
// come out in either order), F + (1 - F) is 1 within 4 units of 2^-53, and the values are the
// same bits on one thread and on three.
TEST(CascadeCdf, IsMonotoneAndTheSameOnAnyThreads) {
    std::mt19937_64 random(28);
    std::uniform_real_distribution<double> uniform(0.0, 1.0);
    std::vector<double> x(20'000);
    std::generate(x.begin(), x.end(), [&] { return uniform(random); });
    std::sort(x.begin(), x.end());
    for (const Cascade& cascade : measures()) {
        std::vector<double> f(x.size());
        std::vector<double> s(x.size());
        std::vector<double> again(x.size());
        cascade.cdf(x, f, RunControl{.threads = 1});
        cascade.survival(x, s, RunControl{.threads = 3});
        for (std::size_t i = 1; i < x.size(); ++i) {
            ASSERT_GE(f[i], f[i - 1] * (1 - DBL_EPSILON)) << x[i];
            ASSERT_LE(s[i], s[i - 1] * (1 + DBL_EPSILON)) << x[i];
        }
        for (std::size_t i = 0; i < x.size(); ++i) {
            ASSERT_NEAR(f[i] + s[i], 1.0, 4 * DBL_EPSILON / 2) << x[i];
        }
        cascade.cdf(x, again, RunControl{.threads = 3});
        EXPECT_EQ(again, f);
    }
}

TEST(CascadeCdf, RefusesPointsOutsideTheInterval) {
    const Cascade cascade(std::vector<double>{0.3}, std::vector<double>{1.0, 2.0});
    constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
    constexpr double kInfinity = std::numeric_limits<double>::infinity();
    for (const double bad : {-5e-324, -1.0, 1.0000000000000002, 2.0, kNaN, kInfinity, -kInfinity}) {
        std::vector<double> x{0.5, bad};
        std::vector<double> out(2);
        EXPECT_THROW(cascade.cdf(x, out), InputError) << bad;
        EXPECT_THROW(cascade.survival(x, out), InputError) << bad;
    }
    std::vector<double> x{0.5};
    std::vector<double> none;
    EXPECT_THROW(cascade.cdf(x, none), InputError);
    EXPECT_THROW(cascade.cdfAtBins(4, 0, none), InputError);
    std::vector<double> three(3);
    EXPECT_THROW(cascade.cdfAtBins(4, 3, three), InputError); // ends 3 .. 5 of 4 bins
    EXPECT_THROW(cascade.cdfAtBins(0, 0, three), InputError);
    EXPECT_NO_THROW(cascade.cdfAtBins(4, 2, three));
}

} // namespace
} // namespace veltrane
