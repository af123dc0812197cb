#pragma once

// How Cascade::binMasses splits the cell each bin end holds alone, after the walk.
#include "CascadeWalk.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace veltrane {

// Splits the cell a bin end holds alone, several levels at a time: the cells that many levels
// down between the bin end and the cell end nearer to it go to the bin on that side, those
// beyond it to the other bin, and the one holding the bin end is split next. The position is
// kept as a distance from the nearer end of the current cell, so that a bin end close to a
// cell end keeps it to full relative precision; subtracting a cell end from it loses nothing
// (the two lie within a factor 2, or the result is far from both). The first, wide steps carry
// it with 106 bits and multiply by the inverse of a cell's length; the narrow steps after them
// carry 53 bits and divide by the length, exactly whenever the quotient is representable.
class CascadeSplit {
public:
    explicit CascadeSplit(const CascadeBranches& branches);

    // The levels taken at once: as many as keep n^levels at most 1024.
    unsigned depth() const { return m_depth; }

    // Splits the own cells of ends[0 .. count) until the mass left undivided is below 2^-50
    // of the smaller of the two bins beside the end, then shares the rest in proportion to
    // length; head and tail receive the parts on either side. While the mass undivided is
    // above 2^-10 of that bin the position carries 106 bits, then 53: an error in the
    // position moves mass from one bin to the other, and the wider steps keep that a
    // negligible part of either.
    void settle(BinEnd* ends, std::size_t count) const;
    // The same, down to a mass undivided below truncation (at most 2^-10) of the smaller side.
    void settle(BinEnd* ends, std::size_t count, double truncation) const;

    // The part settle gives the bin right of an end that lies on the left end of its own cell,
    // of mass `mass`, as every end does where the bins are the cells of a level: the same
    // operations in the same order, so the same bits, without a lane. Such an end is never
    // split past the first wide steps, which take the first cell of the frame every time.
    double fromLeftEnd(double mass) const;

private:
    // A cell `depth` levels down, in units of the split cell and seen from the frame's end;
    // its other end is the low end of the next one. One cache line.
    struct alignas(64) Cell {
        DoubleDouble low;    // the end nearer to the frame's end
        DoubleDouble length; // its exact length, up to 2^-106 relative
        double slack = 0.0;  // length.lo / length.hi
        double weight = 0.0; // its mass relative to the split cell
        double toLeft = 0.0; // the mass of the cells left and right of it
        double toRight = 0.0;
    };

    // The cells seen from one end: frame 0 from the left end, frame 1 from the right end,
    // where they come in reverse order. A position is at most 1/2 and a few units of
    // rounding, so only the cells starting below 3/4 are kept, and one more that closes the
    // last of them.
    struct Frame {
        std::vector<Cell> cells;
        // 1 / length of each cell to about 2^-104, or 0 where the length is below the range of
        // doubles and only 0 lies in the cell.
        std::vector<DoubleDouble> inverses;
        // The smallest double at or above each low end, and three infinities after them.
        std::vector<double> starts;
        // Slots of [0, 3/4] of a width 2^-e, the cell holding each slot's start. The width
        // is the largest that leaves at most two low ends inside any slot, if one of at least
        // 2^-14 does, so that the cell of a position is mostly found without a loop.
        std::vector<std::uint32_t> grid;
        double slotsPerUnit = 0.0;
        std::int64_t lastSlot = 0;
        // The cells that are one branch taking long runs at every level, and that branch; a
        // position in one goes down the branch in one step while it stays there long.
        // kNoCell where there is none: at most one branch is almost the whole length, and
        // one almost the whole weight.
        std::array<std::size_t, 2> runCells{kNoCell, kNoCell};
        std::array<std::size_t, 2> runBranches{};

        void layGrid();
        // The cell holding t: the last whose low end is at most t.
        std::size_t cellAt(double t) const;
        std::size_t cellAt(DoubleDouble t) const;
    };

    static constexpr std::size_t kNoCell = ~std::size_t{0};
    static constexpr std::size_t kMixed = ~std::size_t{0};

    // The cells of a frame, and for each the branch it is at every level (kMixed if none).
    static std::vector<Cell> cellsOf(const CascadeBranches& branches, bool fromRight,
                                     unsigned depth, std::vector<std::size_t>& uniform);

    template <typename Position> struct Lane;
    void step(Lane<DoubleDouble>& lane) const;
    void step(Lane<double>& lane) const;
    // Takes the levels that branch k keeps the lane's end in at once, when they are at least
    // kLongRun; false, changing nothing, when they are fewer.
    template <typename Position> bool run(Lane<Position>& lane, std::size_t k) const;
    // Measures each end's position in units of its own cell and takes the wide steps.
    void start(BinEnd* ends, std::size_t count) const;
    // Takes the narrow steps until the mass undivided is below truncation of the smaller bin.
    void finish(BinEnd* ends, std::size_t count, double truncation) const;

    std::array<Frame, 2> m_frames;
    // What a wide step of an end on its cell's left end sends right, and keeps, per unit mass.
    double m_edgeToRight = 0.0;
    double m_edgeWeight = 0.0;
    unsigned m_depth = 1;
    const CascadeRuns* m_runs = nullptr;
};

} // namespace veltrane
