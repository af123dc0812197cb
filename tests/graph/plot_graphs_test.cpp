#include "PlotProcedures.h"
#include "RecordingSurface.h"
#include "RuntimeError.h"
#include "TwoBranch.h"

#include <gtest/gtest.h>
#include <limits>
#include <optional>

namespace veltrane {
namespace {

using test::RecordedLine;
using test::RecordingCaptions;
using test::RecordingSurface;

constexpr Rgb kGreen{0, 255, 0};
constexpr Rgb kRed{255, 0, 0};
constexpr Rgb kBlue{0, 0, 255};

Module1 twoBranchStore(const char* c) {
    Module1 store;
    const DecimalTextToSingle toSingle;
    const AnalysisOutcome outcome = runTwoBranch(FieldTexts{{Field::C, c}}, toSingle, store);
    EXPECT_EQ(outcome.status, Status::Completed);
    return store;
}

// A store with the given graphs, each a list of (x, y) points; graph_count is their number.
Module1 storeOf(const std::vector<std::vector<std::pair<float, float>>>& graphs) {
    Module1 store;
    for (std::size_t g = 0; g < graphs.size(); ++g) {
        const int k = static_cast<int>(g) + 1;
        for (std::size_t j = 0; j < graphs[g].size(); ++j) {
            store.graph_x(k, static_cast<int>(j)) = graphs[g][j].first;
            store.graph_y(k, static_cast<int>(j)) = graphs[g][j].second;
        }
        store.graph_n(k) = static_cast<std::int16_t>(static_cast<int>(graphs[g].size()) - 1);
    }
    store.graph_count = static_cast<std::int16_t>(graphs.size());
    return store;
}

struct Plot {
    RecordingSurface surface;
    RecordingCaptions captions;
    PlotVariables vars;
};

void plot(const Module1& store, Plot& p) {
    plot_graphs(store.graph_count, store, p.surface, p.captions, p.vars);
}

// The kind of run-time error plot_graphs raises; none when it completes.
std::optional<ErrorKind> plotFault(const Module1& store, Plot& p) {
    try {
        plot(store, p);
    } catch (const RuntimeError& error) {
        return error.kind();
    }
    return std::nullopt;
}

// plot_graphs after the two-branch analysis with C = 0.3.
class PlotGraphsCPoint3 : public testing::Test {
protected:
    void SetUp() override { plot(store, p); }
    const Module1 store = twoBranchStore("0.3");
    Plot p;
};

TEST_F(PlotGraphsCPoint3, GivesOneHundredSegmentsPerGraphInItsColour) {
    ASSERT_EQ(p.surface.lines.size(), 200U);
    for (std::size_t i = 0; i < 100; ++i) {
        EXPECT_EQ(p.surface.lines[i].colour, kGreen) << i;
        EXPECT_EQ(p.surface.lines[100 + i].colour, kRed) << i;
    }
    EXPECT_EQ(p.vars.loop_index, 3);
}

TEST_F(PlotGraphsCPoint3, LabelsReadInTheirOrder) {
    const std::vector<std::pair<RangeLabel, std::string>> expected{
        {RangeLabel::MaxX, "MaxX=1.203973"},
        {RangeLabel::MinX, "MinX=0.356675"},
        {RangeLabel::MaxY, "MaxY=1"},
        {RangeLabel::MinY, "MinY=0"},
        {RangeLabel::StepX, "StepX=0.08472978"},
        {RangeLabel::StepY, "StepY=0.1"}};
    EXPECT_EQ(p.captions.written, expected);
    EXPECT_EQ(p.vars.MinX, store.graph_x(1, 0));
    EXPECT_EQ(p.vars.MaxX, store.graph_x(1, 100));
}

TEST_F(PlotGraphsCPoint3, MapsTheDataRectangleOntoTheOuterSizeWithYReversed) {
    const auto& lines = p.surface.lines;
    const double kx = 8175.0 / (static_cast<double>(p.vars.MaxX) - p.vars.MinX);
    const double ky = 4935.0 / (static_cast<double>(p.vars.MaxY) - p.vars.MinY);
    for (int g = 1; g <= 2; ++g) {
        for (int j = 0; j < 100; ++j) {
            SCOPED_TRACE(testing::Message() << "graph " << g << " point " << j);
            const std::size_t index =
                static_cast<std::size_t>(g - 1) * 100 + static_cast<std::size_t>(j);
            const RecordedLine& line = lines[index];
            EXPECT_NEAR(line.x, (store.graph_x(g, j) - p.vars.MinX) * kx, 1e-3);
            EXPECT_NEAR(line.y, 4935.0 - (store.graph_y(g, j) - p.vars.MinY) * ky, 1e-3);
            EXPECT_NEAR(line.x + line.dx, (store.graph_x(g, j + 1) - p.vars.MinX) * kx, 2e-3);
            EXPECT_NEAR(line.y + line.dy, 4935.0 - (store.graph_y(g, j + 1) - p.vars.MinY) * ky,
                        2e-3);
        }
    }
    // Point 0 lies on the bottom-left corner of the outer size, point 100 on the bottom-right.
    EXPECT_EQ(lines.front().x, 0.0F);
    EXPECT_EQ(lines.front().y, 4935.0F);
    EXPECT_NEAR(lines[99].x + lines[99].dx, 8175.0F, 1e-3);
    EXPECT_NEAR(lines[99].y + lines[99].dy, 4935.0F, 1e-3);
    // The dimension reaches 1 at point 30, the top edge.
    EXPECT_NEAR(lines[130].y, 0.0F, 1e-3);
}

TEST(PlotGraphs, NumZeroDrawsNothingAndShowsTheStartValues) {
    const Module1 store = twoBranchStore("0.3");
    Plot p;
    const std::int16_t num = 0;
    plot_graphs(num, store, p.surface, p.captions, p.vars);
    EXPECT_TRUE(p.surface.lines.empty());
    const std::vector<std::pair<RangeLabel, std::string>> expected{
        {RangeLabel::MaxX, "MaxX=-1E+20"},   {RangeLabel::MinX, "MinX=1E+20"},
        {RangeLabel::MaxY, "MaxY=-1E+20"},   {RangeLabel::MinY, "MinY=1E+20"},
        {RangeLabel::StepX, "StepX=-2E+19"}, {RangeLabel::StepY, "StepY=-2E+19"}};
    EXPECT_EQ(p.captions.written, expected);
    EXPECT_EQ(p.vars.loop_index, 1);
}

TEST(PlotGraphs, OnePointGraphTakesPartInTheRangesButGetsNoSegment) {
    const Module1 store = storeOf({{{5.0F, 7.0F}}, {{1.0F, 1.0F}, {2.0F, 2.0F}}});
    Plot p;
    plot(store, p);
    ASSERT_EQ(p.surface.lines.size(), 1U);
    EXPECT_EQ(p.surface.lines[0].colour, kRed);
    EXPECT_EQ(p.vars.MaxX, 5.0F);
    EXPECT_EQ(p.vars.MaxY, 7.0F);
}

TEST(PlotGraphs, GraphWithNoPointIsIgnoredInBothPasses) {
    Module1 store = storeOf({{{100.0F, 100.0F}, {-100.0F, -100.0F}}, {{1.0F, 1.0F}, {2.0F, 3.0F}}});
    store.graph_n(1) = -1; // its stale points must not count
    Plot p;
    plot(store, p);
    ASSERT_EQ(p.surface.lines.size(), 1U);
    EXPECT_EQ(p.vars.MinX, 1.0F);
    EXPECT_EQ(p.vars.MaxX, 2.0F);
    EXPECT_EQ(p.vars.MinY, 1.0F);
    EXPECT_EQ(p.vars.MaxY, 3.0F);
    // The one segment spans the whole surface, bottom-left to top-right.
    EXPECT_EQ(p.surface.lines[0].x, 0.0F);
    EXPECT_EQ(p.surface.lines[0].y, 4935.0F);
    EXPECT_EQ(p.surface.lines[0].dx, 8175.0F);
    EXPECT_EQ(p.surface.lines[0].dy, -4935.0F);
}

TEST(PlotGraphs, ColourFollowsTheGraphIndexAlone) {
    const std::vector<std::pair<float, float>> points{{0.0F, 0.0F}, {1.0F, 1.0F}};
    const Module1 store = storeOf({points, points, points});
    Plot p;
    plot(store, p);
    ASSERT_EQ(p.surface.lines.size(), 3U);
    EXPECT_EQ(p.surface.lines[0].colour, kGreen);
    EXPECT_EQ(p.surface.lines[1].colour, kRed);
    EXPECT_EQ(p.surface.lines[2].colour, kBlue);
}

TEST(PlotGraphs, EqualAbscissaeGiveFactorOneAndStepXZero) {
    const Module1 store = storeOf({{{0.5F, 0.0F}, {0.5F, 1.0F}, {0.5F, 2.0F}}});
    Plot p;
    plot(store, p);
    ASSERT_EQ(p.surface.lines.size(), 2U);
    for (const RecordedLine& line : p.surface.lines) {
        EXPECT_EQ(line.x, 0.0F);
        EXPECT_EQ(line.dx, 0.0F);
    }
    EXPECT_EQ(p.captions.written[4].second, "StepX=0");
    EXPECT_EQ(p.captions.written[5].second, "StepY=0.2");
}

TEST(PlotGraphs, EqualOrdinatesGiveFactorOneAndLieOnTheOuterHeight) {
    const Module1 store = storeOf({{{1.0F, 0.25F}, {2.0F, 0.25F}, {3.0F, 0.25F}}});
    Plot p;
    plot(store, p);
    ASSERT_EQ(p.surface.lines.size(), 2U);
    for (const RecordedLine& line : p.surface.lines) {
        EXPECT_EQ(line.y, 4935.0F);
        EXPECT_EQ(line.dy, 0.0F);
    }
    EXPECT_EQ(p.surface.lines[1].x + p.surface.lines[1].dx, 8175.0F);
    EXPECT_EQ(p.captions.written[5].second, "StepY=0");
}

TEST(PlotGraphs, FourthGraphIsOutOfRangeBeforeAnyLabelOrLineChanges) {
    const std::vector<std::pair<float, float>> points{{0.0F, 0.0F}, {1.0F, 1.0F}};
    Module1 store = storeOf({points, {{-3.0F, 9.0F}}, points});
    store.graph_count = 4;
    Plot p;
    EXPECT_EQ(plotFault(store, p), ErrorKind::SubscriptOutOfRange);
    EXPECT_TRUE(p.captions.written.empty());
    EXPECT_TRUE(p.surface.calls.empty());
    // Graphs 1 to 3 were scanned when the scan reached graph 4.
    EXPECT_EQ(p.vars.loop_index, 4);
    EXPECT_EQ(p.vars.MinX, -3.0F);
    EXPECT_EQ(p.vars.MaxY, 9.0F);
}

TEST(PlotGraphs, PointIndexAbove100IsOutOfRangeDuringTheScan) {
    Module1 store = twoBranchStore("0.3");
    store.graph_n(2) = 101;
    Plot p;
    EXPECT_EQ(plotFault(store, p), ErrorKind::SubscriptOutOfRange);
    EXPECT_TRUE(p.captions.written.empty());
    EXPECT_TRUE(p.surface.lines.empty());
}

TEST(PlotGraphs, NonFiniteDatumEndsTheDrawingAndKeepsWhatWasDone) {
    Module1 store = twoBranchStore("0.3");
    store.graph_y(1, 50) = std::numeric_limits<float>::quiet_NaN();
    Plot p;
    EXPECT_EQ(plotFault(store, p), ErrorKind::InvalidOperation);
    EXPECT_EQ(p.captions.written.size(), 6U);
    // Segments 0 to 48 were drawn; segment 49 ends at the NaN.
    EXPECT_EQ(p.surface.lines.size(), 49U);
}

TEST(PlotGraphs, RangeTooNarrowForASingleScaleOverflowsAfterTheLabels) {
    const float tiny = std::numeric_limits<float>::denorm_min();
    const Module1 store = storeOf({{{0.0F, 0.0F}, {tiny, 1.0F}}});
    Plot p;
    EXPECT_EQ(plotFault(store, p), ErrorKind::Overflow) << "8175 / 1.4E-45 exceeds a single";
    ASSERT_EQ(p.captions.written.size(), 6U);
    EXPECT_EQ(p.captions.written[0].second, "MaxX=1.401298E-45");
    EXPECT_TRUE(p.surface.lines.empty());
}

} // namespace
} // namespace veltrane
