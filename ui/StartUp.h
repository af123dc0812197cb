#pragma once

#include "AnalyzeHandlers.h"
#include "GraphWindowHost.h"
#include "PictureDialog.h"
#include "QtMessageBox.h"
#include "SystemPrinter.h"
// Complete, so that graphHost().window() can be used as the QWidget it is.
#include "frmGraph1D.h"
#include "frmMain.h"

namespace veltrane {

// Shows a completed analysis in the graph window, whose pictures are then offered as
// "spectrum-0.3" or "spectrum-0.2-0.6" after the analysis's break points.
class GraphWindowPresenter : public SpectrumPresenter {
public:
    explicit GraphWindowPresenter(GraphWindowHost& host) : m_host(host) {}
    void show_spectrum(const AnalysisOutcome& outcome) override;

private:
    GraphWindowHost& m_host;
};

// The program's windows and the services they use, wired together on the one graph data
// store. Needs a QApplication. The main window is created hidden; show() shows it.
class Program {
public:
    explicit Program(Module1& store);

    void show();
    frmMain& mainWindow() { return m_main; }
    GraphWindowHost& graphHost() { return m_host; }

private:
    SystemPrinter m_printer;
    QtMessageBox m_graphMessages;
    PictureDialog m_pictures;
    GraphWindowHost m_host;
    GraphWindowPresenter m_presenter;
    frmMain m_main;
};

// The desktop program: creates the application on argc/argv, shows the main window and runs
// until the last window closes. Returns the exit status.
int runGui(int& argc, char** argv);

} // namespace veltrane
