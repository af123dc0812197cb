// One walk through both windows on a real X server, as a user takes it: start, focus and tab
// order, both Analyze buttons, refused values and texts that are not numbers, Grid and Plot,
// Print without a printer, covering, resizing and closing. The pictures of both windows are
// compared with the approved ones for this screen's pixel ratio. The soak takes the same steps
// two thousand times in random order.
#include "PictureBox.h"
#include "TestSupport.h"
#include "Walk.h"
#include "frmGraph1D.h"

#include <QAccessible>
#include <QFont>
#include <QProcess>
#include <QRegularExpression>
#include <fstream>
#include <random>
#include <unistd.h>

namespace veltrane {
namespace {

using test::Walk;

QImage picture(QWidget* window) {
    return window->grab().toImage();
}

TEST(Walk, ThroughBothWindows) {
    // The approved pictures were taken with this font, installed with the program's
    // dependencies, so that they do not hang on the machine's choice of interface font.
    QApplication::setFont(QFont(QStringLiteral("DejaVu Sans"), 9));
    const std::string at = "@" + std::to_string(qRound(qApp->devicePixelRatio()));
    Module1 store;
    Walk walk(store);
    QWidget& main = walk.main();
    test::expectLooksLike(picture(&main), "frmMain" + at);

    main.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&main));
    QStringList focus;
    for (int i = 0; i < 6; ++i) {
        focus << QApplication::focusWidget()->objectName();
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    }
    EXPECT_EQ(focus, QStringList(
                         {"cmd2branchs", "txtC", "cmd3branches", "txtC1", "txtC2", "cmd2branchs"}));
    // Neither button is a default or cancel button, but Enter clicks the one with the focus.
    QTest::keyClick(Walk::control(&main, "txtC"), Qt::Key_Return);
    QTest::keyClick(Walk::control(&main, "txtC"), Qt::Key_Escape);
    EXPECT_EQ(walk.graph(), nullptr);
    QTest::keyClick(Walk::control(&main, "cmd2branchs"), Qt::Key_Return);
    EXPECT_NE(walk.graph(), nullptr);

    walk.analyze("0.3");
    frmGraph1D* graph = walk.graph();
    ASSERT_TRUE(graph != nullptr && QTest::qWaitForWindowExposed(graph));
    ASSERT_NO_FATAL_FAILURE(walk.check());
    EXPECT_EQ(graph->parentWidget(), nullptr);
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    const QImage ticks = picture(graph);
    test::expectLooksLike(ticks, "frmGraph1D-0.3" + at);

    // For screen readers every control that takes the focus has a name, and the picture says
    // in words what it shows.
    const auto accessible = [](QWidget* w, QAccessible::Text what) {
        return QAccessible::queryAccessibleInterface(w)->text(what);
    };
    QStringList names;
    for (QWidget* window : {static_cast<QWidget*>(&main), static_cast<QWidget*>(graph)}) {
        for (QWidget* control : window->findChildren<QWidget*>()) {
            names << (control->focusPolicy() != Qt::NoFocus ? accessible(control, QAccessible::Name)
                                                            : QStringLiteral("-"));
        }
    }
    EXPECT_FALSE(names.contains(QString())) << names.join('|').toStdString();
    for (const char* name :
         {"C", "C1", "C2", "Analyze two-branch map", "Analyze three-branch map"}) {
        EXPECT_TRUE(names.contains(name)) << name;
    }
    const QString description =
        accessible(Walk::control(graph, "picBlackboard"), QAccessible::Description);
    EXPECT_TRUE(description.contains("MinX=0.356675") && description.contains("MaxY=1") &&
                description.contains("ticks"))
        << description.toStdString();
    EXPECT_EQ(Walk::control(graph, "cmdPrint")->toolTip(), "Print (Ctrl+P)");

    // Grid takes effect at the next Plot; unticked again, Plot gives back the ticks.
    QTest::mouseClick(Walk::control(graph, "chbGrid"), Qt::LeftButton);
    EXPECT_EQ(picture(graph).copy(graph->picBlackboard().geometry()),
              ticks.copy(graph->picBlackboard().geometry()));
    Walk::click(graph, "cmdPlot");
    test::expectLooksLike(picture(graph), "frmGraph1D-0.3-grid" + at);
    walk.gridAndPlot();
    EXPECT_EQ(picture(graph), ticks);

    walk.analyze("0.2", "0.6");
    EXPECT_EQ(walk.graph(), graph);
    const QImage three = picture(graph);
    test::expectLooksLike(three, "frmGraph1D-0.2-0.6" + at);

    // Refused values and texts that are not numbers stay in their fields and change nothing.
    walk.analyze("1.5");
    walk.analyze("0.6", "0.4");
    walk.analyze("<b>abc");
    EXPECT_EQ(Walk::control<QLineEdit>(&main, "txtC")->text(), "<b>abc");
    EXPECT_EQ(Walk::control<QLineEdit>(&main, "txtC1")->text(), "0.6");
    walk.print();
    const auto box = [](const char* text) {
        return test::SeenBox{"Veltrane", text, QMessageBox::NoIcon, 1};
    };
    EXPECT_EQ(walk.answerer.seen,
              std::vector<test::SeenBox>(
                  {box("C must be >0 and <1"), box("C1 must be less than C2"),
                   box("Run-time error: type mismatch: the text \"<b>abc\" of field C is not a "
                       "number"),
                   box("No printer is available, so the graph was not printed.")}));
    ASSERT_NO_FATAL_FAILURE(walk.check());
    EXPECT_EQ(picture(graph), three);

