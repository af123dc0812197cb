#pragma once

#include <cstdint>
#include <string>
#include <vector>
#include <veltrane/classic/CheckedArray.h>
#include <veltrane/classic/Module1.h>
#include <veltrane/classic/Outcome.h>
#include <veltrane/classic/TextToSingle.h>

namespace veltrane::classic {

inline constexpr const char* kThreeBranchRangeMessage = "These values must be >0 and <1";
inline constexpr const char* kThreeBranchOrderMessage = "C1 must be less than C2";
inline constexpr const char* kZ1ZeroMessage = "z1=0";

// Weights a(0..5) (1 to 3 used) and branch exponents lm(0..3) (1 to 3 used).
using Weights = CheckedArray<float, 0, 5>;
using Exponents = CheckedArray<float, 0, 3>;

// What entr3 needs from its surroundings: where its z1 = 0 guard leaves its message for the
// user, and a count of the logarithms it takes, for the benchmarks.
struct Entr3Context {
    std::vector<std::string>& messages;
    long logarithms = 0;
};

// Solves a(1) + a(2) + a(3) = 1 and sum lm(i) a(i) = l for a(1), a(2) from a(3), writing
// a(2) then a(1). Returns the entropy -sum a(i) ln a(i) over weights 1..n in double; -100
// when a weight lies outside [0, 1]; 0, after the "z1=0" message, when lm(1) = lm(2).
double entr3(Weights& a, const float& l, const Exponents& lm, const std::int16_t& n,
             Entr3Context& context);

// The three-branch analysis: reads C1 and C2, rejects them unless 0 < C1 < C2 < 1, and fills
// graphs 1 and 2 with the entropy maximised over a grid of the third weight for 101 target
// exponents (fewer where a step has no feasible weight), then graph_n(1), graph_n(2) and
// graph_count = 2. Nothing in the store changes unless it completes. entr3's messages, if
// any, are in the outcome.
AnalysisOutcome runThreeBranch(const FieldSource& fields, const TextToSingle& toSingle,
                               Module1& store);

} // namespace veltrane::classic
