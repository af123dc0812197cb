#pragma once

#include "Fields.h"
#include "Module1.h"
#include "Printer.h"
#include "ThreeBranch.h"
#include "TwoBranch.h"

#include <QApplication>
#include <QColor>
#include <QImage>
#include <QLabel>
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

// The text of a label or button of window.
inline QString caption(const QWidget* window, const char* name) {
    if (const auto* label = window->findChild<QLabel*>(QString::fromLatin1(name))) {
        return label->text();
    }
    const auto* button = child<QAbstractButton>(window, name);
    return button != nullptr ? button->text() : QString();
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

// Number of pixels of exactly this colour.
inline int countPixels(const QImage& image, QRgb colour) {
    const QImage rgb = image.convertToFormat(QImage::Format_RGB32);
    int count = 0;
    for (int y = 0; y < rgb.height(); ++y) {
        for (int x = 0; x < rgb.width(); ++x) {
            count += (rgb.pixel(x, y) & RGB_MASK) == (colour & RGB_MASK) ? 1 : 0;
        }
    }
    return count;
}

// What a modal message box showed before the answerer closed it.
struct SeenMessageBox {
    QString title;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    int buttonCount = 0;
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
        const auto buttons = box->buttons();
        m_seen.push_back(
            {box->windowTitle(), box->text(), box->icon(), static_cast<int>(buttons.size())});
        if (buttons.isEmpty()) {
            box->close();
        } else {
            buttons.first()->click();
        }
    }

    QTimer m_timer;
    std::vector<SeenMessageBox> m_seen;
    int m_others = 0;
};

} // namespace veltrane::test
