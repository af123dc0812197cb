#include "../graph/RecordingSurface.h"
#include "CliRunner.h"
#include "ExactCommand.h"
#include "ExactSpectrum.h"
#include "NumberText.h"
#include "SpectrumOptions.h"

#include <array>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <sstream>
#include <stdexcept>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace veltrane {
namespace {

using test::CliRun;
using test::lines;
using test::runCli;

std::vector<std::string> fields(const std::string& row) {
    std::vector<std::string> result;
    std::istringstream in(row);
    for (std::string field; std::getline(in, field, ',');) {
        result.push_back(field);
    }
    return result;
}

// The double (or single) a field spells; the field must be the shortest text that reads back
// to it.
template <typename T = double> T number(const std::string& text) {
    T value = 0;
    const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
    EXPECT_TRUE(result.ec == std::errc() && result.ptr == text.data() + text.size()) << text;
    EXPECT_EQ(shortest(value), text);
    return value;
}

// A file in the test's temporary folder, removed again at the end of the test.
class TempFile {
public:
    explicit TempFile(const std::string& contents) {
        const auto* info = testing::UnitTest::GetInstance()->current_test_info();
        m_path =
            std::filesystem::path(testing::TempDir()) /
            (std::string("veltrane_") + info->name() + "_" + std::to_string(getpid()) + ".txt");
        std::ofstream(m_path) << contents;
    }
    ~TempFile() {
        std::error_code ignored;
        std::filesystem::remove(m_path, ignored);
    }
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;
    std::string path() const { return m_path.string(); }

private:
    std::filesystem::path m_path;
};

TEST(ExactCli, CsvHasTheClassicHeaderAndShortestDoubles) {
    const CliRun run = runCli({"spectrum", "--exact", "0.3"});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(run.err.empty());
    const auto rows = lines(run.out);
    ASSERT_EQ(rows.size(), 102U);
    EXPECT_EQ(rows[0], "index,lyapunov,entropy,dimension");
    EXPECT_EQ(rows[1], "0,0.35667494393873234,0,0");
    EXPECT_EQ(rows[101], "100,1.2039728043259361,0,0");
    const std::vector<ExactPoint> expected = exactSpectrum({0.3}, 101).points;
    for (std::size_t i = 0; i < expected.size(); ++i) {
        const auto row = fields(rows[i + 1]);
        ASSERT_EQ(row.size(), 4U);
        EXPECT_EQ(row[0], std::to_string(i));
        EXPECT_EQ(number(row[1]), expected[i].lyapunov);
        EXPECT_EQ(number(row[2]), expected[i].entropy);
        EXPECT_EQ(number(row[3]), expected[i].dimension);
    }
}

TEST(ExactCli, PointsSetsTheNumberOfRows) {
    const CliRun run = runCli({"spectrum", "--exact", "0.2", "0.6", "--points", "5"});
    ASSERT_EQ(run.status, 0) << run.err;
    const auto rows = lines(run.out);
    ASSERT_EQ(rows.size(), 6U);
    EXPECT_EQ(fields(rows[5])[0], "4");
    const CliRun two = runCli({"spectrum", "--points", "2", "--exact", "0.2", "0.6"});
    EXPECT_EQ(lines(two.out).size(), 3U);
}

TEST(ExactCli, EqualBranchesGiveOneRow) {
    const CliRun run = runCli({"spectrum", "--exact", "0.25", "0.5", "0.75"});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out,
              "index,lyapunov,entropy,dimension\n0,1.3862943611198906,1.3862943611198906,1\n");
}

TEST(ExactCli, JsonCarriesBreakPointsExponentsAndPoints) {
    const CliRun run = runCli({"spectrum", "--exact", "--json", "0.2", "0.6", "--points", "3"});
    ASSERT_EQ(run.status, 0) << run.err;
    const std::vector<ExactPoint> p = exactSpectrum({0.2, 0.6}, 3).points;
    std::ostringstream expected;
    expected << "{\"breakPoints\":[0.2,0.6],\"exponents\":[" << shortest(-std::log(0.2)) << ','
             << shortest(-std::log(0.6 - 0.2)) << ',' << shortest(-std::log(1 - 0.6))
             << "],\"points\":[";
    for (std::size_t i = 0; i < p.size(); ++i) {
        expected << (i == 0 ? "" : ",") << "\n{\"index\":" << i
                 << ",\"lyapunov\":" << shortest(p[i].lyapunov)
                 << ",\"entropy\":" << shortest(p[i].entropy)
                 << ",\"dimension\":" << shortest(p[i].dimension) << '}';
    }
    expected << "]}\n";
    EXPECT_EQ(run.out, expected.str());
}

