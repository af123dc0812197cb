// plot_grid and plot_graphs on a surface that records every call, for the stores of
// tests/data/plot/cases.tsv, and the marks a picture adds where a row asks for them; each
// trace is compared with its approved file.
#include "Analyses.h"
#include "TestSupport.h"

#include <charconv>
#include <gtest/gtest.h>
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

// Writes every call it gets, one a line.
class RecordingSurface : public DrawingSurface, public RangeCaptions {
public:
    RecordingSurface(float width, float height, float scaleLeft)
        : m_width(width), m_height(height), m_scaleLeft(scaleLeft) {}
    void Cls() override { trace << "Cls\n"; }
    void CurrentX(float x) override { trace << "X " << number(x) << '\n'; }
    void CurrentY(float y) override { trace << "Y " << number(y) << '\n'; }
    void Line(float dx, float dy, std::optional<Rgb> c) override {
        trace << "Line " << number(dx) << ' ' << number(dy);
        if (c) {
            trace << " rgb " << +c->red << ',' << +c->green << ',' << +c->blue;
        }
        trace << '\n';
    }
    float Width() const override { return m_width; }
    float Height() const override { return m_height; }
    float ScaleLeft() const override { return m_scaleLeft; }
    void setCaption(RangeLabel, const std::string& caption) override {
        trace << "Caption " << caption << '\n';
    }
    std::ostringstream trace;

private:
    float m_width, m_height, m_scaleLeft;
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

TEST(PlotProcedures, DrawTheApprovedTraceOfEveryCase) {
    for (const test::Row& row : test::readTable("plot/cases.tsv")) {
        SCOPED_TRACE(row[0]);
        std::istringstream size(row[1]);
        float width = 0.0F;
        float height = 0.0F;
        float scaleLeft = 0.0F;
        size >> width >> height >> scaleLeft;
        RecordingSurface surface(width, height, scaleLeft);
        const Module1 store = storeOf(row[3]);
        PlotVariables vars;
        try {
            plot_grid(surface, static_cast<std::int16_t>(std::stoi(row[2])), vars.loop_index);
            surface.trace << "loop_index " << vars.loop_index << '\n';
            plot_graphs(store.graph_count, store, surface, surface, vars);
            if (row.size() > 4 && row[4] == "marks") {
                for (const PointMark& m : lonePointMarks(store.graph_count, store, surface, vars)) {
                    surface.trace << "Mark " << number(m.x) << ' ' << number(m.y) << " rgb "
                                  << +m.colour.red << ',' << +m.colour.green << ','
                                  << +m.colour.blue << '\n';
                }
            }
        } catch (const RuntimeError& error) {
            surface.trace << "Error " << error.what() << '\n';
        }
        surface.trace << "MinX " << number(vars.MinX) << " MaxX " << number(vars.MaxX) << " MinY "
                      << number(vars.MinY) << " MaxY " << number(vars.MaxY) << " loop_index "
                      << vars.loop_index << '\n';
        test::expectApproved(surface.trace.str(), "plot/" + row[0] + ".trace");
    }
}

} // namespace
} // namespace veltrane
