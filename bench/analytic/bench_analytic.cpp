// Maps with analytic branches: the dimension of the continued fractions with digits 1 and 2 to
// 16 and 100 digits on one core, and the spectrum of two-branch maps over 1,001 points on two,
// each from the formulas (checking the map and choosing the points included).
#include <benchmark/benchmark.h>
#include <string>
#include <vector>
#include <veltrane/analytic.h>

namespace {

using namespace veltrane;

// Argument: the digits asked for.
void DimensionOfOnesAndTwosToDigits(benchmark::State& state) {
    const std::vector<std::string> branches{"1/(1+x)", "1/(2+x)"};
    const auto digits = static_cast<unsigned>(state.range(0));
    for (auto _ : state) {
        const AnalyticSolver solver(AnalyticMap::fromFormulas(branches));
        benchmark::DoNotOptimize(solver.dimension(digits));
    }
}
BENCHMARK(DimensionOfOnesAndTwosToDigits)->Arg(16)->Arg(100)->Unit(benchmark::kMillisecond);

const std::vector<std::vector<std::string>>& twoBranchMaps() {
    static const std::vector<std::vector<std::string>> maps{
        {"1/(1+x)", "1/(2+x)"},
        {"(exp(x/2)-1)/(exp(1)-1)", "1/(1+x)"},
        {"sin(x)/3", "0.5+(x+1)^2/8"},
    };
    return maps;
}

// Argument: the map of twoBranchMaps().
void SpectrumOnTwoCores(benchmark::State& state) {
    const auto& branches = twoBranchMaps()[static_cast<std::size_t>(state.range(0))];
    for (auto _ : state) {
        const AnalyticSolver solver(AnalyticMap::fromFormulas(branches));
        benchmark::DoNotOptimize(solver.spectrum(1001, {.threads = 2}));
    }
    state.SetLabel(branches.front() + " ...");
}
BENCHMARK(SpectrumOnTwoCores)->DenseRange(0, 2)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace
