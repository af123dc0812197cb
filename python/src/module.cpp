// The compiled half of the Python package veltrane: the core's solvers and the windows' analyses
// over NumPy arrays. Arrays come back made in C++ and handed over without a copy; the GIL is
// released while C++ works; a long call runs on a thread of its own while the calling thread
// looks for Ctrl+C, which cancels it through its RunControl. The Python half (veltrane/) wraps
// these in documented functions and result objects.
#include "Analytic.h"
#include "Calls.h"
#include "Orders.h"
#include "Partition.h"
#include "Random.h"
#include "Realizations.h"
#include "Tables.h"

#include <cstdint>
#include <optional>
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>
#include <span>
#include <string>
#include <vector>
#include <veltrane/cascade.h>
#include <veltrane/classic.h>
#include <veltrane/errors.h>
#include <veltrane/exact.h>
#include <veltrane/exponents.h>
#include <veltrane/maps.h>
#include <veltrane/markov.h>
#include <veltrane/markov_measure.h>
#include <veltrane/multifractal.h>
#include <veltrane/run.h>

namespace py = pybind11;

namespace veltrane::python {
using namespace veltrane::classic;

namespace {

// The windows' analysis of C, or of C1 and C2, given as the texts the fields would hold.
py::tuple spectrum(const std::string& c1, const std::optional<std::string>& c2) {
    const DecimalTextToSingle toSingle;
    Module1 store;
    AnalysisOutcome outcome;
    {
        const py::gil_scoped_release release;
        outcome =
            c2 ? runThreeBranch(FieldTexts{{Field::C1, c1}, {Field::C2, *c2}}, toSingle, store)
               : runTwoBranch(FieldTexts{{Field::C, c1}}, toSingle, store);
    }
    // A text that cannot be read is a refusal, as on the command line (an InputError).
    throwUnlessCompleted(outcome);
    const std::vector<ClassicPoint> points = storedPoints(store);
    Columns<float, 3> columns(points.size());
    for (std::size_t i = 0; i < points.size(); ++i) {
        columns.set(i, {points[i].lyapunov, points[i].entropy, points[i].dimension});
    }
    return py::make_tuple(owned(std::vector<float>(outcome.breakPoints)),
                          owned(std::vector<float>(outcome.exponents)), columns.take(),
                          outcome.messages);
}

py::tuple exact(const py::handle& breaks, std::size_t points, unsigned threads) {
    const std::vector<double> breakPoints = doubles(breaks, "break points");
    const std::vector<double> exponents = branchExponents(breakPoints);
    const ExactSolver solver(exponents);
    Columns<double, 4> columns;
    columns.reserve(points);
    runReleased(
        threads, static_cast<double>(points) * static_cast<double>(exponents.size()) > kLengthyWork,
        [&](const RunControl& control) {
            solver.spectrum(
                points, control, [&](std::size_t first, std::span<const ExactPoint> some) {
                    columns.grow(first + some.size());
                    for (std::size_t i = 0; i < some.size(); ++i) {
                        const ExactPoint& p = some[i];
                        columns.set(first + i, {p.lyapunov, p.entropy, p.dimension, p.beta});
                    }
                });
        });
    return py::make_tuple(owned(std::vector<double>(exponents)), columns.take());
}

// The pieces of a Markov map from an (n, 4) array, a piece a row.
std::vector<MarkovPiece> markovPieces(const py::handle& values) {
    const auto array =
        py::array_t<double, py::array::c_style | py::array::forcecast>::ensure(values);
    if (!array || array.ndim() != 2 || array.shape(1) != 4) {
        PyErr_Clear();
        throw InputError("pieces must be an (n, 4) array, a piece a row: left, right, "
                         "image_left, image_right");
    }
    std::vector<MarkovPiece> pieces(static_cast<std::size_t>(array.shape(0)));
    const double* data = array.data();
    for (std::size_t i = 0; i < pieces.size(); ++i) {
        pieces[i] = {data[4 * i], data[4 * i + 1], data[4 * i + 2], data[4 * i + 3]};
    }
    return pieces;
}

py::tuple markov(const py::handle& values, std::size_t points, unsigned threads) {
    std::vector<MarkovPiece> pieces = markovPieces(values);
    std::optional<MarkovSolver> solver;
    {
        // Checking a large map and finding its ends takes some milliseconds.
        const py::gil_scoped_release release;
        solver.emplace(pieces);
    }
    Columns<double, 4> columns;
    columns.reserve(points);
    runReleased(
        threads, static_cast<double>(points) * static_cast<double>(pieces.size()) > kLengthyWork,
        [&](const RunControl& control) {
            solver->spectrum(
                points, control, [&](std::size_t first, std::span<const ExactPoint> some) {
                    columns.grow(first + some.size());
                    for (std::size_t i = 0; i < some.size(); ++i) {
                        const ExactPoint& p = some[i];
                        columns.set(first + i, {p.lyapunov, p.entropy, p.dimension, p.beta});
                    }
                });
        });
    return py::make_tuple(owned(std::vector<double>(solver->exponents())), columns.take());
}

// The weights of a Markov measure: a sequence of rows, one a piece, each a sequence of numbers.
MarkovWeights markovWeights(const py::handle& values) {
    MarkovWeights rows;
    if (!py::isinstance<py::sequence>(values) || py::isinstance<py::str>(values)) {
        throw InputError("weights must be a sequence of rows, one a piece");
    }
    for (const py::handle row : py::reinterpret_borrow<py::sequence>(values)) {
        rows.push_back(doubles(row, "weights"));
    }
    return rows;
}

py::tuple markovMultifractal(const py::handle& values, const py::handle& weights,
                             std::size_t points, unsigned threads) {
    const std::vector<MarkovPiece> pieces = markovPieces(values);
    const MarkovWeights rows = markovWeights(weights);
    std::optional<MarkovMeasureSolver> solver;
    {
        // Checking the map and finding the extreme cycle ratios takes some milliseconds.
        const py::gil_scoped_release release;
        solver.emplace(pieces, rows);
    }
    Columns<double, 4> columns;
    columns.reserve(points);
    runReleased(
        threads, static_cast<double>(points) * static_cast<double>(pieces.size()) > kLengthyWork,
        [&](const RunControl& control) {
            solver->spectrum(
                points, control, [&](std::size_t first, std::span<const MultifractalPoint> some) {
                    columns.grow(first + some.size());
                    for (std::size_t i = 0; i < some.size(); ++i) {
                        const MultifractalPoint& p = some[i];
                        columns.set(first + i, {p.alpha, p.f, p.q, convention::tauOfBeta(p.beta)});
                    }
                });
        });
    return py::make_tuple(columns.take());
}

py::tuple multifractal(const py::handle& breaks, const py::handle& weights, std::size_t points,
                       unsigned threads) {
    const MultifractalSolver solver(doubles(breaks, "break points"), doubles(weights, "weights"));
    Columns<double, 4> columns;
    columns.reserve(points);
    runReleased(
        threads,
        static_cast<double>(points) * static_cast<double>(solver.distinctCount()) > kLengthyWork,
        [&](const RunControl& control) {
            solver.spectrum(
                points, control, [&](std::size_t first, std::span<const MultifractalPoint> some) {
                    columns.grow(first + some.size());
                    for (std::size_t i = 0; i < some.size(); ++i) {
                        const MultifractalPoint& p = some[i];
                        columns.set(first + i, {p.alpha, p.f, p.q, convention::tauOfBeta(p.beta)});
                    }
                });
        });
    return py::make_tuple(columns.take());
}

// The exponent named (Orders.h) at q: a float for a number q, else an array of q's shape, its
// values computed in blocks over the threads and checked against the bounds.
py::object orders(const py::handle& breaks, const py::handle& weights, const py::handle& q,
                  const std::string& exponent, unsigned threads) {
    const MultifractalSolver solver(doubles(breaks, "break points"), doubles(weights, "weights"));
    const Exponent which = exponentNamed(exponent);
    const auto qs = numbersOfAnyShape(q, "q");
    const std::span<const double> in(qs.data(), static_cast<std::size_t>(qs.size()));
    std::vector<double> out(in.size());
    const auto solve = [&](const RunControl& control) {
        solveExponent(solver, in, which, out, control);
    };
    if (qs.ndim() == 0) {
        solve(RunControl{1}); // a microsecond's work: not worth a thread
        return py::float_(out[0]);
    }
    runReleased(threads,
                static_cast<double>(in.size()) * static_cast<double>(solver.distinctCount()) >
                    kLengthyWork,
                solve);
    return shaped(std::move(out), qs);
}

// Every exponent at q, as a tuple of arrays of q's shape (at least one dimension) in the order
// of Exponents: q, tau, dq, hurst, zeta, beta, alpha, f.
py::tuple exponents(const py::handle& breaks, const py::handle& weights, const py::handle& q,
                    unsigned threads) {
    const MultifractalSolver solver(doubles(breaks, "break points"), doubles(weights, "weights"));
    const auto qs = numbersOfAnyShape(q, "q");
    const std::span<const double> in(qs.data(), static_cast<std::size_t>(qs.size()));
    std::vector<veltrane::Exponents> rows(in.size());
    runReleased(threads,
                static_cast<double>(in.size()) * static_cast<double>(solver.distinctCount()) >
                    kLengthyWork,
                [&](const RunControl& control) { solver.exponentsMany(in, rows, control); });
    py::tuple arrays(8);
    const auto column = [&](std::size_t k, double veltrane::Exponents::*member) {
        std::vector<double> values(rows.size());
        for (std::size_t i = 0; i < rows.size(); ++i) {
            values[i] = rows[i].*member;
        }
        arrays[k] = shaped(std::move(values), qs);
    };
    column(0, &veltrane::Exponents::q);
    column(1, &veltrane::Exponents::tau);
    column(2, &veltrane::Exponents::dq);
    column(3, &veltrane::Exponents::hurst);
    column(4, &veltrane::Exponents::zeta);
    column(5, &veltrane::Exponents::beta);
    column(6, &veltrane::Exponents::alpha);
    column(7, &veltrane::Exponents::f);
    return arrays;
}

// The masses of bins first .. first + count - 1 of N, into out when given (a writable,
// C-contiguous float64 array of count values), else into a new array.
py::array_t<double> cascade(const py::handle& breaks, const py::handle& weights, std::uint64_t bins,
                            std::uint64_t first, std::optional<std::uint64_t> count,
                            const py::object& out, unsigned threads) {
    const Cascade measure(doubles(breaks, "break points"), doubles(weights, "weights"));
    const std::uint64_t n = count.value_or(bins > first ? bins - first : 0);
    Cascade::checkBins(bins, first, n);
    py::array_t<double> target =
        out.is_none() ? py::array_t<double>(static_cast<py::ssize_t>(n)) : writableTarget(out, n);
    double* data = target.mutable_data();
    constexpr std::size_t kBlock = std::size_t{1} << 14;
    runReleased(threads, static_cast<double>(n) > kLengthyWork, [&](const RunControl& control) {
        forEachBlock(static_cast<std::size_t>(n), kBlock, control,
                     [&](std::size_t at, std::size_t size) {
                         measure.binMasses(bins, first + at, {data + at, size}, control);
                     });
    });
    return target;
}

// The masses of bins first .. first + count - 1 of N of a Markov measure, as cascade's; the
// measure spreads its bins over the threads itself.
py::array_t<double> markovCascade(const py::handle& values, const py::handle& weights,
                                  std::uint64_t bins, std::uint64_t first,
                                  std::optional<std::uint64_t> count, const py::object& out,
                                  unsigned threads) {
    const std::vector<MarkovPiece> pieces = markovPieces(values);
    const MarkovWeights rows = markovWeights(weights);
    const std::uint64_t n = count.value_or(bins > first ? bins - first : 0);
    Cascade::checkBins(bins, first, n);
    std::optional<MarkovCascade> measure;
    {
        // The stationary law of a large map takes some milliseconds.
        const py::gil_scoped_release release;
        measure.emplace(pieces, rows);
    }
    py::array_t<double> target =
        out.is_none() ? py::array_t<double>(static_cast<py::ssize_t>(n)) : writableTarget(out, n);
    double* data = target.mutable_data();
    runReleased(threads, static_cast<double>(n) > kLengthyWork, [&](const RunControl& control) {
        measure->binMasses(bins, first, {data, static_cast<std::size_t>(n)}, control);
    });
    return target;
}

// F(x) (survival false) or 1 - F(x) at every x, an array of x's shape (0-d for a number).
py::array_t<double> distribution(const py::handle& breaks, const py::handle& weights,
                                 const py::handle& x, bool survival, unsigned threads) {
    const Cascade measure(doubles(breaks, "break points"), doubles(weights, "weights"));
    const auto xs = numbersOfAnyShape(x, "x");
    const std::span<const double> in(xs.data(), static_cast<std::size_t>(xs.size()));
    std::vector<double> out(in.size());
    runReleased(threads, static_cast<double>(in.size()) > kLengthyWork / 4,
                [&](const RunControl& control) {
                    if (survival) {
                        measure.survival(in, out, control);
                    } else {
                        measure.cdf(in, out, control);
                    }
                });
    return shaped(std::move(out), xs);
}

// F at the ends first .. first + count of N bins (count + 1 values; count None: to N).
py::array_t<double> cdfAtBins(const py::handle& breaks, const py::handle& weights,
                              std::uint64_t bins, std::uint64_t first,
                              std::optional<std::uint64_t> count, unsigned threads) {
    const Cascade measure(doubles(breaks, "break points"), doubles(weights, "weights"));
    const std::uint64_t n = count.value_or(bins > first ? bins - first : 0);
    Cascade::checkBins(bins, first, n);
    py::array_t<double> target(static_cast<py::ssize_t>(n + 1));
    double* data = target.mutable_data();
    runReleased(threads, static_cast<double>(n) > kLengthyWork / 4, [&](const RunControl& control) {
        measure.cdfAtBins(bins, first, {data, static_cast<std::size_t>(n + 1)}, control);
    });
    return target;
}

py::tuple cells(const py::handle& breaks, const py::handle& weights, unsigned levels,
                std::uint64_t first, std::optional<std::uint64_t> count, unsigned threads) {
    const Cascade measure(doubles(breaks, "break points"), doubles(weights, "weights"));
    const std::uint64_t all = measure.cellCount(levels); // beyond the limit: checkCells refuses
    const std::uint64_t n = count.value_or(all > first ? all - first : 0);
    measure.checkCells(levels, first, n);
    // Each block's cells go straight into the three columns, on the thread that made them.
    Columns<double, 3> columns(static_cast<std::size_t>(n));
    constexpr std::size_t kBlock = std::size_t{1} << 14;
    runReleased(threads, static_cast<double>(n) > kLengthyWork, [&](const RunControl& control) {
        forEachBlock(static_cast<std::size_t>(n), kBlock, control,
                     [&](std::size_t at, std::size_t size) {
                         std::vector<Cascade::Cell> found(size);
                         measure.levelCells(levels, first + at, found);
                         for (std::size_t i = 0; i < size; ++i) {
                             columns.set(at + i, {found[i].left, found[i].width, found[i].mass});
                         }
                         checkCancelled(control);
                     });
    });
    return columns.take();
}

// The cells first .. first + count - 1 of level levels of a Markov measure, as cells' columns.
py::tuple markovCells(const py::handle& values, const py::handle& weights, unsigned levels,
                      std::uint64_t first, std::optional<std::uint64_t> count, unsigned threads) {
    const std::vector<MarkovPiece> pieces = markovPieces(values);
    const MarkovWeights rows = markovWeights(weights);
    std::optional<MarkovCascade> measure;
    {
        const py::gil_scoped_release release;
        measure.emplace(pieces, rows);
    }
    const std::uint64_t all = measure->cellCount(levels); // beyond the limit: checkCells refuses
    const std::uint64_t n = count.value_or(all > first ? all - first : 0);
    measure->checkCells(levels, first, n);
    Columns<double, 3> columns(static_cast<std::size_t>(n));
    constexpr std::size_t kBlock = std::size_t{1} << 14;
    runReleased(threads, static_cast<double>(n) > kLengthyWork, [&](const RunControl& control) {
        forEachBlock(static_cast<std::size_t>(n), kBlock, control,
                     [&](std::size_t at, std::size_t size) {
                         std::vector<Cascade::Cell> found(size);
                         measure->levelCells(levels, first + at, found);
                         for (std::size_t i = 0; i < size; ++i) {
                             columns.set(at + i, {found[i].left, found[i].width, found[i].mass});
                         }
                         checkCancelled(control);
                     });
    });
    return columns.take();
}

} // namespace

} // namespace veltrane::python

