// The command line. It links no window toolkit, so the data commands start at once; for the
// windows and for pictures it becomes the program's windows' side, veltrane-gui, installed
// beside it, with the same words.
#include <cerrno>
#include <clocale>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <iostream>
#include <string>
#include <unistd.h>
#include <vector>
#include <veltrane/cli/Cli.h>
#include <veltrane/process/DisplayCheck.h>
#include <veltrane/process/ExitStatus.h>
#include <veltrane/process/Interrupt.h>

using namespace veltrane::process;

namespace {

namespace fs = std::filesystem;

// veltrane-gui in the libexec folder of the installation beside bin/, or in the build tree's
// folder of that name next to the program.
std::string windowsProgram() {
    std::error_code ignored;
    const fs::path self = fs::read_symlink("/proc/self/exe", ignored).parent_path();
    const fs::path relative = fs::path(VELTRANE_LIBEXECDIR) / "veltrane" / "veltrane-gui";
    const fs::path installed = self.parent_path() / relative;
    return (fs::exists(installed, ignored) ? installed : self / relative).string();
}

// Descriptors 0, 1 and 2 closed at the start would be taken by the next files opened, here or
// in the windows' side, and standard input read or output written there. /dev/null holds
// them, opened the other way round, so that using them still fails as on a closed descriptor.
void holdClosedStandardDescriptors() {
    for (const int fd : {STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO}) {
        if (::fcntl(fd, F_GETFD) < 0 && errno == EBADF) {
            const int held = ::open("/dev/null", fd == STDIN_FILENO ? O_WRONLY : O_RDONLY);
            if (held >= 0 && held != fd) {
                ::dup2(held, fd);
                ::close(held);
            }
        }
    }
}

} // namespace

int main(int argc, char* argv[]) {
    holdClosedStandardDescriptors();
    std::setlocale(LC_ALL, "");
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (veltrane::cli::needsWindows(args)) {
        if (args.empty()) {
            if (const auto problem = veltrane::process::missingDisplay()) {
                std::cerr << *problem << '\n';
                return kExitFailure;
            }
        }
        const std::string windows = windowsProgram();
        ::execv(windows.c_str(), argv);
        std::cerr << "veltrane: cannot start " << windows << ": " << std::strerror(errno) << '\n';
        return kExitFailure;
    }
    veltrane::process::installInterruptHandler();
    return veltrane::cli::runOnStandardStreams(args, nullptr);
}
