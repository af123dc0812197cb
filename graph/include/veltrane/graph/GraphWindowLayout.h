#pragma once

#include <array>
#include <string_view>
#include <veltrane/graph/DrawingSurface.h>

namespace veltrane::graph {

enum class ControlKind { Label, Chip, PictureBox, CheckBox, Button };

// One control of the graph window: outer rectangle in twips from the top-left corner of the
// client area, its place in the tab order, and its caption when the window is created.
struct ControlLayout {
    std::string_view name;
    ControlKind kind;
    int left;
    int top;
    int width;
    int height;
    int tab;
    std::string_view caption;
};

// The graph window's fixed layout. Nothing moves or scales when the window is resized.
inline constexpr std::array<ControlLayout, 18> kGraphWindowLayout{{
    {"lblTitleMain", ControlKind::Label, 1680, 120, 6975, 375, 4, ""},
    {"picBlackboard", ControlKind::PictureBox, 240, 720, 8175, 4935, 0, ""},
    {"lblX", ControlKind::Label, 600, 5760, 4215, 255, 16, "lblX"},
    {"lblColor(0)", ControlKind::Chip, 600, 6120, 375, 375, 1, "Y1"},
    {"lblTitle(0)", ControlKind::Label, 1080, 6120, 3615, 375, 2, ""},
    {"lblColor(1)", ControlKind::Chip, 600, 6600, 375, 375, 3, "Y2"},
    {"lblTitle(1)", ControlKind::Label, 1080, 6600, 3615, 375, 5, ""},
    {"lblColor(2)", ControlKind::Chip, 600, 7080, 375, 375, 7, "Y3"},
    {"lblTitle(2)", ControlKind::Label, 1080, 7080, 3615, 375, 6, ""},
    {"lblMinX", ControlKind::Label, 8880, 720, 2415, 495, 9, "lblMinX"},
    {"lblMaxX", ControlKind::Label, 8880, 1200, 2415, 495, 10, "lblMaxX"},
    {"lblMinY", ControlKind::Label, 8880, 1800, 2415, 495, 11, "lblMinY"},
    {"lblMaxY", ControlKind::Label, 8880, 2400, 2415, 495, 12, "lblMaxY"},
    {"lblStepX", ControlKind::Label, 8880, 3000, 2415, 495, 13, "lblStepX"},
    {"lblStepY", ControlKind::Label, 8880, 3600, 2415, 255, 14, "lblStepY"},
    {"chbGrid", ControlKind::CheckBox, 8880, 4080, 1215, 255, 8, "    Grid"},
    {"cmdPlot", ControlKind::Button, 8880, 4560, 1215, 495, 17, "Plot"},
    {"cmdPrint", ControlKind::Button, 8880, 5160, 1215, 495, 15, "Print"},
}};

// The legend chips' fill colours, lblColor(0) to lblColor(2): darker than the curves.
inline constexpr std::array<Rgb, 3> kChipColours{{{0, 192, 0}, {192, 64, 0}, {0, 0, 192}}};

// The client area the controls need: they reach this far right and down. The window opens
// at this size rather than at its stored 4,680 x 5,010 twips, which would hide most of them.
inline constexpr int kClientWidthTwips = 11295;
inline constexpr int kClientHeightTwips = 7455;

inline constexpr std::string_view kGraphWindowCaption = "Graphs";

// What the window says about the graphs it shows: the title above the surface, the axis
// caption under it, and the legend's curve titles, one for each of graphs 1 to 3 shown.
struct GraphCaptions {
    std::string_view title;
    std::string_view axis;
    std::array<std::string_view, 3> curves;
    int curveCount;
};

// What show_spectrum writes.
inline constexpr GraphCaptions kSpectrumCaptions{"Spectral diagram of the map's phase space",
                                                 " X - Lyapunov exponent",
                                                 {"Entropy", "Fractal Dimension", ""},
                                                 2};

// The multifractal spectrum of a measure: f against α, one curve.
inline constexpr GraphCaptions kMultifractalCaptions{
    "Multifractal spectrum of the measure", "α - local dimension", {"f(α)", "", ""}, 1};

} // namespace veltrane::graph
