#include <chrono>
#include <cmath>
#include <cstdio>
#include <string>
#include <unistd.h>
#include <veltrane/internal/run.h>
#include <veltrane/process/Interrupt.h>
#include <veltrane/process/Progress.h>
#include <veltrane/run.h>

namespace veltrane::process {

namespace {

using Clock = std::chrono::steady_clock;

void showLine(const std::string& text) {
    // Back to the start of the line and clear it, so that a shorter text leaves no rest.
    const std::string line = "\r\033[K" + text;
    if (::write(STDERR_FILENO, line.data(), line.size()) < 0) {
        return; // a progress line is a courtesy; the work goes on
    }
}

std::string progressText(std::size_t done, std::size_t total, double seconds) {
    const double part = total != 0 ? static_cast<double>(done) / static_cast<double>(total) : 0.0;
    std::string text = "veltrane: " + std::to_string(static_cast<int>(part * 100.0)) + "% done";
    if (part > 0.01) {
        const long left = std::lround(seconds * (1.0 - part) / part);
        text += ", about " + std::to_string(left) + " s left";
    }
    return text;
}

} // namespace

void withProgress(bool show, std::optional<int> threads, std::size_t total,
                  const std::function<void(const RunControl&)>& work) {
    std::atomic<std::size_t> done{0};
    // Ctrl+C stops the work through its RunControl, so that it ends as any error does.
    const CancellableRun cancellable;
    const RunControl control{static_cast<unsigned>(threads.value_or(0)), &done, &interruptFlag()};
    if (!show) {
        work(control);
        return;
    }
    const Clock::time_point start = Clock::now();
    bool shown = false;
    // The line goes however the run ends, so that an error's message starts a line of its own.
    const auto clear = [&] {
        if (shown) {
            showLine("");
            setProgressShown(false);
        }
    };
    try {
        internal::runWatched([&] { work(control); }, std::chrono::milliseconds(200),
                             [&] {
                                 const std::chrono::duration<double> elapsed = Clock::now() - start;
                                 if (elapsed.count() > 0.5) {
                                     showLine(progressText(done, total, elapsed.count()));
                                     shown = true;
                                     setProgressShown(true);
                                 }
                             });
    } catch (...) {
        clear();
        throw;
    }
    clear();
}

} // namespace veltrane::process
