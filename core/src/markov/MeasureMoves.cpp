#include "MeasureMoves.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <limits>
#include <numeric>
#include <string>
#include <veltrane/errors.h>
#include <veltrane/text.h>

namespace veltrane {

namespace {

constexpr std::uint32_t kNone = std::numeric_limits<std::uint32_t>::max();

// Policy rounds far beyond what Howard's iteration takes (a few tens on the maps tried).
constexpr int kMostPolicyRounds = 100000;

// Power steps far beyond what a solve takes (tens where the other eigenvalues keep clear of ρ).
constexpr long kMostPowerSteps = 200000;

// The Collatz–Wielandt bounds are asked to close to this relative width, a few units of
// rounding of the ratios; where their rounding keeps them wider, a solve ends once they have
// stopped closing for kStall steps within kStalledWidth.
constexpr double kWidth = 8.0 * DBL_EPSILON;
constexpr long kStall = 40;
constexpr double kStalledWidth = 1e-11;

// Power steps before a small matrix turns to Noda's iteration, and how small: a dense
// elimination of n^3 / 3 multiply-adds.
constexpr long kPowerBeforeInverse = 200;
constexpr std::size_t kDenseMost = 400;

// A large sparse graph takes Noda's steps by the sparse elimination from its first step on: they
// cost a few products each and settle in a handful, where power steps may not settle at all (a
// chain's eigenvalues lie near one circle).
constexpr long kPowerBeforeSparse = 1;

// Large graphs taken by the sparse elimination: at most this many moves a piece on average, and
// at most this many multiply-adds a piece to eliminate, a few dozen products' worth.
constexpr std::size_t kSparseEdgesPerPiece = 16;
constexpr std::size_t kSparseWorkPerPiece = 256;

// Noda's steps settle quadratically: a few that no longer narrow the bounds have met their
// rounding (about n units on a chain of n pieces, whose elimination runs along it).
constexpr long kSparseStall = 1;

// Newton's steps for τ far beyond the handful it takes.
constexpr int kMostNewtonSteps = 200;

[[noreturn]] void fault(const std::string& what) {
    throw RuntimeError(ErrorKind::Internal, what);
}

} // namespace

void checkMoveCount(const IntervalRows& rows) {
    std::size_t count = 0;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        count += rows.end[i] - rows.begin[i];
        if (count > kMostMoves) {
            throw InputError("the map's pieces cover more than " + std::to_string(kMostMoves) +
                             " pieces in all, the most moves a Markov measure may have");
        }
    }
}

MeasureMoves measureMoves(const TransitionMap& map, const MarkovWeights& weights) {
    checkMoveCount(map.rows);
    const std::size_t n = map.rows.size();
    if (weights.size() != n) {
        throw WeightError("the map has " + std::to_string(n) + " pieces and the weights " +
                          std::to_string(weights.size()) + " rows: one row a piece");
    }
    MeasureMoves moves;
    moves.logS = map.exponents;
    moves.lengths.reserve(n);
    for (std::size_t i = 0; i < n; ++i) {
        const double left = i == 0 ? 0.0 : map.breakPoints[i - 1];
        moves.lengths.push_back((i + 1 == n ? 1.0 : map.breakPoints[i]) - left);
    }
    moves.start.push_back(0);
    for (std::size_t i = 0; i < n; ++i) {
        const std::vector<double>& row = weights[i];
        const std::size_t count = map.rows.end[i] - map.rows.begin[i];
        if (row.size() != count) {
            throw WeightError(pieceName(i) + " makes " + std::to_string(count) +
                              " moves and its row has " + std::to_string(row.size()) +
                              " weights: one a piece its image covers");
        }
        double sum = 0.0;
        for (std::size_t k = 0; k < count; ++k) {
            if (!(std::isfinite(row[k]) && row[k] > 0.0)) {
                throw WeightError("weight " + std::to_string(k + 1) + " of " + pieceName(i) + " (" +
                                  shortest(row[k]) + ") must be a positive finite number");
            }
            sum += row[k];
        }
        if (!std::isfinite(sum)) {
            throw WeightError("the weights of " + pieceName(i) + " sum beyond the doubles");
        }
        for (std::size_t k = 0; k < count; ++k) {
            moves.to.push_back(map.rows.begin[i] + static_cast<std::uint32_t>(k));
            // ln(w / sum) as the difference of logarithms keeps the digits of a weight whose
            // quotient would be subnormal.
            moves.logP.push_back(std::log(row[k]) - std::log(sum));
        }
        moves.start.push_back(moves.to.size());
    }
    return moves;
}

