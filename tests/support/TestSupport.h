#pragma once

// What every test binary shares: the data tables under tests/data, approved outputs, temporary
// folders and running the program itself. No Qt.
#include <filesystem>
#include <string>
#include <vector>

namespace veltrane::test {

// text with every from replaced by to.
std::string replaced(std::string text, const std::string& from, const std::string& to);

// A file under tests/data.
std::filesystem::path dataPath(const std::string& relative);
std::string readFile(const std::filesystem::path& path);

// The rows of a tab-separated table under tests/data, without blank and "#" lines. A field
// written '' is the empty text, and \n and \t stand for a line end and a tab.
using Row = std::vector<std::string>;
std::vector<Row> readTable(const std::string& relative);

// The numbers written in words, separated by blanks ("0.2 0.6").
std::vector<double> numbers(const std::string& words);

// True when VELTRANE_APPROVE is set: approved files are then written, not compared.
bool approving();

// Compares text with the approved file tests/data/<relative> (writes it when approving); a
// mismatch fails the test and leaves the text in build/artifacts for a look.
void expectApproved(const std::string& text, const std::string& relative);

// A folder of its own, removed with everything in it at the end of the scope.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& path() const { return m_path; }

private:
    std::filesystem::path m_path;
};

struct ProgramRun {
    int status = -1;
    std::string out;
    std::string err;
};

// Runs a shell command line in folder cwd, with input on its standard input and the built
// program first on the PATH, so that "veltrane" is the program under test.
ProgramRun runProgram(const std::string& command, const std::string& input = {},
                      const std::filesystem::path& cwd = std::filesystem::current_path());

} // namespace veltrane::test
