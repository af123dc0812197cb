#include <QPaintEngine>
#include <QPainter>
#include <algorithm>
#include <array>
#include <cmath>
#include <optional>
#include <utility>
#include <veltrane/graph/PictureBox.h>
#include <veltrane/widgets/Accessibility.h>

namespace veltrane::graph {

namespace {

const QColor kBackground(Qt::white);
// The button-text system colour of the standard schemes, the picture box's default.
const QColor kForeground(Qt::black);
// One device-independent pixel wide, aliased: the frame and curves stay crisp.
constexpr double kPenWidth = 1.0;

// The part of the segment from a to b inside area, or nothing (Liang and Barsky's clipping).
std::optional<QLineF> clipped(QPointF a, QPointF b, const QRectF& area) {
    const QPointF d = b - a;
    double enter = 0.0;
    double leave = 1.0;
    // Each edge as p * t <= q, for the points a + t * d inside it.
    const std::array<std::pair<double, double>, 4> edges{{{-d.x(), a.x() - area.left()},
                                                          {d.x(), area.right() - a.x()},
                                                          {-d.y(), a.y() - area.top()},
                                                          {d.y(), area.bottom() - a.y()}}};
    for (const auto& [p, q] : edges) {
        if (p == 0.0) {
            if (q < 0.0) {
                return std::nullopt; // parallel to the edge and outside it
            }
        } else if (p < 0.0) {
            enter = std::max(enter, q / p);
        } else {
            leave = std::min(leave, q / p);
        }
    }
    if (enter > leave) {
        return std::nullopt;
    }
    return QLineF(a + enter * d, a + leave * d);
}

} // namespace

PictureBox::PictureBox(TwipsScale scale, QWidget* parent) : QFrame(parent), m_scale(scale) {
    // The classic sunken client edge: a dark outer and a darker inner line at the top and
    // left, light lines at the bottom and right, two pixels in all.
    setFrameStyle(QFrame::WinPanel | QFrame::Sunken);
    widgets::markImage(*this);
    QPalette colours = palette();
    colours.setColor(QPalette::Window, kBackground);
    colours.setColor(QPalette::WindowText, kForeground);
    setPalette(colours);
    setAutoFillBackground(true);
    // First in the tab order and focusable, though nothing reacts to keys or the mouse.
    setFocusPolicy(Qt::TabFocus);
}

void PictureBox::Cls() {
    m_lines.clear();
    m_marks.clear();
    m_currentX = 0.0F;
    m_currentY = 0.0F;
    rebuildImage();
    update();
}

void PictureBox::Line(float dx, float dy, std::optional<Rgb> colour) {
    const QPointF from(m_currentX, m_currentY);
    // The current point is a pair of singles.
    m_currentX += dx;
    m_currentY += dy;
    const DrawnLine line{from, QPointF(m_currentX, m_currentY),
                         colour ? QColor(colour->red, colour->green, colour->blue) : kForeground};
    m_lines.push_back(line);
    if (!imageFits()) {
        rebuildImage(); // draws the new line too
    } else {
        QPainter painter(&m_image);
        drawLine(painter, line);
    }
    update();
}

void PictureBox::Mark(float x, float y, Rgb colour) {
    const DrawnMark mark{QPointF(x, y), QColor(colour.red, colour.green, colour.blue)};
    m_marks.push_back(mark);
    if (!imageFits()) {
        rebuildImage();
    } else {
        QPainter painter(&m_image);
        drawMark(painter, mark);
    }
    update();
}

float PictureBox::Width() const {
    return static_cast<float>(m_scale.toTwips(width()));
}

float PictureBox::Height() const {
    return static_cast<float>(m_scale.toTwips(height()));
}

const QImage& PictureBox::image() {
    if (!imageFits()) {
        rebuildImage();
    }
    return m_image;
}

bool PictureBox::imageFits() const {
    const qreal ratio = devicePixelRatioF();
    return !m_image.isNull() && m_image.devicePixelRatio() == ratio &&
           m_image.size() == contentsRect().size() * ratio;
}

void PictureBox::paintEvent(QPaintEvent* event) {
    QFrame::paintEvent(event); // the border
    QPainter painter(this);
    const QRect area = contentsRect();
    painter.setClipRect(area);
    if (m_vectorPainting) {
        painter.fillRect(area, kBackground);
        painter.translate(area.topLeft());
        // A raster clips as the screen does; SVG files keep no clip, so for the vector
        // formats the lines are cut to the area here.
        drawAll(painter, painter.paintEngine()->type() != QPaintEngine::Raster);
        return;
    }
    painter.drawImage(area.topLeft(), image());
}

QLineF PictureBox::inPixels(const DrawnLine& line) const {
    return {m_scale.toPixels(line.from.x()), m_scale.toPixels(line.from.y()),
            m_scale.toPixels(line.to.x()), m_scale.toPixels(line.to.y())};
}

void PictureBox::drawLine(QPainter& painter, const DrawnLine& line) const {
    painter.setPen(QPen(line.colour, kPenWidth));
    painter.drawLine(inPixels(line));
}

void PictureBox::drawClippedLine(QPainter& painter, const DrawnLine& line) const {
    const QLineF whole = inPixels(line);
    const QRectF area(QPointF(), contentsRect().size());
    const double length = whole.length();
    if (length == 0.0) {
        if (area.contains(whole.p1())) {
            drawLine(painter, line);
        }
        return;
    }
    // The pen's square caps reach half its width past either end. The line with its caps is
    // cut to the area, then drawn short of the cut by the caps, which end on the area's edge.
    const QPointF cap = (whole.p2() - whole.p1()) * (kPenWidth / 2.0 / length);
    const std::optional<QLineF> cut = clipped(whole.p1() - cap, whole.p2() + cap, area);
    if (!cut || cut->length() < kPenWidth) {
        return;
    }
    painter.setPen(QPen(line.colour, kPenWidth));
    painter.drawLine(QLineF(cut->p1() + cap, cut->p2() - cap));
}

void PictureBox::drawMark(QPainter& painter, const DrawnMark& mark) const {
    const QSize area = contentsRect().size();
    const auto corner = [](double centre, int extent) {
        const double left = std::round(centre - kMarkPixels / 2.0);
        return std::clamp(left, 0.0, static_cast<double>(std::max(extent - kMarkPixels, 0)));
    };
    painter.fillRect(QRectF(corner(m_scale.toPixels(mark.centre.x()), area.width()),
                            corner(m_scale.toPixels(mark.centre.y()), area.height()), kMarkPixels,
                            kMarkPixels),
                     mark.colour);
}

void PictureBox::drawAll(QPainter& painter, bool cutLines) const {
    for (const DrawnLine& line : m_lines) {
        cutLines ? drawClippedLine(painter, line) : drawLine(painter, line);
    }
    for (const DrawnMark& mark : m_marks) {
        drawMark(painter, mark);
    }
}

void PictureBox::rebuildImage() {
    const qreal ratio = devicePixelRatioF();
    m_image = QImage(contentsRect().size() * ratio, QImage::Format_RGB32);
    m_image.setDevicePixelRatio(ratio);
    m_image.fill(kBackground);
    QPainter painter(&m_image);
    drawAll(painter, false);
}

} // namespace veltrane::graph
