#pragma once

#include "Fields.h"
#include "Module1.h"
#include "Printer.h"
#include "ThreeBranch.h"
#include "TwoBranch.h"

#include <QApplication>
#include <QColor>
#include <QElapsedTimer>
#include <QImage>
#include <QMessageBox>
#include <QPointF>
#include <QPushButton>
#include <QRectF>
#include <QTimer>
#include <QWidget>
#include <algorithm>
#include <gtest/gtest.h>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace veltrane::test {

// Messages the window reports, kept instead of shown.
class RecordingMessages : public MessageSink {
public:
    void showMessage(const std::string& text) override { texts.push_back(text); }
    std::vector<std::string> texts;
};

// A printer that keeps the pages it is given, or fails with the text it was told.
class FakePrinter : public Printer {
public:
    std::optional<std::string> print(const QImage& page) override {
        pages.push_back(page);
        return failure;
    }
    std::vector<QImage> pages;
    std::optional<std::string> failure;
};

inline void runTwoBranchInto(Module1& store, const char* c) {
    const DecimalTextToSingle toSingle;
    ASSERT_EQ(runTwoBranch(FieldTexts{{Field::C, c}}, toSingle, store).status, Status::Completed);
}

inline void runThreeBranchInto(Module1& store, const char* c1, const char* c2) {
    const DecimalTextToSingle toSingle;
    RecordingMessages messages;
    ASSERT_EQ(
        runThreeBranch(FieldTexts{{Field::C1, c1}, {Field::C2, c2}}, toSingle, messages, store)
            .status,
        Status::Completed);
}

template <typename T = QWidget> T* child(const QWidget* window, const char* name) {
    auto* found = window->findChild<T*>(QString::fromLatin1(name));
    EXPECT_NE(found, nullptr) << name;
    return found;
}

// True when a pixel of exactly colour lies within radius pixels of (x, y), the point first
// moved into the image where the mapping puts it just outside.
inline bool colourNear(const QImage& image, double x, double y, QColor colour, int radius = 2) {
    const int cx = std::clamp(static_cast<int>(x), 0, image.width() - 1);
    const int cy = std::clamp(static_cast<int>(y), 0, image.height() - 1);
    for (int py = cy - radius; py <= cy + radius; ++py) {
        for (int px = cx - radius; px <= cx + radius; ++px) {
            if (image.valid(px, py) && image.pixelColor(px, py) == colour) {
                return true;
            }
        }
    }
    return false;
}

// The first point from `from` towards `to` that lies at least one pixel inside the image;
// `from` itself when it does.
inline QPointF firstInside(const QImage& image, QPointF from, QPointF to) {
    const QRectF inside(1.0, 1.0, image.width() - 2.0, image.height() - 2.0);
    constexpr int kSteps = 1000;
    for (int i = 0; i <= kSteps; ++i) {
        const QPointF p = from + (to - from) * (static_cast<double>(i) / kSteps);
        if (inside.contains(p)) {
            return p;
        }
    }
    return to;
}

// Answers the next modal message box with OK once it is up, keeping its caption and text;
// polls every few milliseconds and gives up after the deadline, so a box that never comes
// leaves seen() false instead of hanging the test.
class MessageBoxAnswerer {
public:
    explicit MessageBoxAnswerer(int deadlineMs = 20000) {
        m_timer.setInterval(5);
        QObject::connect(&m_timer, &QTimer::timeout, [this] { poll(); });
        m_timer.start();
        m_deadline.start();
        m_deadlineMs = deadlineMs;
    }

    bool seen() const { return m_seen; }
    const QString& caption() const { return m_caption; }
    const QString& text() const { return m_text; }
    bool hadIcon() const { return m_hadIcon; }
    int buttonCount() const { return m_buttonCount; }

private:
    void poll() {
        if (m_deadline.elapsed() > m_deadlineMs) {
            m_timer.stop();
            return;
        }
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box == nullptr) {
            return;
        }
        m_timer.stop();
        m_seen = true;
        m_caption = box->windowTitle();
        m_text = box->text();
        m_hadIcon = box->icon() != QMessageBox::NoIcon;
        m_buttonCount = static_cast<int>(box->buttons().size());
        box->button(QMessageBox::Ok)->click();
    }

    QTimer m_timer;
    QElapsedTimer m_deadline;
    int m_deadlineMs = 0;
    bool m_seen = false;
    QString m_caption;
    QString m_text;
    bool m_hadIcon = false;
    int m_buttonCount = 0;
};

} // namespace veltrane::test
