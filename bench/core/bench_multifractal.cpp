#include <algorithm>
#include <benchmark/benchmark.h>
#include <cstdint>
#include <random>
#include <vector>
#include <veltrane/multifractal.h>

namespace {

using namespace veltrane;

struct Measure {
    std::vector<double> breakPoints;
    std::vector<double> weights;
};

// Sorted, distinct uniform break points and uniform weights in (0, 1] of a map with the given
// number of branches; the same measure on every run.
Measure randomMeasure(std::int64_t branches) {
    std::mt19937_64 engine(20240601);
    std::uniform_real_distribution<double> uniform(0.0, 1.0);
    Measure measure;
    do {
        measure.breakPoints.clear();
        for (std::int64_t i = 0; i + 1 < branches; ++i) {
            measure.breakPoints.push_back(uniform(engine));
        }
        std::sort(measure.breakPoints.begin(), measure.breakPoints.end());
    } while (std::adjacent_find(measure.breakPoints.begin(), measure.breakPoints.end()) !=
                 measure.breakPoints.end() ||
             measure.breakPoints.front() == 0.0);
    for (std::int64_t i = 0; i < branches; ++i) {
        measure.weights.push_back(1.0 - uniform(engine));
    }
    return measure;
}

// The whole spectrum from break points and weights: logarithms, merging, the ends and every
// point. Arguments: branches, points.
void MultifractalSpectrumOfRandomMeasure(benchmark::State& state) {
    const Measure measure = randomMeasure(state.range(0));
    const auto points = static_cast<std::size_t>(state.range(1));
    long passes = 0;
    for (auto _ : state) {
        const MultifractalSolver solver(measure.breakPoints, measure.weights);
        const MultifractalSpectrum spectrum = solver.spectrum(points);
        passes = spectrum.passes;
        benchmark::DoNotOptimize(spectrum.points.data());
    }
    state.counters["passes_per_point"] =
        static_cast<double>(passes) / static_cast<double>(points - 2);
}
BENCHMARK(MultifractalSpectrumOfRandomMeasure)
    ->Args({1000, 100000})
    ->Args({100000, 101})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// One point of each kind solved from scratch.
void MultifractalPointAlone(benchmark::State& state) {
    const Measure measure = randomMeasure(state.range(0));
    const MultifractalSolver solver(measure.breakPoints, measure.weights);
    const double alpha = solver.alphaMin() + 0.3 * (solver.alphaMax() - solver.alphaMin());
    for (auto _ : state) {
        benchmark::DoNotOptimize(solver.atAlpha(alpha));
        benchmark::DoNotOptimize(solver.atQ(2.5));
    }
}
BENCHMARK(MultifractalPointAlone)->Arg(3)->Arg(1000);

} // namespace
