#pragma once

// What the exact and the multifractal solver share: a spectrum at evenly spaced abscissae, its
// two ends known in closed form and its interior solved block by block over the threads, each
// block warm-starting from its own first point, with progress and cancellation.
#include <cstddef>
#include <functional>
#include <span>
#include <veltrane/internal/run.h>
#include <veltrane/run.h>

namespace veltrane {

namespace detail {

// Counts a block's points into the run's progress a few at a time, and stops the run when it
// is asked to: a point of a large map may take a millisecond, so each is a chance to stop.
class BlockProgress {
public:
    explicit BlockProgress(const RunControl& control) : m_control(control) {}

    void point() {
        checkCancelled(m_control);
        if (++m_pending == kEvery) {
            flush();
        }
    }
    void flush() {
        if (m_control.done != nullptr) {
            *m_control.done += m_pending;
        }
        m_pending = 0;
    }

private:
    static constexpr std::size_t kEvery = 64;
    const RunControl& m_control;
    std::size_t m_pending = 0;
};

} // namespace detail

// A spectrum gathered whole from a run that hands its points on a window at a time:
// run(sink) hands them to sink and returns the passes it made.
template <typename Point, typename Run> Spectrum<Point> gathered(Run&& run) {
    Spectrum<Point> result;
    result.passes = run([&](std::size_t, std::span<const Point> some) {
        result.points.insert(result.points.end(), some.begin(), some.end());
    });
    return result;
}

// Hands points 0 .. points - 1 to sink in order: first and last as given, the interior ones
// from block(first, out, progress), which fills points first .. first + out.size() - 1 and
// returns the passes it made. Returns the passes of all blocks.
template <typename Point>
long solveEvenly(std::size_t points, const RunControl& control, const Point& first,
                 const Point& last,
                 const std::function<long(std::size_t first, std::span<Point> out,
                                          detail::BlockProgress&)>& block,
                 const PointSink<Point>& sink) {
    sink(0, {&first, 1});
    std::atomic<long> passes{0};
    internal::forEachWindow<Point>(
        points - 2, kSpectrumBlock, control,
        [&](std::size_t at, std::span<Point> out) {
            detail::BlockProgress progress(control);
            passes += block(at + 1, out, progress);
            progress.flush();
        },
        [&](std::size_t at, std::span<const Point> some) { sink(at + 1, some); });
    sink(points - 1, {&last, 1});
    return passes;
}

} // namespace veltrane
