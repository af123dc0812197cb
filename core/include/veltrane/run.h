#pragma once

// How a long computation runs: on how many threads, where it counts what it has done so that a
// front end can show progress, and a flag that stops it.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstddef>
#include <functional>
#include <span>
#include <vector>
#include <veltrane/errors.h>
#include <veltrane/export.h>

namespace veltrane {

struct RunControl {
    unsigned threads = 0;                     // 0: one for each core of the machine
    std::atomic<std::size_t>* done = nullptr; // items finished so far, when wanted
    // Set, from another thread or from a signal handler (it is lock-free), to stop the run: it
    // then throws Cancelled within a few milliseconds, leaving what it wrote in part.
    const std::atomic<bool>* cancel = nullptr;
};

static_assert(std::atomic<bool>::is_always_lock_free, "a signal handler sets the cancel flag");

// Throws Cancelled when the run has been asked to stop.
inline void checkCancelled(const RunControl& control) {
    if (control.cancel != nullptr && control.cancel->load(std::memory_order_relaxed)) {
        throw Cancelled();
    }
}

// The number of threads control asks for, at least 1.
VELTRANE_API unsigned threadCount(const RunControl& control);

// Hands the items [0, total) to work(first, count) in consecutive blocks of blockSize (the
// last one shorter), each block exactly once, spread over the threads of control. A block's
// result must not depend on which thread runs it or when: then the whole result is the same
// on any number of threads. The first exception a block throws is thrown here, after every
// thread has stopped; a cancelled run throws Cancelled before its next block.
VELTRANE_API void
forEachBlock(std::size_t total, std::size_t blockSize, const RunControl& control,
             const std::function<void(std::size_t first, std::size_t count)>& work);

// The points of a spectrum solved at evenly spaced abscissae, and the passes over the branches
// made to find them (a measure of the work, for benchmarks and tests).
template <typename Point> struct Spectrum {
    std::vector<Point> points;
    long passes = 0;
};

// The points of an evenly spaced spectrum a block solves from a fresh start: few enough that a
// run of some thousands of points keeps every core busy, and fixed, so that the points do not
// depend on the number of threads.
inline constexpr std::size_t kSpectrumBlock = 256;

// Where a long run hands its points as they are solved: sink(first, points) with points
// first, first + 1, ... in order, a window at a time.
template <typename Point>
using PointSink = std::function<void(std::size_t first, std::span<const Point> points)>;

namespace detail {
class BlockProgress;
} // namespace detail

} // namespace veltrane
