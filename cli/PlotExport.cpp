#include "PlotExport.h"

#include "Fields.h"
#include "GraphWindowHost.h"
#include "Module1.h"
#include "Printer.h"
#include "frmGraph1D.h"

#include <QApplication>
#include <QCheckBox>
#include <QFileInfo>
#include <QImage>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QSaveFile>
#include <QSvgGenerator>
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <memory>

namespace veltrane::cli {

namespace {

// Qt's chatter about the offscreen platform ("does not support raise()", the runtime
// folder) means nothing to someone exporting a picture; real failures are reported by the
// export itself. Critical and fatal messages still go through.
void quietHandler(QtMsgType type, const QMessageLogContext& context, const QString& text) {
    if (type == QtCriticalMsg || type == QtFatalMsg) {
        std::fprintf(stderr, "%s\n", qPrintable(qFormatLogMessage(type, context, text)));
    }
}

// A Qt application on the offscreen platform for the life of one export, unless the
// process already has one (tests, or a caller that started the windows).
class OffscreenApplication {
public:
    OffscreenApplication() : m_previousHandler(qInstallMessageHandler(quietHandler)) {
        if (QCoreApplication::instance() == nullptr) {
            // "-platform" wins over QT_QPA_PLATFORM, so no display is needed whatever the
            // environment says.
            m_app = std::make_unique<QApplication>(m_argc, m_argv.data());
        }
    }

    ~OffscreenApplication() {
        m_app.reset();
        qInstallMessageHandler(m_previousHandler);
    }

    OffscreenApplication(const OffscreenApplication&) = delete;
    OffscreenApplication& operator=(const OffscreenApplication&) = delete;

    bool usable() const { return qobject_cast<QApplication*>(QCoreApplication::instance()); }

private:
    std::array<char, 9> m_name{"veltrane"};
    std::array<char, 10> m_platformOption{"-platform"};
    std::array<char, 10> m_platform{"offscreen"};
    std::array<char*, 4> m_argv{m_name.data(), m_platformOption.data(), m_platform.data(), nullptr};
    int m_argc = 3;
    QtMessageHandler m_previousHandler;
    std::unique_ptr<QApplication> m_app;
};

// Nothing prints while exporting; a Print click is not possible here.
class NoPrinter : public Printer {
public:
    std::optional<std::string> print(const QImage&) override {
        return "No printer is used while exporting.";
    }
};

// Keeps the first message the window reports, a run-time error while drawing.
class FirstMessage : public MessageSink {
public:
    void showMessage(const std::string& text) override {
        if (!m_text) {
            m_text = text;
        }
    }
    const std::optional<std::string>& text() const { return m_text; }

private:
    std::optional<std::string> m_text;
};

std::string quoted(const QString& path) {
    return "\"" + path.toStdString() + "\"";
}

bool renderPng(frmGraph1D& window, QSaveFile& file, int dpi) {
    const double ratio = dpi / kStandardDpi;
    QImage image(window.size() * ratio, QImage::Format_RGB32);
    image.setDevicePixelRatio(ratio);
    const int dotsPerMetre = static_cast<int>(std::lround(dpi / 0.0254));
    image.setDotsPerMeterX(dotsPerMetre);
    image.setDotsPerMeterY(dotsPerMetre);
    image.fill(window.palette().color(QPalette::Window));
    {
        QPainter painter(&image);
        window.renderClientArea(painter);
    }
    return image.save(&file, "PNG");
}

bool renderSvg(frmGraph1D& window, QSaveFile& file) {
    QSvgGenerator svg;
    svg.setOutputDevice(&file);
    svg.setSize(window.size());
    svg.setViewBox(QRect(QPoint(), window.size()));
    svg.setResolution(static_cast<int>(kStandardDpi));
    svg.setTitle(window.windowTitle());
    svg.setDescription(QStringLiteral("Veltrane spectral diagram"));
    QPainter painter;
    if (!painter.begin(&svg)) {
        return false;
    }
    window.renderClientArea(painter);
    return painter.end();
}

bool renderPdf(frmGraph1D& window, QSaveFile& file) {
    QPdfWriter pdf(&file);
    pdf.setResolution(static_cast<int>(kStandardDpi));
    pdf.setTitle(window.windowTitle());
    pdf.setCreator(QStringLiteral("Veltrane"));
    // One page the size of the client area, without margins.
    const QSizeF points = QSizeF(window.size()) * (72.0 / kStandardDpi);
    pdf.setPageLayout(
        QPageLayout(QPageSize(points, QPageSize::Point), QPageLayout::Portrait, QMarginsF()));
    QPainter painter;
    if (!painter.begin(&pdf)) {
        return false;
    }
    window.renderClientArea(painter);
    return painter.end();
}

bool render(frmGraph1D& window, PictureFormat format, QSaveFile& file, int dpi) {
    switch (format) {
    case PictureFormat::Png:
        return renderPng(window, file, dpi);
    case PictureFormat::Svg:
        return renderSvg(window, file);
    case PictureFormat::Pdf:
        return renderPdf(window, file);
    }
    return false;
}

} // namespace

std::optional<PictureFormat> pictureFormat(const std::string& file) {
    const QString suffix = QFileInfo(QString::fromStdString(file)).suffix().toLower();
    if (suffix == QLatin1String("png")) {
        return PictureFormat::Png;
    }
    if (suffix == QLatin1String("svg")) {
        return PictureFormat::Svg;
    }
    if (suffix == QLatin1String("pdf")) {
        return PictureFormat::Pdf;
    }
    return std::nullopt;
}

std::optional<std::string> unknownPictureType(const std::string& file) {
    if (pictureFormat(file)) {
        return std::nullopt;
    }
    return "cannot write " + quoted(QString::fromStdString(file)) +
           ": the picture type is taken from the extension, which must be .png, .svg or .pdf";
}

std::optional<std::string> writePlot(Module1& store, const PlotRequest& request) {
    const QString path = QString::fromStdString(request.file);
    const auto format = pictureFormat(request.file);
    if (!format) {
        return unknownPictureType(request.file);
    }
    const OffscreenApplication app;
    if (!app.usable()) {
        return "cannot draw the picture: this process has no widget application";
    }

    NoPrinter printer;
    FirstMessage messages;
    GraphWindowHost host(store, printer, messages);
    host.show_spectrum();
    if (request.grid) {
        // As a user would: tick Grid, then the next analysis draws the full grid at once.
        host.window()->findChild<QCheckBox*>(QStringLiteral("chbGrid"))->setChecked(true);
        host.show_spectrum();
    }
    if (messages.text()) {
        return *messages.text();
    }

    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        return "cannot write " + quoted(path) + ": " + file.errorString().toStdString();
    }
    if (!render(*host.window(), *format, file, request.dpi)) {
        file.cancelWriting();
        return "cannot write " + quoted(path) + ": drawing the picture failed";
    }
    if (!file.commit()) {
        return "cannot write " + quoted(path) + ": " + file.errorString().toStdString();
    }
    return std::nullopt;
}

} // namespace veltrane::cli