std::optional<GthPattern> measurePattern(const MeasureMoves& moves) {
    const std::size_t n = moves.size();
    if (n <= kDenseMost) {
        return std::nullopt;
    }
    IntervalRows rows;
    for (std::size_t i = 0; i < n; ++i) {
        const std::size_t count = moves.start[i + 1] - moves.start[i];
        const std::uint32_t first = count == 0 ? 0 : moves.to[moves.start[i]];
        for (std::size_t k = 0; k < count; ++k) {
            if (moves.to[moves.start[i] + k] != first + k) {
                return std::nullopt;
            }
        }
        rows.begin.push_back(first);
        rows.end.push_back(first + static_cast<std::uint32_t>(count));
    }
    return GthPattern::of(rows, kSparseEdgesPerPiece * n, kSparseWorkPerPiece * n);
}

std::vector<std::uint32_t> strongComponents(const MeasureMoves& moves,
                                            const std::vector<bool>& keep, std::uint32_t& count) {
    // Tarjan's search, kept on explicit stacks so that a long chain does not exhaust the call
    // stack.
    const std::size_t n = moves.size();
    std::vector<std::uint32_t> index(n, kNone);
    std::vector<std::uint32_t> low(n, 0);
    std::vector<std::uint32_t> component(n, kNone);
    std::vector<std::uint32_t> stack;
    std::vector<std::pair<std::uint32_t, std::size_t>> calls; // vertex, next move to look at
    std::uint32_t next = 0;
    count = 0;
    for (std::uint32_t root = 0; root < n; ++root) {
        if (index[root] != kNone) {
            continue;
        }
        calls.emplace_back(root, moves.start[root]);
        index[root] = low[root] = next++;
        stack.push_back(root);
        while (!calls.empty()) {
            auto& [v, e] = calls.back();
            if (e < moves.start[v + 1]) {
                const std::size_t move = e++;
                const std::uint32_t w = moves.to[move];
                if (!keep[move]) {
                    continue;
                }
                if (index[w] == kNone) {
                    index[w] = low[w] = next++;
                    stack.push_back(w);
                    calls.emplace_back(w, moves.start[w]);
                } else if (component[w] == kNone) {
                    low[v] = std::min(low[v], index[w]);
                }
                continue;
            }
            const std::uint32_t done = v;
            calls.pop_back();
            if (!calls.empty()) {
                low[calls.back().first] = std::min(low[calls.back().first], low[done]);
            }
            if (low[done] == index[done]) {
                std::uint32_t w = kNone;
                do {
                    w = stack.back();
                    stack.pop_back();
                    component[w] = count;
                } while (w != done);
                ++count;
            }
        }
    }
    return component;
}

std::vector<MeasureMoves> cyclicParts(const MeasureMoves& moves, const std::vector<bool>& keep) {
    std::uint32_t count = 0;
    const std::vector<std::uint32_t> component = strongComponents(moves, keep, count);
    std::vector<std::uint32_t> local(moves.size());
    std::vector<std::uint32_t> sizes(count, 0);
    for (std::size_t i = 0; i < moves.size(); ++i) {
        local[i] = sizes[component[i]]++;
    }
    std::vector<MeasureMoves> parts(count);
    for (MeasureMoves& part : parts) {
        part.start.push_back(0);
    }
    for (std::size_t i = 0; i < moves.size(); ++i) {
        MeasureMoves& part = parts[component[i]];
        part.logS.push_back(moves.logS[i]);
        for (std::size_t e = moves.start[i]; e < moves.start[i + 1]; ++e) {
            if (keep[e] && component[moves.to[e]] == component[i]) {
                part.to.push_back(local[moves.to[e]]);
                part.logP.push_back(moves.logP[e]);
            }
        }
        part.start.push_back(part.to.size());
    }
    std::erase_if(parts, [](const MeasureMoves& part) { return part.to.empty(); });
    return parts;
}

