#include "CliRunner.h"

#include <array>
#include <cstdio>
#include <gtest/gtest.h>
#include <sstream>
#include <string>
#include <vector>

namespace veltrane {
namespace {

using test::CliRun;
using test::lines;
using test::runCli;

TEST(SpectrumCli, TwoBranchCsvHasAHeaderAndOneShortestRowPerPoint) {
    const CliRun run = runCli({"spectrum", "0.3"});
    ASSERT_EQ(run.status, 0) << run.err;
    const auto rows = lines(run.out);
    ASSERT_EQ(rows.size(), 102U);
    EXPECT_EQ(rows[0], "index,lyapunov,entropy,dimension");
    EXPECT_EQ(rows[1], "0,0.35667497,0,0");
    EXPECT_EQ(rows[2], "1,0.36514795,0.05600149,0.15336658");
    EXPECT_EQ(rows[31], "30,0.61086434,0.61086434,1");
    EXPECT_EQ(rows[101], "100,1.2039728,0,0");
    EXPECT_TRUE(run.err.empty());
}

TEST(SpectrumCli, ThreeBranchPrintsOnlyTheStoredPointsAndNegativeZeros) {
    CliRun run = runCli({"spectrum", "0.3", "0.4"});
    ASSERT_EQ(run.status, 0);
    EXPECT_EQ(lines(run.out).size(), 101U);
    EXPECT_EQ(lines(run.out).back(), "99,2.3025851,-0,-0");
    run = runCli({"spectrum", "0.33333333", "0.66666667"});
    EXPECT_EQ(run.out, "index,lyapunov,entropy,dimension\n0,1.0986123,1.0986123,1\n");
}

TEST(SpectrumCli, JsonCarriesBreakPointsExponentsAndPoints) {
    const CliRun run = runCli({"spectrum", "--json", "0.3"});
    ASSERT_EQ(run.status, 0);
    EXPECT_EQ(run.out.rfind("{\"breakPoints\":[0.3],\"exponents\":[1.2039728,0.35667497],", 0), 0U);
    EXPECT_NE(run.out.find("{\"index\":100,\"lyapunov\":1.2039728,\"entropy\":0,\"dimension\":0}"),
              std::string::npos);
    EXPECT_EQ(run.out.substr(run.out.size() - 3), "]}\n");
}

struct Failing {
    const char* name;
    std::vector<std::string> args;
    int status;
    const char* message;
};

class SpectrumCliFailure : public ::testing::TestWithParam<Failing> {};

TEST_P(SpectrumCliFailure, PrintsTheMessageAndNothingElse) {
    const CliRun run = runCli(GetParam().args);
    EXPECT_EQ(run.status, GetParam().status);
    EXPECT_TRUE(run.out.empty());
    EXPECT_NE(run.err.find(GetParam().message), std::string::npos) << run.err;
}

INSTANTIATE_TEST_SUITE_P(
    Inputs, SpectrumCliFailure,
    ::testing::Values(
        Failing{"negativeValueIsNotAnOption", {"spectrum", "-0.3"}, 2, "C must be >0 and <1\n"},
        Failing{"emptyField", {"spectrum", ""}, 2, "type mismatch: the text \"\" of field C"},
        Failing{"word", {"spectrum", "abc"}, 2, "\"abc\" of field C is not a number"},
        Failing{"secondField", {"spectrum", "0.2", "x"}, 2, "field C2"},
        Failing{"reversed", {"spectrum", "0.6", "0.4"}, 2, "C1 must be less than C2\n"},
        Failing{"range", {"spectrum", "0", "0.5"}, 2, "These values must be >0 and <1\n"},
        Failing{"arithmetic", {"spectrum", "1e-20"}, 3, "invalid floating-point operation"},
        Failing{"noValue", {"spectrum"}, 2, "Usage:"},
        Failing{"threeValues", {"spectrum", "0.1", "0.2", "0.3"}, 2, "Usage:"},
        Failing{"unknownOption", {"spectrum", "0.3", "--frobnicate"}, 2, "--frobnicate"},
        Failing{"unknownCommand", {"draw"}, 2, "unknown command draw"}),
    [](const auto& row) { return std::string(row.param.name); });

TEST(SpectrumCli, DoubleDashMakesEveryLaterWordAValue) {
    const CliRun run = runCli({"spectrum", "--", "--json"});
    EXPECT_EQ(run.status, 2);
    EXPECT_NE(run.err.find("\"--json\" of field C"), std::string::npos);
}

TEST(SpectrumCli, AcceptsTheLocalesDecimalSeparator) {
    EXPECT_EQ(runCli({"spectrum", "0,3"}, ",").out, runCli({"spectrum", "0.3"}).out);
    EXPECT_EQ(runCli({"spectrum", "0,3"}).status, 2);
}

TEST(SpectrumCli, HelpPrintsUsage) {
    const CliRun run = runCli({"--help"});
    EXPECT_EQ(run.status, 0);
    EXPECT_NE(run.out.find("veltrane spectrum C"), std::string::npos);
}

// The program itself, so that argument words reach the command line exactly as typed.
TEST(SpectrumCli, ProgramTakesNegativeAndEmptyWordsAsFieldTexts) {
    const auto runProgram = [](const std::string& arguments) {
        const std::string command = std::string(VELTRANE_BINARY) + " " + arguments + " 2>&1";
        FILE* pipe = popen(command.c_str(), "r");
        std::string output;
        std::array<char, 256> buffer{};
        while (pipe != nullptr && fgets(buffer.data(), buffer.size(), pipe) != nullptr) {
            output += buffer.data();
        }
        const int status = pipe != nullptr ? pclose(pipe) : -1;
        return std::make_pair(WEXITSTATUS(status), output);
    };
    EXPECT_EQ(runProgram("spectrum -0.3"), std::make_pair(2, std::string("C must be >0 and <1\n")));
    const auto [status, output] = runProgram("spectrum ''");
    EXPECT_EQ(status, 2);
    EXPECT_NE(output.find("field C"), std::string::npos);
    EXPECT_EQ(runProgram("spectrum 0.3").second.substr(0, 34),
              "index,lyapunov,entropy,dimension\n0");
}

} // namespace
} // namespace veltrane
