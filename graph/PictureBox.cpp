#include "PictureBox.h"

#include <QPainter>

namespace veltrane {

namespace {

const QColor kBackground(Qt::white);
// The button-text system colour of the standard schemes, the picture box's default.
const QColor kForeground(Qt::black);

} // namespace

PictureBox::PictureBox(TwipsScale scale, QWidget* parent) : QFrame(parent), m_scale(scale) {
    // The classic sunken client edge: a dark outer and a darker inner line at the top and
    // left, light lines at the bottom and right, two pixels in all.
    setFrameStyle(QFrame::WinPanel | QFrame::Sunken);
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
        for (const DrawnLine& line : m_lines) {
            drawLine(painter, line);
        }
        return;
    }
    painter.drawImage(area.topLeft(), image());
}

void PictureBox::drawLine(QPainter& painter, const DrawnLine& line) const {
    // One device-independent pixel wide, aliased: the frame and curves stay crisp.
    painter.setPen(QPen(line.colour, 1.0));
    painter.drawLine(QLineF(m_scale.toPixels(line.from.x()), m_scale.toPixels(line.from.y()),
                            m_scale.toPixels(line.to.x()), m_scale.toPixels(line.to.y())));
}

void PictureBox::rebuildImage() {
    const qreal ratio = devicePixelRatioF();
    m_image = QImage(contentsRect().size() * ratio, QImage::Format_RGB32);
    m_image.setDevicePixelRatio(ratio);
    m_image.fill(kBackground);
    QPainter painter(&m_image);
    for (const DrawnLine& line : m_lines) {
        drawLine(painter, line);
    }
}

} // namespace veltrane