namespace {

// One round of Howard's iteration: the ratio of the cycle each vertex's policy leads to, and the
// potentials along the policy.
struct Policy {
    std::vector<std::size_t> move; // the move each vertex takes
    std::vector<long double> ratio;
    std::vector<long double> potential;
};

void evaluate(const MeasureMoves& moves, std::span<const double> cost, Policy& policy) {
    const std::size_t n = moves.size();
    std::vector<std::uint32_t> walk(n, kNone); // the walk that reached a vertex, kNone: none yet
    std::vector<std::uint32_t> path;
    std::vector<bool> done(n, false);
    const auto next = [&](std::uint32_t i) { return moves.to[policy.move[i]]; };
    const auto pull = [&](std::uint32_t i) {
        const std::uint32_t j = next(i);
        policy.ratio[i] = policy.ratio[j];
        policy.potential[i] = static_cast<long double>(cost[policy.move[i]]) -
                              policy.ratio[j] * moves.logS[i] + policy.potential[j];
        done[i] = true;
    };
    for (std::uint32_t s = 0; s < n; ++s) {
        if (done[s]) {
            continue;
        }
        path.clear();
        std::uint32_t i = s;
        while (!done[i] && walk[i] != s) {
            walk[i] = s;
            path.push_back(i);
            i = next(i);
        }
        std::size_t stop = path.size(); // the vertices before the cycle, if any, end here
        if (!done[i]) {
            // i starts a cycle of the policy: its ratio, and potential 0 at i.
            const auto at =
                static_cast<std::size_t>(std::find(path.begin(), path.end(), i) - path.begin());
            long double sumCost = 0.0L;
            long double sumTime = 0.0L;
            for (std::size_t k = at; k < path.size(); ++k) {
                sumCost += cost[policy.move[path[k]]];
                sumTime += moves.logS[path[k]];
            }
            policy.ratio[i] = sumCost / sumTime;
            policy.potential[i] = 0.0L;
            done[i] = true;
            for (std::size_t k = path.size(); k-- > at + 1;) {
                pull(path[k]);
            }
            stop = at;
        }
        for (std::size_t k = stop; k-- > 0;) {
            pull(path[k]);
        }
    }
}

// Improves the policy where a successor leads to a smaller ratio, or else to a smaller
// potential by more than slack; returns whether it changed.
bool improve(const MeasureMoves& moves, std::span<const double> cost, long double slack,
             Policy& policy) {
    bool changed = false;
    for (std::size_t i = 0; i < moves.size(); ++i) {
        for (std::size_t e = moves.start[i]; e < moves.start[i + 1]; ++e) {
            const std::uint32_t j = moves.to[e];
            if (policy.ratio[j] < policy.ratio[i] - slack) {
                policy.ratio[i] = policy.ratio[j];
                policy.move[i] = e;
                changed = true;
            }
        }
    }
    if (changed) {
        return true;
    }
    for (std::size_t i = 0; i < moves.size(); ++i) {
        long double best = policy.potential[i] - slack;
        for (std::size_t e = moves.start[i]; e < moves.start[i + 1]; ++e) {
            const long double value = static_cast<long double>(cost[e]) -
                                      policy.ratio[i] * moves.logS[i] +
                                      policy.potential[moves.to[e]];
            if (value < best) {
                best = value;
                policy.move[i] = e;
                changed = true;
            }
        }
    }
    return changed;
}

// The vertices by their number of policy moves to a policy cycle, nearest first: breadth first
// from the cycles over the policy's moves reversed.
std::vector<std::uint32_t> policyOrder(const MeasureMoves& moves, const Policy& policy) {
    const std::size_t n = moves.size();
    std::vector<std::vector<std::uint32_t>> before(n);
    for (std::uint32_t i = 0; i < n; ++i) {
        before[moves.to[policy.move[i]]].push_back(i);
    }
    // A vertex lies on a policy cycle when following the policy n times from it comes back.
    std::vector<std::uint32_t> order;
    std::vector<bool> placed(n, false);
    std::vector<std::uint32_t> state(n, kNone);
    for (std::uint32_t s = 0; s < n; ++s) {
        std::uint32_t i = s;
        while (state[i] == kNone) {
            state[i] = s;
            i = moves.to[policy.move[i]];
        }
        if (state[i] == s) { // a new cycle through i
            std::uint32_t j = i;
            do {
                order.push_back(j);
                placed[j] = true;
                j = moves.to[policy.move[j]];
            } while (j != i);
        }
    }
    for (std::size_t at = 0; at < order.size(); ++at) {
        for (const std::uint32_t k : before[order[at]]) {
            if (!placed[k]) {
                placed[k] = true;
                order.push_back(k);
            }
        }
    }
    return order;
}

} // namespace

