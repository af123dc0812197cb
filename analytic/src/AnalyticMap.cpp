#include "BranchChecks.h"
#include "Branches.h"

#include <algorithm>
#include <istream>
#include <set>
#include <tuple>
#include <veltrane/analytic.h>
#include <veltrane/errors.h>

namespace veltrane {

namespace {

using detail::CheckedBranch;

// The largest continued-fraction digit taken: its branch's image, [1/(a + 1), 1/a], is still
// about 10^-12 wide, far above the 2^-1900 within which ends count as equal.
constexpr unsigned kLargestDigit = 1'000'000;
// A line of a branch file may hold a comment beside the longest formula.
constexpr std::size_t kLongestLine = 2 * AnalyticMap::kLongestFormula;

// A branch as given and what its messages call it.
struct Given {
    std::string text;
    std::string label;
};

CheckedBranch parsed(const Given& given) {
    if (given.text.size() > AnalyticMap::kLongestFormula) {
        throw InputError(given.label + ": the formula has " + std::to_string(given.text.size()) +
                         " characters, more than " + std::to_string(AnalyticMap::kLongestFormula));
    }
    try {
        return {detail::Formula::parse(given.text), given.label, false};
    } catch (const InputError& error) {
        throw InputError(given.label + ": " + error.what());
    }
}

void checkCount(std::size_t count) {
    if (count == 0) {
        throw InputError("no branch: a map needs at least one");
    }
    if (count > AnalyticMap::kMostBranches) {
        throw InputError(std::to_string(count) + " branches: a map has at most " +
                         std::to_string(AnalyticMap::kMostBranches));
    }
}

struct Built {
    std::shared_ptr<const detail::AnalyticBranches> branches;
    std::vector<std::size_t> placeOfGiven;
};

// The checks run in the order a refusal reads best: each branch alone (defined, one-to-one,
// inside [0, 1]), then contraction, which looks at every branch after each, then the images
// against each other.
Built build(const std::vector<Given>& given) {
    checkCount(given.size());
    std::vector<CheckedBranch> branches;
    branches.reserve(given.size());
    for (const Given& g : given) {
        branches.push_back(parsed(g));
    }
    for (CheckedBranch& branch : branches) {
        branch.increasing = detail::checkMonotone(branch.formula, branch.label);
        detail::checkInside(branch);
    }
    for (std::size_t j = 0; j < branches.size(); ++j) {
        detail::checkContracting(branches, j);
    }
    const std::vector<std::size_t> order = detail::orderImages(branches);
    auto ordered = std::make_shared<detail::AnalyticBranches>();
    std::vector<std::size_t> placeOfGiven(order.size());
    for (std::size_t p = 0; p < order.size(); ++p) {
        const CheckedBranch& branch = branches[order[p]];
        ordered->formulas.push_back(branch.formula);
        ordered->texts.push_back(branch.formula.text());
        placeOfGiven[order[p]] = p;
    }
    std::tie(ordered->low, ordered->high) = detail::invariantHull(branches);
    return {std::move(ordered), std::move(placeOfGiven)};
}

} // namespace

AnalyticMap::AnalyticMap(std::shared_ptr<const detail::AnalyticBranches> branches,
                         std::vector<std::size_t> placeOfGiven)
    : m_branches(std::move(branches)), m_placeOfGiven(std::move(placeOfGiven)) {}

AnalyticMap AnalyticMap::fromFormulas(std::span<const std::string> formulas) {
    checkCount(formulas.size());
    std::vector<Given> given;
    for (std::size_t i = 0; i < formulas.size(); ++i) {
        given.push_back({formulas[i], "branch " + std::to_string(i + 1)});
    }
    Built built = build(given);
    return AnalyticMap(std::move(built.branches), std::move(built.placeOfGiven));
}

AnalyticMap AnalyticMap::continuedFraction(std::span<const unsigned> digits) {
    if (digits.empty()) {
        throw InputError("no digit: a continued-fraction map needs at least one");
    }
    checkCount(digits.size());
    std::set<unsigned> seen;
    std::vector<std::string> formulas;
    for (const unsigned a : digits) {
        if (a < 1 || a > kLargestDigit) {
            throw InputError("digit " + std::to_string(a) + " is not a whole number from 1 to " +
                             std::to_string(kLargestDigit));
        }
        if (!seen.insert(a).second) {
            throw InputError("digit " + std::to_string(a) + " is repeated");
        }
        formulas.push_back("1/(" + std::to_string(a) + "+x)");
    }
    return fromFormulas(formulas);
}

AnalyticMap AnalyticMap::read(std::istream& in) {
    std::vector<Given> given;
    std::size_t lineNumber = 0;
    std::string line;
    bool more = true;
    while (more) {
        // A line ends at LF, CRLF or a lone CR.
        line.clear();
        ++lineNumber;
        int c = in.get();
        for (; c != std::char_traits<char>::eof() && c != '\n' && c != '\r'; c = in.get()) {
            if (line.size() == kLongestLine) {
                throw InputError("line " + std::to_string(lineNumber) + ": longer than " +
                                 std::to_string(kLongestLine) + " bytes");
            }
            line.push_back(static_cast<char>(c));
        }
        if (c == '\r' && in.peek() == '\n') {
            in.get();
        }
        more = c != std::char_traits<char>::eof();
        line.erase(std::min(line.find('#'), line.size()));
        if (line.find_first_not_of(" \t") == std::string::npos) {
            continue;
        }
        if (given.size() == kMostBranches) {
            throw InputError("line " + std::to_string(lineNumber) + ": more than " +
                             std::to_string(kMostBranches) + " branches, a map has at most " +
                             std::to_string(kMostBranches));
        }
        given.push_back({line, "line " + std::to_string(lineNumber) + " (branch " +
                                   std::to_string(given.size() + 1) + ")"});
    }
    if (in.bad()) {
        throw InputError("line " + std::to_string(lineNumber) + ": the input cannot be read");
    }
    Built built = build(given);
    return AnalyticMap(std::move(built.branches), std::move(built.placeOfGiven));
}

std::size_t AnalyticMap::branchCount() const {
    return m_branches->formulas.size();
}

std::vector<std::string> AnalyticMap::formulas() const {
    std::vector<std::string> texts;
    texts.reserve(m_placeOfGiven.size());
    for (const std::size_t place : m_placeOfGiven) {
        texts.push_back(m_branches->texts[place]);
    }
    return texts;
}

} // namespace veltrane
