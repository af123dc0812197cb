#include <QAbstractButton>
#include <QKeyEvent>
#include <utility>
#include <veltrane/widgets/ButtonKeys.h>

namespace veltrane::widgets {

namespace {

bool isEnter(const QKeyEvent& key) {
    return key.key() == Qt::Key_Return || key.key() == Qt::Key_Enter;
}

// Enter works as Qt's buttons work Space: the press pushes the button down, the release
// clicks it, and the presses a held key repeats do nothing. Clicking at the release also
// keeps a message box that the click opens from taking the repeats of the same press as its
// own answer.
class EnterClicks : public QObject {
public:
    explicit EnterClicks(QAbstractButton& button) : QObject(&button), m_button(button) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        const bool press = event->type() == QEvent::KeyPress;
        if (!press && event->type() != QEvent::KeyRelease) {
            return QObject::eventFilter(watched, event);
        }
        const auto& key = static_cast<const QKeyEvent&>(*event);
        if (!isEnter(key)) {
            return QObject::eventFilter(watched, event);
        }
        if (!key.isAutoRepeat()) {
            press ? pushDown() : release();
        }
        return true;
    }

private:
    void pushDown() {
        m_pressed = true;
        m_button.setDown(true);
    }

    // Only a press this button saw clicks it: Enter that closed a message box over it ends
    // here as a lone release.
    void release() {
        if (std::exchange(m_pressed, false) && m_button.isDown()) {
            m_button.setDown(false);
            m_button.click();
        }
    }

    QAbstractButton& m_button;
    bool m_pressed = false;
};

} // namespace

void clickOnEnter(QAbstractButton& button) {
    button.installEventFilter(new EnterClicks(button));
}

} // namespace veltrane::widgets
