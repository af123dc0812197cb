// The program itself on the test's X server, used from outside with the keyboard and a window
// manager's close button, beside a print scheduler of its own (tests/ui/with-private-cups):
// it starts with its main window, Analyze opens the graph window, whose picture can be saved,
// copied and printed, and the program ends with status 0 when the last of its windows closes,
// whichever that is, or on Quit.
#include "QtSupport.h"
#include "TestSupport.h"
#include "X11Windows.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QProcess>
#include <QScreen>
#include <QTest>
#include <gtest/gtest.h>
#include <set>
#include <vector>

namespace veltrane {
namespace {

using test::xdotool;

// The program's one shown window of this title, or 0 when it is not there within the time.
unsigned long window(const QProcess& program, const QString& title, int timeoutMs = 10000) {
    const QStringList search{
        "search", "--all",          "--onlyvisible", "--pid", QString::number(program.processId()),
        "--name", "^" + title + "$"};
    QString found;
    const bool one = QTest::qWaitFor(
        [&] { return xdotool(search, &found) && !found.contains('\n'); }, timeoutMs);
    return one ? found.toULong() : 0;
}

bool gone(const QProcess& program, const QString& title) {
    return QTest::qWaitFor([&] { return window(program, title, 0) == 0; }, 10000);
}

// What a window manager sends when the user clicks a window's close button.
void requestClose(unsigned long window) {
    const test::X11Windows windows;
    ASSERT_TRUE(windows.connected());
    windows.requestClose(window);
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

// Keys for the window after it has had time to take them: a window just mapped may not.
bool keysTo(unsigned long window, const QStringList& keys) {
    const bool focused = xdotool({"windowfocus", "--sync", QString::number(window)});
    QTest::qWait(200);
    return focused && xdotool(QStringList{"key", "--delay", "20"} + keys);
}

bool typeText(const QString& text) {
    return xdotool({"type", "--delay", "10", text});
}

// Types the file's name into the Save picture dialog, in place of the name it offers.
bool answerSaveDialog(const QProcess& program, const QString& file) {
    const unsigned long dialog = window(program, "Save picture");
    return dialog != 0 && keysTo(dialog, {"ctrl+a"}) && typeText(file) &&
           xdotool({"key", "Return"}) && gone(program, "Save picture");
}

QByteArray fileBytes(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QByteArray clipboard(const char* type) {
    QProcess xclip;
    xclip.start("xclip", {"-o", "-selection", "clipboard", "-t", type});
    xclip.waitForFinished(10000);
    return xclip.readAllStandardOutput();
}

// With the keyboard alone: Tab to C, a value, back to its Analyze button and Enter; then the
// graph window's shortcuts: save, copy, a save that cannot be written, Print through Tab and
// Enter; Close in the main window, and Quit in the graph window.
TEST(Program, IsUsedWithTheKeyboardAlone) {
    const test::TempDir folder;
    // The name Save picture offers, in the working folder at first.
    const QString saved = QString::fromStdString((folder.path() / "spectrum-0.7.png").string());
    QProcess program;
    program.setWorkingDirectory(QString::fromStdString(folder.path().string()));
    program.start(QStringLiteral(VELTRANE_BINARY), {});
    const unsigned long main = window(program, "Veltrane");
    ASSERT_NE(main, 0U);
    ASSERT_TRUE(keysTo(main, {"Tab"}) && typeText("0.7") &&
                xdotool({"key", "shift+Tab", "Return"}));
    const unsigned long graph = window(program, "Graphs");
    ASSERT_NE(graph, 0U);

    ASSERT_TRUE(keysTo(graph, {"ctrl+s"}));
    const unsigned long dialog = window(program, "Save picture");
    ASSERT_TRUE(dialog != 0 && keysTo(dialog, {"Return"}) && gone(program, "Save picture"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return QFile::exists(saved); }, 10000));
    ASSERT_EQ(
        test::runProgram("veltrane spectrum 0.7 --plot plotted.png", {}, folder.path()).status, 0);
    EXPECT_EQ(fileBytes(saved),
              fileBytes(QString::fromStdString((folder.path() / "plotted.png").string())));

    ASSERT_TRUE(keysTo(graph, {"ctrl+c"}));
    const QImage copied = QImage::fromData(clipboard("image/png"), "PNG");
    EXPECT_EQ(copied.size(),
              QSize(753, 497) * QGuiApplication::primaryScreen()->devicePixelRatio());
    EXPECT_TRUE(clipboard("image/svg+xml").contains("<svg"));

    // A file that cannot be written is reported in a message box; nothing is left.
    ASSERT_TRUE(keysTo(graph, {"ctrl+s"}));
    ASSERT_TRUE(answerSaveDialog(program, "/sys/veltrane.png"));
    QString boxes;
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            return xdotool({"search", "--all", "--onlyvisible", "--pid",
                            QString::number(program.processId()), "--name", "^Veltrane$"},
                           &boxes) &&
                   boxes.count('\n') == 1;
        },
        10000));
    ASSERT_TRUE(keysTo(boxes.split('\n').last().toULong(), {"Return"}));
    EXPECT_FALSE(QFile::exists("/sys/veltrane.png"));

