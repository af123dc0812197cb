#pragma once

#include <array>
#include <string_view>

// The fixed layout of the main window, in twips (1/1440 inch) from the top-left corner of the
// client area, y growing downward. Nothing here depends on Qt, so the tables can be checked
// without a display.
namespace veltrane::ui::mainlayout {

inline constexpr int kClientWidthTwips = 6990;
inline constexpr int kClientHeightTwips = 4215;

enum class ControlKind { Button, TextBox, Label };

struct ControlPlacement {
    std::string_view name; // the Qt object name, "Label1(6)" for element 6 of Label1
    ControlKind kind;
    int left;
    int top;
    int width;
    int height;
    std::string_view text; // initial caption or text
};

inline constexpr std::string_view kTwoBranchCaption =
    "2-branches' maps of interval [0,1] on to interval [0,1]";
inline constexpr std::string_view kThreeBranchCaption =
    "3-branches' maps of interval [0,1] on to interval [0,1]";

// In tab order first (the five controls that take focus), then the labels, which never do.
inline constexpr std::array<ControlPlacement, 17> kControls{{
    {"cmd2branchs", ControlKind::Button, 5280, 240, 1575, 495, "Analyze"},
    {"txtC", ControlKind::TextBox, 5280, 960, 1575, 285, "0.3"},
    {"cmd3branches", ControlKind::Button, 4560, 2760, 2295, 495, "Analyze"},
    {"txtC1", ControlKind::TextBox, 4560, 1920, 2295, 285, "0.2"},
    {"txtC2", ControlKind::TextBox, 4560, 2280, 2295, 285, "0.6"},
    {"Label1(0)", ControlKind::Label, 720, 840, 375, 255, "C"},
    {"Label1(1)", ControlKind::Label, 1800, 840, 375, 255, "C"},
    {"Label1(2)", ControlKind::Label, 2880, 840, 375, 255, "C"},
    {"Label1(3)", ControlKind::Label, 4320, 840, 375, 255, "C"},
    {"Label2", ControlKind::Label, 4920, 960, 255, 255, "C="},
    {"Label1(4)", ControlKind::Label, 960, 3240, 375, 255, "C1"},
    {"Label1(5)", ControlKind::Label, 1680, 3240, 375, 255, "C2"},
    {"Label3(0)", ControlKind::Label, 960, 1440, 3975, 255, kTwoBranchCaption},
    {"Label3(1)", ControlKind::Label, 1200, 3720, 3975, 255, kThreeBranchCaption},
    {"Label4", ControlKind::Label, 2760, 2880, 1215, 255, "and so on"},
    {"Label1(6)", ControlKind::Label, 4080, 1920, 375, 255, "C1"},
    {"Label1(7)", ControlKind::Label, 4080, 2280, 375, 255, "C2"},
}};

// The controls that take focus, in tab order; Tab from the last goes back to the first.
inline constexpr std::array<std::string_view, 5> kTabOrder{"cmd2branchs", "txtC", "cmd3branches",
                                                           "txtC1", "txtC2"};

struct LinePlacement {
    std::string_view name;
    int x1;
    int y1;
    int x2;
    int y2;
};

// The schematic drawings: frames A to E of the unit square, the graphs of the maps in them
// and the rules between the diagrams and the sections.
inline constexpr std::array<LinePlacement, 35> kLines{{
    {"Line1", 240, 840, 720, 240},      // A, first branch (rising)
    {"Line2", 720, 240, 960, 840},      // A, second branch (falling)
    {"Line3", 120, 1800, 6840, 1800},   // rule between the two sections
    {"Line4", 1320, 840, 1800, 240},    // B, first branch (rising)
    {"Line5", 1800, 840, 2040, 240},    // B, second branch (rising)
    {"Line6", 2520, 240, 2880, 840},    // C, first branch (falling)
    {"Line7", 2880, 840, 3360, 240},    // C, second branch (rising)
    {"Line8", 3840, 240, 4320, 840},    // D, first branch (falling)
    {"Line9", 4320, 240, 4680, 840},    // D, second branch (falling)
    {"Line10", 1200, 120, 1200, 1440},  // rule between A and B
    {"Line11", 2280, 120, 2280, 1440},  // rule between B and C
    {"Line12", 3720, 120, 3720, 1440},  // rule between C and D
    {"Line13", 480, 3120, 1080, 2040},  // E, first branch (rising)
    {"Line14", 1080, 2040, 1800, 3120}, // E, second branch (falling)
    {"Line15", 1800, 3120, 2160, 2040}, // E, third branch (rising)
    {"Line16", 240, 240, 240, 840},     // frame A, left
    {"Line17", 240, 840, 960, 840},     // frame A, bottom
    {"Line18", 960, 840, 960, 240},     // frame A, right
    {"Line19", 240, 240, 960, 240},     // frame A, top
    {"Line20", 1320, 240, 1320, 840},   // frame B, left
    {"Line21", 1320, 840, 2040, 840},   // frame B, bottom
    {"Line22", 2040, 240, 2040, 840},   // frame B, right
    {"Line23", 1320, 240, 2040, 240},   // frame B, top
    {"Line24", 480, 2040, 480, 3120},   // frame E, left
    {"Line25", 480, 3120, 2160, 3120},  // frame E, bottom
    {"Line26", 480, 2040, 2160, 2040},  // frame E, top
    {"Line27", 2160, 2040, 2160, 3120}, // frame E, right
    {"Line28", 2520, 240, 2520, 840},   // frame C, left
    {"Line29", 2520, 840, 3360, 840},   // frame C, bottom
    {"Line30", 3360, 240, 3360, 840},   // frame C, right
    {"Line31", 3360, 240, 2520, 240},   // frame C, top
    {"Line32", 3840, 240, 3840, 840},   // frame D, left
    {"Line33", 3840, 840, 4680, 840},   // frame D, bottom
    {"Line34", 3840, 240, 4680, 240},   // frame D, top
    {"Line35", 4680, 240, 4680, 840},   // frame D, right
}};

} // namespace veltrane::ui::mainlayout
