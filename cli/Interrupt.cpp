#include "Interrupt.h"

#include <array>
#include <csignal>
#include <cstring>
#include <unistd.h>

namespace veltrane::cli {

namespace {

// Plain buffers and flags, which the signal handler can read without allocating.
std::array<char, 4096> g_pending{};
volatile std::sig_atomic_t g_progressShown = 0;

void onSignal(int signal) {
    if (g_pending[0] != '\0') {
        ::unlink(g_pending.data());
    }
    if (g_progressShown != 0) {
        static constexpr char kClear[] = "\r\033[K";
        [[maybe_unused]] const ssize_t ignored = ::write(STDERR_FILENO, kClear, sizeof kClear - 1);
    }
    ::_exit(128 + signal);
}

void handle(int signal) {
    struct sigaction current {};
    sigaction(signal, nullptr, &current);
    if (current.sa_handler == SIG_IGN) {
        return;
    }
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    sigaction(signal, &action, nullptr);
}

} // namespace

void installInterruptHandler() {
    handle(SIGINT);
    handle(SIGTERM);
}

void setPendingFile(const char* path) {
    g_pending.fill('\0');
    if (path != nullptr && std::strlen(path) < g_pending.size()) {
        std::strcpy(g_pending.data(), path);
    }
}

void setProgressShown(bool shown) {
    g_progressShown = shown ? 1 : 0;
}

} // namespace veltrane::cli
