#include <algorithm>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>
#include <veltrane/internal/run.h>
#include <veltrane/run.h>

namespace veltrane {

unsigned threadCount(const RunControl& control) {
    const unsigned cores = std::thread::hardware_concurrency();
    return std::max(1U, control.threads != 0 ? control.threads : cores);
}

void forEachBlock(std::size_t total, std::size_t blockSize, const RunControl& control,
                  const std::function<void(std::size_t first, std::size_t count)>& work) {
    const std::size_t blocks = (total + blockSize - 1) / blockSize;
    std::atomic<std::size_t> next{0};
    std::exception_ptr failure;
    std::mutex failureLock;
    const auto run = [&] {
        for (std::size_t b = next++; b < blocks; b = next++) {
            try {
                checkCancelled(control);
                const std::size_t first = b * blockSize;
                work(first, std::min(blockSize, total - first));
            } catch (...) {
                const std::lock_guard lock(failureLock);
                failure = failure ? failure : std::current_exception();
                next = blocks; // the others stop after their current block
            }
        }
    };
    const auto threads = static_cast<std::size_t>(threadCount(control));
    std::vector<std::thread> helpers;
    for (std::size_t t = 1; t < std::min(threads, blocks); ++t) {
        try {
            helpers.emplace_back(run);
        } catch (const std::system_error&) {
            break; // the system has no more threads to give: the ones started share the work
        }
    }
    run();
    for (std::thread& helper : helpers) {
        helper.join();
    }
    if (failure) {
        std::rethrow_exception(failure);
    }
}

void internal::runWatched(const std::function<void()>& work, std::chrono::milliseconds period,
                          const std::function<void()>& watch) {
    std::mutex lock;
    std::condition_variable ended;
    bool finished = false;
    std::exception_ptr failure;
    std::thread worker([&] {
        try {
            work();
        } catch (...) {
            failure = std::current_exception();
        }
        const std::lock_guard guard(lock);
        finished = true;
        ended.notify_one();
    });
    std::exception_ptr watchFailure;
    std::unique_lock guard(lock);
    while (!ended.wait_for(guard, period, [&] { return finished; })) {
        if (watchFailure) {
            continue; // no more watching: only the end of the work is awaited
        }
        guard.unlock();
        try {
            watch();
        } catch (...) {
            watchFailure = std::current_exception();
        }
        guard.lock();
    }
    guard.unlock();
    worker.join();
    if (failure) {
        std::rethrow_exception(failure);
    }
    if (watchFailure) {
        std::rethrow_exception(watchFailure);
    }
}

} // namespace veltrane
