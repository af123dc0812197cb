// The real program binary, started and used as a user would on the test's X server: keys
// and clicks through xdotool, windows found and closed the way a window manager does.
#include "MainLayout.h"
#include "QtTestSupport.h"
#include "Twips.h"
#include "X11Windows.h"

#include <QProcess>
#include <QProcessEnvironment>
#include <QScreen>
#include <gtest/gtest.h>
#include <memory>
#include <tuple>
#include <utility>
#include <vector>

namespace veltrane {
namespace {

constexpr QRgb kPureGreen = qRgb(0, 255, 0);
constexpr QRgb kPureRed = qRgb(255, 0, 0);
constexpr int kTimeoutMs = 10000;

// Runs xdotool with the arguments; true when it succeeded.
bool xdotool(const QStringList& arguments) {
    QProcess tool;
    tool.start(QStringLiteral("xdotool"), arguments);
    return tool.waitForFinished(kTimeoutMs) && tool.exitStatus() == QProcess::NormalExit &&
           tool.exitCode() == 0;
}

QProcessEnvironment environmentWithout(const QStringList& names) {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const QString& name : names) {
        environment.remove(name);
    }
    return environment;
}

class RunningProgram : public ::testing::Test {
protected:
    static void SetUpTestSuite() { test::application(); }

    void SetUp() override {
        ASSERT_TRUE(windows.connected());
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        program.setProcessEnvironment(environment);
        program.start(QStringLiteral(VELTRANE_BINARY), {});
        ASSERT_TRUE(program.waitForStarted(kTimeoutMs));
        ASSERT_TRUE(waitForWindows("Veltrane", 1));
        mainWindow = windows.find(program.processId(), "Veltrane").front();
        // The program runs on the same screen, so it lays its windows out at this DPI.
        scale =
            std::make_unique<TwipsScale>(QGuiApplication::primaryScreen()->logicalDotsPerInchX());
    }

    void TearDown() override {
        if (program.state() != QProcess::NotRunning) {
            program.kill();
            program.waitForFinished(kTimeoutMs);
        }
    }

    bool waitForWindows(const char* title, std::size_t count) {
        return test::waitFor(
            [&] { return windows.find(program.processId(), title).size() == count; }, kTimeoutMs);
    }

    unsigned long graphWindow() {
        EXPECT_TRUE(waitForWindows("Graphs", 1));
        const auto found = windows.find(program.processId(), "Graphs");
        return found.empty() ? 0 : found.front();
    }

    // Puts the graph window beside the main window so neither covers the other.
    void placeBeside(unsigned long graph) {
        const QRect main = windows.geometry(mainWindow);
        windows.move(graph, main.right() + 20, 0);
        ASSERT_TRUE(
            test::waitFor([&] { return windows.geometry(graph).x() == main.right() + 20; }));
    }

    // The centre of a main-window control from the layout table, on the screen.
    QPoint centreOf(std::string_view name) const {
        const QRect main = windows.geometry(mainWindow);
        for (const mainlayout::ControlPlacement& placement : mainlayout::kControls) {
            if (placement.name == name) {
                return main.topLeft() + QPoint(scale->edge(placement.left + placement.width / 2),
                                               scale->edge(placement.top + placement.height / 2));
            }
        }
        ADD_FAILURE() << name;
        return {};
    }

    bool click(QPoint at) {
        // No --sync: it waits for the pointer to move, forever when it is already there.
        return xdotool(
            {"mousemove", QString::number(at.x()), QString::number(at.y()), "click", "1"});
    }

    bool focus(unsigned long window) {
        return xdotool({"windowfocus", "--sync", QString::number(window)});
    }

    bool keys(const QStringList& names) { return xdotool(QStringList{"key"} + names); }

    bool typeText(const QString& text) { return xdotool({"type", text}); }

    // Types text into a field of the main window, replacing what it holds.
    void replaceField(std::string_view name, const QString& text) {
        ASSERT_TRUE(focus(mainWindow));
        ASSERT_TRUE(click(centreOf(name)));
        ASSERT_TRUE(keys({"ctrl+a"}));
        ASSERT_TRUE(typeText(text));
    }

