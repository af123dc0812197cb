// The program itself on the test's X server, used from outside with the keyboard and a window
// manager's close button, beside a print scheduler of its own (tests/ui/with-private-cups):
// it starts with its main window, Analyze opens the graph window, Print puts that window on
// the default printer, and the program ends with status 0 when the last of its windows
// closes, whichever that is, the other one working on until then.
#include "QtSupport.h"
#include "TestSupport.h"

#include <QDir>
#include <QGuiApplication>
#include <QProcess>
#include <QScreen>
#include <QTest>
#include <gtest/gtest.h>

// Xlib's macros (None, Status) would break GoogleTest's headers above them.
#include <X11/Xlib.h>

namespace veltrane {
namespace {

bool xdotool(const QStringList& arguments, QString* output = nullptr) {
    QProcess tool;
    tool.start(QStringLiteral("xdotool"), arguments);
    const bool done = tool.waitForFinished(10000) && tool.exitCode() == 0;
    if (output != nullptr) {
        *output = QString::fromLatin1(tool.readAllStandardOutput()).trimmed();
    }
    return done;
}

// The program's one shown window of this title, or 0 when it is not there within the time.
unsigned long window(const QProcess& program, const QString& title, int timeoutMs = 5000) {
    const QStringList search{
        "search", "--all",          "--onlyvisible", "--pid", QString::number(program.processId()),
        "--name", "^" + title + "$"};
    QString found;
    const bool one = QTest::qWaitFor(
        [&] { return xdotool(search, &found) && !found.contains('\n'); }, timeoutMs);
    return one ? found.toULong() : 0;
}

bool gone(const QProcess& program, const QString& title) {
    return QTest::qWaitFor([&] { return window(program, title, 0) == 0; });
}

// What a window manager sends when the user clicks a window's close button.
void requestClose(unsigned long window) {
    Display* display = XOpenDisplay(nullptr);
    ASSERT_NE(display, nullptr);
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = static_cast<long>(XInternAtom(display, "WM_DELETE_WINDOW", False));
    XSendEvent(display, window, False, NoEventMask, &event);
    XCloseDisplay(display);
}

// The printed page as a picture, once the PDF queue has written it whole.
QImage printedPage(const QString& folder) {
    QString pdf;
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            QFile file(QDir(folder).filePath(QDir(folder).entryList({"*.pdf"}).value(0)));
            pdf = file.fileName();
            return file.open(QIODevice::ReadOnly) && file.readAll().trimmed().endsWith("%%EOF");
        },
        60000));
    QProcess raster;
    raster.start("pdftoppm", {"-r", "50", "-png", "-singlefile", pdf, folder + "/page"});
    raster.waitForFinished(60000);
    return QImage(folder + "/page.png");
}

TEST(Program, EndsWhenItsLastWindowClosesWhicheverThatIs) {
    for (const bool mainFirst : {true, false}) {
        SCOPED_TRACE(mainFirst ? "main window first" : "graph window first");
        QProcess program;
        program.start(QStringLiteral(VELTRANE_BINARY), {});
        const unsigned long main = window(program, "Veltrane");
        ASSERT_NE(main, 0U);
        // The focus starts on the first Analyze button. A window just mapped may not take keys
        // yet, so Space is pressed until the graph window comes.
        unsigned long graph = 0;
        for (int attempt = 0; attempt < 10 && graph == 0; ++attempt) {
            ASSERT_TRUE(xdotool({"windowfocus", "--sync", QString::number(main)}));
            ASSERT_TRUE(xdotool({"key", "space"}));
            graph = window(program, "Graphs", 500);
        }
        ASSERT_NE(graph, 0U);
        ASSERT_TRUE(xdotool({"windowmove", "--sync", QString::number(graph), "500", "0"}));
        QTest::qWait(300);
        QGuiApplication::primaryScreen()->grabWindow(0).save(VELTRANE_BUILD_DIR
                                                             "/artifacts/program.png");

        requestClose(mainFirst ? main : graph);
        ASSERT_TRUE(gone(program, mainFirst ? "Veltrane" : "Graphs"));
        EXPECT_EQ(program.state(), QProcess::Running);
        const QString printed = qEnvironmentVariable("VELTRANE_PRINT_OUT");
        if (mainFirst && !printed.isEmpty()) {
            // The graph window works on: Tab past its Grid box to Print, and Space prints.
            ASSERT_TRUE(xdotool({"windowfocus", "--sync", QString::number(graph)}));
            ASSERT_TRUE(xdotool({"key", "Tab", "Tab", "space"}));
            // The window's picture fills the page along its long side, in landscape.
            test::expectLooksLike(printedPage(printed), "printed-page");
        }
        requestClose(mainFirst ? graph : main);
        ASSERT_TRUE(program.waitForFinished(10000));
        EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(program.exitCode(), 0);
    }
}

} // namespace
} // namespace veltrane
