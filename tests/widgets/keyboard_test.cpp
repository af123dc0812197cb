// What the X server says of its keys, as the key repeats ask it when the focus comes back to
// the program: keys pressed through the server's test extension (xdotool) and released; and how
// the key repeats tell a held key's repeats from presses, on key events with scan codes as the
// server's have them.
#include "X11Keyboard.h"
#include "X11Windows.h"

#include <QApplication>
#include <QKeyEvent>
#include <QTest>
#include <QWidget>
#include <gtest/gtest.h>
#include <memory>
#include <vector>
#include <veltrane/widgets/KeyRepeats.h>

namespace veltrane::widgets {
namespace {

using test::xdotool;

// Keys of keycodes in several bytes of the keymap and at several bits of a byte.
constexpr const char* kKeys[] = {"Escape", "Tab", "Return",   "a",     "space",
                                 "F1",     "F12", "KP_Enter", "Right", "Super_L"};

TEST(KeyDownQuery, NamesTheKeysTheServerHoldsDownAndNoOther) {
    const std::function<bool(unsigned)> isDown = keyDownQuery();
    ASSERT_TRUE(isDown);
    const test::X11Windows server;
    ASSERT_TRUE(server.connected());
    for (const char* key : kKeys) {
        SCOPED_TRACE(key);
        const unsigned code = server.keycode(key);
        ASSERT_GE(code, 8U);
        ASSERT_TRUE(xdotool({"keydown", key}));
        EXPECT_TRUE(QTest::qWaitFor([&] { return isDown(code); }, 2000));
        for (unsigned other = 8; other <= 255; ++other) {
            EXPECT_EQ(isDown(other), other == code) << "keycode " << other;
        }
        ASSERT_TRUE(xdotool({"keyup", key}));
        EXPECT_TRUE(QTest::qWaitFor([&] { return !isDown(code); }, 2000));
    }
    EXPECT_FALSE(isDown(256)); // beyond the keymap
}

// The presses a window receives, whether each came marked as a repeat.
class Presses : public QWidget {
public:
    std::vector<bool> repeats;

    void send(QEvent::Type type, unsigned code, unsigned long time) {
        QKeyEvent key(type, Qt::Key_A, Qt::NoModifier, code, 0, 0, QStringLiteral("a"));
        key.setTimestamp(time);
        QApplication::sendEvent(this, &key);
    }

protected:
    void keyPressEvent(QKeyEvent* event) override { repeats.push_back(event->isAutoRepeat()); }
};

void activate(QWidget& window) {
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
}

// A press of a key still down is a repeat, the same press seen twice is not; a release ends it;
// events a program made (scan code 0) pass as they are. When the focus moves, the keys the
// server has up are forgotten (their releases may have gone to another program's window), and
// one it holds down is kept.
TEST(KeyRepeats, MarkThePressesOfAKeyStillDown) {
    const test::X11Windows server;
    ASSERT_TRUE(server.connected());
    // The test's own server: no repeats of the key held below, whatever the load.
    server.autoRepeatOff();
    const unsigned a = server.keycode("a");
    const unsigned b = server.keycode("b");
    Presses window;
    QWidget other;
    ASSERT_NO_FATAL_FAILURE(activate(window));
    const KeyRepeats repeats(*qApp);
    window.send(QEvent::KeyPress, a, 100);
    window.send(QEvent::KeyPress, a, 100); // the same press again
    window.send(QEvent::KeyPress, a, 130);
    window.send(QEvent::KeyPress, a, 160);
    window.send(QEvent::KeyRelease, a, 170);
    window.send(QEvent::KeyPress, a, 200);
    window.send(QEvent::KeyPress, 0, 210); // made by a program
    window.send(QEvent::KeyPress, 0, 220);
    EXPECT_EQ(window.repeats, (std::vector<bool>{false, false, true, true, false, false, false}));

    // a, pressed and never released here, is up on the server; b is pressed on the server while
    // the other window has the focus, and held while it comes back.
    window.repeats.clear();
    ASSERT_NO_FATAL_FAILURE(activate(other));
    ASSERT_TRUE(xdotool({"keydown", "b"})); // its press goes to the other window
    const std::unique_ptr<const char, void (*)(const char*)> release("b", [](const char* key) {
        xdotool({"keyup", key});
    });
    ASSERT_NO_FATAL_FAILURE(activate(window));
    window.send(QEvent::KeyPress, a, 400);
    window.send(QEvent::KeyPress, b, 410);
    EXPECT_EQ(window.repeats, (std::vector<bool>{false, true}));
}

} // namespace
} // namespace veltrane::widgets
