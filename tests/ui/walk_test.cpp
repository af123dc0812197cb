// Both windows on a real X server, used as a user uses them, one step of the walk a test, each
// on windows started afresh: start, focus and tab order, both Analyze buttons, Enter held on a
// button, refused values and texts that are not numbers, Grid and Plot, Save picture and Print
// without a printer, what screen readers are told, covering, resizing and closing with the mouse
// and the keys. The pictures of both windows are compared with the approved ones for this
// screen's pixel ratio. The Save dialog is taken to /proc. The soak takes the same steps two
// thousand times in random order.
#include "TestSupport.h"
#include "Walk.h"

#include <QAccessible>
#include <QFileSystemModel>
#include <QFont>
#include <QProcess>
#include <QRegularExpression>
#include <QSignalSpy>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <mutex>
#include <random>
#include <thread>
#include <unistd.h>
#include <veltrane/graph/PictureBox.h>
#include <veltrane/graph/PictureExport.h>
#include <veltrane/graph/frmGraph1D.h>

namespace veltrane {
using namespace veltrane::classic;
using namespace veltrane::ui;
using namespace veltrane::graph;
namespace {

QImage picture(QWidget* window) {
    return window->grab().toImage();
}

// Enter held down on widget while the keyboard repeats it: the press, the repeats (each a
// release and a press marked as repeated, as X11 reports them), and the release.
void holdEnter(QWidget* widget, int repeats) {
    const auto send = [widget](QEvent::Type type, bool repeated) {
        QKeyEvent key(type, Qt::Key_Return, Qt::NoModifier, QStringLiteral("\r"), repeated);
        QApplication::sendEvent(widget, &key);
    };
    send(QEvent::KeyPress, false);
    for (int i = 0; i < repeats; ++i) {
        send(QEvent::KeyRelease, true);
        send(QEvent::KeyPress, true);
    }
    send(QEvent::KeyRelease, false);
}

// How often holding Enter on the button clicks it.
qsizetype clicksOfHeldEnter(QAbstractButton* button) {
    const QSignalSpy clicks(button, &QAbstractButton::clicked);
    holdEnter(button, 18);
    return clicks.count();
}

// The object names of the window's accessible children, as a screen reader walks them; a
// decorative child (decorative counts them) has no place among them.
QStringList accessibleChildren(QWidget* window, int* decorative = nullptr) {
    QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(window);
    QStringList names;
    for (int i = 0; i < iface->childCount(); ++i) {
        names << iface->child(i)->object()->objectName();
        EXPECT_EQ(iface->indexOfChild(iface->child(i)), i);
    }
    for (QWidget* child : window->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        if (child->property("veltraneDecorative").toBool()) {
            EXPECT_EQ(iface->indexOfChild(QAccessible::queryAccessibleInterface(child)), -1)
                << child->objectName().toStdString();
            if (decorative != nullptr) {
                ++*decorative;
            }
        }
    }
    return names;
}

QAccessible::Role accessibleRole(QWidget* widget) {
    return QAccessible::queryAccessibleInterface(widget)->role();
}

// Ends the test binary with a message when the thread that runs the windows has not turned
// its event loop for limit: only another thread can see that one hangs, which would otherwise
// last until the test's time limit.
class EventLoopWatch {
public:
    explicit EventLoopWatch(std::chrono::seconds limit, const char* what)
        : m_watch([this, limit, what] { watch(limit, what); }) {
        QObject::connect(&m_beat, &QTimer::timeout, [this] { m_last = Clock::now(); });
        m_beat.start(50);
    }
    ~EventLoopWatch() {
        {
            const std::lock_guard lock(m_mutex);
            m_done = true;
        }
        m_wake.notify_all();
        m_watch.join();
    }
    EventLoopWatch(const EventLoopWatch&) = delete;
    EventLoopWatch& operator=(const EventLoopWatch&) = delete;

private:
    using Clock = std::chrono::steady_clock;

    void watch(std::chrono::seconds limit, const char* what) {
        std::unique_lock lock(m_mutex);
        while (!m_wake.wait_for(lock, std::chrono::milliseconds(100), [this] { return m_done; })) {
            if (Clock::now() - m_last.load() > limit) {
                std::fprintf(stderr, "the windows stopped answering for %llds %s\n",
                             static_cast<long long>(limit.count()), what);
                std::_Exit(1);
            }
        }
    }

