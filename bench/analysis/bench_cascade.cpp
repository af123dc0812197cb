#include "Cascade.h"
#include "Parallel.h"

#include <benchmark/benchmark.h>
#include <cstdint>
#include <vector>

namespace {

using namespace veltrane;

// Bins per block: enough that a block's walk down from [0, 1] costs nothing beside it, few
// enough that the threads share the work evenly.
constexpr std::size_t kBlock = std::size_t{1} << 16;

// The masses of equal bins of a three-branch measure, in blocks over the threads, as the
// command line writes them. Arguments: bins, threads (0: one for each core).
void BinMassesOfThreeBranches(benchmark::State& state) {
    const Cascade cascade({0.3, 0.7}, {0.2, 0.5, 0.3});
    const auto bins = static_cast<std::uint64_t>(state.range(0));
    RunControl control;
    control.threads = static_cast<unsigned>(state.range(1));
    std::vector<double> masses(bins);
    for (auto _ : state) {
        forEachBlock(bins, kBlock, control, [&](std::size_t first, std::size_t count) {
            cascade.binMasses(bins, first, count, masses.data() + first);
        });
        benchmark::DoNotOptimize(masses.data());
    }
    state.counters["threads"] = threadCount(control);
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(bins));
}
BENCHMARK(BinMassesOfThreeBranches)
    ->Args({1 << 24, 0})
    ->Args({1 << 20, 1})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

} // namespace
