#pragma once

// The windows' two analyses as plain functions: the spectral diagram of a two-branch map with
// break point C, or of a three-branch map with break points C1 < C2, in single precision and
// exactly as the Analyze buttons store it.
#include <string>
#include <vector>
#include <veltrane/classic/Errors.h>
#include <veltrane/classic/Fields.h>
#include <veltrane/classic/Module1.h>
#include <veltrane/classic/Outcome.h>
#include <veltrane/classic/TextToSingle.h>
#include <veltrane/classic/ThreeBranch.h>
#include <veltrane/classic/TwoBranch.h>

namespace veltrane::classic {

// One point of graphs 1 (entropy) and 2 (fractal dimension) of the store, at its exponent.
struct ClassicPoint {
    float lyapunov = 0.0F;
    float entropy = 0.0F;
    float dimension = 0.0F;
};

struct ClassicSpectrum {
    std::vector<float> breakPoints; // C, or C1 and C2
    std::vector<float> exponents;   // the branch exponents, left to right
    std::vector<ClassicPoint> points;
    std::vector<std::string> messages; // what the analysis showed on the way (entr3's "z1=0")
};

// The points the store holds after an analysis: points 0 .. graph_n(1) of graphs 1 and 2.
std::vector<ClassicPoint> storedPoints(const Module1& store);

// The two-branch analysis of C: its 101 points. Throws what throwUnlessCompleted (Outcome.h)
// throws: RefusedValue, an InputError, with the analysis's own text ("C must be >0 and <1") for
// C outside (0, 1), ConversionError, an InputError too, for a C whose text is no number (a NaN),
// RuntimeError for its run-time errors.
ClassicSpectrum twoBranchSpectrum(float c);

// The three-branch analysis of C1 and C2: its points (101 or fewer, or one where the exponents
// are equal). Throws as twoBranchSpectrum does, RefusedValue for values outside (0, 1) or out
// of order.
ClassicSpectrum threeBranchSpectrum(float c1, float c2);

} // namespace veltrane::classic
