#include "BlockSums.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numeric>
#include <optional>
#include <string>
#include <vector>
#include <veltrane/errors.h>
#include <veltrane/partition.h>
#include <veltrane/text.h>

namespace veltrane {

namespace {

// How far the masses' own error (within 1e-12 of each mass, 1e-11 with a margin for their sum)
// and the rounding of q ln μ (2^-52 of it, for ln μ ≥ -745) may move ln Z_q(N) from the value
// of exact masses: the bounds below hold within it.
double roundingOf(double logZ, double q) {
    return 1e-11 * (1.0 + std::abs(q)) + 1e-13 * std::abs(logZ);
}

[[noreturn]] void broken(const std::string& bound, std::uint64_t bins, double q,
                         const std::string& values) {
    throw RuntimeError(ErrorKind::Internal, bound + " (N " + std::to_string(bins) + ", q " +
                                                shortest(q) + ": " + values + ")");
}

// The logs of Z_0 and Z_1 where the orders hold 0 and 1.
struct Anchors {
    std::optional<double> count;
    std::optional<double> mass;
};

Anchors anchorsOf(std::span<const double> q, std::span<const double> logZ) {
    Anchors anchors;
    for (std::size_t j = 0; j < q.size(); ++j) {
        if (q[j] == 0.0) {
            anchors.count = logZ[j];
        }
        if (q[j] == 1.0) {
            anchors.mass = logZ[j];
        }
    }
    return anchors;
}

// The bounds of one N, over its q in ascending order. Hölder's inequality puts Σ μ^q against
// Z_0^(1-q) Z_1^q: with every bin counted and a mass of 1, against N^(1-q).
void checkRow(std::uint64_t bins, std::span<const double> q, std::span<const double> logZ,
              detail::PartitionBounds bounds) {
    // A law with empty cells may leave no bin with mass: every sum is then 0.
    if (!bounds.everyBin && std::all_of(logZ.begin(), logZ.end(), [](double l) {
            return l == -std::numeric_limits<double>::infinity();
        })) {
        return;
    }
    const double logN = std::log(static_cast<double>(bins));
    const Anchors anchors =
        bounds.everyBin && bounds.unitMass ? Anchors{logN, 0.0} : anchorsOf(q, logZ);
    std::vector<std::size_t> order(q.size());
    std::iota(order.begin(), order.end(), std::size_t{0});
    std::sort(order.begin(), order.end(),
              [&](std::size_t a, std::size_t b) { return q[a] < q[b]; });
    for (std::size_t j = 0; j < q.size(); ++j) {
        const double l = logZ[j];
        const double tolerance = roundingOf(l, q[j]);
        if (!std::isfinite(l)) {
            broken("ln Z_q(N) is not finite", bins, q[j], shortest(l));
        }
        if (q[j] == 0.0 && (bounds.everyBin ? l != logN : l > logN)) {
            broken("Z_0(N) is not the count N", bins, q[j], "ln Z " + shortest(l));
        }
        if (q[j] == 1.0 && bounds.unitMass && !(std::abs(l) <= 1e-11)) {
            broken("Z_1(N) is not 1", bins, q[j], "ln Z " + shortest(l));
        }
        if (!anchors.count || !anchors.mass) {
            continue;
        }
        const double limit = (1.0 - q[j]) * *anchors.count + q[j] * *anchors.mass;
        const bool inside = q[j] >= 0.0 && q[j] <= 1.0;
        if (inside ? l > limit + tolerance : l < limit - tolerance) {
            broken(inside ? "ln Z_q(N) exceeds (1 - q) ln N" : "ln Z_q(N) is below (1 - q) ln N",
                   bins, q[j], "ln Z " + shortest(l) + ", (1 - q) ln N " + shortest(limit));
        }
    }
    // Masses of at most 1 (a conservative measure's) make Σ μ^q fall as q rises.
    for (std::size_t i = 1; bounds.unitMass && i < order.size(); ++i) {
        const std::size_t a = order[i - 1];
        const std::size_t b = order[i];
        if (logZ[b] > logZ[a] + roundingOf(logZ[a], q[a]) + roundingOf(logZ[b], q[b])) {
            broken("ln Z_q(N) rises with q", bins, q[b],
                   shortest(logZ[a]) + " at q " + shortest(q[a]) + ", then " + shortest(logZ[b]));
        }
    }
    for (std::size_t i = 2; i < order.size(); ++i) {
        const std::size_t a = order[i - 2];
        const std::size_t b = order[i - 1];
        const std::size_t c = order[i];
        if (q[a] == q[b] || q[b] == q[c]) {
            continue;
        }
        // Chord slopes, each within the rounding of its ends over its step.
        const double ea = roundingOf(logZ[a], q[a]);
        const double eb = roundingOf(logZ[b], q[b]);
        const double ec = roundingOf(logZ[c], q[c]);
        const double left = (logZ[b] - logZ[a]) / (q[b] - q[a]);
        const double right = (logZ[c] - logZ[b]) / (q[c] - q[b]);
        if (left > right + (ea + eb) / (q[b] - q[a]) + (eb + ec) / (q[c] - q[b])) {
            broken("ln Z_q(N) is not convex in q", bins, q[b],
                   "slopes " + shortest(left) + " then " + shortest(right));
        }
    }
}

} // namespace

std::vector<std::uint64_t> detail::sortedBins(std::span<const std::uint64_t> bins) {
    if (bins.empty()) {
        throw InputError("the partition sums need at least one number of bins");
    }
    std::vector<std::uint64_t> sorted(bins.begin(), bins.end());
    std::sort(sorted.begin(), sorted.end());
    for (std::size_t i = 0; i < sorted.size(); ++i) {
        Cascade::checkBins(sorted[i], 0, 1);
        if (i > 0 && sorted[i] == sorted[i - 1]) {
            throw InputError("the number of bins " + std::to_string(sorted[i]) + " is given twice");
        }
    }
    return sorted;
}

namespace {

// ln Z_q(N) for one N: its blocks a window at a time (four a thread), each window's sums folded
// in order into the total before the next is computed, so that memory does not grow with N.
std::vector<double> logRow(const Cascade& cascade, std::uint64_t bins, std::span<const double> q,
                           const RunControl& control) {
    std::vector<ScaledSum> total(q.size());
    const std::uint64_t blocks = partitionBlocks(bins);
    const std::uint64_t window = std::uint64_t{4} * threadCount(control);
    for (std::uint64_t first = 0; first < blocks; first += window) {
        const std::uint64_t count = std::min(window, blocks - first);
        foldBlockSums(total, partitionBlockSums(cascade, bins, first, count, q, control));
    }
    std::vector<double> logs(q.size());
    std::transform(total.begin(), total.end(), logs.begin(),
                   [](const ScaledSum& sum) { return logOf(sum); });
    return logs;
}

} // namespace

PartitionSums partitionSums(const Cascade& cascade, std::span<const std::uint64_t> bins,
                            std::span<const double> q, const RunControl& control) {
    return detail::sumsByRow(bins, q,
                             [&](std::uint64_t n) { return logRow(cascade, n, q, control); }, {});
}

PartitionSums detail::sumsByRow(std::span<const std::uint64_t> bins, std::span<const double> q,
                                const std::function<std::vector<double>(std::uint64_t)>& row,
                                PartitionBounds bounds) {
    std::vector<std::uint64_t> sorted = sortedBins(bins);
    if (q.empty()) {
        throw InputError("the partition sums need at least one order q");
    }
    std::vector<double> logZ;
    logZ.reserve(sorted.size() * q.size());
    for (const std::uint64_t n : sorted) {
        const std::vector<double> logs = row(n);
        logZ.insert(logZ.end(), logs.begin(), logs.end());
    }
    return checkedPartition(std::move(sorted), {q.begin(), q.end()}, std::move(logZ), bounds);
}

PartitionSums partitionResult(std::vector<std::uint64_t> bins, std::vector<double> q,
                              std::vector<double> logZ) {
    return detail::checkedPartition(std::move(bins), std::move(q), std::move(logZ), {});
}

PartitionSums detail::checkedPartition(std::vector<std::uint64_t> bins, std::vector<double> q,
                                       std::vector<double> logZ, PartitionBounds bounds) {
    if (sortedBins(bins) != bins || q.empty() || logZ.size() != bins.size() * q.size()) {
        throw InputError("partition sums need distinct bins in ascending order, at least one "
                         "order q and one ln Z for each pair");
    }
    const std::size_t nq = q.size();
    for (std::size_t i = 0; i < bins.size(); ++i) {
        checkRow(bins[i], q, std::span<const double>(logZ).subspan(i * nq, nq), bounds);
    }
    std::vector<double> tau;
    tau.reserve((bins.size() - 1) * nq);
    for (std::size_t i = 1; i < bins.size(); ++i) {
        const double scale =
            std::log(static_cast<double>(bins[i])) - std::log(static_cast<double>(bins[i - 1]));
        for (std::size_t j = 0; j < nq; ++j) {
            // + 0.0: a slope of 0 prints as 0, not -0
            tau.push_back(-(logZ[i * nq + j] - logZ[(i - 1) * nq + j]) / scale + 0.0);
        }
    }
    return {std::move(bins), std::move(q), std::move(logZ), std::move(tau)};
}

} // namespace veltrane
