// The formulas' values and derivatives against mpmath, and the maps AnalyticMap takes and refuses,
// from the tables under tests/data/analytic.
#include "Branches.h"
#include "Formula.h"
#include "TestSupport.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <gtest/gtest.h>
#include <sstream>
#include <veltrane/analytic.h>
#include <veltrane/errors.h>

namespace veltrane {
namespace {

using detail::Ball;
using detail::Formula;
using detail::Jet;

std::vector<std::string> split(const std::string& text, char separator) {
    std::vector<std::string> parts;
    if (text.empty()) {
        return parts;
    }
    std::istringstream in(text);
    for (std::string part; std::getline(in, part, separator);) {
        parts.push_back(part);
    }
    return parts;
}

// The map of a table row: FROM says how INPUT gives it.
AnalyticMap mapOf(const std::string& from, const std::string& input) {
    if (from == "list") {
        return AnalyticMap::fromFormulas(split(input, ';'));
    }
    if (from == "file") {
        std::istringstream in(test::replaced(input, "\\r", "\r"));
        return AnalyticMap::read(in);
    }
    EXPECT_EQ(from, "digits");
    std::vector<unsigned> digits;
    for (const std::string& digit : split(input, ',')) {
        digits.push_back(static_cast<unsigned>(std::stoul(digit)));
    }
    return AnalyticMap::continuedFraction(digits);
}

std::string text(const Ball& x) {
    char* digits = arb_get_str(x.get(), 35, 0);
    std::string result(digits);
    flint_free(digits);
    return result;
}

// The one tolerance of the double evaluations: within `ulps` units in the last place of want.
void expectWithinUlps(double got, double want, double ulps, const std::string& what) {
    const double unit =
        want == 0 ? DBL_TRUE_MIN : std::nextafter(std::fabs(want), INFINITY) - std::fabs(want);
    EXPECT_LE(std::fabs(got - want), ulps * unit) << what << ": " << got << " against " << want;
}

// A ball at 128 bits: within 1e-25 of the 30 figures of mpmath (relative to 1 or to them), and
// meeting the interval they stand for (half a unit in their last place, which |want| * 1e-29
// exceeds), so that it holds the exact value as far as mpmath can tell.
void expectBall(const Ball& got, const std::string& want, const std::string& what) {
    constexpr long kBits = 128;
    Ball reference;
    arb_set_str(reference.get(), want.c_str(), kBits);
    Ball half;
    arb_abs(half.get(), reference.get());
    Ball scale;
    arb_set_str(scale.get(), "1e-29", kBits);
    arb_mul(half.get(), half.get(), scale.get(), kBits);
    arb_add_error(reference.get(), half.get());
    EXPECT_TRUE(arb_overlaps(got.get(), reference.get()) != 0)
        << what << ": " << text(got) << " against " << want;

    Ball gap;
    arb_sub(gap.get(), got.get(), reference.get(), kBits);
    arb_abs(gap.get(), gap.get());
    Ball allowed;
    arb_set_str(allowed.get(), "1e-25", kBits);
    const double magnitude = std::max(1.0, std::fabs(std::strtod(want.c_str(), nullptr)));
    arb_mul_2exp_si(allowed.get(), allowed.get(), std::ilogb(magnitude) + 1);
    EXPECT_TRUE(arb_lt(gap.get(), allowed.get()) != 0)
        << what << ": " << text(got) << " is not within 1e-25 of " << want;
}

// [low, high] within [0, 1] and mapped into itself by every branch, as balls prove it.
void expectInvariant(const detail::AnalyticBranches& branches, const std::string& what) {
    EXPECT_LE(0.0, branches.low) << what;
    EXPECT_LT(branches.low, branches.high) << what;
    EXPECT_LE(branches.high, 1.0) << what;
    Ball hull;
    arb_set_d(hull.get(), branches.low);
    Ball high(branches.high);
    arb_union(hull.get(), hull.get(), high.get(), 128);
    for (const Formula& formula : branches.formulas) {
        for (const double x : {branches.low, branches.high}) {
            Jet<Ball> jet;
            formula.at(Ball(x), 128, jet);
            EXPECT_TRUE(arb_contains(hull.get(), jet.value.get()) != 0)
                << what << ": " << formula.text() << " at " << x;
        }
    }
}

TEST(Formula, ValuesAndDerivativesAgreeWithMpmath) {
    for (const test::Row& row : test::readTable("analytic/formulas.tsv")) {
        ASSERT_EQ(row.size(), 4U);
        const std::string& text = row[0];
        const Formula formula = Formula::parse(text);
        const double x = std::strtod(row[1].c_str(), nullptr);
        const Jet<double> inDouble = formula.at(x);
        expectWithinUlps(inDouble.value, std::strtod(row[2].c_str(), nullptr), 4, text);
        expectWithinUlps(inDouble.slope, std::strtod(row[3].c_str(), nullptr), 4, text + "'");

        Ball point;
        arb_set_str(point.get(), row[1].c_str(), 128);
        Jet<Ball> inBalls;
        formula.at(point, 128, inBalls);
        expectBall(inBalls.value, row[2], text);
        expectBall(inBalls.slope, row[3], text + "'");
    }
}

// "0.1" is 1/10 in a ball at any precision, not the double nearest to it: at 2000 bits the ball
// holds 1/10 and is far narrower than the gap to that double.
TEST(Formula, NumbersKeepTheirText) {
    const Formula formula = Formula::parse(" 0.1 * x ");
    EXPECT_EQ(formula.text(), "0.1 * x");
    Jet<Ball> jet;
    formula.at(Ball(1.0), 2000, jet);
    Ball tenth;
    arb_set_str(tenth.get(), "0.1", 2000);
    EXPECT_TRUE(arb_overlaps(jet.value.get(), tenth.get()) != 0);
    Ball nearest(0.1);
    EXPECT_FALSE(arb_overlaps(jet.value.get(), nearest.get()) != 0);
    EXPECT_TRUE(arb_rel_accuracy_bits(jet.value.get()) > 1900);
}

TEST(AnalyticMap, RefusesWhatTheTableSays) {
    for (const test::Row& row : test::readTable("analytic/refusals.tsv")) {
        ASSERT_EQ(row.size(), 4U) << row[0];
        const std::string& want = row[3];
        try {
            const AnalyticMap map = mapOf(row[1], row[2]);
            ADD_FAILURE() << row[0] << ": taken, with " << map.branchCount() << " branches";
        } catch (const InputError& error) {
            const std::string got = error.what();
            if (want.ends_with("...")) {
                EXPECT_TRUE(got.starts_with(want.substr(0, want.size() - 3)))
                    << row[0] << ": " << got;
            } else {
                EXPECT_EQ(got, want) << row[0];
            }
        }
    }
}

TEST(AnalyticMap, TakesWhatTheTableSays) {
    for (const test::Row& row : test::readTable("analytic/taken.tsv")) {
        ASSERT_EQ(row.size(), 4U) << row[0];
        try {
            const AnalyticMap map = mapOf(row[1], row[2]);
            const std::vector<std::string> images = split(row[3], ';');
            ASSERT_EQ(map.branchCount(), images.size()) << row[0];
            std::vector<std::string> ordered;
            for (const Formula& formula : map.branches().formulas) {
                ordered.push_back(formula.text());
            }
            EXPECT_EQ(ordered, images) << row[0];
            EXPECT_EQ(map.branches().texts, images) << row[0];
            expectInvariant(map.branches(), row[0]);
            // formulas() in the order given: the same texts, each where the input put it.
            const std::vector<std::string> given = map.formulas();
            for (std::size_t i = 0; i < given.size(); ++i) {
                if (row[1] == "list") {
                    const std::string trimmed = Formula::parse(split(row[2], ';')[i]).text();
                    EXPECT_EQ(given[i], trimmed) << row[0];
                }
                EXPECT_NE(std::find(images.begin(), images.end(), given[i]), images.end());
            }
        } catch (const InputError& error) {
            ADD_FAILURE() << row[0] << ": refused: " << error.what();
        }
    }
}

// The shorthand lists its branches as the digits were given, whatever their images' order.
TEST(AnalyticMap, ContinuedFractionKeepsTheDigitsOrder) {
    const std::vector<unsigned> digits{2, 7, 1};
    const AnalyticMap map = AnalyticMap::continuedFraction(digits);
    EXPECT_EQ(map.formulas(), (std::vector<std::string>{"1/(2+x)", "1/(7+x)", "1/(1+x)"}));
}

// The repeller of the digits {1, 2} spans [(√3 - 1)/2, √3 - 1], the fixed points of ψ_2 ∘ ψ_1
// and ψ_1 ∘ ψ_2: the interval handed to the solver holds it, and is narrower than the images'
// hull [1/3, 1].
TEST(AnalyticMap, InvariantIntervalHoldsTheRepeller) {
    const std::vector<unsigned> digits{1, 2};
    const AnalyticMap map = AnalyticMap::continuedFraction(digits);
    const detail::AnalyticBranches& branches = map.branches();
    EXPECT_LE(branches.low, (std::sqrt(3.0) - 1) / 2 - 1e-15);
    EXPECT_GE(branches.high, std::sqrt(3.0) - 1 + 1e-15);
    EXPECT_GT(branches.low, 1.0 / 3);
    EXPECT_LT(branches.high, 1.0);
}

// The most branches are taken, one more refused: 64 continued-fraction digits.
TEST(AnalyticMap, TakesTheMostBranches) {
    std::vector<unsigned> digits;
    for (unsigned a = 1; a <= AnalyticMap::kMostBranches; ++a) {
        digits.push_back(a * a);
    }
    EXPECT_EQ(AnalyticMap::continuedFraction(digits).branchCount(), AnalyticMap::kMostBranches);
    digits.push_back(5);
    EXPECT_THROW(AnalyticMap::continuedFraction(digits), InputError);
}

} // namespace
} // namespace veltrane
