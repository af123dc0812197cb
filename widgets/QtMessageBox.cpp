#include <QApplication>
#include <QIcon>
#include <QMessageBox>
#include <QPushButton>
#include <veltrane/widgets/ButtonKeys.h>
#include <veltrane/widgets/QtMessageBox.h>

namespace veltrane::widgets {

void QtMessageBox::showMessage(const std::string& text) {
    // Without a parent of its own the box goes over the window the user is working in, such
    // as the graph window whose Print button failed.
    QWidget* parent = m_parent ? m_parent.data() : QApplication::activeWindow();
    QMessageBox box(QMessageBox::NoIcon, QString::fromLatin1(kMessageBoxCaption),
                    QString::fromStdString(text), QMessageBox::Ok, parent);
    // The text is shown as typed, never read as markup; and the box has no picture anywhere,
    // not even the style's icon on its button.
    box.setTextFormat(Qt::PlainText);
    box.button(QMessageBox::Ok)->setIcon(QIcon());
    // Enter answers it once a press, as on the windows' buttons: the repeats of an Enter held
    // on the button that opened the box do not close it unseen.
    clickOnEnter(*box.button(QMessageBox::Ok));
    box.exec();
}

} // namespace veltrane::widgets
