// The program's own windows wired together as at start (real graph window, real message
// boxes), on the real X11 platform: the road from the fields to the drawn diagram.
#include "MainLayout.h"
#include "QtTestSupport.h"
#include "StartUp.h"
#include "ThreeBranch.h"
#include "TwoBranch.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <vector>

namespace veltrane {
namespace {

constexpr QRgb kPureGreen = qRgb(0, 255, 0);
constexpr QRgb kPureRed = qRgb(255, 0, 0);

class NoMessages : public MessageSink {
public:
    void showMessage(const std::string& text) override { ADD_FAILURE() << text; }
};

QWidget* graphWindow() {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (widget->objectName() == "frmGraph1D" && widget->isVisible()) {
            return widget;
        }
    }
    return nullptr;
}

int graphWindowCount() {
    int count = 0;
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        count += widget->objectName() == "frmGraph1D" ? 1 : 0;
    }
    return count;
}

QString labelText(QWidget* window, const char* name) {
    const auto* label = window->findChild<QLabel*>(name);
    EXPECT_NE(label, nullptr) << name;
    return label != nullptr ? label->text() : QString();
}

class ProgramWindows : public ::testing::Test {
protected:
    static void SetUpTestSuite() { test::application(); }

    void SetUp() override {
        program = std::make_unique<Program>(store);
        program->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&program->mainWindow()));
    }

    void TearDown() override {
        // The graph window has no owner; close it so the next test starts without one.
        if (QWidget* graph = graphWindow()) {
            graph->close();
        }
        ASSERT_TRUE(test::waitFor([] { return graphWindowCount() == 0; }));
        program.reset();
    }

    frmMain& main() { return program->mainWindow(); }
    QLineEdit* field(const char* name) { return main().findChild<QLineEdit*>(name); }

    void setText(const char* name, const QString& text) {
        field(name)->setFocus();
        field(name)->selectAll();
        QTest::keyClicks(field(name), text);
    }

    void click(const char* button) {
        QTest::mouseClick(main().findChild<QPushButton*>(button), Qt::LeftButton);
    }

    // The graph window after it has shown and painted.
    QWidget* shownGraph() {
        EXPECT_TRUE(test::waitFor([] { return graphWindow() != nullptr; }));
        QWidget* graph = graphWindow();
        if (graph != nullptr) {
            EXPECT_TRUE(QTest::qWaitForWindowExposed(graph));
        }
        return graph;
    }

    QImage surface(QWidget* graph) {
        QWidget* picture = graph->findChild<QWidget*>("picBlackboard");
        EXPECT_NE(picture, nullptr);
        return picture != nullptr ? picture->grab().toImage() : QImage();
    }

    void expectCaptions(QWidget* graph) {
        EXPECT_EQ(graph->windowTitle(), "Graphs");
        EXPECT_EQ(labelText(graph, "lblTitleMain"), "Spectral diagram of the map's phase space");
        EXPECT_EQ(labelText(graph, "lblX"), " X - Lyapunov exponent");
        EXPECT_EQ(labelText(graph, "lblTitle(0)"), "Entropy");
        EXPECT_EQ(labelText(graph, "lblTitle(1)"), "Fractal Dimension");
        EXPECT_EQ(labelText(graph, "lblColor(0)"), "Y1");
        EXPECT_EQ(labelText(graph, "lblColor(1)"), "Y2");
        const auto* thirdChip = graph->findChild<QLabel*>("lblColor(2)");
        ASSERT_NE(thirdChip, nullptr);
        EXPECT_FALSE(thirdChip->isVisible());
        // The range labels carry numbers now, not their design captions.
        for (const char* name :
             {"lblMinX", "lblMaxX", "lblMinY", "lblMaxY", "lblStepX", "lblStepY"}) {
            const QString text = labelText(graph, name);
            EXPECT_FALSE(text.isEmpty()) << name;
            EXPECT_NE(text, QString::fromLatin1(name)) << name;
        }
    }

    static void expectBothCurves(const QImage& image) {
        // 101 points over most of the surface's width: each curve is hundreds of pixels.
        EXPECT_GT(test::countPixels(image, kPureGreen), 200);
        EXPECT_GT(test::countPixels(image, kPureRed), 200);
    }

    Module1 store;
    std::unique_ptr<Program> program;
};

