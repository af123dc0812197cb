#include "GraphWindowHost.h"
#include "GraphWindowLayout.h"
#include "PictureBox.h"
#include "SystemPrinter.h"
#include "WindowTestSupport.h"
#include "frmGraph1D.h"

#include <QCheckBox>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <memory>

namespace veltrane {
namespace {

using test::caption;
using test::child;
using test::colourNear;
using test::FakePrinter;
using test::RecordingMessages;

const QColor kGreen(0, 255, 0);
const QColor kRed(255, 0, 0);

std::vector<QString> rangeCaptions(const QWidget* window) {
    std::vector<QString> texts;
    for (const char* name : {"lblMinX", "lblMaxX", "lblMinY", "lblMaxY", "lblStepX", "lblStepY"}) {
        texts.push_back(caption(window, name));
    }
    return texts;
}

// True when one of the pixel columns [x - 1, x + 1] is black at row y of the surface image.
bool blackNear(const QImage& image, double x, int y) {
    for (int px = static_cast<int>(x) - 1; px <= static_cast<int>(x) + 1; ++px) {
        if (image.pixelColor(px, y) == QColor(Qt::black)) {
            return true;
        }
    }
    return false;
}

class GraphWindow : public ::testing::Test {
protected:
    void SetUp() override { test::runTwoBranchInto(store, "0.3"); }

    frmGraph1D* show() {
        host->show_spectrum();
        return host->window();
    }

    static void click(const frmGraph1D* window, const char* button) {
        QTest::mouseClick(child<QPushButton>(window, button), Qt::LeftButton);
    }

    static QImage surfaceImage(const frmGraph1D* window) {
        return window->picBlackboard().image().copy();
    }

    // x in surface pixels of the vertical division at i tenths of the outer width.
    static double divisionX(const frmGraph1D* window, int i) {
        return window->twipsScale().toPixels(i * 8175.0 / 10.0);
    }

