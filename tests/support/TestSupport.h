#pragma once

// What every test binary shares: the data tables under tests/data, approved outputs, temporary
// folders and running the program itself. No Qt.
#include <filesystem>
#include <string>
#include <utility>
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

// x with a x = b, by Gaussian elimination with partial pivoting in Real (long double, or
// __float128 where the reference needs 34 digits): the tests' dense reference solve.
template <typename Real>
std::vector<Real> solveDense(std::vector<std::vector<Real>> a, std::vector<Real> b) {
    const auto magnitude = [](Real x) { return x < 0 ? -x : x; };
    const std::size_t n = b.size();
    for (std::size_t k = 0; k < n; ++k) {
        std::size_t pivot = k;
        for (std::size_t i = k + 1; i < n; ++i) {
            if (magnitude(a[i][k]) > magnitude(a[pivot][k])) {
                pivot = i;
            }
        }
        std::swap(a[k], a[pivot]);
        std::swap(b[k], b[pivot]);
        for (std::size_t i = k + 1; i < n; ++i) {
            const Real f = a[i][k] / a[k][k];
            for (std::size_t j = k; j < n; ++j) {
                a[i][j] -= f * a[k][j];
            }
            b[i] -= f * b[k];
        }
    }
    std::vector<Real> x(n);
    for (std::size_t k = n; k-- > 0;) {
        Real sum = b[k];
        for (std::size_t j = k + 1; j < n; ++j) {
            sum -= a[k][j] * x[j];
        }
        x[k] = sum / a[k][k];
    }
    return x;
}

} // namespace veltrane::test