TEST_F(ProgramWindows, FirstAnalyzeOpensTheGraphWindowWithTheTwoBranchSpectrum) {
    EXPECT_EQ(graphWindowCount(), 0);
    click("cmd2branchs");
    QWidget* graph = shownGraph();
    ASSERT_NE(graph, nullptr);
    expectCaptions(graph);
    EXPECT_FALSE(graph->findChild<QCheckBox*>("chbGrid")->isChecked());
    const QImage image = surface(graph);
    expectBothCurves(image);
    EXPECT_EQ(store.graph_count, 2);

    EXPECT_TRUE(graph->grab().save(test::artifactPath("frmGraph1D.png")));
    EXPECT_TRUE(main().grab().save(test::artifactPath("frmMain.png")));

    // Modeless, without an owner: the main window stays usable and is not its parent.
    EXPECT_EQ(graph->parentWidget(), nullptr);
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    click("cmd2branchs");
    EXPECT_EQ(graphWindowCount(), 1);
    EXPECT_EQ(graphWindow(), graph);
    EXPECT_EQ(surface(graph), image);
}

TEST_F(ProgramWindows, ThreeBranchDefaultsDrawTheirOwnSpectrum) {
    click("cmd2branchs");
    const QImage twoBranch = surface(shownGraph());
    click("cmd3branches");
    QWidget* graph = shownGraph();
    ASSERT_NE(graph, nullptr);
    expectCaptions(graph);
    const QImage threeBranch = surface(graph);
    expectBothCurves(threeBranch);
    EXPECT_NE(threeBranch, twoBranch);
    EXPECT_TRUE(graph->grab().save(test::artifactPath("frmGraph1D-three-branch.png")));

    Module1 expected;
    NoMessages noMessages;
    ASSERT_EQ(runThreeBranch(FieldTexts{{Field::C1, "0.2"}, {Field::C2, "0.6"}},
                             DecimalTextToSingle(), noMessages, expected)
                  .status,
              Status::Completed);
    EXPECT_TRUE(store.sameBits(expected));
}

TEST_F(ProgramWindows, RefusedValueGivesItsMessageBoxAndChangesNothing) {
    setText("txtC", "1.5");
    const test::ModalAnswerer answerer;
    click("cmd2branchs");
    ASSERT_EQ(answerer.seen().size(), 1U);
    const test::SeenMessageBox& box = answerer.seen()[0];
    EXPECT_EQ(box.text, "C must be >0 and <1");
    EXPECT_EQ(box.title, "Veltrane");
    EXPECT_EQ(box.icon, QMessageBox::NoIcon);
    EXPECT_EQ(box.buttonCount, 1);
    EXPECT_EQ(field("txtC")->text(), "1.5");
    EXPECT_EQ(graphWindowCount(), 0);
    EXPECT_TRUE(store.sameBits(Module1()));

    // Still usable.
    setText("txtC", "0.3");
    click("cmd2branchs");
    EXPECT_NE(shownGraph(), nullptr);
    EXPECT_EQ(answerer.seen().size(), 1U);
}

TEST_F(ProgramWindows, TextThatIsNotANumberIsReportedAndTheGraphWindowStaysAsItWas) {
    click("cmd2branchs");
    QWidget* graph = shownGraph();
    ASSERT_NE(graph, nullptr);
    const QImage before = graph->grab().toImage();
    const Module1 shown = store;

    setText("txtC", "abc");
    const test::ModalAnswerer answerer;
    click("cmd2branchs");
    ASSERT_EQ(answerer.seen().size(), 1U);
    const test::SeenMessageBox& box = answerer.seen()[0];
    EXPECT_TRUE(box.text.contains("type mismatch")) << box.text.toStdString();
    EXPECT_TRUE(box.text.contains("\"abc\"")) << box.text.toStdString();
    EXPECT_TRUE(box.text.contains("field C ")) << box.text.toStdString();
    EXPECT_EQ(box.title, "Veltrane");
    EXPECT_EQ(box.icon, QMessageBox::NoIcon);
    EXPECT_EQ(box.buttonCount, 1);

    EXPECT_EQ(graphWindow(), graph);
    EXPECT_EQ(graph->grab().toImage(), before);
    EXPECT_TRUE(store.sameBits(shown));
    EXPECT_EQ(field("txtC")->text(), "abc");
    EXPECT_TRUE(main().isVisible());
}