CycleRatio smallestCycleRatio(const MeasureMoves& moves, std::span<const double> cost, double tie,
                              const RunControl& control) {
    const std::size_t n = moves.size();
    Policy policy{std::vector<std::size_t>(n), std::vector<long double>(n),
                  std::vector<long double>(n)};
    long double scale = 0.0L;
    for (std::size_t i = 0; i < n; ++i) {
        policy.move[i] = moves.start[i];
        for (std::size_t e = moves.start[i]; e < moves.start[i + 1]; ++e) {
            if (cost[e] < cost[policy.move[i]]) {
                policy.move[i] = e;
            }
            scale = std::max(scale, std::fabs(static_cast<long double>(cost[e])));
        }
        scale = std::max(scale, static_cast<long double>(moves.logS[i]));
    }
    // Potentials are sums along paths of up to n moves, each rounded in long double.
    const long double slack = 4.0L * static_cast<long double>(n) * LDBL_EPSILON * scale;
    int rounds = 0;
    do {
        checkCancelled(control);
        if (++rounds > kMostPolicyRounds) {
            fault("the smallest cycle ratio of the measure was not found in " +
                  std::to_string(kMostPolicyRounds) + " rounds");
        }
        evaluate(moves, cost, policy);
    } while (improve(moves, cost, slack, policy));
    CycleRatio result{
        policy.ratio[0], std::vector<bool>(moves.moveCount(), false), std::vector<double>(n), {}};
    for (std::size_t i = 0; i < n; ++i) {
        result.potentials[i] = static_cast<double>(policy.potential[i]);
    }
    result.order = policyOrder(moves, policy);
    for (std::size_t i = 0; i < n; ++i) {
        const long double ratioTime = result.ratio * moves.logS[i];
        for (std::size_t e = moves.start[i]; e < moves.start[i + 1]; ++e) {
            const long double x = policy.potential[moves.to[e]];
            const long double gap =
                static_cast<long double>(cost[e]) - ratioTime + x - policy.potential[i];
            const long double size = std::fabs(static_cast<long double>(cost[e])) +
                                     std::fabs(ratioTime) + std::fabs(x) +
                                     std::fabs(policy.potential[i]) + scale;
            result.tight[e] = std::fabs(gap) <= static_cast<long double>(tie) * size + slack;
        }
    }
    return result;
}

TransferSolver::TransferSolver(const MeasureMoves& moves, const CycleRatio* plus,
                               const CycleRatio* minus, const GthPattern* pattern)
    : m_moves(moves), m_plus(plus), m_minus(minus), m_entries(moves.moveCount()),
      m_exponents(moves.moveCount()), m_chain(moves.moveCount()), m_right(moves.size(), 1.0),
      m_law(moves.size()), m_next(moves.size()) {
    if (pattern != nullptr) {
        m_factor.emplace(*pattern);
    }
}

void TransferSolver::entries(double q, double tau) {
    m_q = q;
    m_tau = tau;
    // The entries over their largest, so that ρ of what is left is at most the number of moves
    // of a row and at least the smallest entry: ln ρ(M) = shift + ln ρ(M / e^shift).
    double top = -std::numeric_limits<double>::infinity();
    const CycleRatio* end = q >= 0.0 ? m_plus : m_minus;
    const double sign = q >= 0.0 ? -q : q;
    const auto phi = [&](std::size_t i) {
        return end == nullptr ? 0.0 : sign * end->potentials[i];
    };
    for (std::size_t i = 0; i < m_moves.size(); ++i) {
        const double t = tau * m_moves.logS[i] - phi(i);
        for (std::size_t e = m_moves.start[i]; e < m_moves.start[i + 1]; ++e) {
            m_entries[e] = q * m_moves.logP[e] + t + phi(m_moves.to[e]);
            top = std::max(top, m_entries[e]);
        }
    }
    if (!std::isfinite(top)) {
        throw RuntimeError(ErrorKind::Overflow, "the transfer matrix at q = " + shortest(q) +
                                                    ", tau = " + shortest(tau) +
                                                    " lies beyond the range of doubles");
    }
    m_shift = top;
    for (std::size_t e = 0; e < m_entries.size(); ++e) {
        m_exponents[e] = m_entries[e] - top;
        m_entries[e] = std::exp(m_exponents[e]);
    }
}

