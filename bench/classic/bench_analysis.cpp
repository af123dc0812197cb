#include <benchmark/benchmark.h>
#include <cmath>
#include <vector>
#include <veltrane/classic/Fields.h>
#include <veltrane/classic/TextToSingle.h>
#include <veltrane/classic/ThreeBranch.h>
#include <veltrane/classic/TwoBranch.h>

using namespace veltrane::classic;

namespace {

using namespace veltrane;

void TwoBranchAnalysis(benchmark::State& state) {
    const FieldTexts fields{{Field::C, "0.3"}};
    const DecimalTextToSingle toSingle;
    Module1 store;
    for (auto _ : state) {
        benchmark::DoNotOptimize(runTwoBranch(fields, toSingle, store));
    }
}
BENCHMARK(TwoBranchAnalysis);

AnalysisOutcome defaultsThreeBranch(Module1& store) {
    const FieldTexts fields{{Field::C1, "0.2"}, {Field::C2, "0.6"}};
    return runThreeBranch(fields, DecimalTextToSingle(), store);
}

void ThreeBranchAnalysis(benchmark::State& state) {
    Module1 store;
    for (auto _ : state) {
        benchmark::DoNotOptimize(defaultsThreeBranch(store));
    }
    state.counters["entr3_calls"] = static_cast<double>(defaultsThreeBranch(store).entr3Calls);
}
BENCHMARK(ThreeBranchAnalysis);

// The floor the three-branch analysis is measured against: as many calls of std::log as
// the analysis takes logarithms on the defaults, on arguments spread over (0, 1] like its
// weights, and nothing else.
void LogFloorOfThreeBranch(benchmark::State& state) {
    Module1 store;
    const long count = defaultsThreeBranch(store).logarithms;
    std::vector<double> arguments(static_cast<std::size_t>(count));
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        arguments[i] = static_cast<double>(i % 1000 + 1) / 1000.0;
    }
    for (auto _ : state) {
        double sum = 0.0;
        for (const double x : arguments) {
            sum += std::log(x);
        }
        benchmark::DoNotOptimize(sum);
    }
    state.counters["logarithms"] = static_cast<double>(count);
}
BENCHMARK(LogFloorOfThreeBranch);

} // namespace
