#pragma once

// What multifractal and markov --weights-from share: the spectrum of a measure, its rows of D_q
// or of exponents, or its picture, written as the solver hands them on, for any solver with
// MultifractalSolver's spectrum, dqRows and exponentsMany.
#include "Commands.h"
#include "MultifractalOutput.h"
#include "OrderRange.h"

#include <algorithm>
#include <functional>
#include <optional>
#include <ostream>
#include <span>
#include <vector>
#include <veltrane/classic/Module1.h>
#include <veltrane/multifractal.h>
#include <veltrane/process/HeldOutput.h>
#include <veltrane/process/Progress.h>
#include <veltrane/run.h>

namespace veltrane::cli {

struct MeasureRequest {
    std::size_t points = 0;
    std::optional<OrderRange> dq;        // --dq
    std::optional<OrderRange> exponents; // --exponents
    bool json = false;
    bool csv = false;
    std::optional<PlotRequest> plot;
    std::optional<int> threads;
};

// Rows of --exponents a window: each solved on its own, so the bits do not depend on it.
inline constexpr std::size_t kExponentsWindow = 4096;

// The rows of --dq, solved over the threads a window at a time, checked against the bounds
// and written in order as they are, so that memory does not grow with their number.
template <typename Solver>
void writeDq(const Solver& solver, const OrderRange& range, bool json, const RunControl& control,
             std::ostream& out) {
    writeDqHead(json, out);
    solver.dqRows(range.from, range.step, range.count, control,
                  [&](std::size_t first, std::span<const DqPoint> rows) {
                      writeDqRows(first, rows, json, out);
                  });
    writeDqTail(json, out);
}

// The rows of --exponents, a window at a time as --dq's, each window checked before it is
// written.
template <typename Solver>
void writeExponents(const Solver& solver, const OrderRange& range, bool json,
                    const RunControl& control, std::ostream& out) {
    writeExponentsHead(json, out);
    std::vector<double> qs;
    std::vector<Exponents> rows;
    for (std::size_t first = 0; first < range.count; first += kExponentsWindow) {
        const std::size_t n = std::min(kExponentsWindow, range.count - first);
        qs.resize(n);
        rows.resize(n);
        for (std::size_t k = 0; k < n; ++k) {
            qs[k] = range.at(first + k);
        }
        solver.exponentsMany(qs, rows, control);
        if (control.done != nullptr) {
            *control.done += n;
        }
        writeExponentsRows(first, rows, json, out);
    }
    writeDqTail(json, out);
}

// The graph data store the graph window draws f against α from: graph 1, in singles.
classic::Module1 multifractalStore(const std::vector<MultifractalPoint>& points);

// The run of a measure's spectrum, its rows or its picture; head writes JSON's opening (the
// measure) before the rows.
template <typename Solver>
void writeMeasureRun(const Solver& solver, const MeasureRequest& r,
                     const std::function<void(std::ostream&)>& head, const Services& services,
                     std::ostream& out) {
    const std::optional<OrderRange>& rows = r.dq ? r.dq : r.exponents;
    const std::size_t work = rows ? rows->count : r.points;
    process::withProgress(services.progress, r.threads, work, [&](const RunControl& control) {
        const auto write = [&](std::ostream& to) {
            if (rows) {
                if (r.json) {
                    head(to);
                }
                if (r.dq) {
                    writeDq(solver, *r.dq, r.json, control, to);
                } else {
                    writeExponents(solver, *r.exponents, r.json, control, to);
                }
            } else if (r.plot) {
                // At most as many points as the store holds. The picture first: when it cannot
                // be written, nothing else is printed.
                const std::vector<MultifractalPoint> spectrum =
                    solver.spectrum(r.points, control).points;
                classic::Module1 store = multifractalStore(spectrum);
                drawPlot(store, *r.plot, services);
                if (r.json) {
                    head(to);
                }
                if (r.json || r.csv) {
                    writeSpectrumHead(r.json, to);
                    writeSpectrumRows(0, spectrum, r.json, to);
                    writeSpectrumTail(r.json, to);
                }
            } else {
                // Written as the points are solved, so that memory does not grow with their
                // number.
                if (r.json) {
                    head(to);
                }
                writeSpectrumHead(r.json, to);
                solver.spectrum(r.points, control,
                                [&](std::size_t first, std::span<const MultifractalPoint> some) {
                                    writeSpectrumRows(first, some, r.json, to);
                                });
                writeSpectrumTail(r.json, to);
            }
        };
        // JSON is held until it is whole, as a document cut short is no document.
        if (r.json) {
            process::writeWhole(out, write);
        } else {
            write(out);
        }
    });
}

} // namespace veltrane::cli
