// "veltrane spectrum ... --plot FILE": the program itself is run, without a display and with
// QT_QPA_PLATFORM naming X11, so the test also shows that the export needs no display.
#include "GraphWindowHost.h"
#include "WindowTestSupport.h"
#include "frmGraph1D.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QXmlStreamReader>

namespace veltrane {
namespace {

struct ProgramRun {
    int status = -1;
    QByteArray out;
    QByteArray err;
};

ProgramRun runProgram(const QStringList& arguments) {
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("DISPLAY"));
    env.remove(QStringLiteral("WAYLAND_DISPLAY"));
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    process.setProcessEnvironment(env);
    process.start(QStringLiteral(VELTRANE_BINARY), arguments);
    if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit) {
        process.kill();
        process.waitForFinished();
        return {};
    }
    return {process.exitCode(), process.readAllStandardOutput(), process.readAllStandardError()};
}

// Near-pure colours, for pictures that went through another renderer.
int countNear(const QImage& image, QColor colour) {
    int count = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = image.pixelColor(x, y);
            count += std::abs(c.red() - colour.red()) < 40 &&
                             std::abs(c.green() - colour.green()) < 40 &&
                             std::abs(c.blue() - colour.blue()) < 40
                         ? 1
                         : 0;
        }
    }
    return count;
}

class PlotExport : public ::testing::Test {
protected:
    QString path(const char* name) const { return dir.filePath(QString::fromLatin1(name)); }
    QStringList entries() const {
        return QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);
    }

    QTemporaryDir dir;
};

TEST_F(PlotExport, PngIsTheGraphWindowExactlyAsShowSpectrumLeavesIt) {
    const ProgramRun run = runProgram({"spectrum", "0.3", "--plot", path("graph.png")});
    ASSERT_EQ(run.status, 0) << run.err.toStdString();
    EXPECT_TRUE(run.out.isEmpty()) << "with --plot alone nothing goes to standard output";
    EXPECT_TRUE(run.err.isEmpty()) << run.err.toStdString();
    const QImage exported(path("graph.png"));
    ASSERT_FALSE(exported.isNull());

    // The same window in this process, on the same offscreen platform.
    Module1 store;
    test::runTwoBranchInto(store, "0.3");
    test::FakePrinter printer;
    test::RecordingMessages messages;
    GraphWindowHost host(store, printer, messages);
    host.show_spectrum();
    const QImage shown = host.window()->grab().toImage().convertToFormat(QImage::Format_RGB32);
    EXPECT_EQ(exported.size(), QSize(753, 497));
    EXPECT_EQ(exported.convertToFormat(QImage::Format_RGB32), shown);
    EXPECT_GT(test::countPixels(exported, qRgb(0, 255, 0)), 300);
    EXPECT_GT(test::countPixels(exported, qRgb(255, 0, 0)), 300);
}

TEST_F(PlotExport, PngAtTwiceTheResolutionWithGridLines) {
    const ProgramRun run =
        runProgram({"spectrum", "0.3", "--plot", path("grid.png"), "--grid", "--dpi", "192"});
    ASSERT_EQ(run.status, 0) << run.err.toStdString();
    const QImage image(path("grid.png"));
    ASSERT_EQ(image.size(), QSize(1506, 994));
    EXPECT_NEAR(image.dotsPerMeterX(), 192 / 0.0254, 1.0);
    // The surface starts at (16, 48) plus its two-pixel border; the fifth vertical grid line,
    // at 272.5 surface pixels, runs through the lower part of the surface.
    const int y = 2 * (50 + 280);
    bool black = false;
    for (int x = 2 * (18 + 271); x <= 2 * (18 + 274); ++x) {
        black = black || image.pixelColor(x, y) == QColor(Qt::black);
    }
    EXPECT_TRUE(black);
    EXPECT_GT(test::countPixels(image, qRgb(0, 255, 0)), 600);
}

TEST_F(PlotExport, SvgIsAVectorPictureWithTheLabelsAsText) {
    const ProgramRun run = runProgram({"spectrum", "0.2", "0.6", "--plot", path("graph.svg")});
    ASSERT_EQ(run.status, 0) << run.err.toStdString();
    QFile file(path("graph.svg"));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray svg = file.readAll();
    QXmlStreamReader xml(svg);
    ASSERT_TRUE(xml.readNextStartElement());
    EXPECT_EQ(xml.name(), QStringLiteral("svg"));
    EXPECT_EQ(xml.attributes().value(QStringLiteral("viewBox")), QStringLiteral("0 0 753 497"));
    // The style may paint button bevels from cached pixmaps; the surface is never a bitmap.
    int widestImage = 0;
    while (!xml.atEnd()) {
        if (xml.readNext() == QXmlStreamReader::StartElement &&
            xml.name() == QStringLiteral("image")) {
            widestImage =
                std::max(widestImage, xml.attributes().value(QStringLiteral("width")).toInt());
        }
    }
    EXPECT_FALSE(xml.hasError()) << xml.errorString().toStdString();
    EXPECT_LT(widestImage, 100);
    EXPECT_TRUE(svg.contains("stroke=\"#00ff00\""));
    EXPECT_TRUE(svg.contains("stroke=\"#ff0000\""));
    EXPECT_TRUE(svg.contains("Spectral diagram of the map"));
    EXPECT_TRUE(svg.contains("StepY="));
}

