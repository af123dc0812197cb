#pragma once

#include <QWidget>
#include <memory>
#include <veltrane/graph/Twips.h>
#include <veltrane/ui/AnalyzeHandlers.h>
#include <veltrane/ui/LineEditFields.h>

class QLineEdit;
class QPushButton;

namespace veltrane::ui {

// The main window: the break-point fields, the two Analyze buttons and the schematic
// drawings of the two map families, at their fixed twips positions. Nothing moves when the
// window is resized. The window only reads its fields; each Analyze click runs its analysis
// on store and presents the outcome through presenter, or in a message box.
class frmMain : public QWidget {
public:
    // messages: where refusals and run-time errors are reported; nullptr means a message
    // box over this window. store, presenter and messages must outlive the window.
    frmMain(classic::Module1& store, SpectrumPresenter& presenter,
            widgets::MessageSink* messages = nullptr, QWidget* parent = nullptr);
    ~frmMain() override;

    // The twips-to-pixels conversion the layout was made with (the screen's logical DPI).
    const graph::TwipsScale& scale() const { return m_scale; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void createControls();
    void nameForScreenReaders();
    void applyTabOrder();
    void cmd2branchs_Click();
    void cmd3branches_Click();
    AnalyzeContext context(const classic::TextToSingle& toSingle);

    classic::Module1& m_store;
    SpectrumPresenter& m_presenter;
    std::unique_ptr<widgets::MessageSink> m_ownMessages;
    widgets::MessageSink& m_messages;
    graph::TwipsScale m_scale;
    QPushButton* m_cmd2branchs = nullptr;
    QPushButton* m_cmd3branches = nullptr;
    QLineEdit* m_txtC = nullptr;
    QLineEdit* m_txtC1 = nullptr;
    QLineEdit* m_txtC2 = nullptr;
    std::unique_ptr<LineEditFields> m_fields;
};

} // namespace veltrane::ui
