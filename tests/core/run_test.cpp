#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <gtest/gtest.h>
#include <stdexcept>
#include <thread>
#include <veltrane/errors.h>
#include <veltrane/internal/run.h>
#include <veltrane/run.h>

namespace veltrane {
namespace {

using std::chrono::milliseconds;

// The watch runs beside the work until the work ends, and can stop it through its flag; the
// work's exception wins over the watch's, and the watch's comes out once the work has ended.
TEST(RunWatched, WatchesUntilTheWorkEndsAndPassesItsErrorsOn) {
    std::atomic<bool> cancel{false};
    const RunControl control{1, nullptr, &cancel};
    int watches = 0;
    EXPECT_THROW(internal::runWatched(
                     [&] {
                         while (true) {
                             checkCancelled(control);
                             std::this_thread::sleep_for(milliseconds(1));
                         }
                     },
                     milliseconds(2),
                     [&] {
                         if (++watches == 3) {
                             cancel = true;
                         }
                     }),
                 Cancelled);
    EXPECT_GE(watches, 3);

    std::atomic<bool> workEnded{false};
    EXPECT_THROW(internal::runWatched(
                     [&] {
                         std::this_thread::sleep_for(milliseconds(30));
                         workEnded = true;
                     },
                     milliseconds(1), [] { throw std::logic_error("watch"); }),
                 std::logic_error);
    EXPECT_TRUE(workEnded);

    EXPECT_THROW(internal::runWatched([] { throw InputError("work"); }, milliseconds(1),
                                      [] { throw std::logic_error("watch"); }),
                 InputError);
    int quick = 0;
    internal::runWatched([] {}, milliseconds(1000), [&] { ++quick; });
    EXPECT_EQ(quick, 0); // a work that ends at once is not waited for a whole period
}

// Windows of large blocks stay within kWindowBytes however many blocks the threads could take:
// blocks of a quarter of it, on two threads (which would take eight), go four to a window, and
// the items are handed on in order.
TEST(ForEachWindow, HoldsAtMostItsBytesAndHandsTheItemsOnInOrder) {
    using Item = std::array<double, 64>;
    constexpr std::size_t kBlock = internal::kWindowBytes / 4 / sizeof(Item);
    const RunControl control{2};
    std::size_t next = 0;
    std::size_t largest = 0;
    internal::forEachWindow<Item>(
        4 * kBlock + 3, kBlock, control,
        [](std::size_t first, std::span<Item> out) {
            for (std::size_t i = 0; i < out.size(); ++i) {
                out[i][0] = static_cast<double>(first + i);
            }
        },
        [&](std::size_t first, std::span<const Item> items) {
            EXPECT_EQ(first, next);
            EXPECT_EQ(items.back()[0], static_cast<double>(first + items.size() - 1));
            next += items.size();
            largest = std::max(largest, items.size());
        });
    EXPECT_EQ(next, 4 * kBlock + 3);
    EXPECT_LE(largest * sizeof(Item), internal::kWindowBytes);
}

} // namespace
} // namespace veltrane
