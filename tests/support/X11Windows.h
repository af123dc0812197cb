#pragma once

#include <QRect>
#include <QString>
#include <memory>
#include <vector>

namespace veltrane::test {

// Another client's top-level windows on the test's X server, seen the way a window manager
// sees them: found by process and title, measured, moved and asked to close.
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

private:
    struct Connection;
    std::unique_ptr<Connection> m_connection;
};

} // namespace veltrane::test
