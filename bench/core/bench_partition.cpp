#include <benchmark/benchmark.h>
#include <cstdint>
#include <vector>
#include <veltrane/cascade.h>
#include <veltrane/partition.h>
#include <veltrane/run.h>

namespace {

using namespace veltrane;

// The cost of a bin in the partition sums: one block of 2^20 bins of the three-branch
// non-dyadic measure (break points 0.2 and 0.5, weights 1, 2, 1) at N = 2^30, on one thread,
// for a number of orders q evenly spaced in [-10, 10]. Argument: the number of q. per_bin is
// the time a bin takes, in seconds, masses included; the difference between two rows divided
// by the difference of their q is the cost of a q (an exponential and a compensated addition).
void PartitionSumsOfABlock(benchmark::State& state) {
    const std::vector<double> breaks{0.2, 0.5};
    const std::vector<double> weights{1.0, 2.0, 1.0};
    const Cascade cascade(breaks, weights);
    const auto orders = static_cast<std::size_t>(state.range(0));
    std::vector<double> q(orders);
    for (std::size_t j = 0; j < orders; ++j) {
        q[j] = orders == 1
                   ? 2.0
                   : -10.0 + 20.0 * static_cast<double>(j) / static_cast<double>(orders - 1);
    }
    const std::uint64_t bins = std::uint64_t{1} << 30;
    const std::uint64_t middle = partitionBlocks(bins) / 2;
    for (auto _ : state) {
        benchmark::DoNotOptimize(partitionBlockSums(cascade, bins, middle, 1, q, {.threads = 1}));
    }
    state.counters["per_bin"] = benchmark::Counter(static_cast<double>(kPartitionBlock),
                                                   benchmark::Counter::kIsIterationInvariantRate |
                                                       benchmark::Counter::kInvert);
}
BENCHMARK(PartitionSumsOfABlock)->Arg(1)->Arg(11)->Arg(41)->Unit(benchmark::kMillisecond);

} // namespace
