// The program's own windows wired together as at start (real graph window, real message
// boxes), on the real X11 platform: the road from the fields to the drawn diagram.
#include "QtTestSupport.h"
#include "StartUp.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>
#include <memory>
#include <utility>
#include <vector>

namespace veltrane {
namespace {

constexpr QRgb kPureGreen = qRgb(0, 255, 0);
constexpr QRgb kPureRed = qRgb(255, 0, 0);

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

    // Every caption and chip is checked on the window itself (graph_window_test); here, that
    // the Analyze click reached show_spectrum and plot_graphs.
    void expectCaptions(QWidget* graph) {
        EXPECT_EQ(graph->windowTitle(), "Graphs");
        EXPECT_EQ(test::caption(graph, "lblTitleMain"),
                  "Spectral diagram of the map's phase space");
        EXPECT_EQ(test::caption(graph, "lblTitle(1)"), "Fractal Dimension");
        EXPECT_TRUE(test::caption(graph, "lblMaxX").startsWith("MaxX=")) << "the range labels";
        EXPECT_TRUE(test::caption(graph, "lblStepY").startsWith("StepY="));
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
    Module1 expected;
    test::runTwoBranchInto(expected, "0.3");
    EXPECT_TRUE(store.sameBits(expected));

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
    test::runThreeBranchInto(expected, "0.2", "0.6");
    EXPECT_TRUE(store.sameBits(expected));
}

struct Refusal {
    const char* name;
    std::vector<std::pair<const char*, const char*>> texts; // typed into these fields
    const char* button;
    const char* message;
};

class RefusedInput : public ProgramWindows, public ::testing::WithParamInterface<Refusal> {};

TEST_P(RefusedInput, GivesItsMessageBoxChangesNothingAndLeavesTheProgramUsable) {
    const Refusal& r = GetParam();
    for (const auto& [name, text] : r.texts) {
        setText(name, text);
    }
    const test::ModalAnswerer answerer;
    click(r.button);
    ASSERT_EQ(answerer.seen().size(), 1U);
    const test::SeenMessageBox& box = answerer.seen()[0];
    EXPECT_EQ(box.text, r.message);
    EXPECT_EQ(box.title, "Veltrane");
    EXPECT_EQ(box.icon, QMessageBox::NoIcon);
    EXPECT_EQ(box.buttonCount, 1);
    for (const auto& [name, text] : r.texts) {
        EXPECT_EQ(field(name)->text(), text);
    }
    EXPECT_EQ(graphWindowCount(), 0);
    EXPECT_TRUE(store.sameBits(Module1()));

    // Still usable: the other button's default values draw.
    click(std::string_view(r.button) == "cmd2branchs" ? "cmd3branches" : "cmd2branchs");
    EXPECT_NE(shownGraph(), nullptr);
    EXPECT_EQ(answerer.seen().size(), 1U);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, RefusedInput,
    ::testing::Values(
        Refusal{"cOutOfRange", {{"txtC", "1.5"}}, "cmd2branchs", "C must be >0 and <1"},
        Refusal{"c1NotBelowC2",
                {{"txtC1", "0.6"}, {"txtC2", "0.4"}},
                "cmd3branches",
                "C1 must be less than C2"},
        // An open graph window staying as it was is checked on the running program.
        Refusal{"notANumber",
                {{"txtC", "abc"}},
                "cmd2branchs",
                "Run-time error: type mismatch: the text \"abc\" of field C is not a number"}),
    [](const auto& row) { return std::string(row.param.name); });

} // namespace
} // namespace veltrane
