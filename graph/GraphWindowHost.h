#pragma once

#include <QPointer>

namespace veltrane {

class Module1;
class MessageSink;
class Printer;
class frmGraph1D;

// Owns the one graph window of the program: show_spectrum creates it on first use and
// again after the user closed it (closing destroys it). The window has no owner window, so
// either window can be closed first.
class GraphWindowHost {
public:
    // store: the graph data store the window draws from. printer: where Print sends the
    // page. messages: where a failed print and a run-time error while drawing are reported.
    // All must outlive the host.
    GraphWindowHost(Module1& store, Printer& printer, MessageSink& messages);
    // Closes nothing but deletes a window that is still open, as it refers to the host's
    // store, printer and message sink.
    ~GraphWindowHost();
    GraphWindowHost(const GraphWindowHost&) = delete;
    GraphWindowHost& operator=(const GraphWindowHost&) = delete;

    // Creates the window if needed, shows it modeless, sets its captions, hides the third
    // legend chip, clears the surface and draws the frame and the store's graphs.
    void show_spectrum();

    // The window while it exists, otherwise nullptr. Defined out of line, so that callers
    // need not see frmGraph1D's definition.
    frmGraph1D* window() const;

private:
    Module1& m_store;
    Printer& m_printer;
    MessageSink& m_messages;
    QPointer<frmGraph1D> m_window;
};

} // namespace veltrane