// Power steps with the matrix shifted by the upper bound, so that eigenvalues of modulus near ρ
// (of a periodic graph, or of a single cycle that carries the measure at large |q|) do not keep
// the vector turning, and Noda's steps on a small matrix where they are slow; returns the steps.
// A large graph steps unshifted while each step halves the bounds' width (halvedWhatIsLeft): a
// dense graph mixing in a few moves then takes a dozen steps from a neighbouring solve's vector,
// against some forty shifted; it takes Noda's steps by the sparse elimination where its pattern
// allows, and by the dense one once the power steps have cost as much (stepsBeforeDense).
long TransferSolver::iterate(const RunControl& control, double& lower, double& upper) {
    std::vector<double>& y = m_right;
    const std::size_t n = m_moves.size();
    const bool large = n > kDenseMost;
    startKnown();
    const long denseAfter = large ? stepsBeforeDense() : 0;
    // Whether the steps are Noda's on a large graph, which stall only at their rounding.
    const auto noda = [&](long step) {
        return large && (m_factor || (denseAfter > 0 && step > denseAfter));
    };
    double best = std::numeric_limits<double>::infinity();
    long sinceBest = 0;
    bool shifted = !large;
    for (long step = 1; step <= kMostPowerSteps; ++step) {
        if (step % 256 == 0) {
            checkCancelled(control);
        }
        lower = std::numeric_limits<double>::infinity();
        upper = 0.0;
        for (std::size_t i = 0; i < n; ++i) {
            double sum = 0.0;
            for (std::size_t e = m_moves.start[i]; e < m_moves.start[i + 1]; ++e) {
                sum += m_entries[e] * y[m_moves.to[e]];
            }
            m_next[i] = sum;
            lower = std::min(lower, sum / y[i]);
            upper = std::max(upper, sum / y[i]);
        }
        if (!(lower > 0.0 && upper < std::numeric_limits<double>::infinity())) {
            throw RuntimeError(ErrorKind::Overflow,
                               "the Perron vector of the transfer matrix at q = " + shortest(m_q) +
                                   ", tau = " + shortest(m_tau) +
                                   " spans more than the range of doubles");
        }
        const double width = (upper - lower) / upper;
        if (width <= kWidth) {
            return step;
        }
        shifted = shifted || !halvedWhatIsLeft(width, best);
        if (width < 0.99 * best) {
            best = width;
            sinceBest = 0;
        } else if (++sinceBest >= (noda(step) ? kSparseStall : kStall) && best <= kStalledWidth) {
            return step;
        }
        if (step >= kPowerBeforeInverse && !large && inverseStep(upper)) {
            continue;
        }
        if (step >= kPowerBeforeSparse && large && m_factor && sparseInverseStep(upper)) {
            continue;
        }
        if (large && denseAfter > 0 && step >= denseAfter && inverseStep(upper)) {
            continue;
        }
        const double shift = shifted ? upper : 0.0;
        double top = 0.0;
        for (std::size_t i = 0; i < n; ++i) {
            m_next[i] += shift * y[i];
            top = std::max(top, m_next[i]);
        }
        for (std::size_t i = 0; i < n; ++i) {
            y[i] = m_next[i] / top;
        }
    }
    fault("the Perron root of the transfer matrix at q = " + shortest(m_q) +
          ", tau = " + shortest(m_tau) + " did not settle in " + std::to_string(kMostPowerSteps) +
          " steps (bounds " + shortest(lower) + " to " + shortest(upper) + ")");
}

