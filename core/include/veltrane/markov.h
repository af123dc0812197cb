#pragma once

// The exact spectral diagram of a piecewise-linear Markov map: the pieces [x_{i-1}, x_i] of
// 0 = x_0 < x_1 < ... < x_n = 1 each map linearly, increasing or decreasing, onto a union of
// consecutive pieces, with slopes s_i of size above 1. With A_ij = 1 where piece j lies in the
// image of piece i, the pressure is P(β) = ln ρ(M_β), (M_β)_ij = A_ij |s_i|^-β, and at the
// Lyapunov exponent λ the entropy is h(λ) = min over β of P(β) + βλ and the dimension h / λ.
// λ runs from the smallest to the largest mean of ln|s_i| over the cycles of the transition
// graph; at those ends h is the topological entropy of the cycles attaining the end.
#include <cstddef>
#include <iosfwd>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>
#include <veltrane/exact.h>
#include <veltrane/export.h>
#include <veltrane/maps.h>
#include <veltrane/run.h>

namespace veltrane {

// One piece as the user writes it: [left, right] maps linearly onto the segment from imageLeft
// to imageRight, decreasing when imageLeft > imageRight.
struct MarkovPiece {
    double left = 0.0;
    double right = 0.0;
    double imageLeft = 0.0;
    double imageRight = 0.0;
};

// The most pieces a map may have, as many as the break points a list may hold.
inline constexpr std::size_t kMostPieces = kMostBreakPoints;

// Reads a map written one piece a line, "left right image_left image_right", blanks between
// the numbers, "#" starting a comment to the end of the line, blank lines ignored; a piece at
// a time, so that no input is held whole. The numbers follow NumberListReader's rules (at most
// 64 characters, each of which can belong to a number); a line has at most 4,096 bytes, and
// there are at most kMostPieces pieces. What breaks a rule is refused at once with its line
// (and column), as InputError.
class VELTRANE_API MarkovPieceReader {
public:
    explicit MarkovPieceReader(std::string localeSeparator = ".");
    ~MarkovPieceReader();
    MarkovPieceReader(const MarkovPieceReader&) = delete;
    MarkovPieceReader& operator=(const MarkovPieceReader&) = delete;

    void feed(std::string_view bytes);

    // The pieces read, checked as MarkovSolver checks them, each named in a message by its
    // number and line ("piece 2 (line 4) ...").
    std::vector<MarkovPiece> finish();

private:
    class Lines;
    std::unique_ptr<Lines> m_lines;
};

// readMarkovPieces of a whole stream; a failing stream is reported as unreadable.
VELTRANE_API std::vector<MarkovPiece> readMarkovPieces(std::istream& in,
                                                       std::string_view localeSeparator = ".");

namespace detail {
struct MarkovModel;
} // namespace detail

// The spectrum of one map, in double precision. Copies share the map.
class VELTRANE_API MarkovSolver {
public:
    // Checks the pieces and throws InputError naming the first one that is wrong: pieces that do
    // not tile [0, 1] in order (a gap, an overlap, a value outside [0, 1] or not finite), an
    // image end that is not an end of a piece (not Markov), a slope of size at most 1 (not
    // expanding), a transition graph that is not irreducible (which piece cannot be reached
    // from which), more than kMostPieces pieces. Finds the ends of the range of exponents and
    // their entropies (n log n for n pieces, in practice).
    explicit MarkovSolver(std::span<const MarkovPiece> pieces);

    std::size_t pieceCount() const;
    // ln|s_i| of each piece, in order.
    const std::vector<double>& exponents() const;
    // The smallest and the largest cycle mean of the exponents. Cycles whose means lie within
    // 2^-40 of each other, relative to the larger of their sizes and the median size of the
    // exponents (so that an unrelated steep piece does not widen it), count as attaining the
    // end together; when the two ends are that close every cycle has the same mean and the
    // spectrum is a single point.
    double lambdaMin() const;
    double lambdaMax() const;
    // Whether every piece maps onto the whole of [0, 1]: then the points are ExactSolver's, bit
    // for bit, on the exponents of the break points.
    bool fullBranch() const;

    // P(β) for a finite β, within about 1e-14 of max(1, |P|): ln of a Perron root whose
    // Collatz–Wielandt bounds are a few units of rounding apart.
    double pressure(double beta) const;

    // The point at λ, as ExactSolver::atLyapunov: a λ outside the range is taken at the nearer
    // end. The entropy is proven to lie within about 1e-13 of itself: the minimum over β is
    // bracketed by the tangents (or, where the slopes cannot settle it, the values) of
    // evaluations whose Perron roots carry Collatz–Wielandt bounds, and 0 ≤ h ≤ min(λ, P(0)).
    // Throws RuntimeError (ErrorKind::Internal) where a bound cannot be proven, which no map
    // tried has made happen: never a number that breaks one.
    ExactPoint atLyapunov(double lambda) const;

    // points ≥ 2 evenly spaced exponents from lambdaMin to lambdaMax, the first and last
    // exactly those, as ExactSolver::spectrum: solved in blocks of kSpectrumBlock on the
    // threads control asks for, each block started afresh, so that the points do not depend on
    // the number of threads; one point when every cycle has the same mean. The points are
    // checked before they are handed on (each within [0, min(λ, P(0))], the dimensions
    // within [0, 1], concave, the ends at the range's ends); a point past a bound throws
    // RuntimeError (ErrorKind::Internal) in its place. Each product with the transition matrix
    // costs O(n) however many ones it holds, and memory is linear in n (a few vectors a thread).
    // The products a point needs grow where the second eigenvalue of M_β comes close to ρ: near
    // the ends of the range, on periodic graphs of long period and where two parts of the map
    // have nearly the same pressure (tens of products a point for most random maps, hundreds
    // there). Throws InputError for points < 2, Cancelled through control.
    ExactSpectrum spectrum(std::size_t points, const RunControl& control = {}) const;

    // The same points handed to sink in order, a window of blocks at a time. Returns the
    // products with the transition matrix made (for a full-branch map, ExactSolver's passes).
    long spectrum(std::size_t points, const RunControl& control,
                  const PointSink<ExactPoint>& sink) const;

private:
    std::shared_ptr<const detail::MarkovModel> m_model;
};

// The exact spectrum of the map over the given number of points (≥ 2).
VELTRANE_API ExactSpectrum markovSpectrum(std::span<const MarkovPiece> pieces, std::size_t points,
                                          const RunControl& control = {});

} // namespace veltrane