TEST(ExactCli, AcceptsTheLocaleSeparatorBesideThePoint) {
    const CliRun comma = runCli({"spectrum", "--exact", "0,3"}, ",");
    const CliRun point = runCli({"spectrum", "--exact", "0.3"}, ",");
    ASSERT_EQ(comma.status, 0) << comma.err;
    EXPECT_EQ(comma.out, runCli({"spectrum", "--exact", "0.3"}).out);
    EXPECT_EQ(point.out, comma.out);
}

struct RefusedRow {
    const char* name;
    std::vector<std::string> words;
    int status;
    const char* message;
};

class ExactCliRefused : public testing::TestWithParam<RefusedRow> {};

TEST_P(ExactCliRefused, ExitsWithAClearMessageAndPrintsNothing) {
    std::vector<std::string> args{"spectrum"};
    args.insert(args.end(), GetParam().words.begin(), GetParam().words.end());
    const CliRun run = runCli(args);
    EXPECT_EQ(run.status, GetParam().status);
    EXPECT_TRUE(run.out.empty());
    EXPECT_EQ(run.err.rfind(std::string("veltrane: ") + GetParam().message + "\n", 0), 0U)
        << run.err;
}

INSTANTIATE_TEST_SUITE_P(
    Rows, ExactCliRefused,
    testing::Values(
        RefusedRow{"noBreakPoints", {"--exact"}, 2, "--exact takes the break points B_1 ... B_k"},
        RefusedRow{"decreasing",
                   {"--exact", "0.6", "0.4"},
                   2,
                   "break point 2 (0.4) must be greater than break point 1 (0.6)"},
        RefusedRow{"negativeIsAValue",
                   {"--exact", "0.2", "-0.3"},
                   2,
                   "break point 2 (-0.3) must lie strictly inside (0, 1)"},
        RefusedRow{"word", {"--exact", "0.1", "x"}, 2, "break point 2 (\"x\") is not a number"},
        RefusedRow{"tooFewPoints",
                   {"--exact", "0.3", "--points", "1"},
                   2,
                   "--points takes a whole number from 2 to 10000000"},
        RefusedRow{"tooManyPoints",
                   {"--exact", "0.3", "--points", "10000001"},
                   2,
                   "--points takes a whole number from 2 to 10000000"},
        RefusedRow{"pointsNotWhole",
                   {"--exact", "0.3", "--points", "1e3"},
                   2,
                   "--points takes a whole number from 2 to 10000000"},
        RefusedRow{"pointsWithoutExact", {"0.3", "--points", "5"}, 2, "--points goes with --exact"},
        RefusedRow{
            "pointsWithoutValue", {"--exact", "0.3", "--points"}, 2, "--points needs a value"},
        RefusedRow{"fromWithoutValue", {"--from"}, 2, "--from needs a value"},
        RefusedRow{"fromAndValues",
                   {"--from", "-", "0.3"},
                   2,
                   "give the break points either as values or with --from, not both"},
        RefusedRow{"compareWithExact",
                   {"--exact", "0.3", "--compare"},
                   2,
                   "--compare goes with C, or C1 and C2, not with --exact or --from"},
        RefusedRow{"compareWithPlot",
                   {"0.3", "--compare", "--plot", "a.png"},
                   2,
                   "--compare prints a table and does not go with --plot"},
        RefusedRow{"missingFile",
                   {"--from", "no such file.txt"},
                   2,
                   "cannot read no such file.txt: No such file or directory"}),
    [](const auto& row) { return std::string(row.param.name); });

TEST(ExactCli, RejectedClassicValuesAreReportedAsTheAnalysisDoes) {
    // The classic analyses' own texts stand without the program's prefix.
    const CliRun run = runCli({"spectrum", "0.5", "0.4", "--compare"});
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.err, "C1 must be less than C2\n");
    EXPECT_TRUE(run.out.empty());
}

TEST(ExactCli, FromFileReadsBlankAndLineSeparatedNumbers) {
    const TempFile file("0.1 0.25\n\t0.5\r\n\n0.9  \n");
    const CliRun fromFile = runCli({"spectrum", "--from", file.path(), "--points", "7"});
    ASSERT_EQ(fromFile.status, 0) << fromFile.err;
    const CliRun fromWords =
        runCli({"spectrum", "--exact", "0.1", "0.25", "0.5", "0.9", "--points", "7"});
    EXPECT_EQ(fromFile.out, fromWords.out);
    EXPECT_EQ(lines(fromFile.out).size(), 8U);
    // --exact beside --from changes nothing.
    EXPECT_EQ(runCli({"spectrum", "--exact", "--from", file.path(), "--points", "7"}).out,
              fromWords.out);
}

