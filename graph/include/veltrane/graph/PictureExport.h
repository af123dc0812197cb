#pragma once

#include <QByteArray>
#include <optional>
#include <string>
#include <veltrane/graph/GraphWindowHost.h>
#include <veltrane/graph/GraphWindowLayout.h>
#include <veltrane/widgets/MessageSink.h>
#include <veltrane/widgets/Printer.h>

namespace veltrane::classic {
class Module1;
} // namespace veltrane::classic

namespace veltrane::graph {

class frmGraph1D;

// What a picture of the graph window shows besides the store's graphs.
struct PictureContent {
    bool grid = false; // the Grid box ticked before the drawing, as a user would tick it and
                       // analyse again
    GraphCaptions captions = kSpectrumCaptions;
    bool markLonePoints = false; // a graph of one point as a small square: see PictureBox::Mark
};

// The graph window as show_spectrum leaves it for a store, made but never shown, for pictures
// of it: on Qt's offscreen platform it needs no display. Needs a QApplication.
class OffscreenGraph {
public:
    // The window is laid out at 96 dots an inch, whatever the screen, so that its pictures are
    // the same everywhere.
    OffscreenGraph(classic::Module1& store, const PictureContent& content);
    frmGraph1D& window() const;

    // The run-time error raised while drawing, if one was.
    const std::optional<RuntimeError>& drawingError() const { return m_drawingError; }

private:
    // Nothing prints from a picture; a Print click is not possible here.
    struct NoPrinter : widgets::Printer {
        std::optional<std::string> print(const QImage&) override { return "not printed"; }
    } m_printer;
    // Nothing else is reported while drawing a picture.
    struct NoMessages : widgets::MessageSink {
        void showMessage(const std::string& /*text*/) override {}
    } m_messages;
    std::optional<RuntimeError> m_drawingError;
    GraphWindowHost m_host;
};

// The window's client area as picture files' bytes: a PNG raster at dpi dots per inch (96 is
// the window's own size), or vector SVG and PDF at the window's size with the surface's lines
// as lines and the labels as text.
QByteArray pngOf(frmGraph1D& window, int dpi);
QByteArray svgOf(frmGraph1D& window);
QByteArray pdfOf(frmGraph1D& window);

} // namespace veltrane::graph