    QTimer m_beat;
    std::atomic<Clock::time_point> m_last{Clock::now()};
    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_done = false;
    std::thread m_watch; // last: it starts with everything above in place
};

// The program's windows started afresh for each test on the font the approved pictures were
// taken with, installed with the program's dependencies, so that they do not hang on the
// machine's choice of interface font. After each test the store holds what the core computed
// from the same texts, there is one graph window at the most, and no modal window other than a
// message box or an answered file dialog was shown.
class Walk : public ::testing::Test {
protected:
    Walk() {
        QApplication::setFont(QFont(QStringLiteral("DejaVu Sans"), 9));
        m_walk = std::make_unique<test::Walk>(m_store);
    }
    void TearDown() override {
        ASSERT_NO_FATAL_FAILURE(m_walk->check());
        EXPECT_EQ(m_walk->answerer.others, 0);
    }

    test::Walk& walk() { return *m_walk; }
    QWidget& main() { return m_walk->main(); }
    // The approved picture of this screen's pixel ratio.
    static std::string approved(const std::string& name) {
        return name + "@" + std::to_string(qRound(qApp->devicePixelRatio()));
    }
    template <typename T = QWidget> static T* control(QWidget* window, const char* name) {
        return test::Walk::control<T>(window, name);
    }
    static void click(QWidget* window, const char* button) { test::Walk::click(window, button); }

