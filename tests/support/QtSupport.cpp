#include "QtSupport.h"

#include "TestSupport.h"

#include <QAbstractButton>
#include <QAccessible>
#include <QApplication>
#include <gtest/gtest.h>

namespace veltrane::test {

ModalAnswerer::ModalAnswerer() {
    QObject::connect(&m_timer, &QTimer::timeout, [this] {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal == nullptr || !modal->isVisible()) {
            return;
        }
        auto* files = qobject_cast<QFileDialog*>(modal);
        if (files != nullptr && fileDialog) {
            if (!m_answering) {
                m_answering = true;
                fileDialog(*files);
                m_answering = false;
            }
            return;
        }
        auto* box = qobject_cast<QMessageBox*>(modal);
        if (box == nullptr || box->buttons().isEmpty()) {
            ++others;
            modal->close();
            return;
        }
        seen.push_back(
            {box->windowTitle(), box->text(), box->icon(), static_cast<int>(box->buttons().size()),
             box->textFormat() == Qt::PlainText,
             QAccessible::queryAccessibleInterface(box)->role() == QAccessible::AlertMessage,
             !box->buttons().first()->icon().isNull()});
        box->buttons().first()->click();
    });
    m_timer.start(5);
}

void expectLooksLike(const QImage& picture, const std::string& name) {
    const QString path = QString::fromStdString(dataPath("windows/" + name + ".png").string());
    const QImage shown = picture.convertToFormat(QImage::Format_RGB32);
    if (approving()) {
        EXPECT_TRUE(shown.save(path));
        return;
    }
    const QImage approved = QImage(path).convertToFormat(QImage::Format_RGB32);
    ASSERT_EQ(shown.size(), approved.size()) << name;
    int different = 0;
    for (int y = 0; y < shown.height(); ++y) {
        for (int x = 0; x < shown.width(); ++x) {
            const QRgb a = shown.pixel(x, y);
            const QRgb b = approved.pixel(x, y);
            different += std::abs(qRed(a) - qRed(b)) + std::abs(qGreen(a) - qGreen(b)) +
                             std::abs(qBlue(a) - qBlue(b)) >
                         96;
        }
    }
    if (different * 10000 > shown.width() * shown.height() * 2) {
        const QString seen = QStringLiteral(VELTRANE_BUILD_DIR "/artifacts/") +
                             QString::fromStdString(name) + ".png";
        shown.save(seen);
        ADD_FAILURE() << name << ": " << different << " pixels differ; see " << seen.toStdString();
    }
}

} // namespace veltrane::test
