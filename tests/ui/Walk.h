#pragma once

// The program's windows wired as at start (real graph window, real message boxes, the system
// printer), driven the way a user drives them. Every analysis the walk asks for is also run
// by the core on the same texts, so check() can tell whether the windows stored exactly that.
#include "Analyses.h"
#include "QtSupport.h"

#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>
#include <veltrane/internal/text.h>
#include <veltrane/text.h>
#include <veltrane/ui/StartUp.h>

namespace veltrane::test {

class Walk {
public:
    explicit Walk(classic::Module1& store) : m_store(store), m_reference(store), m_program(store) {
        m_program.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&main()));
    }

    ui::frmMain& main() { return m_program.mainWindow(); }
    graph::frmGraph1D* graph() { return m_program.graphHost().window(); }

    template <typename T = QWidget> static T* control(QWidget* window, const char* name) {
        T* found = window != nullptr ? window->findChild<T*>(QString::fromLatin1(name)) : nullptr;
        EXPECT_NE(found, nullptr) << name;
        return found;
    }
    static void click(QWidget* window, const char* button) {
        QTest::mouseClick(control<QPushButton>(window, button), Qt::LeftButton);
    }

    // Types the texts into the fields, clicks their Analyze button and runs the same analysis
    // in the core.
    void analyze(const std::string& c) {
        control<QLineEdit>(&main(), "txtC")->setText(QString::fromStdString(c));
        click(&main(), "cmd2branchs");
        analyse(c, m_reference, separator());
    }
    void analyze(const std::string& c1, const std::string& c2) {
        control<QLineEdit>(&main(), "txtC1")->setText(QString::fromStdString(c1));
        control<QLineEdit>(&main(), "txtC2")->setText(QString::fromStdString(c2));
        click(&main(), "cmd3branches");
        analyse(c1 + "|" + c2, m_reference, separator());
    }

    // Toggles the Grid box, then clicks Plot; either needs the graph window.
    void gridAndPlot() {
        if (graph() != nullptr) {
            QTest::mouseClick(control<QCheckBox>(graph(), "chbGrid"), Qt::LeftButton);
            click(graph(), "cmdPlot");
        }
    }
    void print() {
        if (graph() != nullptr) {
            click(graph(), "cmdPrint");
        }
    }
    void closeGraph() {
        if (graph() != nullptr) {
            graph()->close();
            EXPECT_TRUE(QTest::qWaitFor([this] { return graph() == nullptr; }));
        }
    }

    // The store holds what the core computed from the same texts, and one graph at the most.
    void check() const {
        ASSERT_TRUE(m_store.sameBits(m_reference));
        const QWidgetList windows = QApplication::topLevelWidgets();
        ASSERT_LE(std::count_if(windows.begin(), windows.end(),
                                [](QWidget* w) { return w->objectName() == "frmGraph1D"; }),
                  1);
    }

    ModalAnswerer answerer;

private:
    static std::string separator() { return internal::cLocaleDecimalSeparator(); }

    classic::Module1& m_store;
    classic::Module1 m_reference;
    ui::Program m_program;
};

} // namespace veltrane::test