    // The graph window of the two-branch map C, shown.
    frmGraph1D* analyzed(const std::string& c) {
        m_walk->analyze(c);
        frmGraph1D* graph = m_walk->graph();
        EXPECT_TRUE(graph != nullptr && QTest::qWaitForWindowExposed(graph));
        return graph;
    }
    // The graph window of the three-branch map C1, C2, shown.
    frmGraph1D* analyzed(const std::string& c1, const std::string& c2) {
        m_walk->analyze(c1, c2);
        frmGraph1D* graph = m_walk->graph();
        EXPECT_TRUE(graph != nullptr && QTest::qWaitForWindowExposed(graph));
        return graph;
    }
    static void activate(QWidget* window) {
        window->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(window));
    }

private:
    Module1 m_store;
    std::unique_ptr<test::Walk> m_walk;
};

TEST_F(Walk, MainWindowStartsAsApproved) {
    test::expectLooksLike(picture(&main()), approved("frmMain"));
    EXPECT_EQ(walk().graph(), nullptr);
}

// Neither button is a default or cancel button, but Enter clicks the one with the focus.
TEST_F(Walk, TabWalksTheFieldsInOrderAndEnterClicksTheFocusedButton) {
    ASSERT_NO_FATAL_FAILURE(activate(&main()));
    QStringList focus;
    for (int i = 0; i < 6; ++i) {
        focus << QApplication::focusWidget()->objectName();
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    }
    EXPECT_EQ(focus, QStringList(
                         {"cmd2branchs", "txtC", "cmd3branches", "txtC1", "txtC2", "cmd2branchs"}));
    QTest::keyClick(control(&main(), "txtC"), Qt::Key_Return);
    QTest::keyClick(control(&main(), "txtC"), Qt::Key_Escape);
    EXPECT_EQ(walk().graph(), nullptr);
    QTest::keyClick(control(&main(), "cmd2branchs"), Qt::Key_Return);
    EXPECT_NE(walk().graph(), nullptr);
    // The same analysis again, now run by the core too, for the check after the test.
    walk().analyze(control<QLineEdit>(&main(), "txtC")->text().toStdString());
}

TEST_F(Walk, AnalyzeOpensTheGraphWindowAsApproved) {
    frmGraph1D* graph = analyzed("0.3");
    ASSERT_NE(graph, nullptr);
    ASSERT_NO_FATAL_FAILURE(walk().check());
    EXPECT_EQ(graph->parentWidget(), nullptr);
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    test::expectLooksLike(picture(graph), approved("frmGraph1D-0.3"));
}

// Every control that takes the focus has a name, and the picture says in words what it shows.
// Both are windows (frames to AT-SPI), the picture is an image, and the labels drawn in the
// sketches of the maps are not there at all.
TEST_F(Walk, ScreenReadersAreToldTheNamesRolesAndWhatThePictureShows) {
    frmGraph1D* graph = analyzed("0.3");
    ASSERT_NE(graph, nullptr);
    const auto accessible = [](QWidget* w, QAccessible::Text what) {
        return QAccessible::queryAccessibleInterface(w)->text(what);
    };
    QStringList names;
    for (QWidget* window : {&main(), static_cast<QWidget*>(graph)}) {
        for (QWidget* c : window->findChildren<QWidget*>()) {
            names << (c->focusPolicy() != Qt::NoFocus ? accessible(c, QAccessible::Name)
                                                      : QStringLiteral("-"));
        }
    }
    EXPECT_FALSE(names.contains(QString())) << names.join('|').toStdString();
    for (const char* name :
         {"C", "C1", "C2", "Analyze two-branch map", "Analyze three-branch map"}) {
        EXPECT_TRUE(names.contains(name)) << name;
    }
    const QString description =
        accessible(control(graph, "picBlackboard"), QAccessible::Description);
    EXPECT_EQ(description.toStdString(),
              "Spectral diagram of the map's phase space: Entropy in green and Fractal Dimension "
              "in red against X - Lyapunov exponent; MinX=0.356675, MaxX=1.203973, MinY=0, "
              "MaxY=1; ticks.");
    EXPECT_EQ(control(graph, "cmdPrint")->toolTip(), "Print (Ctrl+P)");
    EXPECT_EQ(accessibleRole(&main()), QAccessible::Window);
    EXPECT_EQ(accessibleRole(graph), QAccessible::Window);
    EXPECT_EQ(accessibleRole(control(graph, "picBlackboard")), QAccessible::Graphic);
    int decorative = 0;
    EXPECT_EQ(accessibleChildren(&main(), &decorative).join(' ').toStdString(),
              "cmd2branchs txtC cmd3branches txtC1 txtC2 Label2 Label3(0) Label3(1) Label4 "
              "Label1(6) Label1(7)");
    EXPECT_GT(decorative, 0);
    EXPECT_TRUE(accessibleChildren(graph).contains("picBlackboard"));
}

// Grid takes effect at the next Plot; unticked again, Plot gives back the ticks.
TEST_F(Walk, GridTakesEffectAtTheNextPlot) {
    frmGraph1D* graph = analyzed("0.3");
    ASSERT_NE(graph, nullptr);
    const QImage ticks = picture(graph);
    const QRect surface = graph->picBlackboard().geometry();
    QTest::mouseClick(control(graph, "chbGrid"), Qt::LeftButton);
    EXPECT_EQ(picture(graph).copy(surface), ticks.copy(surface));
    click(graph, "cmdPlot");
    test::expectLooksLike(picture(graph), approved("frmGraph1D-0.3-grid"));
    QTest::mouseClick(control(graph, "chbGrid"), Qt::LeftButton);
    click(graph, "cmdPlot");
    EXPECT_EQ(picture(graph), ticks);
}

// Unticked but not plotted, the window still shows the grid, and Save picture writes that:
// what --plot draws with --grid.
TEST_F(Walk, SavePictureWritesWhatIsShownAsTheCommandLineDrawsIt) {
    frmGraph1D* graph = analyzed("0.3");
    ASSERT_NE(graph, nullptr);
    QTest::mouseClick(control(graph, "chbGrid"), Qt::LeftButton);
    click(graph, "cmdPlot");
    QTest::mouseClick(control(graph, "chbGrid"), Qt::LeftButton);
    const test::TempDir folder;
    const std::string saved = (folder.path() / "saved.png").string();
    walk().answerer.fileDialog = [&](QFileDialog& files) {
        auto* name = files.findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        ASSERT_NE(name, nullptr);
        name->setText(QString::fromStdString(saved));
        QTest::keyClick(name, Qt::Key_Return);
    };
    ASSERT_NO_FATAL_FAILURE(activate(graph));
    QTest::keyClick(graph, Qt::Key_S, Qt::ControlModifier);
    // In the same surroundings: the scale factor of the hidpi run changes how text is drawn.
    ASSERT_EQ(test::runProgram("veltrane spectrum 0.3 --grid --plot plotted.png", {}, folder.path())
                  .status,
              0);
    EXPECT_TRUE(test::readFile(saved) == test::readFile(folder.path() / "plotted.png"));
}

// The three-branch analysis draws in the window the two-branch one opened.
TEST_F(Walk, ThreeBranchAnalysisRedrawsTheSameGraphWindow) {
    frmGraph1D* graph = analyzed("0.3");
    ASSERT_NE(graph, nullptr);
    EXPECT_EQ(analyzed("0.2", "0.6"), graph);
    test::expectLooksLike(picture(graph), approved("frmGraph1D-0.2-0.6"));
}

// Refused values and texts that are not numbers stay in their fields, change nothing and say
// why; Print without a printer says so.
TEST_F(Walk, RefusedValuesStayInTheirFieldsChangeNothingAndSayWhy) {
    frmGraph1D* graph = analyzed("0.2", "0.6");
    ASSERT_NE(graph, nullptr);
    const QImage three = picture(graph);
    walk().analyze("1.5");
    walk().analyze("0.6", "0.4");
    walk().analyze("<b>abc");
    EXPECT_EQ(control<QLineEdit>(&main(), "txtC")->text(), "<b>abc");
    EXPECT_EQ(control<QLineEdit>(&main(), "txtC1")->text(), "0.6");
    walk().print();
    const auto box = [](const char* text) {
        return test::SeenBox{"Veltrane", text, QMessageBox::NoIcon, 1};
    };
    EXPECT_EQ(walk().answerer.seen,
              std::vector<test::SeenBox>(
                  {box("C must be >0 and <1"), box("C1 must be less than C2"),
                   box("Run-time error: type mismatch: the text \"<b>abc\" of field C is not a "
                       "number"),
                   box("No printer is available, so the graph was not printed.")}));
    ASSERT_NO_FATAL_FAILURE(walk().check());
    EXPECT_EQ(picture(graph), three);
}

// Enter held on a main window's button presses it once, as Space does (Print and the message
// boxes are held on with the X server's own repeats in the program test).
TEST_F(Walk, EnterHeldOnAnAnalyzeButtonPressesItOnce) {
    frmGraph1D* graph = analyzed("0.2", "0.6");
    ASSERT_NE(graph, nullptr);
    const QImage three = picture(graph);
    walk().analyze("0.6", "0.4");
    walk().analyze("<b>abc");
    const std::size_t boxes = walk().answerer.seen.size();
    EXPECT_EQ(clicksOfHeldEnter(control<QPushButton>(&main(), "cmd2branchs")), 1);
    EXPECT_EQ(clicksOfHeldEnter(control<QPushButton>(&main(), "cmd3branches")), 1);
    // A release of Enter that the button did not see pressed, as that of an Enter which closed
    // a message box over it, clicks nothing, even while the mouse holds the button down.
    auto* button = control<QPushButton>(&main(), "cmd2branchs");
    const QSignalSpy clicks(button, &QAbstractButton::clicked);
    QTest::mousePress(button, Qt::LeftButton);
    QKeyEvent release(QEvent::KeyRelease, Qt::Key_Return, Qt::NoModifier, QStringLiteral("\r"));
    QApplication::sendEvent(button, &release);
    QTest::mouseRelease(button, Qt::LeftButton, {}, QPoint(-5, -5)); // off the button
    EXPECT_EQ(clicks.count(), 0);
    // The fields hold "<b>abc", 0.6 and 0.4: one message box each.
    EXPECT_EQ(walk().answerer.seen.size(), boxes + 2);
    EXPECT_EQ(picture(graph), three);
}

// Covering and moving keep the drawing; resizing moves and scales nothing.
TEST_F(Walk, CoveringMovingAndResizingKeepTheDrawing) {
    frmGraph1D* graph = analyzed("0.2", "0.6");
    ASSERT_NE(graph, nullptr);
    const QImage three = picture(graph);
    graph->hide();
    graph->move(graph->pos() + QPoint(40, 30));
    graph->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(graph));
    EXPECT_EQ(picture(graph), three);
    const QImage mainBefore = picture(&main());
    main().resize(main().size() * 2);
    EXPECT_EQ(picture(&main()).copy(mainBefore.rect()), mainBefore);
}

