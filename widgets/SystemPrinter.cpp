#include <QImage>
#include <QPageLayout>
#include <QPainter>
#include <QPrinter>
#include <QPrinterInfo>
#include <algorithm>
#include <veltrane/widgets/SystemPrinter.h>

namespace veltrane::widgets {

FitRect fitTopCentred(double imageWidth, double imageHeight, double areaWidth, double areaHeight) {
    if (imageWidth <= 0.0 || imageHeight <= 0.0) {
        return {};
    }
    const double scale = std::min(areaWidth / imageWidth, areaHeight / imageHeight);
    const double width = imageWidth * scale;
    return {(areaWidth - width) / 2.0, 0.0, width, imageHeight * scale};
}

std::optional<std::string> SystemPrinter::print(const QImage& page) {
    const QPrinterInfo info = QPrinterInfo::defaultPrinter();
    if (info.isNull()) {
        return "No printer is available, so the graph was not printed.";
    }
    const std::string name = info.printerName().toStdString();
    QPrinter printer(info, QPrinter::HighResolution);
    if (!printer.isValid()) {
        return "The printer " + name + " cannot be used, so the graph was not printed.";
    }
    printer.setDocName(QStringLiteral("Veltrane graph"));
    printer.setPageOrientation(page.width() > page.height() ? QPageLayout::Landscape
                                                            : QPageLayout::Portrait);

    QPainter painter;
    if (!painter.begin(&printer)) {
        return "The printer " + name + " could not start the page, so the graph was not printed.";
    }
    // The painter's viewport is the printable area in printer pixels.
    const QRect area = painter.viewport();
    const FitRect fit = fitTopCentred(page.width(), page.height(), area.width(), area.height());
    painter.drawImage(QRectF(fit.left, fit.top, fit.width, fit.height), page);
    if (!painter.end() || printer.printerState() == QPrinter::Error) {
        return "Printing on " + name + " failed.";
    }
    return std::nullopt;
}

} // namespace veltrane::widgets
