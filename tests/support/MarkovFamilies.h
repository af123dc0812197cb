#pragma once

// Families of Markov maps made at random from a seed, the same on every machine: for tests that
// check what the mathematics guarantees on maps nobody chose by hand, and for benchmarks.
#include <cstdint>
#include <random>
#include <string>
#include <vector>
#include <veltrane/markov.h>
#include <veltrane/markov_measure.h>

namespace veltrane::test {

// The families, each a kind of transition graph that makes some method of finding a Perron root
// slow or inaccurate:
// - spread: each piece onto a run anywhere, 1.5 times its length at least, at most about three
//   quarters of the pieces;
// - left: piece 0 onto [0, 1], every other onto a run holding a piece to its left, 1.05 times its
//   length at least (slopes near 1, the pressure nearly the larger of two parts);
// - anchored: each run starts at 0 or ends at 1, 1.05 times its piece at least;
// - hub: each run holds the middle piece;
// - uneven: lengths spread evenly in their logarithms over 12 orders of magnitude;
// - decreasing: every piece decreasing;
// - chain: piece k onto piece k + 1, the last onto the first two (two cycles, slopes within
//   about ln 2 / n of 1, every eigenvalue of the matrix near one circle);
// - periodic: `period` blocks of equal pieces, each block onto runs within the next;
// - halves: two halves, each mapped into itself, joined by two pieces of length 1e-9 in the middle
//   (at β near 1 the two parts have nearly the same pressure, coupled at about 1e-18).
// Maps that do not reach every piece from every other are mended by widening runs until they do.
enum class MarkovFamily {
    Spread,
    Left,
    Anchored,
    Hub,
    Uneven,
    Decreasing,
    Chain,
    Periodic,
    Halves
};

std::vector<MarkovFamily> allMarkovFamilies();
std::string familyName(MarkovFamily family);
// The family a name names; throws std::invalid_argument for another name.
MarkovFamily familyNamed(const std::string& name);

// A map of about n ≥ 3 pieces of the family (exactly n but for periodic maps, whose n is
// rounded down to a multiple of the period, and halves, which need at least 6).
std::vector<MarkovPiece> markovFamilyMap(MarkovFamily family, std::size_t n, std::uint64_t seed,
                                         std::size_t period = 5);

// A map and a measure's weights as the test tables write them: pieces "left right image_left
// image_right" separated by ";", and rows of weights separated by ";", numbers by blanks.
std::vector<MarkovPiece> piecesOf(const std::string& text);
MarkovWeights weightsOf(const std::string& text);

// Weights of a Markov measure on the map, one a move of each piece, drawn evenly in their
// logarithms over `decades` orders of magnitude from engine.
MarkovWeights randomWeights(const std::vector<MarkovPiece>& pieces, double decades,
                            std::mt19937_64& engine);

} // namespace veltrane::test
