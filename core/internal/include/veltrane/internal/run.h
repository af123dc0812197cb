#pragma once

// How the front ends and the core's solvers run long computations beyond what the installed
// API offers: a worker watched by the calling thread, and results handed on a window at a time.
#include <algorithm>
#include <chrono>
#include <cstddef>
#include <functional>
#include <span>
#include <vector>
#include <veltrane/run.h>

namespace veltrane::internal {

// Runs work on a thread of its own while the calling thread calls watch() every period until
// work has returned: for a front end that draws progress or polls its own signals meanwhile
// (watch may set the cancel flag of the work's RunControl). What work throws is thrown here,
// after its thread has ended; so is what watch throws, once work has ended.
void runWatched(const std::function<void()>& work, std::chrono::milliseconds period,
                const std::function<void()>& watch);

// The most memory forEachWindow holds for one window, in bytes.
inline constexpr std::size_t kWindowBytes = std::size_t{32} << 20;

// Computes the items [0, total) as forEachBlock does, work(first, out) filling the items
// first .. first + out.size() - 1 of one block, but a window of blocks at a time into one
// buffer, and hands each window, once whole, to emit(first, items) on the calling thread in
// order. A long run can so be written as it is computed, in the memory of one window (four
// blocks a thread, at most kWindowBytes unless one block is larger) whatever total is. The
// blocks start at multiples of blockSize as with forEachBlock, so the items are the same. The
// first exception of work or emit is thrown here.
template <typename Item>
void forEachWindow(
    std::size_t total, std::size_t blockSize, const RunControl& control,
    const std::function<void(std::size_t first, std::span<Item> out)>& work,
    const std::function<void(std::size_t first, std::span<const Item> items)>& emit) {
    const std::size_t blocks =
        std::max<std::size_t>(1, std::min<std::size_t>(std::size_t{4} * threadCount(control),
                                                       kWindowBytes / (blockSize * sizeof(Item))));
    const std::size_t window = blockSize * blocks;
    std::vector<Item> buffer(std::min(window, total));
    for (std::size_t start = 0; start < total; start += window) {
        const std::size_t count = std::min(window, total - start);
        const std::span<Item> items(buffer.data(), count);
        forEachBlock(count, blockSize, control, [&](std::size_t first, std::size_t n) {
            work(start + first, items.subspan(first, n));
        });
        emit(start, items);
    }
}

} // namespace veltrane::internal
