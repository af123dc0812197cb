#include <atomic>
#include <chrono>
#include <gtest/gtest.h>
#include <stdexcept>
#include <thread>
#include <veltrane/errors.h>
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
    EXPECT_THROW(runWatched(
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
    EXPECT_THROW(runWatched(
                     [&] {
                         std::this_thread::sleep_for(milliseconds(30));
                         workEnded = true;
                     },
                     milliseconds(1), [] { throw std::logic_error("watch"); }),
                 std::logic_error);
    EXPECT_TRUE(workEnded);

    EXPECT_THROW(runWatched([] { throw InputError("work"); }, milliseconds(1),
                            [] { throw std::logic_error("watch"); }),
                 InputError);
    int quick = 0;
    runWatched([] {}, milliseconds(1000), [&] { ++quick; });
    EXPECT_EQ(quick, 0); // a work that ends at once is not waited for a whole period
}

} // namespace
} // namespace veltrane
