#include "X11Keyboard.h"

#include <QGuiApplication>
#include <array>
// After Qt's headers: Xlib's macros (KeyPress, None, ...) would break them.
#include <X11/XKBlib.h>

namespace veltrane::widgets {

namespace {

Display* display() {
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    return x11 == nullptr ? nullptr : x11->display();
}

} // namespace

bool sendRepeatsAsPressesAlone() {
    Display* server = display();
    if (server == nullptr) {
        return false;
    }
    int opcode = 0;
    int event = 0;
    int error = 0;
    int major = XkbMajorVersion;
    int minor = XkbMinorVersion;
    if (XkbQueryExtension(server, &opcode, &event, &error, &major, &minor) == False) {
        return false;
    }
    // Per client: this program's connection alone, for as long as it is open.
    Bool supported = False;
    return XkbSetDetectableAutoRepeat(server, True, &supported) == True && supported == True;
}

std::function<bool(unsigned)> keyDownQuery() {
    if (display() == nullptr) {
        return {};
    }
    return [](unsigned keycode) {
        Display* server = display();
        std::array<char, 32> keys{}; // a bit a keycode, 0 to 255
        if (server == nullptr || keycode > 255 || XQueryKeymap(server, keys.data()) == 0) {
            return false;
        }
        return (static_cast<unsigned char>(keys[keycode / 8]) >> (keycode % 8) & 1U) != 0;
    };
}

} // namespace veltrane::widgets
