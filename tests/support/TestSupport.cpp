#include "TestSupport.h"

#include <cstdlib>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

namespace veltrane::test {

namespace fs = std::filesystem;

fs::path dataPath(const std::string& relative) {
    return fs::path(VELTRANE_SOURCE_DIR) / "tests" / "data" / relative;
}

std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::string replaced(std::string text, const std::string& from, const std::string& to) {
    for (std::size_t at = 0; (at = text.find(from, at)) != std::string::npos; at += to.size()) {
        text.replace(at, from.size(), to);
    }
    return text;
}

std::vector<Row> readTable(const std::string& relative) {
    std::istringstream in(readFile(dataPath(relative)));
    std::vector<Row> rows;
    for (std::string line; std::getline(in, line);) {
        Row row;
        std::istringstream fields(line);
        for (std::string field; std::getline(fields, field, '\t');) {
            row.push_back(field == "''" ? "" : replaced(replaced(field, "\\n", "\n"), "\\t", "\t"));
        }
        if (!line.empty() && line[0] != '#') {
            rows.push_back(row);
        }
    }
    EXPECT_FALSE(rows.empty()) << relative;
    return rows;
}

std::vector<double> numbers(const std::string& words) {
    std::istringstream in(words);
    std::vector<double> values;
    for (std::string word; in >> word;) {
        values.push_back(std::strtod(word.c_str(), nullptr));
    }
    return values;
}

bool approving() {
    return std::getenv("VELTRANE_APPROVE") != nullptr;
}

void expectApproved(const std::string& text, const std::string& relative) {
    if (approving()) {
        fs::create_directories(dataPath(relative).parent_path());
        std::ofstream(dataPath(relative), std::ios::binary) << text;
        return;
    }
    if (text != readFile(dataPath(relative))) {
        const fs::path seen = fs::path(VELTRANE_BUILD_DIR) / "artifacts" / relative;
        fs::create_directories(seen.parent_path());
        std::ofstream(seen, std::ios::binary) << text;
        ADD_FAILURE() << relative << " differs from what was approved; see " << seen;
    }
}

TempDir::TempDir() {
    std::string pattern = (fs::temp_directory_path() / "veltrane-test-XXXXXX").string();
    m_path = mkdtemp(pattern.data()) != nullptr ? fs::path(pattern) : fs::path();
    EXPECT_FALSE(m_path.empty()) << "no temporary folder";
}

TempDir::~TempDir() {
    std::error_code ignored;
    fs::remove_all(m_path, ignored);
}

ProgramRun runProgram(const std::string& command, const std::string& input, const fs::path& cwd) {
    const TempDir io;
    std::ofstream(io.path() / "in", std::ios::binary) << input;
    const std::string in = io.path() / "in";
    const std::string out = io.path() / "out";
    const std::string err = io.path() / "err";
    const std::string bin = fs::path(VELTRANE_BINARY).parent_path();
    const int status =
        std::system(("export PATH='" + bin + "':\"$PATH\" && cd '" + cwd.string() + "' && (" +
                     command + ") <'" + in + "' >'" + out + "' 2>'" + err + "'")
                        .c_str());
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, readFile(out), readFile(err)};
}

} // namespace veltrane::test
