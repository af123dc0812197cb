// What the X server says of its keys, as the key repeats ask it when the focus comes back to
// the program: keys pressed through the server's test extension (xdotool) and released.
#include "X11Keyboard.h"

#include <QProcess>
#include <QTest>
#include <gtest/gtest.h>
#include <memory>
// After Qt's headers: Xlib's macros (KeyPress, None, ...) would break them.
#include <X11/Xlib.h>

namespace veltrane::widgets {
namespace {

bool xdotool(const QStringList& arguments) {
    QProcess tool;
    tool.start(QStringLiteral("xdotool"), arguments);
    return tool.waitForFinished(10000) && tool.exitCode() == 0;
}

// Keys of keycodes in several bytes of the keymap and at several bits of a byte.
constexpr const char* kKeys[] = {"Escape", "Tab", "Return",   "a",     "space",
                                 "F1",     "F12", "KP_Enter", "Right", "Super_L"};

TEST(KeyDownQuery, NamesTheKeysTheServerHoldsDownAndNoOther) {
    const std::function<bool(unsigned)> isDown = keyDownQuery();
    ASSERT_TRUE(isDown);
    const std::unique_ptr<Display, int (*)(Display*)> display(XOpenDisplay(nullptr), XCloseDisplay);
    ASSERT_NE(display, nullptr);
    for (const char* key : kKeys) {
        SCOPED_TRACE(key);
        const unsigned code = XKeysymToKeycode(display.get(), XStringToKeysym(key));
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

} // namespace
} // namespace veltrane::widgets
