#include "GraphWindowLayout.h"
#include "Twips.h"

#include <algorithm>
#include <gtest/gtest.h>

namespace veltrane {
namespace {

TEST(TwipsScale, FifteenTwipsMakeAPixelAtNinetySixDpiAndFewerAtHigherDpi) {
    EXPECT_EQ(TwipsScale(96.0).toPixels(15.0), 1.0);
    EXPECT_EQ(TwipsScale(96.0).toTwips(329.0), 4935.0);
    EXPECT_EQ(TwipsScale(120.0).toPixels(1440.0), 120.0);
    EXPECT_EQ(TwipsScale(144.0).toTwips(1.0), 10.0);
}

struct RectRow {
    const char* name;
    double dpi;
    int left, top, width, height;
    PixelRect pixels;
};

class TwipsRect : public ::testing::TestWithParam<RectRow> {};

TEST_P(TwipsRect, RoundsEachEdgeToTheNearestPixel) {
    const RectRow& r = GetParam();
    EXPECT_EQ(TwipsScale(r.dpi).rect(r.left, r.top, r.width, r.height), r.pixels);
}

INSTANTIATE_TEST_SUITE_P(
    Controls, TwipsRect,
    ::testing::Values(RectRow{"surfaceAt96", 96.0, 240, 720, 8175, 4935, {16, 48, 545, 329}},
                      RectRow{
                          "surfaceAt120", 96.0 * 1.25, 240, 720, 8175, 4935, {20, 60, 681, 411}},
                      RectRow{"chipAt144", 144.0, 600, 6120, 375, 375, {60, 612, 38, 38}},
                      RectRow{"edgesRoundedSeparately", 96.0, 7, 7, 15, 15, {0, 0, 1, 1}}),
    [](const auto& row) { return std::string(row.param.name); });

TEST(GraphWindowLayout, ControlsReachExactlyTheClientArea) {
    int right = 0;
    int bottom = 0;
    for (const ControlLayout& c : kGraphWindowLayout) {
        right = std::max(right, c.left + c.width);
        bottom = std::max(bottom, c.top + c.height);
    }
    EXPECT_EQ(right, kClientWidthTwips);
    EXPECT_EQ(bottom, kClientHeightTwips);
}

} // namespace
} // namespace veltrane
