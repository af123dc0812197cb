#include <algorithm>
#include <benchmark/benchmark.h>
#include <cmath>
#include <cstdint>
#include <random>
#include <vector>
#include <veltrane/cascade.h>
#include <veltrane/run.h>

namespace {

using namespace veltrane;

// Bins per block: enough that a block's walk down from [0, 1] costs nothing beside it, few
// enough that the threads share the work evenly.
constexpr std::size_t kBlock = std::size_t{1} << 16;

// Times the masses of all N = bins bins, in blocks over the threads of control, as the
// command line writes them.
void timeAllBins(benchmark::State& state, const Cascade& cascade, std::uint64_t bins,
                 const RunControl& control) {
    std::vector<double> masses(bins);
    for (auto _ : state) {
        forEachBlock(bins, kBlock, control, [&](std::size_t first, std::size_t count) {
            cascade.binMasses(bins, first, std::span<double>(masses).subspan(first, count));
        });
        benchmark::DoNotOptimize(masses.data());
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(bins));
}

// The masses of equal bins of a three-branch measure, in blocks over the threads, as the
// command line writes them. Arguments: bins, threads (0: one for each core).
void BinMassesOfThreeBranches(benchmark::State& state) {
    const std::vector<double> breaks{0.3, 0.7};
    const std::vector<double> weights{0.2, 0.5, 0.3};
    const Cascade cascade(breaks, weights);
    const auto bins = static_cast<std::uint64_t>(state.range(0));
    RunControl control;
    control.threads = static_cast<unsigned>(state.range(1));
    timeAllBins(state, cascade, bins, control);
    state.counters["threads"] = threadCount(control);
}
BENCHMARK(BinMassesOfThreeBranches)
    ->Args({1 << 24, 0})
    ->Args({1 << 20, 1})
    ->Args({1 << 18, 0})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// The cost of a bin as N grows: a block of 2^22 bins (all of them when N is smaller) of the
// same three-branch measure, computed on one thread, at the start, in the middle or at the end
// of the N bins. Arguments: log2 N, and where the block starts (0 the start, 1 the middle, 2 the
// end). per_bin is the time a bin takes, in seconds. It should not grow with N: a bin's work is
// the split of the cells at its ends, and the walk down from [0, 1] to them, about log N levels,
// is shared by the bins of a chunk.
void BinMassesOfABlock(benchmark::State& state) {
    const std::vector<double> breaks{0.3, 0.7};
    const std::vector<double> weights{0.2, 0.5, 0.3};
    const Cascade cascade(breaks, weights);
    const std::uint64_t bins = std::uint64_t{1} << state.range(0);
    const std::uint64_t block = std::min<std::uint64_t>(bins, std::uint64_t{1} << 22);
    const std::uint64_t starts[] = {0, bins / 2 - block / 2, bins - block};
    const std::uint64_t first = starts[state.range(1)];
    std::vector<double> masses(block);
    for (auto _ : state) {
        cascade.binMasses(bins, first, masses);
        benchmark::DoNotOptimize(masses.data());
    }
    state.counters["per_bin"] = benchmark::Counter(static_cast<double>(block),
                                                   benchmark::Counter::kIsIterationInvariantRate |
                                                       benchmark::Counter::kInvert);
}
BENCHMARK(BinMassesOfABlock)
    ->Args({20, 0})
    ->Args({28, 1})
    ->Args({36, 1})
    ->Args({36, 2})
    ->Args({40, 1})
    ->Args({40, 2})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

} // namespace

