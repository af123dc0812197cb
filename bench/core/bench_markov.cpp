#include "MarkovFamilies.h"

#include <algorithm>
#include <benchmark/benchmark.h>
#include <cstdint>
#include <random>
#include <vector>
#include <veltrane/errors.h>
#include <veltrane/markov.h>

namespace {

using namespace veltrane;

// Sorted, distinct uniform ends 0 = x_0 < x_1 < ... < x_n = 1.
std::vector<double> randomEnds(std::size_t n, std::mt19937_64& engine) {
    std::uniform_real_distribution<double> uniform(0.0, 1.0);
    std::vector<double> x{0.0, 1.0};
    while (x.size() < n + 1) {
        x.push_back(uniform(engine));
        if (x.size() == n + 1) {
            std::sort(x.begin(), x.end());
            x.erase(std::unique(x.begin(), x.end()), x.end());
        }
    }
    return x;
}

MarkovPiece piece(const std::vector<double>& x, std::size_t i, std::size_t a, std::size_t b,
                  bool up) {
    return {x[i], x[i + 1], up ? x[a] : x[b], up ? x[b] : x[a]};
}

// Maps of the given number of pieces, the same on every run, of two kinds.
//
// Spread: each piece onto a run of pieces anywhere, at least 1.5 times its length and at most
// about three quarters of [0, 1], either way round; the first map of the seeds in turn whose
// graph is irreducible (nearly every one).
//
// Reaching left: piece 0 onto [0, 1], every other onto a run that holds a piece to its left (so
// that the graph is irreducible), at least 1.05 times its length. Its many slopes close to 1
// make the pressure nearly the largest of two parts over a wide range of exponents, where the
// power iteration converges slowly.
std::vector<MarkovPiece> randomMap(std::size_t n, bool spread) {
    for (std::uint64_t seed = 20240601;; ++seed) {
        std::mt19937_64 engine(seed);
        const std::vector<double> x = randomEnds(n, engine);
        std::vector<MarkovPiece> pieces;
        for (std::size_t i = 0; i < n; ++i) {
            const double length = x[i + 1] - x[i];
            std::size_t a = 0;
            std::size_t b = n;
            if (spread) {
                do {
                    a = std::uniform_int_distribution<std::size_t>(0, n - 1)(engine);
                    b = std::uniform_int_distribution<std::size_t>(a + 1, n)(engine);
                } while (x[b] - x[a] < 1.5 * length || b - a > n / 2 + engine() % (n / 2 + 1));
            } else if (i > 0) {
                a = std::uniform_int_distribution<std::size_t>(0, i - 1)(engine);
                b = std::uniform_int_distribution<std::size_t>(a + 1, n)(engine);
                while (x[b] - x[a] < 1.05 * length) {
                    (a > 0 && (b == n || engine() % 2 == 0)) ? --a : ++b;
                }
            }
            pieces.push_back(piece(x, i, a, b, i == 0 || engine() % 2 == 0));
        }
        try {
            const MarkovSolver check(pieces);
            return pieces;
        } catch (const InputError&) {
            // a graph that falls apart: the next seed
        }
    }
}

// The whole spectrum on the machine's cores: checks, the ends, every point. Arguments: pieces,
// points, and 1 for spread maps, 0 for maps reaching left.
void MarkovSpectrumOfRandomMap(benchmark::State& state) {
    const std::vector<MarkovPiece> pieces =
        randomMap(static_cast<std::size_t>(state.range(0)), state.range(2) != 0);
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
    ->Args({100, 1001, 1})
    ->Args({10000, 1001, 1})
    ->Args({10000, 1001, 0})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// The whole spectrum of a map of one of the test families (tests/support/MarkovFamilies.h:
// decoupled halves, periodic graphs, chains ...), on the machine's cores. Arguments: the family's
// place in allMarkovFamilies(), pieces, points. Periodic maps have period 25.
void MarkovSpectrumOfFamily(benchmark::State& state) {
    const test::MarkovFamily family =
        test::allMarkovFamilies().at(static_cast<std::size_t>(state.range(0)));
    const std::vector<MarkovPiece> pieces =
        test::markovFamilyMap(family, static_cast<std::size_t>(state.range(1)), 1, 25);
    const auto points = static_cast<std::size_t>(state.range(2));
    long products = 0;
    for (auto _ : state) {
        const ExactSpectrum spectrum = markovSpectrum(pieces, points);
        products = spectrum.passes;
        benchmark::DoNotOptimize(spectrum.points.data());
    }
    state.SetLabel(test::familyName(family));
    state.counters["products_per_point"] =
        static_cast<double>(products) / static_cast<double>(points);
}
void everyFamily(benchmark::internal::Benchmark* b) {
    for (std::int64_t f = 0; f < static_cast<std::int64_t>(test::allMarkovFamilies().size()); ++f) {
        b->Args({f, 300, 101});
        b->Args({f, 10000, 1001});
    }
}
BENCHMARK(MarkovSpectrumOfFamily)->Apply(everyFamily)->Unit(benchmark::kMillisecond)->UseRealTime();

// The checks and the ends of the range alone (the cycle means and their entropies).
void MarkovMapChecked(benchmark::State& state) {
    const std::vector<MarkovPiece> pieces =
        randomMap(static_cast<std::size_t>(state.range(0)), true);
    for (auto _ : state) {
        const MarkovSolver solver(pieces);
        benchmark::DoNotOptimize(solver.lambdaMax());
    }
}
BENCHMARK(MarkovMapChecked)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);

} // namespace
