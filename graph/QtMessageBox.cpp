#include "QtMessageBox.h"

#include <QMessageBox>

namespace veltrane {

void QtMessageBox::showMessage(const std::string& text) {
    QMessageBox box(QMessageBox::NoIcon, QString::fromLatin1(kMessageBoxCaption),
                    QString::fromStdString(text), QMessageBox::Ok, m_parent.data());
    box.exec();
}

} // namespace veltrane
