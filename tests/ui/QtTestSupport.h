#pragma once

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QImage>
#include <QMessageBox>
#include <QPushButton>
#include <QString>
#include <QTimer>
#include <array>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>

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

// What a modal message box showed before the answerer closed it.
struct SeenMessageBox {
    QString title;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    int buttonCount = 0;
    QString buttonText;
};

// While alive, answers every modal window that appears: a message box is recorded and its
// first (only) button clicked; anything else modal is rejected, so no test can hang on it.
class ModalAnswerer {
public:
    ModalAnswerer() {
        QObject::connect(&m_timer, &QTimer::timeout, [this] { poll(); });
        m_timer.start(5);
    }

    const std::vector<SeenMessageBox>& seen() const { return m_seen; }
    int others() const { return m_others; }

private:
    void poll() {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal == nullptr || !modal->isVisible()) {
            return;
        }
        auto* box = qobject_cast<QMessageBox*>(modal);
        if (box == nullptr) {
            ++m_others;
            modal->close();
            return;
        }
        SeenMessageBox seen{box->windowTitle(),
                            box->text(),
                            box->icon(),
                            static_cast<int>(box->buttons().size()),
                            {}};
        if (!box->buttons().isEmpty()) {
            seen.buttonText = box->buttons().first()->text();
        }
        m_seen.push_back(seen);
        if (box->buttons().isEmpty()) {
            box->close();
        } else {
            box->buttons().first()->click();
        }
    }

    QTimer m_timer;
    std::vector<SeenMessageBox> m_seen;
    int m_others = 0;
};

// build/artifacts/<name>, for a reviewer to look at.
inline QString artifactPath(const QString& name) {
    const QString dir = QStringLiteral(VELTRANE_BUILD_DIR "/artifacts");
    QDir().mkpath(dir);
    return dir + QLatin1Char('/') + name;
}

// Number of pixels of exactly this colour.
inline int countPixels(const QImage& image, QRgb colour) {
    const QImage rgb = image.convertToFormat(QImage::Format_RGB32);
    int count = 0;
    for (int y = 0; y < rgb.height(); ++y) {
        for (int x = 0; x < rgb.width(); ++x) {
            if ((rgb.pixel(x, y) & 0xffffffU) == (colour & 0xffffffU)) {
                ++count;
            }
        }
    }
    return count;
}

} // namespace veltrane::test
