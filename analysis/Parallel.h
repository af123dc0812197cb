#pragma once

#include <atomic>
#include <cstddef>
#include <functional>

namespace veltrane {

// How a long computation runs: on how many threads, and where it counts what it has done so
// that a front end can show progress.
struct RunControl {
    unsigned threads = 0;                     // 0: one for each core of the machine
    std::atomic<std::size_t>* done = nullptr; // items finished so far, when wanted
};

// The number of threads control asks for, at least 1.
unsigned threadCount(const RunControl& control);

// Hands the items [0, total) to work(first, count) in consecutive blocks of blockSize (the
// last one shorter), each block exactly once, spread over the threads of control. A block's
// result must not depend on which thread runs it or when: then the whole result is the same
// on any number of threads. The first exception a block throws is thrown here, after every
// thread has stopped.
void forEachBlock(std::size_t total, std::size_t blockSize, const RunControl& control,
                  const std::function<void(std::size_t first, std::size_t count)>& work);

} // namespace veltrane
