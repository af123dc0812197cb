#include "PlotProcedures.h"
#include "RecordingSurface.h"

#include <array>
#include <gtest/gtest.h>

namespace veltrane {
namespace {

using test::RecordedLine;
using test::RecordingSurface;
using test::SurfaceCall;

// The division lines of the 8175 x 4935 surface, exact in single precision.
constexpr std::array<float, 9> kVerticalX{817.5F,  1635.0F, 2452.5F, 3270.0F, 4087.5F,
                                          4905.0F, 5722.5F, 6540.0F, 7357.5F};
constexpr std::array<float, 9> kHorizontalY{493.5F,  987.0F,  1480.5F, 1974.0F, 2467.5F,
                                            2961.0F, 3454.5F, 3948.0F, 4441.5F};

void expectLine(const RecordedLine& line, float x, float y, float dx, float dy) {
    EXPECT_EQ(line.x, x);
    EXPECT_EQ(line.y, y);
    EXPECT_EQ(line.dx, dx);
    EXPECT_EQ(line.dy, dy);
    EXPECT_FALSE(line.colour.has_value()) << "frame lines use the foreground colour";
}

std::vector<RecordedLine> gridLines(std::int16_t gridValue,
                                    RecordingSurface surface = RecordingSurface()) {
    std::int16_t loopIndex = 0;
    plot_grid(surface, gridValue, loopIndex);
    EXPECT_EQ(loopIndex, 10) << "the shared counter is left one past the last division";
    // The current point is set before every line, and the surface is never cleared.
    EXPECT_EQ(surface.calls.size(), surface.lines.size() * 3);
    for (std::size_t i = 0; i + 2 < surface.calls.size(); i += 3) {
        EXPECT_NE(surface.calls[i], SurfaceCall::Line);
        EXPECT_NE(surface.calls[i + 1], SurfaceCall::Line);
        EXPECT_EQ(surface.calls[i + 2], SurfaceCall::Line);
    }
    return surface.lines;
}

struct GridRow {
    const char* name;
    std::int16_t gridValue;
    float verticalDy;   // ticks 70 up from the baseline, grid lines up to the top
    float horizontalDx; // ticks 50 in from the left, grid lines across the full width
};

class PlotGrid : public testing::TestWithParam<GridRow> {};

TEST_P(PlotGrid, DrawsTheBaselineAndNineDivisionsEachWay) {
    const GridRow& row = GetParam();
    const auto lines = gridLines(row.gridValue);
    ASSERT_EQ(lines.size(), 19U);
    expectLine(lines[0], 0.0F, 4865.0F, 8175.0F, 0.0F);
    for (std::size_t i = 0; i < 9; ++i) {
        SCOPED_TRACE(i + 1);
        expectLine(lines[1 + i], kVerticalX[i], 4865.0F, 0.0F, row.verticalDy);
        expectLine(lines[10 + i], 0.0F, kHorizontalY[i], row.horizontalDx, 0.0F);
    }
}

INSTANTIATE_TEST_SUITE_P(Rows, PlotGrid,
                         testing::Values(GridRow{"unchecked", 0, -70.0F, 50.0F},
                                         GridRow{"checked", kGridTicked, -4865.0F, 8175.0F},
                                         GridRow{"greyedTwoDrawsTicks", 2, -70.0F, 50.0F}),
                         [](const auto& row) { return std::string(row.param.name); });

TEST(PlotGridOrigin, VerticalDivisionsCountFromZeroWhileHorizontalOnesStartAtScaleLeft) {
    const auto lines = gridLines(0, RecordingSurface(8175.0F, 4935.0F, 100.0F));
    ASSERT_EQ(lines.size(), 19U);
    EXPECT_EQ(lines[0].x, 100.0F);
    EXPECT_EQ(lines[1].x, 817.5F);
    EXPECT_EQ(lines[10].x, 100.0F);
}

TEST(PlotGridOrigin, RoundsEachDivisionOnceFromTheDoubleProduct) {
    // 1000.1 is not exact in single; the division is formed in double and rounded once.
    const float width = 1000.1F;
    const auto lines = gridLines(0, RecordingSurface(width, 500.3F));
    ASSERT_EQ(lines.size(), 19U);
    for (int i = 1; i <= 9; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(lines[static_cast<std::size_t>(i)].x,
                  static_cast<float>(i * static_cast<double>(width) / 10.0));
        EXPECT_EQ(lines[static_cast<std::size_t>(9 + i)].y,
                  static_cast<float>(i * static_cast<double>(500.3F) / 10.0));
    }
    EXPECT_EQ(lines[0].y, static_cast<float>(static_cast<double>(500.3F) - 70.0));
}

} // namespace
} // namespace veltrane