namespace {

// Equal bins of two-branch measures whose second branch is almost the whole interval, in blocks
// over the threads as the command line writes them. Arguments: the first branch's length in
// powers of ten (-4 is 1e-4), whether the weights are the lengths (1) or equal (0), and log2 of
// the number of bins.
void BinMassesOfABranchAlmostWhole(benchmark::State& state) {
    const double shortBranch = std::pow(10.0, static_cast<double>(state.range(0)));
    const std::vector<double> weights =
        state.range(1) != 0 ? std::vector<double>{shortBranch, 1.0} : std::vector<double>{1, 1};
    const std::vector<double> breaks{shortBranch};
    const Cascade cascade(breaks, weights);
    timeAllBins(state, cascade, std::uint64_t{1} << state.range(2), {});
}
BENCHMARK(BinMassesOfABranchAlmostWhole)
    ->Args({-4, 0, 20})
    ->Args({-9, 0, 20})
    ->Args({-300, 1, 20})
    ->Args({-4, 0, 12})
    ->Args({-300, 1, 12})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// Equal bins of a measure of 10^5 branches of random lengths and weights: most bins hold whole
// cells of many branches side by side. Arguments: the number of branches, and log2 of the
// number of bins.
void BinMassesOfManyBranches(benchmark::State& state) {
    const auto branches = static_cast<std::size_t>(state.range(0));
    std::mt19937_64 engine(20261207);
    std::uniform_real_distribution<double> uniform(0.0, 1.0);
    std::vector<double> breaks(branches - 1);
    std::generate(breaks.begin(), breaks.end(), [&] { return uniform(engine); });
    std::sort(breaks.begin(), breaks.end());
    breaks.erase(std::unique(breaks.begin(), breaks.end()), breaks.end());
    std::vector<double> weights(breaks.size() + 1);
    std::generate(weights.begin(), weights.end(), [&] { return 0.1 + uniform(engine); });
    const Cascade cascade(breaks, weights);
    timeAllBins(state, cascade, std::uint64_t{1} << state.range(1), {});
}
BENCHMARK(BinMassesOfManyBranches)
    ->Args({100000, 20})
    ->Args({100000, 12})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

} // namespace

namespace {

// The measures an estimator author compares with NumPy's loop of outer products
// (bench/numpy/cascade.py): where the bins are the cells of a level, and where they are not.
struct OneCoreCase {
    std::vector<double> breaks;
    std::vector<double> weights;
};

const std::vector<OneCoreCase>& oneCoreCases() {
    static const std::vector<OneCoreCase> cases{
        {{0.5}, {0.3, 0.7}},                       // 0: the dyadic binomial cascade
        {{0.25, 0.5, 0.75}, {0.1, 0.2, 0.3, 0.4}}, // 1: four equal branches
        {{1.0 / 3.0, 2.0 / 3.0}, {0.2, 0.5, 0.3}}, // 2: triadic break points, as doubles
        {{0.3, 0.7}, {0.2, 0.5, 0.3}},             // 3: three uneven branches
        {{0.3}, {0.6, 0.4}},                       // 4: two uneven branches
    };
    return cases;
}

// The masses of all N bins in one call on one thread. Arguments: the case, N. per_bin is the
// time a bin takes, in seconds.
void BinMassesOnOneCore(benchmark::State& state) {
    const OneCoreCase& c = oneCoreCases()[static_cast<std::size_t>(state.range(0))];
    const Cascade cascade(c.breaks, c.weights);
    const auto bins = static_cast<std::uint64_t>(state.range(1));
    std::vector<double> masses(bins);
    for (auto _ : state) {
        cascade.binMasses(bins, 0, masses);
        benchmark::DoNotOptimize(masses.data());
    }
    state.counters["per_bin"] = benchmark::Counter(static_cast<double>(bins),
                                                   benchmark::Counter::kIsIterationInvariantRate |
                                                       benchmark::Counter::kInvert);
}
BENCHMARK(BinMassesOnOneCore)
    ->Args({0, 1 << 24})
    ->Args({1, 1 << 24})
    ->Args({2, 14348907}) // 3^15: bins at the triadic points as doubles
    ->Args({3, 1 << 24})
    ->Args({4, 1 << 24})
    ->Args({0, (1 << 24) - 1})
    ->Args({0, 14348907})
    ->Args({0, 4096})
    ->Args({3, 4096})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// All the cells of a level in one call on one thread. Arguments: the case, the level.
void LevelCellsOnOneCore(benchmark::State& state) {
    const OneCoreCase& c = oneCoreCases()[static_cast<std::size_t>(state.range(0))];
    const Cascade cascade(c.breaks, c.weights);
    const auto levels = static_cast<unsigned>(state.range(1));
    const std::uint64_t count = cascade.cellCount(levels);
    std::vector<Cascade::Cell> cells(count);
    for (auto _ : state) {
        cascade.levelCells(levels, 0, cells);
        benchmark::DoNotOptimize(cells.data());
    }
    state.counters["per_cell"] = benchmark::Counter(static_cast<double>(count),
                                                    benchmark::Counter::kIsIterationInvariantRate |
                                                        benchmark::Counter::kInvert);
}
BENCHMARK(LevelCellsOnOneCore)
    ->Args({0, 24})
    ->Args({3, 15})
    ->Args({0, 12})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

} // namespace
