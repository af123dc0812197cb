// Print against a real printer: a private CUPS scheduler with Debian's cups-pdf queue as the
// default printer. The printed PDF is rasterised with pdftoppm and searched for the curves
// and the frame.
#include "GraphWindowHost.h"
#include "PictureBox.h"
#include "PrivateCups.h"
#include "QtMessageBox.h"
#include "SystemPrinter.h"
#include "WindowTestSupport.h"
#include "frmGraph1D.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QPrinterInfo>
#include <QProcess>
#include <QTest>
#include <algorithm>
#include <vector>

namespace veltrane {
namespace {

test::PrivateCups* cups = nullptr; // the binary's one scheduler, set up in main

struct Counts {
    int green = 0;
    int red = 0;
    int longestDarkRun = 0; // along one row or one column
    QRect ink;              // bounding box of everything not paper-white
};

bool dark(QColor p) {
    return p.red() < 80 && p.green() < 80 && p.blue() < 80;
}

Counts inspect(const QImage& page) {
    Counts c;
    int top = page.height();
    int bottom = -1;
    int left = page.width();
    int right = -1;
    std::vector<int> columnRuns(static_cast<std::size_t>(page.width()), 0);
    for (int y = 0; y < page.height(); ++y) {
        int rowRun = 0;
        for (int x = 0; x < page.width(); ++x) {
            const QColor p = page.pixelColor(x, y);
            const int r = p.red();
            const int g = p.green();
            const int b = p.blue();
            c.green += g > 180 && r < 100 && b < 100 ? 1 : 0;
            c.red += r > 180 && g < 100 && b < 100 ? 1 : 0;
            int& columnRun = columnRuns[static_cast<std::size_t>(x)];
            rowRun = dark(p) ? rowRun + 1 : 0;
            columnRun = dark(p) ? columnRun + 1 : 0;
            c.longestDarkRun = std::max({c.longestDarkRun, rowRun, columnRun});
            if (r < 245 || g < 245 || b < 245) {
                top = std::min(top, y);
                bottom = std::max(bottom, y);
                left = std::min(left, x);
                right = std::max(right, x);
            }
        }
    }
    c.ink = QRect(QPoint(left, top), QPoint(right, bottom));
    return c;
}

QStringList pdfs(const QString& folder) {
    return QDir(folder).entryList({"*.pdf"}, QDir::Files);
}

class Printing : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(cups, nullptr);
        if (!cups->problem().isEmpty()) {
            // On a developer's machine without root the PDF backend cannot run; in CI, where
            // everything it needs is installed and the tests run as root, that is a failure.
            if (qEnvironmentVariableIsSet("CI")) {
                FAIL() << "no private print scheduler: " << cups->problem().toStdString();
            }
            GTEST_SKIP() << "no private print scheduler: " << cups->problem().toStdString();
        }
        test::runTwoBranchInto(store, "0.3");
    }

    Module1 store;
    SystemPrinter printer;
};

TEST_F(Printing, PrintPutsTheWindowOnTheDefaultPrinterScaledToFitThePage) {
    ASSERT_TRUE(cups->addPdfQueue()) << cups->problem().toStdString();
    ASSERT_EQ(QPrinterInfo::defaultPrinterName(), cups->queueName());
    test::RecordingMessages messages;
    GraphWindowHost host(store, printer, messages);
    host.show_spectrum();
    const QStringList before = pdfs(cups->outputFolder());

    QTest::mouseClick(host.window()->findChild<QPushButton*>("cmdPrint"), Qt::LeftButton);
    EXPECT_TRUE(messages.texts.empty()) << messages.texts.front();

    QStringList printed;
    const QDeadlineTimer deadline(120000);
    while (!deadline.hasExpired()) {
        printed = pdfs(cups->outputFolder());
        if (printed.size() > before.size() && !cups->hasPendingJobs()) {
            break;
        }
        QTest::qWait(50);
    }
    ASSERT_EQ(printed.size(), before.size() + 1) << "no PDF from the queue within the deadline";
    const QString pdf = QDir(cups->outputFolder()).filePath(printed.back());

    QProcess raster;
    const QString base = QDir(cups->outputFolder()).filePath("page");
    raster.start("pdftoppm", {"-r", "150", "-png", "-singlefile", pdf, base});
    ASSERT_TRUE(raster.waitForFinished(60000));
    const QImage page(base + ".png");
    ASSERT_FALSE(page.isNull());

    const Counts c = inspect(page);
    EXPECT_GT(c.green, 100) << "the entropy curve";
    EXPECT_GT(c.red, 100) << "the dimension curve";
    // The window's image, grey background included, keeps its aspect ratio and fills the
    // page along its long side; a wide image prints in landscape, which the queue may put
    // on the paper turned by a quarter.
    const int longInk = std::max(c.ink.width(), c.ink.height());
    const int shortInk = std::min(c.ink.width(), c.ink.height());
    EXPECT_NEAR(static_cast<double>(longInk) / shortInk, 753.0 / 497.0, 0.05);
    EXPECT_GT(longInk, std::max(page.width(), page.height()) * 8 / 10);
    // The baseline spans the surface, 545 of the window's 753 pixels.
    EXPECT_GT(c.longestDarkRun, longInk * 6 / 10) << "the frame's baseline";
}

TEST_F(Printing, WithoutAPrinterTheMessageSaysSoAndTheProgramGoesOn) {
    cups->removePdfQueue();
    ASSERT_TRUE(QPrinterInfo::defaultPrinterName().isEmpty());
    QtMessageBox messages;
    GraphWindowHost host(store, printer, messages);
    host.show_spectrum();
    frmGraph1D* window = host.window();
    const QImage before = window->grab().toImage();
    const QStringList printed = pdfs(cups->outputFolder());

    const test::ModalAnswerer answerer;
    QTest::mouseClick(window->findChild<QPushButton*>("cmdPrint"), Qt::LeftButton);
    ASSERT_EQ(answerer.seen().size(), 1U);
    EXPECT_EQ(answerer.seen()[0].title, "Veltrane");
    EXPECT_TRUE(answerer.seen()[0].text.contains("No printer"))
        << answerer.seen()[0].text.toStdString();

    ASSERT_EQ(host.window(), window);
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(window->grab().toImage(), before);
    QTest::mouseClick(window->findChild<QPushButton*>("cmdPlot"), Qt::LeftButton);
    EXPECT_EQ(window->picBlackboard().lineCount(), 219U);
    EXPECT_EQ(pdfs(cups->outputFolder()), printed);
}

} // namespace
} // namespace veltrane

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    // Started before any test touches Qt's print support, which reads CUPS_SERVER once.
    veltrane::test::PrivateCups scheduler;
    veltrane::cups = &scheduler;
    const int status = RUN_ALL_TESTS();
    veltrane::cups = nullptr;
    return status;
}
