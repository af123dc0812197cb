#pragma once

#include "DrawingSurface.h"
#include "PlotProcedures.h"

#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace veltrane::test {

// One Line call: where it started, how far it went, in which colour (none: foreground).
struct RecordedLine {
    float x = 0.0F;
    float y = 0.0F;
    float dx = 0.0F;
    float dy = 0.0F;
    std::optional<Rgb> colour;
};

enum class SurfaceCall { Cls, CurrentX, CurrentY, Line };

// A drawing surface that records every call instead of drawing, with a fixed outer size
// (the window's 8175 x 4935 twips unless told otherwise).
class RecordingSurface : public DrawingSurface {
public:
    explicit RecordingSurface(float width = 8175.0F, float height = 4935.0F, float scaleLeft = 0.0F)
        : m_width(width), m_height(height), m_scaleLeft(scaleLeft) {}

    void Cls() override {
        calls.push_back(SurfaceCall::Cls);
        lines.clear();
        m_x = 0.0F;
        m_y = 0.0F;
    }
    void CurrentX(float x) override {
        calls.push_back(SurfaceCall::CurrentX);
        m_x = x;
    }
    void CurrentY(float y) override {
        calls.push_back(SurfaceCall::CurrentY);
        m_y = y;
    }
    void Line(float dx, float dy, std::optional<Rgb> colour) override {
        calls.push_back(SurfaceCall::Line);
        lines.push_back({m_x, m_y, dx, dy, colour});
        m_x += dx;
        m_y += dy;
    }
    float Width() const override { return m_width; }
    float Height() const override { return m_height; }
    float ScaleLeft() const override { return m_scaleLeft; }

    std::vector<RecordedLine> lines;
    std::vector<SurfaceCall> calls;

private:
    float m_width;
    float m_height;
    float m_scaleLeft;
    float m_x = 0.0F;
    float m_y = 0.0F;
};

// Range label captions in the order they were written.
class RecordingCaptions : public RangeCaptions {
public:
    void setCaption(RangeLabel label, const std::string& caption) override {
        written.emplace_back(label, caption);
    }
    std::vector<std::pair<RangeLabel, std::string>> written;
};

} // namespace veltrane::test
