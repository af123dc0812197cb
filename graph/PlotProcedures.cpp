#include "SingleText.h"

#include <cmath>
#include <string>
#include <veltrane/classic/Checked.h>
#include <veltrane/classic/Errors.h>
#include <veltrane/errors.h>
#include <veltrane/graph/PlotProcedures.h>

namespace veltrane::graph {
using namespace veltrane::classic;

using namespace checked;

void plot_grid(DrawingSurface& picBlackboard, std::int16_t gridValue, std::int16_t& loop_index) {
    DrawingSurface& pic = picBlackboard;
    const bool grid = gridValue == kGridTicked;

    pic.CurrentX(pic.ScaleLeft());
    pic.CurrentY(toSingle(sub(pic.Height(), kBaselineLift)));
    pic.Line(pic.Width(), 0.0F);

    // Vertical divisions are measured from x = 0 and rise from the baseline.
    for (loop_index = 1; loop_index <= kDivisions - 1; increment(loop_index)) {
        pic.CurrentX(toSingle(div(mul(loop_index, pic.Width()), kDivisions)));
        pic.CurrentY(toSingle(sub(pic.Height(), kBaselineLift)));
        if (grid) {
            pic.Line(0.0F, toSingle(sub(kBaselineLift, pic.Height())));
        } else {
            pic.Line(0.0F, -kVerticalTick);
        }
    }

    // Horizontal divisions are measured from the top and start at the left edge.
    for (loop_index = 1; loop_index <= kDivisions - 1; increment(loop_index)) {
        pic.CurrentY(toSingle(div(mul(loop_index, pic.Height()), kDivisions)));
        pic.CurrentX(pic.ScaleLeft());
        if (grid) {
            pic.Line(pic.Width(), 0.0F);
        } else {
            pic.Line(kHorizontalTick, 0.0F);
        }
    }
}

Rgb graphColour(int g) {
    switch (g) {
    case 1:
        return {0, 255, 0};
    case 2:
        return {255, 0, 0};
    case 3:
        return {0, 0, 255};
    default:
        throw classic::SubscriptError("graph colour " + std::to_string(g));
    }
}

namespace {

// a - 1 for a 16-bit value, overflowing below -32768 as 16-bit arithmetic does.
std::int16_t lessOne(std::int16_t a) {
    if (a == INT16_MIN) {
        raise(ErrorKind::Overflow, "16-bit subtraction");
    }
    return static_cast<std::int16_t>(a - 1);
}

void findRanges(const std::int16_t& num, const Module1& store, PlotVariables& v) {
    // Ten to the power 20 is exact in double; the ranges start beyond any plausible datum.
    const double start = finite(std::pow(10.0, 20.0), "power");
    v.MinX = toSingle(start);
    v.MinY = v.MinX;
    v.MaxX = toSingle(mul(start, -1.0));
    v.MaxY = v.MaxX;

    const std::int16_t lastGraph = num;
    for (v.loop_index = 1; v.loop_index <= lastGraph; increment(v.loop_index)) {
        const std::int16_t lastPoint = store.graph_n(v.loop_index);
        for (std::int16_t j = 0; j <= lastPoint; increment(j)) {
            const float x = store.graph_x(v.loop_index, j);
            const float y = store.graph_y(v.loop_index, j);
            if (x < v.MinX) {
                v.MinX = x;
            }
            if (y < v.MinY) {
                v.MinY = y;
            }
            if (x > v.MaxX) {
                v.MaxX = x;
            }
            if (y > v.MaxY) {
                v.MaxY = y;
            }
        }
    }
}

void writeRangeLabels(const PlotVariables& v, RangeCaptions& captions) {
    captions.setCaption(RangeLabel::MaxX, "MaxX=" + singleText(v.MaxX));
    captions.setCaption(RangeLabel::MinX, "MinX=" + singleText(v.MinX));
    captions.setCaption(RangeLabel::MaxY, "MaxY=" + singleText(v.MaxY));
    captions.setCaption(RangeLabel::MinY, "MinY=" + singleText(v.MinY));
    const float stepX = toSingle(div(sub(v.MaxX, v.MinX), kDivisions));
    captions.setCaption(RangeLabel::StepX, "StepX=" + singleText(stepX));
    const float stepY = toSingle(div(sub(v.MaxY, v.MinY), kDivisions));
    captions.setCaption(RangeLabel::StepY, "StepY=" + singleText(stepY));
}

// Surface units per data unit; an empty range gets the factor 1, so nothing divides by 0.
float scaleFactor(float extent, float min, float max) {
    return max != min ? toSingle(div(extent, sub(max, min))) : 1.0F;
}

void drawCurves(const std::int16_t& num, const Module1& store, DrawingSurface& pic,
                PlotVariables& v) {
    const float kx = scaleFactor(pic.Width(), v.MinX, v.MaxX);
    const float ky = scaleFactor(pic.Height(), v.MinY, v.MaxY);

    const std::int16_t lastGraph = num;
    for (v.loop_index = 1; v.loop_index <= lastGraph; increment(v.loop_index)) {
        const int g = v.loop_index;
        const std::int16_t lastSegment = lessOne(store.graph_n(g));
        for (std::int16_t j = 0; j <= lastSegment; increment(j)) {
            const float x0 = store.graph_x(g, j);
            const float y0 = store.graph_y(g, j);
            // The current point is set for every segment, so each one is placed on its own.
            pic.CurrentX(toSingle(mul(sub(x0, v.MinX), kx)));
            pic.CurrentY(toSingle(sub(pic.Height(), mul(sub(y0, v.MinY), ky))));
            const float dx = toSingle(mul(sub(store.graph_x(g, j + 1), x0), kx));
            const float dy = toSingle(mul(sub(store.graph_y(g, j + 1), y0), ky));
            // Data y grows upward, the surface's y downward.
            pic.Line(dx, -dy, graphColour(g));
        }
    }
}

// Where value lies on an axis of extent surface units: as plot_graphs maps it, or in the middle
// when the range is empty.
float markPosition(float value, float min, float max, float extent) {
    if (max == min) {
        return toSingle(div(extent, 2));
    }
    return toSingle(mul(sub(value, min), scaleFactor(extent, min, max)));
}

} // namespace

std::vector<PointMark> lonePointMarks(const std::int16_t& num, const Module1& store,
                                      const DrawingSurface& picBlackboard,
                                      const PlotVariables& vars) {
    const DrawingSurface& pic = picBlackboard;
    std::vector<PointMark> marks;
    for (std::int16_t g = 1; g <= num; increment(g)) {
        if (store.graph_n(g) != 0) {
            continue;
        }
        const float x = markPosition(store.graph_x(g, 0), vars.MinX, vars.MaxX, pic.Width());
        // Data y grows upward, the surface's y downward.
        const float up = markPosition(store.graph_y(g, 0), vars.MinY, vars.MaxY, pic.Height());
        marks.push_back({x, toSingle(sub(pic.Height(), up)), graphColour(g)});
    }
    return marks;
}

void plot_graphs(const std::int16_t& num, const Module1& store, DrawingSurface& picBlackboard,
                 RangeCaptions& captions, PlotVariables& vars) {
    findRanges(num, store, vars);
    writeRangeLabels(vars, captions);
    drawCurves(num, store, picBlackboard, vars);
}

} // namespace veltrane::graph
