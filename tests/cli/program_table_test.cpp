// The program run from outside, one row of tests/data/cli/runs.tsv at a time: its words, its
// standard input, and what it must answer. The table's header says how a row reads.
#include "TestSupport.h"

#include <algorithm>
#include <fstream>
#include <gtest/gtest.h>
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
    for (const test::Row& other : test::readTable("cli/runs-without-windows.tsv")) {
        const auto same = std::find_if(rows.begin(), rows.end(),
                                       [&](const test::Row& row) { return row[0] == other[0]; });
        if (same == rows.end()) {
            ADD_FAILURE() << other[0] << " in runs-without-windows.tsv is no run of runs.tsv";
        } else if (VELTRANE_WITH_WINDOWS == 0) {
            *same = other;
        }
    }
    return rows;
}

TEST(Program, AnswersEveryRunOfTheTable) {
    for (const test::Row& row : tableRuns()) {
        SCOPED_TRACE(row[0]);
        checkRun(row);
    }
}

} // namespace
} // namespace veltrane
