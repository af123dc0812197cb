// The check every spectral diagram passes before it is handed on: diagrams that keep the
// bounds pass, and each bound broken on its own is reported as an internal error that names
// the point, also where the points come a window at a time.
#include "DiagramBounds.h"
#include "TestSupport.h"

#include <cmath>
#include <gtest/gtest.h>
#include <sstream>
#include <string>
#include <vector>
#include <veltrane/errors.h>

namespace veltrane {
namespace {

// "lambda:entropy:dimension" words, windows separated by "|".
std::vector<std::vector<ExactPoint>> windowsOf(const std::string& text) {
    std::vector<std::vector<ExactPoint>> windows(1);
    std::istringstream words(text);
    std::string word;
    while (words >> word) {
        if (word == "|") {
            windows.emplace_back();
            continue;
        }
        const std::size_t a = word.find(':');
        const std::size_t b = word.find(':', a + 1);
        windows.back().push_back({std::stod(word.substr(0, a)),
                                  std::stod(word.substr(a + 1, b - a - 1)),
                                  std::stod(word.substr(b + 1)), 0.0});
    }
    return windows;
}

TEST(DiagramBounds, PassesWhatKeepsTheBoundsAndReportsEachBreach) {
    for (const test::Row& row : test::readTable("core/bounds.tsv")) {
        SCOPED_TRACE(row[3]);
        const std::vector<std::vector<ExactPoint>> windows = windowsOf(row[3]);
        std::size_t points = 0;
        for (const auto& w : windows) {
            points += w.size();
        }
        DiagramBounds bounds(std::stod(row[0]), std::stod(row[1]), std::stod(row[2]), points);
        std::string said = "ok";
        try {
            std::size_t first = 0;
            for (const auto& w : windows) {
                bounds.check(first, w);
                first += w.size();
            }
        } catch (const RuntimeError& e) {
            EXPECT_EQ(e.kind(), ErrorKind::Internal);
            said = e.detail();
        }
        EXPECT_EQ(said, row[4]);
    }
}

// Entropies within rounding of a bound are set on it, so that no dimension exceeds 1; beyond
// rounding they are a fault.
TEST(DiagramBounds, SetsEntropiesWithinRoundingOnTheirBound) {
    const DiagramBounds bounds(0.5, 1.5, 0.6931471805599453, 3);
    const ExactPoint above = bounds.point(0.6, std::nextafter(0.6, 1.0), 2.0);
    EXPECT_EQ(above.entropy, 0.6);
    EXPECT_EQ(above.dimension, 1.0);
    EXPECT_EQ(above.beta, 2.0);
    EXPECT_EQ(bounds.point(1.0, 0.6931471805599455, 0.0).entropy, 0.6931471805599453);
    EXPECT_EQ(bounds.point(1.0, -1e-17, 0.0).entropy, 0.0);
    EXPECT_EQ(bounds.point(1.0, 0.25, 0.0).dimension, 0.25);
    EXPECT_THROW((void)bounds.point(1.0, 0.7, 0.0), RuntimeError);
    EXPECT_THROW((void)bounds.point(1.0, -1e-10, 0.0), RuntimeError);
}

} // namespace
} // namespace veltrane
