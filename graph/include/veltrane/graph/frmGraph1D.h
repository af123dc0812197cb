#pragma once

#include <QWidget>
#include <array>
#include <cstdint>
#include <veltrane/classic/Module1.h>
#include <veltrane/graph/GraphWindowHost.h>
#include <veltrane/graph/GraphWindowLayout.h>
#include <veltrane/graph/PlotProcedures.h>
#include <veltrane/graph/Twips.h>

class QCheckBox;
class QLabel;
class QPainter;
class QPushButton;

namespace veltrane::widgets {
class MessageSink;
class Printer;
} // namespace veltrane::widgets

namespace veltrane::graph {

class PictureBox;

// The graph window "Graphs": the drawing surface picBlackboard with frame and curves, six
// range labels, axis caption, title, legend, the Grid box and the Plot and Print buttons,
// each at its fixed twips position. A top-level window with no owner that deletes itself
// when closed; GraphWindowHost creates it.
//
// Run-time errors raised while drawing (Plot, and the drawing steps of show_spectrum) and a
// failed print are reported through the message sink; what was drawn before stays and the
// program goes on.
class frmGraph1D : public QWidget, private RangeCaptions {
    Q_OBJECT

public:
    // store: drawn by Plot; services: what the commands use. Both must outlive the window.
    frmGraph1D(classic::Module1& store, const GraphServices& services);
    ~frmGraph1D() override;

    // What show_spectrum writes before it draws: axis caption, title, curve titles, and the
    // chips of the graphs not shown hidden (for the spectral diagram, the third).
    void setCaptions(const GraphCaptions& captions);

    // The name Save picture suggests, without extension.
    void setPictureName(const std::string& name) { m_pictureName = name; }

    // Clears the surface and calls plot_grid and plot_graphs(graph_count): the Plot command
    // and the last steps of show_spectrum. Reports a run-time error and stops there.
    void redraw();

    // The window's own drawing procedures, on picBlackboard, the Grid box, the range labels
    // and the window's variables. They raise run-time errors to the caller.
    void plot_grid();
    void plot_graphs(const std::int16_t& num);

    // Renders the client area exactly as shown, with the surface's lines as vectors, onto a
    // painter whose device-independent pixels are the window's (scale it for other
    // resolutions).
    void renderClientArea(QPainter& painter);

    // The Grid box's value: 0 unticked, 1 ticked, 2 greyed.
    std::int16_t gridValue() const;

    // True once the window has accepted a close; it is then deleted at the next turn of the
    // event loop and must not be shown again.
    bool isClosing() const { return m_closing; }

    PictureBox& picBlackboard() const { return *m_picBlackboard; }
    const PlotVariables& variables() const { return m_vars; }

    // The scale the window converts its twips layout with: the screen's logical DPI when
    // the window was created.
    TwipsScale twipsScale() const { return m_twips; }

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void cmdPlot_Click();
    void cmdPrint_Click();
    // Ctrl+S and Ctrl+C: the picture into a file or onto the clipboard. Both give what the
    // window shows: Copy takes the window itself, Save draws the last drawing's data and Grid
    // state again, exactly as --plot would.
    void savePicture();
    void copyPicture();
    void createShortcuts();
    // Says in words what the picture shows, for screen readers.
    void describePicture();
    // The graphs of one point as small squares, for the pictures that ask for them.
    void markLonePoints();

    void setCaption(RangeLabel label, const std::string& caption) override;
    void createControls();
    void placeControls();

    classic::Module1& m_store;
    GraphServices m_services;
    std::string m_pictureName = "spectrum";
    TwipsScale m_twips;
    PlotVariables m_vars;
    bool m_closing = false;

    // The store and the Grid state the surface was last drawn from.
    struct Drawing {
        classic::Module1 store;
        bool grid = false;
    } m_drawn;

    QLabel* m_lblTitleMain = nullptr;
    PictureBox* m_picBlackboard = nullptr;
    QLabel* m_lblX = nullptr;
    std::array<QLabel*, 3> m_lblColor{};
    std::array<QLabel*, 3> m_lblTitle{};
    QLabel* m_lblMinX = nullptr;
    QLabel* m_lblMaxX = nullptr;
    QLabel* m_lblMinY = nullptr;
    QLabel* m_lblMaxY = nullptr;
    QLabel* m_lblStepX = nullptr;
    QLabel* m_lblStepY = nullptr;
    QCheckBox* m_chbGrid = nullptr;
    QPushButton* m_cmdPlot = nullptr;
    QPushButton* m_cmdPrint = nullptr;
};

} // namespace veltrane::graph