// v ← (σI - B)^-1 v normalised, for σ at least every ratio (Bv)_i / v_i: a step of Noda's
// iteration, which converges where the power steps are slow (parts of the graph nearly
// uncoupled, cycles nearly tied at large |q|). As (σI - B)^-1 v = V (σI - C)^-1 1 with
// C = V^-1 B V, whose rows sum to the ratios, it solves with σI - C by Grassmann, Taksar and
// Heyman's elimination: each pivot is the row's deficit σ - Σ_j C_ij plus its remaining entries,
// every step adds positive terms, and the solution keeps the digits of its smallest entries
// however near σI - C is to singular. Dense: n^3 / 3 multiply-adds. Returns false, taking no
// step, where a pivot is 0 (σ is ρ to the last bit).
bool TransferSolver::inverseStep(double sigma) {
    const std::size_t n = m_moves.size();
    std::vector<double> c(n * n, 0.0);
    std::vector<double> deficit(n, 0.0);
    for (std::size_t i = 0; i < n; ++i) {
        double sum = 0.0;
        for (std::size_t e = m_moves.start[i]; e < m_moves.start[i + 1]; ++e) {
            const double entry = m_entries[e] * m_right[m_moves.to[e]] / m_right[i];
            c[i * n + m_moves.to[e]] += entry;
            sum += entry;
        }
        deficit[i] = std::max(0.0, sigma - sum);
    }
    std::vector<double> pivot(n);
    for (std::size_t k = 0; k < n; ++k) {
        double p = deficit[k];
        for (std::size_t j = k + 1; j < n; ++j) {
            p += c[k * n + j];
        }
        if (!(p > 0.0)) {
            return false;
        }
        pivot[k] = p;
        for (std::size_t i = k + 1; i < n; ++i) {
            const double l = c[i * n + k] / p; // the multiplier, kept in place of C_ik
            c[i * n + k] = l;
            if (l == 0.0) {
                continue;
            }
            deficit[i] += l * deficit[k];
            for (std::size_t j = k + 1; j < n; ++j) {
                if (j != i) {
                    c[i * n + j] += l * c[k * n + j];
                }
            }
        }
    }
    std::vector<double> z(n, 1.0);
    for (std::size_t i = 0; i < n; ++i) {
        for (std::size_t k = 0; k < i; ++k) {
            z[i] += c[i * n + k] * z[k];
        }
    }
    for (std::size_t k = n; k-- > 0;) {
        double sum = z[k];
        for (std::size_t j = k + 1; j < n; ++j) {
            sum += c[k * n + j] * z[j];
        }
        z[k] = sum / pivot[k];
    }
    double top = 0.0;
    for (std::size_t i = 0; i < n; ++i) {
        z[i] *= m_right[i];
        if (!std::isfinite(z[i])) {
            return false;
        }
        top = std::max(top, z[i]);
    }
    for (std::size_t i = 0; i < n; ++i) {
        m_right[i] = z[i] / top;
    }
    return true;
}

// The stationary law π of the chain m_chain (a stochastic matrix on the moves) into m_law: by
// Grassmann, Taksar and Heyman's elimination on a small graph, whose every step adds positive
// terms, so that parts of the chain nearly uncoupled keep their weights; on a large one by the
// sparse elimination or by steps of the chain, plain then lazy, and by the dense elimination
// where those would take longer than it.
void TransferSolver::stationary(std::span<const std::uint32_t> order, const RunControl& control) {
    if (m_moves.size() <= kDenseMost) {
        denseLaw(order);
    } else {
        largeStationary(order, control);
    }
    double total = 0.0;
    for (const double x : m_law) {
        total += x;
    }
    for (double& x : m_law) {
        x /= total;
    }
}

// The law by the dense elimination, unnormalised, the chain in the order given (vertex order[r]
// at r): n^2 doubles and at most n^3 / 3 multiply-adds, fewer where the paths through the states
// eliminated leave entries 0.
void TransferSolver::denseLaw(std::span<const std::uint32_t> order) {
    const std::size_t n = m_moves.size();
    m_law.assign(n, 0.0);
    std::vector<std::uint32_t> rank(n);
    for (std::uint32_t r = 0; r < n; ++r) {
        rank[order.empty() ? r : order[r]] = r;
    }
    std::vector<double> p(n * n, 0.0);
    for (std::size_t i = 0; i < n; ++i) {
        for (std::size_t e = m_moves.start[i]; e < m_moves.start[i + 1]; ++e) {
            p[rank[i] * n + rank[m_moves.to[e]]] += m_chain[e];
        }
    }
    std::vector<double> law;
    if (!denseStationary(p, n, law)) {
        fault("the equilibrium of the transfer matrix at q = " + shortest(m_q) +
              " has a state cut off by entries below the doubles");
    }
    for (std::size_t i = 0; i < n; ++i) {
        m_law[i] = law[rank[i]];
    }
}

