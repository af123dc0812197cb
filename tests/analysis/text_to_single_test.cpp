#include "TextToSingle.h"

#include <bit>
#include <cmath>
#include <gtest/gtest.h>
#include <optional>

namespace veltrane {
namespace {

struct Row {
    const char* name;
    const char* text;
    std::optional<float> expected;
};

class TextToSingleTable : public ::testing::TestWithParam<Row> {};

TEST_P(TextToSingleTable, ConvertsOrRejects) {
    const Row& row = GetParam();
    const auto value = DecimalTextToSingle(",").convert(row.text);
    ASSERT_EQ(value.has_value(), row.expected.has_value()) << '"' << row.text << '"';
    if (value) {
        EXPECT_EQ(std::bit_cast<std::uint32_t>(*value), std::bit_cast<std::uint32_t>(*row.expected))
            << '"' << row.text << "\" gave " << *value;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Texts, TextToSingleTable,
    ::testing::Values(Row{"initial", "0.3", 0.3F}, Row{"blanks", "  0.3\t ", 0.3F},
                      Row{"plus", "+0.25", 0.25F}, Row{"minus", "-0.3", -0.3F},
                      Row{"negativeZero", "-0", -0.0F}, Row{"leadingPoint", ".5", 0.5F},
                      Row{"trailingPoint", "5.", 5.0F}, Row{"exponent", "1e-10", 1e-10F},
                      Row{"upperExponent", "2.5E+3", 2500.0F},
                      Row{"localeSeparator", "0,3", 0.3F},
                      Row{"largestSingle", "3.4028234e38", 3.4028234e38F},
                      Row{"subnormal", "1e-45", 1e-45F}, Row{"roundsToZero", "1e-50", 0.0F},
                      Row{"hugeExponentOfZero", "0e99999", 0.0F},
                      Row{"empty", "", std::nullopt}, Row{"blanksOnly", "   ", std::nullopt},
                      Row{"word", "abc", std::nullopt}, Row{"trailingJunk", "0.3x", std::nullopt},
                      Row{"nan", "nan", std::nullopt}, Row{"inf", "inf", std::nullopt},
                      Row{"infinity", "-Infinity", std::nullopt},
                      Row{"tooLarge", "1e39", std::nullopt},
                      Row{"tooLargeNegative", "-1e39", std::nullopt},
                      Row{"twoPoints", "0.3.1", std::nullopt},
                      Row{"bothSeparators", "0,3.1", std::nullopt},
                      Row{"exponentWithoutDigits", "1e", std::nullopt},
                      Row{"signOnly", "-", std::nullopt}, Row{"pointOnly", ".", std::nullopt},
                      Row{"hex", "0x1p3", std::nullopt}, Row{"innerBlank", "0. 3", std::nullopt},
                      Row{"doubleSign", "--3", std::nullopt}),
    [](const auto& row) { return std::string(row.param.name); });

TEST(TextToSingle, RoundsDecimalsDirectlyToTheNearestSingle) {
    // 16777217 lies halfway between two singles; ties go to the even one.
    EXPECT_EQ(DecimalTextToSingle().convert("16777217"), 16777216.0F);
    // A long text is no problem.
    EXPECT_EQ(DecimalTextToSingle().convert("0." + std::string(5000, '3')), 1.0F / 3.0F);
}

TEST(TextToSingle, PointAlwaysWorksAndOtherSeparatorsOnlyWhenTheyAreTheLocales) {
    EXPECT_EQ(DecimalTextToSingle().convert("0,3"), std::nullopt);
    EXPECT_EQ(DecimalTextToSingle(",").convert("0.3"), 0.3F);
    EXPECT_EQ(DecimalTextToSingle("\xd9\xab").convert("0\xd9\xab" "5"), 0.5F);
}

} // namespace
} // namespace veltrane
