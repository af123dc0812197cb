// Both analyses against the figures of tests/data/classic/figures.tsv, whose header says what
// each kind of row checks, and the texts the fields read.
#include "Analyses.h"
#include "TestSupport.h"

#include <algorithm>
#include <bit>
#include <cfloat>
#include <cmath>
#include <gtest/gtest.h>
#include <limits>
#include <tuple>
#include <utility>
#include <veltrane/classic.h>
#include <veltrane/classic/Checked.h>
#include <veltrane/errors.h>
#include <veltrane/maps.h>

namespace veltrane {
using namespace veltrane::classic;
namespace {

using test::analyse;

// value against a figure: bit for bit, "~V" within half a unit of V's last digit, "*" any.
void expectFigure(float value, const std::string& figure) {
    if (figure == "*") {
        return;
    }
    if (figure[0] == '~') {
        const std::size_t point = figure.find('.');
        const auto decimals = static_cast<int>(figure.size() - point - 1);
        EXPECT_NEAR(value, std::stod(figure.substr(1)), 0.5 * std::pow(10.0, -decimals));
        return;
    }
    EXPECT_EQ(std::bit_cast<std::uint32_t>(value),
              std::bit_cast<std::uint32_t>(std::strtof(figure.c_str(), nullptr)))
        << value << " is not " << figure;
}

// The kind of error an outcome stands for, as the table names it, and its text: what every
// front end reports through throwUnlessCompleted.
std::pair<std::string, std::string> errorOf(const AnalysisOutcome& outcome) {
    try {
        throwUnlessCompleted(outcome);
    } catch (const RefusedValue& e) {
        return {"refused", e.what()};
    } catch (const ConversionError& e) {
        return {"unread", e.what()};
    } catch (const RuntimeError& e) {
        return {"failed", e.what()};
    }
    return {"none", {}};
}

void checkRow(const test::Row& row, const AnalysisOutcome& outcome, const Module1& before,
              const Module1& store) {
    const std::string& kind = row[0];
    const auto completed = [&] { return outcome.status == Status::Completed; };
    if (kind == "refused" || kind == "failed" || kind == "unread") {
        EXPECT_EQ(outcome.status, kind == "refused" ? Status::Rejected : Status::Failed);
        EXPECT_EQ(outcome.message, row[2]);
        EXPECT_TRUE(store.sameBits(before));
        EXPECT_EQ(errorOf(outcome), std::pair(kind, row[2]));
        return;
    }
    ASSERT_TRUE(completed()) << outcome.message;
    EXPECT_EQ(errorOf(outcome).first, "none");
    if (kind == "point") {
        const int first = row[2] == "all" ? 0 : std::stoi(row[2]);
        const int last = row[2] == "all" ? store.graph_n(1) : first;
        for (int j = first; j <= last; ++j) {
            expectFigure(store.graph_x(1, j), row[3]);
            expectFigure(store.graph_x(2, j), row[3]);
            expectFigure(store.graph_y(1, j), row[4]);
            expectFigure(store.graph_y(2, j), row[5]);
        }
    } else if (kind == "last") {
        EXPECT_EQ(store.graph_n(1), std::stoi(row[2]));
        EXPECT_EQ(store.graph_n(2), std::stoi(row[2]));
        EXPECT_EQ(store.graph_count, 2);
    } else if (kind == "exponents") {
        ASSERT_EQ(outcome.exponents.size(), row.size() - 2);
        for (std::size_t i = 2; i < row.size(); ++i) {
            expectFigure(outcome.exponents[i - 2], row[i]);
        }
    } else if (kind == "delta") {
        const double step = std::strtof(row[2].c_str(), nullptr);
        for (int i = 0; i <= 100; ++i) {
            EXPECT_EQ(store.graph_x(1, i), static_cast<float>(i * step + store.graph_x(1, 0)));
        }
    } else if (kind == "peak") {
        float top = 0.0F;
        for (int j = 0; j <= store.graph_n(1); ++j) {
            top = std::max(top, store.graph_y(1, j));
        }
        std::vector<std::string> at;
        for (int j = 0; j <= store.graph_n(1); ++j) {
            if (store.graph_y(1, j) == top) {
                at.push_back(std::to_string(j));
            }
        }
        EXPECT_EQ(at, std::vector<std::string>(row.begin() + 2, row.end()));
    } else if (kind == "xrange") {
        for (int j = 0; j <= store.graph_n(1); ++j) {
            EXPECT_GE(store.graph_x(1, j), std::strtof(row[2].c_str(), nullptr));
            EXPECT_LE(store.graph_x(1, j), std::strtof(row[3].c_str(), nullptr));
        }
    } else if (kind == "calls") {
        EXPECT_EQ(outcome.entr3Calls, std::stol(row[2]));
    } else if (kind == "logs") {
        EXPECT_EQ(outcome.logarithms, std::stol(row[2]));
    } else if (kind == "same") {
        Module1 other;
        analyse(row[2], other);
        EXPECT_TRUE(store.sameBits(other));
    } else {
        ADD_FAILURE() << "unknown kind " << kind;
    }
}

TEST(Analyses, GiveTheFiguresOfTheTable) {
    Module1 store;
    for (const test::Row& row : test::readTable("classic/figures.tsv")) {
        SCOPED_TRACE(row[0] + " " + row[1]);
        const Module1 before = store;
        const AnalysisOutcome outcome = analyse(row[1], store);
        checkRow(row, outcome, before, store);
    }
}

// The texts of tests/data/classic/texts.tsv, to singles as the fields read them and to
// doubles as break points are read.
TEST(TextToNumber, ConvertsOrRefusesTheTextsOfTheTable) {
    for (const test::Row& row : test::readTable("classic/texts.tsv")) {
        SCOPED_TRACE(row[0] + " \"" + row[1] + "\"");
        if (row[0] == "single") {
            const auto value = DecimalTextToSingle(row[2]).convert(row[1]);
            ASSERT_EQ(value.has_value(), row[3] != "no");
            EXPECT_TRUE(!value ||
                        std::bit_cast<std::uint32_t>(*value) ==
                            std::bit_cast<std::uint32_t>(std::strtof(row[3].c_str(), nullptr)));
        } else {
            const auto value = textToDouble(row[1], row[2]);
            ASSERT_EQ(value.has_value(), row[3] != "no");
            EXPECT_TRUE(!value || *value == std::strtod(row[3].c_str(), nullptr));
        }
    }
}

// entr3's guard: the analysis never calls it with equal first exponents, but were it called so,
// it shows its message and returns 0 with the weights untouched.
TEST(Entr3, GuardsItsDivisorWithItsMessage) {
    std::vector<std::string> messages;
    Entr3Context context{messages};
    Weights a;
    a(1) = 0.125F;
    Exponents lm;
    lm(1) = lm(2) = 1.0F;
    lm(3) = 2.0F;
    const std::int16_t n = 3;
    EXPECT_EQ(entr3(a, 1.5F, lm, n, context), 0.0);
    EXPECT_EQ(messages, std::vector<std::string>{"z1=0"});
    EXPECT_EQ(a(1), 0.125F);
    lm(2) = 3.0F;
    const std::int16_t beyondTheWeights = 6;
    EXPECT_THROW(entr3(a, 1.5F, lm, beyondTheWeights, context), RuntimeError);
}

// The analyses as plain functions refuse and fail as the outcomes they stand for: a value out
// of range in the analysis's words, a C whose text is no number as a refused input, not as a
// run-time error.
TEST(ClassicSpectrum, RefusesAndFailsAsTheOutcomes) {
    EXPECT_EQ(twoBranchSpectrum(0.3F).points.size(), 101U);
    EXPECT_THROW(twoBranchSpectrum(1.5F), RefusedValue);
    EXPECT_THROW(threeBranchSpectrum(0.6F, 0.4F), RefusedValue);
    EXPECT_THROW(twoBranchSpectrum(std::numeric_limits<float>::quiet_NaN()), ConversionError);
    EXPECT_THROW(twoBranchSpectrum(1e-20F), RuntimeError);
}

// The store's bounds: an index outside them is a subscript error, a run-time error that the
// core counts as a fault of the program.
TEST(Module1, RefusesIndicesOutsideItsBounds) {
    Module1 store;
    for (const auto& [graph, point, message] :
         {std::tuple{4, 0, "subscript out of range: graph index 4"},
          std::tuple{1, 101, "subscript out of range: point index 101"},
          std::tuple{-1, 0, "subscript out of range: graph index -1"}}) {
        try {
            store.graph_x(graph, point) = 1.0F;
            ADD_FAILURE() << "not refused: " << message;
        } catch (const SubscriptError& error) {
            EXPECT_STREQ(error.what(), message);
            EXPECT_EQ(error.kind(), ErrorKind::Internal);
        }
    }
}

// Doubles to singles as the analyses round them: a double short of the halfway point between
// FLT_MAX and 2^128 rounds to FLT_MAX, the halfway point itself would round to an infinity.
TEST(Checked, RoundsToSingleUpToTheHalfwayPointBeyondTheLargest) {
    const double halfway = 0x1.ffffffp+127;
    EXPECT_EQ(checked::toSingle(std::nextafter(halfway, 0.0)), FLT_MAX);
    EXPECT_EQ(checked::toSingle(-std::nextafter(halfway, 0.0)), -FLT_MAX);
    const double nan = std::numeric_limits<double>::quiet_NaN();
    for (const auto& [d, kind] :
         {std::pair{halfway, ErrorKind::Overflow}, std::pair{-halfway, ErrorKind::Overflow},
          std::pair{HUGE_VAL, ErrorKind::Overflow}, std::pair{nan, ErrorKind::InvalidOperation}}) {
        SCOPED_TRACE(d);
        try {
            checked::toSingle(d);
            ADD_FAILURE() << "not refused";
        } catch (const RuntimeError& error) {
            EXPECT_EQ(error.kind(), kind);
        }
    }
}

} // namespace
} // namespace veltrane
