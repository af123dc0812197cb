#pragma once

#include <QFrame>
#include <QImage>
#include <QLineF>
#include <QPointF>
#include <vector>
#include <veltrane/graph/DrawingSurface.h>
#include <veltrane/graph/Twips.h>

namespace veltrane::graph {

// The graph window's drawing surface picBlackboard: a picture box with the platform's
// sunken single border, white background and black foreground, drawn in twips through the
// current-point model of DrawingSurface. The origin is the top-left corner of the inner area;
// Width and Height are the outer size, border included.
//
// What is drawn persists until Cls: lines go into a backing image at the device pixel ratio
// (sharp on high-DPI screens) that every paint copies, so the drawing survives covering,
// hiding and moving and is part of grab() and of the printed window. The lines are also kept
// as a list, which rebuilds the image when the pixel ratio changes and lets picture export
// paint them as vectors.
class PictureBox : public QFrame, public DrawingSurface {
    Q_OBJECT

public:
    PictureBox(TwipsScale scale, QWidget* parent);

    void Cls() override;
    void CurrentX(float x) override { m_currentX = x; }
    void CurrentY(float y) override { m_currentY = y; }
    void Line(float dx, float dy, std::optional<Rgb> colour = std::nullopt) override;
    float Width() const override;
    float Height() const override;
    float ScaleLeft() const override { return 0.0F; }

    // A filled square kMarkPixels wide in colour, centred on (x, y) in twips but moved inward
    // as far as it must to lie whole inside the drawing area, so that a point on or beyond
    // the edge still shows. It persists until Cls, as lines do.
    void Mark(float x, float y, Rgb colour);
    static constexpr int kMarkPixels = 7; // device-independent pixels

    // The drawing area's persistent image, at the widget's device pixel ratio.
    const QImage& image();

    // Lines drawn since the last Cls.
    std::size_t lineCount() const { return m_lines.size(); }

    // While on, painting draws the lines as vectors at the painter's resolution instead of
    // copying the raster image: used when the window is rendered into an SVG, a PDF or a
    // picture at another resolution. For vector formats each line is cut to the drawing
    // area, caps included, as the screen's clip leaves it.
    void setVectorPainting(bool on) { m_vectorPainting = on; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    struct DrawnLine {
        QPointF from; // twips
        QPointF to;   // twips
        QColor colour;
    };

    struct DrawnMark {
        QPointF centre; // twips
        QColor colour;
    };

    QLineF inPixels(const DrawnLine& line) const;
    void drawLine(QPainter& painter, const DrawnLine& line) const;
    // The line cut to the drawing area: for painters that keep no clip of their own.
    void drawClippedLine(QPainter& painter, const DrawnLine& line) const;
    void drawMark(QPainter& painter, const DrawnMark& mark) const;
    // cutLines: each line cut to the drawing area, for painters that keep no clip.
    void drawAll(QPainter& painter, bool cutLines) const;
    bool imageFits() const; // allocated for the current size and device pixel ratio
    void rebuildImage();

    TwipsScale m_scale;
    float m_currentX = 0.0F;
    float m_currentY = 0.0F;
    std::vector<DrawnLine> m_lines;
    std::vector<DrawnMark> m_marks;
    QImage m_image;
    bool m_vectorPainting = false;
};

} // namespace veltrane::graph
