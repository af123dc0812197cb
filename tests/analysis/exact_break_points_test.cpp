#include "BreakPoints.h"

#include <cmath>
#include <gtest/gtest.h>
#include <limits>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

namespace veltrane {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

struct TextRow {
    const char* name;
    const char* text;
    const char* separator;
    std::optional<double> expected;
};

class TextToDoubleTest : public testing::TestWithParam<TextRow> {};

TEST_P(TextToDoubleTest, ConvertsOrRefuses) {
    const TextRow& row = GetParam();
    const auto value = textToDouble(row.text, row.separator);
    ASSERT_EQ(value.has_value(), row.expected.has_value());
    if (value) {
        EXPECT_EQ(*value, *row.expected); // correctly rounded, so exactly the literal's double
    }
}

// The number syntax is the field texts' (text_to_single_test); these rows are what reading
// a double adds to it, and the separator passed through.
INSTANTIATE_TEST_SUITE_P(Rows, TextToDoubleTest,
                         testing::Values(TextRow{"locale_comma", "2,5", ",", 2.5},
                                         TextRow{"comma_without_locale", "2,5", ".", std::nullopt},
                                         TextRow{"seventeen_digits", "0.30000000000000004", ".",
                                                 0.30000000000000004},
                                         TextRow{"beyond_single_range", "1e300", ".", 1e300},
                                         TextRow{"underflow_to_zero", "1e-400", ".", 0.0},
                                         TextRow{"overflow", "1e400", ".", std::nullopt}),
                         [](const auto& row) { return std::string(row.param.name); });

struct CheckRow {
    const char* name;
    std::vector<double> breakPoints;
    const char* message;
};

class CheckBreakPointsTest : public testing::TestWithParam<CheckRow> {};

TEST_P(CheckBreakPointsTest, NamesTheOffendingValue) {
    const CheckRow& row = GetParam();
    try {
        checkBreakPoints(row.breakPoints);
        FAIL() << "accepted";
    } catch (const BreakPointError& e) {
        EXPECT_EQ(std::string(e.what()), row.message);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Rows, CheckBreakPointsTest,
    testing::Values(
        CheckRow{"empty", {}, "no break points given"},
        CheckRow{"zero", {0.0}, "break point 1 (0) must lie strictly inside (0, 1)"},
        CheckRow{"one", {0.5, 1.0}, "break point 2 (1) must lie strictly inside (0, 1)"},
        CheckRow{"negative", {-0.3}, "break point 1 (-0.3) must lie strictly inside (0, 1)"},
        CheckRow{
            "above_one", {0.2, 0.4, 1.5}, "break point 3 (1.5) must lie strictly inside (0, 1)"},
        CheckRow{"nan", {0.2, kNaN}, "break point 2 (nan) is not a finite number"},
        CheckRow{"infinity", {kInf}, "break point 1 (inf) is not a finite number"},
        CheckRow{"decreasing",
                 {0.6, 0.4},
                 "break point 2 (0.4) must be greater than break point 1 (0.6)"},
        CheckRow{"repeated",
                 {0.1, 0.3, 0.3},
                 "break point 3 (0.3) must be greater than break point 2 (0.3)"}),
    [](const auto& row) { return std::string(row.param.name); });

TEST(CheckBreakPoints, AcceptsIncreasingValuesInsideTheInterval) {
    EXPECT_NO_THROW(checkBreakPoints({0.3}));
    EXPECT_NO_THROW(checkBreakPoints({1e-300, 0.5, std::nextafter(1.0, 0.0)}));
}

std::string errorOf(const auto& call) {
    try {
        call();
    } catch (const BreakPointError& e) {
        return e.what();
    }
    return "accepted";
}

TEST(ParseBreakPoints, QuotesTheTextsAsWritten) {
    EXPECT_EQ(errorOf([] {
                  parseBreakPoints({"0.2", "abc"});
              }),
              "break point 2 (\"abc\") is not a number");
    EXPECT_EQ(errorOf([] {
                  parseBreakPoints({"0.50", "0.5"});
              }),
              "break point 2 (0.5) must be greater than break point 1 (0.50)");
    EXPECT_EQ(errorOf([] { parseBreakPoints({"1e-400"}); }),
              "break point 1 (1e-400) must lie strictly inside (0, 1)");
    EXPECT_EQ(parseBreakPoints({"0,2", "0.6"}, ","), (std::vector<double>{0.2, 0.6}));
}

// Blanks, tabs and line ends as separators are read through the command line's --from.
TEST(ReadBreakPoints, AcceptsTheLocaleSeparator) {
    std::istringstream in("0,25 0.5\n0,75\n");
    EXPECT_EQ(readBreakPoints(in, ","), (std::vector<double>{0.25, 0.5, 0.75}));
}

TEST(ReadBreakPoints, NamesWhatIsWrong) {
    std::istringstream word("0.1\n0.2 0.3x\n");
    EXPECT_EQ(errorOf([&] { readBreakPoints(word); }), "line 2: \"0.3x\" is not a number");
    std::istringstream empty("  \n\n");
    EXPECT_EQ(errorOf([&] { readBreakPoints(empty); }), "no break points given");
    std::istringstream decreasing("0.5\n0.4\n");
    EXPECT_EQ(errorOf([&] { readBreakPoints(decreasing); }),
              "break point 2 (0.4) must be greater than break point 1 (0.5)");
    std::istringstream failing("0.5");
    failing.setstate(std::ios::badbit);
    EXPECT_EQ(errorOf([&] { readBreakPoints(failing); }), "the input could not be read");
}

TEST(BranchExponents, GivesOneExponentPerBranchInOrder) {
    const std::vector<double> exponents = branchExponents({0.2, 0.6});
    ASSERT_EQ(exponents.size(), 3U);
    EXPECT_EQ(exponents[0], -std::log(0.2));
    EXPECT_EQ(exponents[1], -std::log(0.6 - 0.2));
    EXPECT_EQ(exponents[2], -std::log(1.0 - 0.6));
}

TEST(BranchExponents, KeepsTheExponentOfALongBranchAccurate) {
    // ln(1/(1 - 1e-300)) is 1e-300 to double precision; ln of the rounded length would be 0.
    EXPECT_EQ(branchExponents({1e-300})[1], 1e-300);
    const double b = std::nextafter(1.0, 0.0); // 1 - 2^-53
    EXPECT_EQ(branchExponents({b})[0], std::ldexp(1.0, -53));
    // A middle branch longer than 1/2: its exponent comes from the two short ones.
    const std::vector<double> middle = branchExponents({1e-20, 1.0 - 1e-15});
    const double rest = 1e-20 + (1.0 - (1.0 - 1e-15));
    EXPECT_DOUBLE_EQ(middle[1], rest);
    EXPECT_DOUBLE_EQ(branchExponents({0.3})[1], -std::log(0.7));
}

TEST(BranchExponents, RefusesBadBreakPoints) {
    EXPECT_THROW(branchExponents({0.4, 0.2}), BreakPointError);
    EXPECT_THROW(branchExponents({}), BreakPointError);
}

} // namespace
} // namespace veltrane
