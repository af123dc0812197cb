#include "MainLayout.h"

#include <gtest/gtest.h>
#include <set>
#include <string>

namespace veltrane {
namespace {

using namespace mainlayout;

TEST(MainLayout, ThirtyFiveNamedLinesInsideTheClientArea) {
    std::set<std::string> names;
    for (const LinePlacement& line : kLines) {
        names.insert(std::string(line.name));
        for (const int x : {line.x1, line.x2}) {
            EXPECT_TRUE(x >= 0 && x <= kClientWidthTwips) << line.name;
        }
        for (const int y : {line.y1, line.y2}) {
            EXPECT_TRUE(y >= 0 && y <= kClientHeightTwips) << line.name;
        }
    }
    EXPECT_EQ(names.size(), 35U);
    for (int i = 1; i <= 35; ++i) {
        EXPECT_EQ(names.count("Line" + std::to_string(i)), 1U) << i;
    }
}

TEST(MainLayout, EveryControlLiesInsideTheClientArea) {
    std::set<std::string> names;
    for (const ControlPlacement& c : kControls) {
        names.insert(std::string(c.name));
        EXPECT_LE(c.left + c.width, kClientWidthTwips) << c.name;
        EXPECT_LE(c.top + c.height, kClientHeightTwips) << c.name;
    }
    EXPECT_EQ(names.size(), kControls.size());
}

} // namespace
} // namespace veltrane
