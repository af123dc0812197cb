#pragma once

// The checks an analytic map's inverse branches pass before the solver sees them, each decided
// with rigorous bounds: Arb balls over pieces of [0, 1], bisected until the property is proven or
// refuted or a limit of pieces is reached (then the branch is refused, saying where). Each check
// throws InputError whose message starts with the label it is given ("branch 2: ...").
#include "Formula.h"

#include <cstddef>
#include <span>
#include <string>
#include <utility>
#include <vector>

namespace veltrane::detail {

struct CheckedBranch {
    Formula formula;
    std::string label;       // "branch 2", or "line 7 (branch 2)" for a file
    bool increasing = false; // the sign of ψ', set by checkMonotone
};

// ψ and ψ' defined (finite bounds) on all of [0, 1] and ψ' of one strict sign there, so that ψ
// is one-to-one; returns whether ψ increases. Refuses a formula undefined somewhere (log of 0,
// a division by 0, ψ' unbounded), ψ' = 0 at a point or of both signs.
bool checkMonotone(const Formula& psi, const std::string& label);

// ψ([0, 1]) within [0, 1], for a monotone ψ: its ends compared with 0 and 1 at 128, 512 and
// 2000 bits. An end equal to 0 or 1 to within 2^-1900 at 2000 bits is taken as touching it; one
// whose ball is still wider than that and holds 0 or 1 is refused as undecided.
void checkInside(const CheckedBranch& branch);

// Branch j contracts: |ψ_j'| < 1 on each piece of [0, 1], or, where that is not proven, every
// ψ_k ∘ ψ_j contracts on the piece (so |ψ_j'| may reach 1 away from the images, as 1/(1 + x)
// does at 0 for the continued fractions). Then some iterate of the map contracts uniformly.
// Refuses a point where |ψ_j'| > 1, or where |ψ_j'| ≥ 1 and |ψ_k'| ≥ 1 at its image (a
// parabolic point such as 0 for x/(1 + x)), and a piece where neither bound is proven. The
// branches are monotone and inside [0, 1] already.
void checkContracting(std::span<const CheckedBranch> branches, std::size_t j);

// The branches' places from left to right: order[p] is the branch whose image is p-th. Refuses
// two images that overlap by more than an end, compared at 128, 512 and 2000 bits; ends equal
// to within 2^-1900 at 2000 bits are taken as shared, ends whose balls are wider than that and
// meet are refused as undecided.
std::vector<std::size_t> orderImages(std::span<const CheckedBranch> branches);

// An interval [low, high] within [0, 1] that every branch maps into itself, so holding the
// repeller: the hull of the images of [0, 1], then of the images of that hull, a few times
// (each step nests in the one before), its ends rounded outward to doubles. The branches are
// checked already.
std::pair<double, double> invariantHull(std::span<const CheckedBranch> branches);

} // namespace veltrane::detail
