#include "ButtonKeys.h"

#include <QAbstractButton>
#include <QKeyEvent>

namespace veltrane {

namespace {

class EnterClicks : public QObject {
public:
    explicit EnterClicks(QAbstractButton& button) : QObject(&button), m_button(button) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::KeyPress) {
            const int key = static_cast<QKeyEvent*>(event)->key();
            if (key == Qt::Key_Return || key == Qt::Key_Enter) {
                m_button.click();
                return true;
            }
        }
        return QObject::eventFilter(watched, event);
    }

private:
    QAbstractButton& m_button;
};

} // namespace

void clickOnEnter(QAbstractButton& button) {
    button.installEventFilter(new EnterClicks(button));
}

} // namespace veltrane
