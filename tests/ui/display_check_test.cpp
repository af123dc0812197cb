#include "DisplayCheck.h"

#include <gtest/gtest.h>
#include <map>
#include <string>

namespace veltrane {
namespace {

struct DisplayCase {
    const char* name;
    std::map<std::string, std::string> environment;
    bool canStart;
};

void PrintTo(const DisplayCase& c, std::ostream* os) {
    *os << c.name;
}

class MissingDisplay : public ::testing::TestWithParam<DisplayCase> {};

TEST_P(MissingDisplay, SaysSoInOneLine) {
    const DisplayCase& c = GetParam();
    const auto problem = missingDisplay([&](const char* name) -> const char* {
        const auto it = c.environment.find(name);
        return it == c.environment.end() ? nullptr : it->second.c_str();
    });
    EXPECT_EQ(!problem.has_value(), c.canStart);
    if (problem) {
        EXPECT_EQ(problem->find('\n'), std::string::npos);
        EXPECT_NE(problem->find("no display"), std::string::npos) << *problem;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, MissingDisplay,
    ::testing::Values(
        DisplayCase{"Nothing", {}, false}, DisplayCase{"EmptyDisplay", {{"DISPLAY", ""}}, false},
        DisplayCase{"X11", {{"DISPLAY", ":0"}}, true},
        DisplayCase{"Wayland", {{"WAYLAND_DISPLAY", "wayland-0"}}, true},
        DisplayCase{"Offscreen", {{"QT_QPA_PLATFORM", "offscreen"}}, true},
        DisplayCase{
            "XcbWithoutDisplay", {{"QT_QPA_PLATFORM", "xcb"}, {"WAYLAND_DISPLAY", "w"}}, false},
        DisplayCase{"XcbWithDisplay", {{"QT_QPA_PLATFORM", "xcb"}, {"DISPLAY", ":1"}}, true},
        DisplayCase{
            "WaylandWithoutSocket", {{"QT_QPA_PLATFORM", "wayland"}, {"DISPLAY", ":1"}}, false},
        DisplayCase{"EmptyPlatformUsesEither", {{"QT_QPA_PLATFORM", ""}, {"DISPLAY", ":1"}}, true}),
    [](const auto& row) { return std::string(row.param.name); });

} // namespace
} // namespace veltrane
