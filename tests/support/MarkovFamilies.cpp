#include "MarkovFamilies.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <random>
#include <sstream>
#include <stdexcept>

namespace veltrane::test {

namespace {

using Random = std::mt19937_64;

// A map under construction: the ends 0 = x_0 < ... < x_n = 1, and for piece i the run of pieces
// [a_i, b_i) it maps onto, increasing or not. wide(i) is the widest run the family allows piece i.
struct Draft {
    std::vector<double> x;
    std::vector<std::size_t> a;
    std::vector<std::size_t> b;
    std::vector<bool> up;
    std::function<std::pair<std::size_t, std::size_t>(std::size_t)> wide;

    std::size_t size() const { return x.size() - 1; }
    double length(std::size_t i) const { return x[i + 1] - x[i]; }

    void add(std::size_t first, std::size_t end, bool increasing) {
        a.push_back(first);
        b.push_back(end);
        up.push_back(increasing);
    }

    // Widens piece i's run, a piece at a time on a side drawn at random, until its image is at
    // least factor times the piece, or it is the widest allowed.
    void widen(std::size_t i, double factor, Random& random) {
        const auto [lo, hi] = wide(i);
        while (x[b[i]] - x[a[i]] < factor * length(i) && (a[i] > lo || b[i] < hi)) {
            const bool left = a[i] > lo && (b[i] == hi || random() % 2 == 0);
            left ? --a[i] : ++b[i];
        }
        if (!(x[b[i]] - x[a[i]] > length(i))) {
            std::tie(a[i], b[i]) = wide(i);
        }
    }
};

std::size_t uniformIndex(std::size_t lo, std::size_t hi, Random& random) {
    return std::uniform_int_distribution<std::size_t>(lo, hi)(random);
}

// n + 1 sorted distinct ends, uniform in between.
std::vector<double> uniformEnds(std::size_t n, Random& random) {
    std::uniform_real_distribution<double> uniform(0.0, 1.0);
    std::vector<double> x{0.0, 1.0};
    while (x.size() < n + 1) {
        while (x.size() < n + 1) {
            x.push_back(uniform(random));
        }
        std::sort(x.begin(), x.end());
        x.erase(std::unique(x.begin(), x.end()), x.end());
    }
    return x;
}

// Ends of pieces whose lengths lie evenly in their logarithms between 1e-12 and 1, normalized.
std::vector<double> unevenEnds(std::size_t n, Random& random) {
    std::uniform_real_distribution<double> logLength(std::log(1e-12), 0.0);
    std::vector<double> lengths(n);
    double total = 0.0;
    for (double& l : lengths) {
        l = std::exp(logLength(random));
        total += l;
    }
    std::vector<double> x{0.0};
    double sum = 0.0;
    for (std::size_t i = 0; i + 1 < n; ++i) {
        sum += lengths[i];
        x.push_back(std::max(sum / total, std::nextafter(x.back(), 2.0)));
    }
    x.push_back(1.0);
    return x;
}

// Which pieces piece `from` reaches (forward) or which reach it (backward), through runs.
std::vector<bool> reached(const Draft& d, std::size_t from, bool forward) {
    const std::size_t n = d.size();
    std::vector<bool> seen(n, false);
    std::vector<std::size_t> queue{from};
    seen[from] = true;
    // Backward, a piece reached makes every piece whose run holds it reached: the runs are
    // listed by the pieces they hold through a tree of segments, each run in O(log n) nodes.
    std::size_t leaves = 1;
    while (leaves < n) {
        leaves *= 2;
    }
    std::vector<std::vector<std::size_t>> holding;
    if (!forward) {
        holding.resize(2 * leaves);
        for (std::size_t i = 0; i < n; ++i) {
            for (std::size_t lo = d.a[i] + leaves, hi = d.b[i] + leaves; lo < hi;
                 lo /= 2, hi /= 2) {
                if (lo % 2 == 1) {
                    holding[lo++].push_back(i);
                }
                if (hi % 2 == 1) {
                    holding[--hi].push_back(i);
                }
            }
        }
    }
    while (!queue.empty()) {
        const std::size_t k = queue.back();
        queue.pop_back();
        const auto visit = [&](std::size_t j) {
            if (!seen[j]) {
                seen[j] = true;
                queue.push_back(j);
            }
        };
        if (forward) {
            for (std::size_t j = d.a[k]; j < d.b[k]; ++j) {
                visit(j);
            }
        } else {
            for (std::size_t node = k + leaves; node > 0; node /= 2) {
                for (const std::size_t i : holding[node]) {
                    visit(i);
                }
                holding[node].clear();
            }
        }
    }
    return seen;
}

// Widens runs until every piece reaches piece 0 and piece 0 every piece.
void makeIrreducible(Draft& d, Random& random) {
    for (bool forward : {true, false}) {
        for (;;) {
            const std::vector<bool> seen = reached(d, 0, forward);
            if (std::find(seen.begin(), seen.end(), false) == seen.end()) {
                break;
            }
            // Forward, a piece already reached, drawn at random, maps onto all it may; backward,
            // the first piece missed that may map onto more (in every family here the widest
            // runs reach piece 0, so one is left while any piece is missed).
            std::size_t k = 0;
            const auto widened = [&](std::size_t i) {
                return d.wide(i) == std::pair(d.a[i], d.b[i]);
            };
            if (forward) {
                do {
                    k = uniformIndex(0, d.size() - 1, random);
                } while (!seen[k] || widened(k));
            } else {
                while (seen[k] || widened(k)) {
                    ++k;
                }
            }
            std::tie(d.a[k], d.b[k]) = d.wide(k);
        }
    }
}

std::vector<MarkovPiece> pieces(const Draft& d) {
    std::vector<MarkovPiece> out;
    for (std::size_t i = 0; i < d.size(); ++i) {
        const double lo = d.x[d.a[i]];
        const double hi = d.x[d.b[i]];
        out.push_back({d.x[i], d.x[i + 1], d.up[i] ? lo : hi, d.up[i] ? hi : lo});
    }
    return out;
}

Draft whole(std::vector<double> x) {
    Draft d;
    d.x = std::move(x);
    const std::size_t n = d.x.size() - 1;
    d.wide = [n](std::size_t) { return std::pair(std::size_t{0}, n); };
    return d;
}

// Runs drawn anywhere, then widened to factor times their piece.
Draft anywhere(std::vector<double> x, double factor, bool decreasing, Random& random) {
    Draft d = whole(std::move(x));
    const std::size_t n = d.size();
    for (std::size_t i = 0; i < n; ++i) {
        const std::size_t a = uniformIndex(0, n - 1, random);
        d.add(a, uniformIndex(a + 1, n, random), !decreasing && random() % 2 == 0);
        d.widen(i, factor, random);
    }
    return d;
}

Draft spread(std::size_t n, Random& random) {
    Draft d = whole(uniformEnds(n, random));
    for (std::size_t i = 0; i < n; ++i) {
        const std::size_t span = std::max<std::size_t>(1, n / 2 + random() % (n / 2 + 1));
        const std::size_t a = uniformIndex(0, n - 1, random);
        d.add(a, std::min(n, a + uniformIndex(1, span, random)), random() % 2 == 0);
        d.widen(i, 1.5, random);
    }
    return d;
}

Draft left(std::size_t n, Random& random) {
    Draft d = whole(uniformEnds(n, random));
    d.add(0, n, true);
    for (std::size_t i = 1; i < n; ++i) {
        const std::size_t a = uniformIndex(0, i - 1, random);
        d.add(a, uniformIndex(a + 1, n, random), random() % 2 == 0);
        d.widen(i, 1.05, random);
    }
    return d;
}

Draft anchored(std::size_t n, Random& random) {
    Draft d = whole(uniformEnds(n, random));
    for (std::size_t i = 0; i < n; ++i) {
        const bool atZero = random() % 2 == 0;
        const std::size_t k = uniformIndex(1, n - 1, random);
        d.add(atZero ? 0 : k, atZero ? k : n, random() % 2 == 0);
        while (d.x[d.b[i]] - d.x[d.a[i]] < 1.05 * d.length(i) && d.b[i] - d.a[i] < n) {
            atZero ? ++d.b[i] : --d.a[i];
        }
        d.widen(i, 1.0, random);
    }
    return d;
}

Draft hub(std::size_t n, Random& random) {
    Draft d = whole(uniformEnds(n, random));
    const std::size_t h = n / 2;
    for (std::size_t i = 0; i < n; ++i) {
        d.add(uniformIndex(0, h, random), uniformIndex(h + 1, n, random), random() % 2 == 0);
        d.widen(i, 1.2, random);
    }
    return d;
}

Draft chain(std::size_t n, Random& random) {
    // Lengths growing by s a piece, where s^(n-1) < 1 + s keeps the last piece shorter than the
    // first two together.
    double lo = 1.0;
    double hi = 2.0;
    for (int k = 0; k < 200; ++k) {
        const double s = 0.5 * (lo + hi);
        (static_cast<double>(n - 1) * std::log(s) < std::log1p(s) - 1e-3 ? lo : hi) = s;
    }
    const double s = 1.0 + (lo - 1.0) * std::uniform_real_distribution<double>(0.5, 0.99)(random);
    std::vector<double> x{0.0};
    double length = 1.0;
    for (std::size_t i = 0; i < n; ++i) {
        x.push_back(x.back() + length);
        length *= s;
    }
    for (double& e : x) {
        e /= x.back();
    }
    x.back() = 1.0;
    Draft d = whole(std::move(x));
    for (std::size_t k = 0; k + 1 < n; ++k) {
        d.add(k + 1, k + 2, true);
    }
    d.add(0, 2, random() % 2 == 0);
    return d;
}

Draft periodic(std::size_t n, std::size_t period, Random& random) {
    const std::size_t m = std::max<std::size_t>(2, n / period);
    n = m * period;
    std::vector<double> x(n + 1);
    for (std::size_t i = 0; i <= n; ++i) {
        x[i] = static_cast<double>(i) / static_cast<double>(n);
    }
    Draft d = whole(std::move(x));
    d.wide = [m, period](std::size_t i) {
        const std::size_t next = (i / m + 1) % period * m;
        return std::pair(next, next + m);
    };
    for (std::size_t i = 0; i < n; ++i) {
        const std::size_t next = d.wide(i).first;
        const std::size_t a = next + uniformIndex(0, m - 2, random);
        d.add(a, uniformIndex(a + 2, next + m, random), random() % 2 == 0);
    }
    return d;
}

Draft halves(std::size_t n, Random& random) {
    constexpr double kTiny = 1e-9;
    n = std::max<std::size_t>(n, 6);
    const std::size_t h = (n - 2) / 2; // pieces of the left half; the tiny ones are h and h + 1
    std::vector<double> x;
    for (const double e : uniformEnds(h, random)) {
        x.push_back(e * (0.5 - kTiny));
    }
    x.back() = 0.5 - kTiny;
    x.push_back(0.5);
    for (const double e : uniformEnds(n - 2 - h, random)) {
        x.push_back(0.5 + kTiny + e * (0.5 - kTiny));
    }
    x.back() = 1.0;
    Draft d = whole(std::move(x));
    d.wide = [h, n](std::size_t i) {
        return i < h ? std::pair(std::size_t{0}, h)
                     : (i > h + 1 ? std::pair(h + 2, n) : std::pair(std::size_t{0}, n));
    };
    for (std::size_t i = 0; i < n; ++i) {
        if (i == h || i == h + 1) {
            // Onto both tiny pieces and a part of one half: the only way between the halves.
            d.add(i == h ? h / 2 : h, i == h ? h + 2 : h + 2 + (n - h - 2) / 2, i == h);
            continue;
        }
        const auto [lo, hi] = d.wide(i);
        const std::size_t a = uniformIndex(lo, hi - 1, random);
        d.add(a, uniformIndex(a + 1, hi, random), random() % 2 == 0);
        d.widen(i, 1.3, random);
    }
    // The first piece reaches the left tiny piece, the last the right one; each leaves itself
    // out of its image where the rest of its half is long enough for it.
    d.a[0] = d.x[h + 1] - d.x[1] > 1.01 * d.length(0) ? 1 : 0;
    d.b[0] = h + 1;
    d.a[n - 1] = h + 1;
    d.b[n - 1] = d.x[n - 1] - d.x[h + 1] > 1.01 * d.length(n - 1) ? n - 1 : n;
    return d;
}

} // namespace

std::vector<MarkovFamily> allMarkovFamilies() {
    return {MarkovFamily::Spread, MarkovFamily::Left,     MarkovFamily::Anchored,
            MarkovFamily::Hub,    MarkovFamily::Uneven,   MarkovFamily::Decreasing,
            MarkovFamily::Chain,  MarkovFamily::Periodic, MarkovFamily::Halves};
}

std::string familyName(MarkovFamily family) {
    static const char* const names[] = {"spread",     "left",  "anchored", "hub",   "uneven",
                                        "decreasing", "chain", "periodic", "halves"};
    return names[static_cast<int>(family)];
}

MarkovFamily familyNamed(const std::string& name) {
    for (const MarkovFamily f : allMarkovFamilies()) {
        if (familyName(f) == name) {
            return f;
        }
    }
    throw std::invalid_argument("no family " + name);
}

std::vector<MarkovPiece> markovFamilyMap(MarkovFamily family, std::size_t n, std::uint64_t seed,
                                         std::size_t period) {
    Random random(seed);
    n = std::max<std::size_t>(n, 3);
    Draft d;
    switch (family) {
    case MarkovFamily::Spread:
        d = spread(n, random);
        break;
    case MarkovFamily::Left:
        d = left(n, random);
        break;
    case MarkovFamily::Anchored:
        d = anchored(n, random);
        break;
    case MarkovFamily::Hub:
        d = hub(n, random);
        break;
    case MarkovFamily::Uneven:
        d = anywhere(unevenEnds(n, random), 1.5, false, random);
        break;
    case MarkovFamily::Decreasing:
        d = anywhere(uniformEnds(n, random), 1.3, true, random);
        break;
    case MarkovFamily::Chain:
        return pieces(chain(n, random));
    case MarkovFamily::Periodic:
        d = periodic(n, period, random);
        break;
    case MarkovFamily::Halves:
        d = halves(n, random);
        break;
    }
    makeIrreducible(d, random);
    return pieces(d);
}

namespace {

// The numbers of a row, separated by blanks.
std::vector<double> numbersOf(const std::string& row) {
    std::vector<double> values;
    std::istringstream in(row);
    for (double v = 0.0; in >> v;) {
        values.push_back(v);
    }
    return values;
}

} // namespace

std::vector<MarkovPiece> piecesOf(const std::string& text) {
    std::vector<MarkovPiece> pieces;
    std::istringstream in(text);
    for (std::string piece; std::getline(in, piece, ';');) {
        const std::vector<double> v = numbersOf(piece);
        pieces.push_back({v.at(0), v.at(1), v.at(2), v.at(3)});
    }
    return pieces;
}

MarkovWeights weightsOf(const std::string& text) {
    MarkovWeights rows;
    std::istringstream in(text);
    for (std::string row; std::getline(in, row, ';');) {
        rows.push_back(numbersOf(row));
    }
    return rows;
}

MarkovWeights randomWeights(const std::vector<MarkovPiece>& pieces, double decades,
                            std::mt19937_64& engine) {
    std::uniform_real_distribution<double> exponent(-0.5 * decades, 0.5 * decades);
    MarkovWeights weights;
    for (const MarkovPiece& p : pieces) {
        const double lo = std::min(p.imageLeft, p.imageRight);
        const double hi = std::max(p.imageLeft, p.imageRight);
        std::vector<double> row;
        for (const MarkovPiece& other : pieces) {
            if (other.left >= lo && other.right <= hi) {
                row.push_back(std::pow(10.0, exponent(engine)));
            }
        }
        weights.push_back(row);
    }
    return weights;
}

} // namespace veltrane::test
