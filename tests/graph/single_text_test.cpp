#include "SingleText.h"

#include <gtest/gtest.h>
#include <limits>

namespace veltrane {
namespace {

struct TextRow {
    const char* name;
    float value;
    const char* text;
};

class SingleTextTest : public ::testing::TestWithParam<TextRow> {};

TEST_P(SingleTextTest, WritesTheLabelText) {
    EXPECT_EQ(singleText(GetParam().value), GetParam().text);
}

std::string rowName(const ::testing::TestParamInfo<TextRow>& row) {
    return row.param.name;
}

INSTANTIATE_TEST_SUITE_P(WholeNumbers, SingleTextTest,
                         ::testing::Values(TextRow{"zero", 0.0F, "0"}, TextRow{"ten", 10.0F, "10"},
                                           TextRow{"hundredNoTrailingPoint", 100.0F, "100"},
                                           TextRow{"sevenDigits", 1234567.0F, "1234567"},
                                           TextRow{"largestFixed", 9999999.0F, "9999999"},
                                           TextRow{"tenMillionIsExponent", 1.0e7F, "1E+07"},
                                           TextRow{"eightDigitsRounded", 12345678.0F,
                                                   "1.234568E+07"}),
                         rowName);

INSTANTIATE_TEST_SUITE_P(
    Fractions, SingleTextTest,
    ::testing::Values(TextRow{"half", 0.5F, "0.5"},
                      TextRow{"sevenSignificantAfterZeros", 0.00012345678F, "0.0001234568"},
                      TextRow{"fourZerosStayFixed", 0.00025F, "0.00025"},
                      TextRow{"fiveZerosAreExponent", 0.00005F, "5E-05"},
                      TextRow{"exponentWithFraction", 1.5e-5F, "1.5E-05"},
                      TextRow{"roundedToSevenDigits", 123456.789F, "123456.8"}),
    rowName);

INSTANTIATE_TEST_SUITE_P(Negatives, SingleTextTest,
                         ::testing::Values(TextRow{"negativeZero", -0.0F, "0"},
                                           TextRow{"minusOne", -1.0F, "-1"},
                                           TextRow{"minusQuarter", -0.25F, "-0.25"},
                                           TextRow{"startOfMaxX", -1.0e20F, "-1E+20"},
                                           TextRow{"startStep", -2.0e19F, "-2E+19"},
                                           TextRow{"smallNegative", -1.0e-5F, "-1E-05"}),
                         rowName);

INSTANTIATE_TEST_SUITE_P(
    ExponentForm, SingleTextTest,
    ::testing::Values(TextRow{"startOfMinX", 1.0e20F, "1E+20"},
                      TextRow{"largestSingle", std::numeric_limits<float>::max(), "3.402823E+38"},
                      TextRow{"smallestSubnormal", std::numeric_limits<float>::denorm_min(),
                              "1.401298E-45"},
                      TextRow{"tenToMinusTen", 1.0e-10F, "1E-10"}),
    rowName);

// Fixed or exponent form is decided after rounding to seven digits.
INSTANTIATE_TEST_SUITE_P(
    RoundingCarries, SingleTextTest,
    ::testing::Values(TextRow{"justBelowOneKeepsSevenNines", 0.99999994F, "0.9999999"},
                      TextRow{"halfwayRoundsToEvenUp", 1234567.5F, "1234568"},
                      TextRow{"halfwayRoundsToEvenDown", 1234568.5F, "1234568"},
                      // The singles nearest to these powers of ten lie just below them.
                      TextRow{"singleOfTenThousandth", 0.0001F, "0.0001"},
                      TextRow{"singleOfHundredThousandth", 0.00001F, "1E-05"}),
    rowName);

INSTANTIATE_TEST_SUITE_P(
    NonFinite, SingleTextTest,
    ::testing::Values(TextRow{"infinity", std::numeric_limits<float>::infinity(), "Infinity"},
                      TextRow{"minusInfinity", -std::numeric_limits<float>::infinity(),
                              "-Infinity"},
                      TextRow{"nan", std::numeric_limits<float>::quiet_NaN(), "NaN"}),
    rowName);

} // namespace
} // namespace veltrane
