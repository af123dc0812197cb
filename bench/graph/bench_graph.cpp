// The graph window's two user-visible costs on the offscreen platform: a Plot click (clear,
// frame, curves and labels) and the first show_spectrum, which creates the window, shows it
// and draws it. The store holds the two-branch run for C = 0.3.
#include <QApplication>
#include <QElapsedTimer>
#include <QPushButton>
#include <benchmark/benchmark.h>
#include <veltrane/classic/Fields.h>
#include <veltrane/classic/TwoBranch.h>
#include <veltrane/graph/GraphWindowHost.h>
#include <veltrane/graph/PictureBox.h>
#include <veltrane/graph/frmGraph1D.h>
#include <veltrane/widgets/MessageSink.h>
#include <veltrane/widgets/Printer.h>

using namespace veltrane::classic;
using namespace veltrane::graph;

namespace {

using namespace veltrane;

class NoPrinter : public widgets::Printer {
public:
    std::optional<std::string> print(const QImage&) override { return "not printing"; }
};

class NoMessages : public widgets::MessageSink {
public:
    void showMessage(const std::string&) override {}
};

struct Fixture {
    Fixture() {
        const DecimalTextToSingle toSingle;
        runTwoBranch(FieldTexts{{Field::C, "0.3"}}, toSingle, store);
    }
    Module1 store;
    NoPrinter printer;
    NoMessages messages;
    GraphWindowHost host{store, {printer, messages}};
};

void closeWindow(GraphWindowHost& host) {
    if (frmGraph1D* window = host.window()) {
        window->close();
    }
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QApplication::processEvents();
}

void PlotClick(benchmark::State& state) {
    Fixture f;
    f.host.show_spectrum();
    QApplication::processEvents();
    auto* plot = f.host.window()->findChild<QPushButton*>("cmdPlot");
    for (auto _ : state) {
        plot->click();
    }
    if (f.host.window()->picBlackboard().lineCount() != 219) {
        state.SkipWithError("Plot did not draw the frame and both curves");
    }
}
BENCHMARK(PlotClick)->Unit(benchmark::kMillisecond);

// The same click followed by an immediate repaint of the window, so that the time includes
// copying the surface and painting the labels.
void PlotClickAndRepaint(benchmark::State& state) {
    Fixture f;
    f.host.show_spectrum();
    QApplication::processEvents();
    frmGraph1D* window = f.host.window();
    auto* plot = window->findChild<QPushButton*>("cmdPlot");
    for (auto _ : state) {
        plot->click();
        window->repaint();
    }
}
BENCHMARK(PlotClickAndRepaint)->Unit(benchmark::kMillisecond);

void FirstShowSpectrum(benchmark::State& state) {
    Fixture f;
    for (auto _ : state) {
        closeWindow(f.host);
        QElapsedTimer clock;
        clock.start();
        f.host.show_spectrum();
        state.SetIterationTime(static_cast<double>(clock.nsecsElapsed()) * 1e-9);
    }
    closeWindow(f.host);
}
BENCHMARK(FirstShowSpectrum)->UseManualTime()->Unit(benchmark::kMillisecond);

} // namespace
