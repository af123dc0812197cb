// The transfer solver's ways for graphs too large for a dense elimination at every step
// (MeasureMoves.h): Noda's steps by the sparse Grassmann–Taksar–Heyman elimination (Gth.h) where
// the graph's pattern takes it, and the equilibrium's stationary law, by that elimination or by
// steps of the chain, and by the dense elimination where the steps would cost more; and, for every
// graph, the right vector where it is known in closed form.
#include "MeasureMoves.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <limits>
#include <string>
#include <veltrane/errors.h>
#include <veltrane/text.h>

namespace veltrane {

namespace {

// The law of the chain P~ is the left vector of (1 + δ)I - P~, whose other components are damped
// by δ / |1 + δ - λ| against it: δ = 2^-100 leaves them below 1e-30 over the spectral gap, and
// the solution, of the order of n / δ, well within the doubles.
constexpr double kLawShift = 0x1p-100;

// Lazy steps of the chain, far beyond what a warm start takes; they end once a step moves the law
// by at most kLawWidth in all (its sum is 1), a few units of rounding of the sums, or once that
// has stopped falling for kLawStall steps within kLawStalled.
constexpr long kMostLawSteps = 200000;
constexpr double kLawWidth = 16.0 * DBL_EPSILON;
constexpr long kLawStall = 40;
constexpr double kLawStalled = 1e-12;

// Where steps of the matrix or of the chain would cost more than a dense elimination (n^3 / 3
// multiply-adds), graphs of at most this many pieces (n^2 doubles, 32 MiB, a thread) take it:
// Noda's steps for the Perron vector, the equilibrium's law.
constexpr std::size_t kDenseLawMost = 2048;
// and the steps before it at most this many, half the power steps a solve may take: a graph of
// few moves a piece (n^2 / 3 over its moves a piece steps) comes to the elimination too.
constexpr double kMostStepsBeforeDense = 100000.0;

bool usableLaw(std::span<const double> law) {
    double total = 0.0;
    for (const double x : law) {
        if (!(x >= 0.0 && x < std::numeric_limits<double>::infinity())) {
            return false;
        }
        total += x;
    }
    return total > 0.0 && std::isfinite(total);
}

} // namespace

// At q = 0, τ = -1 the right vector of M is the pieces' lengths (the image of piece i, |s_i| ℓ_i
// long, is the pieces it covers); at q = 1, τ = 0, M = P and it is 1. The balanced matrix's is
// that times e^(q x_i) for the potentials x of its end. Kept where no entry leaves the normal
// doubles, as a start that the bounds then confirm in a step.
void TransferSolver::startKnown() {
    const bool zero = m_q == 0.0 && m_tau == -1.0 && !m_moves.lengths.empty();
    const bool one = m_q == 1.0 && m_tau == 0.0;
    if (!zero && !one) {
        return;
    }
    const std::size_t n = m_moves.size();
    std::vector<double> logRight(n);
    for (std::size_t i = 0; i < n; ++i) {
        logRight[i] = (one && m_plus != nullptr ? m_plus->potentials[i] : 0.0) +
                      (zero ? std::log(m_moves.lengths[i]) : 0.0);
    }
    const double top = *std::max_element(logRight.begin(), logRight.end());
    for (double& x : logRight) {
        x = std::exp(x - top);
        if (!(x >= DBL_MIN)) {
            return;
        }
    }
    m_right = std::move(logRight);
}

// v ← (σI - B)^-1 v normalised, as inverseStep, through the sparse factorization; false, taking
// no step, where a pivot is 0 or the solution leaves the doubles (σ is ρ to rounding).
bool TransferSolver::sparseInverseStep(double sigma) {
    const std::size_t n = m_moves.size();
    const std::vector<double>& y = m_right;
    std::vector<double> deficit(n);
    for (std::size_t i = 0; i < n; ++i) {
        double sum = 0.0;
        for (std::size_t e = m_moves.start[i]; e < m_moves.start[i + 1]; ++e) {
            sum += m_entries[e] * y[m_moves.to[e]] / y[i];
        }
        deficit[i] = std::max(0.0, sigma - sum);
    }
    const auto entries = [&](std::size_t i, const auto& take) {
        for (std::size_t e = m_moves.start[i]; e < m_moves.start[i + 1]; ++e) {
            take(m_moves.to[e], m_entries[e] * y[m_moves.to[e]] / y[i]);
        }
    };
    if (!m_factor->factor(entries, deficit)) {
        return false;
    }
    std::vector<double> z(n, 1.0);
    m_factor->solve(z);
    double top = 0.0;
    for (std::size_t i = 0; i < n; ++i) {
        z[i] *= y[i];
        if (!(z[i] > 0.0 && std::isfinite(z[i]))) {
            return false;
        }
        top = std::max(top, z[i]);
    }
    for (std::size_t i = 0; i < n; ++i) {
        m_right[i] = z[i] / top;
    }
    return true;
}

// Steps of a large graph that cost as much as a dense elimination, n^3 / 3 multiply-adds (at
// least n / 3 of them, the moves being at most n^2; at most kMostStepsBeforeDense): a matrix
// that mixes slowly, over some n^2 steps, takes the elimination after them instead. 0 where there
// is none (more than kDenseLawMost pieces, or the sparse elimination).
long TransferSolver::stepsBeforeDense() const {
    const std::size_t n = m_moves.size();
    if (n > kDenseLawMost || m_factor) {
        return 0;
    }
    const auto nn = static_cast<double>(n);
    const double steps = nn * nn * nn / 3.0 / static_cast<double>(m_moves.moveCount());
    return static_cast<long>(std::min(steps, kMostStepsBeforeDense));
}

void TransferSolver::largeStationary(std::span<const std::uint32_t> order,
                                     const RunControl& control) {
    if (m_factor && eliminatedLaw()) {
        m_lawKept = true;
        return;
    }
    const long steps = stepsBeforeDense();
    if (steps == 0) {
        const double moved = lazyLaw(control, kMostLawSteps, true);
        if (moved > 0.0) {
            throw RuntimeError(ErrorKind::Internal,
                               "the equilibrium of the transfer matrix at q = " + shortest(m_q) +
                                   " did not settle in " + std::to_string(kMostLawSteps) +
                                   " steps (a step moved it by " + shortest(moved) + ")");
        }
    } else if (lazyLaw(control, steps, false) > 0.0) {
        denseLaw(order);
    }
    m_lawKept = true;
}

// The law as the left vector of (1 + δ)I - P~ by the elimination, every step of which adds
// positive terms: the weights of parts of the chain nearly uncoupled keep their digits.
bool TransferSolver::eliminatedLaw() {
    const std::size_t n = m_moves.size();
    const std::vector<double> deficit(n, kLawShift);
    const auto entries = [&](std::size_t i, const auto& take) {
        for (std::size_t e = m_moves.start[i]; e < m_moves.start[i + 1]; ++e) {
            take(m_moves.to[e], m_chain[e]);
        }
    };
    if (!m_factor->factor(entries, deficit)) {
        return false;
    }
    std::vector<double> law(n, 1.0);
    m_factor->solveTransposed(law);
    if (!usableLaw(law)) {
        return false;
    }
    m_law = std::move(law);
    return true;
}

// Steps π ← π P~ while each at least halves the move of the law, then lazy ones,
// π ← π (I + P~) / 2, which settle on a periodic chain too, from the last solve's law (the
// transfer solver's power steps turn to their shift alike). Returns 0 once it has settled, or
// where mostSteps did not settle it the least move of a step, above 0; likewise where the moves
// stall unless stallSettles. A stall is rounding, or a chain that mixes too slowly for the
// moves to show what is left (a move of 1e-12 a step leaves 1e-3 where the law mixes over 10^9
// steps): taken as settled only where nothing better is at hand.
double TransferSolver::lazyLaw(const RunControl& control, long mostSteps, bool stallSettles) {
    const std::size_t n = m_moves.size();
    if (!(m_lawKept && usableLaw(m_law))) {
        m_law.assign(n, 1.0 / static_cast<double>(n));
    }
    double best = std::numeric_limits<double>::infinity();
    long sinceBest = 0;
    double keep = 0.0; // of the law, a step: 1/2 once lazy
    for (long step = 1;; ++step) {
        if (step > mostSteps) {
            return best;
        }
        if (step % 256 == 0) {
            checkCancelled(control);
        }
        const double moving = 1.0 - keep;
        std::fill(m_next.begin(), m_next.end(), 0.0);
        for (std::size_t i = 0; i < n; ++i) {
            for (std::size_t e = m_moves.start[i]; e < m_moves.start[i + 1]; ++e) {
                m_next[m_moves.to[e]] += moving * m_law[i] * m_chain[e];
            }
        }
        double moved = 0.0;
        for (std::size_t i = 0; i < n; ++i) {
            const double next = m_next[i] + keep * m_law[i];
            moved += std::fabs(next - m_law[i]);
            m_law[i] = next;
        }
        if (moved <= kLawWidth) {
            return 0.0;
        }
        if (!halvedWhatIsLeft(moved, best)) {
            keep = 0.5;
        }
        if (moved < 0.99 * best) {
            best = moved;
            sinceBest = 0;
        } else if (++sinceBest >= kLawStall && best <= kLawStalled) {
            return stallSettles ? 0.0 : best;
        }
    }
}

} // namespace veltrane
