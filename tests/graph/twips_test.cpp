#include "GraphWindowLayout.h"
#include "Twips.h"

#include <algorithm>
#include <gtest/gtest.h>

namespace veltrane {
namespace {

TEST(TwipsScale, FifteenTwipsMakeAPixelAtNinetySixDpi) {
    const TwipsScale scale(96.0);
    EXPECT_EQ(scale.toPixels(15.0), 1.0);
    EXPECT_EQ(scale.toPixels(8175.0), 545.0);
    EXPECT_EQ(scale.toTwips(329.0), 4935.0);
}

TEST(TwipsScale, HigherLogicalDpiGivesMorePixels) {
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
    const PixelRect client = TwipsScale().rect(0, 0, kClientWidthTwips, kClientHeightTwips);
    EXPECT_EQ(client.width, 753);
    EXPECT_EQ(client.height, 497);
}

TEST(GraphWindowLayout, TabPlacesAreDistinctFromZeroToSeventeen) {
    std::vector<int> tabs;
    tabs.reserve(kGraphWindowLayout.size());
    for (const ControlLayout& c : kGraphWindowLayout) {
        tabs.push_back(c.tab);
    }
    std::sort(tabs.begin(), tabs.end());
    for (std::size_t i = 0; i < tabs.size(); ++i) {
        EXPECT_EQ(tabs[i], static_cast<int>(i));
    }
}

} // namespace
} // namespace veltrane
