#include <QAction>
#include <QApplication>
#include <QWidget>
#include <veltrane/widgets/WindowKeys.h>

namespace veltrane::widgets {

void addWindowKeys(QWidget& window) {
    auto* close = new QAction(&window);
    close->setShortcuts(QKeySequence::Close);
    QObject::connect(close, &QAction::triggered, &window, &QWidget::close);
    window.addAction(close);
    // Closing every window rather than leaving the event loop gives each window its close
    // event, as closing them by hand does; the last one closed ends the program.
    auto* quit = new QAction(&window);
    quit->setShortcuts(QKeySequence::Quit);
    QObject::connect(quit, &QAction::triggered, &window, [] { QApplication::closeAllWindows(); });
    window.addAction(quit);
}

} // namespace veltrane::widgets
