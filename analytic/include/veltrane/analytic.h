#pragma once

// Full-branch expanding maps of [0, 1] whose inverse branches are formulas in x, such as the
// continued-fraction maps (ψ_a(x) = 1/(a + x) for the digits a of a set) or smooth conjugates of
// piecewise-linear maps: the pressure P(β) = ln ρ(L_β) of the transfer operator
// L_β f(x) = Σ_i |ψ_i'(x)|^β f(ψ_i(x)), the Hausdorff dimension of the repeller (the zero of P,
// Bowen's formula) and the Lyapunov spectrum, in double precision or to a number of digits
// asked for. The operator is collocated at Chebyshev nodes; the digits come from Arb's ball
// arithmetic, checked against a run with more nodes. A library of its own over the core,
// so that the core and its users need no Arb.
#include <cstddef>
#include <iosfwd>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>
#include <veltrane/exact.h>
#include <veltrane/run.h>

namespace veltrane {

namespace detail {
struct AnalyticBranches;
} // namespace detail

// A map given by its inverse branches, checked: each ψ_i is defined on [0, 1], one-to-one (ψ_i'
// of one strict sign), takes [0, 1] into [0, 1] and contracts (|ψ_i'| < 1 on [0, 1], or where it
// reaches 1, as 1/(1 + x) at 0, every ψ_k ∘ ψ_i contracts there: so some iterate of the map
// expands uniformly, and a parabolic point such as 0 for x/(1 + x) is refused), and the images
// meet at most at their ends. Each check is made with rigorous bounds over the whole of [0, 1]
// (ball arithmetic on pieces of [0, 1] small enough to decide it), so a map that is taken
// satisfies them, with one allowance: ends that balls at 2000 bits find equal to within 2^-1900
// (1/3 as 1/(2 + 1) and as 1/(3 + 0)) are taken as equal, which no finite precision can prove.
// Copies share the branches.
class AnalyticMap {
public:
    // The most branches and the longest formula taken.
    static constexpr std::size_t kMostBranches = 64;
    static constexpr std::size_t kLongestFormula = 4096;

    // Inverse branches as formulas in x (Formula's grammar, in Formula.h's terms: numbers, x,
    // pi, e, + - * / ^, parentheses, exp log sqrt sin cos tan atan sinh cosh), at least one,
    // in any order. Throws InputError naming the branch (from 1) and saying why: a formula that
    // does not parse (with its column), one leaving [0, 1] or not contracting somewhere on
    // [0, 1] (with the bounds found), two images that overlap (with their bounds), too many
    // branches or too long a formula.
    static AnalyticMap fromFormulas(std::span<const std::string> formulas);

    // The continued-fraction map of a set of digits: branches 1/(a + x), one for each digit a
    // (whole numbers from 1 to 10^6, no repeats, in any order). Throws InputError otherwise.
    static AnalyticMap continuedFraction(std::span<const unsigned> digits);

    // Branches one a line, blank lines and text after '#' ignored. Throws InputError naming
    // the line (from 1) where fromFormulas would refuse the branch.
    static AnalyticMap read(std::istream& in);

    std::size_t branchCount() const;
    // The formulas in the order given, as given (without surrounding blanks) or as the
    // shorthand writes them ("1/(2+x)"); branches() holds them in the images' order.
    std::vector<std::string> formulas() const;

    // The branches as the solver uses them.
    const detail::AnalyticBranches& branches() const { return *m_branches; }

private:
    AnalyticMap(std::shared_ptr<const detail::AnalyticBranches> branches,
                std::vector<std::size_t> placeOfGiven);
    std::shared_ptr<const detail::AnalyticBranches> m_branches;
    // m_placeOfGiven[i]: where the i-th branch given stands in m_branches.
    std::vector<std::size_t> m_placeOfGiven;
};

// A value to a number of significant digits: the digits that a run with more nodes confirms,
// and the error estimated from the two runs.
struct PreciseValue {
    std::string value;   // decimal, as many significant digits as `digits` says
    std::string error;   // the estimated error, one significant digit ("3e-102")
    unsigned digits = 0; // significant digits of value
    unsigned nodes = 0;  // the collocation nodes of the run printed
    unsigned bits = 0;   // its working precision
};

namespace detail {
class AnalyticModel;
} // namespace detail

class AnalyticSolver {
public:
    // The most digits asked for, and the most nodes a run may take before it says that the
    // map converges too slowly for them.
    static constexpr unsigned kMostDigits = 1000;
    static constexpr unsigned kMostNodes = 1024;

    explicit AnalyticSolver(const AnalyticMap& map);

    // P(β) in double precision, for a finite β.
    double pressure(double beta) const;
    // The β where P crosses 0: the Hausdorff dimension of the repeller.
    double dimension() const;
    // The ends of the spectrum's range of Lyapunov exponents: the extreme exponents of the
    // periodic orbits up to orbitPeriod(), where the equilibrium states of large |β| come
    // within e^-50 of them; or, where the collocations (up to 256 points) cannot resolve such
    // β (a branch nearly parabolic), the exponents of the farthest β they resolve, and then
    // rangeAtOrbits() is false. The first call that needs them takes the longest.
    double lambdaMin() const;
    double lambdaMax() const;
    unsigned orbitPeriod() const;
    bool rangeAtOrbits() const;
    // The extreme exponents of the periodic orbits themselves.
    double orbitLambdaMin() const;
    double orbitLambdaMax() const;

    // The equilibrium state of β: λ = -P'(β), h = P(β) + βλ, D = h/λ.
    ExactPoint atBeta(double beta) const;
    // The point at λ, a λ outside [lambdaMin, lambdaMax] (±∞ too) taken at the nearer end;
    // InputError for a NaN.
    ExactPoint atLyapunov(double lambda) const;
    // points ≥ 2 evenly spaced exponents from lambdaMin to lambdaMax, as ExactSolver's, checked
    // before they are handed on (0 ≤ h ≤ min(λ, P(0)), D ≤ 1, concave); RuntimeError
    // (ErrorKind::Internal) in place of a point past a bound.
    ExactSpectrum spectrum(std::size_t points, const RunControl& control = {}) const;

    // P(β) and the dimension to `digits` significant digits (1 .. kMostDigits), β given as a
    // decimal text read exactly. A P(β) that is 0 to three times the digits' working precision
    // (β the dimension of a linear map) has no significant digit: it is "0", with 0 digits and
    // its size bounded by the error. Throws InputError for digits outside the range, a β that
    // is not a number, or when kMostNodes nodes do not give the digits (a branch nearly
    // parabolic: the digits found are in the message).
    PreciseValue pressure(std::string_view beta, unsigned digits) const;
    PreciseValue dimension(unsigned digits) const;

private:
    std::shared_ptr<const detail::AnalyticModel> m_model;
};

} // namespace veltrane
