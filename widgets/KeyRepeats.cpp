#include "X11Keyboard.h"

#include <QApplication>
#include <QKeyEvent>
#include <QWindow>
#include <veltrane/widgets/KeyRepeats.h>

namespace veltrane::widgets {

KeyRepeats::KeyRepeats(QApplication& app) : m_app(app) {
    if (sendRepeatsAsPressesAlone()) {
        m_isDown = keyDownQuery();
    }
    // Without presses alone a release may be a repeat's; every release then ends the key's
    // press, and the repeats are marked as Qt marks them. A key released while no window of
    // the program had the focus (a dialog that closed on the press, another program's window)
    // sent its release elsewhere: the server says so when the focus comes back.
    connect(&app, &QGuiApplication::focusWindowChanged, this, [this] { forgetReleasedKeys(); });
    app.installEventFilter(this);
}

KeyRepeats::~KeyRepeats() {
    m_app.removeEventFilter(this);
}

bool KeyRepeats::isRepeat(unsigned code, unsigned long time) {
    const auto [held, first] = m_held.try_emplace(code, Held{time, false});
    // The same press reaches the filter more than once (as a shortcut's question, then at the
    // window and its widgets); a later one of a key still down is a repeat.
    if (!first && held->second.lastPress != time) {
        held->second = Held{time, true};
    }
    return held->second.repeat;
}

void KeyRepeats::forgetReleasedKeys() {
    if (!m_isDown) {
        return;
    }
    std::erase_if(m_held, [this](const auto& held) { return !m_isDown(held.first); });
}

bool KeyRepeats::eventFilter(QObject* receiver, QEvent* event) {
    const QEvent::Type type = event->type();
    if (type != QEvent::KeyPress && type != QEvent::KeyRelease &&
        type != QEvent::ShortcutOverride) {
        return false;
    }
    const auto& key = static_cast<const QKeyEvent&>(*event);
    const unsigned code = key.nativeScanCode();
    if (code == 0 || key.isAutoRepeat()) {
        return false; // made by a program, or marked already
    }
    if (type == QEvent::KeyRelease) {
        if (m_isDown) {
            m_held.erase(code);
        }
        return false;
    }
    if (!m_isDown || !isRepeat(code, key.timestamp())) {
        return false;
    }
    event->accept();
    if (type == QEvent::ShortcutOverride) {
        return true; // taken by the focused widget, so that no shortcut fires on a repeat
    }
    QKeyEvent repeat(QEvent::KeyPress, key.key(), key.modifiers(), key.nativeScanCode(),
                     key.nativeVirtualKey(), key.nativeModifiers(), key.text(), true,
                     static_cast<quint16>(key.count()), key.device());
    repeat.setTimestamp(key.timestamp());
    QCoreApplication::sendEvent(receiver, &repeat);
    return true;
}

} // namespace veltrane::widgets