TEST(ExactCli, BadFileNamesTheFileAndTheLine) {
    const TempFile notNumbers("0.1 0.2\n0.3 0,4\n");
    CliRun run = runCli({"spectrum", "--from", notNumbers.path()});
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.err, "veltrane: " + notNumbers.path() + ": line 2: \"0,4\" is not a number\n");
    EXPECT_TRUE(run.out.empty());

    run = runCli({"spectrum", "--from", testing::TempDir()});
    EXPECT_EQ(run.status, 2);
    EXPECT_NE(run.err.find("is a folder"), std::string::npos) << run.err;
}

// Reading the program's real standard input is ExactCliProgram's part.
TEST(ExactCli, BadStandardInputIsNamedAsSuch) {
    const auto parsed = cli::parseSpectrumOptions({"--from", "-", "--points", "4"});
    ASSERT_TRUE(parsed.options) << parsed.error;
    std::istringstream bad("0.3 abc");
    std::ostringstream badOut;
    std::ostringstream badErr;
    EXPECT_EQ(cli::runExact(*parsed.options, ".", bad, badOut, badErr), 2);
    EXPECT_EQ(badErr.str(), "veltrane: standard input: line 1: \"abc\" is not a number\n");
    EXPECT_TRUE(badOut.str().empty());
}

struct ProgramRun {
    int status;
    std::string out;
};

// Runs the built program through the shell with `input` on its standard input.
ProgramRun runProgram(const std::string& input, const std::string& arguments) {
    const TempFile stdinFile(input);
    const std::string command = std::string("'") + VELTRANE_BINARY + "' " + arguments + " < '" +
                                stdinFile.path() + "' 2>/dev/null";
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) {
        ADD_FAILURE() << "cannot start " << command;
        return {-1, {}};
    }
    std::string out;
    std::array<char, 4096> buffer{};
    for (std::size_t n; (n = std::fread(buffer.data(), 1, buffer.size(), pipe)) > 0;) {
        out.append(buffer.data(), n);
    }
    const int status = pclose(pipe);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, out};
}

TEST(ExactCliProgram, ReadsBreakPointsFromStandardInput) {
    const ProgramRun run = runProgram("0.2\n0.6\n", "spectrum --from - --points 5");
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, runCli({"spectrum", "--exact", "0.2", "0.6", "--points", "5"}).out);
    const ProgramRun empty = runProgram("", "spectrum --from -");
    EXPECT_EQ(empty.status, 2);
    EXPECT_TRUE(empty.out.empty());
}

// The stored columns are singles, the exact ones doubles.
TEST(ExactCli, StoreForTheGraphWindowHoldsThePointsAsSingles) {
    const std::vector<ExactPoint> points = exactSpectrum({0.2, 0.6}, 101).points;
    const Module1 store = cli::exactStore(points);
    EXPECT_EQ(store.graph_count, 2);
    EXPECT_EQ(store.graph_n(1), 100);
    EXPECT_EQ(store.graph_n(2), 100);
    for (int j = 0; j <= 100; ++j) {
        const ExactPoint& p = points[static_cast<std::size_t>(j)];
        EXPECT_EQ(store.graph_x(1, j), static_cast<float>(p.lyapunov));
        EXPECT_EQ(store.graph_x(2, j), static_cast<float>(p.lyapunov));
        EXPECT_EQ(store.graph_y(1, j), static_cast<float>(p.entropy));
        EXPECT_EQ(store.graph_y(2, j), static_cast<float>(p.dimension));
    }
    const Module1 single = cli::exactStore(exactSpectrum({0.5}, 101).points);
    EXPECT_EQ(single.graph_n(1), 0);
    EXPECT_EQ(single.graph_y(2, 0), 1.0F);
    EXPECT_THROW(cli::exactStore(exactSpectrum({0.3}, 102).points), std::length_error);
}

std::string fileText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The six range labels the graph window writes for a store.
std::vector<std::string> rangeLabels(const Module1& store) {
    test::RecordingSurface surface;
    test::RecordingCaptions captions;
    PlotVariables variables;
    plot_graphs(store.graph_count, store, surface, captions, variables);
    std::vector<std::string> texts;
    for (const auto& [label, text] : captions.written) {
        texts.push_back(text);
    }
    return texts;
}

