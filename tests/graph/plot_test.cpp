// plot_grid and plot_graphs on a surface that records where every line lands, for the stores of
// tests/data/plot/cases.tsv. What a picture shows is checked against tests/data/plot/drawn.tsv
// whatever order the lines are drawn in: the frame's lines grouped by extent with their
// positions, each curve's segment count, ends and extremes in its colour, the range labels'
// texts, the marks of one-point graphs, the error raised and the ranges left behind. A few rows
// also compare every call, in order, with an approved trace.
#include "Analyses.h"
#include "TestSupport.h"

#include <algorithm>
#include <charconv>
#include <gtest/gtest.h>
#include <map>
#include <sstream>
#include <veltrane/graph/PlotProcedures.h>

namespace veltrane {
using namespace veltrane::classic;
using namespace veltrane::graph;
namespace {

std::string number(float value) {
    std::array<char, 32> text{};
    return {text.data(), std::to_chars(text.data(), text.data() + text.size(), value).ptr};
}

std::string rgb(const Rgb& c) {
    return std::to_string(+c.red) + ',' + std::to_string(+c.green) + ',' + std::to_string(+c.blue);
}

// A line as it lands on the surface, in twips, from the current point to its end.
struct Segment {
    float x0, y0, x1, y1;
    std::optional<Rgb> colour;
};

// Keeps the lines drawn, with the current point the surface model gives them, and the captions
// by label; the trace writes every call, one a line, for the rows whose order is approved.
class RecordingSurface : public DrawingSurface, public RangeCaptions {
public:
    RecordingSurface(float width, float height, float scaleLeft)
        : m_width(width), m_height(height), m_scaleLeft(scaleLeft) {}
    void Cls() override {
        ++cleared;
        m_x = 0.0F;
        m_y = 0.0F;
        trace << "Cls\n";
    }
    void CurrentX(float x) override {
        m_x = x;
        trace << "X " << number(x) << '\n';
    }
    void CurrentY(float y) override {
        m_y = y;
        trace << "Y " << number(y) << '\n';
    }
    void Line(float dx, float dy, std::optional<Rgb> c) override {
        segments.push_back({m_x, m_y, m_x + dx, m_y + dy, c});
        m_x += dx;
        m_y += dy;
        trace << "Line " << number(dx) << ' ' << number(dy);
        if (c) {
            trace << " rgb " << rgb(*c);
        }
        trace << '\n';
    }
    float Width() const override { return m_width; }
    float Height() const override { return m_height; }
    float ScaleLeft() const override { return m_scaleLeft; }
    void setCaption(RangeLabel label, const std::string& caption) override {
        captions[label] = caption;
        trace << "Caption " << caption << '\n';
    }