TEST_F(PlotExport, PdfIsOnePageWithTextAndBothCurves) {
    const ProgramRun run = runProgram({"spectrum", "0.3", "--plot", path("graph.pdf")});
    ASSERT_EQ(run.status, 0) << run.err.toStdString();
    QFile file(path("graph.pdf"));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_TRUE(file.read(5) == "%PDF-");

    QProcess text;
    text.start(QStringLiteral("pdftotext"), {path("graph.pdf"), QStringLiteral("-")});
    ASSERT_TRUE(text.waitForFinished(30000));
    const QByteArray words = text.readAllStandardOutput();
    EXPECT_TRUE(words.contains("MaxX=1.203973")) << words.toStdString();
    EXPECT_TRUE(words.contains("Fractal Dimension"));

    QProcess raster;
    raster.start(QStringLiteral("pdftoppm"),
                 {QStringLiteral("-r"), QStringLiteral("96"), QStringLiteral("-png"),
                  QStringLiteral("-singlefile"), path("graph.pdf"), path("page")});
    ASSERT_TRUE(raster.waitForFinished(30000));
    const QImage page(path("page.png"));
    ASSERT_FALSE(page.isNull());
    EXPECT_NEAR(page.width(), 753, 2);
    EXPECT_NEAR(page.height(), 497, 2);
    EXPECT_GT(countNear(page, QColor(0, 255, 0)), 200);
    EXPECT_GT(countNear(page, QColor(255, 0, 0)), 200);
}

TEST_F(PlotExport, CsvOrJsonOnStandardOutputOnlyWhenAsked) {
    ProgramRun run = runProgram({"spectrum", "0.3", "--plot", path("a.png"), "--csv"});
    ASSERT_EQ(run.status, 0);
    EXPECT_TRUE(run.out.startsWith("index,lyapunov,entropy,dimension\n0,"));
    run = runProgram({"spectrum", "0.3", "--plot", path("b.png"), "--json"});
    ASSERT_EQ(run.status, 0);
    EXPECT_TRUE(run.out.startsWith("{\"breakPoints\":[0.3]"));
    EXPECT_EQ(entries(), (QStringList{"a.png", "b.png"}));
}

struct BadTarget {
    const char* name;
    const char* target;      // relative to the test folder
    const char* prepare;     // "file" or "dir": made at this relative path beforehand
    const char* preparePath; // what prepare makes
    const char* message;
};

class PlotExportFailure : public PlotExport, public ::testing::WithParamInterface<BadTarget> {};

TEST_P(PlotExportFailure, ExitsWithTwoAndLeavesNoFile) {
    const BadTarget& bad = GetParam();
    if (QString::fromLatin1(bad.prepare) == "file") {
        QFile file(path(bad.preparePath));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    } else if (QString::fromLatin1(bad.prepare) == "dir") {
        ASSERT_TRUE(QDir(dir.path()).mkdir(QString::fromLatin1(bad.preparePath)));
    }
    const QStringList before = entries();
    const ProgramRun run = runProgram({"spectrum", "0.3", "--plot", path(bad.target)});
    EXPECT_EQ(run.status, 2);
    EXPECT_TRUE(run.out.isEmpty());
    EXPECT_TRUE(run.err.contains(bad.message)) << run.err.toStdString();
    EXPECT_EQ(entries(), before);
    if (QString::fromLatin1(bad.prepare) == "dir") {
        EXPECT_TRUE(QDir(path(bad.preparePath)).isEmpty());
    }
}

INSTANTIATE_TEST_SUITE_P(
    Targets, PlotExportFailure,
    ::testing::Values(
        BadTarget{"unknownExtension", "graph.jpg", "", "", ".png, .svg or .pdf"},
        BadTarget{"noExtension", "graph", "", "", ".png, .svg or .pdf"},
        BadTarget{"missingFolder", "missing/graph.png", "", "", "cannot write"},
        BadTarget{"folderIsAFile", "notes.txt/graph.svg", "file", "notes.txt", "cannot write"},
        BadTarget{"targetIsAFolder", "graph.pdf", "dir", "graph.pdf", "cannot write"}),
    [](const auto& row) { return std::string(row.param.name); });

TEST_F(PlotExport, RejectedValueWritesNoPicture) {
    const ProgramRun run = runProgram({"spectrum", "1.5", "--plot", path("graph.png")});
    EXPECT_EQ(run.status, 2);
    EXPECT_TRUE(run.err.contains("C must be >0 and <1"));
    EXPECT_TRUE(entries().isEmpty());
}

TEST_F(PlotExport, GridAndDpiNeedPlot) {
    EXPECT_EQ(runProgram({"spectrum", "0.3", "--grid"}).status, 2);
    EXPECT_EQ(runProgram({"spectrum", "0.3", "--dpi", "300"}).status, 2);
}

} // namespace
} // namespace veltrane
