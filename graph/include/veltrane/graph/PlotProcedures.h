#pragma once

#include <cstdint>
#include <string>
#include <vector>
#include <veltrane/classic/Module1.h>
#include <veltrane/graph/DrawingSurface.h>

// The graph window's two drawing procedures, plot_grid and plot_graphs, free of any widget so
// that they run against a recording surface in the tests. Every arithmetic step is checked
// (veltrane::checked): a fault raises a RuntimeError that ends the procedure where it arose,
// leaving what was drawn or written before it; the caller reports it.
namespace veltrane::graph {

// The window's variables the procedures share. plot_graphs sets the four ranges afresh on
// every call; loop_index is the window's one loop counter, the division index in plot_grid
// and the graph index in plot_graphs.
struct PlotVariables {
    float MinX = 0.0F;
    float MaxX = 0.0F;
    float MinY = 0.0F;
    float MaxY = 0.0F;
    std::int16_t loop_index = 0;
};

// Fixed lengths of the frame, in surface units (twips).
inline constexpr float kBaselineLift = 70.0F;   // baseline above the outer bottom edge
inline constexpr float kVerticalTick = 70.0F;   // upward from the baseline
inline constexpr float kHorizontalTick = 50.0F; // rightward from the left edge
inline constexpr std::int16_t kDivisions = 10;  // parts per direction: nine division lines

// The Grid check box's value that asks for full grid lines; 0 (unticked) and 2 (greyed) give
// ticks.
inline constexpr std::int16_t kGridTicked = 1;

// Draws the baseline 70 units above the outer bottom edge across the full outer width, then
// nine vertical and nine horizontal divisions cutting the outer width and height into ten:
// ticks (70 units up from the baseline, 50 units right from the left edge), or, when
// gridValue is kGridTicked, lines from the baseline to the top and across the full width.
// Exactly 19 lines, all in the surface's foreground colour. Leaves loop_index at 10.
void plot_grid(DrawingSurface& picBlackboard, std::int16_t gridValue, std::int16_t& loop_index);

// The six range labels plot_graphs writes, in the order it writes them.
enum class RangeLabel { MaxX, MinX, MaxY, MinY, StepX, StepY };

// Where plot_graphs puts the labels' captions ("MaxX=1.203973" ...).
class RangeCaptions {
public:
    virtual ~RangeCaptions() = default;
    virtual void setCaption(RangeLabel label, const std::string& caption) = 0;
};

// The drawing colour of graph g: 1 pure green, 2 pure red, 3 pure blue. Any other index is
// out of range.
Rgb graphColour(int g);

// Finds the common ranges of graphs 1 to num (points 0 to graph_n of each), writes the six
// range labels, and draws each graph as graph_n segments in its colour, mapping MinX..MaxX
// onto 0..Width and MaxY..MinY onto 0..Height of the surface's outer size. num is read by
// reference, once before the scan and once before the drawing, as the callers pass the
// store's graph_count itself. A num above 3 or a graph_n above 100 raises subscript out of
// range during the scan, before any label or line changed.
void plot_graphs(const std::int16_t& num, const classic::Module1& store,
                 DrawingSurface& picBlackboard, RangeCaptions& captions, PlotVariables& vars);

// Where a picture marks a graph of a single point, to which plot_graphs draws no segment: the
// point's position in surface units (twips) as plot_graphs maps it, except that along an axis
// whose range is empty (every point on one value, which plot_graphs puts on the edge) it lies
// in the middle of the surface, and the graph's colour.
struct PointMark {
    float x = 0.0F;
    float y = 0.0F;
    Rgb colour;
};

// The marks of graphs 1 to num that hold one point, from the ranges plot_graphs left in vars;
// call it after plot_graphs on the same store and surface. Graphs of no point or of more are
// not marked. Raises the same run-time errors as plot_graphs for the same data.
std::vector<PointMark> lonePointMarks(const std::int16_t& num, const classic::Module1& store,
                                      const DrawingSurface& picBlackboard,
                                      const PlotVariables& vars);

} // namespace veltrane::graph
