#include <array>
#include <atomic>
#include <climits>
#include <cstring>
#include <pthread.h>
#include <unistd.h>
#include <veltrane/process/ExitStatus.h>
#include <veltrane/process/Interrupt.h>

namespace veltrane::process {

namespace {

// Plain buffers and lock-free flags, which the signal handler can read without allocating.
std::array<char, PATH_MAX> g_pending{};
std::atomic<bool> g_hasPending{false};
static_assert(std::atomic<bool>::is_always_lock_free);
volatile std::sig_atomic_t g_progressShown = 0;
sigset_t g_handled{};              // the signals whose handler installInterruptHandler set
std::atomic<bool> g_cancel{false}; // Ctrl+C asked the run going on to stop
std::atomic<int> g_cancellable{0}; // runs going on that check g_cancel

// Signals that end a run, sent by a user (kill, a closed terminal, Ctrl+C) or by the system
// (file size and CPU time limits, timers); the real-time signals join them at installation.
constexpr std::array kEndingSignals{
    SIGHUP,  SIGINT,  SIGTERM, SIGUSR1, SIGUSR2, SIGALRM,   SIGVTALRM,
    SIGPROF, SIGXCPU, SIGXFSZ, SIGIO,   SIGPWR,  SIGSTKFLT,
};

// Signals whose default action, taken after tidying, still matters: a core for SIGQUIT and
// the faults, and for SIGPIPE the silent end a writer into a closed pipe is expected to have.
constexpr std::array kDefaultActionSignals{
    SIGQUIT, SIGILL, SIGTRAP, SIGABRT, SIGBUS, SIGFPE, SIGSEGV, SIGSYS, SIGPIPE,
};

void tidy() {
    if (g_hasPending.load()) {
        ::unlink(g_pending.data());
    }
    if (g_progressShown != 0) {
        static constexpr char kClear[] = "\r\033[K";
        [[maybe_unused]] const ssize_t ignored = ::write(STDERR_FILENO, kClear, sizeof kClear - 1);
    }
}

void endRun(int signal) {
    tidy();
    ::_exit(exitStatusOfSignal(signal));
}

// A run that checks the flag stops within milliseconds and tidies up as it unwinds; a second
// Ctrl+C, or one while no such run goes on, ends the process at once.
void interrupt(int signal) {
    if (g_cancellable.load() > 0 && !g_cancel.exchange(true)) {
        return;
    }
    endRun(signal);
}

void endWithDefaultAction(int signal) {
    tidy();
    struct sigaction fallback {};
    fallback.sa_handler = SIG_DFL;
    sigemptyset(&fallback.sa_mask);
    sigaction(signal, &fallback, nullptr);
    // Held until this handler returns; a fault taken again on return ends the same way.
    ::raise(signal);
}

void handle(int signal, void (*handler)(int)) {
    struct sigaction current {};
    if (sigaction(signal, nullptr, &current) != 0 || current.sa_handler != SIG_DFL) {
        return; // ignored since the start, or handled by something else (a sanitizer)
    }
    struct sigaction action {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    if (sigaction(signal, &action, nullptr) == 0) {
        sigaddset(&g_handled, signal);
    }
}

} // namespace

void installInterruptHandler() {
    sigemptyset(&g_handled);
    for (const int signal : kEndingSignals) {
        handle(signal, signal == SIGINT ? interrupt : endRun);
    }
    for (int signal = SIGRTMIN; signal <= SIGRTMAX; ++signal) {
        handle(signal, endRun);
    }
    for (const int signal : kDefaultActionSignals) {
        handle(signal, endWithDefaultAction);
    }
}

void setPendingFile(const char* path) {
    // The name is complete before the handler may read it.
    g_hasPending = false;
    if (path != nullptr && std::strlen(path) < g_pending.size()) {
        g_pending.fill('\0');
        std::strcpy(g_pending.data(), path);
        g_hasPending = true;
    }
}

void setProgressShown(bool shown) {
    g_progressShown = shown ? 1 : 0;
}

const std::atomic<bool>& interruptFlag() {
    return g_cancel;
}

CancellableRun::CancellableRun() {
    ++g_cancellable;
}

CancellableRun::~CancellableRun() {
    --g_cancellable;
}

SignalsHeld::SignalsHeld() {
    pthread_sigmask(SIG_BLOCK, &g_handled, &m_before);
}

SignalsHeld::~SignalsHeld() {
    pthread_sigmask(SIG_SETMASK, &m_before, nullptr);
}

} // namespace veltrane::process
