#include <QBuffer>
#include <QCheckBox>
#include <QImage>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QSvgGenerator>
#include <cmath>
#include <veltrane/graph/PictureExport.h>
#include <veltrane/graph/Twips.h>
#include <veltrane/graph/frmGraph1D.h>

namespace veltrane::graph {
using namespace veltrane::classic;

OffscreenGraph::OffscreenGraph(Module1& store, const PictureContent& content)
    : m_host(store, {m_printer, m_messages, nullptr, kStandardDpi, true, content.markLonePoints,
                     &m_drawingError}) {
    m_host.show(content.captions);
    if (content.grid) {
        window().findChild<QCheckBox*>(QStringLiteral("chbGrid"))->setChecked(true);
        m_host.show(content.captions);
    }
}

frmGraph1D& OffscreenGraph::window() const {
    return *m_host.window();
}

QByteArray pngOf(frmGraph1D& window, int dpi) {
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
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

QByteArray svgOf(frmGraph1D& window) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QSvgGenerator svg;
    svg.setOutputDevice(&buffer);
    svg.setSize(window.size());
    svg.setViewBox(QRect(QPoint(), window.size()));
    svg.setResolution(static_cast<int>(kStandardDpi));
    svg.setTitle(window.windowTitle());
    svg.setDescription(QStringLiteral("Veltrane spectral diagram"));
    QPainter painter(&svg);
    window.renderClientArea(painter);
    painter.end();
    return bytes;
}

QByteArray pdfOf(frmGraph1D& window) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QPdfWriter pdf(&buffer);
    pdf.setResolution(static_cast<int>(kStandardDpi));
    pdf.setTitle(window.windowTitle());
    pdf.setCreator(QStringLiteral("Veltrane"));
    // One page the size of the client area, without margins.
    const QSizeF points = QSizeF(window.size()) * (72.0 / kStandardDpi);
    pdf.setPageLayout(
        QPageLayout(QPageSize(points, QPageSize::Point), QPageLayout::Portrait, QMarginsF()));
    QPainter painter(&pdf);
    window.renderClientArea(painter);
    painter.end();
    return bytes;
}

} // namespace veltrane::graph
