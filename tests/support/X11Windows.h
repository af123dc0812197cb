#pragma once

#include <QRect>
#include <QString>
#include <QStringList>
#include <memory>
#include <vector>

namespace veltrane::test {

// Runs xdotool with arguments on the test's X server (its keys go through the server's test
// extension, as a keyboard's would), within 10 s; what it printed, trimmed, into output.
bool xdotool(const QStringList& arguments, QString* output = nullptr);

// Another client's top-level windows on the test's X server, seen the way a window manager
// sees them: found by process and title, measured, moved and asked to close; and the server's
// keyboard: keycodes and its auto-repeat.
class X11Windows {
public:
    X11Windows();
    ~X11Windows();
    X11Windows(const X11Windows&) = delete;
    X11Windows& operator=(const X11Windows&) = delete;

    bool connected() const;

    // Mapped top-level windows of process pid titled exactly title, in stacking order.
    std::vector<unsigned long> find(long long pid, const QString& title) const;

    // The window's rectangle on the screen, in pixels.
    QRect geometry(unsigned long window) const;

    void move(unsigned long window, int x, int y) const;

    // What a window manager sends when the user clicks a window's close button.
    void requestClose(unsigned long window) const;

    // The keycode of a keysym's name ("a", "Return"), 0 where the keymap has none.
    unsigned keycode(const char* keysym) const;

    // Turns the server's auto-repeat off for every client, until the server ends.
    void autoRepeatOff() const;

private:
    struct Connection;
    std::unique_ptr<Connection> m_connection;
};

} // namespace veltrane::test