// Closed, the graph window comes back with the next analysis, its Grid box unticked.
TEST_F(Walk, ClosedGraphWindowComesBackWithGridUnticked) {
    frmGraph1D* graph = analyzed("0.2", "0.6");
    ASSERT_NE(graph, nullptr);
    QTest::mouseClick(control(graph, "chbGrid"), Qt::LeftButton);
    walk().closeGraph();
    ASSERT_NE(analyzed("0.3"), nullptr);
    EXPECT_FALSE(control<QCheckBox>(walk().graph(), "chbGrid")->isChecked());
}

// Ctrl+W closes the window it is pressed in, the main window too, which leaves the graph
// window open; there Ctrl+Q closes what is left.
TEST_F(Walk, CtrlWClosesItsOwnWindowAndCtrlQTheRest) {
    ASSERT_NE(analyzed("0.3"), nullptr);
    ASSERT_NO_FATAL_FAILURE(activate(&main()));
    QTest::keyClick(control(&main(), "txtC"), Qt::Key_W, Qt::ControlModifier);
    EXPECT_TRUE(QTest::qWaitFor([&] { return !main().isVisible(); }));
    ASSERT_NE(walk().graph(), nullptr);
    EXPECT_TRUE(walk().graph()->isVisible());
    ASSERT_NO_FATAL_FAILURE(activate(walk().graph()));
    QTest::keyClick(walk().graph(), Qt::Key_Q, Qt::ControlModifier);
    EXPECT_TRUE(QTest::qWaitFor([&] { return walk().graph() == nullptr; }));
}