    Module1 store;
    FakePrinter printer;
    RecordingMessages messages;
    std::unique_ptr<GraphWindowHost> host =
        std::make_unique<GraphWindowHost>(store, printer, messages);
};

TEST_F(GraphWindow, IsCreatedWithEveryControlAtItsTwipsPlace) {
    const frmGraph1D window(store, printer, messages);
    EXPECT_EQ(window.windowTitle(), "Graphs");
    EXPECT_EQ(window.parentWidget(), nullptr);
    EXPECT_TRUE(window.testAttribute(Qt::WA_DeleteOnClose));
    const TwipsScale scale = window.twipsScale();
    for (const ControlLayout& c : kGraphWindowLayout) {
        const QString name =
            QString::fromUtf8(c.name.data(), static_cast<qsizetype>(c.name.size()));
        SCOPED_TRACE(name.toStdString());
        auto* w = window.findChild<QWidget*>(name);
        ASSERT_NE(w, nullptr);
        EXPECT_EQ(w->parentWidget(), &window);
        const PixelRect r = scale.rect(c.left, c.top, c.width, c.height);
        EXPECT_EQ(w->geometry(), QRect(r.left, r.top, r.width, r.height));
        switch (c.kind) {
        case ControlKind::Label:
        case ControlKind::Chip:
            EXPECT_NE(qobject_cast<QLabel*>(w), nullptr);
            break;
        case ControlKind::PictureBox:
            EXPECT_NE(qobject_cast<PictureBox*>(w), nullptr);
            break;
        case ControlKind::CheckBox:
            EXPECT_NE(qobject_cast<QCheckBox*>(w), nullptr);
            break;
        case ControlKind::Button:
            EXPECT_NE(qobject_cast<QPushButton*>(w), nullptr);
            break;
        }
    }
    // At 96 DPI, in figures independent of the layout table.
    ASSERT_EQ(scale.dpi(), 96.0);
    EXPECT_EQ(window.size(), QSize(753, 497));
    EXPECT_EQ(window.picBlackboard().geometry(), QRect(16, 48, 545, 329));
    EXPECT_EQ(child(&window, "cmdPrint")->geometry(), QRect(592, 344, 81, 33));
    EXPECT_EQ(window.picBlackboard().Width(), 8175.0F);
    EXPECT_EQ(window.picBlackboard().Height(), 4935.0F);
    EXPECT_EQ(window.picBlackboard().ScaleLeft(), 0.0F);
}

TEST_F(GraphWindow, StartsWithDesignCaptionsAllChipsAndABlankBorderedSurface) {
    const frmGraph1D window(store, printer, messages);
    EXPECT_EQ(caption(&window, "lblX"), "lblX");
    EXPECT_EQ(rangeCaptions(&window), (std::vector<QString>{"lblMinX", "lblMaxX", "lblMinY",
                                                            "lblMaxY", "lblStepX", "lblStepY"}));
    EXPECT_EQ(caption(&window, "lblTitleMain"), "");
    EXPECT_EQ(child<QCheckBox>(&window, "chbGrid")->text(), "    Grid");
    EXPECT_EQ(child<QCheckBox>(&window, "chbGrid")->checkState(), Qt::Unchecked);
    EXPECT_EQ(caption(&window, "cmdPlot"), "Plot");
    EXPECT_EQ(caption(&window, "cmdPrint"), "Print");
    const std::array<QColor, 3> fills{QColor(0, 192, 0), QColor(192, 64, 0), QColor(0, 0, 192)};
    for (int i = 0; i < 3; ++i) {
        const std::string index = "(" + std::to_string(i) + ")";
        auto* chip = child<QLabel>(&window, ("lblColor" + index).c_str());
        EXPECT_EQ(chip->text(), QString("Y%1").arg(i + 1));
        EXPECT_TRUE(chip->autoFillBackground());
        EXPECT_EQ(chip->palette().color(QPalette::Window), fills[static_cast<std::size_t>(i)]);
        EXPECT_TRUE(chip->isVisibleTo(&window));
        EXPECT_EQ(caption(&window, ("lblTitle" + index).c_str()), "");
    }
    PictureBox& surface = window.picBlackboard();
    EXPECT_EQ(surface.frameShape(), QFrame::WinPanel);
    EXPECT_EQ(surface.frameShadow(), QFrame::Sunken);
    EXPECT_LT(surface.contentsRect().width(), surface.width());
    const QImage image = surface.image();
    EXPECT_EQ(image.size(), surface.contentsRect().size());
    for (int y = 0; y < image.height(); y += 7) {
        for (int x = 0; x < image.width(); x += 7) {
            ASSERT_EQ(image.pixelColor(x, y), QColor(Qt::white)) << x << "," << y;
        }
    }
}

TEST_F(GraphWindow, TabOrderRunsThroughTheFocusableControlsByTheirPlaces) {
    const frmGraph1D window(store, printer, messages);
    QStringList chain;
    QWidget* w = &window.picBlackboard();
    do {
        if (w->focusPolicy() != Qt::NoFocus && w->parentWidget() == &window) {
            chain << w->objectName();
        }
        w = w->nextInFocusChain();
    } while (w != &window.picBlackboard() && chain.size() < 20);
    EXPECT_EQ(chain, (QStringList{"picBlackboard", "chbGrid", "cmdPrint", "cmdPlot"}));
}

TEST_F(GraphWindow, ShowSpectrumShowsLabelsAndDrawsTheFrameAndBothCurves) {
    frmGraph1D* window = show();
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(window->isVisible());
    EXPECT_TRUE(window->isWindow());
    EXPECT_EQ(window->parentWidget(), nullptr);
    EXPECT_EQ(caption(window, "lblX"), " X - Lyapunov exponent");
    EXPECT_EQ(caption(window, "lblTitleMain"), "Spectral diagram of the map's phase space");
    EXPECT_EQ(caption(window, "lblTitle(0)"), "Entropy");
    EXPECT_EQ(caption(window, "lblTitle(1)"), "Fractal Dimension");
    EXPECT_EQ(caption(window, "lblTitle(2)"), "");
    EXPECT_TRUE(child(window, "lblColor(0)")->isVisible());
    EXPECT_TRUE(child(window, "lblColor(1)")->isVisible());
    EXPECT_FALSE(child(window, "lblColor(2)")->isVisible());
    EXPECT_EQ(rangeCaptions(window),
              (std::vector<QString>{"MinX=0.356675", "MaxX=1.203973", "MinY=0", "MaxY=1",
                                    "StepX=0.08472978", "StepY=0.1"}));
    EXPECT_EQ(window->picBlackboard().lineCount(), 19U + 200U);
    EXPECT_FALSE(child<QCheckBox>(window, "chbGrid")->isChecked());
    EXPECT_TRUE(messages.texts.empty());
    // Ticks, not grid lines: the first vertical division is blank halfway up.
    EXPECT_FALSE(blackNear(surfaceImage(window), divisionX(window, 1), 160));
}

TEST_F(GraphWindow, SecondAnalysisReusesTheOneWindow) {
    const QPointer<frmGraph1D> first = show();
    test::runThreeBranchInto(store, "0.2", "0.6");
    const frmGraph1D* second = show();
    EXPECT_EQ(first.data(), second);
    int windows = 0;
    for (QWidget* w : QApplication::topLevelWidgets()) {
        windows += qobject_cast<frmGraph1D*>(w) != nullptr ? 1 : 0;
    }
    EXPECT_EQ(windows, 1);
    EXPECT_NE(caption(second, "lblMaxX"), "MaxX=1.203973");
}

TEST_F(GraphWindow, CheckedGridDrawsAtOnceAndIsUncheckedAgainAfterCloseAndReopen) {
    QPointer<frmGraph1D> window = show();
    child<QCheckBox>(window, "chbGrid")->setChecked(true);
    show();
    EXPECT_TRUE(blackNear(surfaceImage(window), divisionX(window, 1), 160));

    window->close();
    EXPECT_TRUE(QTest::qWaitFor([&] { return window.isNull(); }, 5000));
    EXPECT_EQ(host->window(), nullptr);

    window = show();
    ASSERT_NE(window, nullptr);
    EXPECT_FALSE(child<QCheckBox>(window, "chbGrid")->isChecked());
    EXPECT_FALSE(blackNear(surfaceImage(window), divisionX(window, 1), 160));
}

TEST_F(GraphWindow, ShowAfterCloseBeforeTheDeletionMakesAFreshWindow) {
    const QPointer<frmGraph1D> closed = show();
    closed->close();
    const QPointer<frmGraph1D> fresh = show();
    EXPECT_NE(closed.data(), fresh.data());
    EXPECT_TRUE(QTest::qWaitFor([&] { return closed.isNull(); }, 5000));
    ASSERT_FALSE(fresh.isNull());
    EXPECT_TRUE(fresh->isVisible());
}

TEST_F(GraphWindow, TogglingGridChangesNothingUntilPlot) {
    frmGraph1D* window = show();
    const QImage ticks = surfaceImage(window);
    auto* grid = child<QCheckBox>(window, "chbGrid");
    QTest::mouseClick(grid, Qt::LeftButton);
    ASSERT_TRUE(grid->isChecked());
    QApplication::processEvents();
    EXPECT_EQ(surfaceImage(window), ticks);

    click(window, "cmdPlot");
    const QImage lines = surfaceImage(window);
    EXPECT_NE(lines, ticks);
    EXPECT_TRUE(blackNear(lines, divisionX(window, 5), 220));

    QTest::mouseClick(grid, Qt::LeftButton);
    EXPECT_EQ(surfaceImage(window), lines);
    click(window, "cmdPlot");
    EXPECT_EQ(surfaceImage(window), ticks);
}

TEST_F(GraphWindow, GreyedGridBoxDrawsTicks) {
    frmGraph1D* window = show();
    const QImage ticks = surfaceImage(window);
    auto* grid = child<QCheckBox>(window, "chbGrid");
    grid->setTristate(true);
    grid->setCheckState(Qt::PartiallyChecked);
    EXPECT_EQ(window->gridValue(), 2);
    click(window, "cmdPlot");
    EXPECT_EQ(surfaceImage(window), ticks);
}

TEST_F(GraphWindow, TwoPlotClicksGiveTheSamePictureAndLabels) {
    frmGraph1D* window = show();
    click(window, "cmdPlot");
    const QImage first = window->grab().toImage();
    const auto labels = rangeCaptions(window);
    click(window, "cmdPlot");
    EXPECT_EQ(window->grab().toImage(), first);
    EXPECT_EQ(rangeCaptions(window), labels);
    EXPECT_EQ(caption(window, "lblTitle(0)"), "Entropy");
    EXPECT_FALSE(child(window, "lblColor(2)")->isVisible());
}

TEST_F(GraphWindow, CurvesArePureGreenAndRedWhereTheMappingPutsThePoints) {
    frmGraph1D* window = show();
    const QImage image = surfaceImage(window);
    const PlotVariables& v = window->variables();
    const TwipsScale scale = window->twipsScale();
    const double kx = 8175.0 / (static_cast<double>(v.MaxX) - v.MinX);
    const double ky = 4935.0 / (static_cast<double>(v.MaxY) - v.MinY);
    const auto mapped = [&](int g, int j) {
        return QPointF(scale.toPixels((store.graph_x(g, j) - v.MinX) * kx),
                       scale.toPixels(4935.0 - (store.graph_y(g, j) - v.MinY) * ky));
    };
    for (const int j : {0, 30, 50, 100}) {
        for (const int g : {1, 2}) {
            SCOPED_TRACE(testing::Message() << "graph " << g << " point " << j);
            // Points 0 and 100 lie on the outer edges, under the border; there the curve is
            // looked for where its segment enters the visible area.
            const QPointF p =
                test::firstInside(image, mapped(g, j), mapped(g, j == 100 ? 99 : j + 1));
            EXPECT_TRUE(colourNear(image, p.x(), p.y(), g == 1 ? kGreen : kRed))
                << p.x() << "," << p.y();
        }
    }
}

TEST_F(GraphWindow, HidingMovingAndShowingKeepThePicture) {
    frmGraph1D* window = show();
    const QImage before = window->grab().toImage();
    window->hide();
    window->move(window->pos() + QPoint(40, 30));
    window->show();
    QApplication::processEvents();
    EXPECT_EQ(window->grab().toImage(), before);
    EXPECT_EQ(window->picBlackboard().lineCount(), 219U);
}

TEST_F(GraphWindow, RunTimeErrorInPlotIsReportedAndTheWindowGoesOn) {
    frmGraph1D* window = show();
    const auto labels = rangeCaptions(window);
    store.graph_count = 4;
    click(window, "cmdPlot");
    ASSERT_EQ(messages.texts.size(), 1U);
    EXPECT_NE(messages.texts[0].find("subscript out of range"), std::string::npos);
    EXPECT_EQ(rangeCaptions(window), labels);
    EXPECT_EQ(window->picBlackboard().lineCount(), 19U) << "the frame drawn before stays";

    store.graph_count = 2;
    click(window, "cmdPlot");
    EXPECT_EQ(window->picBlackboard().lineCount(), 219U);
    EXPECT_EQ(messages.texts.size(), 1U);
}

TEST_F(GraphWindow, RunTimeErrorInShowSpectrumLeavesTheWindowShownAndLabelled) {
    store.graph_count = 4;
    frmGraph1D* window = show();
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(caption(window, "lblTitleMain"), "Spectral diagram of the map's phase space");
    EXPECT_EQ(caption(window, "lblMaxX"), "lblMaxX");
    ASSERT_EQ(messages.texts.size(), 1U);
    EXPECT_EQ(window->picBlackboard().lineCount(), 19U);
}

TEST_F(GraphWindow, PrintSendsTheClientAreaExactlyAsShown) {
    frmGraph1D* window = show();
    click(window, "cmdPrint");
    ASSERT_EQ(printer.pages.size(), 1U);
    const QImage page = printer.pages[0].convertToFormat(QImage::Format_RGB32);
    EXPECT_EQ(page, window->grab().toImage().convertToFormat(QImage::Format_RGB32));
    EXPECT_EQ(page.size(), window->size() * window->devicePixelRatioF());
    // The hidden third chip is not on the page.
    const QRect chip = child(window, "lblColor(2)")->geometry();
    EXPECT_NE(page.pixelColor(chip.center()), QColor(0, 0, 192));
    EXPECT_EQ(page.pixelColor(child(window, "lblColor(0)")->geometry().center()),
              QColor(0, 192, 0));
    EXPECT_TRUE(messages.texts.empty());
}

TEST_F(GraphWindow, FailedPrintIsReportedAndNothingElseChanges) {
    frmGraph1D* window = show();
    printer.failure = "No printer is available, so the graph was not printed.";
    const QImage before = window->grab().toImage();
    click(window, "cmdPrint");
    EXPECT_EQ(messages.texts, std::vector<std::string>{*printer.failure});
    EXPECT_EQ(window->grab().toImage(), before);
}

TEST_F(GraphWindow, HostDeletesAWindowStillOpen) {
    QPointer<frmGraph1D> window;
    {
        GraphWindowHost local(store, printer, messages);
        local.show_spectrum();
        window = local.window();
        ASSERT_FALSE(window.isNull());
    }
    EXPECT_TRUE(window.isNull());
}

struct FitRow {
    const char* name;
    double imageWidth, imageHeight, areaWidth, areaHeight;
    FitRect expected;
};

class FitTopCentred : public ::testing::TestWithParam<FitRow> {};

TEST_P(FitTopCentred, KeepsTheAspectRatioAtTheTopCentredAcross) {
    const FitRow& r = GetParam();
    const FitRect fit = fitTopCentred(r.imageWidth, r.imageHeight, r.areaWidth, r.areaHeight);
    EXPECT_DOUBLE_EQ(fit.left, r.expected.left);
    EXPECT_DOUBLE_EQ(fit.top, r.expected.top);
    EXPECT_DOUBLE_EQ(fit.width, r.expected.width);
    EXPECT_DOUBLE_EQ(fit.height, r.expected.height);
}

INSTANTIATE_TEST_SUITE_P(
    Pages, FitTopCentred,
    ::testing::Values(FitRow{"wideImageFillsTheWidth", 753, 497, 1506, 2000, {0, 0, 1506, 994}},
                      FitRow{"tallAreaLimitedByHeight", 400, 200, 1000, 100, {400, 0, 200, 100}},
                      FitRow{"sameShapeFillsAll", 10, 5, 20, 10, {0, 0, 20, 10}},
                      FitRow{"emptyImageGivesNothing", 0, 0, 20, 10, {0, 0, 0, 0}}),
    [](const auto& row) { return std::string(row.param.name); });

} // namespace
} // namespace veltrane