TransferRoot TransferSolver::solve(double q, double tau, const RunControl& control) {
    entries(q, tau);
    double lower = 0.0;
    double upper = 0.0;
    TransferRoot root;
    root.products = iterate(control, lower, upper);
    root.logRoot = m_shift + std::log(0.5 * (lower + upper));
    root.logWidth = std::log(upper / lower);
    // The equilibrium: the chain P~_ij = B_ij v_j / (B v)_i and its stationary law π, whose moves
    // weigh π_i P~_ij (u_i B_ij v_j normalised). Its entropy, Σ -π_i P~_ij ln P~_ij, and the means
    // of -ln P and ln|s| are sums of positive terms; f = entropy / Lyapunov exponent keeps its
    // digits where q α and τ are large and cancel.
    const std::size_t n = m_moves.size();
    std::vector<double> logRow(n);
    for (std::size_t i = 0; i < n; ++i) {
        double row = 0.0;
        for (std::size_t e = m_moves.start[i]; e < m_moves.start[i + 1]; ++e) {
            row += m_entries[e] * m_right[m_moves.to[e]];
        }
        for (std::size_t e = m_moves.start[i]; e < m_moves.start[i + 1]; ++e) {
            m_chain[e] = m_entries[e] * m_right[m_moves.to[e]] / row;
        }
        logRow[i] = std::log(row);
    }
    const CycleRatio* end = q >= 0.0 ? m_plus : m_minus;
    stationary(end == nullptr ? std::span<const std::uint32_t>() : end->order, control);
    double entropy = 0.0;
    double cost = 0.0;
    double time = 0.0;
    for (std::size_t i = 0; i < n; ++i) {
        double rowEntropy = 0.0;
        double rowCost = 0.0;
        for (std::size_t e = m_moves.start[i]; e < m_moves.start[i + 1]; ++e) {
            if (m_chain[e] > 0.0) {
                const double logChain =
                    m_exponents[e] + std::log(m_right[m_moves.to[e]]) - logRow[i];
                rowEntropy -= m_chain[e] * std::min(logChain, 0.0);
                rowCost -= m_chain[e] * m_moves.logP[e];
            }
        }
        entropy += m_law[i] * rowEntropy;
        cost += m_law[i] * rowCost;
        time += m_law[i] * m_moves.logS[i];
    }
    if (n > kDenseMost) {
        // ln ρ(M) = h + Σ π_i P~_ij ln M_ij, the pressure of the equilibrium (the variational
        // principle), which an equilibrium off by ε misses by ε^2 only. Formed from the sums that
        // make f and α, it keeps the point's β = f - q α to their rounding, where the bounds'
        // ratios, each rounded to a unit of 2^-53 of 1, would move τ by that over a Lyapunov
        // exponent of ln 2 / n on a chain of n pieces.
        root.logRoot = entropy - q * cost + tau * time;
    }
    root.meanLogP = -cost;
    root.meanLogS = time;
    root.alpha = cost / time;
    root.dimension = entropy / time;
    return root;
}

TransferRoot TransferSolver::tauRoot(double q, double guess, double lower, double upper,
                                     double& tau, const RunControl& control) {
    tau = std::clamp(guess, lower, upper);
    for (int step = 0; step < kMostNewtonSteps; ++step) {
        const TransferRoot root = solve(q, tau, control);
        (root.logRoot < 0.0 ? lower : upper) = tau;
        const double move = root.logRoot / root.meanLogS;
        // ln ρ is known to within its bounds' width: a step below that moves nothing known.
        const bool settled =
            std::fabs(root.logRoot) <= root.logWidth + 4.0 * DBL_EPSILON * std::fabs(m_shift) ||
            std::fabs(move) <= 2.0 * DBL_EPSILON * std::fabs(tau) ||
            upper - lower <= 4.0 * DBL_EPSILON * std::max(1.0, std::fabs(tau));
        const double next = tau - move;
        if (settled) {
            tau = std::clamp(next, lower, upper);
            return root;
        }
        // Newton's step where it stays inside the bracket, halving it otherwise.
        tau = next > lower && next < upper ? next : 0.5 * (lower + upper);
    }
    fault("tau(" + shortest(q) + ") did not settle in " + std::to_string(kMostNewtonSteps) +
          " steps");
}

} // namespace veltrane
