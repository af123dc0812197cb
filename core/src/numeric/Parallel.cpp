#include <algorithm>
#include <exception>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>
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

} // namespace veltrane