    QImage grab(unsigned long window) {
        return QGuiApplication::primaryScreen()->grabWindow(window).toImage();
    }

    // Answers the program's message box with Enter and waits until it is gone.
    void answerMessageBox() {
        ASSERT_TRUE(waitForWindows("Veltrane", 2));
        for (const unsigned long window : windows.find(program.processId(), "Veltrane")) {
            if (window != mainWindow) {
                ASSERT_TRUE(focus(window));
                ASSERT_TRUE(keys({"Return"}));
            }
        }
        ASSERT_TRUE(waitForWindows("Veltrane", 1));
    }

    bool running() { return program.state() == QProcess::Running; }

    // Clicks the first Analyze button and waits until the graph window, placed beside the main
    // window, shows its curves; returns the window and its picture.
    std::pair<unsigned long, QImage> analyzeAndWaitForCurves() {
        EXPECT_TRUE(click(centreOf("cmd2branchs")));
        const unsigned long graph = graphWindow();
        QImage image;
        if (graph != 0) {
            placeBeside(graph);
            EXPECT_TRUE(test::waitFor([&] {
                image = grab(graph);
                return test::countPixels(image, kPureRed) > 200;
            }));
        }
        return {graph, image};
    }

    test::X11Windows windows;
    QProcess program;
    unsigned long mainWindow = 0;
    std::unique_ptr<TwipsScale> scale;
};

TEST_F(RunningProgram, StartsWithTheMainWindowAndAnalyzeOpensTheGraphWindow) {
    const QRect main = windows.geometry(mainWindow);
    EXPECT_EQ(main.size(), QSize(scale->edge(mainlayout::kClientWidthTwips),
                                 scale->edge(mainlayout::kClientHeightTwips)));
    EXPECT_TRUE(windows.find(program.processId(), "Graphs").empty());
    // Mapped is not yet painted: wait for the window's light background.
    QImage shown;
    ASSERT_TRUE(test::waitFor([&] {
        shown = grab(mainWindow);
        return qGray(shown.pixel(shown.width() - 2, shown.height() - 2)) > 128;
    }));
    EXPECT_TRUE(shown.save(test::artifactPath("program-frmMain.png")));

    const auto [graph, image] = analyzeAndWaitForCurves();
    ASSERT_NE(graph, 0U);
    EXPECT_GT(test::countPixels(image, kPureRed), 200);
    EXPECT_GT(test::countPixels(image, kPureGreen), 200);
    EXPECT_TRUE(image.save(test::artifactPath("program-frmGraph1D.png")));
    EXPECT_TRUE(running());
}

TEST_F(RunningProgram, TextThatIsNotANumberIsReportedAndTheProgramGoesOn) {
    const auto [graph, before] = analyzeAndWaitForCurves();
    ASSERT_NE(graph, 0U);
    ASSERT_GT(test::countPixels(before, kPureRed), 200);

    replaceField("txtC", "abc");
    ASSERT_TRUE(click(centreOf("cmd2branchs")));
    answerMessageBox();
    EXPECT_TRUE(running());
    ASSERT_EQ(windows.find(program.processId(), "Graphs"), std::vector<unsigned long>{graph});
    EXPECT_EQ(grab(graph), before);

    // Still working: a good value draws again.
    replaceField("txtC", "0.3");
    ASSERT_TRUE(click(centreOf("cmd2branchs")));
    EXPECT_TRUE(waitForWindows("Graphs", 1));
    EXPECT_TRUE(waitForWindows("Veltrane", 1));
}

TEST_F(RunningProgram, TabOrderGoesFromTheFirstButtonToItsFieldAndOnToTheSecondButton) {
    ASSERT_TRUE(focus(mainWindow));
    // Focus starts on the first Analyze button; Tab reaches txtC with its text selected.
    ASSERT_TRUE(keys({"Tab"}));
    ASSERT_TRUE(typeText("1.5"));
    ASSERT_TRUE(keys({"shift+Tab", "space"}));
    answerMessageBox();
    EXPECT_TRUE(windows.find(program.processId(), "Graphs").empty());

    // From txtC, Tab goes to the second Analyze button (not to txtC1).
    ASSERT_TRUE(focus(mainWindow));
    ASSERT_TRUE(keys({"Tab", "Tab", "space"}));
    EXPECT_NE(graphWindow(), 0U);
}

TEST_F(RunningProgram, ClosingTheMainWindowFirstLeavesTheGraphWindowWorking) {
    const unsigned long graph = analyzeAndWaitForCurves().first;
    ASSERT_NE(graph, 0U);

    windows.requestClose(mainWindow);
    ASSERT_TRUE(waitForWindows("Veltrane", 0));
    EXPECT_TRUE(running());

    // The graph window still answers: its Grid box takes a click.
    const QRect area = windows.geometry(graph);
    const QImage unchecked = grab(graph);
    const QPoint grid = area.topLeft() + QPoint(scale->edge(8880 + 120), scale->edge(4080 + 127));
    ASSERT_TRUE(click(grid));
    EXPECT_TRUE(test::waitFor([&] { return grab(graph) != unchecked; }, kTimeoutMs));
    EXPECT_TRUE(running());

    windows.requestClose(graph);
    ASSERT_TRUE(program.waitForFinished(kTimeoutMs));
    EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(program.exitCode(), 0);
}

TEST_F(RunningProgram, ClosingTheGraphWindowFirstLeavesTheMainWindowWorking) {
    ASSERT_TRUE(click(centreOf("cmd2branchs")));
    const unsigned long graph = graphWindow();
    ASSERT_NE(graph, 0U);
    windows.requestClose(graph);
    ASSERT_TRUE(waitForWindows("Graphs", 0));
    EXPECT_TRUE(running());

    ASSERT_TRUE(click(centreOf("cmd3branches")));
    EXPECT_NE(graphWindow(), 0U);

    windows.requestClose(mainWindow);
    ASSERT_TRUE(waitForWindows("Veltrane", 0));
    EXPECT_TRUE(running());
    windows.requestClose(graphWindow());
    ASSERT_TRUE(program.waitForFinished(kTimeoutMs));
    EXPECT_EQ(program.exitCode(), 0);
}

TEST(ProgramStart, WithoutAUsableDisplaySaysSoInOneLineAndExitsWithStatus1) {
    // Rows: name, DISPLAY and QT_QPA_PLATFORM (none when null), what the line says. No X
    // server listens on display 4999 of this machine.
    for (const auto& [name, display, platform, says] :
         std::vector<std::tuple<const char*, const char*, const char*, const char*>>{
             {"noDisplay", nullptr, nullptr, "no display"},
             {"unreachable", ":4999", nullptr, "cannot open the display (DISPLAY=:4999"},
             {"unreachableXcb", ":4999", "xcb", "cannot open the display (DISPLAY=:4999"}}) {
        SCOPED_TRACE(name);
        QProcessEnvironment environment =
            environmentWithout({"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"});
        if (display != nullptr) {
            environment.insert("DISPLAY", display);
        }
        if (platform != nullptr) {
            environment.insert("QT_QPA_PLATFORM", platform);
        }
        QProcess program;
        program.setProcessEnvironment(environment);
        program.start(QStringLiteral(VELTRANE_BINARY), {});
        ASSERT_TRUE(program.waitForFinished(kTimeoutMs));
        EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(program.exitCode(), 1);
        const QString error = QString::fromUtf8(program.readAllStandardError());
        EXPECT_EQ(error.count(QLatin1Char('\n')), 1) << error.toStdString();
        EXPECT_TRUE(error.endsWith(QLatin1Char('\n')));
        EXPECT_TRUE(error.contains(says)) << error.toStdString();
        EXPECT_TRUE(program.readAllStandardOutput().isEmpty());
    }
}

TEST(ProgramStart, CommandLineNeedsNoDisplay) {
    QProcess program;
    program.setProcessEnvironment(
        environmentWithout({"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}));
    program.start(QStringLiteral(VELTRANE_BINARY), {"spectrum", "0.3"});
    ASSERT_TRUE(program.waitForFinished(kTimeoutMs));
    EXPECT_EQ(program.exitCode(), 0);
    const QByteArray csv = program.readAllStandardOutput();
    EXPECT_EQ(csv.count('\n'), 102) << csv.toStdString(); // header and 101 points
}

} // namespace
} // namespace veltrane
