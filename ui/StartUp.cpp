#include <QApplication>
#include <QIcon>
#include <cstdio>
#include <cstdlib>
#include <veltrane/internal/text.h>
#include <veltrane/process/ExitStatus.h>
#include <veltrane/text.h>
#include <veltrane/ui/StartUp.h>
#include <veltrane/widgets/KeyRepeats.h>

namespace veltrane::ui {
using namespace veltrane::classic;
using namespace veltrane::graph;

namespace {

// Qt ends the process with a fatal message when its platform plugin cannot open the display
// the environment names (a DISPLAY with no X server behind it, say). While the application
// object is created, that becomes one line and exit status 1; the plugin's own warnings
// leading up to it are dropped, and any other message is written as Qt would write it.
void messageWhileOpeningDisplay(QtMsgType type, const QMessageLogContext& context,
                                const QString& message) {
    if (type == QtFatalMsg) {
        const char* x11 = std::getenv("DISPLAY");
        const char* wayland = std::getenv("WAYLAND_DISPLAY");
        std::fprintf(stderr,
                     "veltrane: cannot open the display (DISPLAY=%s, WAYLAND_DISPLAY=%s); start "
                     "it in a desktop session, or use \"veltrane spectrum\" for the command "
                     "line\n",
                     x11 ? x11 : "", wayland ? wayland : "");
        std::_Exit(1);
    }
    if (QByteArrayView(context.category).startsWith("qt.qpa")) {
        return;
    }
    std::fprintf(stderr, "%s\n", qPrintable(qFormatLogMessage(type, context, message)));
}

} // namespace

void GraphWindowPresenter::show_spectrum(const AnalysisOutcome& outcome) {
    std::string name = "spectrum";
    for (const float b : outcome.breakPoints) {
        name += "-" + shortest(b);
    }
    m_host.setPictureName(name);
    m_host.show_spectrum();
}

Program::Program(Module1& store)
    : m_host(store, {m_printer, m_graphMessages, &m_pictures}), m_presenter(m_host),
      m_main(store, m_presenter) {}

void Program::show() {
    m_main.show();
}

int runGui(int& argc, char** argv) {
    qInstallMessageHandler(messageWhileOpeningDisplay);
    QApplication app(argc, argv);
    qInstallMessageHandler(nullptr);
    // Qt has taken its own options; any word left is not for the windows.
    if (argc > 1) {
        std::fprintf(stderr, "veltrane: unknown command %s\n", internal::elided(argv[1]).c_str());
        return veltrane::process::kExitUsage;
    }
    QApplication::setApplicationName(QStringLiteral("Veltrane"));
    // Lets a Wayland compositor match the windows to org.veltrane.veltrane.desktop and its icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("org.veltrane.veltrane"));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/veltrane/veltrane.svg")));
    // Either window may be the last one open: closing it ends the program.
    QApplication::setQuitOnLastWindowClosed(true);
    // A held key clicks a button once, and opens at most one message box, however long it is
    // held and whichever window has the focus meanwhile.
    const widgets::KeyRepeats repeats(app);

    // The graph data store the two windows share, from start to end of the program.
    Module1 store;
    Program program(store);
    program.show();
    return QApplication::exec();
}

} // namespace veltrane::ui
