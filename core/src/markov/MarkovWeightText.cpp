#include "MeasureMoves.h"
#include "TransitionMap.h"

#include <array>
#include <cmath>
#include <istream>
#include <optional>
#include <veltrane/errors.h>
#include <veltrane/markov_measure.h>
#include <veltrane/text.h>

namespace veltrane {

namespace {

// As the pieces' file, plus room for the weights a line holds: each at most kLongestNumber
// characters and a blank.
constexpr std::size_t kLongestLine = 4096;
constexpr std::size_t kLongestNumber = 64;

bool blank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f';
}

std::string quoted(std::string_view word) {
    constexpr std::size_t kQuoted = 32;
    return "\"" + std::string(word.substr(0, kQuoted)) + (word.size() > kQuoted ? "…" : "") + "\"";
}

std::string ordinal(std::size_t k) {
    const std::size_t tens = k % 100;
    const char* suffix = "th";
    if (tens < 11 || tens > 13) {
        suffix = k % 10 == 1 ? "st" : k % 10 == 2 ? "nd" : k % 10 == 3 ? "rd" : "th";
    }
    return std::to_string(k) + suffix;
}

} // namespace

// The input split into lines, each line's words read as the weights of the next piece.
class MarkovWeightReader::Lines {
public:
    Lines(std::span<const MarkovPiece> pieces, std::string separator)
        : m_separator(std::move(separator)) {
        const TransitionMap map = transitionMap(pieces, pieceName);
        checkMoveCount(map.rows);
        m_rows = map.rows;
    }

    void feed(std::string_view bytes) {
        while (!bytes.empty()) {
            const std::size_t stop = bytes.find('\n');
            const std::string_view run = bytes.substr(0, stop);
            if (m_text.size() + run.size() > longest()) {
                throw InputError("line " + std::to_string(m_line) + ": longer than " +
                                 std::to_string(longest()) + " bytes");
            }
            m_text.append(run);
            if (stop == std::string_view::npos) {
                return;
            }
            endLine();
            bytes.remove_prefix(stop + 1);
        }
    }

    MarkovWeights finish() {
        endLine();
        if (m_weights.size() < m_rows.size()) {
            throw InputError("the map has " + std::to_string(m_rows.size()) +
                             " pieces, and the weights end after those of " +
                             std::to_string(m_weights.size()) + ": one line a piece");
        }
        return std::move(m_weights);
    }

private:
    std::size_t piece() const { return m_weights.size(); }
    std::size_t moves() const {
        return piece() < m_rows.size() ? m_rows.end[piece()] - m_rows.begin[piece()] : 0;
    }
    std::size_t longest() const { return kLongestLine + (kLongestNumber + 1) * moves(); }

    std::string where(std::size_t column) const {
        return "line " + std::to_string(m_line) + ", column " + std::to_string(column);
    }

    std::string movesText() const {
        const std::size_t k = piece();
        return pieceName(k) + " covers " + std::to_string(moves()) + " piece" +
               (moves() == 1 ? "" : "s") + " (" + std::to_string(m_rows.begin[k] + 1) + " to " +
               std::to_string(m_rows.end[k]) + "), so its line holds " + std::to_string(moves()) +
               " weight" + (moves() == 1 ? "" : "s");
    }

    double weightOf(std::string_view word, std::size_t column, std::size_t index) const {
        if (word.size() > kLongestNumber) {
            throw InputError(where(column) + ": a number has at most " +
                             std::to_string(kLongestNumber) + " characters");
        }
        const std::optional<double> value = decimalToDouble(word, m_separator);
        if (!value) {
            throw InputError(where(column) + ": " + quoted(word) +
                             " is not a number (or not one a double holds)");
        }
        if (!(std::isfinite(*value) && *value > 0.0)) {
            throw WeightError(where(column) + ": weight " + std::to_string(index + 1) + " of " +
                              pieceName(piece()) + " (" + std::string(word) +
                              ") must be a positive finite number");
        }
        return *value;
    }

    void endLine() {
        std::string_view text = m_text;
        text = text.substr(0, text.find('#'));
        std::vector<double> row;
        for (std::size_t at = 0; at < text.size();) {
            if (blank(text[at])) {
                ++at;
                continue;
            }
            std::size_t stop = at;
            while (stop < text.size() && !blank(text[stop])) {
                ++stop;
            }
            if (piece() == m_rows.size()) {
                throw InputError(where(at + 1) + ": the map has " + std::to_string(m_rows.size()) +
                                 " pieces, and their weights have ended");
            }
            if (row.size() == moves()) {
                throw InputError(where(at + 1) + ": " + movesText() + "; this is a " +
                                 ordinal(row.size() + 1) + ", on a move the map does not make");
            }
            row.push_back(weightOf(text.substr(at, stop - at), at + 1, row.size()));
            at = stop;
        }
        if (!row.empty()) {
            if (row.size() < moves()) {
                throw InputError("line " + std::to_string(m_line) + ": " + movesText() +
                                 "; this line has " + std::to_string(row.size()) +
                                 ", and a move has no weight");
            }
            m_weights.push_back(std::move(row));
        }
        m_text.clear();
        ++m_line;
    }

    std::string m_separator;
    IntervalRows m_rows;
    MarkovWeights m_weights;
    std::string m_text; // of the line so far
    std::size_t m_line = 1;
};

MarkovWeightReader::MarkovWeightReader(std::span<const MarkovPiece> pieces,
                                       std::string localeSeparator)
    : m_lines(std::make_unique<Lines>(pieces, std::move(localeSeparator))) {}

MarkovWeightReader::~MarkovWeightReader() = default;

void MarkovWeightReader::feed(std::string_view bytes) {
    m_lines->feed(bytes);
}

MarkovWeights MarkovWeightReader::finish() {
    return m_lines->finish();
}

MarkovWeights readMarkovWeights(std::istream& in, std::span<const MarkovPiece> pieces,
                                std::string_view localeSeparator) {
    MarkovWeightReader reader(pieces, std::string(localeSeparator));
    std::array<char, 65536> chunk{};
    while (in.read(chunk.data(), chunk.size()) || in.gcount() > 0) {
        reader.feed({chunk.data(), static_cast<std::size_t>(in.gcount())});
    }
    if (in.bad()) {
        throw InputError("the input could not be read");
    }
    return reader.finish();
}

} // namespace veltrane
