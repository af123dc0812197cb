// main() for benchmarks of the windows. The application object lives in main, so that it is
// gone before the toolkit's own static objects are destroyed at exit.
#include <QApplication>
#include <benchmark/benchmark.h>

int main(int argc, char** argv) {
    const QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