PYBIND11_MODULE(_veltrane, module) {
    using namespace veltrane::python;
    registerErrors(module);
    module.attr("__version__") = VELTRANE_VERSION;
    module.attr("max_bins") = veltrane::Cascade::kMaxBins;
    module.def("spectrum", &spectrum, py::arg("c1"), py::arg("c2"));
    module.def("exact", &exact, py::arg("breaks"), py::arg("points"), py::arg("threads"));
    module.def("markov", &markov, py::arg("pieces"), py::arg("points"), py::arg("threads"));
    module.def("multifractal", &multifractal, py::arg("breaks"), py::arg("weights"),
               py::arg("points"), py::arg("threads"));
    module.def("markov_multifractal", &markovMultifractal, py::arg("pieces"), py::arg("weights"),
               py::arg("points"), py::arg("threads"));
    module.def("orders", &orders, py::arg("breaks"), py::arg("weights"), py::arg("q"),
               py::arg("exponent"), py::arg("threads"));
    module.def("exponents", &exponents, py::arg("breaks"), py::arg("weights"), py::arg("q"),
               py::arg("threads"));
    module.def("orders_table", &tableOrders, py::arg("breaks"), py::arg("weights"), py::arg("q"),
               py::arg("exponent"), py::arg("threads"), py::arg("first_row"));
    module.def("exact_table", &tableExact, py::arg("breaks"), py::arg("points"), py::arg("threads"),
               py::arg("first_row"));
    module.def("cascade", &cascade, py::arg("breaks"), py::arg("weights"), py::arg("bins"),
               py::arg("first"), py::arg("count"), py::arg("out"), py::arg("threads"));
    module.def("markov_cascade", &markovCascade, py::arg("pieces"), py::arg("weights"),
               py::arg("bins"), py::arg("first"), py::arg("count"), py::arg("out"),
               py::arg("threads"));
    module.def("distribution", &distribution, py::arg("breaks"), py::arg("weights"), py::arg("x"),
               py::arg("survival"), py::arg("threads"));
    module.def("cdf_at_bins", &cdfAtBins, py::arg("breaks"), py::arg("weights"), py::arg("bins"),
               py::arg("first"), py::arg("count"), py::arg("threads"));
    module.def("cells", &cells, py::arg("breaks"), py::arg("weights"), py::arg("levels"),
               py::arg("first"), py::arg("count"), py::arg("threads"));
    module.def("markov_cells", &markovCells, py::arg("pieces"), py::arg("weights"),
               py::arg("levels"), py::arg("first"), py::arg("count"), py::arg("threads"));
    definePartition(module);
    defineRandom(module);
    defineAnalytic(module);
    defineRealizations(module);
}
