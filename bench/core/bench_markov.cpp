#include <algorithm>
#include <benchmark/benchmark.h>
#include <cstdint>
#include <random>
#include <vector>
#include <veltrane/markov.h>

namespace {

using namespace veltrane;

// A Markov map of the given number of pieces, the same on every run: uniform break points,
// piece 0 onto [0, 1], every other onto a run of pieces that holds one to its left (so that the
// graph is irreducible), at least 1.05 times its own length, increasing or decreasing.
std::vector<MarkovPiece> randomMap(std::int64_t count) {
    const auto n = static_cast<std::size_t>(count);
    std::mt19937_64 engine(20240601);
    std::uniform_real_distribution<double> uniform(0.0, 1.0);
    std::vector<double> x{0.0, 1.0};
    while (x.size() < n + 1) {
        x.push_back(uniform(engine));
        if (x.size() == n + 1) {
            std::sort(x.begin(), x.end());
            x.erase(std::unique(x.begin(), x.end()), x.end());
        }
    }
    std::vector<MarkovPiece> pieces{{0.0, x[1], 0.0, 1.0}};
    for (std::size_t i = 1; i < n; ++i) {
        std::size_t a = std::uniform_int_distribution<std::size_t>(0, i - 1)(engine);
        std::size_t b = std::uniform_int_distribution<std::size_t>(a + 1, n)(engine);
        while (x[b] - x[a] < 1.05 * (x[i + 1] - x[i])) {
            (a > 0 && (b == n || engine() % 2 == 0)) ? --a : ++b;
        }
        const bool up = engine() % 2 == 0;
        pieces.push_back({x[i], x[i + 1], up ? x[a] : x[b], up ? x[b] : x[a]});
    }
    return pieces;
}

// The whole spectrum on the machine's cores: checks, the ends, every point. Arguments: pieces,
// points.
void MarkovSpectrumOfRandomMap(benchmark::State& state) {
    const std::vector<MarkovPiece> pieces = randomMap(state.range(0));
    const auto points = static_cast<std::size_t>(state.range(1));
    long products = 0;
    for (auto _ : state) {
        const ExactSpectrum spectrum = markovSpectrum(pieces, points);
        products = spectrum.passes;
        benchmark::DoNotOptimize(spectrum.points.data());
    }
    state.counters["products_per_point"] =
        static_cast<double>(products) / static_cast<double>(points);
}
BENCHMARK(MarkovSpectrumOfRandomMap)
    ->Args({100, 1001})
    ->Args({10000, 1001})
    ->Args({100000, 101})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// The checks and the ends of the range alone (the cycle means and their entropies).
void MarkovMapChecked(benchmark::State& state) {
    const std::vector<MarkovPiece> pieces = randomMap(state.range(0));
    for (auto _ : state) {
        const MarkovSolver solver(pieces);
        benchmark::DoNotOptimize(solver.lambdaMax());
    }
}
BENCHMARK(MarkovMapChecked)->Arg(10000)->Arg(1000000)->Unit(benchmark::kMillisecond);

} // namespace
