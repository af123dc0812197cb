#pragma once

// What the window tests share: answering message boxes, and pictures compared with approved
// ones.
#include <QFileDialog>
#include <QImage>
#include <QMessageBox>
#include <QString>
#include <QTimer>
#include <functional>
#include <string>
#include <vector>

namespace veltrane::test {

// What a message box showed before it was answered.
struct SeenBox {
    QString title;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    int buttons = 0;
    bool plainText = true;      // the text shown as given, never as markup
    bool alert = true;          // announced to screen readers as an alert
    bool buttonPicture = false; // an icon on its button
    friend bool operator==(const SeenBox&, const SeenBox&) = default;
};

// While alive, answers every modal message box with its first button and keeps what it
// showed; a file dialog goes to fileDialog when one is set, which must end it; any other modal
// window is closed and counted, so that no test can hang on one.
class ModalAnswerer {
public:
    ModalAnswerer();
    std::vector<SeenBox> seen;
    int others = 0;
    std::function<void(QFileDialog&)> fileDialog;

private:
    QTimer m_timer;
    bool m_answering = false; // a file dialog's answer that turns the event loop is not
                              // started again meanwhile; message boxes still are answered
};

// Compares a picture with the approved PNG tests/data/windows/<name>.png (written when
// approving): equal size, and at most a few pixels in ten thousand visibly different.
void expectLooksLike(const QImage& picture, const std::string& name);

} // namespace veltrane::test
