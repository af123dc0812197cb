#include "StartUp.h"

#include <QApplication>
#include <QIcon>

namespace veltrane {

Program::Program(Module1& store)
    : m_host(store, m_printer, m_graphMessages), m_presenter(m_host), m_main(store, m_presenter) {}

void Program::show() {
    m_main.show();
}

int runGui(int& argc, char** argv) {
    const QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Veltrane"));
    // Lets a Wayland compositor match the windows to veltrane.desktop and its icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("veltrane"));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/veltrane/veltrane.svg")));
    // Either window may be the last one open: closing it ends the program.
    QApplication::setQuitOnLastWindowClosed(true);

    Program program(module1());
    program.show();
    return QApplication::exec();
}

} // namespace veltrane
