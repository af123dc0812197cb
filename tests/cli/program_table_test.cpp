// The program run from outside, one row of tests/data/cli/runs.tsv at a time: its words, its
// standard input, and what it must answer. The table's header says how a row reads.
#include "TestSupport.h"

#include <algorithm>
#include <cctype>
#include <fstream>
#include <gtest/gtest.h>
#include <iostream>
#include <sstream>

namespace veltrane {
namespace {

namespace fs = std::filesystem;

std::string listing(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) {
        names.push_back(entry.path().filename().string() + (entry.is_directory() ? "/" : ""));
    }
    std::sort(names.begin(), names.end());
    std::string text;
    for (const std::string& name : names) {
        text += (text.empty() ? "" : " ") + name;
    }
    return text;
}

void checkRun(test::Row row) {
    row.resize(8);
    const std::string data = test::dataPath("cli").string();
    const test::TempDir folder;
    std::istringstream setup(row[6]);
    for (std::string made; setup >> made;) {
        if (made.ends_with('/')) {
            fs::create_directory(folder.path() / made);
        } else {
            std::ofstream(folder.path() / made) << "";
        }
    }
    const test::ProgramRun run =
        test::runProgram(test::replaced(row[1], "DATA", data), row[2], folder.path());
    EXPECT_EQ(run.status, std::stoi(row[3]));
    if (row[4] == "-") {
        EXPECT_EQ(run.out, "");
    } else {
        test::expectApproved(run.out, "cli/" + row[4]);
    }
    const std::string err = test::replaced(run.err, data, "DATA");
    const bool start = row[5].ends_with("...");
    EXPECT_EQ(start ? err.substr(0, row[5].size() - 3) : err,
              start ? row[5].substr(0, row[5].size() - 3) : row[5]);
    EXPECT_EQ(listing(folder.path()), row[7]) << "files left in the folder";
}

// The runs of runs.tsv. A build without the windows answers those that need them as
// runs-without-windows.tsv says, each of its rows taking the place of the row of its name.
std::vector<test::Row> tableRuns() {
    std::vector<test::Row> rows = test::readTable("cli/runs.tsv");
    if (VELTRANE_WITH_WINDOWS == 0) {
        for (const test::Row& other : test::readTable("cli/runs-without-windows.tsv")) {
            for (test::Row& row : rows) {
                row = row[0] == other[0] ? other : row;
            }
        }
    }
    return rows;
}

// A row's name as GoogleTest takes it, letters, digits and "_": "plot-png" is plot_png.
std::string testName(const testing::TestParamInfo<test::Row>& info) {
    std::string name = info.param[0];
    std::replace_if(
        name.begin(), name.end(), [](unsigned char c) { return std::isalnum(c) == 0; }, '_');
    return name;
}

// One test a run, named after its row, so that a failure names the run it is.
class Run : public testing::TestWithParam<test::Row> {};

TEST_P(Run, AnswersAsTheTableSays) {
    checkRun(GetParam());
}

INSTANTIATE_TEST_SUITE_P(Table, Run, testing::ValuesIn(tableRuns()), testName);

// Every row of runs-without-windows.tsv takes the place of a run of runs.tsv, in any build.
TEST(Program, AnswersWithoutTheWindowsOnlyRunsOfTheTable) {
    const std::vector<test::Row> rows = test::readTable("cli/runs.tsv");
    for (const test::Row& other : test::readTable("cli/runs-without-windows.tsv")) {
        EXPECT_TRUE(std::any_of(rows.begin(), rows.end(),
                                [&](const test::Row& row) { return row[0] == other[0]; }))
            << other[0] << " in runs-without-windows.tsv is no run of runs.tsv";
    }
}

// The runs README.md shows, "$ command" and then its output in a fenced block, are the
// program's real output: each block whose first command runs veltrane is run in a folder of
// its own, a command after the other, and what each prints is compared with the lines below
// it. With VELTRANE_APPROVE set, README.md is rewritten with what they print instead, for a
// look at the difference before committing it.
struct ShownRun {
    std::string command;   // with the lines of a here-document
    std::size_t first = 0; // its output: README lines first .. last - 1
    std::size_t last = 0;
};

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> all;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        all.push_back(line);
    }
    return all;
}

bool runsTheProgram(const std::string& command) {
    return command.starts_with("veltrane ") || command.find("| veltrane ") != std::string::npos;
}

// The blocks of shown runs, each a list of runs in order.
std::vector<std::vector<ShownRun>> shownRuns(const std::vector<std::string>& readme) {
    std::vector<std::vector<ShownRun>> blocks;
    bool inBlock = false;
    for (std::size_t i = 0; i < readme.size(); ++i) {
        const std::string& line = readme[i];
        if (line.starts_with("```")) {
            inBlock = !inBlock;
            if (inBlock) {
                blocks.emplace_back();
            }
        } else if (inBlock && line.starts_with("$ ")) {
            ShownRun run{line.substr(2), i + 1, i + 1};
            if (line.find("<<'END'") != std::string::npos) {
                while (++i < readme.size() && readme[i] != "END") {
                    run.command += "\n" + readme[i];
                }
                run.command += "\nEND\n"; // the delimiter alone on its line
                run.first = run.last = i + 1;
            }
            blocks.back().push_back(run);
        } else if (inBlock && !blocks.back().empty()) {
            blocks.back().back().last = i + 1;
        }
    }
    std::erase_if(blocks, [](const std::vector<ShownRun>& block) {
        return block.empty() || !runsTheProgram(block.front().command);
    });
    return blocks;
}

TEST(Readme, ShowsTheProgramsRealOutput) {
    const fs::path path = fs::path(VELTRANE_SOURCE_DIR) / "README.md";
    std::vector<std::string> readme = lines(test::readFile(path));
    const std::vector<std::vector<ShownRun>> blocks = shownRuns(readme);
    ASSERT_GE(blocks.size(), 3U) << "README.md shows fewer runs than it did";
    std::vector<std::pair<ShownRun, std::vector<std::string>>> changed;
    // The estimator's example needs a python3 with NumPy first on the PATH.
    const bool numpy = test::runProgram("python3 -c 'import numpy'").status == 0;
    for (const std::vector<ShownRun>& block : blocks) {
        if (!numpy && block.size() > 1 && block[1].command.starts_with("python3 ")) {
            std::cerr << "not run, as python3 here has no NumPy: " << block[1].command << '\n';
            continue;
        }
        const test::TempDir folder;
        for (const ShownRun& shown : block) {
            SCOPED_TRACE(shown.command);
            const test::ProgramRun run = test::runProgram(shown.command, {}, folder.path());
            EXPECT_EQ(run.status, 0) << run.err;
            const std::vector<std::string> written(readme.begin() + shown.first,
                                                   readme.begin() + shown.last);
            if (lines(run.out) != written) {
                changed.emplace_back(shown, lines(run.out));
            }
            std::string shownText;
            for (const std::string& line : written) {
                shownText += line + '\n';
            }
            if (!test::approving()) {
                EXPECT_EQ(run.out, shownText) << "README.md, line " << shown.first + 1;
            }
        }
    }
    if (test::approving()) {
        // From the last run up, so that the line numbers before each stay right.
        for (auto shown = changed.rbegin(); shown != changed.rend(); ++shown) {
            readme.erase(readme.begin() + shown->first.first, readme.begin() + shown->first.last);
            readme.insert(readme.begin() + shown->first.first, shown->second.begin(),
                          shown->second.end());
        }
        std::ofstream out(path, std::ios::binary);
        for (const std::string& line : readme) {
            out << line << '\n';
        }
    }
}

} // namespace
} // namespace veltrane
