#pragma once

#include <atomic>
#include <csignal>

namespace veltrane::process {

// Ends the process on every signal whose default action would end it, after removing the
// temporary file an AtomicFile is writing and clearing a progress line, so that no run ends
// with a partial file or a half line. Signals that a user or the system sends to end a run
// (SIGHUP, SIGINT, SIGTERM, SIGXFSZ, SIGXCPU, SIGALRM, SIGUSR1 ...) end it with status
// 128 + the signal's number: 129 for a closed terminal, 130 for Ctrl+C, 143 for SIGTERM.
// While a CancellableRun goes on, Ctrl+C only sets interruptFlag(), which the run checks: it
// stops within milliseconds, throwing Cancelled, and the command ends with 130 as it unwinds;
// a second Ctrl+C ends the process at once.
// SIGQUIT and the faults (SIGSEGV, SIGABRT ...) then take their default action, which dumps
// core where the limits allow; SIGPIPE too, so that a closed pipe ends the process silently,
// as it always did. A signal the process was started with ignored, as a shell ignores Ctrl+C
// for a job in the background, stays ignored, and one that something else handles already is
// left to it. SIGKILL cannot be caught: it alone leaves the temporary file behind.
void installInterruptHandler();

// The flag Ctrl+C sets while a CancellableRun goes on: the cancel flag of its RunControl.
const std::atomic<bool>& interruptFlag();

// Marks, for its lifetime, a run that checks interruptFlag().
class CancellableRun {
public:
    CancellableRun();
    ~CancellableRun();
    CancellableRun(const CancellableRun&) = delete;
    CancellableRun& operator=(const CancellableRun&) = delete;
};

// What the handler must tidy: the temporary file being written (nullptr: none), whose name is
// copied, and whether a progress line stands on standard error.
void setPendingFile(const char* path);
void setProgressShown(bool shown);

// Holds back, in the calling thread and for its lifetime, the signals the handler takes: a step
// that must not be cut in two (making a temporary file and recording its name; the copy that
// commits a file in place) ends first, and a signal that came meanwhile then ends the process.
class SignalsHeld {
public:
    SignalsHeld();
    ~SignalsHeld();
    SignalsHeld(const SignalsHeld&) = delete;
    SignalsHeld& operator=(const SignalsHeld&) = delete;

private:
    sigset_t m_before{};
};

} // namespace veltrane::process