// Naming a folder in the Save picture dialog never holds the program up, not even /proc,
// where Qt's own file types would read /proc/kmsg, which never answers.
TEST_F(Walk, SaveDialogTakenToProcKeepsAnswering) {
    frmGraph1D* graph = analyzed("0.3");
    ASSERT_NE(graph, nullptr);
    const EventLoopWatch watch(std::chrono::seconds(30), "in the Save dialog at /proc");
    bool listed = false;
    walk().answerer.fileDialog = [&](QFileDialog& files) {
        auto* name = files.findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        ASSERT_NE(name, nullptr);
        name->selectAll();
        // Typed as the name's folder, which the completion lists, then opened.
        auto* model = files.findChild<QFileSystemModel*>();
        ASSERT_NE(model, nullptr);
        const QSignalSpy loaded(model, &QFileSystemModel::directoryLoaded);
        QTest::keyClicks(name, QStringLiteral("/proc/"));
        listed = QTest::qWaitFor(
            [&] {
                return std::any_of(loaded.begin(), loaded.end(), [](const QList<QVariant>& args) {
                    return args.value(0).toString() == "/proc";
                });
            },
            20000);
        files.setDirectory(QStringLiteral("/proc"));
        listed = listed && QTest::qWaitFor([&] {
                     return files.directory().absolutePath() == "/proc" &&
                            model->rowCount(model->index(QStringLiteral("/proc"))) > 0;
                 });
        files.reject();
    };
    ASSERT_NO_FATAL_FAILURE(activate(graph));
    QTest::keyClick(graph, Qt::Key_S, Qt::ControlModifier);
    EXPECT_TRUE(listed);
    EXPECT_TRUE(walk().answerer.seen.empty());
    walk().closeGraph();
}

// How many pixels of the picture have exactly this colour.
int pixelsOf(const QImage& picture, QRgb colour) {
    const QImage rgb = picture.convertToFormat(QImage::Format_RGB32);
    int count = 0;
    for (int y = 0; y < rgb.height(); ++y) {
        for (int x = 0; x < rgb.width(); ++x) {
            count += rgb.pixel(x, y) == colour;
        }
    }
    return count;
}

