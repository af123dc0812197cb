// Times what the user waits for: from an Analyze click to the graph window painted (the first
// click creates the window, a repeated one redraws it), and from start to the main window
// shown. Windows are real top-level windows on whatever platform Qt runs on.
#include "X11Windows.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QImage>
#include <QProcess>
#include <QProcessEnvironment>
#include <QPushButton>
#include <QScreen>
#include <QWindow>
#include <algorithm>
#include <benchmark/benchmark.h>
#include <memory>
#include <vector>
#include <veltrane/ui/StartUp.h>

namespace {

using namespace veltrane;
using namespace veltrane::classic;
using namespace veltrane::ui;

QApplication& application() {
    return *qApp;
}

// Notes paint events of the widgets of one window, whichever of them exist yet.
class PaintWatch : public QObject {
public:
    explicit PaintWatch(QString windowName) : m_windowName(std::move(windowName)) {
        application().installEventFilter(this);
    }
    ~PaintWatch() override { application().removeEventFilter(this); }

    void reset() { m_surfacePainted = false; }
    bool surfacePainted() const { return m_surfacePainted; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint && watched->isWidgetType()) {
            const auto* widget = static_cast<QWidget*>(watched);
            if (widget->window()->objectName() == m_windowName &&
                (widget->objectName() == "picBlackboard" || widget->isWindow())) {
                // The event is about to be handled; it is painted once the loop returns.
                m_surfacePainted = true;
            }
        }
        return false;
    }

private:
    QString m_windowName;
    bool m_surfacePainted = false;
};

// Collects each iteration's time, reports it as the iteration time and, at the end, the
// median as a counter (the goals are stated as medians).
class Timings {
public:
    explicit Timings(benchmark::State& state) : m_state(state) {}
    ~Timings() {
        if (m_seconds.empty()) {
            return;
        }
        std::sort(m_seconds.begin(), m_seconds.end());
        const std::size_t n = m_seconds.size();
        const double median =
            n % 2 == 1 ? m_seconds[n / 2] : (m_seconds[n / 2 - 1] + m_seconds[n / 2]) / 2;
        m_state.counters["median_ms"] = median * 1e3;
        m_state.counters["max_ms"] = m_seconds.back() * 1e3;
    }
    Timings(const Timings&) = delete;
    Timings& operator=(const Timings&) = delete;

    void add(double seconds) {
        m_state.SetIterationTime(seconds);
        m_seconds.push_back(seconds);
    }

private:
    benchmark::State& m_state;
    std::vector<double> m_seconds;
};

QWidget* graphWindow() {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (widget->objectName() == "frmGraph1D" && widget->isVisible()) {
            return widget;
        }
    }
    return nullptr;
}

// Processes events until condition holds; false after 10 s.
template <typename Condition> bool processUntil(Condition condition) {
    QElapsedTimer clock;
    clock.start();
    while (!condition()) {
        if (clock.elapsed() > 10000) {
            return false;
        }
        QApplication::processEvents(QEventLoop::AllEvents, 1);
    }
    return true;
}

void closeGraphWindow() {
    if (QWidget* graph = graphWindow()) {
        graph->close();
    }
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QApplication::processEvents();
}

// Click to painted, in seconds, or a negative value when the window never painted.
double timeClick(QPushButton& button, PaintWatch& watch) {
    watch.reset();
    QElapsedTimer clock;
    clock.start();
    button.click();
    const bool painted = processUntil([&] {
        QWidget* graph = graphWindow();
        return graph != nullptr && graph->windowHandle()->isExposed() && watch.surfacePainted();
    });
    return painted ? static_cast<double>(clock.nsecsElapsed()) * 1e-9 : -1.0;
}

struct ShownProgram {
    ShownProgram() : program(store) {
        program.show();
        processUntil([&] { return program.mainWindow().windowHandle()->isExposed(); });
    }
    QPushButton& button(const char* name) {
        return *program.mainWindow().findChild<QPushButton*>(name);
    }
    QApplication& app = application(); // before any widget
    Module1 store;
    Program program;
};

