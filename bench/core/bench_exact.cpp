#include <algorithm>
#include <benchmark/benchmark.h>
#include <cstdint>
#include <random>
#include <vector>
#include <veltrane/errors.h>
#include <veltrane/exact.h>
#include <veltrane/maps.h>

namespace {

using namespace veltrane;

// Sorted, distinct uniform break points of a map with the given number of branches; the same
// map on every run.
std::vector<double> randomBreakPoints(std::int64_t branches) {
    std::mt19937_64 engine(20240601);
    std::uniform_real_distribution<double> uniform(0.0, 1.0);
    std::vector<double> points;
    do {
        points.clear();
        for (std::int64_t i = 0; i + 1 < branches; ++i) {
            points.push_back(uniform(engine));
        }
        std::sort(points.begin(), points.end());
    } while (std::adjacent_find(points.begin(), points.end()) != points.end() ||
             points.front() == 0.0);
    return points;
}

// The whole exact spectrum from break points: exponents, merging, and every point.
// Arguments: branches, points.
void ExactSpectrumOfRandomMap(benchmark::State& state) {
    const std::vector<double> breakPoints = randomBreakPoints(state.range(0));
    const auto points = static_cast<std::size_t>(state.range(1));
    long evaluations = 0;
    for (auto _ : state) {
        const ExactSpectrum spectrum = exactSpectrum(breakPoints, points);
        evaluations = spectrum.passes;
        benchmark::DoNotOptimize(spectrum.points.data());
    }
    state.counters["evaluations_per_point"] =
        static_cast<double>(evaluations) / static_cast<double>(points);
}
BENCHMARK(ExactSpectrumOfRandomMap)
    ->Args({1000, 10001})
    ->Args({100000, 101})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// One point solved from scratch, as the comparison with a classic analysis does it.
void ExactPointAlone(benchmark::State& state) {
    const ExactSolver solver(branchExponents(randomBreakPoints(state.range(0))));
    const double lambda = solver.lambdaMin() + 0.3 * (solver.lambdaMax() - solver.lambdaMin());
    for (auto _ : state) {
        benchmark::DoNotOptimize(solver.atLyapunov(lambda));
    }
}
BENCHMARK(ExactPointAlone)->Arg(3)->Arg(1000);

} // namespace