// The segments an SVG picture draws on the surface as lines with square caps: their ends,
// each moved out by the half pen width the cap adds, in the surface's drawing area's
// coordinates, and that area's size.
struct SurfaceLines {
    std::vector<QPointF> ends;
    QSizeF area;
};

QPointF svgPoint(const QString& pair) {
    return {pair.section(',', 0, 0).toDouble(), pair.section(',', 1, 1).toDouble()};
}

SurfaceLines surfaceLines(const QString& svg) {
    Module1 store;
    const OffscreenGraph graph(store, {});
    const PictureBox& surface = graph.window().picBlackboard();
    const QRect area = surface.contentsRect().translated(surface.pos());
    const QString origin =
        QStringLiteral("transform=\"matrix(1,0,0,1,%1,%2)\"").arg(area.left()).arg(area.top());
    static const QRegularExpression kPoints(QStringLiteral("points=\"([^\"]*)\""));
    SurfaceLines lines{{}, area.size()};
    for (const QString& group : svg.split(QStringLiteral("<g "))) {
        if (!group.contains(origin) || group.contains(QStringLiteral("stroke=\"none\""))) {
            continue;
        }
        for (const auto& line : kPoints.globalMatch(group.section(QStringLiteral("</g>"), 0, 0))) {
            const QStringList points = line.captured(1).split(' ', Qt::SkipEmptyParts);
            for (qsizetype i = 0; i + 1 < points.size(); ++i) {
                const QLineF segment(svgPoint(points[i]), svgPoint(points[i + 1]));
                const QPointF cap = segment.length() > 0.0
                                        ? (segment.p2() - segment.p1()) * (0.5 / segment.length())
                                        : QPointF();
                lines.ends.push_back(segment.p1() - cap);
                lines.ends.push_back(segment.p2() + cap);
            }
        }
    }
    return lines;
}

// As on the screen, where the drawing is clipped, no line runs over the surface's border; SVG
// has no clip of its own.
void expectLinesInsideSurface(const QString& svg) {
    const SurfaceLines lines = surfaceLines(svg);
    constexpr double kSlack = 1e-3; // the file's rounding of coordinates
    const QRectF inside = QRectF(QPointF(), lines.area).adjusted(-kSlack, -kSlack, kSlack, kSlack);
    const auto outside = std::count_if(lines.ends.begin(), lines.ends.end(),
                                       [&](QPointF end) { return !inside.contains(end); });
    EXPECT_GT(lines.ends.size(), 400U); // the frame and two curves of 100 segments
    EXPECT_EQ(outside, 0) << "line ends outside the drawing area of " << lines.area.width() << " x "
                          << lines.area.height();
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
    // A spectrum of one point shows it as a square of 7 by 7 pixels in its curve's colour.
    const auto onePoint = [&](const std::string& command, const std::string& approved) {
        const std::string file = (folder.path() / (approved + ".png")).string();
        EXPECT_EQ(test::runProgram("QT_SCALE_FACTOR=1 veltrane " + command + " --plot " + file, {},
                                   folder.path())
                      .status,
                  0);
        const QImage image(QString::fromStdString(file));
        test::expectLooksLike(image, approved);
        return std::pair{pixelsOf(image, qRgb(0, 255, 0)), pixelsOf(image, qRgb(255, 0, 0))};
    };
    EXPECT_EQ(onePoint("multifractal 0.5 --weights 1 1", "multifractal-0.5-1-1"), std::pair(49, 0));
    EXPECT_EQ(onePoint("spectrum --exact 0.5", "exact-0.5"), std::pair(49, 49));

    const QString svg = QString::fromStdString(test::readFile(plot("c.svg").toStdString()));
    for (const char* part : {"viewBox=\"0 0 753 497\"", "stroke=\"#00ff00\"", "stroke=\"#ff0000\"",
                             "Spectral diagram of the map", "StepY=0.1"}) {
        EXPECT_TRUE(svg.contains(part)) << part;
    }
    // The baseline, the grid lines and the curves' ends stop at the surface's edge.
    const QString grid =
        QString::fromStdString(test::readFile(plot("g.svg", " --grid").toStdString()));
    expectLinesInsideSurface(svg);
    expectLinesInsideSurface(grid);
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
    test::Walk walk(store);
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