void AnalyzeClickFirst(benchmark::State& state) {
    Timings timings(state);
    ShownProgram shown;
    PaintWatch watch("frmGraph1D");
    for (auto _ : state) {
        closeGraphWindow();
        const double seconds = timeClick(shown.button("cmd2branchs"), watch);
        if (seconds < 0) {
            state.SkipWithError("the graph window did not paint");
            break;
        }
        timings.add(seconds);
    }
    closeGraphWindow();
}
BENCHMARK(AnalyzeClickFirst)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(30);

void AnalyzeClickRepeated(benchmark::State& state) {
    Timings timings(state);
    ShownProgram shown;
    PaintWatch watch("frmGraph1D");
    timeClick(shown.button("cmd2branchs"), watch);
    for (auto _ : state) {
        const double seconds = timeClick(shown.button("cmd2branchs"), watch);
        if (seconds < 0) {
            state.SkipWithError("the graph window did not repaint");
            break;
        }
        timings.add(seconds);
    }
    closeGraphWindow();
}
BENCHMARK(AnalyzeClickRepeated)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(50);

void ThreeBranchClickRepeated(benchmark::State& state) {
    Timings timings(state);
    ShownProgram shown;
    PaintWatch watch("frmGraph1D");
    timeClick(shown.button("cmd3branches"), watch);
    for (auto _ : state) {
        const double seconds = timeClick(shown.button("cmd3branches"), watch);
        if (seconds < 0) {
            state.SkipWithError("the graph window did not repaint");
            break;
        }
        timings.add(seconds);
    }
    closeGraphWindow();
}
BENCHMARK(ThreeBranchClickRepeated)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(30);

// In process: the windows and services created, the main window shown and painted.
void StartToMainWindowShownInProcess(benchmark::State& state) {
    Timings timings(state);
    PaintWatch watch("frmMain");
    for (auto _ : state) {
        watch.reset();
        QElapsedTimer clock;
        clock.start();
        {
            Module1 store;
            Program program(store);
            program.show();
            if (!processUntil([&] {
                    return program.mainWindow().windowHandle()->isExposed() &&
                           watch.surfacePainted();
                })) {
                state.SkipWithError("the main window did not paint");
                break;
            }
            timings.add(static_cast<double>(clock.nsecsElapsed()) * 1e-9);
        }
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
}
BENCHMARK(StartToMainWindowShownInProcess)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(30);

// The real program binary, from process start to its main window mapped and painted, seen
// from outside as a user would see it. Needs the X11 platform.
void StartToMainWindowShownProcess(benchmark::State& state) {
    Timings timings(state);
    application();
    if (QGuiApplication::platformName() != "xcb") {
        state.SkipWithError("needs the X11 platform (run under tests/run-under-xvfb)");
        return;
    }
    const test::X11Windows windows;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("QT_QPA_PLATFORM", "xcb");
    for (auto _ : state) {
        QProcess program;
        program.setProcessEnvironment(environment);
        QElapsedTimer clock;
        clock.start();
        program.start(VELTRANE_BINARY, {});
        program.waitForStarted();
        unsigned long window = 0;
        bool shown = processUntil([&] {
            const auto found = windows.find(program.processId(), "Veltrane");
            window = found.empty() ? 0 : found.front();
            return window != 0;
        });
        // Mapped is not yet painted: wait for the window's light background.
        shown = shown && processUntil([&] {
                    const QImage image =
                        QGuiApplication::primaryScreen()->grabWindow(window).toImage();
                    return !image.isNull() &&
                           qGray(image.pixel(image.width() - 2, image.height() - 2)) > 128;
                });
        const double seconds = static_cast<double>(clock.nsecsElapsed()) * 1e-9;
        windows.requestClose(window);
        program.waitForFinished();
        if (!shown) {
            state.SkipWithError("the main window did not show");
            break;
        }
        timings.add(seconds);
    }
}
BENCHMARK(StartToMainWindowShownProcess)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(15);

} // namespace