TEST(ExactCliProgram, PlotDrawsTheExactCurvesIntoTheGraphWindowPicture) {
    const std::filesystem::path dir = std::filesystem::path(testing::TempDir()) /
                                      ("veltrane_exact_plot_" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    const std::string exactFile = (dir / "exact.svg").string();
    const std::string classicFile = (dir / "classic.svg").string();

    const ProgramRun exact = runProgram("", "spectrum --exact 0.2 0.6 --plot '" + exactFile + "'");
    EXPECT_EQ(exact.status, 0);
    EXPECT_TRUE(exact.out.empty()) << "with --plot alone nothing goes to standard output";
    const ProgramRun classic = runProgram("", "spectrum 0.2 0.6 --plot '" + classicFile + "'");
    ASSERT_EQ(classic.status, 0);

    // The labels show the ranges of the exact curves; the search's largest entropy is lower.
    const std::vector<std::string> labels =
        rangeLabels(cli::exactStore(exactSpectrum({0.2, 0.6}, 101).points));
    ASSERT_EQ(labels.size(), 6U);
    const std::string exactSvg = fileText(exactFile);
    for (const std::string& label : labels) {
        EXPECT_NE(exactSvg.find(label), std::string::npos) << label;
    }
    EXPECT_EQ(fileText(classicFile).find(labels[2]), std::string::npos) << labels[2];

    // --csv prints the points beside the picture.
    const ProgramRun withCsv = runProgram("", "spectrum --exact 0.2 0.6 --points 7 --csv --plot '" +
                                                  (dir / "b.png").string() + "'");
    EXPECT_EQ(withCsv.status, 0);
    EXPECT_EQ(withCsv.out, runCli({"spectrum", "--exact", "0.2", "0.6", "--points", "7"}).out);
    EXPECT_EQ(fileText((dir / "b.png").string()).substr(1, 3), "PNG");
    std::filesystem::remove_all(dir);
}

TEST(ExactCli, PlotRefusalsNameTheReasonAndWriteNothing) {
    const std::string tooMany = testing::TempDir() + "veltrane_exact_many.png";
    CliRun run = runCli({"spectrum", "--exact", "0.3", "--points", "102", "--plot", tooMany});
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.err, "veltrane: --plot draws at most 101 points, as many as the graph window "
                       "holds; give --points 101 or fewer\n");
    EXPECT_FALSE(std::filesystem::exists(tooMany));
    const std::string unknown = testing::TempDir() + "veltrane_exact_picture.bmp";
    run = runCli({"spectrum", "--exact", "0.3", "--plot", unknown});
    EXPECT_EQ(run.status, 2);
    EXPECT_NE(run.err.find("must be .png, .svg or .pdf"), std::string::npos) << run.err;
    EXPECT_FALSE(std::filesystem::exists(unknown));
    run = runCli({"spectrum", "--exact", "0.3", "--grid"});
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.err.rfind("veltrane: --grid and --dpi go with --plot\n", 0), 0U);
    EXPECT_TRUE(run.out.empty());
}

struct ComparedRow {
    int index;
    float lyapunov, entropy, dimension;
    double exactEntropy, exactDimension, entropyDifference, dimensionDifference;
};

std::vector<ComparedRow> comparedRows(const std::vector<std::string>& rows) {
    std::vector<ComparedRow> result;
    for (std::size_t i = 1; i + 1 < rows.size(); ++i) {
        const auto f = fields(rows[i]);
        EXPECT_EQ(f.size(), 8U) << rows[i];
        if (f.size() != 8U) {
            continue;
        }
        result.push_back({std::stoi(f[0]), number<float>(f[1]), number<float>(f[2]),
                          number<float>(f[3]), number(f[4]), number(f[5]), number(f[6]),
                          number(f[7])});
    }
    return result;
}

// The row of the largest |difference|, the first of equals.
const ComparedRow& largest(const std::vector<ComparedRow>& rows, double ComparedRow::*difference) {
    std::size_t at = 0;
    for (std::size_t i = 1; i < rows.size(); ++i) {
        at = std::fabs(rows[i].*difference) > std::fabs(rows[at].*difference) ? i : at;
    }
    return rows[at];
}

// "# largest entropy difference: V at index J; largest dimension difference: V at index J"
std::string largestLine(const std::vector<ComparedRow>& rows) {
    const ComparedRow& e = largest(rows, &ComparedRow::entropyDifference);
    const ComparedRow& d = largest(rows, &ComparedRow::dimensionDifference);
    return "# largest entropy difference: " + shortest(e.entropyDifference) + " at index " +
           std::to_string(e.index) +
           "; largest dimension difference: " + shortest(d.dimensionDifference) + " at index " +
           std::to_string(d.index);
}