    // Covering and moving keep the drawing; resizing moves and scales nothing.
    graph->hide();
    graph->move(graph->pos() + QPoint(40, 30));
    graph->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(graph));
    EXPECT_EQ(picture(graph), three);
    const QImage mainBefore = picture(&main);
    main.resize(main.size() * 2);
    EXPECT_EQ(picture(&main).copy(mainBefore.rect()), mainBefore);

    // Closed, the graph window comes back with the next analysis, its Grid box unticked.
    QTest::mouseClick(Walk::control(graph, "chbGrid"), Qt::LeftButton);
    walk.closeGraph();
    walk.analyze("0.3");
    ASSERT_NE(walk.graph(), nullptr);
    EXPECT_FALSE(Walk::control<QCheckBox>(walk.graph(), "chbGrid")->isChecked());
    ASSERT_NO_FATAL_FAILURE(walk.check());
    EXPECT_EQ(walk.answerer.others, 0);
    walk.closeGraph();
}

// "veltrane spectrum ... --plot FILE" draws the graph window as the analysis leaves it, without
// a display: a raster at any resolution, or vectors with the labels as text.
TEST(Export, PicturesAreTheGraphWindowAsShown) {
    const test::TempDir folder;
    const auto plot = [&](const std::string& file, const std::string& options = {}) {
        const std::string command =
            "DISPLAY= QT_SCALE_FACTOR=1 veltrane spectrum 0.3 --plot " + file;
        EXPECT_EQ(test::runProgram(command + options, {}, folder.path()).status, 0);
        return QString::fromStdString((folder.path() / file).string());
    };
    test::expectLooksLike(QImage(plot("a.png")), "frmGraph1D-0.3@1");
    const QImage fine(plot("b.png", " --grid --dpi 192"));
    EXPECT_NEAR(fine.dotsPerMeterX(), 192 / 0.0254, 1.0);
    test::expectLooksLike(fine, "export-0.3-grid-192dpi");
    ASSERT_EQ(
        test::runProgram("QT_SCALE_FACTOR=1 veltrane multifractal 0.3 --weights 1 2 --plot m.png",
                         {}, folder.path())
            .status,
        0);
    test::expectLooksLike(QImage(QString::fromStdString((folder.path() / "m.png").string())),
                          "multifractal-0.3-1-2");

    const QString svg = QString::fromStdString(test::readFile(plot("c.svg").toStdString()));
    for (const char* part : {"viewBox=\"0 0 753 497\"", "stroke=\"#00ff00\"", "stroke=\"#ff0000\"",
                             "Spectral diagram of the map", "StepY=0.1"}) {
        EXPECT_TRUE(svg.contains(part)) << part;
    }
    // The style may paint button bevels from small cached pixmaps; the surface is lines.
    for (const auto& image : QRegularExpression("<image[^>]* width=\"(\\d+)\"").globalMatch(svg)) {
        EXPECT_LT(image.captured(1).toInt(), 100);
    }
    QProcess text;
    text.start("pdftotext", {plot("d.pdf"), "-"});
    ASSERT_TRUE(text.waitForFinished(30000));
    const QByteArray words = text.readAllStandardOutput();
    EXPECT_TRUE(words.contains("MaxX=1.203973") && words.contains("Fractal Dimension"));
}

long residentBytes() {
    std::ifstream statm("/proc/self/statm");
    long pages = 0;
    long resident = 0;
    statm >> pages >> resident;
    return resident * sysconf(_SC_PAGESIZE);
}

// After every step the store holds what the core computes from the same texts and there is
// one graph window at the most; memory does not grow with the number of steps.
TEST(Soak, TwoThousandStepsLoseNothingAndKeepOneGraphWindow) {
    const std::vector<std::string> texts{"0.3",    "0.7",   "0.5",  "0.999",      "1e-10",
                                         " 0.25 ", "1.5",   "0",    "-0.3",       "abc",
                                         "",       "1e-20", "1e39", "nan",        "0.3x",
                                         "0.2",    "0.6",   "0.4",  "0.33333333", "0.66666667"};
    Module1 store;
    Walk walk(store);
    std::mt19937 random(20261206);
    const auto text = [&] { return texts[random() % texts.size()]; };
    long afterWarmUp = 0;
    for (int step = 1; step <= 2000; ++step) {
        switch (random() % 8) {
        case 0:
        case 1:
            walk.analyze(text());
            break;
        case 2:
            walk.analyze(
                std::to_string(std::uniform_real_distribution<float>(-0.1F, 1.1F)(random)));
            break;
        case 3:
        case 4:
            walk.analyze(text(), text());
            break;
        case 5:
            walk.gridAndPlot();
            break;
        case 6:
            walk.closeGraph();
            break;
        default:
            walk.print();
        }
        ASSERT_NO_FATAL_FAILURE(walk.check()) << "after step " << step;
        afterWarmUp = step == 100 ? residentBytes() : afterWarmUp;
    }
    const long growth = residentBytes() - afterWarmUp;
    std::printf("memory growth after the first 100 steps: %ld kB, %zu message boxes\n",
                growth / 1024, walk.answerer.seen.size());
#if !defined(__SANITIZE_ADDRESS__)
    // Under AddressSanitizer freed memory waits in quarantine and LeakSanitizer judges leaks.
    EXPECT_LT(growth, 10L * 1024 * 1024);
#endif
    EXPECT_EQ(walk.answerer.others, 0);
    walk.closeGraph();
}

} // namespace
} // namespace veltrane
