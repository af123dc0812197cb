// The analytic maps' pressure, dimension and spectrum: against closed forms for linear branches
// and their smooth conjugates (tests/data/analytic/pressures.tsv, from mpmath), against the
// exact solver for linear branches, against runs of twice the digits, and on seeded random
// conjugates, which keep the linear map's spectrum.
#include "TestSupport.h"

#include <arb.h>
#include <cmath>
#include <gtest/gtest.h>
#include <map>
#include <random>
#include <sstream>
#include <veltrane/analytic.h>
#include <veltrane/errors.h>
#include <veltrane/exact.h>

namespace veltrane {
namespace {

std::vector<std::string> split(const std::string& text, char separator) {
    std::vector<std::string> parts;
    std::istringstream in(text);
    for (std::string part; std::getline(in, part, separator);) {
        parts.push_back(part);
    }
    return parts;
}

// Whether the decimal texts a and b agree to within 10^-digits of max(|b|, floor), read with
// Arb at twice the precision the digits need.
bool agreeTo(const std::string& a, const std::string& b, int digits, const char* floor = "1e-30") {
    const long prec = static_cast<long>(digits * 7) + 64;
    arb_t x, y, d, s, f;
    arb_init(x);
    arb_init(y);
    arb_init(d);
    arb_init(s);
    arb_init(f);
    arb_set_str(x, a.c_str(), prec);
    arb_set_str(y, b.c_str(), prec);
    arb_set_str(f, floor, prec);
    arb_sub(d, x, y, prec);
    arb_abs(d, d);
    arb_abs(s, y);
    arb_max(s, s, f, prec);
    arb_set_str(f, ("1e-" + std::to_string(digits)).c_str(), prec);
    arb_mul(s, s, f, prec);
    const bool within = arf_cmpabs(arb_midref(d), arb_midref(s)) <= 0;
    arb_clear(x);
    arb_clear(y);
    arb_clear(d);
    arb_clear(s);
    arb_clear(f);
    return within;
}

// The relative distance of a from b, scaled by max(1, |b|).
double off(double a, double b) {
    return std::abs(a - b) / std::max(1.0, std::abs(b));
}

TEST(AnalyticSolver, PressuresOfLinearMapsAndTheirConjugatesAreTheClosedForms) {
    std::map<std::string, std::unique_ptr<AnalyticSolver>> solvers;
    for (const auto& row : test::readTable("analytic/pressures.tsv")) {
        SCOPED_TRACE(row[0] + " beta " + row[2]);
        auto& solver = solvers[row[1]];
        if (!solver) {
            solver =
                std::make_unique<AnalyticSolver>(AnalyticMap::fromFormulas(split(row[1], ';')));
            EXPECT_LT(off(solver->dimension(), std::stod(row[4])), 1e-14);
            const PreciseValue d = solver->dimension(40);
            EXPECT_TRUE(agreeTo(d.value, row[4], 39)) << d.value << " against " << row[4];
            EXPECT_EQ(d.digits, 40U);
        }
        EXPECT_LT(off(solver->pressure(std::stod(row[2])), std::stod(row[3])), 1e-13);
        // Relative digits at the outermost β, at 0 and 1/4, and beside the dimension (P about
        // 1e-46); the β between them take the same ways.
        if (row[2] == "-0.5" || row[2] == "1" || row[2] == "2.5") {
            continue;
        }
        const PreciseValue p = solver->pressure(row[2], 30);
        EXPECT_TRUE(agreeTo(p.value, row[3], 29, "1e-80")) << p.value << " against " << row[3];
        EXPECT_EQ(p.digits, 30U);
    }
}

// Where P(β) is 0 (β the dimension of a linear map, as a decimal), or the dimension is (one
// branch: the repeller is a point), no run has a significant digit of it: "0", no digits, and
// an error that bounds the runs' values.
TEST(AnalyticSolver, ZerosArePrintedWithoutDigits) {
    for (const auto& row : test::readTable("analytic/zeros.tsv")) {
        SCOPED_TRACE(row[0]);
        const AnalyticSolver solver(AnalyticMap::fromFormulas(split(row[1], ';')));
        const auto digits = static_cast<unsigned>(std::stoul(row[3]));
        const PreciseValue p =
            row[2] == "dimension" ? solver.dimension(digits) : solver.pressure(row[2], digits);
        EXPECT_EQ(p.value, "0");
        EXPECT_EQ(p.digits, 0U);
        EXPECT_TRUE(agreeTo(p.error, "0", 0, ("1e-" + row[3]).c_str())) << p.error;
        // Linear branches: few points, whose runs' noise about 0 says nothing of the rate
        // (200 digits took 240 points and 27 s when it was read as one).
        EXPECT_LE(p.nodes, 64U);
    }
}

// Linear branches are collocated exactly by any number of points: 300 digits of their
// dimension take a few dozen points, not the hundreds that the double runs' rate of a digit a
// point would ask for (311 points and 18 s for the thirds; 1000 digits did not end in 5 min).
TEST(AnalyticSolver, ManyDigitsOfLinearBranchesTakeFewPoints) {
    std::map<std::string, std::string> dimensions;
    for (const auto& row : test::readTable("analytic/pressures.tsv")) {
        if (row[0].ends_with("-linear")) {
            dimensions[row[1]] = row[4];
        }
    }
    ASSERT_GE(dimensions.size(), 5U);
    for (const auto& [branches, dimension] : dimensions) {
        SCOPED_TRACE(branches);
        const PreciseValue d =
            AnalyticSolver(AnalyticMap::fromFormulas(split(branches, ';'))).dimension(300);
        EXPECT_TRUE(agreeTo(d.value, dimension, 59)) << d.value;
        EXPECT_EQ(d.digits, 300U);
        EXPECT_LE(d.nodes, 48U);
    }
}

// The digits a run prints agree with a run asking twice as many, within the error printed.
TEST(AnalyticSolver, DigitsAgreeWithARunOfTwiceTheDigits) {
    const std::vector<std::vector<std::string>> maps{
        {"1/(1+x)", "1/(2+x)"},
        {"1/(1+x)", "1/(2+x)", "1/(3+x)"},
        {"1/(2+x)", "1/(4+x)"},
        {"(x+0.1)/(1.1+x)", "(2+x)/3"},
        {"(exp(x/2)-1)/(exp(1)-1)", "1/(1+x)"},
        {"sin(x)/3", "0.5+(x+1)^2/8"},
    };
    for (const auto& branches : maps) {
        SCOPED_TRACE(branches.front() + " ...");
        const AnalyticSolver solver(AnalyticMap::fromFormulas(branches));
        const PreciseValue once = solver.dimension(30);
        const PreciseValue twice = solver.dimension(60);
        EXPECT_TRUE(agreeTo(once.value, twice.value, 29)) << once.value << " " << twice.value;
        EXPECT_TRUE(agreeTo(once.value, twice.value, 28, once.error.c_str()));
        EXPECT_GT(twice.nodes, 0U);
        EXPECT_GE(twice.bits, 200U);
        const PreciseValue p = solver.pressure("0.25", 25);
        EXPECT_TRUE(agreeTo(p.value, solver.pressure("0.25", 50).value, 24));
    }
}

// The dimension of the continued fractions with digits 1 and 2 to 100 digits, as a run of 150
// digits has it (tests/data/analytic/dimensions.tsv).
TEST(AnalyticSolver, ContinuedFractionsOfOnesAndTwosToAHundredDigits) {
    const test::Row row = test::readTable("analytic/dimensions.tsv").at(0);
    const AnalyticSolver solver(AnalyticMap::fromFormulas(split(row.at(1), ';')));
    const PreciseValue hundred = solver.dimension(100);
    EXPECT_EQ(hundred.value.size(), 102U); // "0." and 100 digits
    EXPECT_TRUE(agreeTo(hundred.value, row.at(2), 99)) << hundred.value;
}

// Linear branches, increasing or decreasing, tiling [0, 1] or not: the exact solver's
// spectrum on their exponents -ln |c_i|.
TEST(AnalyticSolver, SpectrumOfLinearBranchesIsTheExactSolvers) {
    const std::vector<std::pair<std::vector<std::string>, std::vector<double>>> maps{
        {{"0.3*x", "0.3+0.7*x"}, {0.3, 0.7}},
        {{"x/2", "(2+x)/3"}, {0.5, 1.0 / 3.0}},
        {{"0.2*x", "0.4+0.2*x", "0.7+0.3*x"}, {0.2, 0.2, 0.3}},
        {{"0.5-0.5*x", "1-0.25*x"}, {0.5, 0.25}},
    };
    for (const auto& [branches, slopes] : maps) {
        SCOPED_TRACE(branches.front() + " ...");
        const AnalyticSolver solver(AnalyticMap::fromFormulas(branches));
        std::vector<double> exponents;
        for (const double c : slopes) {
            exponents.push_back(-std::log(c));
        }
        const ExactSpectrum exact = ExactSolver(exponents).spectrum(101);
        const ExactSpectrum ours = solver.spectrum(101);
        EXPECT_TRUE(solver.rangeAtOrbits());
        // Every word up to the budget of orbits is searched, not the fixed points alone.
        EXPECT_EQ(solver.orbitPeriod(), branches.size() == 2 ? 10U : 7U);
        ASSERT_EQ(ours.points.size(), exact.points.size());
        for (std::size_t i = 0; i < ours.points.size(); ++i) {
            SCOPED_TRACE(i);
            EXPECT_LT(off(ours.points[i].lyapunov, exact.points[i].lyapunov), 1e-14);
            EXPECT_LT(off(ours.points[i].entropy, exact.points[i].entropy), 1e-14);
            EXPECT_LT(off(ours.points[i].dimension, exact.points[i].dimension), 1e-14);
        }
    }
}

// Seeded random maps: linear branches with gaps between their images, conjugated by
// h(x) = (e^(kx) - 1)/(e^k - 1). The conjugate has the linear map's dimension and spectrum,
// within the collocation's accuracy, and its spectrum keeps every bound (the solver checks
// them, so a run that returns is one that kept them).
TEST(AnalyticSolver, SmoothConjugatesKeepTheLinearMapsSpectrum) {
    std::mt19937_64 random(20261208);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    for (int trial = 0; trial < 8; ++trial) {
        const int n = 2 + trial % 3;
        // Lengths and gaps filling [0, 1]: the branch i is a_i + c_i x.
        std::vector<double> parts(static_cast<std::size_t>(2 * n + 1));
        double total = 0.0;
        for (double& p : parts) {
            p = 0.2 + unit(random);
            total += p;
        }
        const double k = (unit(random) < 0.5 ? -1.0 : 1.0) * (0.5 + 1.5 * unit(random));
        std::vector<std::string> branches;
        std::vector<double> exponents;
        double at = parts[0] / total;
        for (std::size_t i = 0; i < static_cast<std::size_t>(n); ++i) {
            const double c = parts[2 * i + 1] / total;
            std::ostringstream f;
            f.precision(17);
            f << "(exp(" << k << "*(" << at << "+" << c << "*log(1+x*(exp(" << k << ")-1))/" << k
              << "))-1)/(exp(" << k << ")-1)";
            branches.push_back(f.str());
            exponents.push_back(-std::log(c));
            at += c + parts[2 * i + 2] / total;
        }
        SCOPED_TRACE("trial " + std::to_string(trial) + ": " + branches.front());
        const AnalyticSolver solver(AnalyticMap::fromFormulas(branches));
        const ExactSolver exact(exponents);
        // The root of Σ c_i^s = 1 by bisection: Σ c^s falls with s.
        double low = 0.0;
        double high = 1.0;
        for (int step = 0; step < 100; ++step) {
            const double mid = 0.5 * (low + high);
            double sum = 0.0;
            for (const double e : exponents) {
                sum += std::exp(-mid * e);
            }
            (sum > 1.0 ? low : high) = mid;
        }
        EXPECT_LT(std::abs(solver.dimension() - low), 1e-12);
        const ExactSpectrum ours = solver.spectrum(41);
        for (std::size_t i = 1; i + 1 < ours.points.size(); ++i) {
            const ExactPoint& p = ours.points[i];
            EXPECT_LT(std::abs(p.entropy - exact.atLyapunov(p.lyapunov).entropy), 1e-9)
                << "point " << i;
        }
    }
}

TEST(AnalyticSolver, RefusesWhatItCannotAnswerRightly) {
    const AnalyticSolver solver(
        AnalyticMap::fromFormulas(std::vector<std::string>{"x/3", "(2+x)/3"}));
    EXPECT_THROW(solver.dimension(0), InputError);
    EXPECT_THROW(solver.dimension(AnalyticSolver::kMostDigits + 1), InputError);
    for (const char* beta : {"", "abc", "1 +/- 2", "[1]", "1e99999999999", "nan"}) {
        EXPECT_THROW(solver.pressure(beta, 10), InputError) << beta;
    }
    EXPECT_THROW(solver.pressure(std::nan("")), InputError);
    EXPECT_THROW(solver.atLyapunov(std::nan("")), InputError);
    EXPECT_THROW(solver.spectrum(1), InputError);
    // A branch nearly parabolic: 256 points do not give 13 digits, and the map is refused
    // rather than given digits it does not have.
    EXPECT_THROW(AnalyticSolver(AnalyticMap::fromFormulas(
                     std::vector<std::string>{"(x+1e-4)/(1+x+1e-4)", "(2+x)/3"})),
                 InputError);
}

} // namespace
} // namespace veltrane
