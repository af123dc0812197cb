#include <QAction>
#include <QCheckBox>
#include <QClipboard>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QImage>
#include <QLabel>
#include <QMimeData>
#include <QPainter>
#include <QPushButton>
#include <algorithm>
#include <vector>
#include <veltrane/classic/Fields.h>
#include <veltrane/classic/Module1.h>
#include <veltrane/errors.h>
#include <veltrane/graph/GraphWindowLayout.h>
#include <veltrane/graph/PictureBox.h>
#include <veltrane/graph/PictureExport.h>
#include <veltrane/graph/PictureFiles.h>
#include <veltrane/graph/frmGraph1D.h>
#include <veltrane/widgets/Accessibility.h>
#include <veltrane/widgets/ButtonKeys.h>
#include <veltrane/widgets/Printer.h>
#include <veltrane/widgets/WindowKeys.h>

namespace veltrane::graph {
using namespace veltrane::classic;

namespace {

QString text(std::string_view s) {
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

std::string runTimeErrorText(const RuntimeError& error) {
    return std::string("Run-time error: ") + error.what();
}

} // namespace

frmGraph1D::frmGraph1D(Module1& store, const GraphServices& services)
    : m_store(store), m_services(services), m_twips(services.dpi.value_or(logicalDpiX())) {
    widgets::installAccessibleRoles();
    setObjectName(QStringLiteral("frmGraph1D"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(text(kGraphWindowCaption));
    createControls();
    placeControls();
    resize(m_twips.edge(kClientWidthTwips), m_twips.edge(kClientHeightTwips));
    connect(m_cmdPlot, &QPushButton::clicked, this, &frmGraph1D::cmdPlot_Click);
    connect(m_cmdPrint, &QPushButton::clicked, this, &frmGraph1D::cmdPrint_Click);
    createShortcuts();
}

void frmGraph1D::createShortcuts() {
    const auto shortcut = [this](QKeySequence::StandardKey key, auto command) {
        auto* action = new QAction(this);
        action->setShortcuts(key);
        connect(action, &QAction::triggered, this, command);
        addAction(action);
    };
    shortcut(QKeySequence::Print, &frmGraph1D::cmdPrint_Click);
    shortcut(QKeySequence::Save, &frmGraph1D::savePicture);
    shortcut(QKeySequence::Copy, &frmGraph1D::copyPicture);
    widgets::addWindowKeys(*this);
    m_cmdPrint->setToolTip(
        QStringLiteral("Print (%1)")
            .arg(QKeySequence(QKeySequence::Print).toString(QKeySequence::NativeText)));
    widgets::clickOnEnter(*m_cmdPlot);
    widgets::clickOnEnter(*m_cmdPrint);
    m_chbGrid->setAccessibleName(QStringLiteral("Grid"));
    m_picBlackboard->setAccessibleName(QStringLiteral("Picture of the graphs"));
}

frmGraph1D::~frmGraph1D() = default;

void frmGraph1D::createControls() {
    const auto label = [this](std::string_view name) {
        auto* l = new QLabel(this);
        l->setObjectName(text(name));
        return l;
    };
    m_lblTitleMain = label("lblTitleMain");
    m_picBlackboard = new PictureBox(m_twips, this);
    m_picBlackboard->setObjectName(QStringLiteral("picBlackboard"));
    m_lblX = label("lblX");
    for (std::size_t i = 0; i < m_lblColor.size(); ++i) {
        const std::string index = "(" + std::to_string(i) + ")";
        m_lblColor[i] = label("lblColor" + index);
        m_lblTitle[i] = label("lblTitle" + index);
        QPalette chip = m_lblColor[i]->palette();
        const Rgb fill = kChipColours[i];
        chip.setColor(QPalette::Window, QColor(fill.red, fill.green, fill.blue));
        m_lblColor[i]->setPalette(chip);
        m_lblColor[i]->setAutoFillBackground(true);
    }
    m_lblMinX = label("lblMinX");
    m_lblMaxX = label("lblMaxX");
    m_lblMinY = label("lblMinY");
    m_lblMaxY = label("lblMaxY");
    m_lblStepX = label("lblStepX");
    m_lblStepY = label("lblStepY");
    m_chbGrid = new QCheckBox(this);
    m_chbGrid->setObjectName(QStringLiteral("chbGrid"));
    m_cmdPlot = new QPushButton(this);
    m_cmdPlot->setObjectName(QStringLiteral("cmdPlot"));
    m_cmdPrint = new QPushButton(this);
    m_cmdPrint->setObjectName(QStringLiteral("cmdPrint"));
    // Buttons act on a click only; Enter in the window does not press one.
    m_cmdPlot->setAutoDefault(false);
    m_cmdPrint->setAutoDefault(false);
}

void frmGraph1D::placeControls() {
    std::vector<const ControlLayout*> byTab;
    for (const ControlLayout& c : kGraphWindowLayout) {
        auto* w = findChild<QWidget*>(text(c.name), Qt::FindDirectChildrenOnly);
        const PixelRect r = m_twips.rect(c.left, c.top, c.width, c.height);
        w->setGeometry(r.left, r.top, r.width, r.height);
        if (auto* l = qobject_cast<QLabel*>(w)) {
            l->setText(text(c.caption));
        } else if (auto* b = qobject_cast<QAbstractButton*>(w)) {
            b->setText(text(c.caption));
        }
        byTab.push_back(&c);
    }
    // Labels hold a place in the tab order but never take focus, so the chain runs through
    // the surface, the Grid box and the buttons in their order.
    std::sort(byTab.begin(), byTab.end(),
              [](const ControlLayout* a, const ControlLayout* b) { return a->tab < b->tab; });
    QWidget* previous = nullptr;
    for (const ControlLayout* c : byTab) {
        auto* w = findChild<QWidget*>(text(c->name), Qt::FindDirectChildrenOnly);
        if (w->focusPolicy() == Qt::NoFocus) {
            continue;
        }
        if (previous != nullptr) {
            setTabOrder(previous, w);
        }
        previous = w;
    }
    m_picBlackboard->setFocus();
}

void frmGraph1D::setCaptions(const GraphCaptions& captions) {
    m_lblX->setText(text(captions.axis));
    m_lblTitleMain->setText(text(captions.title));
    for (int i = 0; i < captions.curveCount; ++i) {
        m_lblTitle[static_cast<std::size_t>(i)]->setText(
            text(captions.curves[static_cast<std::size_t>(i)]));
    }
    for (auto i = static_cast<std::size_t>(captions.curveCount); i < m_lblColor.size(); ++i) {
        m_lblColor[i]->hide();
    }
}

void frmGraph1D::redraw() {
    m_picBlackboard->Cls();
    // What Save picture draws again: the data and the Grid state of this drawing, whatever
    // the box or the store say later.
    m_drawn = {m_store, gridValue() == kGridTicked};
    try {
        plot_grid();
        plot_graphs(m_store.graph_count);
        if (m_services.markLonePoints) {
            markLonePoints();
        }
    } catch (const RuntimeError& error) {
        if (m_services.drawingError != nullptr) {
            m_services.drawingError->emplace(error);
        } else {
            m_services.messages.showMessage(runTimeErrorText(error));
        }
    }
    describePicture();
}

void frmGraph1D::describePicture() {
    QStringList curves;
    for (std::size_t i = 0; i < m_lblTitle.size(); ++i) {
        if (m_lblColor[i]->isVisibleTo(this) && !m_lblTitle[i]->text().isEmpty()) {
            curves << m_lblTitle[i]->text() + " in " + QStringList{"green", "red", "blue"}[int(i)];
        }
    }
    m_picBlackboard->setAccessibleDescription(
        QStringLiteral("%1: %2 against %3; %4, %5, %6, %7; %8.")
            .arg(m_lblTitleMain->text(), curves.join(QStringLiteral(" and ")),
                 m_lblX->text().trimmed(), m_lblMinX->text(), m_lblMaxX->text(), m_lblMinY->text(),
                 m_lblMaxY->text(),
                 gridValue() == kGridTicked ? QStringLiteral("grid lines")
                                            : QStringLiteral("ticks")));
}

void frmGraph1D::plot_grid() {
    veltrane::graph::plot_grid(*m_picBlackboard, gridValue(), m_vars.loop_index);
}

void frmGraph1D::plot_graphs(const std::int16_t& num) {
    veltrane::graph::plot_graphs(num, m_store, *m_picBlackboard, *this, m_vars);
}

void frmGraph1D::markLonePoints() {
    for (const PointMark& mark :
         lonePointMarks(m_store.graph_count, m_store, *m_picBlackboard, m_vars)) {
        m_picBlackboard->Mark(mark.x, mark.y, mark.colour);
    }
}

std::int16_t frmGraph1D::gridValue() const {
    switch (m_chbGrid->checkState()) {
    case Qt::Checked:
        return 1;
    case Qt::PartiallyChecked:
        return 2;
    case Qt::Unchecked:
        break;
    }
    return 0;
}

void frmGraph1D::setCaption(RangeLabel label, const std::string& caption) {
    QLabel* target = nullptr;
    switch (label) {
    case RangeLabel::MaxX:
        target = m_lblMaxX;
        break;
    case RangeLabel::MinX:
        target = m_lblMinX;
        break;
    case RangeLabel::MaxY:
        target = m_lblMaxY;
        break;
    case RangeLabel::MinY:
        target = m_lblMinY;
        break;
    case RangeLabel::StepX:
        target = m_lblStepX;
        break;
    case RangeLabel::StepY:
        target = m_lblStepY;
        break;
    }
    target->setText(QString::fromStdString(caption));
}

void frmGraph1D::cmdPlot_Click() {
    redraw();
}

void frmGraph1D::cmdPrint_Click() {
    const QImage page = grab().toImage();
    if (const auto failure = m_services.printer.print(page)) {
        m_services.messages.showMessage(*failure);
    }
}

void frmGraph1D::savePicture() {
    if (m_services.files == nullptr) {
        return;
    }
    if (const auto failure =
            m_services.files->save(*this, m_drawn.store, m_drawn.grid, m_pictureName)) {
        m_services.messages.showMessage(*failure);
    }
}

void frmGraph1D::copyPicture() {
    // As an image for office programs, at the screen's pixel ratio, and as SVG for vector
    // editors.
    auto* mime = new QMimeData; // the clipboard takes it over
    mime->setImageData(grab().toImage());
    mime->setData(QStringLiteral("image/svg+xml"), svgOf(*this));
    QGuiApplication::clipboard()->setMimeData(mime);
}

void frmGraph1D::renderClientArea(QPainter& painter) {
    m_picBlackboard->setVectorPainting(true);
    render(&painter, QPoint(), QRegion(), QWidget::DrawWindowBackground | QWidget::DrawChildren);
    m_picBlackboard->setVectorPainting(false);
}

void frmGraph1D::closeEvent(QCloseEvent* event) {
    QWidget::closeEvent(event);
    m_closing = event->isAccepted();
}

} // namespace veltrane::graph
