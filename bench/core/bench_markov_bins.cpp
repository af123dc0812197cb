// The bins of Markov measures beside those of Bernoulli cascades, on one core, from the same run:
// 2^24 bins of a measure on a map of 100 pieces of the spread family (weights drawn over two
// orders of magnitude), and of Bernoulli cascades of 3 and of 100 branches (break points and
// weights drawn the same way). Argument: the number of pieces or branches.
#include "MarkovFamilies.h"

#include <algorithm>
#include <benchmark/benchmark.h>
#include <cmath>
#include <random>
#include <veltrane/cascade.h>
#include <veltrane/markov_measure.h>

namespace veltrane {
namespace {

constexpr std::uint64_t kBins = std::uint64_t{1} << 24;

void perBin(benchmark::State& state) {
    state.counters["per_bin"] = benchmark::Counter(static_cast<double>(kBins),
                                                   benchmark::Counter::kIsIterationInvariantRate |
                                                       benchmark::Counter::kInvert);
}

void MarkovBinsOnOneCore(benchmark::State& state) {
    const auto n = static_cast<std::size_t>(state.range(0));
    const std::vector<MarkovPiece> pieces = test::markovFamilyMap(test::MarkovFamily::Spread, n, 7);
    std::mt19937_64 engine(2026);
    const MarkovWeights weights = test::randomWeights(pieces, 2.0, engine);
    const MarkovCascade measure(pieces, weights);
    std::vector<double> masses(kBins);
    for (auto _ : state) {
        measure.binMasses(kBins, 0, masses, RunControl{1, nullptr, nullptr});
        benchmark::DoNotOptimize(masses.data());
    }
    perBin(state);
}
BENCHMARK(MarkovBinsOnOneCore)->Arg(100)->Unit(benchmark::kMillisecond)->UseRealTime();

void BernoulliBinsOnOneCore(benchmark::State& state) {
    const auto n = static_cast<std::size_t>(state.range(0));
    std::mt19937_64 engine(2026);
    std::uniform_real_distribution<double> uniform(0.0, 1.0);
    std::uniform_real_distribution<double> exponent(-1.0, 1.0);
    std::vector<double> breaks;
    std::vector<double> weights;
    for (std::size_t i = 0; i < n; ++i) {
        breaks.push_back(uniform(engine));
        weights.push_back(std::pow(10.0, exponent(engine)));
    }
    std::sort(breaks.begin(), breaks.end());
    breaks.pop_back();
    const Cascade cascade(breaks, weights);
    std::vector<double> masses(kBins);
    for (auto _ : state) {
        cascade.binMasses(kBins, 0, masses);
        benchmark::DoNotOptimize(masses.data());
    }
    perBin(state);
}
BENCHMARK(BernoulliBinsOnOneCore)->Arg(3)->Arg(100)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace
} // namespace veltrane