    const QString printed = qEnvironmentVariable("VELTRANE_PRINT_OUT");
    if (!printed.isEmpty()) {
        // Tab past the Grid box to Print, and Enter prints.
        ASSERT_TRUE(keysTo(graph, {"Tab", "Tab", "Return"}));
        // The window's picture fills the page along its long side, in landscape.
        test::expectLooksLike(printedPage(printed), "printed-page");
    }
    // Close in the main window closes that one, and the program goes on in the graph window
    // until Quit there.
    ASSERT_TRUE(keysTo(main, {"ctrl+w"}));
    ASSERT_TRUE(gone(program, "Veltrane"));
    EXPECT_EQ(program.state(), QProcess::Running);
    ASSERT_TRUE(keysTo(graph, {"ctrl+q"}));
    ASSERT_TRUE(program.waitForFinished(10000));
    EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(program.exitCode(), 0);
}

// The message boxes of the program open now: its windows titled as the main window, but that.
std::vector<unsigned long> openBoxes(const test::X11Windows& windows, const QProcess& program,
                                     unsigned long main) {
    std::vector<unsigned long> boxes = windows.find(program.processId(), "Veltrane");
    std::erase(boxes, main);
    return boxes;
}

// Where the focus goes while a key is held: back to the graph window whenever no box is open,
// as a window manager hands it back when a box closes, and with a detour for a while to the
// main window.
struct Focus {
    unsigned long graph = 0;
    unsigned long main = 0;
    bool detour = false;
};

// Holds key down for 0.8 s, the X server repeating it (after 300 ms, every 30 ms, as the tests'
// server is started: some 16 repeats), moving the focus as focus says; then lets it go. Returns
// every box seen open while the key was down.
std::set<unsigned long> holdKey(const QString& key, const test::X11Windows& windows,
                                const QProcess& program, const Focus& focus) {
    std::set<unsigned long> seen;
    QElapsedTimer held;
    EXPECT_TRUE(xdotool({"keydown", key}));
    held.start();
    while (held.elapsed() < 800) {
        const std::vector<unsigned long> boxes = openBoxes(windows, program, focus.main);
        seen.insert(boxes.begin(), boxes.end());
        const bool toMain = focus.detour && held.elapsed() > 400 && held.elapsed() < 650;
        if (boxes.empty()) {
            xdotool({"windowfocus", QString::number(toMain ? focus.main : focus.graph)});
        }
        QTest::qWait(10);
    }
    EXPECT_TRUE(xdotool({"keyup", key}));
    return seen;
}

// The one box open, once there is one, or 0.
unsigned long oneBox(const test::X11Windows& windows, const QProcess& program, unsigned long main) {
    std::vector<unsigned long> boxes;
    if (!QTest::qWaitFor([&] { return !openBoxes(windows, program, main).empty(); }, 5000)) {
        return 0;
    }
    QTest::qWait(500); // time for a second one to show
    boxes = openBoxes(windows, program, main);
    return boxes.size() == 1 ? boxes.front() : 0;
}

// Enter and Space held on Print, with the X server's own repeats and the focus handed back to
// the graph window, open one box, at the release: Print without a printer opens one. Held on
// the box's OK, they close it once, at the release, and open nothing. With the focus taken to
// the main window while held, where a repeat reaching Analyze, whose C is refused, would open
// a box, they open none while held and at most one at the release.
class AHeldKey : public testing::TestWithParam<const char*> {};