    int cleared = 0;
    std::vector<Segment> segments;
    std::map<RangeLabel, std::string> captions;
    std::ostringstream trace;

private:
    float m_width, m_height, m_scaleLeft;
    float m_x = 0.0F;
    float m_y = 0.0F;
};

// The store a row describes (see the table's header).
Module1 storeOf(const std::string& description) {
    std::istringstream words(description);
    std::string kind;
    words >> kind;
    Module1 store;
    store.graph_count = 1;
    int j = 0;
    for (std::string word; words >> word;) {
        const std::size_t equals = word.find('=');
        const std::size_t comma = word.find(',');
        const std::int16_t g = store.graph_count;
        if (kind == "analysis") {
            EXPECT_EQ(test::analyse(word, store).status, Status::Completed);
            kind = "changes";
        } else if (word == ";") {
            ++store.graph_count;
            j = 0;
        } else if (equals != std::string::npos) {
            const std::string name = word.substr(0, equals);
            const std::string value = word.substr(equals + 1);
            if (name == "count") {
                store.graph_count = static_cast<std::int16_t>(std::stoi(value));
            } else if (name[0] == 'n') {
                store.graph_n(std::stoi(name.substr(1))) =
                    static_cast<std::int16_t>(std::stoi(value));
            } else {
                store.graph_y(name[1] - '0', std::stoi(name.substr(3))) =
                    std::strtof(value.c_str(), nullptr);
            }
        } else {
            store.graph_x(g, j) = std::strtof(word.c_str(), nullptr);
            store.graph_y(g, j) = std::strtof(word.c_str() + comma + 1, nullptr);
            store.graph_n(g) = static_cast<std::int16_t>(j++);
        }
    }
    return store;
}

// The frame's lines (those in the foreground colour), grouped by where they run: "across
// X0..X1" lists the y of the horizontal lines from X0 to X1, "up Y0..Y1" the x of the vertical
// lines from Y0 to Y1, ascending; "slanted" any other.
void addFrame(const std::vector<Segment>& segments, std::map<std::string, std::string>& facts) {
    std::map<std::string, std::vector<float>> groups;
    for (const Segment& s : segments) {
        if (s.colour) {
            continue;
        }
        if (s.y0 == s.y1) {
            groups["across " + number(s.x0) + ".." + number(s.x1)].push_back(s.y0);
        } else if (s.x0 == s.x1) {
            groups["up " + number(s.y0) + ".." + number(s.y1)].push_back(s.x0);
        } else {
            facts["slanted"] +=
                number(s.x0) + ',' + number(s.y0) + ".." + number(s.x1) + ',' + number(s.y1) + ' ';
        }
    }
    for (auto& [group, at] : groups) {
        std::sort(at.begin(), at.end());
        std::string& listed = facts[group];
        for (const float v : at) {
            listed += (listed.empty() ? "" : " ") + number(v);
        }
    }
}

// Each curve, by colour: its segments, where its first segment starts and its last ends (in the
// order drawn), and the smallest and largest x and y its segments reach.
void addCurves(const std::vector<Segment>& segments, std::map<std::string, std::string>& facts) {
    std::map<std::string, std::vector<Segment>> curves;
    for (const Segment& s : segments) {
        if (s.colour) {
            curves[rgb(*s.colour)].push_back(s);
        }
    }
    for (const auto& [colour, curve] : curves) {
        const auto [xLow, xHigh] = std::minmax({curve[0].x0, curve[0].x1});
        float x[2] = {xLow, xHigh};
        const auto [yLow, yHigh] = std::minmax({curve[0].y0, curve[0].y1});
        float y[2] = {yLow, yHigh};
        for (const Segment& s : curve) {
            x[0] = std::min({x[0], s.x0, s.x1});
            x[1] = std::max({x[1], s.x0, s.x1});
            y[0] = std::min({y[0], s.y0, s.y1});
            y[1] = std::max({y[1], s.y0, s.y1});
        }
        facts["curve " + colour] = std::to_string(curve.size()) + " segments from " +
                                   number(curve.front().x0) + ',' + number(curve.front().y0) +
                                   " to " + number(curve.back().x1) + ',' +
                                   number(curve.back().y1) + ", x " + number(x[0]) + ".." +
                                   number(x[1]) + ", y " + number(y[0]) + ".." + number(y[1]);
    }
}

struct Case {
    std::string name;
    float width = 0.0F;
    float height = 0.0F;
    float scaleLeft = 0.0F;
    std::int16_t grid = 0;
    std::string store;
    bool marks = false;
    bool trace = false;
};

Case caseOf(const test::Row& row) {
    Case c;
    c.name = row[0];
    std::istringstream size(row[1]);
    size >> c.width >> c.height >> c.scaleLeft;
    c.grid = static_cast<std::int16_t>(std::stoi(row[2]));
    c.store = row[3];
    const std::string options = row.size() > 4 ? row[4] : "";
    c.marks = options.find("marks") != std::string::npos;
    c.trace = options.find("trace") != std::string::npos;
    return c;
}

// Draws the case as the graph window does after clearing its surface, and returns what the
// picture shows; the surface keeps the calls.
std::map<std::string, std::string> draw(const Case& c, RecordingSurface& surface) {
    const Module1 store = storeOf(c.store);
    PlotVariables vars;
    std::map<std::string, std::string> facts;
    try {
        plot_grid(surface, c.grid, vars.loop_index);
        surface.trace << "loop_index " << vars.loop_index << '\n';
        EXPECT_EQ(vars.loop_index, kDivisions) << "plot_grid leaves its loop index at 10";
        plot_graphs(store.graph_count, store, surface, surface, vars);
        if (c.marks) {
            for (const PointMark& m : lonePointMarks(store.graph_count, store, surface, vars)) {
                surface.trace << "Mark " << number(m.x) << ' ' << number(m.y) << " rgb "
                              << rgb(m.colour) << '\n';
                facts["marks"] += number(m.x) + ',' + number(m.y) + ' ' + rgb(m.colour) + ';';
            }
        }
    } catch (const RuntimeError& error) {
        surface.trace << "Error " << error.what() << '\n';
        facts["error"] = error.what();
    }
    surface.trace << "MinX " << number(vars.MinX) << " MaxX " << number(vars.MaxX) << " MinY "
                  << number(vars.MinY) << " MaxY " << number(vars.MaxY) << " loop_index "
                  << vars.loop_index << '\n';
    facts["ranges"] = number(vars.MinX) + ".." + number(vars.MaxX) + ", " + number(vars.MinY) +
                      ".." + number(vars.MaxY) + ", loop_index " + std::to_string(vars.loop_index);
    addFrame(surface.segments, facts);
    addCurves(surface.segments, facts);
    for (const auto& [label, caption] : surface.captions) {
        facts["captions"] += (facts["captions"].empty() ? "" : " ") + caption;
    }
    return facts;
}

// What each case's picture must show, from the table: NAME, FACT, VALUE.
std::map<std::string, std::map<std::string, std::string>> expectedFacts() {
    std::map<std::string, std::map<std::string, std::string>> expected;
    for (const test::Row& row : test::readTable("plot/drawn.tsv")) {
        EXPECT_EQ(row.size(), 3U) << row[0];
        EXPECT_TRUE(expected[row[0]].emplace(row.at(1), row.at(2)).second)
            << row[0] << ": " << row[1] << " twice";
    }
    return expected;
}

TEST(PlotProcedures, DrawWhatTheTableSaysOfEveryCase) {
    auto expected = expectedFacts();
    for (const test::Row& row : test::readTable("plot/cases.tsv")) {
        const Case c = caseOf(row);
        SCOPED_TRACE(c.name);
        RecordingSurface surface(c.width, c.height, c.scaleLeft);
        const std::map<std::string, std::string> facts = draw(c, surface);
        std::map<std::string, std::string>& wanted = expected[c.name];
        for (const auto& [fact, value] : facts) {
            const auto it = wanted.find(fact);
            if (it == wanted.end()) {
                ADD_FAILURE() << c.name << " shows " << fact
                              << " that the table does not have: " << value;
                continue;
            }
            EXPECT_EQ(value, it->second) << c.name << ": " << fact;
            wanted.erase(it);
        }
        for (const auto& [fact, value] : wanted) {
            ADD_FAILURE() << c.name << " does not show " << fact << ": " << value;
        }
        expected.erase(c.name);
        // The procedures draw over what the window cleared; the label a caption goes to is the
        // one it names.
        EXPECT_EQ(surface.cleared, 0);
        for (const auto& [label, caption] : surface.captions) {
            constexpr const char* kNames[] = {
                "MaxX=", "MinX=", "MaxY=", "MinY=", "StepX=", "StepY="};
            EXPECT_EQ(caption.rfind(kNames[static_cast<int>(label)], 0), 0U) << caption;
        }
        if (c.trace) {
            test::expectApproved(surface.trace.str(), "plot/" + c.name + ".trace");
        }
    }
    for (const auto& [name, facts] : expected) {
        ADD_FAILURE() << name << " is in plot/drawn.tsv but not in plot/cases.tsv";
    }
}

} // namespace
} // namespace veltrane
