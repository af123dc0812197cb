#pragma once

// The window helpers of the graph tests (fake printer and message sink, runs of the analyses,
// the modal answerer, pixel counts) serve these tests as well.
#include "../graph/WindowTestSupport.h"
#include "AnalyzeHandlers.h"
#include "RuntimeError.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QString>
#include <array>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <optional>

namespace veltrane::test {

// Holds the one application object of a test binary from before the first test until after
// the last, so that no window outlives it.
class ApplicationEnvironment : public ::testing::Environment {
public:
    void SetUp() override { m_app = std::make_unique<QApplication>(m_argc, m_argv.data()); }
    void TearDown() override {
        // Windows closed during the last test are deleted later; let that happen first.
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        m_app.reset();
    }

private:
    char m_name[14] = "veltrane-test";
    int m_argc = 1;
    std::array<char*, 2> m_argv{m_name, nullptr};
    std::unique_ptr<QApplication> m_app;
};

// GoogleTest owns and deletes the environment.
inline ::testing::Environment* const kApplicationEnvironment =
    ::testing::AddGlobalTestEnvironment(new ApplicationEnvironment);

inline QApplication& application() {
    return *qApp;
}

// Processes events until condition holds or timeoutMs passed; returns the condition.
inline bool waitFor(const std::function<bool()>& condition, int timeoutMs = 5000) {
    QElapsedTimer clock;
    clock.start();
    while (!condition()) {
        if (clock.elapsed() > timeoutMs) {
            return false;
        }
        QApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return true;
}

// Counts show_spectrum calls instead of showing anything, optionally failing while drawing.
class CountingPresenter : public SpectrumPresenter {
public:
    void show_spectrum() override {
        ++calls;
        if (fault) {
            throw RuntimeError(*fault, "while drawing");
        }
    }
    int calls = 0;
    std::optional<ErrorKind> fault;
};

// build/artifacts/<name>, for a reviewer to look at.
inline QString artifactPath(const QString& name) {
    const QString dir = QStringLiteral(VELTRANE_BUILD_DIR "/artifacts");
    QDir().mkpath(dir);
    return dir + QLatin1Char('/') + name;
}

} // namespace veltrane::test
