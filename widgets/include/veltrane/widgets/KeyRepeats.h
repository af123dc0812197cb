#pragma once

#include <QObject>
#include <functional>
#include <map>

class QApplication;

namespace veltrane::widgets {

// Tells the presses of a key from the repeats of a held key, for every window of the
// application, and hands a repeat on marked as one (QKeyEvent::isAutoRepeat()), so that a
// button takes one click a press and a shortcut fires once a press, whichever window has the
// focus while the key is held.
//
// Needed on X11, where Qt marks no repeat: the server sends each as a release and a press.
// There the server is asked to send the repeats as presses alone, so that a release is a
// release; a press of a key already down is then a repeat. Keys released while no window of
// the application had the focus are forgotten when one has it again. Events that a program
// made (no native scan code, such as those of QTest) are left as they are.
class KeyRepeats : public QObject {
public:
    // Watches app's key events for as long as this lives.
    explicit KeyRepeats(QApplication& app);
    ~KeyRepeats() override;
    KeyRepeats(const KeyRepeats&) = delete;
    KeyRepeats& operator=(const KeyRepeats&) = delete;

protected:
    bool eventFilter(QObject* receiver, QEvent* event) override;

private:
    struct Held {
        unsigned long lastPress = 0; // its time, in ms of the window system's clock
        bool repeat = false;         // whether that press was a repeat
    };

    bool isRepeat(unsigned code, unsigned long time);
    void forgetReleasedKeys();

    QApplication& m_app;
    std::map<unsigned, Held> m_held; // by native scan code
    std::function<bool(unsigned)> m_isDown;
};

} // namespace veltrane::widgets
