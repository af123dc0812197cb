#include "TransitionMap.h"

#include <array>
#include <istream>
#include <optional>
#include <veltrane/errors.h>
#include <veltrane/markov.h>
#include <veltrane/text.h>

namespace veltrane {

namespace {

// As a line of --batch: enough for four numbers of 64 characters and a comment.
constexpr std::size_t kLongestLine = 4096;

constexpr std::size_t kNumbersOfAPiece = 4;

} // namespace

// The input split into lines: comments are dropped, the rest goes to a NumberListReader, and
// each line's words become a piece.
class MarkovPieceReader::Lines {
public:
    explicit Lines(std::string separator)
        : m_separator(separator),
          m_numbers(std::move(separator), kNumbersOfAPiece,
                    "numbers on a line, which holds one piece: left right image_left image_right") {
    }

    void feed(std::string_view bytes) {
        while (!bytes.empty()) {
            const std::size_t stop = bytes.find_first_of(m_inComment ? "\n" : "\n#");
            const std::string_view run = bytes.substr(0, stop);
            m_length += run.size();
            if (m_length > kLongestLine) {
                throw InputError("line " + std::to_string(m_line) + ": longer than " +
                                 std::to_string(kLongestLine) + " bytes");
            }
            if (!m_inComment) {
                m_numbers.feed(run);
            }
            if (stop == std::string_view::npos) {
                return;
            }
            if (bytes[stop] == '#') {
                m_numbers.feed(" "); // ends a number the comment follows at once
                m_inComment = true;
                ++m_length;
            } else {
                m_numbers.feed("\n");
                endLine(m_numbers.takeWords());
            }
            bytes.remove_prefix(stop + 1);
        }
    }

    std::vector<MarkovPiece> finish() {
        endLine(m_numbers.finish());
        const auto name = [&](std::size_t k) {
            return pieceName(k) + " (line " + std::to_string(m_lineOf[k]) + ")";
        };
        transitionMap(m_pieces, name);
        return std::move(m_pieces);
    }

private:
    void endLine(const std::vector<std::string>& words) {
        if (!words.empty()) {
            if (words.size() != kNumbersOfAPiece) {
                throw InputError("line " + std::to_string(m_line) +
                                 ": a piece is four numbers, left right image_left image_right; "
                                 "this line has " +
                                 std::to_string(words.size()));
            }
            if (m_pieces.size() == kMostPieces) {
                throw InputError("line " + std::to_string(m_line) + ": more than " +
                                 std::to_string(kMostPieces) + " pieces");
            }
            std::array<double, kNumbersOfAPiece> v{};
            for (std::size_t k = 0; k < v.size(); ++k) {
                // Each word is a number already: the reader refused any other.
                v[k] = decimalToDouble(words[k], m_separator).value_or(0.0);
            }
            m_pieces.push_back({v[0], v[1], v[2], v[3]});
            m_lineOf.push_back(m_line);
        }
        ++m_line;
        m_length = 0;
        m_inComment = false;
    }

    std::string m_separator;
    NumberListReader m_numbers;
    std::vector<MarkovPiece> m_pieces;
    std::vector<std::size_t> m_lineOf;
    std::size_t m_line = 1;
    std::size_t m_length = 0; // of the line so far, in bytes
    bool m_inComment = false;
};

MarkovPieceReader::MarkovPieceReader(std::string localeSeparator)
    : m_lines(std::make_unique<Lines>(std::move(localeSeparator))) {}

MarkovPieceReader::~MarkovPieceReader() = default;

void MarkovPieceReader::feed(std::string_view bytes) {
    m_lines->feed(bytes);
}

std::vector<MarkovPiece> MarkovPieceReader::finish() {
    return m_lines->finish();
}

std::vector<MarkovPiece> readMarkovPieces(std::istream& in, std::string_view localeSeparator) {
    MarkovPieceReader reader{std::string(localeSeparator)};
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