TEST_F(ProgramWindows, ArithmeticFaultIsReportedAndTheProgramGoesOn) {
    setText("txtC", "1e-20");
    const test::ModalAnswerer answerer;
    click("cmd2branchs");
    ASSERT_EQ(answerer.seen().size(), 1U);
    EXPECT_TRUE(answerer.seen()[0].text.startsWith("Run-time error: "));
    EXPECT_EQ(graphWindowCount(), 0);
    EXPECT_TRUE(store.sameBits(Module1()));
    EXPECT_TRUE(main().isVisible());
}

TEST_F(ProgramWindows, BreakPointsOutOfOrderAreRefused) {
    setText("txtC1", "0.6");
    setText("txtC2", "0.4");
    const test::ModalAnswerer answerer;
    click("cmd3branches");
    ASSERT_EQ(answerer.seen().size(), 1U);
    EXPECT_EQ(answerer.seen()[0].text, "C1 must be less than C2");
    EXPECT_EQ(answerer.seen()[0].title, "Veltrane");
    EXPECT_EQ(graphWindowCount(), 0);
}

// Runs the application's event loop, as the program does, with steps queued one after the
// other inside it; returns exec's status, or -1 when the loop was still running after 10 s.
// A step queued after the loop has ended never runs.
int runEventLoop(const std::vector<std::function<void()>>& steps) {
    const QObject guard; // cancels whatever is still queued when this returns
    bool timedOut = false;
    QTimer::singleShot(10000, &guard, [&] {
        timedOut = true;
        QCoreApplication::exit(-1);
    });
    std::function<void(std::size_t)> queue = [&](std::size_t i) {
        if (i < steps.size()) {
            QTimer::singleShot(0, &guard, [&, i] {
                steps[i]();
                queue(i + 1);
            });
        }
    };
    queue(0);
    const int status = QApplication::exec();
    return timedOut ? -1 : status;
}

TEST_F(ProgramWindows, ClosingTheMainWindowFirstLeavesTheGraphWindowWorkingUntilItCloses) {
    QApplication::setQuitOnLastWindowClosed(true);
    click("cmd2branchs");
    QWidget* graph = shownGraph();
    ASSERT_NE(graph, nullptr);
    const QImage before = surface(graph);
    bool graphWorked = false;
    const int status = runEventLoop({
        [&] { main().close(); },
        [&] {
            // Still running: Plot in the graph window redraws the same picture.
            QTest::mouseClick(graph->findChild<QPushButton*>("cmdPlot"), Qt::LeftButton);
            graphWorked = graph->isVisible() && surface(graph) == before;
        },
        [&] { graph->close(); },
    });
    EXPECT_EQ(status, 0);
    EXPECT_TRUE(graphWorked);
    EXPECT_FALSE(main().isVisible());
}

TEST_F(ProgramWindows, ClosingTheGraphWindowFirstLeavesTheMainWindowWorking) {
    QApplication::setQuitOnLastWindowClosed(true);
    click("cmd2branchs");
    QWidget* graph = shownGraph();
    ASSERT_NE(graph, nullptr);
    int graphWindowsAfterReopening = 0;
    const int status = runEventLoop({
        [&] { graph->close(); },
        [&] {
            // Still running: the next analysis creates the graph window afresh.
            click("cmd2branchs");
            graphWindowsAfterReopening = graphWindow() != nullptr ? graphWindowCount() : 0;
        },
        [&] { graphWindow()->close(); },
        [&] { main().close(); },
    });
    EXPECT_EQ(status, 0);
    EXPECT_EQ(graphWindowsAfterReopening, 1);
}

} // namespace
} // namespace veltrane