TEST(CompareCli, ThreeBranchRowsCarryExactValuesAndDifferences) {
    const CliRun run = runCli({"spectrum", "0.2", "0.6", "--compare"});
    ASSERT_EQ(run.status, 0) << run.err;
    const auto text = lines(run.out);
    ASSERT_EQ(text.size(), 103U); // header, 101 stored points, the closing line
    EXPECT_EQ(text[0], "index,lyapunov,entropy,dimension,exact_entropy,exact_dimension,"
                       "entropy_difference,dimension_difference");
    const std::vector<ComparedRow> rows = comparedRows(text);
    ASSERT_EQ(rows.size(), 101U);
    // The stored columns are the classic output's.
    const auto classic = lines(runCli({"spectrum", "0.2", "0.6"}).out);
    const ExactSolver solver({-std::log(double{0.2F}), -std::log(double{0.6F} - double{0.2F}),
                              -std::log(1.0 - double{0.6F})});
    for (const ComparedRow& row : rows) {
        const auto stored = fields(classic[static_cast<std::size_t>(row.index) + 1]);
        EXPECT_EQ(stored[1], shortest(row.lyapunov));
        EXPECT_EQ(stored[2], shortest(row.entropy));
        EXPECT_EQ(stored[3], shortest(row.dimension));
        const ExactPoint exact = solver.atLyapunov(row.lyapunov);
        EXPECT_EQ(row.exactEntropy, exact.entropy);
        EXPECT_EQ(row.exactDimension, exact.entropy / double{row.lyapunov});
        EXPECT_EQ(row.entropyDifference, row.exactEntropy - row.entropy);
        EXPECT_EQ(row.dimensionDifference, row.exactDimension - row.dimension);
    }
    EXPECT_EQ(text.back(), largestLine(rows));
    // The search misses most where two exponents nearly coincide, at its first point.
    EXPECT_GT(rows.front().entropyDifference, 0.4);
}

TEST(CompareCli, TwoBranchDifferencesAreOnlyRounding) {
    for (const char* c : {"0.3", "0.7", "0.1", "0.999"}) {
        const CliRun run = runCli({"spectrum", c, "--compare"});
        ASSERT_EQ(run.status, 0) << run.err;
        const auto text = lines(run.out);
        const std::vector<ComparedRow> rows = comparedRows(text);
        ASSERT_EQ(rows.size(), 101U);
        for (const ComparedRow& row : rows) {
            // The analysis rounds its exponents, weights and entropy to single precision.
            EXPECT_NEAR(row.entropyDifference, 0.0, 1e-6) << c << " index " << row.index;
        }
        EXPECT_EQ(text.back(), largestLine(rows));
    }
}

TEST(CompareCli, FewerStoredPointsGiveFewerRows) {
    const CliRun run = runCli({"spectrum", "0.3", "0.4", "--compare"});
    ASSERT_EQ(run.status, 0) << run.err;
    const auto text = lines(run.out);
    ASSERT_EQ(text.size(), 102U);
    EXPECT_EQ(comparedRows(text).back().index, 99);
}

TEST(CompareCli, JsonCarriesTheSameComparison) {
    const CliRun csv = runCli({"spectrum", "0.2", "0.6", "--compare"});
    const CliRun json = runCli({"spectrum", "0.2", "0.6", "--compare", "--json"});
    ASSERT_EQ(json.status, 0) << json.err;
    EXPECT_EQ(json.out.rfind("{\"breakPoints\":[0.2,0.6],\"exponents\":[", 0), 0U);
    EXPECT_NE(json.out.find("\"exactExponents\":["), std::string::npos);
    const std::vector<ComparedRow> rows = comparedRows(lines(csv.out));
    const ComparedRow& first = rows.front();
    EXPECT_NE(json.out.find("{\"index\":0,\"lyapunov\":0.9162907,\"entropy\":-0,"
                            "\"dimension\":-0,\"exactEntropy\":" +
                            shortest(first.exactEntropy)),
              std::string::npos);
    const ComparedRow& most = largest(rows, &ComparedRow::entropyDifference);
    EXPECT_NE(json.out.find(
                  "\"largestEntropyDifference\":{\"value\":" + shortest(most.entropyDifference) +
                  ",\"index\":" + std::to_string(most.index) + "}"),
              std::string::npos);
    EXPECT_EQ(json.out.substr(json.out.size() - 2), "}\n");
}

TEST(ExactCli, UsageNamesTheNewOptions) {
    const std::string text = cli::usage();
    for (const char* option : {"--exact", "--points N", "--from FILE", "--compare",
                               "entropy_difference,dimension_difference"}) {
        EXPECT_NE(text.find(option), std::string::npos) << option;
    }
}

} // namespace
} // namespace veltrane
