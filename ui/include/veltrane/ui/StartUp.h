#pragma once

#include <veltrane/graph/GraphWindowHost.h>
#include <veltrane/ui/AnalyzeHandlers.h>
#include <veltrane/ui/PictureDialog.h>
#include <veltrane/widgets/QtMessageBox.h>
#include <veltrane/widgets/SystemPrinter.h>
// Complete, so that graphHost().window() can be used as the QWidget it is.
#include <veltrane/graph/frmGraph1D.h>
#include <veltrane/ui/frmMain.h>

namespace veltrane::ui {

// Shows a completed analysis in the graph window, whose pictures are then offered as
// "spectrum-0.3" or "spectrum-0.2-0.6" after the analysis's break points.
class GraphWindowPresenter : public SpectrumPresenter {
public:
    explicit GraphWindowPresenter(graph::GraphWindowHost& host) : m_host(host) {}
    void show_spectrum(const classic::AnalysisOutcome& outcome) override;

private:
    graph::GraphWindowHost& m_host;
};

// The program's windows and the services they use, wired together on the one graph data
// store. Needs a QApplication. The main window is created hidden; show() shows it.
class Program {
public:
    explicit Program(classic::Module1& store);

    void show();
    frmMain& mainWindow() { return m_main; }
    graph::GraphWindowHost& graphHost() { return m_host; }

private:
    widgets::SystemPrinter m_printer;
    widgets::QtMessageBox m_graphMessages;
    PictureDialog m_pictures;
    graph::GraphWindowHost m_host;
    GraphWindowPresenter m_presenter;
    frmMain m_main;
};

// The desktop program: creates the application on argc/argv, shows the main window and runs
// until the last window closes. Returns the exit status.
int runGui(int& argc, char** argv);

} // namespace veltrane::ui
