#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <limits>
#include <veltrane/internal/text.h>
#include <veltrane/text.h>
#include <veltrane/ui/MainLayout.h>
#include <veltrane/ui/frmMain.h>
#include <veltrane/widgets/Accessibility.h>
#include <veltrane/widgets/ButtonKeys.h>
#include <veltrane/widgets/QtMessageBox.h>
#include <veltrane/widgets/WindowKeys.h>

namespace veltrane::ui {
using namespace veltrane::classic;
using namespace veltrane::graph;

namespace {

using mainlayout::ControlKind;
using mainlayout::ControlPlacement;

QString qstr(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QWidget* makeControl(const ControlPlacement& placement, QWidget* parent) {
    const QString text = qstr(placement.text);
    QWidget* control = nullptr;
    switch (placement.kind) {
    case ControlKind::Button: {
        auto* button = new QPushButton(text, parent);
        // Neither button is a default or cancel button; a focused one takes Enter as Space.
        button->setAutoDefault(false);
        button->setDefault(false);
        widgets::clickOnEnter(*button);
        control = button;
        break;
    }
    case ControlKind::TextBox: {
        auto* edit = new QLineEdit(text, parent);
        // The fields take any text of any length; the analyses judge it.
        edit->setMaxLength(std::numeric_limits<int>::max());
        control = edit;
        break;
    }
    case ControlKind::Label:
        control = new QLabel(text, parent);
        break;
    }
    control->setObjectName(qstr(placement.name));
    return control;
}

// The layout's widths were drawn for a narrower interface font than today's desktops use. A
// caption that would be cut off at its fixed width is set in a smaller size of the same
// font instead, so the geometry stays as laid out and the whole text shows.
void fitCaption(QLabel& label) {
    constexpr double kSmallestPointSize = 6.0;
    constexpr double kPointStep = 0.5;
    QFont font = label.font();
    if (font.pointSizeF() <= 0) {
        return; // a pixel-sized font: leave it to the platform
    }
    while (QFontMetrics(font).horizontalAdvance(label.text()) > label.contentsRect().width() &&
           font.pointSizeF() - kPointStep >= kSmallestPointSize) {
        font.setPointSizeF(font.pointSizeF() - kPointStep);
    }
    if (font != label.font()) {
        label.setFont(font);
    }
}

} // namespace

frmMain::frmMain(Module1& store, SpectrumPresenter& presenter, widgets::MessageSink* messages,
                 QWidget* parent)
    : QWidget(parent), m_store(store), m_presenter(presenter),
      m_ownMessages(messages ? nullptr : std::make_unique<widgets::QtMessageBox>(this)),
      m_messages(messages ? *messages : *m_ownMessages), m_scale(logicalDpiX()) {
    widgets::installAccessibleRoles();
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(QStringLiteral("Veltrane"));
    createControls();
    applyTabOrder();
    const PixelRect client =
        m_scale.rect(0, 0, mainlayout::kClientWidthTwips, mainlayout::kClientHeightTwips);
    resize(client.width, client.height);
    m_fields = std::make_unique<LineEditFields>(*m_txtC, *m_txtC1, *m_txtC2);
    m_cmd2branchs->setFocus();
    nameForScreenReaders();
    widgets::addWindowKeys(*this);
}

void frmMain::nameForScreenReaders() {
    m_txtC->setAccessibleName(QStringLiteral("C"));
    m_txtC1->setAccessibleName(QStringLiteral("C1"));
    m_txtC2->setAccessibleName(QStringLiteral("C2"));
    m_cmd2branchs->setAccessibleName(QStringLiteral("Analyze two-branch map"));
    m_cmd3branches->setAccessibleName(QStringLiteral("Analyze three-branch map"));
    // The labels in the sketches of the map families mark break points of drawings, which a
    // screen reader has no use for; Label1(6) and Label1(7) name the fields C1 and C2.
    for (QLabel* label : findChildren<QLabel*>()) {
        if (label->objectName().startsWith(QStringLiteral("Label1(")) &&
            label->objectName() != QStringLiteral("Label1(6)") &&
            label->objectName() != QStringLiteral("Label1(7)")) {
            widgets::markDecorative(*label);
        }
    }
}

frmMain::~frmMain() = default;

void frmMain::createControls() {
    for (const ControlPlacement& placement : mainlayout::kControls) {
        QWidget* control = makeControl(placement, this);
        const PixelRect r =
            m_scale.rect(placement.left, placement.top, placement.width, placement.height);
        control->setGeometry(r.left, r.top, r.width, r.height);
        if (auto* label = qobject_cast<QLabel*>(control)) {
            fitCaption(*label);
        }
    }
    m_cmd2branchs = findChild<QPushButton*>(QStringLiteral("cmd2branchs"));
    m_cmd3branches = findChild<QPushButton*>(QStringLiteral("cmd3branches"));
    m_txtC = findChild<QLineEdit*>(QStringLiteral("txtC"));
    m_txtC1 = findChild<QLineEdit*>(QStringLiteral("txtC1"));
    m_txtC2 = findChild<QLineEdit*>(QStringLiteral("txtC2"));
    connect(m_cmd2branchs, &QPushButton::clicked, this, [this] { cmd2branchs_Click(); });
    connect(m_cmd3branches, &QPushButton::clicked, this, [this] { cmd3branches_Click(); });
}

void frmMain::applyTabOrder() {
    // Each control after the one before it, walked without indices.
    QWidget* previous = nullptr;
    for (const std::string_view name : mainlayout::kTabOrder) {
        QWidget* const control = findChild<QWidget*>(qstr(name));
        if (previous != nullptr) {
            QWidget::setTabOrder(previous, control);
        }
        previous = control;
    }
}

void frmMain::paintEvent(QPaintEvent* /*event*/) {
    // The line controls: thin, solid, in the window's default text colour, under the other
    // controls.
    QPainter painter(this);
    painter.setPen(QPen(palette().color(QPalette::WindowText), 0));
    for (const mainlayout::LinePlacement& line : mainlayout::kLines) {
        painter.drawLine(m_scale.edge(line.x1), m_scale.edge(line.y1), m_scale.edge(line.x2),
                         m_scale.edge(line.y2));
    }
}

AnalyzeContext frmMain::context(const TextToSingle& toSingle) {
    return AnalyzeContext{m_store, toSingle, m_messages, m_presenter};
}

void frmMain::cmd2branchs_Click() {
    // The user's own decimal separator, the C library's as for the command line, is accepted
    // beside ".", read at the click.
    const DecimalTextToSingle toSingle(internal::cLocaleDecimalSeparator());
    veltrane::ui::cmd2branchs_Click(*m_fields, context(toSingle));
}

void frmMain::cmd3branches_Click() {
    const DecimalTextToSingle toSingle(internal::cLocaleDecimalSeparator());
    veltrane::ui::cmd3branches_Click(*m_fields, context(toSingle));
}

} // namespace veltrane::ui
