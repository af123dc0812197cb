#include "X11Windows.h"

#include <QProcess>
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace veltrane::test {

struct X11Windows::Connection {
    Display* display = nullptr;
    ~Connection() {
        if (display != nullptr) {
            XCloseDisplay(display);
        }
    }
};

namespace {

long long windowPid(Display* display, Window window) {
    const Atom pidAtom = XInternAtom(display, "_NET_WM_PID", False);
    Atom type = 0;
    int format = 0;
    unsigned long count = 0;
    unsigned long after = 0;
    unsigned char* data = nullptr;
    long long pid = -1;
    if (XGetWindowProperty(display, window, pidAtom, 0, 1, False, XA_CARDINAL, &type, &format,
                           &count, &after, &data) == Success &&
        data != nullptr) {
        if (count == 1 && format == 32) {
            pid = static_cast<long long>(*reinterpret_cast<unsigned long*>(data));
        }
        XFree(data);
    }
    return pid;
}

QString windowTitle(Display* display, Window window) {
    char* name = nullptr;
    QString title;
    if (XFetchName(display, window, &name) != 0 && name != nullptr) {
        title = QString::fromLocal8Bit(name);
        XFree(name);
    }
    return title;
}

} // namespace

bool xdotool(const QStringList& arguments, QString* output) {
    QProcess tool;
    tool.start(QStringLiteral("xdotool"), arguments);
    const bool done = tool.waitForFinished(10000) && tool.exitCode() == 0;
    if (output != nullptr) {
        *output = QString::fromLatin1(tool.readAllStandardOutput()).trimmed();
    }
    return done;
}

X11Windows::X11Windows() : m_connection(std::make_unique<Connection>()) {
    m_connection->display = XOpenDisplay(nullptr);
}

X11Windows::~X11Windows() = default;

bool X11Windows::connected() const {
    return m_connection->display != nullptr;
}

std::vector<unsigned long> X11Windows::find(long long pid, const QString& title) const {
    Display* display = m_connection->display;
    std::vector<unsigned long> found;
    Window root = 0;
    Window parent = 0;
    Window* children = nullptr;
    unsigned int count = 0;
    if (XQueryTree(display, DefaultRootWindow(display), &root, &parent, &children, &count) == 0) {
        return found;
    }
    for (unsigned int i = 0; i < count; ++i) {
        XWindowAttributes attributes;
        if (XGetWindowAttributes(display, children[i], &attributes) == 0 ||
            attributes.map_state != IsViewable) {
            continue;
        }
        if (windowPid(display, children[i]) == pid && windowTitle(display, children[i]) == title) {
            found.push_back(children[i]);
        }
    }
    if (children != nullptr) {
        XFree(children);
    }
    return found;
}

QRect X11Windows::geometry(unsigned long window) const {
    Display* display = m_connection->display;
    XWindowAttributes attributes;
    if (XGetWindowAttributes(display, window, &attributes) == 0) {
        return {};
    }
    int x = 0;
    int y = 0;
    Window child = 0;
    XTranslateCoordinates(display, window, DefaultRootWindow(display), 0, 0, &x, &y, &child);
    return {x, y, attributes.width, attributes.height};
}

void X11Windows::move(unsigned long window, int x, int y) const {
    XMoveWindow(m_connection->display, window, x, y);
    XSync(m_connection->display, False);
}

void X11Windows::requestClose(unsigned long window) const {
    Display* display = m_connection->display;
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = static_cast<long>(XInternAtom(display, "WM_DELETE_WINDOW", False));
    event.xclient.data.l[1] = CurrentTime;
    XSendEvent(display, window, False, NoEventMask, &event);
    XSync(display, False);
}

unsigned X11Windows::keycode(const char* keysym) const {
    return XKeysymToKeycode(m_connection->display, XStringToKeysym(keysym));
}

void X11Windows::autoRepeatOff() const {
    XAutoRepeatOff(m_connection->display);
    XSync(m_connection->display, False);
}

} // namespace veltrane::test
