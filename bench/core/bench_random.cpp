#include <benchmark/benchmark.h>
#include <cstdint>
#include <string>
#include <vector>
#include <veltrane/partition.h>
#include <veltrane/random.h>
#include <veltrane/run.h>

namespace {

using namespace veltrane;

const std::vector<std::string>& laws() {
    static const std::vector<std::string> all{"lognormal:b=2,sigma2=0.2", "beta:a=2",
                                              "permutation:w=0.3/0.7", "twovalued:b=2,p=0.4,u=1",
                                              "lognormal:b=3,sigma2=0.2"};
    return all;
}

// A realization of N = b^J bins on one thread, the level-J cells as products of weights: the
// first argument picks the law of laws(), the second is J. per_bin is the time a bin takes,
// in seconds, the draws of its cell and of its share of the cells above included.
void RandomCellsOfALevel(benchmark::State& state) {
    const RandomModel model = RandomModel::parse(laws()[static_cast<std::size_t>(state.range(0))]);
    std::uint64_t bins = 1;
    for (std::int64_t j = 0; j < state.range(1); ++j) {
        bins *= model.base();
    }
    std::vector<double> out(static_cast<std::size_t>(bins));
    std::uint64_t seed = 0;
    for (auto _ : state) {
        RandomCascade(model, seed++).binMasses(bins, 0, out, 0, {.threads = 1});
        benchmark::DoNotOptimize(out.data());
    }
    state.SetLabel(laws()[static_cast<std::size_t>(state.range(0))]);
    state.counters["per_bin"] = benchmark::Counter(static_cast<double>(bins),
                                                   benchmark::Counter::kIsIterationInvariantRate |
                                                       benchmark::Counter::kInvert);
}
BENCHMARK(RandomCellsOfALevel)
    ->Args({0, 12})
    ->Args({0, 24})
    ->Args({1, 24})
    ->Args({2, 24})
    ->Args({3, 24})
    ->Args({4, 15})
    ->Unit(benchmark::kMillisecond);

// Bins that are not cells: N = 10^6 bins of a dyadic log-normal realization, stopped at the
// level of its cells no narrower than the bins, on one thread.
void RandomBinsBetweenCells(benchmark::State& state) {
    const RandomModel model = RandomModel::parse(laws()[0]);
    const auto bins = static_cast<std::uint64_t>(state.range(0));
    std::vector<double> out(1 << 14);
    for (auto _ : state) {
        RandomCascade(model, 1).binMasses(bins, bins / 2, out, 0, {.threads = 1});
        benchmark::DoNotOptimize(out.data());
    }
    state.counters["per_bin"] = benchmark::Counter(static_cast<double>(out.size()),
                                                   benchmark::Counter::kIsIterationInvariantRate |
                                                       benchmark::Counter::kInvert);
}
BENCHMARK(RandomBinsBetweenCells)->Arg(1000000)->Unit(benchmark::kMillisecond);

// The ensemble: ln Z_q(2^j), j = 1 .. 16, for 41 q in [-10, 10], of 100 log-normal
// realizations at 2^16 bins, on the threads given (argument). per_realization in seconds.
void EnsemblePartitionSums(benchmark::State& state) {
    const RandomModel model = RandomModel::parse(laws()[0]);
    std::vector<std::uint64_t> bins;
    for (unsigned j = 1; j <= 16; ++j) {
        bins.push_back(std::uint64_t{1} << j);
    }
    std::vector<double> q;
    for (int k = 0; k <= 40; ++k) {
        q.push_back(-10.0 + 0.5 * k);
    }
    constexpr std::uint64_t kRealizations = 100;
    for (auto _ : state) {
        benchmark::DoNotOptimize(
            ensembleLogSums(model, 3, 0, kRealizations, bins, q,
                            {.threads = static_cast<unsigned>(state.range(0))}));
    }
    state.counters["per_realization"] = benchmark::Counter(
        static_cast<double>(kRealizations),
        benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK(EnsemblePartitionSums)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace
