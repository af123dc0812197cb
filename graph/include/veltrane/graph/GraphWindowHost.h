#pragma once

#include <QPointer>
#include <optional>
#include <string>
#include <veltrane/errors.h>

namespace veltrane::classic {
class Module1;
} // namespace veltrane::classic

namespace veltrane::widgets {
class MessageSink;
class Printer;
} // namespace veltrane::widgets

namespace veltrane::graph {

struct GraphCaptions;
class PictureFiles;
class frmGraph1D;

// What the graph window uses besides the store. All must outlive it.
struct GraphServices {
    widgets::Printer& printer;      // where Print sends the page
    widgets::MessageSink& messages; // a failed print or save, a run-time error while drawing
    PictureFiles* files = nullptr;  // where Save picture goes; none: the command does nothing
    std::optional<double> dpi = {}; // the layout's resolution; the screen's when not given
    bool hidden = false;            // never shown: made only to draw pictures of
    bool markLonePoints = false;    // a graph of one point drawn as a small square, not left out
    // Where a run-time error while drawing goes instead of a message box: pictures for files.
    std::optional<RuntimeError>* drawingError = nullptr;
};

// Owns the one graph window of the program: show_spectrum creates it on first use and
// again after the user closed it (closing destroys it). The window has no owner window, so
// either window can be closed first.
class GraphWindowHost {
public:
    // store: the graph data store the window draws from; both must outlive the host.
    GraphWindowHost(classic::Module1& store, const GraphServices& services);
    // Closes nothing but deletes a window that is still open, as it refers to the host's
    // store, printer and message sink.
    ~GraphWindowHost();
    GraphWindowHost(const GraphWindowHost&) = delete;
    GraphWindowHost& operator=(const GraphWindowHost&) = delete;

    // Creates the window if needed, shows it modeless, sets its captions, hides the third
    // legend chip, clears the surface and draws the frame and the store's graphs.
    void show_spectrum();

    // The same for other graphs than the spectral diagram's, with their own captions.
    void show(const GraphCaptions& captions);

    // The window while it exists, otherwise nullptr. Defined out of line, so that callers
    // need not see frmGraph1D's definition.
    frmGraph1D* window() const;

    // The name the Save picture command suggests for what is shown next ("spectrum-0.3").
    void setPictureName(const std::string& name) { m_pictureName = name; }

private:
    classic::Module1& m_store;
    GraphServices m_services;
    std::string m_pictureName = "spectrum";
    QPointer<frmGraph1D> m_window;
};

} // namespace veltrane::graph