TEST_P(AHeldKey, OpensOneBoxAPress) {
    const QString key = QString::fromLatin1(GetParam());
    const test::X11Windows windows;
    ASSERT_TRUE(windows.connected());
    QProcess program;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("CUPS_SERVER", "/nonexistent/cups.sock");
    program.setProcessEnvironment(environment);
    program.start(QStringLiteral(VELTRANE_BINARY), {});
    Focus focus;
    focus.main = window(program, "Veltrane");
    ASSERT_NE(focus.main, 0U);
    ASSERT_TRUE(keysTo(focus.main, {"Tab"}) && typeText("0.3") &&
                xdotool({"key", "shift+Tab", "Return"}));
    focus.graph = window(program, "Graphs");
    ASSERT_NE(focus.graph, 0U);
    ASSERT_TRUE(xdotool({"windowmove", "--sync", QString::number(focus.graph), "500", "0"}));
    ASSERT_TRUE(keysTo(focus.main, {"Tab", "ctrl+a"}) && typeText("2") &&
                xdotool({"key", "shift+Tab"}));
    ASSERT_TRUE(keysTo(focus.graph, {"Tab", "Tab"})); // past the Grid box to Print
    EXPECT_EQ(holdKey(key, windows, program, focus).size(), 0U) << "boxes while held";
    const unsigned long box = oneBox(windows, program, focus.main);
    ASSERT_NE(box, 0U) << "not one box at the release";
    if (key == "Return") {
        QGuiApplication::primaryScreen()->grabWindow(0).save(VELTRANE_BUILD_DIR
                                                             "/artifacts/held-key.png");
    }
    ASSERT_TRUE(xdotool({"windowfocus", "--sync", QString::number(box)}));
    EXPECT_EQ(holdKey(key, windows, program, focus), std::set<unsigned long>{box});
    EXPECT_TRUE(
        QTest::qWaitFor([&] { return openBoxes(windows, program, focus.main).empty(); }, 5000));
    QTest::qWait(500);
    EXPECT_EQ(openBoxes(windows, program, focus.main).size(), 0U) << "a box after the box";
    ASSERT_TRUE(xdotool({"windowfocus", "--sync", QString::number(focus.graph)}));
    focus.detour = true;
    EXPECT_EQ(holdKey(key, windows, program, focus).size(), 0U) << "boxes while held";
    focus.detour = false;
    QTest::qWait(500);
    const std::vector<unsigned long> after = openBoxes(windows, program, focus.main);
    EXPECT_LE(after.size(), 1U);
    if (!after.empty()) {
        ASSERT_TRUE(keysTo(after.front(), {"Escape"}));
    }
    ASSERT_TRUE(xdotool({"windowfocus", "--sync", QString::number(focus.graph)}));
    ASSERT_TRUE(keysTo(focus.graph, {"ctrl+q"}));
    ASSERT_TRUE(program.waitForFinished(10000));
    EXPECT_EQ(program.exitCode(), 0);
}

INSTANTIATE_TEST_SUITE_P(EnterAndSpace, AHeldKey, testing::Values("Return", "space"));

TEST(Program, EndsWhenItsLastWindowClosesWhicheverThatIs) {
    for (const bool mainFirst : {true, false}) {
        SCOPED_TRACE(mainFirst ? "main window first" : "graph window first");
        QProcess program;
        program.start(QStringLiteral(VELTRANE_BINARY), {});
        const unsigned long main = window(program, "Veltrane");
        ASSERT_NE(main, 0U);
        // The focus starts on the first Analyze button.
        ASSERT_TRUE(keysTo(main, {"space"}));
        const unsigned long graph = window(program, "Graphs");
        ASSERT_NE(graph, 0U);
        ASSERT_TRUE(xdotool({"windowmove", "--sync", QString::number(graph), "500", "0"}));
        QTest::qWait(300);
        QGuiApplication::primaryScreen()->grabWindow(0).save(VELTRANE_BUILD_DIR
                                                             "/artifacts/program.png");
        requestClose(mainFirst ? main : graph);
        ASSERT_TRUE(gone(program, mainFirst ? "Veltrane" : "Graphs"));
        EXPECT_EQ(program.state(), QProcess::Running);
        requestClose(mainFirst ? graph : main);
        ASSERT_TRUE(program.waitForFinished(10000));
        EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(program.exitCode(), 0);
    }
}

// The keys in the other order than the keyboard walk: Close in the graph window, which leaves
// the main window, then Quit there.
TEST(Program, ClosesAndQuitsWithTheKeysFromEitherWindow) {
    QProcess program;
    program.start(QStringLiteral(VELTRANE_BINARY), {});
    const unsigned long main = window(program, "Veltrane");
    ASSERT_NE(main, 0U);
    ASSERT_TRUE(keysTo(main, {"space"}));
    const unsigned long graph = window(program, "Graphs");
    ASSERT_NE(graph, 0U);
    ASSERT_TRUE(keysTo(graph, {"ctrl+w"}));
    ASSERT_TRUE(gone(program, "Graphs"));
    EXPECT_EQ(program.state(), QProcess::Running);
    ASSERT_TRUE(keysTo(main, {"ctrl+q"}));
    ASSERT_TRUE(program.waitForFinished(10000));
    EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(program.exitCode(), 0);
}

} // namespace
} // namespace veltrane
